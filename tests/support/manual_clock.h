// Runs a test on a ManualClock: every clock reading and sleep of the runtime uses it until
// the guard goes out of scope.
#pragma once

#include "platform/clock.h"

class ScopedManualClock {
public:
    explicit ScopedManualClock(uint64_t start_ns = 1000000000ull) : clock(start_ns) {
        set_clock_source(&clock);
    }
    ~ScopedManualClock() { set_clock_source(nullptr); }
    ScopedManualClock(const ScopedManualClock&) = delete;
    ScopedManualClock& operator=(const ScopedManualClock&) = delete;

    ManualClock clock;
};
