// Wildcard detection and the single-pass matcher, including the quirks profiles depend on.
#include "helpers/helper.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(HasWildcards, FindsStarOrQuestionMark) {
    EXPECT_FALSE(HasWildcards(nullptr));
    EXPECT_FALSE(HasWildcards(""));
    EXPECT_FALSE(HasWildcards("C:\\A.TXT"));
    EXPECT_TRUE(HasWildcards("A*"));
    EXPECT_TRUE(HasWildcards("A?B"));
}

struct Case {
    const char* text;
    const char* pattern;
    bool matches;
};

TEST(MatchWildcard, MatchesWithoutRegardToCase) {
    const Case cases[] = {
        {"setup32.exe", "SETUP*.EXE", true},
        {"ABC", "A*", true},
        {"ABC", "*", true},
        {"ABC", "A?C", true},
        {"ABC", "a*c", true},
        {"abc", "ABC", true},
        {"", "*", true},
        {"", "", true},
        {"", "**", true},
        {"AB", "AB*", true},
        {"AB", "AB**", true},
        {"AB", "ABC", false},
        {"ABC", "AB", false},
        {"X.TXT", "*.DLL", false},
        {"A", "", false},
        {"", "A", false},
        {"AB", "?", false},
        {"A", "A?", false},
        {"README.TXT", "*E*.T?T", true},
        {"A[B]", "A[*]", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchWildcard(c.text, c.pattern), c.matches)
            << "'" << c.text << "' against '" << c.pattern << "'";
}

// A '*' is tied to the first later occurrence of the literal that follows it and never retried.
TEST(MatchWildcard, NeverRetriesALaterOccurrenceAfterAStar) {
    const Case cases[] = {
        {"A.TXT.TXT", "*.TXT", false}, {"ABB", "*B", false}, {"ABAC", "*AC", false},
        {"XABB", "*B", false},         {"XAB", "*B", true},  {"NOTES.TXT", "*.TXT", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchWildcard(c.text, c.pattern), c.matches)
            << "'" << c.text << "' against '" << c.pattern << "'";
}

TEST(MatchWildcard, NullNeverMatches) {
    EXPECT_FALSE(MatchWildcard(nullptr, "*"));
    EXPECT_FALSE(MatchWildcard("A", nullptr));
}

TEST(MatchWildcard, HandlesInputFarBeyondAnyPathBuffer) {
    std::string text = std::string(200000, 'a') + ".log";
    EXPECT_TRUE(MatchWildcard(text.c_str(), "*.LOG"));
    EXPECT_TRUE(MatchWildcard(text.c_str(), ("A" + std::string(150000, '?') + "*").c_str()));
    EXPECT_FALSE(MatchWildcard(text.c_str(), (text + "?").c_str()));
    EXPECT_TRUE(MatchWildcard(text.c_str(), text.c_str()));
}

} // namespace
