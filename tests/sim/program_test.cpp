// The vna-sim program as a user starts it: its first output line, the link it makes,
// control lines on standard input, running on after the end of that input, idle without
// using the processor, and a clean end on SIGTERM.
#include <csignal>
#include <fstream>
#include <sys/stat.h>

#include "sim_harness.h"

using namespace simtest;
using simproc::read_line;

namespace {

// vna-sim started in dir, its standard input, output and error on pipes.
struct Child {
    pid_t pid = -1;
    int in = -1, out = -1, err = -1;  // this process's ends of the pipes

    Child(const std::string& dir, const std::vector<std::string>& args)
    {
        int p[3][2];
        for (auto& ends : p)
            if (pipe2(ends, O_CLOEXEC) != 0) return;
        pid = simproc::spawn(simproc::sim_program, args, dir, p[0][0], p[1][1], p[2][1]);
        for (int fd : {p[0][0], p[1][1], p[2][1]}) ::close(fd);
        in = p[0][1];
        out = p[1][0];
        err = p[2][0];
    }
    ~Child()
    {
        simproc::kill_and_reap(pid);
        for (int fd : {in, out, err})
            if (fd >= 0) ::close(fd);
    }
    // Waits up to 5 s for the end; gives the exit status, or -1.
    int finish()
    {
        int status = 0;
        for (int i = 0; i < 500; ++i, poll(nullptr, 0, 10))
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
        return -1;
    }
};

}  // namespace

TEST(SimProgram, LinkControlIdleAndSigterm)
{
    ASSERT_EQ(access(simproc::sim_program.c_str(), X_OK), 0) << simproc::sim_program << " is not built";
    TempDir dir;
    Child sim(dir.path(), {"--link", "ports/COM1", "--trace", "--rate", "5000"});
    ASSERT_GT(sim.pid, 0);
    std::string tty = read_line(sim.out);
    ASSERT_EQ(tty.rfind("/dev/pts/", 0), 0u) << tty;
    std::string link = dir.path() + "/ports/COM1";
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), tty);

    {
        // A second simulator does not take the name of a running one.
        Child second(dir.path(), {"--link", "ports/COM1"});
        EXPECT_EQ(second.finish(), 1);
        EXPECT_EQ(std::filesystem::read_symlink(link).string(), tty);
    }

    ASSERT_EQ(::write(sim.in, "dut short\nnonsense\n", 19), 19);
    EXPECT_EQ(read_line(sim.out), "ok");
    EXPECT_EQ(read_line(sim.out).rfind("error: ", 0), 0u);
    ::close(sim.in);  // the end of standard input does not end the simulator
    sim.in = -1;
    EXPECT_EQ(simproc::control(link + ".ctl", "noise 0"), "ok");

    {
        Port port(link);
        ASSERT_TRUE(port.ok());
        port.send("\x0D");
        EXPECT_EQ(port.read(1, 2000), "2");
        EXPECT_EQ(read_line(sim.err), "host: check");
    }

    // Idle: half a second costs no more than 30 ms of processor time (a spinning loop
    // would take all of it).
    clockid_t cpu;
    ASSERT_EQ(clock_getcpuclockid(sim.pid, &cpu), 0);
    auto used_ns = [cpu] {
        timespec ts{};
        EXPECT_EQ(clock_gettime(cpu, &ts), 0);
        return ts.tv_sec * 1000000000LL + ts.tv_nsec;
    };
    const long long before = used_ns();
    poll(nullptr, 0, 500);
    EXPECT_LE(used_ns() - before, 30000000);

    kill(sim.pid, SIGTERM);
    EXPECT_EQ(sim.finish(), 0);
    struct stat st;
    EXPECT_NE(lstat(link.c_str(), &st), 0) << "link left behind";
    EXPECT_NE(lstat((link + ".ctl").c_str(), &st), 0) << "control socket left behind";
}

TEST(SimProgram, RefusesBadArguments)
{
    TempDir dir;
    for (std::vector<std::string> args : {std::vector<std::string>{"--rate", "0"}, {"--bogus"}, {"--dut", "r"},
                                          {"--noise", "x"}, {"--link"}}) {
        Child sim(dir.path(), args);
        EXPECT_NE(sim.finish(), 0) << args[0];
    }
    // A device file that is no regular file: a message and status 1, not an abort.
    ASSERT_EQ(mkdir((dir.path() + "/d.s2p").c_str(), 0777), 0);
    ASSERT_EQ(mkfifo((dir.path() + "/f.s2p").c_str(), 0666), 0);
    for (const char* name : {"d.s2p", "f.s2p"}) {
        Child sim(dir.path(), {"--dut", std::string("file ") + name});
        EXPECT_EQ(read_line(sim.err), std::string("vna-sim: ") + name + ": not a regular file");
        EXPECT_EQ(sim.finish(), 1) << name;
    }
    // A link name held by a file is not replaced.
    std::ofstream(dir.path() + "/COM9") << "precious";
    Child sim(dir.path(), {"--link", "COM9"});
    EXPECT_EQ(sim.finish(), 1);
    ASSERT_TRUE(std::filesystem::is_regular_file(dir.path() + "/COM9"));
    std::string text;
    std::ifstream(dir.path() + "/COM9") >> text;
    EXPECT_EQ(text, "precious");
}
