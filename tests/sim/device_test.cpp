// The simulator's parts on a clock the test drives: the register protocol, the sweep
// timing, the readings and their noise, the line-rate schedule, and the device models and
// their values.
#include <fstream>
#include <numbers>

#include "sim/model.h"
#include "sim/pacer.h"
#include "sim_harness.h"

using namespace simtest;

TEST(SimDevice, RecordsAreSentOnlyOnceMeasuredAndAnswersWaitInOrder) {
    Host h;
    h.send(setup(1000000, 1000000, 5) + fifo(8), 0);
    // The bytes sent by a time and the time of the next point then.
    auto at = [&](uint64_t t) { return std::pair<size_t, uint64_t>{h.take(t).size(), h.dev.next_event_ns()}; };
    EXPECT_EQ(at(500000), std::pair(0ul, 1 * ms));
    EXPECT_EQ(at(3 * ms + 1), std::pair(3 * 32ul, 4 * ms));
    EXPECT_EQ(point_numbers(h.take(8 * ms)), (Points{3, 4, 0, 1, 2}));
    EXPECT_EQ(h.dev.next_event_ns(), sim::Device::no_event);
    // Slow mode measures four times slower.
    h.send(setup(1000000, 1000000, 5, 4) + fifo(8), 10 * ms);
    EXPECT_EQ(at(18 * ms), std::pair(2 * 32ul, 22 * ms));
    EXPECT_EQ(h.take(42 * ms).size(), 6 * 32u);
    // Sent byte by byte: a message split over reads is taken whole, and messages after a
    // FIFO read wait for its answer. The restart after the check is taken at 50 ms and
    // begins again at point 0, measured 1 ms later; a read of 0 records answers nothing.
    for (char c : setup(1000000, 1000000, 3) + fifo(2) + "\x0D" + restart() + fifo(1) + fifo(0) + "\x0D")
        h.send(std::string(1, c), 50 * ms);
    std::string out = h.take(60 * ms);
    ASSERT_EQ(out.size(), 2 * 32u + 1);
    out += h.take(61 * ms);
    ASSERT_EQ(out.size(), 2 * 32u + 1 + 32 + 1);
    EXPECT_EQ(point_numbers(out.substr(0, 64) + out.substr(65, 32)), (Points{0, 1, 0}));
    EXPECT_TRUE(out[64] == '2' && out.back() == '2');
}

TEST(SimDevice, AFullFifoPausesMeasuringAndLosesNothing) {
    Host h;
    h.send(setup(1000000, 1000000, 7), 0);
    // 10 s later the FIFO has been full for a long time: the host gets the records in
    // order from the first, not the newest ones.
    const uint64_t t = 10000 * ms;
    h.send(fifo(3), t);
    EXPECT_EQ(point_numbers(h.take(t)), (Points{0, 1, 2}));
    // Measuring resumed when the host read: after draining the FIFO, the next record is
    // the one measured one period after that read.
    std::string drained;
    for (uint64_t left = sim::fifo_depth - 3; left > 0; left -= std::min<uint64_t>(200, left)) {
        h.send(fifo(uint8_t(std::min<uint64_t>(200, left))), t);
        drained += h.take(t);
    }
    ASSERT_EQ(drained.size(), (sim::fifo_depth - 3) * 32);
    EXPECT_EQ(decode(drained).back().point, uint16_t((sim::fifo_depth - 1) % 7));
    h.send(fifo(1), t);
    EXPECT_EQ(h.take(t).size(), 0u);
    EXPECT_EQ(point_numbers(h.take(t + ms)), (Points{uint16_t(sim::fifo_depth % 7)}));
}

// A raw device with S11 = f / 10 GHz up to 10 GHz and S21 = 0.5j, read back at every point:
// checks the frequency start + step × point (both little-endian 64-bit; a step above 2^32 Hz
// is a two-point sweep to 5 GHz), the linear interpolation and clamping of file devices,
// and that raw readings skip the test set.
TEST(SimDevice, RawFileReadingsFollowTheFrequencyOfEachPoint) {
    simproc::TempDir dir;
    const std::string file = dir.path() + "/ramp.s2p";
    std::ofstream(file) << "! a ramp\n# Hz S RI R 50\n0 0 0 0 0.5 0 0 0 0\n1e10 1 0 0 0.5 0 0 0 0\n";
    Host h;
    sim::Dut dut;
    std::string error;
    ASSERT_TRUE(sim::parse_dut("raw " + file, dut, error)) << error;
    h.dev.set_dut(dut);
    const uint64_t start = 0x12345678;  // distinct bytes catch a wrong byte order
    cd previous_a1;
    for (auto [step, points] : {std::pair<uint64_t, uint16_t>{0x123456789, 2}, {0x11234567, 50}})
        for (const Record& r : h.sweep(0, start, step, points)) {
            const double f = double(start + step * r.point);
            EXPECT_NEAR(std::abs(r.b1 / r.a1 - std::min(f / 1e10, 1.0)), 0, 2e-6) << f;
            EXPECT_NEAR(std::abs(r.b2 / r.a1 - cd(0, 0.5)), 0, 2e-6) << f;
            // An incident wave of about 2^20 counts whose phase moves from point to point.
            EXPECT_NEAR(std::abs(r.a1), 1048576.0, 0.1 * 1048576.0);
            EXPECT_GT(std::abs(r.a1 - previous_a1), 1000.0);
            previous_a1 = r.a1;
        }
}

TEST(SimDevice, NoiseHalvesInSlowModeAndFollowsTheSeed) {
    auto s11 = [](uint64_t seed, double sigma, uint16_t points, uint8_t mode) {
        Host h;
        h.dev.set_seed(seed);
        h.dev.set_noise(sigma);
        std::vector<cf> out;
        for (const Record& r : h.sweep(0, 1000000, 1000000, points, mode)) out.push_back(cf(r.b1 / r.a1));
        return out;
    };
    EXPECT_EQ(s11(7, 0.01, 40, 1), s11(7, 0.01, 40, 1));
    EXPECT_NE(s11(7, 0.01, 40, 1), s11(8, 0.01, 40, 1));
    // Sigma is a fraction of the incident wave, so b1/a1 spreads by sigma in each part;
    // 800 samples estimate it to about 3 %.
    const auto clean = s11(7, 0, 400, 1);
    for (auto [mode, sigma] : {std::pair<uint8_t, double>{1, 0.01}, {4, 0.005}}) {
        const auto noisy = s11(7, 0.01, 400, mode);
        double sum = 0;
        for (size_t i = 0; i < noisy.size(); ++i) sum += std::norm(cd(noisy[i] - clean[i]));
        EXPECT_NEAR(std::sqrt(sum / double(2 * noisy.size())), sigma, sigma / 10) << int(mode);
    }
}

TEST(SimPacing, BytesLeaveAtTheLineRate) {
    const double byte_ns = 1e9 / 11520;  // ten bits at 115200 baud
    sim::Pacer p;
    const uint64_t t0 = 5000000000;
    size_t queued = 256, sent = 0;
    EXPECT_EQ(p.due(queued, t0), 0u);
    // Each byte is due once its own transmission has ended, measured from the start.
    for (uint64_t t = t0; queued > 0; t += 700000) {
        const size_t n = p.due(queued, t);
        sent += n, queued -= n;
        p.sent(n, queued);
        EXPECT_EQ(sent, std::min<size_t>(256, size_t(double(t - t0) / byte_ns))) << t - t0;
    }
    // The next burst waits for the line when it comes at once, and starts afresh after a pause.
    const uint64_t end = t0 + uint64_t(256 * byte_ns);
    EXPECT_EQ(p.due(10, end), 0u);
    EXPECT_NEAR(double(p.wake_ns(10, 4)), double(end) + 4 * byte_ns, byte_ns);
    p.sent(0, 0);
    EXPECT_EQ(p.due(10, end + 1000000000), 0u);
    EXPECT_EQ(p.due(10, end + 1000000000 + uint64_t(3.5 * byte_ns)), 3u);
    p.set_enabled(false);  // off: everything at once
    EXPECT_EQ(p.due(1000, t0), 1000u);
}

TEST(SimModel, ValuesAndDevices) {
    const std::pair<const char*, double> good[] = {{"10p", 10e-12}, {"2.2k", 2200}, {"4.7u", 4.7e-6}, {"3m", 3e-3},
                                                   {"1M", 1e6},     {"2G", 2e9},    {"5f", 5e-15},   {"1e-9", 1e-9}};
    for (const auto& [text, value] : good) {
        double v = -1;
        EXPECT_TRUE(sim::parse_value(text, v)) << text;
        EXPECT_DOUBLE_EQ(v, value) << text;
    }
    for (const char* text : {"k", "1kk", "1 k", "nan", "0x10", "1,5"}) {
        double v;
        EXPECT_FALSE(sim::parse_value(text, v)) << text;
    }
    // The models at 100 MHz; at 0 Hz a series capacitor is open and a parallel inductor a
    // short; a zero value leaves an element out instead of shorting or opening the device.
    const cd j{0, 1}, w = 2 * std::numbers::pi * 1e8 * j;
    auto gamma = [](cd z) { return (z - 50.0) / (z + 50.0); };
    const std::tuple<const char*, double, cd> cases[] = {
        {"short", 1e8, -1}, {"r 22", 1e8, gamma(22)}, {"c 10p", 1e8, gamma(1.0 / (w * 10e-12))}, {"l 100n", 1e8, gamma(w * 100e-9)},
        {"series 10 100n 10p", 1e8, gamma(10.0 + w * 100e-9 + 1.0 / (w * 10e-12))},
        {"parallel 1k 47n 2.2p", 1e8, gamma(1.0 / (1e-3 + 1.0 / (w * 47e-9) + w * 2.2e-12))},
        {"series 10 1n 1p", 0, 1},  {"parallel 1k 1n 1p", 0, -1}, {"series 50 0 0", 1e9, 0},
        {"parallel 50 0 0", 1e9, 0}, {"parallel 0 0 0", 1e9, 1},   {"c 0", 1e9, 1}, {"l 0", 1e9, -1}};
    for (const auto& [device, freq, s11] : cases) {
        sim::Dut d;
        std::string error;
        EXPECT_TRUE(sim::parse_dut(device, d, error)) << device << ": " << error;
        EXPECT_LT(std::abs(sim::dut_sparams(d, freq, false).s11 - s11), 1e-12) << device;
    }
}
