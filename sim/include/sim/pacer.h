// The line rate of a serial link, for a pseudo-terminal that has none: bytes leave one
// after another, each taking 1/bytes_per_s, and a byte may be written only once its
// transmission would have ended. Pure arithmetic on the caller's clock.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {

inline constexpr double line_bytes_per_s = 11520.0;  // 115200 baud, 8N1: ten bits a byte

class Pacer {
public:
    explicit Pacer(double bytes_per_s = line_bytes_per_s) : bytes_per_s_(bytes_per_s) {}

    void set_enabled(bool on)
    {
        enabled_ = on;
        busy_ = false;
    }
    bool enabled() const { return enabled_; }

    // How many of the `queued` waiting bytes have left the line by now_ns. The first call
    // after the queue was empty starts their transmission at now_ns (or when the line is
    // free again).
    size_t due(size_t queued, uint64_t now_ns);
    // n of them were written; `left` bytes still wait.
    void sent(size_t n, size_t left);
    // When to look again: the time by which `batch` more bytes (or all `queued`) are due.
    uint64_t wake_ns(size_t queued, size_t batch) const;

private:
    uint64_t done_ns(uint64_t index) const { return start_ns_ + uint64_t(double(index + 1) * 1e9 / bytes_per_s_); }

    double bytes_per_s_;
    bool enabled_ = true;
    bool busy_ = false;       // a burst is on the line
    uint64_t start_ns_ = 0;   // when the current burst began
    uint64_t index_ = 0;      // bytes of the burst already written
    uint64_t free_ns_ = 0;    // when the last written byte left the line
};

}  // namespace sim
