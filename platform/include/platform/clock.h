// The runtime clock: a high-resolution monotonic counter read as 32-bit ms and µs clocks
// that wrap at 2^32 (callers use only 32-bit differences), and the seconds value of the
// latest reading.
//
// The clock source can be replaced (tests install a ManualClock) so that timer scans,
// timeouts and the control cycle run on a clock the test drives.
#pragma once

#include <atomic>
#include <cstdint>

// Where the time comes from. now_ns() is monotonic; sleep_until_ns() returns no earlier
// than the given time of this clock (it may return later).
class ClockSource {
public:
    virtual ~ClockSource() = default;
    virtual uint64_t now_ns() = 0;
    virtual void sleep_until_ns(uint64_t deadline_ns) = 0;
};

// CLOCK_MONOTONIC, sleeping with clock_nanosleep on absolute deadlines.
ClockSource& real_clock();

// A clock that moves only when told: sleeping advances it to the deadline at once, so
// code that waits runs without real sleeps and gives the same result every time.
class ManualClock : public ClockSource {
public:
    explicit ManualClock(uint64_t start_ns = 0) : now_(start_ns) {}
    uint64_t now_ns() override { return now_.load(); }
    void sleep_until_ns(uint64_t deadline_ns) override;
    void set_ns(uint64_t t) { now_.store(t); }
    void advance_ns(uint64_t d) { now_.fetch_add(d); }
    void advance_ms(uint32_t ms) { advance_ns(uint64_t(ms) * 1000000u); }
    // Largest step one sleep may take (0: straight to the deadline). A small step makes
    // waits loop several times, as they do on a busy machine.
    void set_sleep_step_ns(uint64_t step) { step_.store(step); }
    uint64_t sleeps() const { return sleeps_.load(); }

private:
    std::atomic<uint64_t> now_;
    std::atomic<uint64_t> step_{0};
    std::atomic<uint64_t> sleeps_{0};
};

// Installs the clock that every reading and sleep of the runtime uses; nullptr restores
// the real clock. Install before starting threads that read it.
void set_clock_source(ClockSource* source);
ClockSource& clock_source();

// The next whole millisecond of the clock at least 100 µs after now_ns. Loops that pace
// themselves at 1 ms sleep until it, so that they all wake together, once per millisecond,
// instead of each at its own moment.
uint64_t next_ms_tick_ns(uint64_t now_ns);

// Seconds of the latest clock reading (written by every abs_time call).
extern std::atomic<double> ___ftime;

// The clock in units of 1/granularity s, truncated toward zero, low 32 bits.
uint32_t abs_time(int granularity);
// The ms clock; also stored through pt when pt is not null.
uint32_t _time(uint32_t* pt);
// The µs clock.
uint32_t micro_timer();
