// On a manual clock: the ms and µs clocks and abs_time, the timer table's re-arming, and the
// control cycle's look-up of the shared-memory query word.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "platform/clock.h"
#include "platform/cycle.h"
#include "platform/timers.h"
#include "support/manual_clock.h"

namespace {

// The clocks read as truncated multiples of the clock, low 32 bits, also after days of
// uptime and for granularities that do not divide a second evenly.
TEST(ClockRead, TruncatedLow32BitsAtEveryUptime) {
    constexpr uint64_t DAY = 86400ull * 1000000000ull;
    const struct { uint64_t ns; int granularity; uint32_t expected; } cases[] = {
        {0, 1000, 0}, {999999, 1000, 0}, {1000000, 1000, 1}, {1999999999, 1000, 1999},
        {50 * DAY + 7654321, 1000, uint32_t(50ull * 86400000ull + 7)},       // past 2^32 ms: wraps
        {3 * DAY + 999, 1000000, uint32_t(3ull * 86400000000ull)},           // µs, wrapped
        {(1ull << 62) + 5, 1000000, uint32_t(((1ull << 62) + 5) / 1000)},    // near the end of 64 bits
        {1000000000, 3, 3}, {1500000000, 1024, 1536}, {999999999, 7, 6},     // not divisors of 10^9
        {200 * DAY + 1, 1024, uint32_t(200ull * 86400ull * 1024ull)},        // the product needs 128 bits
    };
    for (const auto& r : cases) {
        ScopedManualClock clock(r.ns);
        EXPECT_EQ(abs_time(r.granularity), r.expected) << r.ns << " ns at " << r.granularity;
        EXPECT_TRUE(r.granularity != 1000 || _time(nullptr) == r.expected) << r.ns << " ns: the ms clock";
    }
}

// The program arms no timer (only bench/platform_timing.cpp does), so what is kept is the
// rule a caller would first run into: arming again re-arms the slot, missed periods are skipped.
int calls = 0;
void counted() { calls++; }
void other() {}

TEST(Timers, ArmingAgainReArmsTheSlotAndMissedPeriodsAreSkipped) {
    ScopedManualClock c;
    timers_reset();
    // Advances the clock by ms, one scan a millisecond (one scan at the end if !each_ms).
    auto run_ms = [&](uint32_t ms, bool each_ms = true) {
        for (uint32_t i = each_ms ? 0 : ms - 1; i < ms; i++) {
            c.clock.advance_ms(each_ms ? 1 : ms);
            reskedule_timers();
        }
        return calls;
    };
    // -30 counts as 30.
    ASSERT_EQ(exec_timer(counted, 10, 5) + exec_timer(other, 10, 5) + exec_timer(counted, 10, -30), 0);
    EXPECT_EQ(std::tuple(nutim.load(), tim[0].sub.load()), std::tuple(2, &counted));
    // Not at the first arming's 5 ms; at 30 ms; five periods late: one call; one period after it.
    EXPECT_EQ((std::tuple{run_ms(29), run_ms(1), run_ms(55, false), run_ms(9), run_ms(1)}), std::tuple(0, 1, 2, 2, 3));
    timers_reset();
}

// The query word costs the cycle nothing while the object is missing (one attempt in 100 ms)
// and is never read past a short object.
TEST(QueryWord, AMissingObjectIsLookedForEveryHundredMillisecondsAndAShortOneIsNotRead) {
    ScopedManualClock c;
    const std::string name = "/corvane-test-" + std::to_string(getpid());
    // No object under the name, and the cycle looking for it under `look_for` afresh.
    const auto restart = [&](const char* look_for) {
        shm_unlink(name.c_str());
        query_word_use_name(look_for);
        query_rx = 0;
        query_line = 0;
    };
    const auto create = [&](off_t size) {
        const int fd = shm_open(name.c_str(), O_RDWR | O_CREAT, 0600);
        EXPECT_EQ(ftruncate(fd, size), 0);
        close(fd);
    };
    plc_priority = 1;  // so that each cycle sleeps its 1 ms on the manual clock
    restart(name.c_str());
    start_cycle();  // first attempt fails: nothing there
    const uint32_t first_try = ORA.load();
    create(256);
    while (query_rx.load() == 0 && ORA.load() - first_try < 1000) start_cycle();
    // Found at the attempt 100 ms after the first, then mapped and read in two cycles.
    EXPECT_GE(ORA.load() - first_try, 100u);
    EXPECT_LE(ORA.load() - first_try, 103u);
    restart(name.c_str());
    create(0);
    for (int i = 0; i < 10; i++) start_cycle();  // would fault on the mapped word if it were read
    EXPECT_EQ(query_rx.load(), 0u);
    create(256);
    for (int i = 0; i < 3; i++) start_cycle();
    EXPECT_GT(query_rx.load(), 0u);
    restart(nullptr);
}

}  // namespace
