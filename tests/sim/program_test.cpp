// The vna-sim program as a user starts it: its first output line, the link it makes,
// control lines on standard input, running on after the end of that input, idle without
// using the processor, and a clean end on SIGTERM.
#include <csignal>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

#include "sim_harness.h"

using namespace simtest;

namespace {

const std::string program = std::string(CORVANE_BINARY_DIR) + "/sim/vna-sim";

struct Child {
    pid_t pid = -1;
    int in = -1, out = -1, err = -1;

    Child(const std::string& dir, std::vector<std::string> args)
    {
        int pin[2], pout[2], perr[2];
        if (pipe2(pin, O_CLOEXEC) || pipe2(pout, O_CLOEXEC) || pipe2(perr, O_CLOEXEC)) return;
        pid = fork();
        if (pid == 0) {
            dup2(pin[0], 0);
            dup2(pout[1], 1);
            dup2(perr[1], 2);
            if (chdir(dir.c_str()) != 0) _exit(127);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        ::close(pin[0]);
        ::close(pout[1]);
        ::close(perr[1]);
        in = pin[1];
        out = pout[0];
        err = perr[0];
    }
    ~Child()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        for (int fd : {in, out, err})
            if (fd >= 0) ::close(fd);
    }
    std::string line(int fd, int timeout_ms = 5000)
    {
        std::string s;
        char c;
        pollfd p{fd, POLLIN, 0};
        while (poll(&p, 1, timeout_ms) > 0 && ::read(fd, &c, 1) == 1 && c != '\n') s += c;
        return s;
    }
    // Waits for the end; gives the exit status, or -1.
    int finish()
    {
        int status = 0;
        for (int i = 0; i < 500; ++i) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            poll(nullptr, 0, 10);
        }
        return -1;
    }
    // User and system time of the process so far, in clock ticks.
    long cpu_ticks() const
    {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string f;
        long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && fields >> f; ++i) {
            if (i == 14) utime = std::stol(f);
            if (i == 15) stime = std::stol(f);
        }
        return utime + stime;
    }
};

}  // namespace

TEST(SimProgram, LinkControlIdleAndSigterm)
{
    ASSERT_EQ(access(program.c_str(), X_OK), 0) << program << " is not built";
    TempDir dir;
    Child sim(dir.path(), {"--link", "ports/COM1", "--trace", "--rate", "5000"});
    ASSERT_GT(sim.pid, 0);
    std::string tty = sim.line(sim.out);
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
    EXPECT_EQ(sim.line(sim.out), "ok");
    EXPECT_EQ(sim.line(sim.out).rfind("error: ", 0), 0u);
    ::close(sim.in);  // the end of standard input does not end the simulator
    sim.in = -1;
    EXPECT_EQ(control(link + ".ctl", "noise 0"), "ok");

    {
        Port port(link);
        ASSERT_TRUE(port.ok());
        port.send("\x0D");
        EXPECT_EQ(port.read(1, 2000), "2");
        EXPECT_EQ(sim.line(sim.err), "host: check");
    }

    // Idle: half a second costs no more than a few ticks (a spinning loop would take ~50).
    long before = sim.cpu_ticks();
    poll(nullptr, 0, 500);
    EXPECT_LE(sim.cpu_ticks() - before, 3);

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
    // A link name held by a file is not replaced.
    std::ofstream(dir.path() + "/COM9") << "precious";
    Child sim(dir.path(), {"--link", "COM9"});
    EXPECT_EQ(sim.finish(), 1);
    std::ifstream kept(dir.path() + "/COM9");
    std::string text;
    kept >> text;
    EXPECT_EQ(text, "precious");
}
