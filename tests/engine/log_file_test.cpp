// The start of the log: its name and folder, its open mode, the version line, and the cases in
// which no log file is made.
#include "engine_fixture.h"

#include "trace/trace.h"

#include <string>

using namespace enginetest;

namespace {

class LogFileTest : public EngineTest {};

const char kOldLog[] = "C:\\Tools\\Kelvane.old.log";

// The temporary folder's log: the same name as beside the program.
std::string TempLog() {
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof(temp), temp);
    return std::string(temp) + "Kelvane.log";
}

TEST_F(LogFileTest, LogIsCreatedAnewBesideTheProgramAndThePreviousOneIsKept) {
    sim::AddFile(kLog, "old run\r\n");
    sim::AddFile(kOldLog, "older run\r\n");
    OpenLogFile(nullptr, FALSE, nullptr);
    EXPECT_EQ((Lines{"Kelvane v.1.1.213.0 DEBUG"}), LogLines());
    // One generation: the run before the previous one is gone.
    EXPECT_EQ("old run\r\n", sim::FileContent(kOldLog));
    // Every line carries the date and time in front: "YY/MM/DD hh:mm:ss" and a tab.
    std::string content = sim::FileContent(kLog);
    ASSERT_GT(content.size(), 18u);
    EXPECT_EQ('\t', content[17]);
    EXPECT_EQ('/', content[2]);
}

TEST_F(LogFileTest, VersionLineComesFromTheVersionResource) {
    struct Case {
        WORD version[4];
        DWORD flags;
        const char* line;
    };
    const Case cases[] = {
        {{2, 0, 7, 1}, 0, "Kelvane v.2.0.7.1"},
        {{65535, 1, 0, 40000}, VS_FF_DEBUG, "Kelvane v.65535.1.0.40000 DEBUG"},
        // Only the debug bit counts; the other flags are not looked at.
        {{1, 2, 3, 4}, 0x3E, "Kelvane v.1.2.3.4"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.line);
        TraceResetForTests();
        sim::SetVersionResource(test.version[0], test.version[1], test.version[2], test.version[3],
                                test.flags);
        OpenLogFile(nullptr, FALSE, nullptr);
        EXPECT_EQ(Lines{test.line}, LogLines());
    }
}

TEST_F(LogFileTest, UnreadableVersionResourceGivesNoVersion) {
    sim::RemoveVersionResource();
    OpenLogFile(nullptr, FALSE, nullptr);
    EXPECT_EQ(Lines{"Kelvane v.NO_VERSION"}, LogLines());

    TraceResetForTests();
    sim::SetVersionResource(1, 2, 3, 4);
    sim::InjectFault("GetFileVersionInfoA", ERROR_ACCESS_DENIED);
    OpenLogFile(nullptr, FALSE, nullptr);
    EXPECT_EQ(Lines{"Kelvane v.NO_VERSION"}, LogLines());

    TraceResetForTests();
    sim::InjectFault("VerQueryValueA", ERROR_RESOURCE_DATA_NOT_FOUND);
    OpenLogFile(nullptr, FALSE, nullptr);
    EXPECT_EQ(Lines{"Kelvane v.NO_VERSION"}, LogLines());
}

TEST_F(LogFileTest, AppendKeepsThePreviousRun) {
    sim::AddFile(kLog, "old run\r\n");
    OpenLogFile(nullptr, TRUE, nullptr);
    EXPECT_EQ((Lines{"old run", "Kelvane v.1.1.213.0 DEBUG"}), LogLines());
    EXPECT_FALSE(sim::Exists(kOldLog));

    // A new log whose predecessor cannot be put aside (the old generation is held open) is
    // appended to it rather than erase it.
    TraceResetForTests();
    sim::AddFile(kOldLog, "older run\r\n");
    sim::LockFile(kOldLog);
    OpenLogFile(nullptr, FALSE, nullptr);
    EXPECT_EQ((Lines{"old run", "Kelvane v.1.1.213.0 DEBUG", "Kelvane v.1.1.213.0 DEBUG"}),
              LogLines());
    EXPECT_EQ("older run\r\n", sim::FileContent(kOldLog));
}

TEST_F(LogFileTest, BaseNameIsCutBeforeTheLastDotOfTheFileNameOnly) {
    sim::AddFolder("C:\\v1.2");
    sim::SetModulePath("C:\\v1.2\\my.tool.exe");
    OpenLogFile(nullptr, FALSE, nullptr);
    EXPECT_EQ((Lines{"my.tool v.1.1.213.0 DEBUG"}), LogLines("C:\\v1.2\\my.tool.log"));

    TraceResetForTests();
    sim::SetModulePath("C:\\v1.2\\kelvane");
    OpenLogFile(nullptr, FALSE, nullptr);
    EXPECT_EQ((Lines{"kelvane v.1.1.213.0 DEBUG"}), LogLines("C:\\v1.2\\kelvane.log"));
}

TEST_F(LogFileTest, DoubleByteNameIsNotCutAtATrailByte) {
    sim::SetCodePage(932);
    // The second byte of this character is the code of '\'.
    const std::string name = "\x95\x5C";
    sim::SetModulePath(("C:\\Tools\\" + name + ".exe").c_str());
    OpenLogFile(nullptr, FALSE, nullptr);
    EXPECT_EQ((Lines{name + " v.1.1.213.0 DEBUG"}),
              LogLines(("C:\\Tools\\" + name + ".log").c_str()));
}

TEST_F(LogFileTest, OpenLogOnlyReceivesTheVersionLine) {
    TraceOpenLog("C:\\Tools\\earlier.log", "w");
    OpenLogFile(nullptr, FALSE, nullptr);
    EXPECT_FALSE(sim::Exists(kLog));
    EXPECT_EQ((Lines{"Kelvane v.1.1.213.0 DEBUG"}), LogLines("C:\\Tools\\earlier.log"));
}

TEST_F(LogFileTest, GivenFolderReceivesTheLogWithOrWithoutATrailingSeparator) {
    sim::AddFolder("D:\\Logs");
    OpenLogFile(nullptr, FALSE, "D:\\Logs");
    EXPECT_EQ((Lines{"Kelvane v.1.1.213.0 DEBUG"}), LogLines("D:\\Logs\\Kelvane.log"));

    TraceResetForTests();
    sim::AddFolder("E:\\Logs");
    OpenLogFile(nullptr, FALSE, "E:\\Logs\\");
    EXPECT_EQ((Lines{"Kelvane v.1.1.213.0 DEBUG"}), LogLines("E:\\Logs\\Kelvane.log"));
    EXPECT_FALSE(sim::Exists("E:\\Kelvane.log"));
}

TEST_F(LogFileTest, MissingFolderFallsBackToTheProgramFolder) {
    OpenLogFile(nullptr, FALSE, "D:\\Missing");
    EXPECT_EQ((Lines{"Kelvane v.1.1.213.0 DEBUG"}), LogLines());
}

TEST_F(LogFileTest, NameThatWouldNotFitLeavesTheRunWithoutALog) {
    // The base name alone: 256 characters and ".log" exceed 259, in any folder.
    const std::string longBase = "C:\\" + std::string(256, 'k');
    // Folder and base name together: 204 + 55 + 4 characters; in the temporary folder it fits.
    const std::string longFolder = "C:\\" + std::string(200, 'D') + "\\" + std::string(55, 'k');
    for (const std::string& program : {longBase, longFolder}) {
        TraceResetForTests();
        sim::Reset();
        sim::SetModulePath(program.c_str());
        sim::AddFolder(program.substr(0, program.rfind('\\')).c_str());
        OpenLogFile(nullptr, FALSE, nullptr);
        EXPECT_FALSE(sim::Exists((program + ".log").c_str()));
        if (program == longBase) {
            EXPECT_EQ(nullptr, TraceGetLog());
            EXPECT_EQ("", sim::DebugOutput());
        } else {
            char temp[MAX_PATH] = "";
            GetTempPathA(sizeof(temp), temp);
            std::string log = temp + std::string(55, 'k') + ".log";
            EXPECT_EQ(Lines{std::string(55, 'k') + " v.1.1.213.0 DEBUG"}, LogLines(log.c_str()));
        }
    }
}

// A read-only share or a CD: the log goes to the temporary folder under the same name, and the
// previous one there is kept as well.
TEST_F(LogFileTest, LogThatCannotBeCreatedBesideTheProgramGoesToTheTemporaryFolder) {
    sim::AddFile(TempLog().c_str(), "old run\r\n");
    sim::InjectFault("fopen", ERROR_ACCESS_DENIED);
    OpenLogFile(nullptr, FALSE, nullptr);
    EXPECT_FALSE(sim::Exists(kLog));
    EXPECT_EQ((Lines{"Kelvane v.1.1.213.0 DEBUG"}), LogLines(TempLog().c_str()));
    std::string oldLog = TempLog().substr(0, TempLog().size() - 4) + ".old.log";
    EXPECT_EQ("old run\r\n", sim::FileContent(oldLog.c_str()));

    // Nowhere to write: the run goes on without a log.
    TraceResetForTests();
    sim::InjectFault("fopen", ERROR_ACCESS_DENIED, 0, sim::Always);
    OpenLogFile(nullptr, FALSE, nullptr);
    EXPECT_EQ(nullptr, TraceGetLog());
}

TEST_F(LogFileTest, LongestNameThatFitsGetsItsLog) {
    // 204 + 51 + ".log" = 259 characters.
    const std::string program = "C:\\" + std::string(200, 'D') + "\\" + std::string(51, 'k');
    sim::SetModulePath((program + ".exe").c_str());
    sim::AddFolder(program.substr(0, program.rfind('\\')).c_str());
    OpenLogFile(nullptr, FALSE, nullptr);
    EXPECT_TRUE(sim::Exists((program + ".log").c_str()));
}

} // namespace
