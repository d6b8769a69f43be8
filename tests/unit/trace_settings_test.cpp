// The trace settings file on real files: keywords and their quirks, header, lists, line suffix.
#include "trace_fixture.h"

namespace {

using tracetest::ReadBytes;
using tracetest::TraceTest;

// Whether a message of the category passes the filters now in force.
bool Passes(const std::string& log, const char* category) {
    size_t before = ReadBytes(log).size();
    TraceWrite(category, 0xFFFFFFFF, 0, "<%s>", category);
    return ReadBytes(log).size() != before;
}

TEST_F(TraceTest, AReadStartsFromDefaultsAndHeadsANewLogOnce) {
    std::string log = OpenTestLog();
    TraceSetOptions(0xFFFFFFFF, 0, 1, 1);
    LoadSettings("# dt\n");
    TraceWrite("", 1, 200, "level 200\n");
    // The header's "\r\n" is stored by the text-mode log as "\r\r\n".
    EXPECT_EQ(ReadBytes(log), "\r\r\nlevel 200\r\n");
    std::string columns = OpenTestLog("columns.log");
    LoadSettings("hpc\ntc\ndt\ntid\n");
    TraceReadSettings();
    EXPECT_EQ(ReadBytes(columns), "tid dt tc hpc \r\r\n");
}

TEST_F(TraceTest, ValuesAreDecimalAndTheFirstKeywordFoundDecidesTheLine) {
    std::string log = OpenTestLog();
    LoadSettings("tl=  3 levels\nts=0x10\n");
    EXPECT_FALSE(Passes(log, "a")) << "0x10 converts to 0";
    LoadSettings("tl=2\ntl=\ntl   \nts=4\nts=  \n"); // lines without a value change nothing
    TraceWrite("", 4, 2, "[");
    TraceWrite("", 4, 3, "x");
    TraceWrite("", 1, 0, "x");
    LoadSettings("ts=-1\n# tid\n");
    Write("]");
    EXPECT_EQ(ReadBytes(log).substr(3), "[]");
    LoadSettings(" # tid\n" + std::string(1023, 'x') + "nid\n"); // found in the second piece
    TraceScope outer(g_traceCategory, "*\n"), inner(g_traceCategory, "");
    Write("|");
    EXPECT_EQ(ReadBytes(log).substr(ReadBytes(log).size() - 2), "\t|");
    // "tf=tests.log" holds "ts": the mask becomes 0 and no log is opened.
    FILE* open = TraceGetLog();
    LoadSettings("tf=tests.log\n");
    EXPECT_EQ(TraceGetLog(), open);
    EXPECT_FALSE(Passes(log, "a"));
}

TEST_F(TraceTest, IncludeListsWinOverExcludeListsAndKeep248Characters) {
    std::string log = OpenTestLog();
    LoadSettings("include=alpha,beta\ninclude=gamma\nexclude=alpha\n");
    for (const char* name : {"alpha", "BETA", "Gamma"})
        EXPECT_TRUE(Passes(log, name)) << name;
    for (const char* name : {"delta", "alphabeta", ""})
        EXPECT_FALSE(Passes(log, name)) << name;
    LoadSettings("exclude=net\tdisk\n");
    EXPECT_TRUE(Passes(log, ""));
    EXPECT_FALSE(Passes(log, "NET"));
    EXPECT_FALSE(Passes(log, "disk"));
    LoadSettings("include=" + std::string(245, 'a') + ",zeta\ninclude=late\n");
    EXPECT_TRUE(Passes(log, "ze"));
    EXPECT_FALSE(Passes(log, "zeta"));
    EXPECT_FALSE(Passes(log, "late"));
}

TEST_F(TraceTest, EolEscapesBuildABoundedSuffixThatAReadKeeps) {
    std::string log = OpenTestLog();
    LoadSettings("eol=\\r\\n\n");
    Write("a");
    LoadSettings("eol=\\t x \\q\\b\\\n");
    Write("b");
    LoadSettings("eol=abc\n");
    Write("c");
    LoadSettings("notrace\neol=" + std::string(20, '\\') + "\\t\\t\\t\\t\\t\\t\\t\\t\\t\\t\n");
    Write("dropped");
    LoadSettings("\n");
    Write("d");
    EXPECT_EQ(ReadBytes(log), "\r\r\na\r\r\nb\t\bcd" + std::string(8, '\t'));

    // 97 characters of format and 2 of suffix fit the working format; with 98 the message is
    // written with its own format, without the suffix.
    std::string other = OpenTestLog("other.log");
    LoadSettings("eol=\\r\\n\n");
    TraceWrite("", 1, 0, (std::string(95, 'f') + "%s").c_str(), "");
    TraceWrite("", 1, 0, (std::string(96, 'g') + "%s").c_str(), "");
    EXPECT_EQ(ReadBytes(other), "\r\r\n" + std::string(95, 'f') + "\r\r\n" + std::string(96, 'g'));
}

TEST_F(TraceTest, StrAppendNeverHoldsMoreThanSizeMinusOneCharacters) {
    char buffer[8] = "ab";
    EXPECT_EQ(StrAppend(nullptr, "x", 8), nullptr);
    EXPECT_STREQ(StrAppend(buffer, nullptr, 8), "ab");
    EXPECT_STREQ(StrAppend(buffer, "cdefghij", 8), "abcdefg");
    EXPECT_STREQ(StrAppend(buffer, "z", 3), "abcdefg");
    char guarded[6] = {'\0', 'X', 'X', 'X', 'X', 'X'};
    StrAppend(guarded, "12345678", 4);
    EXPECT_STREQ(guarded, "123");
    EXPECT_EQ(guarded[4], 'X');
}

} // namespace
