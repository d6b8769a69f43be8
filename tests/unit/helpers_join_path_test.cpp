// Path joining: separators between parts, skipped parts, and refusal of what does not fit.
#include "helpers/helper.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Joined(const char* a, const char* b) {
    char dest[MAX_PATH];
    EXPECT_TRUE(JoinPath(dest, sizeof(dest), a, b));
    return dest;
}

TEST(JoinPath, PutsOneSeparatorBetweenPartsUnlessEitherSideHasOne) {
    EXPECT_EQ(Joined("C:\\A", "B"), "C:\\A\\B");
    EXPECT_EQ(Joined("C:\\A\\", "B"), "C:\\A\\B");
    EXPECT_EQ(Joined("C:\\A/", "B"), "C:\\A/B");
    EXPECT_EQ(Joined("C:\\A", "\\B"), "C:\\A\\B");
    EXPECT_EQ(Joined("C:\\A\\", "\\B"), "C:\\A\\\\B");
}

TEST(JoinPath, SkipsAbsentAndEmptyParts) {
    char dest[MAX_PATH] = "stale";
    EXPECT_TRUE(JoinPath(dest, sizeof(dest), nullptr, "", "C:", nullptr, "", "X", "Y.TXT"));
    EXPECT_STREQ(dest, "C:\\X\\Y.TXT");
    EXPECT_TRUE(JoinPath(dest, sizeof(dest), static_cast<const char*>(nullptr), ""));
    EXPECT_STREQ(dest, "");
}

// The buffer sits between guard bytes, so a write past destSize shows even without a sanitizer.
struct Guarded {
    char bytes[16 + 8 + 16];
    Guarded() { memset(bytes, '#', sizeof(bytes)); }
    char* dest() { return bytes + 16; }
    bool guardsIntact() const {
        for (size_t i = 0; i < 16; ++i)
            if (bytes[i] != '#' || bytes[sizeof(bytes) - 1 - i] != '#')
                return false;
        return true;
    }
};

TEST(JoinPath, FitsExactlyOrFailsWithTheDestinationEmptied) {
    Guarded g;
    EXPECT_TRUE(JoinPath(g.dest(), 8, "ABC", "DEF"));
    EXPECT_STREQ(g.dest(), "ABC\\DEF");
    EXPECT_FALSE(JoinPath(g.dest(), 8, "ABC", "DEFG"));
    EXPECT_STREQ(g.dest(), "");
    EXPECT_FALSE(JoinPath(g.dest(), 8, "ABCDEFGH"));
    EXPECT_STREQ(g.dest(), "");
    EXPECT_TRUE(g.guardsIntact());

    std::string huge(100000, 'X');
    char path[MAX_PATH] = "C:\\KEEP";
    EXPECT_FALSE(JoinPath(path, sizeof(path), "C:\\A", huge.c_str()));
    EXPECT_STREQ(path, "");
}

TEST(JoinPath, WritesNothingIntoAZeroSizedDestination) {
    char dest[4] = "abc";
    EXPECT_FALSE(JoinPath(dest, 0, "X"));
    EXPECT_STREQ(dest, "abc");
}

} // namespace
