// Test helpers for the simulator: an in-process simulator on its own thread, a client of
// its pseudo-terminal written with plain termios (independent of the program's serial
// layer), and the host side of the register protocol.
#pragma once

#include <gtest/gtest.h>
#include <termios.h>

#include <complex>
#include <thread>

#include "sim/server.h"
#include "support/sim_process.h"

namespace simtest {

using simproc::TempDir;
using cd = std::complex<double>;
using cf = std::complex<float>;

// How long a read waits for bytes that must come: far beyond the line time, since on a
// machine whose cores are all busy the pseudo-terminal passes bytes on seconds late.
constexpr int due_ms = 30000;

// The host end: the terminal opened and set to raw mode by hand.
class Port {
public:
    explicit Port(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        termios t;
        if (fd_ < 0 || tcgetattr(fd_, &t) != 0) return;
        cfmakeraw(&t);
        cfsetspeed(&t, B115200);
        tcsetattr(fd_, TCSANOW, &t);
    }
    ~Port() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    // Blocks until the terminal took every byte (the messages are far below its buffer).
    void send(const std::string& bytes) { EXPECT_EQ(::write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }
    // Reads until n bytes have come, the other end vanished or no byte came for timeout_ms.
    std::string read(size_t n, int timeout_ms = due_ms) {
        std::string got;
        char buf[4096];
        for (pollfd p{fd_, POLLIN, 0}; got.size() < n && poll(&p, 1, timeout_ms) > 0;) {
            const ssize_t r = ::read(fd_, buf, std::min(sizeof buf, n - got.size()));
            if (r <= 0) {
                hung_up_ = r == 0 || errno == EIO;
                if (hung_up_) break;
            } else {
                got.append(buf, size_t(r));
            }
        }
        return got;
    }
    bool hung_up() const { return hung_up_; }  // a read saw the other end vanish

private:
    int fd_;
    bool hung_up_ = false;
};

// Options at full speed instead of the line rate of 115200 baud.
inline sim::Options unpaced() {
    sim::Options o;
    o.pace = false;
    return o;
}

// The simulator in this process, serving on its own thread, linked as <tmp>/ports/COM1.
class Sim {
public:
    explicit Sim(sim::Options o = unpaced()) {
        o.link = link();
        std::string error;
        if (server_.start(o, error)) thread_ = std::thread([this] { server_.run(); });
        else ADD_FAILURE() << error;
    }
    ~Sim() {
        server_.stop();
        if (thread_.joinable()) thread_.join();
    }
    std::string link() const { return dir_.path() + "/ports/COM1"; }
    std::string ctl(const std::string& line) { return simproc::control(link() + ".ctl", line); }
    const std::string& dir() const { return dir_.path(); }

private:
    TempDir dir_;
    sim::Server server_;
    std::thread thread_;
};

// A simulator with a host connected to it.
struct Connected {
    Sim sim;
    Port port;
    explicit Connected(const sim::Options& o = unpaced()) : sim(o), port(sim.link()) { EXPECT_TRUE(port.ok()); }
};

// Host messages: a register write of 1, 2 or 8 bytes (little-endian), a FIFO read, a sweep set-up.
inline std::string write(uint8_t reg, uint64_t v, int bytes) {
    std::string m{char(bytes == 1 ? 0x20 : bytes == 2 ? 0x21 : 0x23), char(reg)};
    for (int i = 0; i < bytes; ++i) m += char(v >> (8 * i));
    return m;
}
inline std::string restart() { return write(0x30, 0, 1); }
inline std::string fifo(uint8_t count) { return {char(0x18), char(0x30), char(count)}; }
inline std::string setup(uint64_t start, uint64_t step, uint16_t points, uint8_t mode = 1) {
    return write(0x00, start, 8) + write(0x10, step, 8) + write(0x20, points, 2) + write(0x40, mode, 1) + restart();
}

struct Record {
    cd a1, b1, b2;
    uint16_t point;
    bool tail_zero;  // the last six bytes are zero
};

inline Record decode(const std::string& bytes, size_t at) {
    auto le = [&](size_t k, int n) {
        uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = v << 8 | uint8_t(bytes[at + k + size_t(i)]);
        return v;
    };
    auto wave = [&](size_t k) { return cd(int32_t(le(k, 4)), int32_t(le(k + 4, 4))); };
    return {wave(0), wave(8), wave(16), uint16_t(le(24, 2)), bytes.find_first_not_of('\0', at + 26) >= at + 32};
}

inline std::vector<Record> decode_all(const std::string& bytes) {
    std::vector<Record> out;
    for (size_t at = 0; at + 32 <= bytes.size(); at += 32) out.push_back(decode(bytes, at));
    return out;
}

inline std::vector<uint16_t> point_numbers(const std::string& bytes) {
    std::vector<uint16_t> p;
    for (const Record& r : decode_all(bytes)) p.push_back(r.point);
    return p;
}

inline std::vector<Record> read_records(Port& port, size_t count) {
    const std::string bytes = port.read(count * 32);
    EXPECT_EQ(bytes.size(), count * 32);
    return decode_all(bytes);
}

// One sweep from its set-up, read in batches: b1/a1 per point, each part rounded to float.
inline std::vector<cf> sweep_s11(Port& port, uint64_t start, uint64_t step, uint16_t points, uint8_t mode = 1) {
    std::vector<cf> s11(points);
    port.send(setup(start, step, points, mode));
    for (size_t done = 0; done < points;) {
        const size_t n = std::min<size_t>(200, points - done);
        port.send(fifo(uint8_t(n)));
        const std::vector<Record> records = read_records(port, n);
        if (records.size() != n) break;
        for (const Record& r : records) {
            EXPECT_EQ(r.point, done) << "out of order";
            s11[done++] = cf(r.b1 / r.a1);
        }
    }
    return s11;
}

}  // namespace simtest
