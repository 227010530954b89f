// The simulator's parts on a clock the test drives: the register protocol, the sweep
// timing, the readings and their noise, and the device models and their values. (The line
// rate is measured by bench_vna_sweep: its line_ratio is 1.00 at the line's own limit.)
#include <fstream>
#include <numbers>

#include "sim/model.h"
#include "sim_harness.h"

using namespace simtest;

// The points p, p + 1, ... of n records of a sweep of `points`.
Points cycle(unsigned p, unsigned n, unsigned points) {
    Points out;
    while (n--) out.push_back(uint16_t(p++ % points));
    return out;
}

TEST(SimDevice, RecordsAreSentOnceMeasuredInOrderAndAFullFifoLosesNothing) {
    // At a time (ms), host bytes sent one by one (a message split over reads is taken
    // whole), the points of the records answered by then and the time of the next point.
    std::string drain = fifo(13);
    for (int k = 0; k < 16; k++) drain += fifo(255);
    const std::tuple<uint64_t, std::string, Points, uint64_t> steps[] = {
        {0, setup(1000000, 1000000, 5) + fifo(8), {}, 1}, {3, "", {0, 1, 2}, 4}, {8, "", {3, 4, 0, 1, 2}, 0},
        {10, setup(1000000, 1000000, 5, 4) + fifo(8), {}, 14}, {18, "", {0, 1}, 22}, {42, "", cycle(2, 6, 5), 0},
        // Messages after a FIFO read wait for its answer; a restart begins again at point 0.
        {50, setup(1000000, 1000000, 3) + fifo(2) + restart() + fifo(1) + fifo(0), {}, 51}, {52, "", {0, 1}, 53},
        {53, "", {0}, 0},
        // Ten seconds on, the FIFO has long been full: the records come from the first, and
        // measuring resumes when the host reads.
        {60, setup(1000000, 1000000, 7), {}, 0}, {10000, fifo(3) + drain, cycle(0, 4096, 7), 0},
        {10000, fifo(1), {}, 10001}, {10001, "", {4096 % 7}, 0},
    };
    Host h;
    for (const auto& [t, bytes, points, next] : steps) {
        for (char c : bytes) h.send(std::string(1, c), t * ms);
        const std::vector<Record> got = decode(h.take(t * ms));
        Points numbers;
        for (const Record& r : got) numbers.push_back(r.point);
        EXPECT_EQ(numbers, points) << t;
        EXPECT_EQ(h.dev.next_event_ns(), next ? next * ms : sim::Device::no_event) << t;
    }
}

// A raw device with S11 = f / 10 GHz up to 10 GHz and S21 = 0.5j, read back at every point:
// checks the frequency start + step × point (both little-endian 64-bit; a step above 2^32 Hz
// is a two-point sweep to 5 GHz), the linear interpolation and clamping of file devices,
// and that raw readings skip the test set.
TEST(SimDevice, RawFileReadingsFollowTheFrequencyOfEachPoint) {
    ScratchDir dir;
    const std::string file = dir.path() + "/ramp.s2p";
    std::ofstream(file) << "# Hz S RI R 50\n0 0 0 0 0.5 0 0 0 0\n1e10 1 0 0 0.5 0 0 0 0\n";
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
            EXPECT_LT(std::abs(r.b1 / r.a1 - std::min(f / 1e10, 1.0)) + std::abs(r.b2 / r.a1 - cd(0, 0.5)), 4e-6) << f;
            // An incident wave of about 2^20 counts whose phase moves from point to point.
            EXPECT_LT(std::abs(std::abs(r.a1) - 1048576.0), 1e5) << f;
            EXPECT_GT(std::abs(r.a1 - std::exchange(previous_a1, r.a1)), 1000) << f;
        }
}

TEST(SimDevice, NoiseHalvesInSlowMode) {
    auto s11 = [](double sigma, uint8_t mode) {
        Host h;
        h.dev.set_seed(7);
        h.dev.set_noise(sigma);
        std::vector<cf> out;
        for (const Record& r : h.sweep(0, 1000000, 1000000, 400, mode)) out.push_back(cf(r.b1 / r.a1));
        return out;
    };
    // Sigma is a fraction of the incident wave, so b1/a1 spreads by sigma in each part;
    // 800 samples estimate it to about 3 %.
    const auto clean = s11(0, 1);
    for (auto [mode, sigma] : {std::pair<uint8_t, double>{1, 0.01}, {4, 0.005}}) {
        const auto noisy = s11(0.01, mode);
        double sum = 0;
        for (size_t i = 0; i < noisy.size(); ++i) sum += std::norm(cd(noisy[i] - clean[i]));
        EXPECT_NEAR(std::sqrt(sum / double(2 * noisy.size())), sigma, sigma / 10) << int(mode);
    }
}

TEST(SimModel, ValuesAndDevices) {
    // Values with each suffix, and texts that are not values (-1).
    const std::pair<const char*, double> values[] = {
        {"10p", 10e-12}, {"2.2k", 2200}, {"4.7u", 4.7e-6}, {"3m", 3e-3}, {"1M", 1e6}, {"2G", 2e9}, {"5f", 5e-15},
        {"1e-9", 1e-9}, {"k", -1}, {"1kk", -1}, {"1 k", -1}, {"nan", -1}, {"0x10", -1}, {"1,5", -1}};
    for (const auto& [text, value] : values) {
        double v = -1;
        const bool ok = sim::parse_value(text, v);
        EXPECT_TRUE(ok == (value >= 0) && (!ok || std::abs(v / value - 1) < 1e-15)) << text << " " << v;
    }
    // The models at 100 MHz; at 0 Hz a series capacitor is open and a parallel inductor a
    // short; a zero value leaves an element out instead of shorting or opening the device.
    const cd w = 2 * std::numbers::pi * 1e8 * cd(0, 1);
    auto gamma = [](cd z) { return (z - 50.0) / (z + 50.0); };
    const std::tuple<const char*, double, cd> cases[] = {
        {"short", 1e8, -1}, {"r 22", 1e8, gamma(22)}, {"c 10p", 1e8, gamma(1.0 / (w * 10e-12))},
        {"l 100n", 1e8, gamma(w * 100e-9)},
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
