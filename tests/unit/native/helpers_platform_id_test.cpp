// The platform family as the simulated machine reports it, including a failed version query.
#include "helpers/helper.h"
#include "sim/sim.h"

#include <gtest/gtest.h>

namespace {

TEST(GetPlatformIdSimulated, FollowsTheSystemAndIsMinusOneWhenTheQueryFails) {
    sim::Reset();
    EXPECT_EQ(GetPlatformId(), VER_PLATFORM_WIN32_NT);
    sim::SetWindows98();
    EXPECT_EQ(GetPlatformId(), VER_PLATFORM_WIN32_WINDOWS);
    sim::SetVersionQueryFails(true);
    EXPECT_EQ(GetPlatformId(), -1);
    sim::Reset();
}

} // namespace
