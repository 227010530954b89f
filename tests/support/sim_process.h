// The simulator as a child process for tests: vna-sim started with --link into a fresh
// temporary folder (ports/COM1 there), its terminal path read from its first output line,
// control lines sent to its socket, and the process always killed and reaped at the end.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace simproc {

inline const std::string sim_program = std::string(CORVANE_BINARY_DIR) + "/sim/vna-sim";

// A fresh folder under /tmp, removed with everything in it.
class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/vnatest_XXXXXX";
        if (mkdtemp(tmpl)) path_ = tmpl;
    }
    ~TempDir() {
        if (!path_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(path_, ec);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// In a forked child: ends it when the test process ends, also when that crashes before
// its destructors could stop the child.
inline void die_with_parent() {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
}

// Reads one line from fd (without the newline), waiting at most timeout_ms per byte.
inline std::string read_line(int fd, int timeout_ms = 5000) {
    std::string s;
    char c;
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, timeout_ms) > 0 && ::read(fd, &c, 1) == 1 && c != '\n') s += c;
    return s;
}

// One control line to a simulator's socket; gives its one-line answer.
inline std::string control(const std::string& socket_path, const std::string& line) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return "socket failed";
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socket_path.c_str());
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return "connect failed";
    }
    const std::string msg = line + "\n";
    if (::send(fd, msg.data(), msg.size(), MSG_NOSIGNAL) != ssize_t(msg.size())) {
        ::close(fd);
        return "send failed";
    }
    std::string answer = read_line(fd);
    ::close(fd);
    return answer;
}

// vna-sim in its own process, linked as <dir>/ports/COM1.
class SimProcess {
public:
    // args: further options, e.g. {"--no-pace", "--dut", "open"}.
    explicit SimProcess(std::vector<std::string> args = {"--no-pace"}) {
        if (dir_.path().empty()) return;
        std::filesystem::create_directories(dir_.path() + "/ports");
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) return;
        std::vector<std::string> argv_s{sim_program, "--link", link()};
        argv_s.insert(argv_s.end(), args.begin(), args.end());
        pid_ = fork();
        if (pid_ == 0) {
            die_with_parent();
            dup2(out[1], 1);
            int null = ::open("/dev/null", O_RDWR);
            if (null >= 0) dup2(null, 0);
            // With --trace the host messages go to trace.txt in the folder.
            const int err = ::open(trace_path().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (err >= 0) dup2(err, 2);
            std::vector<char*> argv;
            for (auto& a : argv_s) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(sim_program.c_str(), argv.data());
            _exit(127);
        }
        ::close(out[1]);
        out_ = out[0];
        if (pid_ > 0) tty_ = read_line(out_);
    }
    ~SimProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // True when the simulator runs and gave its terminal.
    bool ok() const { return pid_ > 0 && tty_.rfind("/dev/", 0) == 0; }
    // The terminal's path, e.g. /dev/pts/4 (a new one after an unplug and replug).
    const std::string& tty() const { return tty_; }
    const std::string& dir() const { return dir_.path(); }
    std::string link() const { return dir_.path() + "/ports/COM1"; }
    std::string trace_path() const { return dir_.path() + "/trace.txt"; }
    // The lines the simulator wrote to standard error so far (with --trace: "host: ...").
    std::vector<std::string> trace() const {
        std::vector<std::string> lines;
        FILE* f = std::fopen(trace_path().c_str(), "r");
        if (!f) return lines;
        char buf[512];
        while (std::fgets(buf, sizeof buf, f)) {
            std::string line = buf;
            if (!line.empty() && line.back() == '\n') line.pop_back();
            lines.push_back(line);
        }
        std::fclose(f);
        return lines;
    }
    std::string ctl(const std::string& line) {
        std::string answer = control(link() + ".ctl", line);
        // "fault replug" answers "ok PATH" with the new terminal.
        if (answer.rfind("ok /dev/", 0) == 0) tty_ = answer.substr(3);
        return answer;
    }

private:
    TempDir dir_;
    pid_t pid_ = -1;
    int out_ = -1;
    std::string tty_;
};

}  // namespace simproc
