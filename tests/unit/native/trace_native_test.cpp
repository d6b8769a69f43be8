// The trace facility on the simulated machine: exact columns, debugger output, re-reads, tf files.
#include "../trace_fixture.h"

#include "sim/sim.h"

#include <cstdio>

namespace {

class TraceColumnsTest : public tracetest::TraceTest {
protected:
    void SetUp() override {
        TraceTest::SetUp();
        sim::ClearDebugOutput();
    }
    static std::string ThreadColumn() {
        char text[32];
        snprintf(text, sizeof(text), "%lX\t", static_cast<unsigned long>(GetCurrentThreadId()));
        return text;
    }
};

TEST_F(TraceColumnsTest, WithoutALogPiecesGoToTheDebuggerWithTheExactDateTime) {
    TraceOpenLog("C:\\Missing\\Kelvane.log", "w");
    EXPECT_EQ(TraceGetLog(), nullptr);
    Write("bare\n");
    TraceSetOptions(0xFFFFFFFF, 0, 1, 0);
    Write("a\n");
    sim::SetLocalTime(2012, 12, 31, 23, 59, 59);
    sim::AdvanceClock(1000);
    Write("b\n");
    EXPECT_EQ(sim::DebugOutput(), "bare\n 5/06/07 08:09:10\ta\n13/01/01 00:00:00\tb\n");
    { TraceScope process(g_traceCategory, "*\n"); }
    sim::ClearDebugOutput();
    Write("after the outermost scope\n");
    EXPECT_EQ(sim::DebugOutput(), "");
}

TEST_F(TraceColumnsTest, ColumnsStandInTheirFixedOrderEachEndingInATab) {
    sim::SetPerformanceFrequency(1000);
    sim::AdvanceClock(0x1234);
    LoadSettings("hpc\ntc\ndt\ntid\n");
    Write("m\n");
    EXPECT_EQ(sim::DebugOutput(), ThreadColumn() + " 5/06/07 08:09:14\t00AB1234\t       0\tm\n");
}

TEST_F(TraceColumnsTest, TheIntervalCountsTenthsOfAMillisecondSinceTheLastShownValue) {
    // At 400 counts per second one count is 2.5 ms; 3 ms of virtual time is one count.
    sim::SetPerformanceFrequency(400);
    LoadSettings("hpc\n");
    Write("a\n");
    sim::AdvanceClock(3);
    Write("b\n");
    sim::SetPerformanceCounterFails(true);
    sim::AdvanceClock(97);
    Write("c\n");
    sim::SetPerformanceCounterFails(false);
    sim::AdvanceClock(300000000); // beyond 32 bits: the low half shows, as a signed value
    Write("d\n");
    EXPECT_EQ(sim::DebugOutput(), "       0\ta\n      25\tb\nc\n-1294966321\td\n");
}

TEST_F(TraceColumnsTest, TheSettingsFileIsReadAgainOnceItsIntervalHasRunOut) {
    LoadSettings("tid\nnotrace\ntfr=60\n");
    tracetest::WriteBytes(Path("trace.ini"), "tc\ntfr=60\n");
    sim::AdvanceClock(59999);
    Write("dropped\n");
    sim::AdvanceClock(1);
    Write("a\n");
    tracetest::WriteBytes(Path("trace.ini"), "dt\n");
    sim::AdvanceClock(59000);
    Write("b\n");
    sim::AdvanceClock(1000);
    Write("c\n"); // read again, now without an interval: never again
    tracetest::WriteBytes(Path("trace.ini"), "notrace\n");
    sim::AdvanceClock(3600 * 1000);
    Write("d\n");
    EXPECT_EQ(sim::DebugOutput(), "00ABEA60\ta\n00ACD0D8\tb\n 5/06/07 08:11:10\tc\n"
                                  " 5/06/07 09:11:10\td\n");
    TraceShutdown(); // closes the settings file
    LoadSettings("tfr=1\n");
    TraceShutdown();
    tracetest::WriteBytes(Path("trace.ini"), "notrace\n");
    sim::AdvanceClock(5000);
    sim::ClearDebugOutput();
    Write("e\n");
    EXPECT_EQ(sim::DebugOutput(), "e\n");
}

TEST_F(TraceColumnsTest, TfNamesALogBesideTheProgramOrAtAFullPath) {
    sim::SetModulePath("C:\\Tools\\Kelvane.exe");
    sim::AddFile("C:\\Tools\\trace.log", "old\r\n");
    LoadSettings("tfr=30\ntf=trace.log, a\n");
    Write("appended\n");
    LoadSettings("tf=trace.log\n"); // the open log: kept, intact, no second header
    Write("more\n");
    EXPECT_EQ(sim::FileContent("C:\\Tools\\trace.log"), "old\r\n\r\r\nappended\r\nmore\r\n");
    sim::AddFile("C:\\Work\\other.log", "stale");
    LoadSettings("tid\ntf=C:\\Work\\other.log\n");
    EXPECT_EQ(sim::FileContent("C:\\Work\\other.log"), "tid \r\r\n");
    // "\W" yields nothing, "\t" a tab; the same value then names the log.
    LoadSettings("eol=C:\\Work\\tf.log,w\n");
    Write("x");
    EXPECT_EQ(sim::FileContent("C:\\Work\\tf.log"), "\r\r\nx\t");
    LoadSettings("tf=C:\\Work\\a.log, q\n");
    EXPECT_EQ(TraceGetLog(), nullptr);
    EXPECT_FALSE(sim::Exists("C:\\Work\\a.log"));
    LoadSettings("tf=tests.log\n");
    EXPECT_FALSE(sim::Exists("C:\\Tools\\tests.log"));
}

TEST_F(TraceColumnsTest, BareNamesOpenOnlyWhenTheWholePathFits) {
    // Folder "C:\<245 d>\" is 249 bytes: a 10-character name makes 259, one more 260.
    std::string folder = "C:\\" + std::string(245, 'd');
    sim::AddFolder(folder.c_str());
    sim::SetModulePath((folder + "\\k.exe").c_str());
    FILE* fits = TraceOpenFile("123456.log", "w");
    ASSERT_NE(fits, nullptr);
    fclose(fits);
    EXPECT_EQ(TraceOpenFile("1234567.log", "w"), nullptr);
    EXPECT_EQ(sim::ListFolder(folder.c_str()).size(), 1u);
    sim::SetModulePath(("C:\\" + std::string(300, 'p') + "\\k.exe").c_str());
    EXPECT_EQ(TraceOpenFile("x.log", "w"), nullptr);
    sim::SetModulePath("C:\\Tools\\Kelvane.exe");
    sim::InjectFault("GetModuleFileNameA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(TraceOpenFile("x.log", "w"), nullptr);
}

} // namespace
