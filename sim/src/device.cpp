#include "sim/device.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace sim {
namespace {

int32_t to_count(double v)
{
    return int32_t(std::clamp(std::llround(v), (long long)INT32_MIN, (long long)INT32_MAX));
}

void put32(uint8_t* p, int32_t v)
{
    auto u = uint32_t(v);
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(u >> (8 * i));
}

const char* register_name(uint8_t reg)
{
    switch (reg) {
    case 0x00: return " (start)";
    case 0x10: return " (step)";
    case 0x20: return " (points)";
    case 0x30: return " (restart)";
    case 0x40: return " (mode)";
    default: return " (unknown)";
    }
}

std::string hex(unsigned v)
{
    char b[8];
    std::snprintf(b, sizeof b, "0x%02X", v);
    return b;
}

}  // namespace

void encode_record(const Record& r, uint8_t out[record_size])
{
    put32(out + 0, r.a1_re);
    put32(out + 4, r.a1_im);
    put32(out + 8, r.b1_re);
    put32(out + 12, r.b1_im);
    put32(out + 16, r.b2_re);
    put32(out + 20, r.b2_im);
    out[24] = uint8_t(r.point);
    out[25] = uint8_t(r.point >> 8);
    std::fill(out + 26, out + record_size, uint8_t(0));
}

Device::Device() { reset(0); }

void Device::reset(uint64_t now_ns)
{
    start_hz_ = 1000000;
    step_hz_ = 1000000;
    points_ = 401;
    mode_ = 1;
    base_ns_ = now_ns;
    base_count_ = 0;
    next_seq_ = 0;
    pending_ = 0;
    in_.clear();
    out_.clear();
    drop_next_ = dropping_ = 0;
    answering_ = false;
}

void Device::set_silent(bool on)
{
    silent_ = on;
    if (on) {
        in_.clear();
        pending_ = 0;
        answering_ = false;
    }
}

double Device::period_ns() const { return 1e9 * (mode_ == 4 ? 4.0 : 1.0) / rate_; }

uint64_t Device::measured(uint64_t now_ns) const
{
    if (now_ns <= base_ns_) return base_count_;
    return base_count_ + uint64_t(double(now_ns - base_ns_) / period_ns());
}

void Device::rebase(uint64_t now_ns)
{
    base_count_ = measured(now_ns);
    base_ns_ = std::max(base_ns_, now_ns);
}

double Device::frequency(uint16_t point) const { return double(start_hz_ + step_hz_ * point); }

Record Device::measure(uint16_t point)
{
    double f = frequency(point);
    RawRatios raw = raw_ratios(dut_, f, realistic_);
    cplx a1 = incident(f), b1 = a1 * raw.s11, b2 = a1 * raw.s21;
    if (noise_ > 0) {
        double sigma = noise_ * std::abs(a1) * (mode_ == 4 ? 0.5 : 1.0);
        b1 += cplx(sigma * normal_(rng_), sigma * normal_(rng_));
        b2 += cplx(sigma * normal_(rng_), sigma * normal_(rng_));
    }
    return {to_count(a1.real()), to_count(a1.imag()), to_count(b1.real()), to_count(b1.imag()),
            to_count(b2.real()), to_count(b2.imag()), point};
}

void Device::receive(const uint8_t* data, size_t n, uint64_t now_ns)
{
    if (silent_) {
        if (trace) trace("ignored " + std::to_string(n) + " bytes (silent)");
        return;
    }
    in_.append(reinterpret_cast<const char*>(data), n);
    advance(now_ns);
}

void Device::answer(const uint8_t* p, size_t n)
{
    if (!answering_) {
        answering_ = true;
        dropping_ = drop_next_;
        drop_next_ = 0;
    }
    size_t skip = std::min(dropping_, n);
    dropping_ -= skip;
    out_.append(reinterpret_cast<const char*>(p) + skip, n - skip);
}

void Device::advance(uint64_t now_ns)
{
    for (;;) {
        if (pending_ > 0) {
            uint64_t m = measured(now_ns);
            if (m > next_seq_ + fifo_depth) {
                // The FIFO filled up meanwhile: measuring paused when it was full and
                // resumes now that the host reads again.
                base_count_ = next_seq_ + fifo_depth;
                base_ns_ = now_ns;
                m = base_count_;
            }
            uint8_t rec[record_size];
            while (pending_ > 0 && next_seq_ < m) {
                encode_record(measure(uint16_t(next_seq_ % std::max<uint16_t>(points_, 1))), rec);
                answer(rec, record_size);
                ++next_seq_;
                --pending_;
            }
            if (pending_ > 0) return;
            answering_ = false;
        }
        size_t before = in_.size();
        take_messages(now_ns);
        if (pending_ == 0 || in_.size() == before) return;
    }
}

uint64_t Device::next_event_ns() const
{
    if (pending_ == 0) return no_event;
    if (next_seq_ < base_count_) return base_ns_;
    return base_ns_ + uint64_t(std::ceil(double(next_seq_ + 1 - base_count_) * period_ns()));
}

void Device::take_messages(uint64_t now_ns)
{
    size_t i = 0;
    auto byte = [&](size_t k) { return uint8_t(in_[i + k]); };
    while (i < in_.size() && pending_ == 0) {
        uint8_t cmd = byte(0);
        size_t len = cmd == 0x0D ? 1 : cmd == 0x20 || cmd == 0x18 ? 3 : cmd == 0x21 ? 4 : cmd == 0x23 ? 10 : 0;
        if (len == 0) {
            if (trace) trace("skipped byte " + hex(cmd));
            ++i;
            continue;
        }
        if (in_.size() - i < len) break;  // the rest of the message has not arrived yet
        if (cmd == 0x0D) {
            if (trace) trace("check");
            const uint8_t two = '2';
            answer(&two, 1);
            answering_ = false;
        } else if (cmd == 0x18) {
            uint8_t reg = byte(1), count = byte(2);
            if (trace) trace("read FIFO " + hex(reg) + ", " + std::to_string(count) + " records");
            if (reg == 0x30) pending_ = count;
        } else {
            int bytes = cmd == 0x20 ? 1 : cmd == 0x21 ? 2 : 8;
            uint64_t v = 0;
            for (int k = bytes - 1; k >= 0; --k) v = v << 8 | byte(size_t(2 + k));
            write_register(byte(1), v, bytes, now_ns);
        }
        i += len;
    }
    in_.erase(0, i);
}

void Device::write_register(uint8_t reg, uint64_t value, int bytes, uint64_t now_ns)
{
    if (trace)
        trace("write " + hex(reg) + register_name(reg) + " = " + std::to_string(value) + " (" +
              std::to_string(8 * bytes) + "-bit)");
    switch (reg) {
    case 0x00: start_hz_ = value; break;
    case 0x10: step_hz_ = value; break;
    case 0x20: points_ = uint16_t(value); break;
    case 0x40:
        rebase(now_ns);
        mode_ = value;
        break;
    case 0x30:
        base_ns_ = now_ns;
        base_count_ = 0;
        next_seq_ = 0;
        break;
    default: break;
    }
}

}  // namespace sim
