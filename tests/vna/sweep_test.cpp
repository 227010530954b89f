// Sweeps through the command task against the simulator: point counts and frequencies,
// the stored readings, refused settings, the register writes, abort, timeout, faults on
// the line in the middle of a sweep (silence, garbage, unplugging, a short answer), and the
// copy of the last completed sweep. (Bytes left on the line between sweeps are flushed,
// but the records' resynchronisation would hide it if they were not: nothing tests it.)
#include <cstring>
#include <functional>

#include "core_harness.h"
#include "platform/clock.h"

using namespace coretest;

namespace {

// Real time, moved 31 s ahead once the running sweep has acquired `at` points. The task
// stores that count just before it looks at the clock for the sweep's time limit, and
// nothing else reads the clock meanwhile, so the jump lands on that look.
struct JumpClock : ClockSource {
    std::atomic<int> at{-1};
    std::atomic<uint64_t> offset{0};
    uint64_t now_ns() override {
        int a = at.load();
        if (a >= 0 && vna_acquired.load() >= a && at.compare_exchange_strong(a, -1)) offset += 31000000000ull;
        return real_clock().now_ns() + offset.load();
    }
    void sleep_until_ns(uint64_t deadline) override {
        real_clock().sleep_until_ns(deadline - std::min(deadline, offset.load()));
    }
};
// Installed once and never removed, so it outlives every thread that reads it.
JumpClock& jump_clock() {
    static JumpClock* clock = new JumpClock;
    set_clock_source(clock);
    return *clock;
}

// The copy of the last completed sweep, with its number (zeroed first, so that two copies
// compare as bytes).
struct Copy {
    VnaSweep s;
    uint64_t number = vna_last_sweep(s);
};
std::unique_ptr<Copy> last() { return std::make_unique<Copy>(); }
bool same(const Copy& x, const Copy& y) { return std::memcmp(&x, &y, sizeof x) == 0; }

}  // namespace

using Sweep = Core;

TEST_F(Sweep, PointCountsFrequenciesRefusedSettingsAndGarbageOnTheLine) {
    // Raw readings played back from a file (1 MHz grid from 1 MHz), so that every stored
    // value can be checked against its point.
    const touchstone::Data file = read_data("splitter_dut_raw_12.s2p");
    connected({"--no-pace", "--rate", "5000", "--trace", "--dut", "raw " + data_dir + "splitter_dut_raw_12.s2p"});
    for (uint16_t points : {2, 401, 2001}) {
        set_sweep(1000000, 1000000 + uint64_t(points - 1) * 1000000, points);
        const uint64_t mark = vna_status.count();
        ASSERT_EQ(scan(), 1) << status();
        EXPECT_EQ(std::tuple(texts_since(mark), vna_acquired.load(), vna_data_valid.load(), vna_state.load()),
                  std::tuple(Texts{"Scanning...", "Scan completed"}, points, 1, VNA_CONNECTED));
        double worst = 0;
        for (unsigned i = 0; i < points; i++) {
            ASSERT_EQ(vna_frequency[i].load(), 1000000 + uint64_t(i) * 1000000);
            const auto& want = file.points[i].s;
            worst = std::max(worst, std::abs(cd(raw_s11(i)) - want[touchstone::S11]));
            worst = std::max(worst, std::abs(cd(raw_s21(i)) - want[touchstone::S21]));
            // Without a calibration the corrected values are the raw ones, bit for bit.
            ASSERT_TRUE(s11(i) == raw_s11(i) && s21(i) == raw_s21(i)) << i;
        }
        EXPECT_LT(worst, 1e-5) << points;  // readings are integers of about 2^20 counts
    }
    // 999 MHz over 400 intervals does not divide: the step sent is truncated, the stored
    // frequencies are not, and the last one is the stop frequency exactly.
    set_sweep(1000000, 1000000000, 401);
    ASSERT_EQ(scan(), 1) << status();
    for (unsigned i : {1u, 3u, 400u}) EXPECT_EQ(vna_frequency[i].load(), 1000000 + 999000000ull * i / 400) << i;
    const uint64_t top = ~uint64_t(0);  // the arithmetic does not overflow on a wide span
    EXPECT_EQ(std::pair(vna_point_frequency(0, top, 2000, 2001), vna_point_frequency(0, top, 1000, 2001)),
              std::pair(top, top / 2));
    const std::tuple<uint64_t, uint16_t, const char*> refused[] = {
        {2000000, 1, "Invalid number of points"},
        {2000000, 2002, "Invalid number of points"},
        {1000000, 11, "Invalid frequencies"},
    };
    for (auto [stop, points, message] : refused) {
        set_sweep(1000000, stop, points);
        EXPECT_EQ(ended(scan()), std::tuple(0, message, VNA_CONNECTED)) << points;
    }
    set_sweep(1000000, 2000000, 11);
    EXPECT_EQ(scan(), 1) << status();  // the port is untouched by a refusal
    // The set-up of each sweep as the device saw it, in normal and slow mode, on a quiet line.
    for (char mode : {1, 0}) {
        slow.store(mode);
        set_sweep(1000000, 800000000, 21);
        const size_t from = sim_->trace().size();
        EXPECT_EQ(scan(), 1) << status();
        std::string want = "host: write 0x00 (start) = 1000000 (64-bit)\nhost: write 0x10 (step) = 39950000 (64-bit)\n"
                           "host: write 0x20 (points) = 21 (16-bit)\nhost: write 0x40 (mode) = " +
                           std::to_string(mode ? 4 : 1) + " (8-bit)\nhost: write 0x30 (restart) = 0 (8-bit)\n";
        for (int batch = 0; batch < 3; batch++) want += "host: read FIFO 0x30, 8 records\n";
        EXPECT_EQ(sim_->trace().substr(from), want);
    }
    auto readings = [] {
        std::vector<cf> v;
        for (unsigned i = 0; i < 2001; i++) v.push_back(raw_s11(i));
        return v;
    };
    set_sweep(1000000, 800000000, 2001);
    ASSERT_EQ(scan(), 1) << status();
    const std::vector<cf> clean = readings();
    // In the middle of a sweep: bytes that shift the records out of step and whole records
    // of garbage. The sweep finds the records again and completes with every point as a
    // clean sweep has it.
    for (int n : {5, 32, 100}) {
        const uint32_t before = under_way();
        ASSERT_EQ(ctl("fault garbage " + std::to_string(n)), "ok");
        ASSERT_EQ(finished(before), 1) << status();
        EXPECT_TRUE(readings() == clean) << n;
    }
    // The set-up cannot be queued on a closed port.
    vna_disconnect_device();
    vna_state.store(VNA_CONNECTED);
    EXPECT_EQ(said(vna_scan_raw()), std::tuple(0, "Sweep setup error"));
}

TEST_F(Sweep, CutShortInTheMiddleAndTheCopyOfTheLastCompletedSweep) {
    // Each way to end a 2001-point sweep (a second long at this rate) once its first batch
    // is in: a message, the port left open, the copy of the last completed sweep kept, and
    // the program usable again.
    vna_forget_sweep();
    connected({"--no-pace", "--rate", "2000"});
    EXPECT_EQ(last()->number, 0u);
    set_sweep(2000000, 500000000, 101);
    ASSERT_EQ(scan(), 1) << status();
    auto kept = last();
    ASSERT_EQ(std::tuple(kept->number, kept->s.points, kept->s.calibrated, kept->s.frequency[100]),
              std::tuple(1u, 101u, false, 500000000u));
    // Written as Touchstone text (9 significant digits), every value reads back as its float.
    touchstone::Data text;
    std::string error;
    ASSERT_TRUE(touchstone::parse(vna_touchstone_text(kept->s, true, "test", "none"), 2, text, error)) << error;
    for (unsigned i = 0; i < 101; i++) {
        const auto& s = text.points[i].s;
        ASSERT_EQ(std::pair(cf(s[touchstone::S11]), cf(s[touchstone::S21])), std::pair(s11(i), s21(i))) << i;
    }
    contin.store(1);
    cal_short[7] = VNA_COMPLEX{0.25f, -0.5f};
    // The command, whether the cut makes the sweep wait for an answer (the wait is short
    // then), the cut, the message and the points at least acquired.
    const std::tuple<int, bool, std::function<void()>, const char*, int> cases[] = {
        {VNA_CMD_SCAN, false, page1_abort_onmousedown, "Scan aborted", 0},
        // The limit is looked at between batches; the clock jumps past it at 800 points.
        {VNA_CMD_SCAN, false, [] { jump_clock().at = 800; }, "Scan timeout", 800},
        {VNA_CMD_SHORT, true, [this] { EXPECT_EQ(ctl("fault silent"), "ok"); }, "FIFO read error", 0},
        {VNA_CMD_SCAN, true, [this] { EXPECT_EQ(ctl("fault unplug"), "ok"); }, "FIFO read error", 0},
        {VNA_CMD_SCAN, true, [this] { EXPECT_EQ(ctl("fault drop 40"), "ok"); }, "FIFO read error", 0},
    };
    for (const auto& [code, waits, cut, message, at_least] : cases) {
        SCOPED_TRACE(message);
        set_sweep(1000000, 800000000, 2001);
        ASSERT_EQ(ctl("dut short"), "ok");  // readings unlike those of the copy
        vna_answer_timeout_ms = waits ? 300 : answer_ms;
        const uint32_t before = under_way(code);
        cut();
        EXPECT_EQ(ended(finished(before)), std::tuple(0, message, VNA_CONNECTED));
        EXPECT_TRUE(!vna_data_valid && vna_acquired >= at_least && vna_acquired < 2001) << vna_acquired.load();
        EXPECT_TRUE(same(*last(), *kept));
        // Plugged in again where unplugged: disconnect, connect to the terminal, sweep.
        vna_answer_timeout_ms = answer_ms;
        ctl("fault replug");
        EXPECT_EQ(ctl("fault none"), "ok");
        ASSERT_EQ(run(VNA_CMD_DISCONNECT), 1);
        name_port(sim_->tty());
        ASSERT_EQ(connect(), 1) << status();
        set_sweep(1000000, 800000000, 51);
        EXPECT_EQ(scan(), 1) << status();
        kept = last();
    }
    EXPECT_EQ(contin.load(), 0) << "stop leaves continuous mode on";
    // The failed standard keeps its array and its flag; one that completes leaves the copy.
    EXPECT_EQ(std::pair(have_short.load(), cf(cal_short[7].re, cal_short[7].im)), std::pair(0, cf(0.25f, -0.5f)));
    ASSERT_EQ(run(VNA_CMD_SHORT), 1);
    EXPECT_TRUE(same(*last(), *kept));
    // The page edits the point count while a sweep runs: the copy keeps the sweep's count.
    set_sweep(2000000, 500000000, 401);
    const uint32_t before = under_way();
    vna_points = 10;
    EXPECT_EQ(finished(before), 1) << status();
    EXPECT_EQ(std::pair(last()->s.points, last()->s.frequency[400]), std::pair(401u, 500000000ul));
}

TEST(Conversion, MegahertzToHertz) {
    const std::pair<float, uint64_t> cases[] = {
        {800.0f, 800000000}, {0.5f, 500000}, {-3.0f, 0}, {NAN, 0}, {INFINITY, ~uint64_t(0)}};
    for (auto [mhz, hz] : cases) EXPECT_EQ(vna_mhz_to_hz(mhz), hz) << mhz;
}
