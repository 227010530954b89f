// Test helpers for the simulator: the device on a clock the test drives, a client of the
// pseudo-terminal written with plain termios (independent of the program's serial layer),
// and the host side of the register protocol.
#pragma once

#include <gtest/gtest.h>
#include <termios.h>

#include <complex>
#include <utility>

#include "sim/device.h"
#include "support/sim_process.h"

namespace simtest {

using cd = std::complex<double>;
using cf = std::complex<float>;
using Points = std::vector<uint16_t>;

// How long a read waits for bytes that must come: far beyond the line time, since on a
// machine whose cores are all busy the pseudo-terminal passes bytes on seconds late.
constexpr int due_ms = 30000;
constexpr uint64_t ms = 1000000;

// The host end: the terminal opened and set to raw mode by hand.
struct Port {
    int fd;
    explicit Port(const std::string& path) : fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        termios t;
        EXPECT_TRUE(fd >= 0 && tcgetattr(fd, &t) == 0) << path;
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
    ~Port() { ::close(fd); }
    void send(const std::string& bytes) { EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size())); }
    // Reads until n bytes have come or no byte came for due_ms.
    std::string read(size_t n) { return simproc::read_bytes(fd, n, -1, due_ms); }
};

// Host messages: a register write of 1, 2 or 8 bytes (little-endian), a FIFO read, a sweep set-up.
inline std::string write(uint8_t reg, uint64_t v, int bytes) {
    std::string m{char(bytes == 1 ? 0x20 : bytes == 2 ? 0x21 : 0x23), char(reg)};
    for (int i = 0; i < bytes; i++) m += char(v >> (8 * i));
    return m;
}
inline std::string restart() { return write(0x30, 0, 1); }
inline std::string fifo(uint8_t count) { return {char(0x18), char(0x30), char(count)}; }
inline std::string setup(uint64_t start, uint64_t step, uint16_t points, uint8_t mode = 1) {
    return write(0x00, start, 8) + write(0x10, step, 8) + write(0x20, points, 2) + write(0x40, mode, 1) + restart();
}

struct Record { cd a1, b1, b2; uint16_t point; };

// The records in bytes; each must have its last six bytes zero.
inline std::vector<Record> decode(const std::string& bytes) {
    std::vector<Record> out;
    for (size_t at = 0; at + 32 <= bytes.size(); at += 32) {
        auto le = [&](size_t k, int n, uint32_t v = 0) {
            while (n--) v = v << 8 | uint8_t(bytes[at + k + size_t(n)]);
            return v;
        };
        auto wave = [&](size_t k) { return cd(int32_t(le(k, 4)), int32_t(le(k + 4, 4))); };
        EXPECT_GE(bytes.find_first_not_of('\0', at + 26), at + 32) << "record " << at / 32;
        out.push_back({wave(0), wave(8), wave(16), uint16_t(le(24, 2))});
    }
    return out;
}

// The device with a host that gives the time of each step.
struct Host {
    sim::Device dev;
    Host() { dev.set_rate(1000); }  // one point per ms
    void send(const std::string& m, uint64_t t) {
        dev.receive(reinterpret_cast<const uint8_t*>(m.data()), m.size(), t);
    }
    std::string take(uint64_t t) {
        dev.advance(t);
        return std::exchange(dev.output(), std::string());
    }
    // A sweep set up at time t and read in batches of 200 a second apart: the records.
    std::vector<Record> sweep(uint64_t t, uint64_t start, uint64_t step, uint16_t points, uint8_t mode = 1) {
        send(setup(start, step, points, mode), t);
        std::string bytes;
        for (size_t done = 0; done < points; done += 200) {
            send(fifo(uint8_t(std::min<size_t>(200, points - done))), t += 1000 * ms);
            bytes += take(t);
        }
        EXPECT_EQ(decode(bytes).size(), points);
        return decode(bytes);
    }
};

}  // namespace simtest
