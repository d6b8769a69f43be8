// Keyword-prefix comparison and the platform family on the machine the tests run on.
#include "helpers/helper.h"

#include <gtest/gtest.h>

namespace {

TEST(ComparePrefixNoCase, ComparesAtMostNBytesIgnoringCase) {
    EXPECT_EQ(ComparePrefixNoCase("remove=X", "REMOVE=", 7), 0);
    EXPECT_NE(ComparePrefixNoCase("Remove", "REMOVED", 7), 0);
    EXPECT_EQ(ComparePrefixNoCase("AB", "ab", 100), 0); // stops at the terminator
    EXPECT_LT(ComparePrefixNoCase("ABC", "abd", 3), 0);
    EXPECT_LT(ComparePrefixNoCase("_", "A", 1), 0); // letters fold to lower case for the sign
}

TEST(GetPlatformId, ReportsTheNtFamily) {
    EXPECT_EQ(GetPlatformId(), VER_PLATFORM_WIN32_NT);
}

} // namespace
