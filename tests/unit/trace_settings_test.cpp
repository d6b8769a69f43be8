// The trace settings file on real files: its keywords and their quirks, the header line, the
// log it opens, and what a read resets.
#include "trace_fixture.h"

namespace {

using tracetest::ReadBytes;
using tracetest::TraceTest;
using tracetest::WriteBytes;

// Whether a message of the category passes the filters now in force (written to the log and
// found at its end).
bool Passes(const std::string& log, const char* category) {
    std::string before = ReadBytes(log);
    TraceWrite(category, 0xFFFFFFFF, 0, "<%s>", category);
    return ReadBytes(log).size() != before.size();
}

TEST_F(TraceTest, ColumnKeywordsTurnColumnsOnAndTheFirstReadWritesTheHeader) {
    std::string log = OpenScratchLog();
    LoadSettings("tid\ndt\ntc\nhpc\n");
    // The header ends with "\r\n"; the text-mode log stores its line feed as "\r\n" again.
    EXPECT_EQ(ReadBytes(log), "tid dt tc hpc \r\r\n");
    TraceReadSettings();
    EXPECT_EQ(ReadBytes(log), "tid dt tc hpc \r\r\n") << "one header per opened log";
    TraceWrite(g_traceCategory, 1, 0, "m\n");
    std::string content = ReadBytes(log);
    // Four columns, each ending in a tab, then the message.
    size_t tabs = 0;
    for (char c : content)
        tabs += c == '\t';
    EXPECT_EQ(tabs, 4u) << content;
    EXPECT_EQ(content.substr(content.size() - 3), "m\r\n");
}

TEST_F(TraceTest, AReadStartsFromTheDefaultsAndOverridesTheProgramsOptions) {
    std::string log = OpenScratchLog();
    TraceSetOptions(0xFFFFFFFF, 0, 1, 1);
    LoadSettings("# nothing but a comment\n");
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 200, "level 200\n");
    // No columns: the header is an empty line, the message stands alone.
    EXPECT_EQ(ReadBytes(log), "\r\r\nlevel 200\r\n");
}

TEST_F(TraceTest, ASettingsFileThatCannotBeOpenedChangesNothing) {
    std::string log = OpenScratchLog();
    TraceSetOptions(0xFFFFFFFF, 0, 0, 0);
    TraceLoadSettings(Path("missing.ini").c_str());
    TraceLoadSettings(nullptr);
    TraceReadSettings();
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 1, "dropped\n");
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "kept\n");
    EXPECT_EQ(ReadBytes(log), "kept\r\n");
}

TEST_F(TraceTest, LevelAndMaskValuesAreDecimalIntegers) {
    std::string log = OpenScratchLog();
    LoadSettings("tl=  3 levels\nts=0x10\n");
    EXPECT_FALSE(Passes(log, "a")) << "0x10 converts to 0: no bit enabled";
    LoadSettings("tl=3\nts=-1\n");
    EXPECT_TRUE(Passes(log, "a"));
    LoadSettings("ts=18\n");
    TraceWrite("", 0x01, 0, "one");
    TraceWrite("", 0x02, 0, "two");
    TraceWrite("", 0x10, 0, "sixteen");
    LoadSettings("tl=3\n");
    TraceWrite("", 1, 3, "three");
    TraceWrite("", 1, 4, "four");
    EXPECT_EQ(ReadBytes(log).substr(ReadBytes(log).find("two")), "twosixteenthree");
}

TEST_F(TraceTest, ValueKeywordsWithoutAValueChangeNothing) {
    std::string log = OpenScratchLog();
    LoadSettings("tl=2\ntl=\ntl   \ntl=   \nts=4\nts\n");
    TraceWrite("", 4, 2, "a");
    TraceWrite("", 4, 3, "b");
    TraceWrite("", 1, 0, "c");
    EXPECT_EQ(ReadBytes(log), "\r\r\na");
}

TEST_F(TraceTest, TheFirstKeywordFoundAsASubstringDecidesTheLine) {
    std::string log = OpenScratchLog();
    // "tf=tests.log" holds "ts": its value converts to 0, so no message passes any more, and
    // no log is opened.
    FILE* open = TraceGetLog();
    LoadSettings("tf=tests.log\n");
    EXPECT_EQ(TraceGetLog(), open);
    EXPECT_FALSE(Passes(log, "a"));
    // "#" first makes a comment; a blank before it makes the line a "tid" line.
    LoadSettings("# tid\n");
    EXPECT_TRUE(Passes(log, "plain"));
    EXPECT_EQ(ReadBytes(log).substr(ReadBytes(log).size() - 7), "<plain>");
    LoadSettings(" # tid\n");
    TraceWrite("", 1, 0, "|");
    std::string content = ReadBytes(log);
    EXPECT_EQ(content.back(), '|');
    EXPECT_NE(content.find("<plain>"), std::string::npos);
    EXPECT_EQ(content[content.size() - 2], '\t') << "thread-id column before the message";
}

TEST_F(TraceTest, IncludeListsAccumulateAndCompareWithoutCase) {
    std::string log = OpenScratchLog();
    LoadSettings("include=alpha,beta\ninclude=gamma\n");
    EXPECT_TRUE(Passes(log, "alpha"));
    EXPECT_TRUE(Passes(log, "BETA"));
    EXPECT_TRUE(Passes(log, "Gamma"));
    EXPECT_FALSE(Passes(log, "delta"));
    EXPECT_FALSE(Passes(log, "alphabeta"));
    EXPECT_FALSE(Passes(log, "")) << "the program's own category";
}

TEST_F(TraceTest, AnIncludeListOverridesTheExcludeList) {
    std::string log = OpenScratchLog();
    LoadSettings("include=Engine\nexclude=engine\n");
    EXPECT_TRUE(Passes(log, "engine"));
    EXPECT_FALSE(Passes(log, "net"));
    LoadSettings("exclude=net\tdisk\n");
    EXPECT_TRUE(Passes(log, ""));
    EXPECT_TRUE(Passes(log, "engine"));
    EXPECT_FALSE(Passes(log, "NET"));
    EXPECT_FALSE(Passes(log, "disk"));
}

TEST_F(TraceTest, ListsKeepAtMost248CharactersAndDropTheRest) {
    std::string log = OpenScratchLog();
    std::string first(245, 'a');
    LoadSettings("include=" + first + ",zeta\n");
    EXPECT_TRUE(Passes(log, first.c_str()));
    EXPECT_FALSE(Passes(log, "zeta"));
    EXPECT_TRUE(Passes(log, "ze")) << "the list is cut after 248 characters";
    LoadSettings("include=" + std::string(300, 'b') + "\ninclude=late\n");
    EXPECT_FALSE(Passes(log, "late"));
}

TEST_F(TraceTest, EolEscapesBuildTheSuffixAppendedToEveryFormat) {
    std::string log = OpenScratchLog();
    LoadSettings("eol=\\r\\n\n");
    TraceWrite("", 1, 0, "a");
    LoadSettings("eol=\\t x \\q\\b\\\n");
    TraceWrite("", 1, 0, "b");
    LoadSettings("eol=abc\n");
    TraceWrite("", 1, 0, "c");
    TraceWrite("", 1, 0, "d");
    // The header was written once, by the first read; a read does not reset the suffix.
    EXPECT_EQ(ReadBytes(log), "\r\r\na\r\r\nb\t\bcd");
}

TEST_F(TraceTest, ASuffixIsCutToEightCharactersAndDroppedWhenTheFormatIsTooLong) {
    std::string log = OpenScratchLog();
    LoadSettings("eol=" + std::string(20, '\\') + "\\t\\t\\t\\t\\t\\t\\t\\t\\t\\t\n");
    TraceWrite("", 1, 0, "m");
    EXPECT_EQ(ReadBytes(log), "\r\r\nm" + std::string(8, '\t'));

    LoadSettings("eol=\\r\\n\n");
    // 97 characters of format and 2 of suffix fit the 99-character working format; one more
    // character and the message is written with its own format, without the suffix.
    std::string fits = std::string(95, 'f') + "%s";
    std::string tooLong = std::string(96, 'g') + "%s";
    TraceOpenLog(Path("other.log").c_str(), "w");
    TraceWrite("", 1, 0, fits.c_str(), "");
    TraceWrite("", 1, 0, tooLong.c_str(), "");
    EXPECT_EQ(ReadBytes(Path("other.log")), std::string(95, 'f') + "\r\r\n" + std::string(96, 'g'));
}

TEST_F(TraceTest, NotraceAndNidSwitchOutputAndIndentationOff) {
    std::string log;
    {
        TraceScope process(g_traceCategory, "*\n");
        log = OpenScratchLog();
        TraceScope work(g_traceCategory, "work\n");
        LoadSettings("nid\n");
        TraceWrite("", 1, 0, "flush left\n");
        LoadSettings("notrace\n");
        TraceWrite("", 1, 0, "dropped\n");
        LoadSettings("\n");
        TraceWrite("", 1, 0, "indented\n");
    }
    EXPECT_EQ(ReadBytes(log), "{ work\r\n\r\r\nflush left\r\n   indented\r\n} work\r\n");
}

TEST_F(TraceTest, LinesLongerThanTheLineBufferAreReadInPieces) {
    std::string log = OpenScratchLog();
    // The keyword lies beyond the first 1023 characters: it is found in the second piece.
    LoadSettings(std::string(1023, 'x') + "tid\n");
    TraceWrite("", 1, 0, "|");
    std::string content = ReadBytes(log);
    EXPECT_EQ(content.substr(content.size() - 2), "\t|");
}

TEST_F(TraceTest, StrAppendNeverHoldsMoreThanSizeMinusOneCharacters) {
    char buffer[8] = "ab";
    EXPECT_EQ(StrAppend(nullptr, "x", 8), nullptr);
    EXPECT_EQ(StrAppend(buffer, nullptr, 8), buffer);
    EXPECT_STREQ(buffer, "ab");
    EXPECT_STREQ(StrAppend(buffer, "cd", 8), "abcd");
    EXPECT_STREQ(StrAppend(buffer, "efghij", 8), "abcdefg");
    EXPECT_STREQ(StrAppend(buffer, "z", 8), "abcdefg");
    char small[4] = "abc";
    EXPECT_STREQ(StrAppend(small, "d", 3), "abc") << "already over size - 1: unchanged";
    EXPECT_STREQ(StrAppend(small, "d", 0), "abc");
    char guarded[6] = {'\0', 'X', 'X', 'X', 'X', 'X'};
    StrAppend(guarded, "12345678", 4);
    EXPECT_STREQ(guarded, "123");
    EXPECT_EQ(guarded[4], 'X') << "nothing written past size";
}

} // namespace
