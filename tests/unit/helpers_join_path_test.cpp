// Path joining: separators between parts, skipped parts, and refusal of what does not fit.
#include "helpers/helper.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Joined(const char* a, const char* b) {
    char dest[MAX_PATH] = "stale";
    EXPECT_TRUE(JoinPath(dest, sizeof(dest), nullptr, a, "", b));
    return dest;
}

TEST(JoinPath, PutsOneSeparatorBetweenPartsUnlessEitherSideHasOne) {
    EXPECT_EQ(Joined("C:\\A", "B"), "C:\\A\\B");
    EXPECT_EQ(Joined("C:\\A\\", "B"), "C:\\A\\B");
    EXPECT_EQ(Joined("C:\\A/", "B"), "C:\\A/B");
    EXPECT_EQ(Joined("C:\\A", "\\B"), "C:\\A\\B");
    EXPECT_EQ(Joined("C:\\A\\", "\\B"), "C:\\A\\\\B");
    EXPECT_EQ(Joined("", "B"), "B");
    EXPECT_EQ(Joined(nullptr, ""), "");
}

TEST(JoinPath, FitsExactlyOrFailsWithTheDestinationEmptied) {
    // Guard bytes around the 8-byte destination show a write past it even without a sanitizer.
    char bytes[8 + 2 * 16];
    memset(bytes, '#', sizeof(bytes));
    char* dest = bytes + 16;
    EXPECT_TRUE(JoinPath(dest, 8, "ABC", "DEF"));
    EXPECT_STREQ(dest, "ABC\\DEF");
    EXPECT_FALSE(JoinPath(dest, 8, "ABC", "DEFG"));
    EXPECT_STREQ(dest, "");
    EXPECT_FALSE(JoinPath(dest, 8, "ABCDEFGH"));
    EXPECT_EQ(std::string(bytes, 16) + std::string(bytes + 24, 16), std::string(32, '#'));

    char untouched[] = "#";
    EXPECT_FALSE(JoinPath(untouched, 0, "X")); // no room even for the terminator
    EXPECT_STREQ(untouched, "#");

    std::string huge(100000, 'X');
    char path[MAX_PATH] = "C:\\KEEP";
    EXPECT_FALSE(JoinPath(path, sizeof(path), "C:\\A", huge.c_str()));
    EXPECT_STREQ(path, "");
}

} // namespace
