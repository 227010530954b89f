// The simulator over its pseudo-terminal, from a client that knows only the protocol.
#include <cmath>
#include <fstream>

#include "sim_harness.h"

using namespace simtest;

TEST(SimProtocol, CheckAndRecords)
{
    Connected c;
    ASSERT_TRUE(c.port.ok());
    // Unknown bytes before the check are skipped.
    c.port.send("\x55\xAA\x01\x0D");
    EXPECT_EQ(c.port.read(1, 1000), "2");

    c.port.send(setup(1000000, 1000000, 5) + fifo(12));
    auto recs = read_records(c.port, 12);
    ASSERT_EQ(recs.size(), 12u);
    for (size_t i = 0; i < recs.size(); ++i) {
        EXPECT_EQ(recs[i].point, i % 5);
        EXPECT_TRUE(recs[i].tail_zero);
    }
    // Nothing more than was asked for.
    EXPECT_EQ(c.port.read(1, 100), "");
}

// A raw device with S11 = f / 1 GHz up to 1 GHz and S21 = 0.5j, read back at every point:
// checks the frequency start + step × point (both little-endian 64-bit), the linear
// interpolation and clamping of file devices, and that raw readings skip the test set.
TEST(SimProtocol, RawFileReadingsFollowTheFrequencyOfEachPoint)
{
    Connected c;
    std::string file = c.sim.dir() + "/ramp.s2p";
    std::ofstream(file) << "! a ramp\n# Hz S RI R 50\n0 0 0 0 0.5 0 0 0 0\n1e9 1 0 0 0.5 0 0 0 0\n";
    ASSERT_EQ(c.sim.ctl("dut raw " + file), "ok");
    const uint64_t start = 0x12345678, step = 0x01234567;  // distinct bytes catch a wrong byte order
    const uint16_t points = 50;
    c.port.send(setup(start, step, points) + fifo(points));
    auto recs = read_records(c.port, points);
    ASSERT_EQ(recs.size(), points);
    cd previous_a1;
    for (const Record& r : recs) {
        double f = double(start + step * r.point);
        EXPECT_NEAR(std::abs(r.b1 / r.a1 - std::min(f / 1e9, 1.0)), 0, 2e-6) << f;
        EXPECT_NEAR(std::abs(r.b2 / r.a1 - cd(0, 0.5)), 0, 2e-6) << f;
        // An incident wave of about 2^20 counts whose phase moves from point to point.
        EXPECT_NEAR(std::abs(r.a1), 1048576.0, 0.1 * 1048576.0);
        EXPECT_GT(std::abs(r.a1 - previous_a1), 1000.0);
        previous_a1 = r.a1;
    }
}

TEST(SimProtocol, NoiseHalvesInSlowModeAndFollowsTheSeed)
{
    sim::Options o = unpaced();
    o.noise = 0.01;
    o.seed = 7;
    Connected a(o), b(o);
    o.seed = 8;
    Connected other(o);
    auto short_sweep = [](Connected& c) { return sweep(c.port, 1000000, 1000000, 40).s11; };
    const auto first = short_sweep(a);
    EXPECT_EQ(first, short_sweep(b));
    EXPECT_NE(first, short_sweep(other));

    // Sigma is a fraction of the incident wave, so b1/a1 spreads by sigma in each part;
    // 800 samples estimate it to about 3 %.
    ASSERT_EQ(a.sim.ctl("noise 0"), "ok");
    const Sweep clean = sweep(a.port, 1000000, 1000000, 400);
    ASSERT_EQ(a.sim.ctl("noise 10m"), "ok");
    auto spread = [&](uint8_t mode) {
        Sweep s = sweep(a.port, 1000000, 1000000, 400, mode);
        double sum = 0;
        for (size_t i = 0; i < s.s11.size(); ++i) sum += std::norm(cd(s.s11[i] - clean.s11[i]));
        return std::sqrt(sum / double(2 * s.s11.size()));
    };
    EXPECT_NEAR(spread(1), 0.01, 0.001);
    EXPECT_NEAR(spread(4), 0.005, 0.0005);
}
