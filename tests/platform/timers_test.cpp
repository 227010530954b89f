#include "platform/timers.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

#include "support/eventually.h"
#include "support/manual_clock.h"

namespace {

std::array<int, TIMERS + 1> calls;

template <int N>
void count() {
    calls[N]++;
}

template <int... N>
constexpr std::array<task_fn, sizeof...(N)> make_counters(std::integer_sequence<int, N...>) {
    return {&count<N>...};
}
// TIMERS + 1 distinct timer functions.
const auto counter = make_counters(std::make_integer_sequence<int, TIMERS + 1>{});

ManualClock* the_clock = nullptr;

void reentrant_scan() {
    calls[0]++;
    the_clock->advance_ms(50);
    reskedule_timers();  // the slot is due again, but its function is running
}
void rearm_self() {
    calls[0]++;
    exec_timer(rearm_self, 0, 40);
}
void remove_self() {
    calls[0]++;
    remove_timer(remove_self);
}

// Each test runs on a manual clock with an empty table and scans by hand.
class Timers : public ::testing::Test {
protected:
    void SetUp() override {
        timers_reset();
        calls.fill(0);
        the_clock = &c.clock;
    }
    void TearDown() override { timers_reset(); }
    // Advances the clock by ms, one scan a millisecond (one scan at the end if !each_ms);
    // returns the calls of counter 0 by then.
    int run_ms(uint32_t ms, bool each_ms = true) {
        for (uint32_t i = each_ms ? 0 : ms - 1; i < ms; i++) {
            c.clock.advance_ms(each_ms ? 1 : ms);
            reskedule_timers();
        }
        return calls[0];
    }
    static int slot_of(task_fn f) {
        for (int i = 0; i < nutim; i++)
            if (tim[i].sub == f) return i;
        return -1;
    }
    ScopedManualClock c;
};

TEST_F(Timers, ArmingAgainReArmsTheSlotAndMissedPeriodsAreSkipped) {
    ASSERT_EQ(exec_timer(counter[0], 10, 5), 0);
    ASSERT_EQ(exec_timer(counter[1], 10, 5), 0);
    ASSERT_EQ(exec_timer(counter[0], 10, -30), 0);  // negative delay counts as 30
    EXPECT_EQ(nutim, 2);
    EXPECT_EQ(slot_of(counter[0]), 0);
    EXPECT_EQ(run_ms(29), 0) << "the first arming's 5 ms delay still fired";
    EXPECT_EQ(run_ms(1), 1);
    EXPECT_EQ(run_ms(55, false), 2);  // five periods late: one call
    EXPECT_EQ(run_ms(9), 2);
    EXPECT_EQ(run_ms(1), 3);  // one period after the late call
}

TEST_F(Timers, TimerFunctionsRunningReEnteringReArmingOrRemovingThemselves) {
    ASSERT_EQ(exec_timer(reentrant_scan, 10, 10), 0);
    EXPECT_EQ(run_ms(10, false), 1);
    EXPECT_EQ(run_ms(10, false), 2) << "the slot stayed disabled after its call";

    timers_reset(), calls.fill(0);
    ASSERT_EQ(exec_timer(rearm_self, 0, 10), 0);
    EXPECT_EQ(run_ms(49), 1);
    EXPECT_EQ(run_ms(1), 2) << "a one-shot timer re-armed from its own call was lost";

    timers_reset(), calls.fill(0);
    ASSERT_EQ(exec_timer(remove_self, 10, 10), 0);
    EXPECT_EQ(run_ms(20), 1);
    EXPECT_EQ(slot_of(remove_self), -1);
    EXPECT_EQ(remove_timer(remove_self), -1);  // an unknown function
}

TEST_F(Timers, TheHundredAndFirstIsRefusedAndOneShotsFreeTheirSlots) {
    for (int i = 0; i < TIMERS; i++) ASSERT_EQ(exec_timer(counter[i], 0, 5), 0);
    EXPECT_EQ(exec_timer(counter[TIMERS], 0, 1), -1);
    EXPECT_EQ(exec_timer(counter[3], 0, 1), 0) << "re-arming a present timer must still work";
    run_ms(1);
    EXPECT_EQ(calls[3], 1);
    run_ms(4);
    EXPECT_EQ(calls[0] + calls[TIMERS - 1], 2);
    EXPECT_EQ(calls[TIMERS], 0);
    // All fired once and freed their slots; the table keeps its length.
    EXPECT_EQ(nutim, TIMERS);
    EXPECT_EQ(slot_of(counter[0]), -1);
    EXPECT_EQ(exec_timer(counter[TIMERS], 0, 1), 0);
}

TEST_F(Timers, TheClockWrapDoesNotStopAPeriodicTimer) {
    c.clock.set_ns(((uint64_t(1) << 32) - 5) * 1000000);  // 5 ms before the 32-bit ms clock wraps
    ASSERT_EQ(exec_timer(counter[0], 4, 4), 0);
    EXPECT_EQ(run_ms(20), 5);
}

std::atomic<int> service_calls{0};
void service_timer() { service_calls++; }

// The real service on the real clock: it must notice a timer armed while it sleeps with
// nothing to do, keep a periodic one going, and stop calling a removed one.
TEST(TimerService, CallsTimersArmedWhileItSleeps) {
    timers_reset();
    start_timers();
    ASSERT_EQ(exec_timer(service_timer, 0, 20), 0);
    EXPECT_TRUE(eventually([] { return service_calls.load() == 1; }));
    ASSERT_EQ(exec_timer(service_timer, 2, 2), 0);
    EXPECT_TRUE(eventually([] { return service_calls.load() >= 6; }));
    ASSERT_EQ(remove_timer(service_timer), 0);
    // The service may already have taken the function for one more call; none follow.
    const int calls = service_calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_LE(service_calls.load(), calls + 1);
    timers_reset();
}

}  // namespace
