// The vna-sim program as a user starts it: its first output line, the link it makes,
// control lines on standard input, running on after the end of that input, a clean end on
// SIGTERM, and the arguments it refuses.
#include <sys/stat.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "sim_harness.h"

using namespace simtest;
using simproc::read_line;
using simproc::TempDir;

// vna-sim started in dir, its standard input, output and error on pipes.
struct Child : simproc::Child {
    Child(const std::string& dir, const std::vector<std::string>& args) : simproc::Child(simproc::sim_program, args, dir) {}
};

TEST(SimProgram, LinkControlAndSigterm) {
    ASSERT_EQ(access(simproc::sim_program.c_str(), X_OK), 0) << simproc::sim_program << " is not built";
    TempDir dir;
    Child sim(dir.path(), {"--link", "ports/COM1", "--trace", "--rate", "5000"});
    const std::string tty = read_line(sim.out, due_ms), link = dir.path() + "/ports/COM1";
    ASSERT_EQ(tty.rfind("/dev/pts/", 0), 0u) << tty;
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), tty);
    EXPECT_EQ(Child(dir.path(), {"--link", "ports/COM1"}).finish(), 1);  // a second one does not take the name
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), tty);
    ASSERT_EQ(::write(sim.in, "dut short\nnonsense\n", 19), 19);
    EXPECT_EQ(read_line(sim.out, due_ms), "ok");
    EXPECT_EQ(read_line(sim.out, due_ms).rfind("error: ", 0), 0u);
    sim.close_input();  // the end of standard input does not end the simulator
    EXPECT_EQ(simproc::control(link + ".ctl", "noise 0"), "ok");
    {
        Port port(link);
        port.send("\x0D");
        EXPECT_EQ(port.read(1), "2");
        EXPECT_EQ(read_line(sim.err, due_ms), "host: check");
    }
    kill(sim.pid, SIGTERM);
    EXPECT_EQ(sim.finish(), 0);
    struct stat st;
    EXPECT_TRUE(lstat(link.c_str(), &st) != 0 && lstat((link + ".ctl").c_str(), &st) != 0) << "link or socket left behind";
}

TEST(SimProgram, RefusesBadArguments) {
    TempDir dir;
    ASSERT_EQ(mkfifo((dir.path() + "/f.s2p").c_str(), 0666), 0);
    std::ofstream(dir.path() + "/COM9") << "precious";
    // The arguments, the exit status and the first line on standard error.
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{"--rate", "0"}, 2, "vna-sim: bad argument 0"}, {{"--bogus"}, 2, "vna-sim: bad argument --bogus"},
        {{"--link"}, 2, "vna-sim: bad argument --link"}, {{"--dut", "r"}, 1, "vna-sim: "},
        {{"--dut", "file f.s2p"}, 1, "vna-sim: f.s2p: not a regular file"},  // a message, not a hang
        {{"--link", "COM9"}, 1, "vna-sim: "},  // a link name held by a file is not replaced
    };
    for (const auto& [args, status, message] : cases) {
        Child sim(dir.path(), args);
        EXPECT_EQ(read_line(sim.err, due_ms).substr(0, message.size()), message) << args.back();
        EXPECT_EQ(sim.finish(), status) << args.back();
    }
    EXPECT_EQ((std::stringstream() << std::ifstream(dir.path() + "/COM9").rdbuf()).str(), "precious");
}
