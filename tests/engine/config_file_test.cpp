// Reading the profile: where it is found, how sections, keys and entries are recognised, what
// reaches the discovery operations, and the log line of every step and failure.
#include "allocation_seam.h"
#include "engine_fixture.h"
#include "trace/trace_state.h"

#include <string>

using namespace enginetest;

namespace {

const char kWorkedExample[] =
    "; uninstallation profile (this line lies outside every section)\n"
    "[service 1]\n"
    "remove=SERVICE_NAME,BY_VALUE,ExampleSvc\n"
    "[registry key 1]\n"
    "remove=REG_KEY,BY_VALUE,HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite\n"
    "ignore=REG_KEY,BY_VALUE,HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite\\Keep\n"
    "[registry value 1]\n"
    "remove=REG_VALUE,BY_VALUE,"
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\ExampleTray\n"
    "[file 1]\n"
    "remove=FILE_NAME,BY_VALUE,\"C:\\Program Files\\Example Suite\\\"\n"
    "ignore=FILE_NAME,BY_VALUE,C:/Program Files/Example Suite/Reports\n"
    "notes=anything\n";

// The three sections other than "service", empty, so that a profile can be completed around a
// service section under test.
const char kOtherSections[] = "[registry key 1]\n[registry value 1]\n[file 1]\n";

class ConfigFileTest : public EngineTest {
protected:
    // Loads a profile whose service section is `service` and returns CreateProfile's result.
    DWORD LoadServiceSection(const std::string& service) {
        WriteProfile(service + kOtherSections);
        return engine.CreateProfile();
    }
    // Locates the profile and reads one list, without the log.
    DWORD ReadRemoveServices() {
        EXPECT_EQ(0u, engine.InitConfigFile());
        return engine.InitRemoveServiceList();
    }
};

TEST_F(ConfigFileTest, WorkedExampleFillsTheEightSetsAndLogsEveryStep) {
    sim::AddFolder("C:\\Program Files\\Example Suite");
    WriteProfile(kWorkedExample);

    EXPECT_EQ(0u, engine.CreateProfile());

    EXPECT_EQ(Lines{"EXAMPLESVC"}, Items(engine.m_removeServices));
    EXPECT_EQ(Lines{"HKEY_LOCAL_MACHINE\\SOFTWARE\\EXAMPLE SUITE"}, Items(engine.m_removeRegKeys));
    EXPECT_EQ(Lines{"HKEY_LOCAL_MACHINE\\SOFTWARE\\EXAMPLE SUITE\\KEEP"},
              Items(engine.m_ignoreRegKeys));
    EXPECT_EQ(Lines{"HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN\\"
                    "EXAMPLETRAY"},
              Items(engine.m_removeRegValues));
    EXPECT_EQ(Lines{"C:\\PROGRAM FILES\\EXAMPLE SUITE"}, Items(engine.m_removeFiles));
    EXPECT_EQ(Lines{"C:\\PROGRAM FILES\\EXAMPLE SUITE\\REPORTS"}, Items(engine.m_ignoreFiles));
    EXPECT_TRUE(engine.m_ignoreServices.IsEmpty());
    EXPECT_TRUE(engine.m_ignoreRegValues.IsEmpty());
    EXPECT_STREQ(kProfile, engine.m_configPath);

    EXPECT_EQ((Lines{"Kelvane v.1.1.213.0 DEBUG", "0000 InitConfigFile: C:\\Tools\\Kelvane.cfg",
                     "0000 InitIgnoreServiceList: 0 items", "0000 InitRemoveServiceList: 1 items",
                     "0000 InitIgnoreRegValueList: 0 items", "0000 InitRemoveRegValueList: 1 items",
                     "0000 InitIgnoreRegKeyList: 1 items", "0000 InitRemoveRegKeyList: 1 items",
                     "0000 InitIgnoreFileList: 1 items", "0000 InitRemoveFileList: 1 items"}),
              LogLines());
}

// An exhausted heap while the profile is read: each allocation in turn fails. The profile step
// either fails with ERROR_NOT_ENOUGH_MEMORY or has read every list whole: a list item lost on the
// way (an ignore entry above all, whose items would go unspared) never passes for a loaded list.
TEST_F(ConfigFileTest, AllocationFailureAnywhereFailsTheProfileOrLosesNothing) {
    bool reachedTheEnd = false;
    bool failedOnce = false;
    for (unsigned long nth = 1; nth < 100000 && !reachedTheEnd; ++nth) {
        SCOPED_TRACE(nth);
        FreshMachine();
        sim::AddFolder("C:\\Program Files\\Example Suite");
        WriteProfile("[service 1]\n[registry key 1]\n"
                     "ignore=REG_KEY,BY_VALUE,HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite\\Keep\n"
                     "[registry value 1]\n[file 1]\n"
                     "ignore=FILE_NAME,BY_VALUE,C:/Program Files/Example Suite/Reports\n");
        // The trace lock exists before the heap fails: creating it is the system's work, which
        // reports failure with an error, never with an exception.
        TraceLock();
        TraceUnlock();
        CUninstallEngine fresh;
        fresh.SetStateReader(&dialog);
        DWORD result = ERROR_SUCCESS;
        FailAllocation(nth);
        EXPECT_NO_THROW(result = fresh.CreateProfile());
        reachedTheEnd = !StopFailingAllocations();
        if (result != ERROR_SUCCESS) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), result);
            failedOnce = true;
            continue;
        }
        EXPECT_EQ(Lines{"HKEY_LOCAL_MACHINE\\SOFTWARE\\EXAMPLE SUITE\\KEEP"},
                  Items(fresh.m_ignoreRegKeys));
        EXPECT_EQ(Lines{"C:\\PROGRAM FILES\\EXAMPLE SUITE\\REPORTS"}, Items(fresh.m_ignoreFiles));
    }
    EXPECT_TRUE(reachedTheEnd);
    EXPECT_TRUE(failedOnce);
}

TEST_F(ConfigFileTest, ProfileAndLogFollowTheProgramFileName) {
    sim::SetModulePath("D:\\Kit\\cleanup.exe");
    sim::AddFile("D:\\Kit\\cleanup.cfg", std::string("[service 1]\n") + kOtherSections);

    EXPECT_EQ(0u, engine.CreateProfile());
    EXPECT_STREQ("D:\\Kit\\cleanup.cfg", engine.m_configPath);
    Lines lines = LogLines("D:\\Kit\\cleanup.log");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ("cleanup v.1.1.213.0 DEBUG", lines[0]);
    EXPECT_EQ("0000 InitConfigFile: D:\\Kit\\cleanup.cfg", lines[1]);
}

// Failure table: each row's result, error text and log line.

TEST_F(ConfigFileTest, UnavailableProgramPathEndsWithTheBareInitLine) {
    sim::InjectFault("GetModuleFileNameA", ERROR_NOT_ENOUGH_MEMORY, 0, sim::Always);
    WriteProfile(kWorkedExample);

    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), engine.CreateProfile());
    EXPECT_EQ(nullptr, engine.m_configPath);
    EXPECT_STREQ("unknown error", engine.m_errorText);
    // Without the program's path there is no log file: the line reaches the debugger output.
    EXPECT_EQ("0008 InitConfigFile\n", sim::DebugOutput());
}

TEST_F(ConfigFileTest, ProgramPathThatDoesNotFitIsNotCutIntoAnotherName) {
    std::string folder = "C:\\" + std::string(250, 'D');
    sim::SetModulePath((folder + "\\Kelvane.exe").c_str());
    sim::AddFile((folder + "\\Kelvane.cfg").c_str(), kWorkedExample);
    // The name as it would be cut to 258 characters gives the profile of another program.
    sim::AddFile((folder + "\\Kelv.cfg").c_str(), kWorkedExample);

    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), engine.CreateProfile());
    EXPECT_EQ(nullptr, engine.m_configPath);
    EXPECT_EQ("0122 InitConfigFile\n", sim::DebugOutput());
}

TEST_F(ConfigFileTest, MissingProfileFailsWithItsPath) {
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), engine.CreateProfile());
    EXPECT_STREQ(kProfile, engine.m_configPath);
    EXPECT_EQ((Lines{"Kelvane v.1.1.213.0 DEBUG", "0002 InitConfigFile: C:\\Tools\\Kelvane.cfg"}),
              LogLines());
}

TEST_F(ConfigFileTest, CancelBeforeTheRunIsNoticedAtTheEndOfInitConfigFile) {
    WriteProfile(kWorkedExample);
    dialog.m_state = STATE_CANCELLED;

    EXPECT_EQ(static_cast<DWORD>(ERROR_CANCELLED), engine.CreateProfile());
    EXPECT_EQ(1, StateReads());
    EXPECT_EQ((Lines{"Kelvane v.1.1.213.0 DEBUG", "1223 InitConfigFile: C:\\Tools\\Kelvane.cfg"}),
              LogLines());
    EXPECT_TRUE(engine.m_removeServices.IsEmpty());
}

TEST_F(ConfigFileTest, ProfileThatCannotBeOpenedAsAStreamFailsTheFirstLoader) {
    WriteProfile(kWorkedExample);
    // The log's own open succeeds; the reader's open is refused.
    sim::InjectFault("fopen", ERROR_SHARING_VIOLATION, 1);

    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), engine.CreateProfile());
    EXPECT_STREQ("unknown error", engine.m_errorText);
    Lines lines = LogLines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("0032 InitIgnoreServiceList: unknown error", lines[2]);
}

TEST_F(ConfigFileTest, MissingSectionFailsAtItsFirstLoader) {
    WriteProfile("[service 1]\n[registry key 1]\n[registry value 1]\n");
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_CONFIGURATION), engine.CreateProfile());
    Lines lines = LogLines();
    ASSERT_EQ(9u, lines.size());
    EXPECT_EQ("1610 InitIgnoreFileList: unknown error", lines[8]);

    TraceResetForTests();
    WriteProfile("");
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_CONFIGURATION), engine.CreateProfile());
    EXPECT_EQ("1610 InitIgnoreServiceList: unknown error", LogLines().back());
}

// Reads of the state for this profile: 1 at the end of InitConfigFile; ignore list: 2 after the
// header, 3-6 before each line up to the next header and to leave; remove list: 7 after the
// header, 8 before the entry, 9 before the comment, 10 before the next header.
TEST_F(ConfigFileTest, CancelInASectionReportsTheLineInTheBuffer) {
    const std::string service = "[service 1]\n"
                                "remove=SERVICE_NAME,BY_VALUE,Alpha\n"
                                "; note\n";
    struct Case {
        int read;
        const char* errorText;
        const char* line;
    };
    const Case cases[] = {
        {2, "unknown error", "1223 InitIgnoreServiceList: unknown error"},
        {3, "", "1223 InitIgnoreServiceList: "},
        {9, "remove=SERVICE_NAME,BY_VALUE,Alpha",
         "1223 InitRemoveServiceList: remove=SERVICE_NAME,BY_VALUE,Alpha"},
        {10, "; note", "1223 InitRemoveServiceList: ; note"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.read);
        TraceResetForTests();
        TestRunState stand_in;
        stand_in.m_cancelFromRead = test.read;
        CUninstallEngine fresh;
        fresh.SetStateReader(&stand_in);
        WriteProfile(service + kOtherSections);
        EXPECT_EQ(static_cast<DWORD>(ERROR_CANCELLED), fresh.CreateProfile());
        EXPECT_EQ(test.read, stand_in.m_stateReads.load());
        EXPECT_STREQ(test.errorText, fresh.m_errorText);
        EXPECT_EQ(test.line, LogLines().back());
        EXPECT_EQ(test.read < 9 ? 0u : 1u, fresh.m_removeServices.Count());
    }
}

TEST_F(ConfigFileTest, FullLoadPollsOncePerHeaderAndLine) {
    WriteProfile(kWorkedExample);
    sim::AddFolder("C:\\Program Files\\Example Suite");
    EXPECT_EQ(0u, engine.CreateProfile());
    // InitConfigFile 1; each loader 1 after its header, 1 before every line read up to the next
    // '[' line, and 1 more to leave: service 1+3, registry value 1+3, registry key 1+4; file 1+5
    // (three lines, a read that meets the end of the file, then the end is seen). Each section
    // is read twice.
    EXPECT_EQ(1 + 2 * (4 + 4 + 5 + 6), StateReads());
}

TEST_F(ConfigFileTest, UnknownOrMalformedEntriesFailWithTheirLine) {
    const char* const entries[] = {
        "remove=FILE_NAME,BY_REFERENCE,C:\\X",
        "remove= FILE_NAME,BY_VALUE,C:\\X",
        "remove=REG_KEY, BY_VALUE,HKEY_USERS\\X",
        "remove=REG_KEY,BY_REFERENCE,HKEY_USERS\\X",
        "remove=FILE,BY_VALUE,C:\\X",
        "remove=FILE_NAME,BY_VALUES,C:\\X",
        "remove=FILE_NAME",
        "remove=SERVICE_NAME,BY_DATA_MATCH,X",
        "remove=REG_VALUE_EXPAND,BY_VALUE,X",
        "remove=REG_KEY_EXPAND,BY_VALUE,X",
    };
    for (const char* entry : entries) {
        SCOPED_TRACE(entry);
        TraceResetForTests();
        sim::Reset();
        sim::SetModulePath(kProgram);
        CUninstallEngine fresh;
        sim::AddFile(kProfile, std::string("[service 1]\n[registry key 1]\n[registry value 1]\n"
                                           "[file 1]\n") +
                                   entry + "\n");
        EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_CONFIGURATION), fresh.CreateProfile());
        EXPECT_STREQ(entry, fresh.m_errorText);
        Lines lines = LogLines();
        ASSERT_EQ(10u, lines.size());
        EXPECT_EQ(std::string("1610 InitRemoveFileList: ") + entry, lines[9]);
        EXPECT_TRUE(fresh.m_removeFiles.IsEmpty());
    }
}

TEST_F(ConfigFileTest, FailingDiscoveryStopsTheProfileWithItsResult) {
    WriteProfile("[service 1]\n[registry value 1]\n[file 1]\n"
                 "[registry key 1]\n"
                 "remove=REG_KEY,BY_VALUE,HKEY_LOCAL_MACHINE\\Software\\First\n"
                 "remove=REG_KEY,BY_VALUE,HKEY_LOCAL_MACHINE\\Software\\Vend*\\Path\n"
                 "remove=REG_KEY,BY_VALUE,HKEY_LOCAL_MACHINE\\Software\\Never\n");

    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), engine.CreateProfile());
    EXPECT_STREQ("remove=REG_KEY,BY_VALUE,HKEY_LOCAL_MACHINE\\Software\\Vend*\\Path",
                 engine.m_errorText);
    EXPECT_EQ(Lines{"HKEY_LOCAL_MACHINE\\SOFTWARE\\FIRST"}, Items(engine.m_removeRegKeys));
    Lines lines = LogLines();
    ASSERT_EQ(8u, lines.size());
    EXPECT_EQ("0013 InitRemoveRegKeyList: "
              "remove=REG_KEY,BY_VALUE,HKEY_LOCAL_MACHINE\\Software\\Vend*\\Path",
              lines[7]);
}

TEST_F(ConfigFileTest, FailureWithoutErrorTextFallsBackToTheCountForm) {
    // As after a copy of the error text that found no memory.
    engine.SetErrorText(nullptr);
    WriteProfile("[service 1]\nremove=SERVICE_NAME,BY_VALUE,Alpha\n");

    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_CONFIGURATION), engine.CreateProfile());
    Lines lines = LogLines();
    ASSERT_EQ(5u, lines.size());
    EXPECT_EQ("0000 InitRemoveServiceList: 1 items", lines[3]);
    EXPECT_EQ("1610 InitIgnoreRegValueList: 0 items", lines[4]);
}

// Sections and keys.

TEST_F(ConfigFileTest, HeaderIsALinePrefixWithoutRegardToCase) {
    EXPECT_EQ(0u, LoadServiceSection("[SERVICE 1] old entries\nremove=SERVICE_NAME,BY_VALUE,A\n"));
    EXPECT_EQ(Lines{"A"}, Items(engine.m_removeServices));

    TraceResetForTests();
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_CONFIGURATION),
              LoadServiceSection(" [service 1]\n[service 2]\nremove=SERVICE_NAME,BY_VALUE,B\n"));
    EXPECT_EQ(Lines{"A"}, Items(engine.m_removeServices));
}

TEST_F(ConfigFileTest, AnyBracketLineEndsTheSectionAndOnlyTheFirstHeaderCounts) {
    EXPECT_EQ(0u, LoadServiceSection("[service 1]\n"
                                     "remove=SERVICE_NAME,BY_VALUE,A\n"
                                     "[note]\n"
                                     "remove=SERVICE_NAME,BY_VALUE,B\n"
                                     "[service 1]\n"
                                     "remove=SERVICE_NAME,BY_VALUE,C\n"));
    EXPECT_EQ(Lines{"A"}, Items(engine.m_removeServices));
}

TEST_F(ConfigFileTest, OnlyExactKeyPrefixesAreEntries) {
    EXPECT_EQ(0u, LoadServiceSection("[service 1]\n"
                                     "REMOVE=SERVICE_NAME,by_value,Upper\n"
                                     " remove=SERVICE_NAME,BY_VALUE,Indented\n"
                                     "remove =SERVICE_NAME,BY_VALUE,Spaced\n"
                                     "removed=SERVICE_NAME,BY_VALUE,Longer\n"
                                     "; remove=SERVICE_NAME,BY_VALUE,Comment\n"
                                     "\n"
                                     "ignore=SERVICE_NAME,BY_VALUE,Spared\n"));
    EXPECT_EQ(Lines{"UPPER"}, Items(engine.m_removeServices));
    EXPECT_EQ(Lines{"SPARED"}, Items(engine.m_ignoreServices));
}

TEST_F(ConfigFileTest, DataReachesDiscoveryNormalisedAndWithoutItsLineEnd) {
    EXPECT_EQ(0u, LoadServiceSection("[service 1]\r\n"
                                     "remove=SERVICE_NAME,BY_VALUE,\"c:/temp//x/\"\r\n"
                                     "remove=SERVICE_NAME,BY_VALUE,a, \"b\" c\r\n"));
    EXPECT_EQ((Lines{"A, \"B\" C", "C:\\TEMP\\X"}), Items(engine.m_removeServices));
}

TEST_F(ConfigFileTest, KeywordMustBeFollowedByAComma) {
    // "FILE_NAME" is tried first but does not take "FILE_NAME_EXPAND,".
    WriteProfile("[file 1]\nremove=FILE_NAME_EXPAND,BY_VALUE,%WINDOWS%\\x.ini\n");
    EXPECT_EQ(0u, engine.InitConfigFile());
    EXPECT_EQ(0u, engine.InitRemoveFileList());
    EXPECT_EQ(1u, engine.m_removeFiles.Count());
}

TEST_F(ConfigFileTest, SectionsInAnyOrderAndALastLineWithoutLineFeed) {
    WriteProfile("[file 1]\n[registry key 1]\n[registry value 1]\n"
                 "[service 1]\nremove=SERVICE_NAME,BY_VALUE,Final");
    EXPECT_EQ(0u, engine.CreateProfile());
    EXPECT_EQ(Lines{"FINAL"}, Items(engine.m_removeServices));
}

TEST_F(ConfigFileTest, LongLineIsNeverSplitIntoTwo) {
    const std::string key = "remove=SERVICE_NAME,BY_VALUE,";
    const std::string exact = std::string(359 - key.size(), 'M');
    // A comment and a header line longer than the buffer are skipped whole: their remainders
    // would read as an entry and as a section header. A line of exactly 359 characters fits.
    WriteProfile(";" + std::string(358, 'c') + key + "TAIL\n" + "[service 1]" +
                 std::string(400, 'h') + "\n;" + std::string(358, 'c') + "[file 1]\n" + key +
                 exact + "\n" + key + "NEXT\n");
    EXPECT_EQ(0u, ReadRemoveServices());
    EXPECT_EQ((Lines{exact, "NEXT"}), Items(engine.m_removeServices));

    // An entry longer than the buffer fails the profile with what was read of it.
    const std::string cut = std::string(359 - key.size(), 'N');
    WriteProfile("[service 1]\n" + key + cut + "\",\"*TAIL\n" + key + "NEXT\n");
    CUninstallEngine fresh;
    fresh.SetStateReader(&dialog);
    EXPECT_EQ(0u, fresh.InitConfigFile());
    EXPECT_EQ(1610u, fresh.InitRemoveServiceList());
    EXPECT_TRUE(fresh.m_removeServices.IsEmpty());
    EXPECT_EQ(key + cut, fresh.m_errorText);
}

TEST_F(ConfigFileTest, LastEntryIsDispatchedOnce) {
    // At the end of the file the read delivers nothing; the entry before it must not be taken
    // a second time (each wildcard entry opens its key anew).
    sim::AddKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor");
    WriteProfile("[registry key 1]\nremove=REG_KEY,BY_VALUE,HKEY_LOCAL_MACHINE\\SOFTWARE\\V*\n");
    EXPECT_EQ(0u, engine.InitConfigFile());
    unsigned before = sim::CallCount("RegOpenKeyExA");
    EXPECT_EQ(0u, engine.InitRemoveRegKeyList());
    EXPECT_EQ(1u, sim::CallCount("RegOpenKeyExA") - before);
    EXPECT_EQ(Lines{"HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR"}, Items(engine.m_removeRegKeys));
}

TEST_F(ConfigFileTest, DispatchRejectsEveryPairWithoutDiscovery) {
    const int pairs[][2] = {
        {REG_KEY_TYPE, BY_REFERENCE_MODE},
        {REG_VALUE_EXPAND_TYPE, BY_REFERENCE_MODE},
        {REG_VALUE_EXPAND_TYPE, BY_VALUE_MODE},
        {REG_VALUE_EXPAND_TYPE, BY_DATA_MATCH_MODE},
        {REG_KEY_EXPAND_TYPE, BY_REFERENCE_MODE},
        {REG_KEY_EXPAND_TYPE, BY_VALUE_MODE},
        {REG_KEY_EXPAND_TYPE, BY_DATA_MATCH_MODE},
        {FILE_NAME_TYPE, BY_REFERENCE_MODE},
        {FILE_NAME_EXPAND_TYPE, BY_REFERENCE_MODE},
        {SERVICE_NAME_TYPE, BY_REFERENCE_MODE},
        {SERVICE_NAME_TYPE, BY_DATA_MATCH_MODE},
        {ENTRY_TYPE_COUNT, BY_VALUE_MODE},
        {-1, BY_VALUE_MODE},
        {SERVICE_NAME_TYPE, ENTRY_MODE_COUNT},
    };
    TSet set;
    for (const auto& pair : pairs) {
        SCOPED_TRACE(testing::Message() << pair[0] << "," << pair[1]);
        EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_CONFIGURATION),
                  engine.DispatchEntry(set, pair[0], pair[1], "C:\\X"));
    }
    EXPECT_TRUE(set.IsEmpty());
    EXPECT_EQ(0u, engine.DispatchEntry(set, SERVICE_NAME_TYPE, BY_VALUE_MODE, "\"svc\""));
    EXPECT_EQ(Lines{"SVC"}, Items(set));
}

} // namespace
