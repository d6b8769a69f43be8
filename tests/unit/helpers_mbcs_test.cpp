// Searching and keyword-prefix comparison in single-byte text.
#include "helpers/helper.h"

#include <gtest/gtest.h>

namespace {

TEST(FindHelpers, FindFirstAndLastOccurrences) {
    const char* text = "C:\\A\\B.TXT";
    EXPECT_EQ(FindChar(text, '\\'), text + 2);
    EXPECT_EQ(FindLastChar(text, '\\'), text + 4);
    EXPECT_EQ(FindChar(text, '/'), nullptr);
    EXPECT_EQ(FindLastChar(text, '/'), nullptr);
    EXPECT_EQ(FindText(text, "B.T"), text + 5);
    EXPECT_EQ(FindText(text, "TXTX"), nullptr);
    EXPECT_EQ(FindText(text, ""), text);
    EXPECT_EQ(FindChar(static_cast<const char*>(nullptr), 'A'), nullptr);
    EXPECT_EQ(FindText(static_cast<const char*>(nullptr), "A"), nullptr);
}

TEST(ComparePrefixNoCase, ComparesAtMostNBytesIgnoringCase) {
    EXPECT_EQ(ComparePrefixNoCase("remove=X", "REMOVE=", 7), 0);
    EXPECT_EQ(ComparePrefixNoCase("Remove", "REMOVED", 6), 0);
    EXPECT_NE(ComparePrefixNoCase("Remove", "REMOVED", 7), 0);
    EXPECT_EQ(ComparePrefixNoCase("abc", "xyz", 0), 0);
    EXPECT_EQ(ComparePrefixNoCase("AB", "ab", 100), 0); // stops at the terminator
    EXPECT_LT(ComparePrefixNoCase("ABC", "abd", 3), 0);
    EXPECT_GT(ComparePrefixNoCase("ignore", "IG", 3), 0);
    // Letters fold to lower case for the order, so '_' (0x5F) sorts before them.
    EXPECT_LT(ComparePrefixNoCase("_", "A", 1), 0);
}

TEST(GetPlatformId, ReportsTheNtFamily) {
    EXPECT_EQ(GetPlatformId(), VER_PLATFORM_WIN32_NT);
}

} // namespace
