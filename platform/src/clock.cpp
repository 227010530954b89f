#include "platform/clock.h"

#include <cerrno>
#include <ctime>

std::atomic<double> ___ftime{0.0};

namespace {

class MonotonicClock final : public ClockSource {
public:
    uint64_t now_ns() override {
        timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec);
    }
    void sleep_until_ns(uint64_t deadline_ns) override {
        timespec ts;
        ts.tv_sec = time_t(deadline_ns / 1000000000u);
        ts.tv_nsec = long(deadline_ns % 1000000000u);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
        }
    }
};

// Never destroyed: tasks still sleep on it while the process exits.
ClockSource& monotonic() {
    static ClockSource* clock = new MonotonicClock;
    return *clock;
}
// Null: the monotonic clock.
std::atomic<ClockSource*> source{nullptr};

}  // namespace

ClockSource& real_clock() { return monotonic(); }

void ManualClock::sleep_until_ns(uint64_t deadline_ns) {
    sleeps_.fetch_add(1);
    uint64_t now = now_.load();
    if (deadline_ns <= now) return;
    uint64_t step = step_.load();
    uint64_t to = (step != 0 && deadline_ns - now > step) ? now + step : deadline_ns;
    // Only ever forward, even when another thread moved the clock meanwhile.
    while (now < to && !now_.compare_exchange_weak(now, to)) {
    }
}

void set_clock_source(ClockSource* s) { source.store(s); }

ClockSource& clock_source() {
    ClockSource* s = source.load();
    return s ? *s : monotonic();
}

uint32_t abs_time(int granularity) {
    // The counter counts nanoseconds, so its frequency is 10^9.
    const int64_t frequency = 1000000000;
    const int64_t counter = int64_t(clock_source().now_ns());
    ___ftime.store(double(counter) / double(frequency));
    // A granularity that divides the frequency (ms, µs) needs one 64-bit division, which gives
    // the same truncated value: these clocks are read on every pass and every cycle.
    if (granularity > 0 && frequency % granularity == 0) return uint32_t(uint64_t(counter / (frequency / granularity)));
    // 128-bit product: granularity x counter overflows 64 bits after a few hours of uptime.
    __int128 t = __int128(granularity) * counter / frequency;
    return uint32_t(uint64_t(t));
}

uint32_t _time(uint32_t* pt) {
    uint32_t t = abs_time(1000);
    if (pt) *pt = t;
    return t;
}

uint32_t micro_timer() { return abs_time(1000000); }

uint64_t next_ms_tick_ns(uint64_t now_ns) {
    constexpr uint64_t MS = 1000000, AHEAD = 100000;
    const uint64_t tick = (now_ns / MS + 1) * MS;
    return tick - now_ns < AHEAD ? tick + MS : tick;
}
