// The trace writer on real files: filters, open lines, the same-name rule, failed opens, cut
// messages, scopes and indentation, shutdown, and pieces of concurrent messages.
#include "trace_fixture.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

using tracetest::ReadBytes;
using tracetest::TraceTest;

// "YY/MM/DD hh:mm:ss\t" with a blank-padded year, as the date-time column writes it.
bool IsDateTimeColumn(const std::string& text) {
    const char* shape = "#D/DD/DD DD:DD:DD\t";
    if (text.size() != strlen(shape))
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        bool digit = c >= '0' && c <= '9';
        if (shape[i] == 'D' ? !digit : shape[i] == '#' ? !(digit || c == ' ') : c != shape[i])
            return false;
    }
    return true;
}

TEST_F(TraceTest, WithoutOptionsAMessageIsWrittenAloneAndFlushedAtOnce) {
    std::string log = OpenScratchLog();
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "%04d InitConfigFile: %s\n", 0, "ok");
    // Read while the log is still open: every piece is on disk as soon as it is written.
    EXPECT_EQ(ReadBytes(log), "0000 InitConfigFile: ok\r\n");
}

TEST_F(TraceTest, EngineOptionsPutTheDateTimeFirstAndLetOnlyLevelZeroThrough) {
    std::string log = OpenScratchLog();
    TraceSetOptions(0xFFFFFFFF, 0, 1, 0);
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "kept\n");
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 1, "level one\n");
    TraceWrite(g_traceCategory, 0, 0, "mask zero\n");
    std::string content = ReadBytes(log);
    ASSERT_EQ(content.size(), 18u + 6u) << content;
    EXPECT_TRUE(IsDateTimeColumn(content.substr(0, 18))) << content;
    EXPECT_EQ(content.substr(18), "kept\r\n");
}

TEST_F(TraceTest, LevelAndMaskFiltersUseSignedLevelsAndSharedBits) {
    std::string log = OpenScratchLog();
    TraceSetOptions(0x0F0, -5, 0, 0); // a negative highest level is stored as 0
    TraceWrite("", 0x010, 0, "a");
    TraceWrite("", 0x010, -1, "b");
    TraceWrite("", 0x010, 1, "c");
    TraceWrite("", 0x100, 0, "d");
    TraceWrite("", 0x80000010, 0, "e");
    EXPECT_EQ(ReadBytes(log), "abe");
}

TEST_F(TraceTest, AFormatWithoutLineFeedLeavesTheLineOpen) {
    std::string log = OpenScratchLog();
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "%s", "abc");
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "def%d\n", 1);
    TraceSetOptions(0xFFFFFFFF, 0, 1, 0);
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "open ");
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "end\n");
    std::string content = ReadBytes(log);
    ASSERT_EQ(content.size(), 9u + 18u + 5u + 18u + 5u) << content;
    EXPECT_EQ(content.substr(0, 9), "abcdef1\r\n");
    EXPECT_TRUE(IsDateTimeColumn(content.substr(9, 18)));
    EXPECT_EQ(content.substr(27, 5), "open ");
    // The second message's column continues the open line.
    EXPECT_TRUE(IsDateTimeColumn(content.substr(32, 18)));
    EXPECT_EQ(content.substr(50), "end\r\n");
}

TEST_F(TraceTest, OpeningTheSameNameAgainKeepsTheFileOpenAndIntact) {
    std::string log = OpenScratchLog();
    FILE* first = TraceGetLog();
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "one\n");
    TraceOpenLog(log.c_str(), "w");
    EXPECT_EQ(TraceGetLog(), first);
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "two\n");
    EXPECT_EQ(ReadBytes(log), "one\r\ntwo\r\n");
}

TEST_F(TraceTest, OpeningAnotherNameClosesTheFirstLog) {
    std::string first = OpenScratchLog("first.log");
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "one\n");
    std::string second = OpenScratchLog("second.log");
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "two\n");
    EXPECT_EQ(ReadBytes(first), "one\r\n");
    EXPECT_EQ(ReadBytes(second), "two\r\n");
    // The first name is no longer the open log: naming it again reopens (and empties) it.
    TraceOpenLog(first.c_str(), "w");
    EXPECT_EQ(ReadBytes(first), "");
}

TEST_F(TraceTest, AnAppendModeKeepsWhatTheLogHeld) {
    tracetest::WriteBytes(Path("trace.log"), "earlier\r\n");
    TraceOpenLog(Path("trace.log").c_str(), "a+");
    ASSERT_NE(TraceGetLog(), nullptr);
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "later\n");
    EXPECT_EQ(ReadBytes(Path("trace.log")), "earlier\r\nlater\r\n");
}

TEST_F(TraceTest, ALogThatCannotBeCreatedLeavesNoLogStream) {
    std::string good = OpenScratchLog();
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "before\n");
    TraceOpenLog(Path("no such folder\\trace.log").c_str(), "w");
    EXPECT_EQ(TraceGetLog(), nullptr);
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "after\n");
    EXPECT_EQ(ReadBytes(good), "before\r\n");
}

TEST_F(TraceTest, NamesThatCannotBeStoredWholeOrOpenedAreRefused) {
    std::string good = OpenScratchLog();
    // A name the stored-name buffer cannot hold is refused outright, never cut.
    std::string longName = contract::Scratch() + "\\" + std::string(300, 'n') + ".log";
    TraceOpenLog(longName.c_str(), "w");
    EXPECT_EQ(TraceGetLog(), nullptr);
    TraceOpenLog(nullptr, "w");
    EXPECT_EQ(TraceGetLog(), nullptr);
    // Modes outside r/w/a with '+', 'b' or 't' are not handed to the runtime.
    for (const char* mode : {"q", "", "wx", "rw", "w++", "wbt", "a+ccs=UTF-8"})
        EXPECT_EQ(TraceOpenFile(good.c_str(), mode), nullptr) << mode;
    EXPECT_EQ(TraceOpenFile(nullptr, "r"), nullptr);
    EXPECT_EQ(TraceOpenFile("", "r"), nullptr);
    FILE* spaced = TraceOpenFile(good.c_str(), "a +");
    ASSERT_NE(spaced, nullptr);
    fclose(spaced);
}

TEST_F(TraceTest, AMessageLongerThanTheLineBufferIsCutTo1023Characters) {
    std::string log = OpenScratchLog();
    std::string text(2000, 'x');
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "%s\n", text.c_str());
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "|");
    EXPECT_EQ(ReadBytes(log), std::string(1023, 'x') + "|");
}

TEST_F(TraceTest, InnerScopesFrameAndIndentWhatIsWrittenInsideThem) {
    std::string log;
    {
        TraceScope process(g_traceCategory, "*\n");
        log = OpenScratchLog();
        TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "top\n");
        {
            TraceScope work(g_traceCategory, "work\n");
            TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "inside\n");
            {
                TraceScope deeper(g_traceCategory, "deeper\n");
                TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "deepest\n");
            }
            TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "inside again\n");
        }
        TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "top again\n");
    }
    EXPECT_EQ(ReadBytes(log), "top\r\n"
                              "{ work\r\n"
                              "   inside\r\n"
                              "   { deeper\r\n"
                              "      deepest\r\n"
                              "   } deeper\r\n"
                              "   inside again\r\n"
                              "} work\r\n"
                              "top again\r\n");
}

TEST_F(TraceTest, ScopeLinesPassTheFiltersLikeAnyMessageWithMaskFour) {
    std::string log;
    {
        TraceScope process(g_traceCategory, "*\n");
        log = OpenScratchLog();
        TraceSetOptions(0xFFFFFFFB, 255, 0, 0);
        TraceScope work(g_traceCategory, "work\n");
        TraceWrite(g_traceCategory, 1, 0, "inside\n");
    }
    EXPECT_EQ(ReadBytes(log), "   inside\r\n");
}

TEST_F(TraceTest, AfterTheOutermostScopeNothingIsWrittenAndTheLogIsClosed) {
    std::string log;
    {
        TraceScope process(g_traceCategory, "*\n");
        log = OpenScratchLog();
        TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "last\n");
    }
    EXPECT_EQ(TraceGetLog(), nullptr);
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "too late\n");
    // Reopening the log would not bring output back: the master switch is off.
    TraceOpenLog(log.c_str(), "a");
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "still too late\n");
    TraceShutdown();
    EXPECT_EQ(ReadBytes(log), "last\r\n");
}

TEST_F(TraceTest, AnIndentDeeperThanTheLineBufferIsClampedAndUnwindsToZero) {
    std::string log;
    {
        TraceScope process(g_traceCategory, "*\n");
        log = OpenScratchLog();
        TraceSetOptions(0xFFFFFFFB, 255, 0, 0); // keep the 400 frame lines out of the log
        std::vector<std::unique_ptr<TraceScope>> scopes;
        for (int i = 0; i < 400; ++i)
            scopes.push_back(std::make_unique<TraceScope>(g_traceCategory, "level\n"));
        TraceWrite(g_traceCategory, 1, 0, "x\n");
        while (!scopes.empty())
            scopes.pop_back();
        TraceWrite(g_traceCategory, 1, 0, "y\n");
    }
    EXPECT_EQ(ReadBytes(log), std::string(1023, ' ') + "x\r\ny\r\n");
}

TEST_F(TraceTest, ShutdownFlushesAndClosesTheLog) {
    std::string log = OpenScratchLog();
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "line\n");
    TraceShutdown();
    EXPECT_EQ(TraceGetLog(), nullptr);
    EXPECT_EQ(ReadBytes(log), "line\r\n");
    // The lock is initialised again on demand; the facility still writes after a shutdown
    // that no scope brought about.
    TraceOpenLog(log.c_str(), "a");
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "again\n");
    EXPECT_EQ(ReadBytes(log), "line\r\nagain\r\n");
}

TEST_F(TraceTest, PiecesOfConcurrentMessagesNeverInterleave) {
    std::string log = OpenScratchLog();
    TraceSetOptions(0xFFFFFFFF, 0, 1, 1);
    const int kPerThread = 200;
    auto writer = [](int id) {
        for (int i = 0; i < kPerThread; ++i)
            TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "writer %d message %03d\n", id, i);
    };
    std::thread a(writer, 1), b(writer, 2);
    a.join();
    b.join();
    std::string content = ReadBytes(log);
    int lines[3] = {0, 0, 0};
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        std::string line = content.substr(start, end - start);
        start = end + 2;
        // thread id, tab, date-time column, then the message: nothing else in between.
        size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        ASSERT_GE(line.size(), tab + 1 + 18 + 20) << line;
        EXPECT_TRUE(IsDateTimeColumn(line.substr(tab + 1, 18))) << line;
        std::string message = line.substr(tab + 19);
        int id = 0, index = -1;
        ASSERT_EQ(sscanf(message.c_str(), "writer %d message %d", &id, &index), 2) << line;
        ASSERT_TRUE(id == 1 || id == 2);
        EXPECT_EQ(index, lines[id]++) << line;
    }
    EXPECT_EQ(lines[1], kPerThread);
    EXPECT_EQ(lines[2], kPerThread);
}

} // namespace
