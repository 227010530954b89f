// Child processes for tests: vna-sim started with --link into a fresh temporary folder
// (ports/COM1 there), its terminal path read from its first output line, control lines
// sent to its socket; every child dies with the test process and is killed and reaped.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/scratch_dir.h"

namespace simproc {

inline const std::string sim_program = std::string(CORVANE_BINARY_DIR) + "/sim/vna-sim";


// Reads from fd until n bytes came or the byte `stop` (not kept), waiting at most
// timeout_ms per byte.
inline std::string read_bytes(int fd, size_t n, int stop = -1, int timeout_ms = 30000) {
    std::string s;
    char c;
    for (pollfd p{fd, POLLIN, 0}; s.size() < n && poll(&p, 1, timeout_ms) > 0 && ::read(fd, &c, 1) == 1;) {
        if (uint8_t(c) == stop) break;
        s += c;
    }
    return s;
}
// One line (without the newline).
inline std::string read_line(int fd, int timeout_ms = 30000) { return read_bytes(fd, SIZE_MAX, '\n', timeout_ms); }

// `program` with `args` in a child process started in `dir`, its standard input, output
// and error on pipes (this process's ends in, out and err), or its error to the file
// descriptor err_fd. Killed and reaped at the end, and killed when the test process ends,
// also when that crashes before its destructors could run.
struct Child {
    pid_t pid = -1;
    int in = -1, out = -1, err = -1;
    Child(const std::string& program, std::vector<std::string> args, const std::string& dir, int err_fd = -1) {
        int p[3][2];
        for (auto& ends : p)
            if (pipe2(ends, O_CLOEXEC) != 0) return;
        if ((pid = fork()) == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            const int fds[3] = {p[0][0], p[1][1], err_fd >= 0 ? err_fd : p[2][1]};
            for (int i = 0; i < 3; i++) dup2(fds[i], i);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            if (chdir(dir.c_str()) == 0) execv(program.c_str(), argv.data());
            _exit(127);
        }
        for (int fd : {p[0][0], p[1][1], p[2][1]}) ::close(fd);
        in = p[0][1];
        out = p[1][0];
        err = p[2][0];
    }
    ~Child() {
        if (pid > 0 && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
        for (int fd : {in, out, err}) ::close(fd);
    }
    void close_input() { ::close(std::exchange(in, -1)); }
    // Waits for the end: the exit status, or -1 when killed by a signal.
    int finish() {
        int status = 0;
        waitpid(std::exchange(pid, -1), &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

// vna-sim in its own process, linked as <dir>/ports/COM1; with --trace the host messages
// go to trace.txt in the folder.
class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args = {"--no-pace"}) {
        if (dir().empty() || !std::filesystem::create_directory(dir() + "/ports")) return;
        const int trace = ::open(trace_path().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        args.insert(args.begin(), {"--link", link()});
        child_.emplace(sim_program, args, dir(), trace);
        ::close(trace);
        if (child_->pid > 0) tty_ = read_line(child_->out);
    }

    // True when the simulator runs and gave its terminal.
    bool ok() const { return child_ && child_->pid > 0 && tty_.rfind("/dev/", 0) == 0; }
    // The terminal's path, e.g. /dev/pts/4 (a new one after an unplug and replug).
    const std::string& tty() const { return tty_; }
    const std::string& dir() const { return dir_.path(); }
    std::string link() const { return dir() + "/ports/COM1"; }
    std::string trace_path() const { return dir() + "/trace.txt"; }
    // What the simulator wrote to standard error so far (with --trace: "host: ..." lines).
    std::string trace() const { return slurp(trace_path()); }
    // The simulator's process: its standard input and output, its end.
    Child& child() { return *child_; }
    // One control line to the simulator's socket; gives its one-line answer.
    std::string ctl(const std::string& line) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{AF_UNIX, {}};
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s.ctl", link().c_str());
        const std::string msg = line + "\n";
        std::string answer = "no answer";
        if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            ::send(fd, msg.data(), msg.size(), MSG_NOSIGNAL) == ssize_t(msg.size()))
            answer = read_line(fd);
        ::close(fd);
        if (answer.rfind("ok /dev/", 0) == 0) tty_ = answer.substr(3);  // "fault replug" gives the new terminal
        return answer;
    }

private:
    ScratchDir dir_;
    std::optional<Child> child_;
    std::string tty_;
};

}  // namespace simproc
