// Canonical entry text: quotes, trailing separator, separator runs, case, over-long input.
#include "helpers/helper.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Normalized(std::string text) {
    NormalizeEntry(&text[0]);
    return text.c_str();
}

TEST(NormalizeEntry, BringsEntriesIntoCanonicalForm) {
    EXPECT_EQ(Normalized("\"c:/Program Files//Vendor/\""), "C:\\PROGRAM FILES\\VENDOR");
    EXPECT_EQ(Normalized("\"\"\"\""), "");
    EXPECT_EQ(Normalized(""), "");
    EXPECT_EQ(Normalized("a\"b"), "A\"B");
    EXPECT_EQ(Normalized("\\\\server\\share"), "\\SERVER\\SHARE");
    EXPECT_EQ(Normalized("\"/\""), "");
    EXPECT_EQ(Normalized("az_[]`{}~09"), "AZ_[]`{}~09");
}

TEST(NormalizeEntry, RemovesOnlyOneTrailingSeparatorBeforeFoldingRuns) {
    EXPECT_EQ(Normalized("C:\\TEMP\\\\"), "C:\\TEMP\\");
    EXPECT_EQ(Normalized("c:\\temp/\\/"), "C:\\TEMP\\");
}

TEST(NormalizeEntry, HandlesInputFarBeyondAnyPathBuffer) {
    std::string text = "\"" + std::string(100000, 'a') + "//" + std::string(50000, 'b') + "/\"";
    EXPECT_EQ(Normalized(text), std::string(100000, 'A') + "\\" + std::string(50000, 'B'));
}

} // namespace
