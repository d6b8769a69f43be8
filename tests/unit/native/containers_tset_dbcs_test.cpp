// TSet's order under a double-byte code page: a lead and trail byte compare as one character.
#include "containers/TSet.h"
#include "sim/sim.h"

#include <gtest/gtest.h>

namespace {

TEST(TSetDbcs, TrailBytesThatLookLikeLettersAreNotFolded) {
    sim::Reset();
    sim::SetCodePage(932);
    TSet set;
    EXPECT_EQ(set.Add("\x83\x61"), 0u); // one character whose trail byte is 'a'
    EXPECT_EQ(set.Add("\x83\x41"), 0u); // another, trail byte 'A'
    EXPECT_EQ(set.Count(), 2u);
    EXPECT_EQ(set.Contains("\x83\x61"), 1);
    EXPECT_LT(CompareNoCase("\x83\x41", "\x83\x61"), 0);
    EXPECT_EQ(CompareNoCase("X\x83\x61y", "x\x83\x61Y"), 0);
    sim::Reset();
}

TEST(TSetSingleByte, TheSameBytesFoldWhenTheyAreSingleCharacters) {
    sim::Reset();
    EXPECT_EQ(CompareNoCase("\x83\x61", "\x83\x41"), 0);
}

} // namespace
