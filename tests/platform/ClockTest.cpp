#include "platform/Clock.h"
#include "support/ScopedSeam.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

TEST(Clock, ManualClockReplacesTheSystemClockUntilRemoved) {
    ManualClock clock(EncodeDateTime({2026, 12, 6, 20, 15, 0}));
    {
        ScopedSeam seam(SetClock, &clock);
        EXPECT_EQ(Now(), EncodeDateTime({2026, 12, 6, 20, 15, 0}));
        clock.advanceSeconds(600);
        EXPECT_NEAR(Now(), EncodeDateTime({2026, 12, 6, 20, 25, 0}), 1e-9);
    }
    // The system clock again: the local time of the moment, whatever today's date is.
    const TDateTime before = FromTimePoint(std::chrono::system_clock::now());
    const TDateTime now = Now();
    const TDateTime after = FromTimePoint(std::chrono::system_clock::now());
    EXPECT_LE(before, now);
    EXPECT_LE(now, after);
}

} // namespace
