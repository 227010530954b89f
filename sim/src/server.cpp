#include "sim/server.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <exception>

#include "vna/user_input.h"

namespace sim {
namespace {

constexpr size_t pace_batch = 12;  // bytes written per wake-up when paced, about 1 ms of line

std::string sys_error(const std::string& what) { return what + ": " + std::strerror(errno); }

// A path from the command line, as shown in a message.
std::string shown(const std::string& path) { return vna_printable(path); }

// what + the path shown + the system's reason (errno taken first).
std::string sys_error(const std::string& what, const std::string& path)
{
    const int err = errno;
    return what + shown(path) + ": " + std::strerror(err);
}

std::string_view next_word(std::string_view& s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    size_t k = 0;
    while (k < s.size() && s[k] != ' ' && s[k] != '\t') ++k;
    std::string_view w = s.substr(0, k);
    s.remove_prefix(k);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return w;
}

bool parse_count(std::string_view s, size_t& n)
{
    if (s.empty() || s.size() > 9) return false;
    n = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + size_t(c - '0');
    }
    return true;
}

bool make_parents(const std::string& path, std::string& error)
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        std::string dir = path.substr(0, slash);
        if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
            error = sys_error("cannot create folder ", dir);
            return false;
        }
    }
    return true;
}

bool socket_address(const std::string& path, sockaddr_un& addr)
{
    addr = sockaddr_un{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// True when a simulator listens on the control socket at path.
bool control_answers(const std::string& path)
{
    sockaddr_un addr;
    if (!socket_address(path, addr)) return false;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool live = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (fd >= 0) ::close(fd);
    return live;
}

void write_all(int fd, const std::string& s)
{
    size_t done = 0;
    while (done < s.size()) {
        ssize_t w = ::send(fd, s.data() + done, s.size() - done, MSG_NOSIGNAL);
        if (w < 0 && errno == ENOTSOCK) w = ::write(fd, s.data() + done, s.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        done += size_t(w);
    }
}

}  // namespace

uint64_t monotonic_ns()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec);
}

Server::~Server()
{
    close_terminal();
    remove_link();
    for (Client& c : clients_) ::close(c.fd);
    if (listen_ >= 0) {
        ::close(listen_);
        ::unlink(control_path().c_str());
    }
    for (int fd : wake_)
        if (fd >= 0) ::close(fd);
}

bool Server::start(const Options& options, std::string& error)
{
    options_ = options;
    if (options.rate <= 0) {
        error = "the rate must be above 0";
        return false;
    }
    Dut dut;
    if (!parse_dut(options.dut, dut, error)) return false;
    device_.set_dut(std::move(dut));
    device_.set_noise(options.noise);
    device_.set_rate(options.rate);
    device_.set_realistic(options.realistic);
    device_.set_seed(options.seed);
    garbage_rng_.seed(options.seed + 1);
    pacer_.set_enabled(options.pace);
    if (options.trace)
        device_.trace = [](const std::string& line) { std::fprintf(stderr, "host: %s\n", line.c_str()); };
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = sys_error("pipe");
        return false;
    }
    stdin_open_ = options.control_stdin;
    return open_terminal(error) && make_link(error) && open_control(error);
}

bool Server::open_terminal(std::string& error)
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error = sys_error("cannot open a pseudo-terminal");
        return false;
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        error = sys_error("ptsname");
        return false;
    }
    tty_path_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios t;
    if (slave_ < 0 || tcgetattr(slave_, &t) != 0) {
        error = sys_error("cannot open " + tty_path_);
        return false;
    }
    // Raw bytes, as a serial line: no echo, no line editing, no translation.
    cfmakeraw(&t);
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    t.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(slave_, TCSANOW, &t) != 0) {
        error = sys_error("cannot set " + tty_path_ + " to raw mode");
        return false;
    }
    device_.reset(monotonic_ns());
    blocked_ = false;
    pacer_.set_enabled(pacer_.enabled());
    return true;
}

void Server::close_terminal()
{
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
    master_ = slave_ = -1;
}

bool Server::make_link(std::string& error)
{
    const std::string& link = options_.link;
    if (link.empty()) return true;
    if (!make_parents(link, error)) return false;
    struct stat st;
    if (lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = shown(link) + " exists and is not a link";
            return false;
        }
        if (control_answers(control_path())) {
            error = shown(link) + " belongs to a simulator that is running";
            return false;
        }
        ::unlink(link.c_str());  // a link left by an earlier run
    }
    if (symlink(tty_path_.c_str(), link.c_str()) != 0) {
        error = sys_error("cannot create link ", link);
        return false;
    }
    return true;
}

void Server::remove_link()
{
    if (options_.link.empty() || tty_path_.empty()) return;
    char target[256];
    ssize_t n = readlink(options_.link.c_str(), target, sizeof target - 1);
    // Only our own link: another simulator may have taken the name since.
    if (n > 0 && std::string(target, size_t(n)) == tty_path_) ::unlink(options_.link.c_str());
}

bool Server::open_control(std::string& error)
{
    if (options_.link.empty()) return true;
    std::string path = control_path();
    sockaddr_un addr;
    if (!socket_address(path, addr)) {
        error = "control socket path too long: " + shown(path);
        return false;
    }
    struct stat st;
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            error = shown(path) + " exists and is not a socket";
            return false;
        }
        ::unlink(path.c_str());
    }
    listen_ = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listen_ < 0 || bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listen_, 8) != 0) {
        error = sys_error("cannot listen on ", path);
        if (listen_ >= 0) ::close(listen_);
        listen_ = -1;
        return false;
    }
    return true;
}

void Server::stop()
{
    stop_.store(true);
    if (wake_[1] >= 0) {
        char c = 0;
        ssize_t r = ::write(wake_[1], &c, 1);
        (void)r;
    }
}

void Server::flush_output(uint64_t now)
{
    std::string& q = device_.output();
    if (master_ < 0) {
        q.clear();
        return;
    }
    size_t n = pacer_.due(q.size(), now);
    if (n == 0) return;
    ssize_t w = ::write(master_, q.data(), n);
    if (w < 0) {
        blocked_ = errno == EAGAIN;
        if (!blocked_) {
            q.clear();  // the terminal failed: what was queued cannot be sent
            pacer_.sent(0, 0);
        }
        return;
    }
    q.erase(0, size_t(w));
    pacer_.sent(size_t(w), q.size());
    blocked_ = size_t(w) < n;
}

void Server::read_terminal(uint64_t now)
{
    uint8_t buf[4096];
    for (;;) {
        ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) return;
        device_.receive(buf, size_t(n), now);
    }
}

void Server::read_stdin()
{
    char buf[1024];
    ssize_t n = ::read(0, buf, sizeof buf);
    if (n <= 0) {
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) stdin_open_ = false;  // end of input: keep running
        return;
    }
    stdin_in_.append(buf, size_t(n));
    if (stdin_in_.size() > 65536) stdin_in_.clear();  // no line is that long
    for (size_t eol; (eol = stdin_in_.find('\n')) != std::string::npos;) {
        std::string line = stdin_in_.substr(0, eol);
        stdin_in_.erase(0, eol + 1);
        std::string answer = command(line);
        if (!answer.empty()) {
            answer += '\n';
            write_all(1, answer);
        }
    }
}

void Server::read_client(size_t index)
{
    Client& c = clients_[index];
    char buf[1024];
    ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
    if (n <= 0 && !(n < 0 && (errno == EAGAIN || errno == EINTR))) {
        ::close(c.fd);
        clients_.erase(clients_.begin() + long(index));
        return;
    }
    if (n <= 0) return;
    c.in.append(buf, size_t(n));
    if (c.in.size() > 65536) c.in.clear();  // no line is that long
    for (size_t eol; (eol = c.in.find('\n')) != std::string::npos;) {
        std::string line = c.in.substr(0, eol);
        c.in.erase(0, eol + 1);
        std::string answer = command(line);
        if (!answer.empty()) write_all(c.fd, answer + "\n");
    }
}

void Server::run()
{
    std::vector<pollfd> fds;
    while (!stop_.load()) {
        uint64_t now = monotonic_ns();
        uint64_t wake = Device::no_event;
        if (master_ >= 0) {
            device_.advance(now);
            if (!blocked_) flush_output(now);
            wake = device_.next_event_ns();
            if (!blocked_ && !device_.output().empty())
                wake = std::min(wake, std::max(pacer_.wake_ns(device_.output().size(), pace_batch), now));
        }

        fds.clear();
        fds.push_back({wake_[0], POLLIN, 0});
        size_t terminal = 0, in = 0, listener = 0, first_client = fds.size();
        if (master_ >= 0) {
            terminal = fds.size();
            fds.push_back({master_, short(POLLIN | (blocked_ ? POLLOUT : 0)), 0});
        }
        if (stdin_open_) {
            in = fds.size();
            fds.push_back({0, POLLIN, 0});
        }
        if (listen_ >= 0) {
            listener = fds.size();
            fds.push_back({listen_, POLLIN, 0});
        }
        first_client = fds.size();
        for (const Client& c : clients_) fds.push_back({c.fd, POLLIN, 0});

        timespec ts{}, *timeout = nullptr;
        if (wake != Device::no_event) {
            uint64_t d = wake > now ? wake - now : 0;
            ts.tv_sec = time_t(d / 1000000000u);
            ts.tv_nsec = long(d % 1000000000u);
            timeout = &ts;
        }
        if (ppoll(fds.data(), fds.size(), timeout, nullptr) < 0 && errno != EINTR) break;

        if (fds[0].revents) {
            char buf[64];
            while (::read(wake_[0], buf, sizeof buf) > 0) {
            }
        }
        now = monotonic_ns();
        if (terminal && master_ >= 0) {
            if (fds[terminal].revents & POLLOUT) blocked_ = false;
            if (fds[terminal].revents & POLLIN) read_terminal(now);
        }
        if (in && (fds[in].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) read_stdin();
        if (listener && (fds[listener].revents & POLLIN)) {
            int fd = accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0) clients_.push_back({fd, {}});
        }
        // Clients last and from the end, as reading one may remove it.
        for (size_t i = fds.size(); i-- > first_client;)
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) read_client(i - first_client);
    }
}

std::string Server::command(std::string_view line)
{
    // No control line may end the simulator: whatever throws becomes an error answer.
    try {
        return run_command(line);
    } catch (const std::exception& e) {
        return std::string("error: ") + e.what();
    }
}

std::string Server::run_command(std::string_view line)
{
    std::string_view rest = line;
    std::string_view word = next_word(rest);
    if (word.empty()) return {};
    std::string error;
    if (word == "dut") {
        Dut dut;
        if (!parse_dut(rest, dut, error)) return "error: " + error;
        device_.set_dut(std::move(dut));
        return "ok";
    }
    if (word == "noise") {
        double sigma;
        if (!parse_value(rest, sigma) || sigma < 0) return "error: noise needs a value of zero or more";
        device_.set_noise(sigma);
        return "ok";
    }
    if (word == "pace") {
        if (rest != "on" && rest != "off") return "error: pace on or pace off";
        pacer_.set_enabled(rest == "on");
        return "ok";
    }
    if (word == "fault") {
        std::string_view what = next_word(rest);
        return fault(what, rest);
    }
    return "error: unknown command " + vna_printable(word) + " (dut, noise, pace, fault)";
}

std::string Server::fault(std::string_view what, std::string_view arg)
{
    size_t n = 0;
    bool counted = what == "garbage" || what == "drop";
    if (counted && !parse_count(arg, n)) return "error: fault " + std::string(what) + " needs a count";
    if (!counted && !arg.empty()) return "error: fault " + vna_printable(what) + " takes no value";
    if (what == "silent") {
        device_.set_silent(true);
        return "ok";
    }
    if (what == "none") {
        device_.set_silent(false);
        device_.drop_next_answer(0);
        return "ok";
    }
    if (what == "drop") {
        device_.drop_next_answer(n);
        return "ok";
    }
    if (what == "garbage") {
        if (master_ < 0) return "error: unplugged";
        if (n > 1000000) return "error: at most 1000000 garbage bytes at a time";
        std::string& q = device_.output();
        for (size_t i = 0; i < n; ++i) q += char(garbage_rng_() & 0xFF);
        return "ok";
    }
    if (what == "unplug") {
        if (master_ < 0) return "error: already unplugged";
        remove_link();
        close_terminal();
        device_.output().clear();
        return "ok";
    }
    if (what == "replug") {
        if (master_ >= 0) return "error: not unplugged";
        std::string error;
        if (!open_terminal(error) || !make_link(error)) {
            close_terminal();
            return "error: " + error;
        }
        return "ok " + tty_path_;
    }
    return "error: unknown fault " + vna_printable(what) + " (silent, none, garbage N, drop N, unplug, replug)";
}

}  // namespace sim
