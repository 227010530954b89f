// The vna-sim program as a user starts it: its first output line, the link it makes,
// control lines on standard input and on its socket (checked before they act; what the
// user named or typed answered escaped and cut, without stopping or stalling it), running
// on after the end of standard input, a clean end on SIGTERM, and the arguments it refuses
// (one for each way of refusing).
#include <sys/stat.h>

#include <csignal>

#include "sim_harness.h"

using namespace simtest;
using namespace std::string_literals;
using simproc::read_line;

TEST(SimProgram, LinkControlSigtermAndRefusedArguments) {
    simproc::SimProcess sim({"--trace", "--rate", "5000"});
    ASSERT_TRUE(sim.ok()) << sim.tty();
    simproc::Child& process = sim.child();
    // Refused arguments: the exit status and the first line on standard error. A link name
    // held by another simulator or by a file is not replaced.
    std::ofstream(sim.dir() + "/COM9") << "precious";
    const std::tuple<std::vector<std::string>, int, std::string> refused[] = {
        {{"--bogus"}, 2, "vna-sim: bad argument --bogus"},
        {{"--dut", "r"}, 1, "vna-sim: "},
        {{"--link", "ports/COM1"}, 1, "vna-sim: "},
        {{"--link", "COM9"}, 1, "vna-sim: "},
    };
    for (const auto& [args, status, message] : refused) {
        simproc::Child other(simproc::sim_program, args, sim.dir());
        EXPECT_EQ(read_line(other.err, due_ms).substr(0, message.size()), message) << args.back();
        EXPECT_EQ(other.finish(), status) << args.back();
    }
    EXPECT_EQ(std::filesystem::read_symlink(sim.link()).string(), sim.tty());
    EXPECT_EQ(slurp(sim.dir() + "/COM9"), "precious");
    ASSERT_EQ(::write(process.in, "dut short\nnonsense\n", 19), 19);
    EXPECT_EQ(read_line(process.out, due_ms), "ok");
    EXPECT_EQ(read_line(process.out, due_ms).rfind("error: ", 0), 0u);
    process.close_input();  // the end of standard input does not end the simulator
    Port port(sim.link());
    port.send("\x0D");
    EXPECT_EQ(port.read(1), "2");
    EXPECT_EQ(sim.trace(), "host: check\n");  // written before the answer
    ASSERT_EQ(mkfifo((sim.dir() + "/fifo.s2p").c_str(), 0666), 0);
    for (const char* line : {"dut", "dut r 1 2", "dut file /none", "noise -1", "pace maybe", "fault garbage 2000000"})
        EXPECT_EQ(sim.ctl(line).rfind("error: ", 0), 0u) << line;
    const std::pair<std::string, std::string> cases[] = {
        // A FIFO is refused, not waited on.
        {"dut raw " + sim.dir() + "/fifo.s2p", "error: " + sim.dir() + "/fifo.s2p: not a regular file"},
        {"dut \x1b[2Jred", "error: unknown device: \\x1b[2Jred"},
        {"dut r 5\xff", "error: not a value of zero or more: 5\\xff"},
        {"bad\0word"s, "error: unknown command bad\\0word (dut, noise, pace, fault)"},
        {"fault \x07 1", "error: fault \\x07 takes no value"},
    };
    for (const auto& [line, answer] : cases) EXPECT_EQ(sim.ctl(line), answer) << line;
    // Still serving, with the device it had: the short reads as about 1, the load as about
    // 0.09 (the test set's directivity).
    auto s11 = [&] {
        port.send(setup(1000000, 1000000, 2) + fifo(1));
        const auto r = decode(port.read(32));
        return r.empty() ? 9.0 : std::abs(r[0].b1 / r[0].a1);
    };
    EXPECT_EQ((std::pair{sim.ctl("noise 0"), s11() > 0.5}), std::pair("ok"s, true));
    EXPECT_EQ((std::pair{sim.ctl("dut load"), s11() < 0.5}), std::pair("ok"s, true));

    kill(process.pid, SIGTERM);
    EXPECT_EQ(process.finish(), 0);
    struct stat st;
    EXPECT_TRUE(lstat(sim.link().c_str(), &st) != 0 && lstat((sim.link() + ".ctl").c_str(), &st) != 0)
        << "link or socket left behind";
}
