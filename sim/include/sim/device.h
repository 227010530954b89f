// The analyser's register protocol and sweep, without any I/O: host bytes and the time go
// in, answer bytes come out.
//
// Host messages: 0x0D (device check, answered "2"); 0x20 reg value8; 0x21 reg value16;
// 0x23 reg value64 (little-endian); 0x18 reg count (FIFO read). Registers: 0x00 start
// frequency (Hz), 0x10 step (Hz), 0x20 points, 0x40 mode (4 = slow), 0x30 restart (any
// write restarts the sweep at point 0) and FIFO. Unknown bytes are skipped.
//
// The instrument sweeps points 0 … points − 1 over and over at `rate` points per second
// (a quarter of that, with half the noise, in slow mode). Measured records wait in a FIFO
// of `fifo_depth` records; while it is full, measuring pauses, so a host that reads
// slower than the instrument measures still gets the points in order. A FIFO read is
// answered with exactly `count` records of 32 bytes, each sent once it has been
// measured; the messages after it are taken only when it has been answered.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>

#include "sim/model.h"

namespace sim {

inline constexpr size_t record_size = 32;
inline constexpr uint64_t fifo_depth = 4096;

struct Record {
    int32_t a1_re, a1_im, b1_re, b1_im, b2_re, b2_im;
    uint16_t point;
};

// The 32 bytes of a record as the device sends them (the last six zero).
void encode_record(const Record& r, uint8_t out[record_size]);

class Device {
public:
    Device();

    // Host bytes received at now_ns.
    void receive(const uint8_t* data, size_t n, uint64_t now_ns);
    // Sends what has been measured by now_ns and takes the messages that were waiting.
    void advance(uint64_t now_ns);
    // When advance has more to do (the next record of a FIFO read is measured), or
    // no_event when it waits for host bytes only.
    static constexpr uint64_t no_event = UINT64_MAX;
    uint64_t next_event_ns() const;

    // Answer bytes produced so far; the owner takes them out.
    std::string& output() { return out_; }

    void set_dut(Dut dut) { dut_ = std::move(dut); }
    const Dut& dut() const { return dut_; }
    void set_noise(double sigma) { noise_ = sigma; }
    void set_rate(double points_per_s) { rate_ = points_per_s; }
    void set_realistic(bool on) { realistic_ = on; }
    void set_seed(uint64_t seed) { rng_.seed(seed); }
    // Silent: takes no messages and answers nothing (bytes are read and thrown away).
    void set_silent(bool on);
    // Leaves out the first n bytes of the next answer.
    void drop_next_answer(size_t n) { drop_next_ = n; }
    // Back to power-up state (registers, sweep, waiting input), keeping the device and
    // the settings above.
    void reset(uint64_t now_ns);
    // Receives a readable line for every host message.
    std::function<void(const std::string&)> trace;

    // The reading of one point, as it would be sent now (noise drawn from the generator).
    Record measure(uint16_t point);
    double frequency(uint16_t point) const;

private:
    void take_messages(uint64_t now_ns);
    void write_register(uint8_t reg, uint64_t value, int bytes, uint64_t now_ns);
    uint64_t measured(uint64_t now_ns) const;
    double period_ns() const;
    void rebase(uint64_t now_ns);
    void answer(const uint8_t* p, size_t n);
    void end_answer() { dropping_ = 0; }

    Dut dut_;
    double noise_ = 0, rate_ = 20000;
    bool realistic_ = false, silent_ = false;
    std::mt19937_64 rng_{1};
    std::normal_distribution<double> normal_;

    uint64_t start_hz_ = 1000000, step_hz_ = 1000000, mode_ = 1;
    uint16_t points_ = 401;

    // Sweep: `base_count_` records measured by `base_ns_`; `next_seq_` is the next one to
    // send (its point is next_seq_ mod points).
    uint64_t base_ns_ = 0, base_count_ = 0, next_seq_ = 0;
    uint64_t pending_ = 0;  // records still owed to the current FIFO read
    std::string in_;        // host bytes not yet taken
    std::string out_;
    size_t drop_next_ = 0, dropping_ = 0;
    bool answering_ = false;
};

}  // namespace sim
