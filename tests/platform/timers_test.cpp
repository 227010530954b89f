// The timer table on a manual clock. The program starts the timer service but arms no
// timer (only bench/platform_timing.cpp does), so what is kept is the arming rule that a
// caller would first run into: arming again re-arms the slot, and missed periods are skipped.
#include "platform/timers.h"

#include <gtest/gtest.h>

#include "support/manual_clock.h"

namespace {

int calls = 0;
void counted() { calls++; }
void other() {}

TEST(Timers, ArmingAgainReArmsTheSlotAndMissedPeriodsAreSkipped) {
    ScopedManualClock c;
    timers_reset();
    calls = 0;
    // Advances the clock by ms, one scan a millisecond (one scan at the end if !each_ms).
    auto run_ms = [&](uint32_t ms, bool each_ms = true) {
        for (uint32_t i = each_ms ? 0 : ms - 1; i < ms; i++) {
            c.clock.advance_ms(each_ms ? 1 : ms);
            reskedule_timers();
        }
        return calls;
    };
    ASSERT_EQ(exec_timer(counted, 10, 5), 0);
    ASSERT_EQ(exec_timer(other, 10, 5), 0);
    ASSERT_EQ(exec_timer(counted, 10, -30), 0);  // negative delay counts as 30
    EXPECT_EQ(nutim, 2);
    EXPECT_EQ(tim[0].sub.load(), &counted);
    EXPECT_EQ(run_ms(29), 0) << "the first arming's 5 ms delay still fired";
    EXPECT_EQ(run_ms(1), 1);
    EXPECT_EQ(run_ms(55, false), 2);  // five periods late: one call
    EXPECT_EQ(run_ms(9), 2);
    EXPECT_EQ(run_ms(1), 3);  // one period after the late call
    timers_reset();
}

}  // namespace
