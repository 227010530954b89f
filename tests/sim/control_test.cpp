// Control lines of the simulator: checked before they act, and what the user names or
// types answered escaped and cut, without stopping or stalling the simulator. (The devices
// and injected faults are tested through the measurement core: tests/vna/.)
#include <sys/stat.h>

#include "sim_harness.h"

using namespace simtest;
using namespace std::string_literals;

TEST(SimControl, LinesAreCheckedBeforeTheyActAndAnsweredEscaped) {
    simproc::SimProcess sim;
    ASSERT_TRUE(sim.ok());
    const std::string dir = sim.dir();
    ASSERT_EQ(mkfifo((dir + "/fifo.s2p").c_str(), 0666), 0);
    for (const char* line : {"dut", "dut r", "dut r -5", "dut r 1 2", "dut series 1 2", "dut file /no/such.s1p",
                             "noise -1", "pace maybe", "fault drop", "fault garbage 2000000"})
        EXPECT_EQ(sim.ctl(line).rfind("error: ", 0), 0u) << line;
    const std::pair<std::string, std::string> cases[] = {
        // A FIFO without a writer blocked the simulator.
        {"dut raw " + dir + "/fifo.s2p", "error: " + dir + "/fifo.s2p: not a regular file"},
        {"dut \x1b[2Jred", "error: unknown device: \\x1b[2Jred"},
        {"dut r 5\xff", "error: not a value of zero or more: 5\\xff"},
        {"bad\0word"s, "error: unknown command bad\\0word (dut, noise, pace, fault)"},
        {"fault " + std::string(400, 'x'),
         "error: unknown fault " + std::string(60, 'x') + "... (silent, none, garbage N, drop N, unplug, replug)"},
        {"fault \x07 1", "error: fault \\x07 takes no value"},
    };
    for (const auto& [line, answer] : cases) EXPECT_EQ(sim.ctl(line), answer) << line;
    // Still serving, with the device it had: the default load reads as about 0.09 (the
    // test set's directivity), the short as about 1.
    Port port(sim.tty());
    auto s11 = [&] {
        port.send(setup(1000000, 1000000, 2) + fifo(1));
        const auto r = decode(port.read(32));
        return r.empty() ? 9.0 : std::abs(r[0].b1 / r[0].a1);
    };
    EXPECT_LT(s11(), 0.5);
    ASSERT_EQ(sim.ctl("dut short"), "ok");
    EXPECT_GT(s11(), 0.5);
}
