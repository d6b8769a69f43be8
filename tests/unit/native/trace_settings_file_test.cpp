// The trace settings file on the simulated machine: the periodic re-read under the virtual
// clock, and the log files that "tf" lines open beside the program or at a full path.
#include "../trace_fixture.h"

#include "sim/sim.h"

#include <cstdio>

namespace {

using tracetest::ReadBytes;
using tracetest::TraceTest;
using tracetest::WriteBytes;

const char kSettings[] = "C:\\Work\\trace.ini";

class TraceSettingsFileTest : public TraceTest {
protected:
    void SetUp() override {
        TraceTest::SetUp();
        sim::SetModulePath("C:\\Tools\\Kelvane.exe");
        sim::AddFolder("C:\\Tools");
        sim::AddFolder("C:\\Work");
    }
    static void Load(const std::string& content) {
        WriteBytes(kSettings, content);
        TraceLoadSettings(kSettings);
    }
    // Everything written to the debugger since the previous call.
    static std::string TakeDebugOutput() {
        std::string text = sim::DebugOutput();
        sim::ClearDebugOutput();
        return text;
    }
};

TEST_F(TraceSettingsFileTest, TheFileIsReadAgainOnceItsIntervalHasRunOut) {
    Load("tc\ntid\ntfr=60\n");
    WriteBytes(kSettings, "dt\ntfr=60\n");
    sim::AdvanceClock(59999);
    TraceWrite("", 1, 0, "a\n");
    sim::AdvanceClock(1);
    TraceWrite("", 1, 0, "b\n");
    char thread[32];
    snprintf(thread, sizeof(thread), "%lX\t", static_cast<unsigned long>(GetCurrentThreadId()));
    EXPECT_EQ(TakeDebugOutput(), std::string(thread) + "00ABEA5F\ta\n" + " 5/06/07 08:10:10\tb\n");
    // The next read is due 60 s after this one, not after the load.
    WriteBytes(kSettings, "tc\n");
    sim::AdvanceClock(59000);
    TraceWrite("", 1, 0, "c\n");
    sim::AdvanceClock(1000);
    TraceWrite("", 1, 0, "d\n");
    // That read set no interval: the file is not read again.
    WriteBytes(kSettings, "notrace\n");
    sim::AdvanceClock(3600 * 1000);
    TraceWrite("", 1, 0, "e\n");
    EXPECT_EQ(TakeDebugOutput(),
              " 5/06/07 08:11:09\tc\n00ACD4C0\td\n" + std::string("00E3C340\te\n"));
}

TEST_F(TraceSettingsFileTest, TracingStopsWithNotraceAndResumesWhenTheLineIsGone) {
    Load("notrace\ntfr=10\n");
    TraceWrite("", 1, 0, "dropped\n");
    WriteBytes(kSettings, "tfr=10\n");
    sim::AdvanceClock(9000);
    TraceWrite("", 1, 0, "still dropped\n");
    sim::AdvanceClock(1000);
    TraceWrite("", 1, 0, "resumed\n");
    EXPECT_EQ(TakeDebugOutput(), "resumed\n");
}

TEST_F(TraceSettingsFileTest, ShutdownClosesTheSettingsFileAndEndsTheReReads) {
    Load("tfr=1\n");
    TraceShutdown();
    WriteBytes(kSettings, "notrace\n");
    sim::AdvanceClock(5000);
    TraceWrite("", 1, 0, "written\n");
    EXPECT_EQ(TakeDebugOutput(), "written\n");
}

TEST_F(TraceSettingsFileTest, ABareTfNameLiesInTheProgramsFolder) {
    sim::AddFile("C:\\Tools\\trace.log", "old\r\n");
    Load("tfr=30\n");
    EXPECT_EQ(TraceGetLog(), nullptr) << "tfr is not tf";
    Load("tf=trace.log, a\n");
    ASSERT_NE(TraceGetLog(), nullptr);
    TraceWrite("", 1, 0, "appended\n");
    EXPECT_EQ(sim::FileContent("C:\\Tools\\trace.log"), "old\r\n\r\r\nappended\r\n");
    // The same name again, now with mode "w": kept open and intact, no second header.
    Load("tf=trace.log\n");
    TraceReadSettings();
    TraceWrite("", 1, 0, "more\n");
    EXPECT_EQ(sim::FileContent("C:\\Tools\\trace.log"), "old\r\n\r\r\nappended\r\nmore\r\n");
}

TEST_F(TraceSettingsFileTest, AnotherTfNameClosesTheLogAndOpensTheNewOneEmpty) {
    sim::AddFile("C:\\Work\\other.log", "stale");
    Load("tf=trace.log\n");
    TraceWrite("", 1, 0, "first\n");
    Load("tid\ntf=C:\\Work\\other.log\n");
    TraceWrite("", 1, 0, "second\n");
    EXPECT_EQ(sim::FileContent("C:\\Tools\\trace.log"), "\r\r\nfirst\r\n");
    std::string other = sim::FileContent("C:\\Work\\other.log");
    EXPECT_EQ(other.substr(0, 7), "tid \r\r\n");
    EXPECT_EQ(other.substr(other.size() - 8), "second\r\n");
}

TEST_F(TraceSettingsFileTest, TfEqualsTestsLogIsReadAsTheMaskKeyword) {
    Load("tf=tests.log\n");
    EXPECT_EQ(TraceGetLog(), nullptr);
    EXPECT_FALSE(sim::Exists("C:\\Tools\\tests.log"));
    TraceWrite("", 0xFFFFFFFF, 0, "masked\n");
    EXPECT_EQ(TakeDebugOutput(), "");
}

TEST_F(TraceSettingsFileTest, TfWithAnUnusableModeOrNameLeavesNoLog) {
    Load("tf=C:\\Work\\a.log, q\n");
    EXPECT_EQ(TraceGetLog(), nullptr);
    EXPECT_FALSE(sim::Exists("C:\\Work\\a.log"));
    Load("tf=C:\\Work\\a.log, a \n");
    EXPECT_NE(TraceGetLog(), nullptr) << "a blank after the mode is harmless";
    Load("tf=C:\\Work\\" + std::string(400, 'n') + "\n");
    EXPECT_EQ(TraceGetLog(), nullptr);
    TraceWrite("", 1, 0, "to the debugger\n");
    EXPECT_EQ(TakeDebugOutput(), "to the debugger\n");
}

TEST_F(TraceSettingsFileTest, AnEolLineHoldingTfAlsoOpensTheLog) {
    // "\W" yields nothing, "\t" a tab; the same value then names the log.
    Load("eol=C:\\Work\\tf.log,w\n");
    ASSERT_NE(TraceGetLog(), nullptr);
    TraceWrite("", 1, 0, "x");
    EXPECT_EQ(sim::FileContent("C:\\Work\\tf.log"), "\r\r\nx\t");
}

TEST_F(TraceSettingsFileTest, BareNamesResolveOnlyWhenTheWholePathFits) {
    // Folder "C:\<245 d>\" is 249 bytes: a 10-character name makes 259, an 11-character 260.
    std::string folder = "C:\\" + std::string(245, 'd');
    sim::AddFolder(folder.c_str());
    sim::SetModulePath((folder + "\\k.exe").c_str());
    FILE* fits = TraceOpenFile("123456.log", "w");
    ASSERT_NE(fits, nullptr);
    fclose(fits);
    EXPECT_TRUE(sim::Exists((folder + "\\123456.log").c_str()));
    EXPECT_EQ(TraceOpenFile("1234567.log", "w"), nullptr);
    EXPECT_EQ(sim::ListFolder(folder.c_str()).size(), 1u) << "nothing opened under a cut name";

    // A program path that does not fit the buffer, or cannot be read, gives no folder at all.
    sim::SetModulePath(("C:\\" + std::string(300, 'p') + "\\k.exe").c_str());
    EXPECT_EQ(TraceOpenFile("x.log", "w"), nullptr);
    sim::SetModulePath("C:\\Tools\\Kelvane.exe");
    sim::InjectFault("GetModuleFileNameA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(TraceOpenFile("x.log", "w"), nullptr);
    FILE* full = TraceOpenFile("C:\\Work\\full.log", "w");
    ASSERT_NE(full, nullptr) << "a full path needs no program folder";
    fclose(full);
}

TEST_F(TraceSettingsFileTest, NamesWithADriveOrAFolderAreOpenedAsGiven) {
    sim::AddFile("C:\\Work\\in.txt", "x");
    FILE* withFolder = TraceOpenFile("C:\\Work\\in.txt", "r");
    ASSERT_NE(withFolder, nullptr);
    fclose(withFolder);
    // "D:name" has a drive: it is not moved into the program's folder.
    sim::AddFile("C:\\Tools\\in.txt", "x");
    EXPECT_EQ(TraceOpenFile("D:in.txt", "r"), nullptr);
    EXPECT_EQ(TraceOpenFile("sub/in.txt", "r"), nullptr);
    FILE* bare = TraceOpenFile("in.txt", "r");
    ASSERT_NE(bare, nullptr);
    fclose(bare);
}

} // namespace
