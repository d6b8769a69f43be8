// The removal plan: folders and keys expanded into their trees, ignore entries subtracted,
// links and over-long names left alone, the plan lines of the log and every cancel point.
#include "allocation_seam.h"
#include "engine_fixture.h"

#include "helpers/helper.h"

#include <set>
#include <string>

using namespace enginetest;

namespace {

const char kSuite[] = "C:\\PROGRAM FILES\\EXAMPLE SUITE";
const char kSuiteKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\EXAMPLE SUITE";

class RemovalPlanTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        OpenLogFile(nullptr, FALSE, nullptr);
    }
    // The plan lines of the log (the version line dropped).
    static Lines PlanLines() {
        Lines lines = LogLines();
        lines.erase(lines.begin());
        return lines;
    }
};

TEST_F(RemovalPlanTest, IgnoreEntryDropsEveryPlanEntryThatContainsIt) {
    sim::AddFile("C:\\Program Files\\Example Suite\\Bin\\App.exe");
    sim::AddFile("C:\\Program Files\\Example Suite\\ReadMe.txt");
    sim::AddFile("C:\\Program Files\\Example Suite\\Binder.dat");
    engine.m_removeFiles.Add(kSuite);
    engine.m_ignoreFiles.Add("C:\\PROGRAM FILES\\EXAMPLE SUITE\\BIN");

    EXPECT_EQ(0u, engine.PopulateRemoveLists());
    EXPECT_EQ((Lines{kSuite, "C:\\PROGRAM FILES\\EXAMPLE SUITE\\README.TXT"}),
              Items(engine.m_planFiles));
    EXPECT_EQ((Lines{"0000 PopulateRemoveServiceList: 0 services",
                     "0000 PopulateRemoveRegList: 0 keys, 0 values",
                     "0000 PopulateRemoveFileList: 2 files and folders"}),
              PlanLines());
}

TEST_F(RemovalPlanTest, FolderTreeIncludesHiddenSystemAndReadOnlyEntries) {
    sim::AddFile("C:\\Suite\\a.txt", "", FILE_ATTRIBUTE_HIDDEN);
    sim::AddFile("C:\\Suite\\Deep\\Deeper\\b.sys", "", FILE_ATTRIBUTE_SYSTEM);
    sim::AddFile("C:\\Suite\\c.ini", "", FILE_ATTRIBUTE_READONLY);
    sim::AddFolder("C:\\Suite\\Empty", FILE_ATTRIBUTE_HIDDEN);
    sim::AddFile("C:\\Other\\d.txt");
    sim::AddFile("C:\\Lone\\app.exe");
    engine.m_removeFiles.Add("C:\\SUITE");
    engine.m_removeFiles.Add("c:/lone/app.exe");
    engine.m_removeFiles.Add("C:\\MISSING\\FILE.TXT");

    EXPECT_EQ(0u, engine.PopulateRemoveFileList());
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), engine.AddFileTree("C:\\NONE\\NONE"));
    EXPECT_EQ((Lines{"C:\\LONE\\APP.EXE", "C:\\SUITE", "C:\\SUITE\\A.TXT", "C:\\SUITE\\C.INI",
                     "C:\\SUITE\\DEEP", "C:\\SUITE\\DEEP\\DEEPER", "C:\\SUITE\\DEEP\\DEEPER\\B.SYS",
                     "C:\\SUITE\\EMPTY"}),
              Items(engine.m_planFiles));
}

TEST_F(RemovalPlanTest, RemoveEntriesThatDoNotExistGiveZeroCounts) {
    engine.m_removeFiles.Add("C:\\NOWHERE");
    engine.m_removeRegKeys.Add("HKEY_LOCAL_MACHINE\\SOFTWARE\\NOWHERE");
    engine.m_removeRegKeys.Add("HKLM\\SOFTWARE\\SHORT ROOT");

    EXPECT_EQ(0u, engine.PopulateRemoveLists());
    EXPECT_EQ((Lines{"0000 PopulateRemoveServiceList: 0 services",
                     "0000 PopulateRemoveRegList: 0 keys, 0 values",
                     "0000 PopulateRemoveFileList: 0 files and folders"}),
              PlanLines());
}

TEST_F(RemovalPlanTest, EmptyIgnoreEntryEmptiesOnlyItsOwnPlan) {
    sim::AddFile("C:\\Suite\\a.txt");
    engine.m_removeFiles.Add("C:\\SUITE");
    engine.m_removeServices.Add("SVC");
    engine.m_ignoreFiles.Add("");

    EXPECT_EQ(0u, engine.PopulateRemoveLists());
    EXPECT_TRUE(engine.m_planFiles.IsEmpty());
    EXPECT_EQ(Lines{"SVC"}, Items(engine.m_planServices));
}

TEST_F(RemovalPlanTest, IgnoreMatchingIsCaseSensitiveExceptForServiceNames) {
    engine.m_planFiles.Add("C:\\KEEP");
    engine.m_planFiles.Add("C:\\OTHER");
    TSet lower;
    lower.Add("Keep");
    EXPECT_EQ(0u, engine.SubtractIgnored(engine.m_planFiles, lower));
    EXPECT_EQ((Lines{"C:\\KEEP", "C:\\OTHER"}), Items(engine.m_planFiles));

    // Service names come in the service manager's spelling, ignore entries in upper case.
    engine.m_removeServices.Add("AcmeKeep");
    engine.m_removeServices.Add("KEEPER");
    engine.m_removeServices.Add("Other");
    engine.m_ignoreServices.Add("KEEP");
    EXPECT_EQ(0u, engine.PopulateRemoveServiceList());
    EXPECT_EQ(Lines{"Other"}, Items(engine.m_planServices));
}

TEST_F(RemovalPlanTest, IgnoreMatchingRespectsDoubleByteCharacters) {
    sim::SetCodePage(932);
    // The second byte of this character is the code of '\'.
    const std::string table = "\x95\x5C";
    engine.m_planFiles.Add(("C:\\A" + table + "X").c_str());
    engine.m_planFiles.Add("C:\\B\\X");
    engine.m_ignoreFiles.Add("\\X");

    EXPECT_EQ(0u, engine.SubtractIgnored(engine.m_planFiles, engine.m_ignoreFiles));
    EXPECT_EQ(Lines{"C:\\A" + table + "X"}, Items(engine.m_planFiles));
}

TEST_F(RemovalPlanTest, KeyTreeBringsEverySubkeyAndValueAndIgnoredKeysKeepTheirValues) {
    const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite";
    sim::SetDefault(key.c_str(), "suite");
    sim::SetString(key.c_str(), "Path", "C:\\Program Files\\Example Suite");
    sim::SetDword(key.c_str(), "Version", 3);
    sim::SetString((key + "\\Bin").c_str(), "x", "1");
    sim::SetString((key + "\\Keep").c_str(), "y", "2");
    sim::AddKey((key + "\\Keep\\Deep").c_str());
    sim::SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite 2", "z", "3");
    engine.m_removeRegKeys.Add(kSuiteKey);
    engine.m_ignoreRegKeys.Add("HKEY_LOCAL_MACHINE\\SOFTWARE\\EXAMPLE SUITE\\KEEP");
    engine.m_removeRegValues.Add("HKEY_CURRENT_USER\\SOFTWARE\\RUN\\ExampleTray");

    EXPECT_EQ(0u, engine.PopulateRemoveLists());
    EXPECT_EQ((Lines{kSuiteKey, "HKEY_LOCAL_MACHINE\\SOFTWARE\\EXAMPLE SUITE\\BIN"}),
              Items(engine.m_planRegKeys));
    EXPECT_EQ((Lines{"HKEY_CURRENT_USER\\SOFTWARE\\RUN\\ExampleTray",
                     "HKEY_LOCAL_MACHINE\\SOFTWARE\\EXAMPLE SUITE\\",
                     "HKEY_LOCAL_MACHINE\\SOFTWARE\\EXAMPLE SUITE\\BIN\\X",
                     "HKEY_LOCAL_MACHINE\\SOFTWARE\\EXAMPLE SUITE\\PATH",
                     "HKEY_LOCAL_MACHINE\\SOFTWARE\\EXAMPLE SUITE\\VERSION"}),
              Items(engine.m_planRegValues));
    EXPECT_EQ("0000 PopulateRemoveRegList: 2 keys, 5 values", PlanLines()[1]);
}

TEST_F(RemovalPlanTest, KeyThatCannotBeOpenedContributesNothing) {
    sim::SetString("HKEY_CURRENT_USER\\Software\\Kv\\Open", "a", "1");
    sim::SetString("HKEY_CURRENT_USER\\Software\\Kv\\Shut\\Inner", "b", "2");
    sim::DenyKeyAccess("HKEY_CURRENT_USER\\Software\\Kv\\Shut");

    EXPECT_EQ(0u, engine.AddRegKeyTree("HKEY_CURRENT_USER\\Software\\Kv"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED),
              engine.AddRegKeyTree("HKEY_CURRENT_USER\\Software\\Kv\\Shut"));
    EXPECT_EQ((Lines{"HKEY_CURRENT_USER\\SOFTWARE\\KV", "HKEY_CURRENT_USER\\SOFTWARE\\KV\\OPEN"}),
              Items(engine.m_planRegKeys));
    EXPECT_EQ(Lines{"HKEY_CURRENT_USER\\SOFTWARE\\KV\\OPEN\\A"}, Items(engine.m_planRegValues));
}

TEST_F(RemovalPlanTest, SubkeyNamesThatNormaliseAwayDoNotLoopBackToTheirParent) {
    // Named '/' or '"', the child's text would normalise back to 'KV' itself.
    const std::string key = "HKEY_CURRENT_USER\\Software\\Kv";
    for (const char* name : {"/", "\"", "\"/\"", "Real", "a/b"})
        sim::AddKey((key + "\\" + name).c_str());

    EXPECT_EQ(0u, engine.AddRegKeyTree(key.c_str()));
    EXPECT_EQ((Lines{"HKEY_CURRENT_USER\\SOFTWARE\\KV", "HKEY_CURRENT_USER\\SOFTWARE\\KV\\REAL"}),
              Items(engine.m_planRegKeys));
}

TEST_F(RemovalPlanTest, NameThatDoesNotFitEndsItsEnumeration) {
    // 'HKEY_CURRENT_USER\SOFTWARE\KV\' leaves room for names of 230 characters. Subkeys come
    // sorted: A0, A1..1 (230 characters, fits exactly), AA..A (240, does not fit), B.
    const std::string key = "HKEY_CURRENT_USER\\Software\\Kv";
    const std::string fits = "A" + std::string(229, '1');
    const std::string tooLong(240, 'A');
    sim::AddKey((key + "\\A0").c_str());
    sim::AddKey((key + "\\" + fits).c_str());
    sim::AddKey((key + "\\" + tooLong).c_str());
    sim::AddKey((key + "\\B").c_str());
    sim::SetString(key.c_str(), "First", "1");
    sim::SetString(key.c_str(), tooLong.c_str(), "2");
    sim::SetString(key.c_str(), "Last", "3");

    EXPECT_EQ(0u, engine.AddRegKeyTree(key.c_str()));
    EXPECT_EQ((Lines{"HKEY_CURRENT_USER\\SOFTWARE\\KV", "HKEY_CURRENT_USER\\SOFTWARE\\KV\\A0",
                     "HKEY_CURRENT_USER\\SOFTWARE\\KV\\" + fits}),
              Items(engine.m_planRegKeys));
    EXPECT_EQ(Lines{"HKEY_CURRENT_USER\\SOFTWARE\\KV\\FIRST"}, Items(engine.m_planRegValues));
}

TEST_F(RemovalPlanTest, KeyTextUpTo260CharactersIsPlanned) {
    // Root name, '\', path: exactly 260 characters, the most the 261-byte buffer holds.
    const std::string root = "HKEY_CURRENT_USER\\";
    const std::string key = root + "K\\" + std::string(260 - root.size() - 2, 'L');
    sim::SetString(key.c_str(), "v", "1");
    EXPECT_EQ(0u, engine.AddRegKeyTree(key.c_str()));
    ASSERT_EQ(1u, engine.m_planRegKeys.Count());
    EXPECT_EQ(260u, Items(engine.m_planRegKeys)[0].size());
    // No room is left for a value name.
    EXPECT_TRUE(engine.m_planRegValues.IsEmpty());
}

TEST_F(RemovalPlanTest, JunctionIsPlannedButNothingBehindIt) {
    sim::AddFile("C:\\Documents and Settings\\Joe\\My Documents\\letter.doc");
    sim::AddFile("C:\\Program Files\\Suite\\app.exe");
    sim::AddJunction("C:\\Program Files\\Suite\\Docs",
                     "C:\\Documents and Settings\\Joe\\My Documents");
    sim::AddJunction("C:\\Program Files\\Link", "C:\\Program Files\\Suite");
    engine.m_removeFiles.Add("C:\\PROGRAM FILES\\SUITE");
    engine.m_removeFiles.Add("C:\\PROGRAM FILES\\LINK");

    EXPECT_EQ(0u, engine.PopulateRemoveFileList());
    EXPECT_EQ((Lines{"C:\\PROGRAM FILES\\LINK", "C:\\PROGRAM FILES\\SUITE",
                     "C:\\PROGRAM FILES\\SUITE\\APP.EXE", "C:\\PROGRAM FILES\\SUITE\\DOCS"}),
              Items(engine.m_planFiles));
}

TEST_F(RemovalPlanTest, OverLongPathsAreSkippedNotCut) {
    // A folder of 240 characters: entries of up to 18 characters still fit in 259.
    const std::string folder = "C:\\" + std::string(237, 'F');
    sim::AddFile((folder + "\\short.txt").c_str());
    sim::AddFile((folder + "\\" + std::string(18, 'n')).c_str());
    sim::AddFile((folder + "\\" + std::string(19, 'o')).c_str());
    sim::AddFile((folder + "\\sub\\" + std::string(30, 'p')).c_str());

    EXPECT_EQ(0u, engine.AddFileTree(folder.c_str()));
    Lines plan = Items(engine.m_planFiles);
    EXPECT_EQ(4u, plan.size());
    for (const std::string& path : plan)
        EXPECT_LE(path.size(), 259u) << path;
    EXPECT_TRUE(engine.m_planFiles.Contains((folder + "\\SHORT.TXT").c_str()));
    EXPECT_TRUE(engine.m_planFiles.Contains((folder + "\\" + std::string(18, 'N')).c_str()));
    EXPECT_TRUE(engine.m_planFiles.Contains((folder + "\\SUB").c_str()));
}

TEST_F(RemovalPlanTest, OverLongRemoveEntryIsNotCutToAnExistingFolder) {
    // Cut to 259 characters, the entry would name this folder.
    const std::string folder = "C:\\" + std::string(256, 'G');
    sim::AddFile((folder + "\\precious.txt").c_str());
    const std::string entry = folder + "\\SUB";

    EXPECT_NE(0u, engine.AddFileTree(entry.c_str()));
    EXPECT_TRUE(engine.m_planFiles.IsEmpty());
}

// Cancel: the plan is built in three logged steps and a final walk, each polling at fixed points.
// Services {S1, S2}: a poll after each advance and one at the end (3). Registry, one key: a poll
// before it and after the copy and each subtraction (4). Files {F1, F2}: as services (3). Walk:
// one poll per planned entry (2 services, 2 keys, 1 value, 3 files and folders).
TEST_F(RemovalPlanTest, CancelAtEveryPollingPointStopsTheStepItFallsIn) {
    const int kServicePolls = 3, kRegistryPolls = 4, kFilePolls = 3, kWalkPolls = 8;
    const int total = kServicePolls + kRegistryPolls + kFilePolls + kWalkPolls;
    for (int read = 1; read <= total + 1; ++read) {
        SCOPED_TRACE(read);
        TraceResetForTests();
        sim::Reset();
        sim::SetModulePath(kProgram);
        sim::AddFolder("C:\\Tools");
        sim::SetString("HKEY_CURRENT_USER\\Software\\Kv\\Sub", "v", "1");
        sim::AddFile("C:\\F1\\inner.txt");
        sim::AddFile("C:\\F2");
        OpenLogFile(nullptr, FALSE, nullptr);
        TestRunState stand_in;
        stand_in.m_cancelFromRead = read;
        CUninstallEngine fresh;
        fresh.SetStateReader(&stand_in);
        fresh.m_removeServices.Add("S1");
        fresh.m_removeServices.Add("S2");
        fresh.m_removeRegKeys.Add("HKEY_CURRENT_USER\\SOFTWARE\\KV");
        fresh.m_removeFiles.Add("C:\\F1");
        fresh.m_removeFiles.Add("C:\\F2");

        DWORD result = fresh.PopulateRemoveLists();
        Lines lines = PlanLines();
        if (read > total) {
            EXPECT_EQ(0u, result);
            EXPECT_EQ(total, stand_in.m_stateReads.load());
            EXPECT_EQ((Lines{"0000 PopulateRemoveServiceList: 2 services",
                             "0000 PopulateRemoveRegList: 2 keys, 1 values",
                             "0000 PopulateRemoveFileList: 3 files and folders"}),
                      lines);
            continue;
        }
        EXPECT_EQ(static_cast<DWORD>(ERROR_CANCELLED), result);
        EXPECT_EQ(read, stand_in.m_stateReads.load());
        if (read <= kServicePolls) {
            EXPECT_EQ((Lines{"1223 PopulateRemoveServiceList: unknown error"}), lines);
        } else if (read <= kServicePolls + kRegistryPolls) {
            EXPECT_EQ((Lines{"0000 PopulateRemoveServiceList: 2 services",
                             "1223 PopulateRemoveRegList: unknown error"}),
                      lines);
            EXPECT_TRUE(fresh.m_planFiles.IsEmpty());
        } else if (read <= kServicePolls + kRegistryPolls + kFilePolls) {
            ASSERT_EQ(3u, lines.size());
            EXPECT_EQ("1223 PopulateRemoveFileList: unknown error", lines[2]);
        } else {
            ASSERT_EQ(3u, lines.size());
            EXPECT_EQ("0000 PopulateRemoveFileList: 3 files and folders", lines[2]);
        }
    }
}

// An exhausted heap: each allocation of the plan in turn fails. No exception leaves the engine;
// the plan fails with ERROR_NOT_ENOUGH_MEMORY and no plan is left to act on; the log shows the
// steps done before as they are and the step the failure fell in with 0008 (unless the failure
// fell in the writing of the log itself), never a failed step as a success; a failure that
// something absorbed leaves the whole plan as it would be.
TEST_F(RemovalPlanTest, AllocationFailureAnywhereFailsThePlanAndLeavesNoPlan) {
    const Lines kPlanLines = {"0000 PopulateRemoveServiceList: 1 services",
                              "0000 PopulateRemoveRegList: 2 keys, 2 values",
                              "0005 ProtectedPath: C:\\WINDOWS",
                              "0000 PopulateRemoveFileList: 4 files and folders"};
    std::set<std::string> failedSteps;
    bool reachedTheEnd = false;
    for (unsigned long nth = 1; nth < 100000 && !reachedTheEnd; ++nth) {
        SCOPED_TRACE(nth);
        FreshMachine();
        sim::SetString("HKEY_CURRENT_USER\\Software\\Kv\\Sub", "v", "1");
        sim::AddFile("C:\\F1\\Inner\\inner.txt");
        sim::AddFile("C:\\F2");
        OpenLogFile(nullptr, FALSE, nullptr);
        CUninstallEngine fresh;
        fresh.SetStateReader(&dialog);
        fresh.m_removeServices.Add("S1");
        fresh.m_removeRegKeys.Add("HKEY_CURRENT_USER\\SOFTWARE\\KV");
        fresh.m_removeRegValues.Add("HKEY_CURRENT_USER\\SOFTWARE\\KV\\V");
        fresh.m_removeFiles.Add("C:\\F1");
        fresh.m_removeFiles.Add("C:\\F2");
        fresh.m_removeFiles.Add("C:\\WINDOWS");

        DWORD result = ERROR_SUCCESS;
        FailAllocation(nth);
        EXPECT_NO_THROW(result = fresh.PopulateRemoveLists());
        bool failed = StopFailingAllocations();
        reachedTheEnd = !failed;
        Lines lines = PlanLines();
        if (result == ERROR_SUCCESS) {
            EXPECT_EQ(kPlanLines, lines);
            EXPECT_EQ(4u, fresh.m_planFiles.Count());
            continue;
        }
        EXPECT_TRUE(failed);
        EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), result);
        EXPECT_TRUE(fresh.m_planServices.IsEmpty());
        EXPECT_TRUE(fresh.m_planRegKeys.IsEmpty());
        EXPECT_TRUE(fresh.m_planRegValues.IsEmpty());
        EXPECT_TRUE(fresh.m_planFiles.IsEmpty());
        ASSERT_LE(lines.size(), kPlanLines.size());
        for (size_t i = 0; i < lines.size(); ++i) {
            if (i + 1 == lines.size() && lines[i].compare(0, 5, "0008 ") == 0) {
                failedSteps.insert(lines[i].substr(5, lines[i].find(':') - 5));
                continue;
            }
            EXPECT_EQ(kPlanLines[i], lines[i]);
        }
        if (!lines.empty()) {
            EXPECT_NE(kPlanLines.back(), lines.back());
        }
    }
    EXPECT_TRUE(reachedTheEnd);
    EXPECT_EQ((std::set<std::string>{"PopulateRemoveServiceList", "PopulateRemoveRegList",
                                     "PopulateRemoveFileList"}),
              failedSteps);
}

TEST_F(RemovalPlanTest, CancelWithoutErrorTextLogsTheCounts) {
    engine.SetErrorText(nullptr);
    sim::SetString("HKEY_CURRENT_USER\\Software\\Kv", "v", "1");
    engine.m_removeRegKeys.Add("HKEY_CURRENT_USER\\SOFTWARE\\KV");
    // The service step polls once (no entries); the registry step before its key, then after
    // the copy.
    CancelFromRead(3);
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANCELLED), engine.PopulateRemoveLists());
    EXPECT_EQ((Lines{"0000 PopulateRemoveServiceList: 0 services",
                     "1223 PopulateRemoveRegList: 1 keys, 1 values"}),
              PlanLines());
}

} // namespace
