// Control lines and injected faults, through the control socket beside the link.
#include <sys/stat.h>

#include "sim_harness.h"

using namespace simtest;

TEST(SimFaults, SilenceGarbageAndDrop)
{
    Connected c;
    ASSERT_TRUE(c.port.ok());
    Port& port = c.port;
    // Exactly n bytes: they come within a second, and nothing after them.
    auto exactly = [&](size_t n) { std::string got = port.read(n, 1000); return got + port.read(1, 100); };

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
    const std::string whole = port.read(256, 1000);
    ASSERT_EQ(whole.size(), 256u);
    ASSERT_EQ(c.sim.ctl("fault drop 40"), "ok");
    port.send(restart() + fifo(8));
    EXPECT_EQ(exactly(256 - 40), whole.substr(40));
    port.send(restart() + fifo(8));
    EXPECT_EQ(exactly(256), whole);
}

TEST(SimFaults, UnplugAndReplug)
{
    Sim sim;
    {
        Port port(sim.link());
        ASSERT_TRUE(port.ok());
        ASSERT_EQ(sim.ctl("fault unplug"), "ok");
        // The host sees the device vanish, at once and for good.
        EXPECT_EQ(port.read(1, 1000), "");
        EXPECT_TRUE(port.hung_up());
        struct stat st;
        EXPECT_NE(lstat(sim.link().c_str(), &st), 0) << "the link outlived the terminal";
        EXPECT_EQ(sim.ctl("fault unplug"), "error: already unplugged");
        EXPECT_EQ(sim.ctl("fault garbage 1"), "error: unplugged");
    }
    std::string answer = sim.ctl("fault replug");
    ASSERT_EQ(answer.rfind("ok /dev/pts/", 0), 0u) << answer;
    Port port(sim.link());
    ASSERT_TRUE(port.ok());
    port.send("\x0D");
    EXPECT_EQ(port.read(1, 1000), "2");
    EXPECT_EQ(sim.ctl("fault replug"), "error: not unplugged");
}

TEST(SimFaults, ControlLinesAreCheckedBeforeTheyAct)
{
    Connected c;
    for (const char* line : {"wobble", "dut", "dut r", "dut r -5", "dut r 1 2", "dut series 1 2", "dut capacitor 1p",
                             "dut c 1x", "dut file /no/such.s1p", "noise", "noise -1", "pace maybe", "fault",
                             "fault drop", "fault drop x", "fault garbage -3", "fault garbage 2000000",
                             "fault silent now", "fault melt"}) {
        std::string answer = c.sim.ctl(line);
        EXPECT_EQ(answer.rfind("error: ", 0), 0u) << line << " -> " << answer;
    }
    // A rejected device leaves the previous one: the default load reads as one.
    Sweep load = sweep(c.port, 1000000, 1000000, 8);
    ASSERT_EQ(c.sim.ctl("dut short"), "ok");
    Sweep shorted = sweep(c.port, 1000000, 1000000, 8);
    EXPECT_GT(std::abs(load.s11[0] - shorted.s11[0]), 0.5f);
}
