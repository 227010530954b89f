// The simulator over its pseudo-terminal, from a client that knows only the protocol.
#include <cmath>
#include <fstream>

#include "sim_harness.h"
#include "sim/model.h"
#include "vna/touchstone.h"

using namespace simtest;

TEST(SimProtocol, CheckRecordsAndRestart)
{
    Sim sim;
    Port port(sim.link());
    ASSERT_TRUE(port.ok());
    // Unknown bytes before the check are skipped.
    port.send("\x55\xAA\x01\x0D");
    EXPECT_EQ(port.read(1, 1000), "2");

    port.send(setup(1000000, 1000000, 5) + fifo(12));
    auto recs = read_records(port, 12);
    ASSERT_EQ(recs.size(), 12u);
    for (size_t i = 0; i < recs.size(); ++i) {
        EXPECT_EQ(recs[i].point, i % 5);
        EXPECT_TRUE(recs[i].tail_zero);
    }
    // Nothing more than was asked for.
    EXPECT_EQ(port.read(1, 100), "");

    port.send(write1(0x30, 0) + fifo(3) + "\x0D");
    recs = read_records(port, 3);
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_EQ(recs[0].point, 0);
    EXPECT_EQ(recs[2].point, 2);
    EXPECT_EQ(port.read(1, 1000), "2");
}

// A raw device with S11 = f / 1 GHz up to 1 GHz and S21 = 0.5j, read back at every point:
// checks the frequency start + step × point (both little-endian 64-bit), the linear
// interpolation and clamping of file devices, and that raw readings skip the test set.
TEST(SimProtocol, RawFileReadingsFollowTheFrequencyOfEachPoint)
{
    Sim sim;
    std::string file = sim.dir() + "/ramp.s2p";
    std::ofstream(file) << "! a ramp\n# Hz S RI R 50\n0 0 0 0 0.5 0 0 0 0\n1e9 1 0 0 0.5 0 0 0 0\n";
    ASSERT_EQ(sim.ctl("dut raw " + file), "ok");
    Port port(sim.link());
    const uint64_t start = 0x12345678, step = 0x01234567;  // distinct bytes catch a wrong byte order
    const uint16_t points = 50;
    port.send(setup(start, step, points) + fifo(points));
    auto recs = read_records(port, points);
    ASSERT_EQ(recs.size(), points);
    std::complex<double> previous_a1;
    for (const Record& r : recs) {
        double f = double(start + step * r.point);
        std::complex<double> s11 = r.b1() / r.a1(), s21 = r.b2() / r.a1();
        EXPECT_NEAR(s11.real(), std::min(f / 1e9, 1.0), 2e-6) << f;
        EXPECT_NEAR(s11.imag(), 0, 2e-6);
        EXPECT_NEAR(std::abs(s21 - std::complex<double>(0, 0.5)), 0, 2e-6);
        // An incident wave of about 2^20 counts whose phase moves from point to point.
        EXPECT_NEAR(std::abs(r.a1()), 1048576.0, 0.1 * 1048576.0);
        EXPECT_GT(std::abs(r.a1() - previous_a1), 1000.0);
        previous_a1 = r.a1();
    }
}

namespace {

// The spread of b1/a1 around the noiseless reading of a load, over one sweep.
double spread(Port& port, uint8_t mode, const Sweep& clean)
{
    Sweep s = sweep(port, 1000000, 1000000, 400, mode);
    double sum = 0;
    for (size_t i = 0; i < s.s11.size(); ++i) sum += std::norm(std::complex<double>(s.s11[i] - clean.s11[i]));
    return std::sqrt(sum / double(2 * s.s11.size()));
}

}  // namespace

TEST(SimProtocol, NoiseHalvesInSlowModeAndFollowsTheSeed)
{
    sim::Options o = Sim::quiet();
    o.seed = 7;
    o.noise = 0.01;
    Sim a(o), b(o);
    o.seed = 8;
    Sim c(o);
    Port pa(a.link()), pb(b.link()), pc(c.link());
    Sweep sa = sweep(pa, 1000000, 1000000, 40), sb = sweep(pb, 1000000, 1000000, 40),
          sc = sweep(pc, 1000000, 1000000, 40);
    EXPECT_EQ(sa.s11, sb.s11);
    EXPECT_NE(sa.s11, sc.s11);

    ASSERT_EQ(a.ctl("noise 0"), "ok");
    Sweep clean = sweep(pa, 1000000, 1000000, 400);
    ASSERT_EQ(a.ctl("noise 10m"), "ok");
    // Sigma is a fraction of the incident wave, so b1/a1 spreads by sigma in each part;
    // 800 samples estimate it to about 3 %.
    EXPECT_NEAR(spread(pa, 1, clean), 0.01, 0.001);
    EXPECT_NEAR(spread(pa, 4, clean), 0.005, 0.0005);
}

// A measured raw file is played back as it was recorded.
TEST(SimProtocol, PlaysBackMeasuredRawReadings)
{
    const std::string file =
        std::string(CORVANE_SOURCE_DIR) + "/tests/data/touchstone/splitter_cal_thru_raw.s2p";
    touchstone::Data data;
    std::string error;
    ASSERT_TRUE(touchstone::read_file(file, data, error)) << error;
    Connected c;
    ASSERT_EQ(c.sim.ctl("dut raw " + file), "ok");
    // 1 MHz steps from 1 MHz: the points of the file itself.
    Sweep s = sweep(c.port, 1000000, 1000000, 16);
    for (size_t i = 0; i < 16; ++i) {
        EXPECT_LT(std::abs(std::complex<double>(s.s11[i]) - data.points[i].s[touchstone::S11]), 2e-6) << i;
        EXPECT_LT(std::abs(std::complex<double>(s.s21[i]) - data.points[i].s[touchstone::S21]), 2e-6) << i;
    }
}
