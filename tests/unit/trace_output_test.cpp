// The trace writer on real files: filters, the same-name rule, cut messages, scopes, concurrency.
#include "trace_fixture.h"

#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

namespace {

using tracetest::ReadBytes;
using tracetest::TraceTest;

// "YY/MM/DD hh:mm:ss\t" with a blank-padded year, as the date-time column writes it.
bool IsDateTime(const std::string& text) {
    const std::string shape = "#D/DD/DD DD:DD:DD\t";
    for (size_t i = 0; i < shape.size(); ++i) {
        char c = i < text.size() ? text[i] : '\0';
        bool digit = c >= '0' && c <= '9';
        if (shape[i] == 'D' ? !digit : shape[i] == '#' ? !digit && c != ' ' : c != shape[i])
            return false;
    }
    return true;
}

TEST_F(TraceTest, FiltersAndTheDateTimeColumnFollowTheOptions) {
    std::string log = OpenTestLog();
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "%04d Step: %s\n", 0, "ok");
    // Read while open: each piece is flushed as it is written.
    EXPECT_EQ(ReadBytes(log), "0000 Step: ok\r\n");
    TraceSetOptions(0xFFFFFFFF, 0, 1, 0);
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 1, "level one\n");
    TraceWrite(g_traceCategory, 0, 0, "mask zero\n");
    Write("open ");
    Write("line\n");
    std::string content = ReadBytes(log).substr(15);
    ASSERT_EQ(content.size(), 18u + 5u + 18u + 6u) << content;
    EXPECT_TRUE(IsDateTime(content.substr(0, 18)));
    EXPECT_EQ(content.substr(18, 5), "open ");
    EXPECT_TRUE(IsDateTime(content.substr(23, 18))) << "the next column continues the line";
    EXPECT_EQ(content.substr(41), "line\r\n");

    TraceSetOptions(0x0F0, -5, 0, 0); // a negative highest level is stored as 0
    TraceWrite("", 0x010, 0, "a");
    TraceWrite("", 0x010, -1, "b");
    TraceWrite("", 0x010, 1, "c");
    TraceWrite("", 0x100, 0, "d");
    EXPECT_EQ(ReadBytes(log).substr(15 + 47), "ab");
}

TEST_F(TraceTest, OnlyAnotherNameClosesTheLogAndAFailedOpenLeavesNone) {
    std::string first = OpenTestLog("first.log");
    FILE* stream = TraceGetLog();
    Write("one\n");
    TraceOpenLog(first.c_str(), "w");
    EXPECT_EQ(TraceGetLog(), stream);
    Write("two\n");
    std::string second = OpenTestLog("second.log");
    Write("three\n");
    EXPECT_EQ(ReadBytes(first), "one\r\ntwo\r\n");
    TraceOpenLog(Path("no such folder\\x.log").c_str(), "w");
    EXPECT_EQ(TraceGetLog(), nullptr);
    Write("four\n");
    EXPECT_EQ(ReadBytes(second), "three\r\n");
    // A name the stored-name buffer cannot hold is refused, never cut; so are unknown modes.
    OpenTestLog();
    TraceOpenLog((tracetest::Folder() + "\\" + std::string(300, 'n')).c_str(), "w");
    EXPECT_EQ(TraceGetLog(), nullptr);
    for (const char* mode : {"q", "", "wx", "rw", "w++", "wbt", "a+ccs=UTF-8"})
        EXPECT_EQ(TraceOpenFile(first.c_str(), mode), nullptr) << mode;
}

TEST_F(TraceTest, AMessageLongerThanTheLineBufferIsCutTo1023Characters) {
    std::string log = OpenTestLog();
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "%s\n", std::string(2000, 'x').c_str());
    Write("|");
    EXPECT_EQ(ReadBytes(log), std::string(1023, 'x') + "|");
}

TEST_F(TraceTest, InnerScopesFrameAndIndentAndTheOutermostEndsAllOutput) {
    std::string log;
    {
        TraceScope process(g_traceCategory, "*\n");
        log = OpenTestLog();
        TraceScope work(g_traceCategory, "work\n");
        Write("inside\n");
        {
            TraceScope deeper(g_traceCategory, "deeper\n");
            Write("deepest\n");
        }
        Write("inside again\n");
    }
    EXPECT_EQ(TraceGetLog(), nullptr);
    TraceOpenLog(log.c_str(), "a");
    Write("too late\n");
    TraceShutdown();
    EXPECT_EQ(ReadBytes(log), "{ work\r\n   inside\r\n   { deeper\r\n      deepest\r\n"
                              "   } deeper\r\n   inside again\r\n} work\r\n");
}

TEST_F(TraceTest, AnIndentDeeperThanTheLineBufferIsClampedAndUnwinds) {
    std::string log;
    {
        TraceScope process(g_traceCategory, "*\n");
        log = OpenTestLog();
        TraceSetOptions(~4u, 255, 0, 0); // scope lines (mask 4) stay out
        std::vector<std::unique_ptr<TraceScope>> scopes;
        for (int i = 0; i < 400; ++i)
            scopes.push_back(std::make_unique<TraceScope>(g_traceCategory, "level\n"));
        Write("x\n");
        scopes.clear();
        Write("y\n");
    }
    EXPECT_EQ(ReadBytes(log), std::string(1023, ' ') + "x\r\ny\r\n");
}

TEST_F(TraceTest, PiecesOfConcurrentMessagesNeverInterleave) {
    // No lock exists yet: the two threads' first messages also race to create it.
    std::string log = OpenTestLog();
    TraceSetOptions(0xFFFFFFFF, 0, 1, 1);
    auto writer = [](int id) {
        for (int i = 0; i < 200; ++i)
            TraceWrite("", 1, 0, "writer %d message %d\n", id, i);
    };
    std::thread a(writer, 1), b(writer, 2);
    a.join();
    b.join();
    std::string content = ReadBytes(log);
    int next[3] = {0, 0, 0};
    for (size_t start = 0, end; (end = content.find("\r\n", start)) != std::string::npos;
         start = end + 2) {
        std::string line = content.substr(start, end - start);
        size_t tab = line.find('\t'); // thread id, date-time, message: nothing in between
        ASSERT_TRUE(tab != std::string::npos && IsDateTime(line.substr(tab + 1, 18))) << line;
        int id = 0, index = -1;
        ASSERT_EQ(sscanf(line.c_str() + tab + 19, "writer %d message %d", &id, &index), 2);
        ASSERT_TRUE(id == 1 || id == 2);
        EXPECT_EQ(index, next[id]++);
    }
    EXPECT_EQ(next[1] + next[2], 400);
}

} // namespace
