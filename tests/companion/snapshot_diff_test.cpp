// kvprofile snapshot and diff: an installation recorded before and after, what appeared, changed
// and disappeared, the draft profile it gives, and that profile's plan checked against the diff.
#include "companion_fixture.h"

#include "diff.h"
#include "snapshot.h"
#include "text_forms.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>

using namespace companiontest;
using companion::Difference;
using companion::Snapshot;

namespace {

const char kBefore[] = "C:\\Snapshots\\before.txt";
const char kAfter[] = "C:\\Snapshots\\after.txt";
const char kDraft[] = "C:\\Tools\\Kelvane.cfg";
const char kRun[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kSuiteKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite";
const char kOddName[] = "Odd\tName 100%\n";

class SnapshotDiffTest : public CompanionTest {
protected:
    void SetUp() override {
        CompanionTest::SetUp();
        sim::AddFolder("C:\\Snapshots");
        sim::SetString(kRun, "Existing", "old.exe");
        sim::SetString(kRun, "Gone", "gone.exe");
        sim::AddFile("C:\\Program Files\\Other\\other.exe");
        sim::AddService({"OldSvc"});
    }

    // What the sample installation adds and changes.
    static void Install() {
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
        sim::SetString(kRun, "Existing", "new.exe");
        SHDeleteValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                       "Gone");
        sim::AddService({"ExampleSvc"});
        sim::AddLayeredProvider({0x11223344, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}});
    }

    static std::string Folder(int csidl) { return sim::SpecialFolderPath(csidl); }

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
};

TEST_F(SnapshotDiffTest, DiffTellsWhatAppearedChangedAndDisappeared) {
    ASSERT_EQ(0u, companion::TakeSnapshot(kBefore, nullptr));
    Install();
    ASSERT_EQ(0u, companion::TakeSnapshot(kAfter, nullptr));
    Snapshot before = Load(kBefore), after = Load(kAfter);
    Difference difference = companion::Compare(before, after);

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
    ASSERT_EQ(0u, companion::TakeSnapshot(kBefore, nullptr));
    Install();
    ASSERT_EQ(0u, companion::TakeSnapshot(kAfter, nullptr));
    Snapshot before = Load(kBefore), after = Load(kAfter);
    Difference difference = companion::Compare(before, after);
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
    EXPECT_EQ((std::vector<std::string>{
                  "remove=SERVICE_NAME,BY_VALUE,ExampleSvc",
                  std::string("remove=REG_KEY,BY_VALUE,") + kSuiteKey,
                  std::string("remove=REG_VALUE,BY_VALUE,") + kRun + "\\ExampleTray",
                  "remove=FILE_NAME_EXPAND,BY_VALUE,%APPDATA%\\Example",
                  "remove=FILE_NAME_EXPAND,BY_VALUE,%COMMON_DESKTOPDIRECTORY%\\Example.lnk",
                  "remove=FILE_NAME,BY_VALUE,C:\\Program Files\\Example Suite",
                  "remove=FILE_NAME_EXPAND,BY_VALUE,%SYSTEM%\\exhelper.dll"}),
              entries);
    for (const char* note :
         {"; installer's cached package: C:\\WINDOWS\\Installer", "; Winsock entry {11223344-",
          "; changed value ", "; disappeared value "})
        EXPECT_NE(std::string::npos, draft.find(note)) << note;

    // The loop's proof: the draft checks clean, and its plan is exactly what appeared (the
    // installer's cache aside, which the draft leaves to a comment).
    sim::AddFile(kDraft, draft);
    companion::CheckReport report = companion::CheckProfile(kDraft);
    ASSERT_EQ(companion::CHECK_CLEAN, report.status);
    std::set<std::string> planned, expected;
    for (const companion::PlannedItem& item : report.plan)
        planned.insert(item.item);
    for (const companion::Record* record : difference.appeared) {
        std::string name = companion::RecordName(*record);
        if (record->kind == 'W' || companion::IsUnder(name, "C:\\WINDOWS\\Installer"))
            continue;
        expected.insert(companion::Folded(name));
    }
    EXPECT_EQ(expected, planned);
    EXPECT_EQ(GuiPlan(), CompanionPlan(report));
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
