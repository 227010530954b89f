// The task's copy of the last completed sweep: taken when a SCAN completes, kept through
// failed, aborted and calibration sweeps, and read whole while sweeps run.
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "core_harness.h"

using namespace coretest;

namespace {

using LastSweep = Core;

// The copy, with its number.
std::unique_ptr<VnaSweep> last(uint64_t& number) {
    auto s = std::make_unique<VnaSweep>();
    number = vna_last_sweep(*s);
    return s;
}

bool same(const VnaSweep& a, const VnaSweep& b) {
    if (a.points != b.points || a.calibrated != b.calibrated) return false;
    for (unsigned i = 0; i < a.points; i++)
        if (a.frequency[i] != b.frequency[i] || a.s11_re[i] != b.s11_re[i] || a.s11_im[i] != b.s11_im[i] ||
            a.s21_re[i] != b.s21_re[i] || a.s21_im[i] != b.s21_im[i])
            return false;
    return true;
}

TEST_F(LastSweep, OnlyACompletedScanReplacesTheCopy) {
    vna_forget_sweep();
    ASSERT_NO_FATAL_FAILURE(connected());
    uint64_t number = 0;
    last(number);
    EXPECT_EQ(number, 0u);
    set_sweep(2000000, 500000000, 101);
    ASSERT_EQ(ctl("dut r 22"), "ok");
    ASSERT_EQ(scan(), 1) << status();
    const auto kept = last(number);
    EXPECT_EQ(number, 1u);
    ASSERT_EQ(kept->points, 101u);
    EXPECT_FALSE(kept->calibrated);
    EXPECT_EQ(kept->frequency[100], 500000000u);
    for (unsigned i : {0u, 50u, 100u}) EXPECT_EQ(cf(kept->s11_re[i], kept->s11_im[i]), s11(i)) << i;
    for (unsigned i : {0u, 50u, 100u}) EXPECT_EQ(cf(kept->s21_re[i], kept->s21_im[i]), s21(i)) << i;

    // Sweeps that do not count, each of a device that changes the arrays.
    const struct {
        const char* what;
        std::function<int()> sweep;
    } others[] = {
        {"a standard", [&] { return run(VNA_CMD_SHORT); }},
        {"a failed sweep", [&] {
             vna_answer_timeout_ms = 200;
             EXPECT_EQ(ctl("fault drop 40"), "ok");  // the first batch arrives short
             return scan();
         }},
        {"an aborted sweep", [&] {
             vna_acquired = 0;  // raised by the sweep only
             const uint32_t before = post(VNA_CMD_SCAN);
             EXPECT_TRUE(eventually([] { return vna_acquired.load() > 0; }));
             vna_abort = 1;  // as STOP does, once the sweep has points
             return finished(before);
         }},
    };
    ASSERT_EQ(ctl("pace on"), "ok");  // the aborted sweep must still run when STOP comes
    set_sweep(2000000, 500000000, 2001);
    for (const auto& o : others) {
        SCOPED_TRACE(o.what);
        ASSERT_EQ(ctl("dut short"), "ok");
        o.sweep();
        uint64_t now = 0;
        EXPECT_TRUE(same(*last(now), *kept));
        EXPECT_EQ(now, 1u);
        ASSERT_EQ(ctl("fault none"), "ok");
        vna_answer_timeout_ms = 2000;
        if (vna_state.load() != VNA_CONNECTED) {
            ASSERT_EQ(connect(), 1) << status();
        }
    }
}

TEST_F(LastSweep, ThePointCountIsTheSweepsOwnAndReadersSeeWholeCopies) {
    vna_forget_sweep();  // an earlier test's copy ends elsewhere
    ASSERT_NO_FATAL_FAILURE(connected());
    // Sweeps of different lengths while another thread reads copies: a copy mixing two
    // sweeps ends at the wrong frequency.
    std::atomic<bool> done{false};
    std::atomic<int> torn{0}, seen{0};
    std::thread reader([&] {
        auto s = std::make_unique<VnaSweep>();
        for (;;) {
            const bool last_look = done.load();  // one look after the sweeps at least
            if (vna_last_sweep(*s) != 0) {
                seen++;
                if (s->points < 2 || s->frequency[s->points - 1] != 300000000u || s->frequency[0] != 1000000u)
                    torn++;
            }
            if (last_look) break;
            std::this_thread::yield();
        }
    });
    for (uint16_t points : {101, 2001, 51, 2001}) {
        set_sweep(1000000, 300000000, points);
        ASSERT_EQ(scan(), 1) << status();
    }
    // The page edits the point count while a sweep runs: the copy keeps the sweep's count.
    set_sweep(1000000, 300000000, 401);
    vna_acquired = 0;  // raised by the sweep only, after it has read the count
    const uint32_t before = post(VNA_CMD_SCAN);
    ASSERT_TRUE(eventually([] { return vna_acquired.load() > 0; }));
    vna_points = 10;
    ASSERT_EQ(finished(before), 1) << status();
    done = true;
    reader.join();
    uint64_t number = 0;
    EXPECT_EQ(last(number)->points, 401u);
    EXPECT_EQ(torn.load(), 0);
    EXPECT_GT(seen.load(), 0);
}

}  // namespace
