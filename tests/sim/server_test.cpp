// The simulator over its pseudo-terminal, from a client that knows only the protocol, and
// its control lines: devices, noise, injected faults, and what the user names or types.
#include <sys/stat.h>

#include <cmath>
#include <fstream>

#include "sim_harness.h"

using namespace simtest;
using namespace std::string_literals;

TEST(SimProtocol, CheckAndRecords) {
    Connected c;
    c.port.send("\x55\xAA\x01\x0D");  // unknown bytes before the check are skipped
    EXPECT_EQ(c.port.read(1), "2");
    c.port.send(setup(1000000, 1000000, 5) + fifo(12));
    const auto recs = read_records(c.port, 12);
    for (size_t i = 0; i < recs.size(); ++i) EXPECT_TRUE(recs[i].point == i % 5 && recs[i].tail_zero) << i;
    EXPECT_EQ(c.port.read(1, 100), "");  // nothing more than was asked for
}

// A raw device with S11 = f / 1 GHz up to 1 GHz and S21 = 0.5j, read back at every point:
// checks the frequency start + step × point (both little-endian 64-bit), the linear
// interpolation and clamping of file devices, and that raw readings skip the test set.
TEST(SimProtocol, RawFileReadingsFollowTheFrequencyOfEachPoint) {
    Connected c;
    std::string file = c.sim.dir() + "/ramp.s2p";
    std::ofstream(file) << "! a ramp\n# Hz S RI R 50\n0 0 0 0 0.5 0 0 0 0\n1e9 1 0 0 0.5 0 0 0 0\n";
    ASSERT_EQ(c.sim.ctl("dut raw " + file), "ok");
    const uint64_t start = 0x12345678, step = 0x01234567;  // distinct bytes catch a wrong byte order
    c.port.send(setup(start, step, 50) + fifo(50));
    const auto recs = read_records(c.port, 50);
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

TEST(SimProtocol, NoiseHalvesInSlowModeAndFollowsTheSeed) {
    sim::Options o = unpaced();
    o.noise = 0.01;
    o.seed = 7;
    Connected a(o), b(o);
    o.seed = 8;
    Connected other(o);
    const auto first = sweep_s11(a.port, 1000000, 1000000, 40);
    EXPECT_EQ(first, sweep_s11(b.port, 1000000, 1000000, 40));
    EXPECT_NE(first, sweep_s11(other.port, 1000000, 1000000, 40));
    // Sigma is a fraction of the incident wave, so b1/a1 spreads by sigma in each part;
    // 800 samples estimate it to about 3 %.
    ASSERT_EQ(a.sim.ctl("noise 0"), "ok");
    const auto clean = sweep_s11(a.port, 1000000, 1000000, 400);
    ASSERT_EQ(a.sim.ctl("noise 10m"), "ok");
    auto spread = [&](uint8_t mode) {
        const auto s = sweep_s11(a.port, 1000000, 1000000, 400, mode);
        double sum = 0;
        for (size_t i = 0; i < s.size(); ++i) sum += std::norm(cd(s[i] - clean[i]));
        return std::sqrt(sum / double(2 * s.size()));
    };
    EXPECT_NEAR(spread(1), 0.01, 0.001);
    EXPECT_NEAR(spread(4), 0.005, 0.0005);
}

TEST(SimFaults, SilenceGarbageAndDrop) {
    Connected c;
    Port& port = c.port;
    // Exactly n bytes, and nothing after them.
    auto exactly = [&](size_t n) { std::string got = port.read(n); return got + port.read(1, 100); };
    // Silent: nothing is answered, and what came meanwhile is not taken later either.
    ASSERT_EQ(c.sim.ctl("fault silent"), "ok");
    port.send("\x0D" + fifo(2));
    EXPECT_EQ(port.read(1, 200), "");
    ASSERT_EQ(c.sim.ctl("fault none"), "ok");
    port.send("\x0D");
    EXPECT_EQ(exactly(1), "2");

    ASSERT_EQ(c.sim.ctl("fault garbage 300"), "ok");
    std::string garbage = exactly(300);
    EXPECT_EQ(garbage.size(), 300u);
    EXPECT_NE(garbage.find_first_not_of(garbage[0]), std::string::npos);

    // The next answer lacks its first 40 bytes (all of one record and 8 of the next), and
    // only that answer: the same records asked for again come whole.
    port.send(setup(1000000, 1000000, 8) + fifo(8));
    const std::string whole = port.read(256);
    ASSERT_EQ(whole.size(), 256u);
    ASSERT_EQ(c.sim.ctl("fault drop 40"), "ok");
    port.send(restart() + fifo(8));
    EXPECT_EQ(exactly(256 - 40), whole.substr(40));
    port.send(restart() + fifo(8));
    EXPECT_EQ(exactly(256), whole);
}

TEST(SimFaults, UnplugAndReplug) {
    Sim sim;
    {
        Port port(sim.link());
        ASSERT_TRUE(port.ok());
        ASSERT_EQ(sim.ctl("fault unplug"), "ok");
        // The host sees the device vanish, at once and for good.
        EXPECT_EQ(port.read(1), "");
        EXPECT_TRUE(port.hung_up());
        struct stat st;
        EXPECT_NE(lstat(sim.link().c_str(), &st), 0) << "the link outlived the terminal";
        EXPECT_EQ(sim.ctl("fault unplug"), "error: already unplugged");
        EXPECT_EQ(sim.ctl("fault garbage 1"), "error: unplugged");
    }
    std::string answer = sim.ctl("fault replug");
    ASSERT_EQ(answer.rfind("ok /dev/pts/", 0), 0u) << answer;
    Port port(sim.link());
    port.send("\x0D");
    EXPECT_EQ(port.read(1), "2");
    EXPECT_EQ(sim.ctl("fault replug"), "error: not unplugged");
}

TEST(SimControl, LinesAreCheckedBeforeTheyActAndAnsweredEscaped) {
    Connected c;
    const std::string dir = c.sim.dir();
    ASSERT_EQ(mkdir((dir + "/folder.s2p").c_str(), 0777), 0);
    ASSERT_EQ(mkfifo((dir + "/fifo.s2p").c_str(), 0666), 0);
    for (const char* line : {"wobble", "dut", "dut r", "dut r -5", "dut r 1 2", "dut series 1 2", "dut capacitor 1p",
                             "dut c 1x", "dut file /no/such.s1p", "noise", "noise -1", "pace maybe", "fault",
                             "fault drop", "fault drop x", "fault garbage -3", "fault garbage 2000000",
                             "fault silent now", "fault melt"}) {
        std::string answer = c.sim.ctl(line);
        EXPECT_EQ(answer.rfind("error: ", 0), 0u) << line << " -> " << answer;
    }
    const std::pair<std::string, std::string> cases[] = {
        // A folder threw out of the Touchstone reader and ended the simulator; a FIFO
        // without a writer blocked it.
        {"dut file " + dir + "/folder.s2p", "error: " + dir + "/folder.s2p: not a regular file"},
        {"dut raw " + dir + "/fifo.s2p", "error: " + dir + "/fifo.s2p: not a regular file"},
        {"dut \x1b[2Jred", "error: unknown device: \\x1b[2Jred"},
        {"dut r 5\xff", "error: not a value of zero or more: 5\\xff"},
        {"bad\0word"s, "error: unknown command bad\\0word (dut, noise, pace, fault)"},
        {"fault " + std::string(400, 'x'),
         "error: unknown fault " + std::string(60, 'x') + "... (silent, none, garbage N, drop N, unplug, replug)"},
        {"fault \x07 1", "error: fault \\x07 takes no value"},
    };
    for (const auto& [line, answer] : cases) EXPECT_EQ(c.sim.ctl(line), answer) << line;
    // Still serving, with the device it had: the default load, which a short changes.
    const auto load = sweep_s11(c.port, 1000000, 1000000, 8);
    ASSERT_EQ(c.sim.ctl("dut short"), "ok");
    EXPECT_GT(std::abs(load[0] - sweep_s11(c.port, 1000000, 1000000, 8)[0]), 0.5f);
}
