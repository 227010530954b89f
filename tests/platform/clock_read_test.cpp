// The ms and µs clocks and abs_time read as truncated multiples of the clock, low 32 bits,
// also after days of uptime and for granularities that do not divide a second evenly.
#include <gtest/gtest.h>

#include "support/manual_clock.h"

namespace {

struct Reading {
    uint64_t ns;
    int granularity;
    uint32_t expected;
};

TEST(ClockRead, TruncatedLow32BitsAtEveryUptime) {
    constexpr uint64_t DAY = 86400ull * 1000000000ull;
    const Reading cases[] = {
        {0, 1000, 0},
        {999999, 1000, 0},
        {1000000, 1000, 1},
        {1999999999, 1000, 1999},
        {50 * DAY + 7654321, 1000, uint32_t(50ull * 86400000ull + 7)},       // past 2^32 ms: wraps
        {3 * DAY + 999, 1000000, uint32_t(3ull * 86400000000ull)},           // µs, wrapped
        {(1ull << 62) + 5, 1000000, uint32_t(((1ull << 62) + 5) / 1000)},   // near the end of 64 bits
        {1000000000, 3, 3},                                                   // not a divisor of 10^9
        {1500000000, 1024, 1536},
        {200 * DAY + 1, 1024, uint32_t(200ull * 86400ull * 1024ull)},          // the product needs 128 bits
        {999999999, 7, 6},
    };
    for (const Reading& r : cases) {
        ScopedManualClock clock(r.ns);
        EXPECT_EQ(abs_time(r.granularity), r.expected) << r.ns << " ns at " << r.granularity;
    }
    ScopedManualClock clock(5 * DAY + 123456789);
    uint32_t stored = 0;
    EXPECT_EQ(_time(&stored), uint32_t(5ull * 86400000ull + 123));
    EXPECT_EQ(stored, uint32_t(5ull * 86400000ull + 123));
    EXPECT_EQ(micro_timer(), uint32_t(5ull * 86400000000ull + 123456));
}

}  // namespace
