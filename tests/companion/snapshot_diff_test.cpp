// kvprofile snapshot and diff: an installation recorded before and after, what appeared, changed
// and disappeared, the draft profile it gives, and that profile's plan checked against the diff.
#include "companion_fixture.h"

#include "companion/diff.h"
#include "companion/snapshot.h"
#include "companion/text_forms.h"
#include "companion/verify.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstring>

using namespace companiontest;
using companion::Difference;
using companion::Snapshot;

namespace {

const char kBefore[] = "C:\\Snapshots\\before.txt";
const char kAfter[] = "C:\\Snapshots\\after.txt";
const char kDraft[] = "C:\\Tools\\Kelvane.cfg";
const char kRun[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kSuiteKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite";
const char kSharedKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Shared Tools";
const char kLog[] = "C:\\Tools\\Kelvane.log";
const char kOddName[] = "Odd\tName 100%\n";

class SnapshotDiffTest : public CompanionTest {
protected:
    void SetUp() override {
        CompanionTest::SetUp();
        sim::AddFolder("C:\\Snapshots");
        sim::SetString(kRun, "Existing", "old.exe");
        sim::SetString(kRun, "Gone", "gone.exe");
        sim::SetString(kSharedKey, "Owner", "other");
        sim::AddFile("C:\\Program Files\\Other\\other.exe");
        sim::AddService({"OldSvc"});
    }

    // What the sample installation adds and changes.
    // A service stays installed after Kelvane's run on the simulated machine (its manager keeps
    // no registry), so the removal test installs none.
    static void Install(bool service = true) {
        sim::AddFile("C:\\Program Files\\Example Suite\\Bin\\App.exe", "app");
        sim::AddFile("C:\\Program Files\\Example Suite\\ReadMe.txt", "text");
        sim::AddFile("C:\\WINDOWS\\system32\\exhelper.dll", "dll");
        sim::AddFile((Folder(CSIDL_APPDATA) + "\\Example\\settings.ini").c_str(), "ini");
        sim::AddFile((Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Example.lnk").c_str(), "lnk");
        sim::AddFile("C:\\WINDOWS\\Installer\\1a2b.msi", "msi");
        sim::SetString((std::string(kSuiteKey) + "\\Sub").c_str(), "Path",
                       "C:\\Program Files\\Example");
        sim::SetString(kSuiteKey, kOddName, "line\tone\nline two");
        sim::SetString(kRun, "ExampleTray", "tray.exe");
        // The default value of a key that was there before.
        sim::SetString(kSharedKey, "", "Example Suite");
        // Beneath keys the engine never removes, the draft names what is new on its own.
        sim::SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Installer\\Products\\5A4B",
                       "ProductName", "Example Suite");
        sim::SetString(kRun, "Existing", "new.exe");
        SHDeleteValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                       "Gone");
        if (service)
            sim::AddService({"ExampleSvc"});
        sim::AddLayeredProvider({0x11223344, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}});
    }

    static std::string Folder(int csidl) { return sim::SpecialFolderPath(csidl); }

    // Snapshots before and after the installation, read back, and their difference.
    // Kelvane's stages, as the worker runs them (the Security Center aside); each must succeed.
    static void RunKelvane() {
        TestRunState dialog;
        CUninstallEngine engine;
        engine.SetStateReader(&dialog);
        ASSERT_EQ(0u, engine.CreateProfile());
        ASSERT_EQ(0u, engine.PopulateRemoveLists());
        ASSERT_EQ(0u, engine.ResetLspStack());
        ASSERT_EQ(0u, engine.CleanupFiles());
        ASSERT_EQ(0u, engine.CleanupRegValues());
        ASSERT_EQ(0u, engine.CleanupRegKeys());
    }

    void InstallBetweenSnapshots(bool service = true) {
        ASSERT_EQ(0u, companion::TakeSnapshot(kBefore, nullptr));
        Install(service);
        ASSERT_EQ(0u, companion::TakeSnapshot(kAfter, nullptr));
        before = Load(kBefore);
        after = Load(kAfter);
        difference = companion::Compare(before, after);
    }

    static Snapshot Load(const char* path) {
        Snapshot snapshot;
        std::string problem;
        EXPECT_TRUE(companion::LoadSnapshot(path, &snapshot, &problem)) << problem;
        return snapshot;
    }

    static std::vector<std::string> Names(const std::vector<const companion::Record*>& records) {
        std::vector<std::string> names;
        for (const companion::Record* record : records)
            names.push_back(std::string(companion::KindName(record->kind)) + " " +
                            companion::RecordName(*record));
        return names;
    }

    Snapshot before, after;
    Difference difference;
};

TEST_F(SnapshotDiffTest, DiffTellsWhatAppearedChangedAndDisappeared) {
    InstallBetweenSnapshots();

    std::vector<std::string> appeared = Names(difference.appeared);
    const std::string appdata = Folder(CSIDL_APPDATA);
    for (const std::string& expected :
         {std::string("folder C:\\Program Files\\Example Suite"),
          std::string("file C:\\Program Files\\Example Suite\\Bin\\App.exe"),
          std::string("file C:\\WINDOWS\\system32\\exhelper.dll"),
          "folder " + appdata + "\\Example", "file " + appdata + "\\Example\\settings.ini",
          std::string("folder C:\\WINDOWS\\Installer"), std::string("key ") + kSuiteKey,
          std::string("key ") + kSuiteKey + "\\Sub",
          std::string("value ") + kSuiteKey + "\\" + kOddName,
          std::string("value ") + kRun + "\\ExampleTray", std::string("service ExampleSvc")})
        EXPECT_NE(appeared.end(), std::find(appeared.begin(), appeared.end(), expected))
            << expected;
    for (const std::string& name : appeared)
        EXPECT_EQ(std::string::npos, name.find("Other")) << name;
    bool winsock = false;
    for (const companion::Record* record : difference.appeared)
        winsock = winsock || record->kind == 'W';
    EXPECT_TRUE(winsock);

    ASSERT_EQ(1u, difference.changed.size());
    EXPECT_EQ(std::string(kRun) + "\\Existing",
              companion::RecordName(*difference.changed[0].second));
    EXPECT_EQ("old.exe", difference.changed[0].first->fields[5]);
    EXPECT_EQ((std::vector<std::string>{std::string("value ") + kRun + "\\Gone"}),
              Names(difference.disappeared));

    // Names and data with tabs, line ends and '%' come back as they were.
    const companion::Record& odd =
        after.records.at(companion::RecordId('V', {kSuiteKey, kOddName, "", "", "", ""}));
    EXPECT_EQ(kOddName, odd.fields[1]);
    EXPECT_EQ("line\tone\nline two", odd.fields[5]);
}

TEST_F(SnapshotDiffTest, DraftProfileRemovesWhatAppearedAndItsPlanIsTheDiff) {
    InstallBetweenSnapshots();
    std::string draft = companion::DraftProfile(before, after, difference);

    std::vector<std::string> entries;
    size_t start = 0;
    while (start < draft.size()) {
        size_t end = draft.find('\n', start);
        std::string line = draft.substr(start, end - start);
        if (line.compare(0, 7, "remove=") == 0)
            entries.push_back(line);
        start = end + 1;
    }
    EXPECT_EQ(
        (std::vector<std::string>{
            "remove=SERVICE_NAME,BY_VALUE,ExampleSvc",
            // The installer's list of every product is protected: the draft names the product.
            "remove=REG_KEY,BY_VALUE,HKEY_LOCAL_"
            "MACHINE\\SOFTWARE\\Classes\\Installer\\Products\\5A4B",
            std::string("remove=REG_KEY,BY_VALUE,") + kSuiteKey,
            std::string("remove=REG_VALUE,BY_VALUE,") + kRun + "\\ExampleTray",
            "remove=FILE_NAME_EXPAND,BY_VALUE,%APPDATA%\\Example",
            "remove=FILE_NAME_EXPAND,BY_VALUE,%COMMON_DESKTOPDIRECTORY%\\Example.lnk",
            "remove=FILE_NAME,BY_VALUE,C:\\Program Files\\Example Suite",
            "remove=FILE_NAME_EXPAND,BY_VALUE,%SYSTEM%\\exhelper.dll"}),
        entries);
    for (const char* note : {"; installer's cached package (",
                             "uninstaller removes it, a profile leaves it): C:\\WINDOWS\\Installer",
                             "; Winsock entry (Kelvane takes", "): {11223344-", "; changed value ",
                             "; disappeared value ",
                             // The format has no entry for the default value of a key that was
                             // there before: "KEY\\\\" would name the value "Shared Tools" of
                             // HKEY_LOCAL_MACHINE\SOFTWARE.
                             "; a key's default value (the format names it only with its key",
                             "every value of the key): HKEY_LOCAL_MACHINE\\SOFTWARE\\Shared Tools "
                             "value \"\""})
        EXPECT_NE(std::string::npos, draft.find(note)) << note;

    // The loop's proof: the draft checks clean, and its plan is exactly what appeared (the
    // installer's cache and the Winsock entry aside, which the draft leaves to comments).
    sim::AddFile(kDraft, draft);
    companion::CheckReport report = companion::CheckProfile(kDraft);
    ASSERT_EQ(companion::CHECK_CLEAN, report.status);
    EXPECT_EQ(16u, report.plan.size());
    companion::Verification verification = companion::VerifyPlan(report, before, after);
    EXPECT_TRUE(verification.Passed());
    EXPECT_TRUE(verification.plannedButNotInstalled.empty());
    EXPECT_TRUE(verification.installedButNotPlanned.empty());
    EXPECT_EQ(GuiPlan(), CompanionPlan(report));

    // A profile that names one thing more or one thing less fails the proof, naming it.
    sim::AddFile(kDraft, draft + "[file 1]\n");
    std::string wider = draft;
    wider.replace(wider.find("remove=FILE_NAME,BY_VALUE,C:\\Program Files\\Example Suite"), 0,
                  "remove=FILE_NAME,BY_VALUE,C:\\Program Files\\Other\n");
    std::string narrower = draft;
    narrower.erase(narrower.find("remove=FILE_NAME_EXPAND,BY_VALUE,%SYSTEM%"), 7);
    for (const std::string& text : {wider, narrower}) {
        sim::AddFile(kDraft, text);
        verification = companion::VerifyPlan(companion::CheckProfile(kDraft), before, after);
        EXPECT_FALSE(verification.Passed());
    }
    EXPECT_EQ("file C:\\WINDOWS\\system32\\exhelper.dll",
              verification.installedButNotPlanned.at(0).what);
}

TEST_F(SnapshotDiffTest, AfterTheRemovalAndARestartOnlyListedResidueIsLeft) {
    InstallBetweenSnapshots(false);
    sim::AddFile(kDraft, companion::DraftProfile(before, after, difference));
    companion::CheckReport report = companion::CheckProfile(kDraft);
    ASSERT_EQ(companion::CHECK_CLEAN, report.status);

    // Kelvane's stages, then the restart.
    ASSERT_NO_FATAL_FAILURE(RunKelvane());
    sim::Restart();
    const char kFinal[] = "C:\\Snapshots\\final.txt";
    ASSERT_EQ(0u, companion::TakeSnapshot(kFinal, nullptr));

    companion::Verification verification = companion::VerifyPlan(report, before, after);
    companion::VerifyRemoval(report, before, after, Load(kFinal), &verification);
    EXPECT_TRUE(verification.Passed());
    std::vector<std::string> residue;
    for (const companion::Finding& finding : verification.residue)
        residue.push_back(finding.what);
    EXPECT_EQ(
        (std::vector<std::string>{
            "folder C:\\WINDOWS\\Installer", "key HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes",
            "key HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Installer",
            "key HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Installer\\Products",
            std::string("value ") + kSharedKey + "\\", std::string("value ") + kRun + "\\Gone",
            std::string("value ") + kRun + "\\Existing"}),
        residue);

    // A removal that took something else, or left something planned, fails, naming it.
    sim::AddFile("C:\\Program Files\\Example Suite\\ReadMe.txt");
    DeleteFileA("C:\\Program Files\\Other\\other.exe");
    ASSERT_EQ(0u, companion::TakeSnapshot(kFinal, nullptr));
    verification = companion::Verification();
    companion::VerifyRemoval(report, before, after, Load(kFinal), &verification);
    EXPECT_FALSE(verification.Passed());
    ASSERT_EQ(1u, verification.wronglyGone.size());
    EXPECT_EQ("file C:\\Program Files\\Other\\other.exe", verification.wronglyGone[0].what);
    std::vector<std::string> left;
    for (const companion::Finding& finding : verification.notRemoved)
        left.push_back(finding.what);
    EXPECT_EQ((std::vector<std::string>{"folder C:\\Program Files\\Example Suite",
                                        "file C:\\Program Files\\Example Suite\\ReadMe.txt"}),
              left);
}

TEST_F(SnapshotDiffTest, SparedItemsOutliveTheRemovalAndTheLogHoldsThePlansCounts) {
    InstallBetweenSnapshots(false);
    // The draft with one ignore entry more (it lands in the last section, [file 1]).
    sim::AddFile(kDraft, companion::DraftProfile(before, after, difference) +
                             "ignore=FILE_NAME,BY_VALUE,C:\\Program Files\\Example Suite\\Bin\n");
    companion::CheckReport checked = companion::CheckProfile(kDraft);
    ASSERT_EQ(companion::CHECK_CLEAN, checked.status);
    // The proof after the run works from the plan saved before it.
    const char kPlan[] = "C:\\Snapshots\\plan.txt";
    ASSERT_TRUE(companion::SavePlan(checked, kPlan));
    companion::CheckReport report;
    std::string problem;
    ASSERT_TRUE(companion::LoadPlan(kPlan, &report, &problem)) << problem;
    ASSERT_EQ(8u, checked.lists.size());
    EXPECT_EQ(checked.lists, report.lists);
    ASSERT_EQ(checked.spared.size(), report.spared.size());

    auto whats = [](const std::vector<companion::Finding>& findings) {
        std::vector<std::string> names;
        for (const companion::Finding& finding : findings)
            names.push_back(finding.what);
        return names;
    };
    const std::vector<std::string> spared = {"folder C:\\Program Files\\Example Suite\\Bin",
                                             "file C:\\Program Files\\Example Suite\\Bin\\App.exe"};
    companion::Verification verification = companion::VerifyPlan(report, before, after);
    EXPECT_TRUE(verification.installedButNotPlanned.empty());
    EXPECT_EQ(spared, whats(verification.spared));

    ASSERT_NO_FATAL_FAILURE(RunKelvane());
    const char kRan[] = "C:\\Snapshots\\ran.txt";
    ASSERT_EQ(0u, companion::TakeSnapshot(kRan, nullptr));
    sim::Restart();
    const char kFinal[] = "C:\\Snapshots\\final.txt";
    ASSERT_EQ(0u, companion::TakeSnapshot(kFinal, nullptr));

    // The program folder stays because it holds what was spared: residue, not a failure.
    companion::VerifyRemoval(report, before, after, Load(kFinal), &verification);
    companion::VerifyRun(report, after, Load(kRan), &verification);
    ASSERT_TRUE(companion::VerifyLog(report, kLog, &verification));
    EXPECT_TRUE(verification.Passed());
    EXPECT_TRUE(verification.logProblems.empty()) << verification.logProblems[0].what;
    EXPECT_EQ(spared, whats(verification.spared));
    bool kept = false;
    for (const companion::Finding& finding : verification.residue)
        kept = kept || (finding.what == "folder C:\\Program Files\\Example Suite" &&
                        finding.reason == "planned, kept: it still holds " + spared[0]);
    EXPECT_TRUE(kept);

    // A removal that took a spared file fails, naming it.
    DeleteFileA("C:\\Program Files\\Example Suite\\Bin\\App.exe");
    ASSERT_EQ(0u, companion::TakeSnapshot(kFinal, nullptr));
    verification = companion::VerifyPlan(report, before, after);
    companion::VerifyRemoval(report, before, after, Load(kFinal), &verification);
    EXPECT_FALSE(verification.Passed());
    EXPECT_EQ(std::vector<std::string>{spared[1]}, whats(verification.sparedGone));

    // A log whose counts are not the plan's, or that ends early, fails, naming the line.
    std::string log = sim::FileContent(kLog);
    size_t files = log.find("CleanupFiles: ");
    ASSERT_NE(std::string::npos, files);
    std::string wrongCount = log;
    wrongCount.insert(files + strlen("CleanupFiles: "), "1");
    std::string shortened = log.substr(0, log.find("\n", files) + 1);
    for (const std::string& text : {wrongCount, shortened}) {
        const char kOther[] = "C:\\Snapshots\\other.log";
        sim::AddFile(kOther, text);
        verification = companion::Verification();
        ASSERT_TRUE(companion::VerifyLog(report, kOther, &verification));
        ASSERT_EQ(text == shortened ? 2u : 1u, verification.logProblems.size());
        EXPECT_NE(std::string::npos, verification.logProblems[0].what.find(
                                         text == shortened ? "CleanupRegValues" : "CleanupFiles"));
        EXPECT_FALSE(verification.Passed());
    }

    // A planned service that was running after the installation must not run after the run.
    sim::AddFile("C:\\Snapshots\\running.txt",
                 "KVSNAPSHOT\t1\nS\tExampleSvc\t3\t4\tC:\\Svc\\svc.exe\n");
    sim::AddFile("C:\\Snapshots\\stopped.txt",
                 "KVSNAPSHOT\t1\nS\tExampleSvc\t3\t1\tC:\\Svc\\svc.exe\n");
    companion::CheckReport withService;
    withService.plan.push_back({"service", "EXAMPLESVC", 1});
    Snapshot running = Load("C:\\Snapshots\\running.txt");
    verification = companion::Verification();
    companion::VerifyRun(withService, running, Load("C:\\Snapshots\\stopped.txt"), &verification);
    EXPECT_TRUE(verification.Passed());
    companion::VerifyRun(withService, running, running, &verification);
    EXPECT_EQ(std::vector<std::string>{"service EXAMPLESVC"}, whats(verification.notStopped));
    EXPECT_FALSE(verification.Passed());
}

TEST_F(SnapshotDiffTest, AFileThatIsNotASnapshotIsRefused) {
    sim::AddFile("C:\\Snapshots\\other.txt", "something else\n");
    Snapshot snapshot;
    std::string problem;
    EXPECT_FALSE(companion::LoadSnapshot("C:\\Snapshots\\other.txt", &snapshot, &problem));
    EXPECT_NE(std::string::npos, problem.find("not a kvprofile snapshot"));
    EXPECT_FALSE(companion::LoadSnapshot("C:\\Snapshots\\none.txt", &snapshot, &problem));
}

} // namespace
