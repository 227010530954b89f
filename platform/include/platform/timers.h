// Software timers: functions called after a delay, once or periodically, by a timer
// service that scans the table every 1 ms. Timer functions run in the timer service's
// thread, concurrently with everything else, and must be short.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/tasks.h"

inline constexpr int TIMERS = 100;

struct TIMER {
    std::atomic<task_fn> sub{nullptr};    // null when the slot is free
    std::atomic<uint32_t> periodo{0};     // period in ms; 0 for a one-shot timer
    std::atomic<uint32_t> next{0};        // ms clock of the next call
    std::atomic<char> enabled{0};         // 1 while the slot may fire
};

extern TIMER tim[TIMERS];
// Slots in use from the start of the table; grows, never shrinks.
extern std::atomic<int> nutim;

// Arms subroutine with a period of interval ms (0: a single call) and a first call
// fra_quanto ms from now; negative values count as their absolute value. A function
// that already has a slot is re-armed in it. Returns -1 when all slots are taken (or
// subroutine is null), else 0.
int exec_timer(task_fn subroutine, int32_t interval, int32_t fra_quanto);
// Frees the slot of subroutine; -1 when it has none, else 0.
int remove_timer(task_fn subroutine);
// One scan of the table: calls every due function. Missed periods are skipped, never
// caught up in a burst; a slot does not fire while its own function runs.
void reskedule_timers();
// Starts the timer service (once; later calls do nothing): due functions are called within
// the ms the clock reaches their `next`, as a scan every 1 ms would; the service sleeps
// while nothing is due. The calling thread gets console_priority.
void start_timers();
// Empties the table and sets nutim to 0 (for tests and restarts; no timer may be firing).
void timers_reset();
