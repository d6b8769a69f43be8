// TSet's order under a double-byte code page: a lead and trail byte compare as one character.
#include "containers/TSet.h"
#include "sim/sim.h"

#include <gtest/gtest.h>

namespace {

TEST(TSetCodePage, FoldsTrailBytesOnlyWhenTheyAreSingleCharacters) {
    sim::Reset();
    EXPECT_EQ(CompareNoCase("\x83\x61", "\x83\x41"), 0);
    sim::SetCodePage(932);
    TSet set;
    set.Add("\x83\x61"); // one character whose trail byte is 'a'
    set.Add("\x83\x41"); // another, trail byte 'A'
    EXPECT_EQ(set.Count(), 2u);
    EXPECT_LT(CompareNoCase("\x83\x41", "\x83\x61"), 0);
    EXPECT_EQ(CompareNoCase("X\x83\x61y", "x\x83\x61Y"), 0);
    sim::Reset();
}

} // namespace
