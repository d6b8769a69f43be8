// Quoted field lists cut in place; fields without a piece keep what the caller preset.
#include "helpers/helper.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SplitQuotedList, PointsEachRequestedFieldAtItsPiece) {
    std::string text = "\"A\",\"B\",\"C\"";
    char *first = nullptr, *second = nullptr;
    SplitQuotedList(&text[0], &first, &second);
    EXPECT_STREQ(first, "A");
    EXPECT_STREQ(second, "B");

    text = "\"C:\\X\",\"Y\"";
    char* third = nullptr;
    SplitQuotedList(&text[0], &first, &second, &third);
    EXPECT_STREQ(first, "C:\\X");
    EXPECT_STREQ(second, "Y");
    EXPECT_EQ(third, nullptr);
}

TEST(SplitQuotedList, LeavesFieldsWithoutPieceAsPreset) {
    std::string text = "A";
    char *first = nullptr, *second = nullptr;
    SplitQuotedList(&text[0], &first, &second);
    EXPECT_STREQ(first, "A");
    EXPECT_EQ(second, nullptr);
}

TEST(SplitQuotedList, KeepsSeparatorLookalikesInsideAPiece) {
    std::string text = "\"A,B\",\"C\"\"";
    char *first = nullptr, *second = nullptr;
    SplitQuotedList(&text[0], &first, &second);
    EXPECT_STREQ(first, "A,B");
    EXPECT_STREQ(second, "C\""); // only one closing quote is removed
}

} // namespace
