// Wildcard detection and the single-pass matcher, including the quirks profiles depend on.
#include "helpers/helper.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(HasWildcards, FindsStarOrQuestionMark) {
    EXPECT_FALSE(HasWildcards(nullptr));
    EXPECT_FALSE(HasWildcards("C:\\A.TXT"));
    EXPECT_TRUE(HasWildcards("A*"));
    EXPECT_TRUE(HasWildcards("A?B"));
}

TEST(MatchWildcard, MatchesWithoutRegardToCase) {
    const struct {
        const char* text;
        const char* pattern;
        bool matches;
    } cases[] = {
        {"setup32.exe", "SETUP*.EXE", true},
        {"ABC", "A*", true},
        {"ABC", "*", true},
        {"ABC", "A?C", true},
        {"ABC", "a*c", true},
        {"", "*", true},
        {"", "", true},
        {"", "**", true},
        {"AB", "AB*", true},
        {"README.TXT", "*E*.T?T", true},
        {"AB", "ABC", false},
        {"ABC", "AB", false},
        {"X.TXT", "*.DLL", false},
        {"A", "", false},
        {"AB", "?", false},
        {"A", "A?", false},
        {nullptr, "*", false},
        {"A", nullptr, false},
        // A '*' is tied to the first later occurrence of the literal after it, never retried.
        {"A.TXT.TXT", "*.TXT", false},
        {"ABB", "*B", false},
        {"ABAC", "*AC", false},
        {"XAB", "*B", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchWildcard(c.text, c.pattern), c.matches)
            << (c.text ? c.text : "(null)") << " against " << (c.pattern ? c.pattern : "(null)");
}

TEST(MatchWildcard, HandlesInputFarBeyondAnyPathBuffer) {
    std::string text = std::string(200000, 'a') + ".log";
    EXPECT_TRUE(MatchWildcard(text.c_str(), "*.LOG"));
    EXPECT_TRUE(MatchWildcard(text.c_str(), ("A" + std::string(150000, '?') + "*").c_str()));
    EXPECT_FALSE(MatchWildcard(text.c_str(), (text + "?").c_str()));
    EXPECT_TRUE(MatchWildcard(text.c_str(), text.c_str()));
}

} // namespace
