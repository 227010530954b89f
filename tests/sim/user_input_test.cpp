// What the user names or types: files that are no regular files are refused without
// stopping or stalling the simulator, and tokens come back escaped and cut.
#include <sys/stat.h>

#include "sim_harness.h"

using namespace simtest;
using namespace std::string_literals;

TEST(SimUserInput, ControlLinesAnswerEscapedAndKeepServing)
{
    Connected c;
    ASSERT_TRUE(c.port.ok());
    const std::string dir = c.sim.dir();
    ASSERT_EQ(mkdir((dir + "/folder.s2p").c_str(), 0777), 0);
    ASSERT_EQ(mkfifo((dir + "/fifo.s2p").c_str(), 0666), 0);
    const std::string x60(60, 'x');
    const std::pair<std::string, std::string> cases[] = {
        // A folder threw out of the Touchstone reader and ended the simulator; a FIFO
        // without a writer blocked it.
        {"dut file " + dir + "/folder.s2p", "error: " + dir + "/folder.s2p: not a regular file"},
        {"dut raw " + dir + "/fifo.s2p", "error: " + dir + "/fifo.s2p: not a regular file"},
        {"dut \x1b[2Jred", "error: unknown device: \\x1b[2Jred"},
        {"dut r 5\xff", "error: not a value of zero or more: 5\\xff"},
        {"bad\0word"s, "error: unknown command bad\\0word (dut, noise, pace, fault)"},
        {"fault " + std::string(400, 'x'),
         "error: unknown fault " + x60 + "... (silent, none, garbage N, drop N, unplug, replug)"},
        {"fault \x07 1", "error: fault \\x07 takes no value"},
    };
    for (const auto& [line, answer] : cases) EXPECT_EQ(c.sim.ctl(line), answer) << line;
    // Still serving, with the device it had.
    EXPECT_EQ(c.sim.ctl("noise 0"), "ok");
    c.port.send("\x0D");
    EXPECT_EQ(c.port.read(1, 2000), "2");
}
