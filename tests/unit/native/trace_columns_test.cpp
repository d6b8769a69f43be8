// The trace writer's columns and destinations on the simulated machine: exact date-time, tick
// and interval text under the virtual clock, and the debugger output when no log is open.
#include "../trace_fixture.h"

#include "sim/sim.h"

#include <cstdio>

namespace {

using tracetest::ReadBytes;
using tracetest::TraceTest;

class TraceColumnsTest : public TraceTest {
protected:
    void SetUp() override {
        TraceTest::SetUp();
        sim::ClearDebugOutput();
    }
    // Turns the named columns on through a settings file (the header goes to the debugger).
    void Columns(const char* lines) {
        LoadSettings(lines);
        sim::ClearDebugOutput();
    }
};

TEST_F(TraceColumnsTest, WithoutALogEveryPieceGoesToTheDebuggerOutput) {
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "%04d Step\n", 5);
    EXPECT_EQ(sim::DebugOutput(), "0005 Step\n");
}

TEST_F(TraceColumnsTest, ALogThatCannotBeCreatedSendsLaterMessagesToTheDebugger) {
    TraceOpenLog("C:\\Missing\\Kelvane.log", "w");
    EXPECT_EQ(TraceGetLog(), nullptr);
    EXPECT_FALSE(sim::Exists("C:\\Missing\\Kelvane.log"));
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "here\n");
    EXPECT_EQ(sim::DebugOutput(), "here\n");
}

TEST_F(TraceColumnsTest, TheLogAndTheDebuggerExcludeEachOther) {
    std::string log = OpenScratchLog();
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "file\n");
    EXPECT_EQ(sim::DebugOutput(), "");
    TraceShutdown();
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "debugger\n");
    EXPECT_EQ(sim::DebugOutput(), "debugger\n");
    EXPECT_EQ(ReadBytes(log), "file\r\n");
}

TEST_F(TraceColumnsTest, TheDateTimeColumnShowsTheLocalTimeWithABlankPaddedYear) {
    TraceSetOptions(0xFFFFFFFF, 0, 1, 0);
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "a\n");
    sim::SetLocalTime(2012, 12, 31, 23, 59, 59);
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "b\n");
    sim::AdvanceClock(1000);
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "c\n");
    EXPECT_EQ(sim::DebugOutput(), " 5/06/07 08:09:10\ta\n"
                                  "12/12/31 23:59:59\tb\n"
                                  "13/01/01 00:00:00\tc\n");
}

TEST_F(TraceColumnsTest, ColumnsStandInTheirFixedOrderEachEndingInATab) {
    sim::SetPerformanceFrequency(1000);
    sim::AdvanceClock(0x1234);
    Columns("hpc\ntc\ndt\ntid\n");
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "m\n");
    char thread[32];
    snprintf(thread, sizeof(thread), "%lX\t", static_cast<unsigned long>(GetCurrentThreadId()));
    EXPECT_EQ(sim::DebugOutput(),
              std::string(thread) + " 5/06/07 08:09:14\t" + "00AB1234\t" + "       0\t" + "m\n");
}

TEST_F(TraceColumnsTest, TheIntervalColumnCountsTenthsOfAMillisecondSinceTheLastOne) {
    // At 400 counts per second one count is 2.5 ms; 3 ms of virtual time advance the counter
    // by exactly one count.
    sim::SetPerformanceFrequency(400);
    Columns("hpc\n");
    TraceWrite("", 1, 0, "first\n");
    sim::AdvanceClock(3);
    TraceWrite("", 1, 0, "second\n");
    EXPECT_EQ(sim::DebugOutput(), "       0\tfirst\n"
                                  "      25\tsecond\n");
}

TEST_F(TraceColumnsTest, TheIntervalIsMeasuredFromTheLastShownValueAndSkippedOnFailure) {
    sim::SetPerformanceFrequency(1000);
    Columns("hpc\n");
    TraceWrite("", 1, 0, "a\n");
    sim::AdvanceClock(1234);
    TraceWrite("", 1, 0, "b\n");
    sim::SetPerformanceCounterFails(true);
    sim::AdvanceClock(100);
    TraceWrite("", 1, 0, "c\n");
    sim::SetPerformanceCounterFails(false);
    sim::AdvanceClock(5);
    TraceWrite("", 1, 0, "d\n");
    EXPECT_EQ(sim::DebugOutput(), "       0\ta\n"
                                  "   12340\tb\n"
                                  "c\n"
                                  "    1050\td\n");
}

TEST_F(TraceColumnsTest, AnIntervalBeyond32BitsShowsItsLowBitsAsASignedValue) {
    sim::SetPerformanceFrequency(1000);
    Columns("hpc\n");
    TraceWrite("", 1, 0, "a\n");
    sim::AdvanceClock(300000000); // 3,000,000,000 tenths of a millisecond
    TraceWrite("", 1, 0, "b\n");
    EXPECT_EQ(sim::DebugOutput(), "       0\ta\n"
                                  "-1294967296\tb\n");
}

TEST_F(TraceColumnsTest, WithoutAPerformanceCounterTheColumnIsLeftOut) {
    sim::SetPerformanceFrequency(0);
    Columns("hpc\ntc\n");
    TraceWrite("", 1, 0, "a\n");
    EXPECT_EQ(sim::DebugOutput(), "00AB0000\ta\n");
}

TEST_F(TraceColumnsTest, AfterTheOutermostScopeTheDebuggerGetsNothingEither) {
    {
        TraceScope process(g_traceCategory, "*\n");
        TraceScope inner(g_traceCategory, "inner\n");
        TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "x\n");
    }
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "gone\n");
    EXPECT_EQ(sim::DebugOutput(), "{ inner\n   x\n} inner\n");
}

} // namespace
