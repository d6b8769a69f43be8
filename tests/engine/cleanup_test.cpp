// The cleanup steps on simulated machines: files registered or deleted in a safe order, registry
// values and keys removed without taking anything unplanned along, cancel seen every 20 items.
#include "runtime_fixture.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

using Paths = std::vector<std::string>;

class CleanupTest : public runtimetest::RuntimeTest {
protected:
    void PlanFiles(const Paths& paths) {
        for (const std::string& path : paths)
            m_engine.m_planFiles.Add(path.c_str());
    }
    // `count` planned files C:\APP\F00.TXT, F01.TXT, ... on the disk.
    Paths PlanNumberedFiles(int count) {
        Paths paths;
        for (int i = 0; i < count; ++i) {
            char path[32];
            snprintf(path, sizeof(path), "C:\\APP\\F%02d.TXT", i);
            sim::AddFile(path);
            m_engine.m_planFiles.Add(path);
            paths.push_back(path);
        }
        return paths;
    }
};

const char kVendor[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR";

TEST_F(CleanupTest, NtRegistersContentsBeforeFoldersAndClearsOnlyReadOnly) {
    sim::AddFile("C:\\APP\\A.DLL", "", FILE_ATTRIBUTE_READONLY);
    sim::AddFile("C:\\APP\\SUB\\B.TXT", "", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    sim::AddFile("C:\\APP.OLD\\C.TXT");
    PlanFiles({"C:\\APP", "C:\\APP\\A.DLL", "C:\\APP\\SUB", "C:\\APP\\SUB\\B.TXT", "C:\\APP.OLD",
               "C:\\APP.OLD\\C.TXT", "C:\\APP\\GONE.TXT"});

    EXPECT_EQ(m_engine.CleanupFiles(), 0u);

    EXPECT_EQ(sim::PendingDeletes(),
              (Paths{"C:\\APP\\SUB\\B.TXT", "C:\\APP\\SUB", "C:\\APP\\GONE.TXT", "C:\\APP\\A.DLL",
                     "C:\\APP.OLD\\C.TXT", "C:\\APP.OLD", "C:\\APP"}));
    EXPECT_TRUE(sim::Exists("C:\\APP\\SUB\\B.TXT"));
    EXPECT_EQ(sim::Attributes("C:\\APP\\A.DLL") & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(sim::Attributes("C:\\APP\\SUB\\B.TXT"), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(Log(), "0000 CleanupFiles: 7 files and folders\n");

    // The order lets every folder go at the restart: its contents are gone by then.
    sim::Restart();
    EXPECT_FALSE(sim::Exists("C:\\APP"));
    EXPECT_FALSE(sim::Exists("C:\\APP.OLD"));
}

TEST_F(CleanupTest, NineXDeletesNowButNeverAnythingUnplannedOrLocked) {
    sim::SetWindows98();
    sim::AddFile("C:\\APP\\A.DLL", "", FILE_ATTRIBUTE_READONLY);
    sim::AddFile("C:\\APP\\IN_USE.DLL");
    sim::LockFile("C:\\APP\\IN_USE.DLL");
    sim::AddFile("C:\\APP\\SUB\\B.TXT");
    sim::AddFile("C:\\KEEP\\SPARED.TXT");
    sim::AddFile("C:\\KEEP\\PLANNED.TXT");
    PlanFiles({"C:\\APP", "C:\\APP\\A.DLL", "C:\\APP\\IN_USE.DLL", "C:\\APP\\SUB",
               "C:\\APP\\SUB\\B.TXT", "C:\\KEEP", "C:\\KEEP\\PLANNED.TXT"});

    // The file held open is the one failure; the folders that still hold something are none.
    EXPECT_EQ(m_engine.CleanupFiles(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    EXPECT_FALSE(sim::Exists("C:\\APP\\A.DLL"));
    EXPECT_FALSE(sim::Exists("C:\\APP\\SUB"));
    EXPECT_FALSE(sim::Exists("C:\\KEEP\\PLANNED.TXT"));
    EXPECT_TRUE(sim::Exists("C:\\APP\\IN_USE.DLL"));
    EXPECT_TRUE(sim::Exists("C:\\KEEP\\SPARED.TXT"));
    EXPECT_TRUE(sim::IsFolder("C:\\APP"));
    EXPECT_TRUE(sim::PendingDeletes().empty());
    EXPECT_EQ(Log(), "0032 DeletePlanPath: C:\\APP\\IN_USE.DLL\n"
                     "0032 CleanupFiles: 7 files and folders\n");
}

TEST_F(CleanupTest, AJunctionGoesAsTheLinkItselfWithItsTargetUntouched) {
    sim::AddFile("C:\\DATA\\OWN.TXT", "", FILE_ATTRIBUTE_READONLY);
    sim::AddJunction("C:\\APP\\LINK", "C:\\DATA");
    PlanFiles({"C:\\APP", "C:\\APP\\LINK"});

    EXPECT_EQ(m_engine.CleanupFiles(), 0u);
    sim::Restart();
    EXPECT_FALSE(sim::Exists("C:\\APP"));
    EXPECT_EQ(sim::Attributes("C:\\DATA\\OWN.TXT"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));

    sim::SetWindows98();
    sim::AddJunction("C:\\APP\\LINK", "C:\\DATA");
    EXPECT_EQ(m_engine.CleanupFiles(), 0u);
    EXPECT_FALSE(sim::Exists("C:\\APP\\LINK"));
    EXPECT_TRUE(sim::Exists("C:\\DATA\\OWN.TXT"));
}

TEST_F(CleanupTest, EmptyPlansLogZeroWithoutLookingForACancel) {
    EXPECT_EQ(m_engine.CleanupFiles(), 0u);
    EXPECT_EQ(m_engine.CleanupRegValues(), 0u);
    EXPECT_EQ(m_engine.CleanupRegKeys(), 0u);
    EXPECT_EQ(StateReads(), 0);
    EXPECT_EQ(Log(), "0000 CleanupFiles: 0 files and folders\n"
                     "0000 CleanupRegValues: 0 values\n"
                     "0000 CleanupRegKeys: 0 keys\n");
}

TEST_F(CleanupTest, ACancelAfterItem0IsSeenAtItem20) {
    Paths paths = PlanNumberedFiles(45);
    CancelFromRead(2); // pressed while items 1 to 19 are handled

    EXPECT_EQ(m_engine.CleanupFiles(), static_cast<DWORD>(ERROR_CANCELLED));
    EXPECT_EQ(StateReads(), 2);
    // Backward walk: the 20 largest items were registered, nothing after them.
    EXPECT_EQ(sim::PendingDeletes(), Paths(paths.rbegin(), paths.rbegin() + 20));
    EXPECT_EQ(Log(), "1223 CleanupFiles: 20 files and folders\n");
}

TEST_F(CleanupTest, ACancelBeforeTheStepStopsAtItem0) {
    PlanNumberedFiles(3);
    m_engine.m_planRegKeys.Add(kVendor);
    sim::AddKey(kVendor);
    CancelNow();

    EXPECT_EQ(m_engine.CleanupFiles(), static_cast<DWORD>(ERROR_CANCELLED));
    EXPECT_EQ(m_engine.CleanupRegKeys(), static_cast<DWORD>(ERROR_CANCELLED));
    EXPECT_TRUE(sim::PendingDeletes().empty());
    EXPECT_TRUE(sim::KeyExists(kVendor));
    EXPECT_EQ(Log(), "1223 CleanupFiles: 0 files and folders\n"
                     "1223 CleanupRegKeys: 0 keys\n");
}

TEST_F(CleanupTest, ValuesWalkForwardsAndStopAtTheCancel) {
    for (int i = 0; i < 25; ++i) {
        char name[8];
        snprintf(name, sizeof(name), "V%02d", i);
        sim::SetString(kVendor, name, "x");
        m_engine.m_planRegValues.Add((std::string(kVendor) + "\\" + name).c_str());
    }
    CancelFromRead(2);

    EXPECT_EQ(m_engine.CleanupRegValues(), static_cast<DWORD>(ERROR_CANCELLED));
    EXPECT_EQ(sim::ValueNames(kVendor), (Paths{"V20", "V21", "V22", "V23", "V24"}));
    EXPECT_EQ(Log(), "1223 CleanupRegValues: 20 values\n");
}

TEST_F(CleanupTest, DeletesTheDefaultValueAndNamedValuesOnly) {
    sim::SetDefault(kVendor, "default");
    sim::SetString(kVendor, "PATH", "C:\\APP");
    sim::SetString(kVendor, "OTHER", "kept");
    // What a split of the default-value item would wrongly name: value VENDOR of SOFTWARE.
    sim::SetString("HKEY_LOCAL_MACHINE\\SOFTWARE", "VENDOR", "kept");
    sim::SetDefault("HKEY_CURRENT_USER\\SOFTWARE", "kept");
    m_engine.m_planRegValues.Add("HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\");
    m_engine.m_planRegValues.Add("HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\PATH");
    m_engine.m_planRegValues.Add("HKEY_LOCAL_MACHINE\\SOFTWARE\\GONE\\PATH");
    // The value '"' of VENDOR: the text is split as stored, never normalised again.
    sim::SetString(kVendor, "\"", "quote");
    m_engine.m_planRegValues.Add("HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\\"");
    // Items that cannot be split whole address nothing: refused, each with its own line.
    m_engine.m_planRegValues.Add("HKLM\\SOFTWARE\\VENDOR\\OTHER"); // no full root name
    m_engine.m_planRegValues.Add("HKEY_CURRENT_USER\\SOFTWARE");   // no key path
    m_engine.m_planRegValues.Add("HKEY_LOCAL_MACHINE\\SOFTWARE\\\\VENDOR\\OTHER");
    m_engine.m_planRegValues.Add("HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\\\");

    EXPECT_EQ(m_engine.CleanupRegValues(), static_cast<DWORD>(ERROR_INVALID_DATA));

    EXPECT_EQ(sim::ValueNames(kVendor), Paths{"OTHER"});
    EXPECT_TRUE(sim::ValueExists("HKEY_LOCAL_MACHINE\\SOFTWARE", "VENDOR"));
    EXPECT_TRUE(sim::ValueExists("HKEY_CURRENT_USER\\SOFTWARE", ""));
    EXPECT_EQ(Log(), "0013 DeletePlanValue: HKEY_CURRENT_USER\\SOFTWARE\n"
                     "0013 DeletePlanValue: HKEY_LOCAL_MACHINE\\SOFTWARE\\\\VENDOR\\OTHER\n"
                     "0013 DeletePlanValue: HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\\\\n"
                     "0013 DeletePlanValue: HKLM\\SOFTWARE\\VENDOR\\OTHER\n"
                     "0013 CleanupRegValues: 8 values\n");
}

TEST_F(CleanupTest, KeysGoBottomUpAndOnlyWhenNothingIsLeftInThem) {
    sim::AddKey("HKLM\\SOFTWARE\\VENDOR\\GONE\\DEEP\\DEEPER");
    sim::AddKey("HKLM\\SOFTWARE\\VENDOR\\HOLDS_KEY\\IGNORED");
    sim::SetString("HKLM\\SOFTWARE\\VENDOR\\HOLDS_VALUE", "SPARED", "x");
    sim::SetDefault("HKLM\\SOFTWARE\\VENDOR\\HOLDS_DEFAULT", "x");
    for (const char* key : {"", "\\GONE", "\\GONE\\DEEP", "\\GONE\\DEEP\\DEEPER", "\\HOLDS_KEY",
                            "\\HOLDS_VALUE", "\\HOLDS_DEFAULT", "\\MISSING"})
        m_engine.m_planRegKeys.Add((std::string(kVendor) + key).c_str());
    // Texts that would name this empty, unplanned key once normalised: refused as they are.
    sim::AddKey("HKLM\\SOFTWARE\\OTHER\\EMPTY");
    m_engine.m_planRegKeys.Add("HKEY_LOCAL_MACHINE\\SOFTWARE\\OTHER\\\\EMPTY");
    m_engine.m_planRegKeys.Add("HKEY_LOCAL_MACHINE\\SOFTWARE\\OTHER\\EMPTY\\");

    // What stays because it still holds something is no failure.
    EXPECT_EQ(m_engine.CleanupRegKeys(), static_cast<DWORD>(ERROR_INVALID_DATA));

    EXPECT_EQ(sim::SubKeys(kVendor), (Paths{"HOLDS_DEFAULT", "HOLDS_KEY", "HOLDS_VALUE"}));
    EXPECT_TRUE(sim::KeyExists("HKLM\\SOFTWARE\\VENDOR\\HOLDS_KEY\\IGNORED"));
    EXPECT_EQ(sim::GetString("HKLM\\SOFTWARE\\VENDOR\\HOLDS_VALUE", "SPARED"), "x");
    EXPECT_TRUE(sim::KeyExists("HKLM\\SOFTWARE\\OTHER\\EMPTY"));
    EXPECT_EQ(Log(), "0013 DeletePlanKey: HKEY_LOCAL_MACHINE\\SOFTWARE\\OTHER\\EMPTY\\\n"
                     "0013 DeletePlanKey: HKEY_LOCAL_MACHINE\\SOFTWARE\\OTHER\\\\EMPTY\n"
                     "0013 CleanupRegKeys: 10 keys\n");
}

struct ItemFault {
    const char* name;
    const char* operation; // fails once, after `after` calls that work
    unsigned after;
    DWORD (CUninstallEngine::*step)();
    const char* failedItem;
    const char* countLine;
};

// Each item is tried; the one that failed gets its line with its error, and the step ends with it.
class CleanupFaultTest : public CleanupTest, public ::testing::WithParamInterface<ItemFault> {};

TEST_P(CleanupFaultTest, EveryItemIsTriedAndTheFailureIsReported) {
    const ItemFault& fault = GetParam();
    PlanNumberedFiles(3);
    for (const char* name : {"A", "B", "C"}) {
        sim::SetString(kVendor, name, "x");
        m_engine.m_planRegValues.Add((std::string(kVendor) + "\\" + name).c_str());
        sim::AddKey((std::string(kVendor) + "\\K" + name).c_str());
        m_engine.m_planRegKeys.Add((std::string(kVendor) + "\\K" + name).c_str());
    }
    sim::InjectFault(fault.operation, ERROR_ACCESS_DENIED, fault.after);

    EXPECT_EQ((m_engine.*fault.step)(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Log(), std::string("0005 ") + fault.failedItem + "\n" + fault.countLine + "\n");
    // The other two went.
    if (fault.step == &CUninstallEngine::CleanupFiles)
        EXPECT_EQ(sim::PendingDeletes().size(), 2u);
    else if (fault.step == &CUninstallEngine::CleanupRegValues)
        EXPECT_EQ(sim::ValueNames(kVendor).size(), 1u);
    else
        EXPECT_EQ(sim::SubKeys(kVendor).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CleanupFaultTest,
    ::testing::Values(ItemFault{"Registration", "MoveFileExA", 1, &CUninstallEngine::CleanupFiles,
                                "DeletePlanPath: C:\\APP\\F01.TXT",
                                "0005 CleanupFiles: 3 files and folders"},
                      ItemFault{"Value", "RegDeleteValueA", 0, &CUninstallEngine::CleanupRegValues,
                                "DeletePlanValue: HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\A",
                                "0005 CleanupRegValues: 3 values"},
                      ItemFault{"KeyLookedAt", "RegOpenKeyExA", 2,
                                &CUninstallEngine::CleanupRegKeys,
                                "DeletePlanKey: HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\KA",
                                "0005 CleanupRegKeys: 3 keys"},
                      ItemFault{"KeyRemoved", "RegDeleteKeyA", 0, &CUninstallEngine::CleanupRegKeys,
                                "DeletePlanKey: HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\KC",
                                "0005 CleanupRegKeys: 3 keys"}),
    [](const ::testing::TestParamInfo<ItemFault>& p) { return p.param.name; });

TEST_F(CleanupTest, AKeyPathTooLongForTheBufferIsNotCutToAShorterKey) {
    // The cut path would be exactly this empty, unplanned key.
    std::string parent = "HKEY_LOCAL_MACHINE\\SOFTWARE\\" + std::string(250, 'A');
    sim::AddKey(parent.c_str());
    m_engine.m_planRegKeys.Add((parent + "\\SUB").c_str());

    EXPECT_EQ(m_engine.CleanupRegKeys(), 0u);
    EXPECT_TRUE(sim::KeyExists(parent.c_str()));
    EXPECT_EQ(Log(), "0000 CleanupRegKeys: 1 keys\n");
}

} // namespace
