#include "platform/timers.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

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

// Each test runs on a manual clock with an empty table and scans by hand.
class Timers : public ::testing::Test {
protected:
    void SetUp() override {
        timers_reset();
        calls.fill(0);
        the_clock = &c.clock;
    }
    void TearDown() override { timers_reset(); }
    void advance_and_scan(uint32_t ms) {
        c.clock.advance_ms(ms);
        reskedule_timers();
    }
    // Scans once a millisecond for ms milliseconds.
    void run_ms(int ms) {
        for (int i = 0; i < ms; i++) advance_and_scan(1);
    }
    static int slot_of(task_fn f) {
        for (int i = 0; i < nutim; i++)
            if (tim[i].sub == f) return i;
        return -1;
    }

    ScopedManualClock c;
};

TEST_F(Timers, ArmingTheSameFunctionAgainReArmsItsSlot) {
    ASSERT_EQ(exec_timer(counter[0], 10, 5), 0);
    ASSERT_EQ(exec_timer(counter[1], 10, 5), 0);
    ASSERT_EQ(exec_timer(counter[0], 0, -30), 0);  // negative delay counts as 30
    EXPECT_EQ(nutim, 2);
    EXPECT_EQ(slot_of(counter[0]), 0);
    advance_and_scan(29);
    EXPECT_EQ(calls[0], 0) << "the first arming's 5 ms delay still fired";
    advance_and_scan(1);
    EXPECT_EQ(calls[0], 1);
}

TEST_F(Timers, MissedPeriodsAreSkippedNotCaughtUp) {
    ASSERT_EQ(exec_timer(counter[0], 10, 10), 0);
    advance_and_scan(55);  // five periods late
    EXPECT_EQ(calls[0], 1);
    run_ms(9);
    EXPECT_EQ(calls[0], 1);
    advance_and_scan(1);  // one period after the late call
    EXPECT_EQ(calls[0], 2);
}

void reentrant_scan() {
    calls[0]++;
    the_clock->advance_ms(50);
    reskedule_timers();  // the slot is due again, but its function is running
}

TEST_F(Timers, ASlotDoesNotFireWhileItsFunctionRuns) {
    ASSERT_EQ(exec_timer(reentrant_scan, 10, 10), 0);
    advance_and_scan(10);
    EXPECT_EQ(calls[0], 1);
    advance_and_scan(10);
    EXPECT_EQ(calls[0], 2) << "the slot stayed disabled after its call";
}

void rearm_self() {
    calls[0]++;
    exec_timer(rearm_self, 0, 40);
}
void remove_self() {
    calls[0]++;
    remove_timer(remove_self);
}

TEST_F(Timers, TimerFunctionsMayReArmOrRemoveThemselves) {
    ASSERT_EQ(exec_timer(rearm_self, 0, 10), 0);
    advance_and_scan(10);
    advance_and_scan(39);
    EXPECT_EQ(calls[0], 1);
    advance_and_scan(1);
    EXPECT_EQ(calls[0], 2) << "a one-shot timer re-armed from its own call was lost";

    timers_reset();
    calls.fill(0);
    ASSERT_EQ(exec_timer(remove_self, 10, 10), 0);
    advance_and_scan(10);
    advance_and_scan(10);
    EXPECT_EQ(calls[0], 1);
    EXPECT_EQ(slot_of(remove_self), -1);
    EXPECT_EQ(remove_timer(remove_self), -1);  // an unknown function
}

TEST_F(Timers, TheHundredAndFirstIsRefusedAndOneShotsFreeTheirSlots) {
    for (int i = 0; i < TIMERS; i++) ASSERT_EQ(exec_timer(counter[i], 0, 5), 0);
    EXPECT_EQ(exec_timer(counter[TIMERS], 0, 1), -1);
    EXPECT_EQ(nutim, TIMERS);
    EXPECT_EQ(exec_timer(counter[3], 0, 1), 0) << "re-arming a present timer must still work";
    advance_and_scan(1);
    EXPECT_EQ(calls[3], 1);
    EXPECT_EQ(calls[TIMERS], 0);
    advance_and_scan(4);
    EXPECT_EQ(calls[0], 1);
    EXPECT_EQ(calls[TIMERS - 1], 1);
    // All fired once and freed their slots; the table keeps its length.
    EXPECT_EQ(nutim, TIMERS);
    EXPECT_EQ(slot_of(counter[0]), -1);
    EXPECT_EQ(exec_timer(counter[TIMERS], 0, 1), 0);
}

TEST_F(Timers, TheClockWrapDoesNotStopAPeriodicTimer) {
    // Start 5 ms before the 32-bit ms clock wraps.
    c.clock.set_ns(((uint64_t(1) << 32) - 5) * 1000000);
    ASSERT_EQ(exec_timer(counter[0], 4, 4), 0);
    run_ms(20);
    EXPECT_EQ(calls[0], 5);
}

std::atomic<int> service_calls{0};
void service_timer() { service_calls++; }

// The real service on the real clock: it must notice a timer armed while it sleeps with
// nothing to do, keep a periodic one going, and stop calling a removed one.
TEST(TimerService, CallsTimersArmedWhileItSleeps) {
    timers_reset();
    start_timers();
    auto eventually = [](auto cond) {
        for (int i = 0; i < 5000 && !cond(); i++) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return cond();
    };
    ASSERT_EQ(exec_timer(service_timer, 0, 20), 0);
    EXPECT_TRUE(eventually([] { return service_calls.load() == 1; }));
    ASSERT_EQ(exec_timer(service_timer, 2, 2), 0);
    EXPECT_TRUE(eventually([] { return service_calls.load() >= 6; }));
    ASSERT_EQ(remove_timer(service_timer), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // a call in progress ends
    const int calls = service_calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(service_calls.load(), calls);
    timers_reset();
}

}  // namespace
