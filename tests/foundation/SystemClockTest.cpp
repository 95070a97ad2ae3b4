#include "foundation/SystemClock.h"
#include "platform/fake/ManualClock.h"

#include <gtest/gtest.h>

namespace {

TEST(SystemClock, ManualClockTimeIsSystemMillis) {
    Platform::ManualClock clock(5000);
    Vorn::useClock(&clock);
    EXPECT_EQ(Vorn::systemMillis(), 5000);
    clock.advance(250);
    EXPECT_EQ(Vorn::systemMillis(), 5250);
    Vorn::useClock(nullptr);
    EXPECT_LT(Vorn::systemMillis(), 100);
}

TEST(SystemClock, SystemClockMovesWithRealTime) {
    Vorn::useClock(nullptr);
    int64_t before = Vorn::systemMillis();
    Vorn::sleepMillis(20);
    int64_t elapsed = Vorn::systemMillis() - before;
    EXPECT_GE(elapsed, 19);
    EXPECT_LT(elapsed, 2000);
}

} // namespace
