// Test helpers for the simulator: an in-process simulator on its own thread, a client of
// its pseudo-terminal written with plain termios (independent of the program's serial
// layer), a client of its control socket, and the host side of the register protocol.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "sim/server.h"

namespace simtest {

inline uint64_t now_ms()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000;
}

// A fresh folder under /tmp, removed with everything in it.
class TempDir {
public:
    TempDir()
    {
        char tmpl[] = "/tmp/simtest_XXXXXX";
        path_ = mkdtemp(tmpl);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The host end: the terminal opened and set to raw mode by hand.
class Port {
public:
    explicit Port(const std::string& path)
    {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return;
        termios t;
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, B115200);
        cfsetospeed(&t, B115200);
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        tcsetattr(fd_, TCSANOW, &t);
    }
    ~Port()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    void send(const std::string& bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t w = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (w > 0) done += size_t(w);
            else if (w < 0 && errno != EAGAIN && errno != EINTR) return;
            else {
                pollfd p{fd_, POLLOUT, 0};
                poll(&p, 1, 100);
            }
        }
    }

    // Reads until n bytes have come or timeout_ms passed; gives what came.
    std::string read(size_t n, int timeout_ms)
    {
        std::string got;
        uint64_t deadline = now_ms() + uint64_t(timeout_ms);
        while (got.size() < n) {
            uint64_t now = now_ms();
            if (now >= deadline) break;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, int(deadline - now)) <= 0) continue;
            if (p.revents & (POLLHUP | POLLERR) && !(p.revents & POLLIN)) {
                hung_up_ = true;
                break;
            }
            char buf[4096];
            ssize_t r = ::read(fd_, buf, std::min(sizeof buf, n - got.size()));
            if (r > 0) got.append(buf, size_t(r));
            else if (r == 0 || errno == EIO) {
                hung_up_ = true;
                break;
            }
        }
        return got;
    }
    // True once a read saw the other end vanish.
    bool hung_up() const { return hung_up_; }

private:
    int fd_ = -1;
    bool hung_up_ = false;
};

// One line to the control socket and its answer.
inline std::string control(const std::string& socket_path, const std::string& line)
{
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socket_path.c_str());
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return "connect failed";
    }
    std::string msg = line + "\n";
    if (::send(fd, msg.data(), msg.size(), MSG_NOSIGNAL) != ssize_t(msg.size())) {
        ::close(fd);
        return "send failed";
    }
    std::string answer;
    char c;
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, 5000) > 0 && ::read(fd, &c, 1) == 1 && c != '\n') answer += c;
    ::close(fd);
    return answer;
}

// The simulator in this process, serving on its own thread, linked as <tmp>/ports/COM1.
class Sim {
public:
    explicit Sim(sim::Options options = quiet())
    {
        options.link = dir_.path() + "/ports/COM1";
        std::string error;
        started_ = server_.start(options, error);
        EXPECT_TRUE(started_) << error;
        if (started_) thread_ = std::thread([this] { server_.run(); });
    }
    ~Sim()
    {
        server_.stop();
        if (thread_.joinable()) thread_.join();
    }
    static sim::Options quiet()
    {
        sim::Options o;
        o.pace = false;
        return o;
    }
    std::string link() const { return dir_.path() + "/ports/COM1"; }
    std::string ctl(const std::string& line) { return control(link() + ".ctl", line); }
    const std::string& dir() const { return dir_.path(); }

private:
    TempDir dir_;
    sim::Server server_;
    std::thread thread_;
    bool started_ = false;
};

// A simulator with a host connected to it.
struct Connected {
    Sim sim;
    Port port;
    explicit Connected(const sim::Options& options = Sim::quiet()) : sim(options), port(sim.link()) {}
};

inline sim::Options with_pacing()
{
    sim::Options o = Sim::quiet();
    o.pace = true;
    return o;
}

inline sim::Options realistic()
{
    sim::Options o = Sim::quiet();
    o.realistic = true;
    return o;
}

// Host messages.
inline std::string write8(uint8_t reg, uint64_t v)
{
    std::string m{char(0x23), char(reg)};
    for (int i = 0; i < 8; ++i) m += char(v >> (8 * i));
    return m;
}
inline std::string write2(uint8_t reg, uint16_t v) { return {char(0x21), char(reg), char(v & 0xFF), char(v >> 8)}; }
inline std::string write1(uint8_t reg, uint8_t v) { return {char(0x20), char(reg), char(v)}; }
inline std::string fifo(uint8_t count) { return {char(0x18), char(0x30), char(count)}; }
inline std::string setup(uint64_t start, uint64_t step, uint16_t points, uint8_t mode = 1)
{
    return write8(0x00, start) + write8(0x10, step) + write2(0x20, points) + write1(0x40, mode) + write1(0x30, 0);
}

struct Record {
    int32_t a1_re, a1_im, b1_re, b1_im, b2_re, b2_im;
    uint16_t point;
    bool tail_zero;
    std::complex<double> a1() const { return {double(a1_re), double(a1_im)}; }
    std::complex<double> b1() const { return {double(b1_re), double(b1_im)}; }
    std::complex<double> b2() const { return {double(b2_re), double(b2_im)}; }
};

inline Record decode(const std::string& bytes, size_t at)
{
    auto u8 = [&](size_t k) { return uint32_t(uint8_t(bytes[at + k])); };
    auto i32 = [&](size_t k) { return int32_t(u8(k) | u8(k + 1) << 8 | u8(k + 2) << 16 | u8(k + 3) << 24); };
    Record r{i32(0), i32(4), i32(8), i32(12), i32(16), i32(20), uint16_t(u8(24) | u8(25) << 8), true};
    for (size_t k = 26; k < 32; ++k) r.tail_zero = r.tail_zero && bytes[at + k] == 0;
    return r;
}

inline std::vector<Record> read_records(Port& port, size_t count, int timeout_ms = 3000)
{
    std::string bytes = port.read(count * 32, timeout_ms);
    EXPECT_EQ(bytes.size(), count * 32);
    std::vector<Record> out;
    for (size_t at = 0; at + 32 <= bytes.size(); at += 32) out.push_back(decode(bytes, at));
    return out;
}

// One sweep as the program makes it: set up, then batches of 8 records until every point
// has come. Gives b1/a1 and b2/a1 per point, each part rounded to float.
struct Sweep {
    std::vector<std::complex<float>> s11, s21;
};

inline Sweep sweep(Port& port, uint64_t start, uint64_t step, uint16_t points, uint8_t mode = 1)
{
    Sweep s;
    s.s11.resize(points);
    s.s21.resize(points);
    std::vector<bool> seen(points, false);
    size_t received = 0;
    port.send(setup(start, step, points, mode));
    while (received < points) {
        port.send(fifo(8));
        auto recs = read_records(port, 8);
        if (recs.size() != 8) break;
        for (const Record& r : recs) {
            if (r.point >= points) continue;
            std::complex<double> a = r.a1();
            s.s11[r.point] = std::complex<float>(r.b1() / a);
            s.s21[r.point] = std::complex<float>(r.b2() / a);
            if (!seen[r.point]) {
                seen[r.point] = true;
                ++received;
            }
        }
    }
    EXPECT_EQ(received, points);
    return s;
}

}  // namespace simtest
