// Quoted field lists cut in place; fields without a piece keep what the caller preset.
#include "helpers/helper.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SplitQuotedList, PointsRequestedFieldsAtPiecesAndLeavesTheRestPreset) {
    std::string text = "\"A,B\",\"C\"\",\"D\"";
    char *first = nullptr, *second = nullptr;
    SplitQuotedList(&text[0], &first, &second);
    EXPECT_STREQ(first, "A,B");
    EXPECT_STREQ(second, "C\""); // a quote inside a piece stays

    std::string single = "A";
    char preset[] = "preset";
    second = preset;
    char* third = nullptr;
    SplitQuotedList(&single[0], &first, &second, &third);
    EXPECT_STREQ(first, "A");
    EXPECT_EQ(second, preset);
    EXPECT_EQ(third, nullptr);
}

} // namespace
