// The helpers under a double-byte code page: characters never split, trail bytes never taken for
// separators, quotes, wildcards or letters; under 1252 accented letters fold as the code page
// upper-cases them.
#include "helpers/helper.h"
#include "sim/sim.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Shift-JIS characters whose trail bytes look like ASCII: '\' in 0x95 0x5C, 'a' in 0x83 0x61.
const std::string kTable = "\x95\x5C";
const std::string kKataA = "\x83\x61";

class Dbcs : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        sim::SetCodePage(932);
    }
    void TearDown() override { sim::Reset(); }
};

std::string Normalized(std::string text) {
    NormalizeEntry(&text[0]);
    return text.c_str();
}

TEST_F(Dbcs, NormalizeAndJoinKeepTrailBytesThatLookLikeSeparatorsOrLetters) {
    EXPECT_EQ(Normalized("c:/dir/" + kTable), "C:\\DIR\\" + kTable);
    EXPECT_EQ(Normalized("c:\\" + kTable + "\\\\x/"), "C:\\" + kTable + "\\X");
    EXPECT_EQ(Normalized("\"" + kKataA + "b\""), kKataA + "B");
    char dest[MAX_PATH];
    ASSERT_TRUE(JoinPath(dest, sizeof(dest), ("C:\\" + kTable).c_str(), "X"));
    EXPECT_EQ(std::string(dest), "C:\\" + kTable + "\\X");
}

TEST_F(Dbcs, SearchesAndSplitsStartOnlyOnCharacterBoundaries) {
    std::string text = "A" + kTable + "B\\C";
    EXPECT_EQ(FindChar(text.c_str(), '\\') - text.c_str(), 4);
    EXPECT_EQ(FindLastChar(kTable.c_str(), '\\'), nullptr);
    EXPECT_EQ(FindText(kTable.c_str(), "\\"), nullptr);

    std::string key = "HKEY_LOCAL_MACHINE\\Soft\\Key" + kTable + "Name";
    HKEY root = nullptr;
    char *rootName = nullptr, *subKey = nullptr, *lastName = nullptr;
    ASSERT_EQ(ParseRegistryPath(&key[0], &root, &rootName, &subKey, &lastName), 0u);
    EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
    EXPECT_STREQ(subKey, "SOFT");
    EXPECT_EQ(std::string(lastName), "KEY" + kTable + "NAME");
}

TEST_F(Dbcs, MatcherAndPrefixCompareWholeCharactersWithoutFoldingTrailBytes) {
    std::string word = kKataA + "x";
    EXPECT_TRUE(MatchWildcard(word.c_str(), (kKataA + "X").c_str()));
    EXPECT_FALSE(MatchWildcard(word.c_str(), "\x83\x41X")); // 0x83 0x41 is another character
    EXPECT_TRUE(MatchWildcard(word.c_str(), "?X"));         // '?' takes the whole character
    EXPECT_FALSE(MatchWildcard(word.c_str(), "??X"));
    EXPECT_FALSE(MatchWildcard(("Z" + kTable).c_str(), "*\\")); // a trail byte is not a '\'
    EXPECT_EQ(ComparePrefixNoCase((kKataA + "ab").c_str(), (kKataA + "AB").c_str(), 4), 0);
    EXPECT_NE(ComparePrefixNoCase(kKataA.c_str(), "\x83\x41", 2), 0);
    EXPECT_EQ(ComparePrefixNoCase((kKataA + "a").c_str(), (kKataA + "b").c_str(), 2), 0);
}

// Under 1252 every helper folds with the code page's case mapping, so an entry spelled with
// an accented capital meets the name the disk spells in lower case.
TEST(SingleByteCodePage, FoldsAccentedLettersAlikeInEveryHelper) {
    sim::Reset();
    std::string text = "caf\xE9 \xFC"
                       "bersicht \xFF\xF7\xDF";
    EXPECT_EQ(Normalized(text), "CAF\xC9 \xDC"
                                "BERSICHT \x9F\xF7\xDF");
    EXPECT_TRUE(MatchWildcard(text.c_str(), "CAF\xC9 \xDC*"));
    EXPECT_TRUE(MatchWildcard("\xDC"
                              "BERSICHT",
                              "\xFC"
                              "bersicht"));
    EXPECT_FALSE(MatchWildcard("\xF7", "\xD7")); // division and multiplication signs differ
    EXPECT_EQ(ComparePrefixNoCase(text.c_str(), "CAF\xC9", 4), 0);
    EXPECT_NE(ComparePrefixNoCase("\xDF", "S", 1), 0);
    EXPECT_EQ(ComparePrefixNoCase(kKataA.c_str(), "\x83\x41", 2), 0); // now two single bytes
}

} // namespace
