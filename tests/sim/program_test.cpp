// The vna-sim program as a user starts it: its first output line, the link it makes,
// control lines on standard input and on its socket (checked before they act; what the
// user named or typed answered escaped and cut, without stopping or stalling it), running
// on after the end of standard input, a clean end on SIGTERM, and the arguments it refuses
// (one for each way of refusing).
#include <sys/stat.h>

#include <csignal>
#include <sstream>

#include "sim_harness.h"

using namespace simtest;
using namespace std::string_literals;
using simproc::Child;
using simproc::read_line;
using simproc::sim_program;

TEST(SimProgram, LinkControlSigtermAndRefusedArguments) {
    simproc::TempDir dir;
    Child sim(sim_program, {"--link", "ports/COM1", "--trace", "--rate", "5000"}, dir.path());
    const std::string tty = read_line(sim.out, due_ms), link = dir.path() + "/ports/COM1";
    ASSERT_EQ(tty.rfind("/dev/pts/", 0), 0u) << tty;
    // Refused arguments: the exit status and the first line on standard error. A link name
    // held by another simulator or by a file is not replaced.
    std::ofstream(dir.path() + "/COM9") << "precious";
    const std::tuple<std::vector<std::string>, int, std::string> refused[] = {
        {{"--bogus"}, 2, "vna-sim: bad argument --bogus"},
        {{"--dut", "r"}, 1, "vna-sim: "},
        {{"--link", "ports/COM1"}, 1, "vna-sim: "},
        {{"--link", "COM9"}, 1, "vna-sim: "},
    };
    for (const auto& [args, status, message] : refused) {
        Child other(sim_program, args, dir.path());
        EXPECT_EQ(read_line(other.err, due_ms).substr(0, message.size()), message) << args.back();
        EXPECT_EQ(other.finish(), status) << args.back();
    }
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), tty);
    EXPECT_EQ((std::stringstream() << std::ifstream(dir.path() + "/COM9").rdbuf()).str(), "precious");
    ASSERT_EQ(::write(sim.in, "dut short\nnonsense\n", 19), 19);
    EXPECT_EQ(read_line(sim.out, due_ms), "ok");
    EXPECT_EQ(read_line(sim.out, due_ms).rfind("error: ", 0), 0u);
    sim.close_input();  // the end of standard input does not end the simulator
    Port port(link);
    port.send("\x0D");
    EXPECT_EQ(port.read(1), "2");
    EXPECT_EQ(read_line(sim.err, due_ms), "host: check");

    auto ctl = [&](const std::string& line) { return simproc::control(link + ".ctl", line); };
    ASSERT_EQ(mkfifo((dir.path() + "/fifo.s2p").c_str(), 0666), 0);
    for (const char* line : {"dut", "dut r 1 2", "dut file /none", "noise -1", "pace maybe", "fault garbage 2000000"})
        EXPECT_EQ(ctl(line).rfind("error: ", 0), 0u) << line;
    const std::pair<std::string, std::string> cases[] = {
        // A FIFO is refused, not waited on.
        {"dut raw " + dir.path() + "/fifo.s2p", "error: " + dir.path() + "/fifo.s2p: not a regular file"},
        {"dut \x1b[2Jred", "error: unknown device: \\x1b[2Jred"},
        {"dut r 5\xff", "error: not a value of zero or more: 5\\xff"},
        {"bad\0word"s, "error: unknown command bad\\0word (dut, noise, pace, fault)"},
        {"fault " + std::string(400, 'x'),
         "error: unknown fault " + std::string(60, 'x') + "... (silent, none, garbage N, drop N, unplug, replug)"},
        {"fault \x07 1", "error: fault \\x07 takes no value"},
    };
    for (const auto& [line, answer] : cases) EXPECT_EQ(ctl(line), answer) << line;
    // Still serving, with the device it had: the short reads as about 1, the load as about
    // 0.09 (the test set's directivity).
    auto s11 = [&] {
        port.send(setup(1000000, 1000000, 2) + fifo(1));
        const auto r = decode(port.read(32));
        return r.empty() ? 9.0 : std::abs(r[0].b1 / r[0].a1);
    };
    EXPECT_EQ((std::pair{ctl("noise 0"), s11() > 0.5}), std::pair("ok"s, true));
    EXPECT_EQ((std::pair{ctl("dut load"), s11() < 0.5}), std::pair("ok"s, true));

    kill(sim.pid, SIGTERM);
    EXPECT_EQ(sim.finish(), 0);
    struct stat st;
    EXPECT_TRUE(lstat(link.c_str(), &st) != 0 && lstat((link + ".ctl").c_str(), &st) != 0)
        << "link or socket left behind";
}
