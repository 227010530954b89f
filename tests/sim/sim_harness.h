// Test helpers for the simulator: an in-process simulator on its own thread, a client of
// its pseudo-terminal written with plain termios (independent of the program's serial
// layer), and the host side of the register protocol.
#pragma once

#include <gtest/gtest.h>

#include <complex>
#include <termios.h>
#include <thread>

#include "sim/server.h"
#include "support/sim_process.h"

namespace simtest {

using simproc::TempDir;
using cd = std::complex<double>;

// The host end: the terminal opened and set to raw mode by hand.
class Port {
public:
    explicit Port(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC))
    {
        termios t;
        if (fd_ < 0 || tcgetattr(fd_, &t) != 0) return;
        cfmakeraw(&t);
        cfsetspeed(&t, B115200);
        tcsetattr(fd_, TCSANOW, &t);
    }
    ~Port()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }

    // Blocks until the terminal took every byte (the messages are far below its buffer).
    void send(const std::string& bytes) { EXPECT_EQ(::write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }

    // Reads until n bytes have come or timeout_ms passed; gives what came.
    std::string read(size_t n, int timeout_ms)
    {
        std::string got;
        const uint64_t deadline = sim::monotonic_ns() + uint64_t(timeout_ms) * 1000000;
        for (uint64_t now; got.size() < n && (now = sim::monotonic_ns()) < deadline;) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, int((deadline - now) / 1000000) + 1) <= 0) continue;
            char buf[4096];
            ssize_t r = p.revents & POLLIN ? ::read(fd_, buf, std::min(sizeof buf, n - got.size())) : 0;
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
    int fd_;
    bool hung_up_ = false;
};

// Options at full speed instead of the line rate of 115200 baud.
inline sim::Options unpaced()
{
    sim::Options o;
    o.pace = false;
    return o;
}

// The simulator in this process, serving on its own thread, linked as <tmp>/ports/COM1.
class Sim {
public:
    explicit Sim(sim::Options o = unpaced())
    {
        o.link = link();
        std::string error;
        if (server_.start(o, error)) thread_ = std::thread([this] { server_.run(); });
        else ADD_FAILURE() << error;
    }
    ~Sim()
    {
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
    explicit Connected(const sim::Options& o = unpaced()) : sim(o), port(sim.link()) {}
};

// Host messages: a register write of 1, 2 or 8 bytes (little-endian), a FIFO read, a sweep set-up.
inline std::string write(uint8_t reg, uint64_t v, int bytes)
{
    std::string m{char(bytes == 1 ? 0x20 : bytes == 2 ? 0x21 : 0x23), char(reg)};
    for (int i = 0; i < bytes; ++i) m += char(v >> (8 * i));
    return m;
}
inline std::string restart() { return write(0x30, 0, 1); }
inline std::string fifo(uint8_t count) { return {char(0x18), char(0x30), char(count)}; }
inline std::string setup(uint64_t start, uint64_t step, uint16_t points, uint8_t mode = 1)
{
    return write(0x00, start, 8) + write(0x10, step, 8) + write(0x20, points, 2) + write(0x40, mode, 1) + restart();
}

struct Record {
    cd a1, b1, b2;
    uint16_t point;
    bool tail_zero;  // the last six bytes are zero
};

inline Record decode(const std::string& bytes, size_t at)
{
    auto le = [&](size_t k, int n) {
        uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = v << 8 | uint8_t(bytes[at + k + size_t(i)]);
        return v;
    };
    auto wave = [&](size_t k) { return cd(int32_t(le(k, 4)), int32_t(le(k + 4, 4))); };
    return {wave(0), wave(8), wave(16), uint16_t(le(24, 2)), bytes.find_first_not_of('\0', at + 26) >= at + 32};
}

inline std::vector<Record> decode_all(const std::string& bytes)
{
    std::vector<Record> out;
    for (size_t at = 0; at + 32 <= bytes.size(); at += 32) out.push_back(decode(bytes, at));
    return out;
}

inline std::vector<uint16_t> point_numbers(const std::string& bytes)
{
    std::vector<uint16_t> p;
    for (const Record& r : decode_all(bytes)) p.push_back(r.point);
    return p;
}

inline std::vector<Record> read_records(Port& port, size_t count)
{
    std::string bytes = port.read(count * 32, 3000);
    EXPECT_EQ(bytes.size(), count * 32);
    return decode_all(bytes);
}

// One sweep as the program makes it: set up, then batches of 8 records until every point
// has come. Gives b1/a1 and b2/a1 per point, each part rounded to float.
struct Sweep {
    std::vector<std::complex<float>> s11, s21;
};

inline Sweep sweep(Port& port, uint64_t start, uint64_t step, uint16_t points, uint8_t mode = 1)
{
    Sweep s{std::vector<std::complex<float>>(points), std::vector<std::complex<float>>(points)};
    std::vector<bool> seen(points);
    size_t received = 0;
    port.send(setup(start, step, points, mode));
    // The points come in order from 0, so a sweep takes points / 8 batches; a few more at
    // most, or a fault ends the loop.
    for (int batch = 0; received < points && batch < points / 8 + 2; ++batch) {
        port.send(fifo(8));
        auto recs = read_records(port, 8);
        if (recs.size() != 8) break;
        for (const Record& r : recs) {
            if (r.point >= points) continue;
            s.s11[r.point] = std::complex<float>(r.b1 / r.a1);
            s.s21[r.point] = std::complex<float>(r.b2 / r.a1);
            received += seen[r.point] ? 0 : 1;
            seen[r.point] = true;
        }
    }
    EXPECT_EQ(received, points);
    return s;
}

}  // namespace simtest
