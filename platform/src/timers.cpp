#include "platform/timers.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "platform/cycle.h"

TIMER tim[TIMERS];
std::atomic<int> nutim{0};

namespace {

// Serialises changes of a slot against the scan. The scan does not hold it while a timer
// function runs, so a timer function may arm or remove timers itself.
// Never destroyed: the service thread still waits on them while the process exits.
std::mutex& tim_mutex = *new std::mutex;

// Bumped whenever a slot is armed or freed: the scan sees whether the slot was changed
// while its function ran (a one-shot timer that re-armed itself stays armed).
uint32_t tim_generation[TIMERS];

// Wakes the timer service when a slot was armed, so that it can sleep until the next due
// call instead of scanning every 1 ms.
std::condition_variable& tim_wake = *new std::condition_variable;
bool tim_changed = false;

bool is_function(task_fn f) { return reinterpret_cast<uintptr_t>(f) > 255; }

uint32_t magnitude(int32_t v) { return v < 0 ? 0u - uint32_t(v) : uint32_t(v); }

void free_slot(int i) {
    tim[i].enabled.store(0);
    tim[i].sub.store(nullptr);
    tim_generation[i]++;
}

}  // namespace

int exec_timer(task_fn subroutine, int32_t interval, int32_t fra_quanto) {
    if (!subroutine) return -1;
    std::lock_guard<std::mutex> guard(tim_mutex);
    const int used = nutim.load();
    int slot = -1;
    for (int i = 0; i < used && slot < 0; i++)
        if (tim[i].sub.load() == subroutine) slot = i;
    for (int i = 0; i < used && slot < 0; i++)
        if (tim[i].sub.load() == nullptr) slot = i;
    if (slot < 0) {
        if (used >= TIMERS) return -1;
        slot = used;
        nutim.store(used + 1);
    }
    TIMER& t = tim[slot];
    t.enabled.store(0);
    t.periodo.store(magnitude(interval));
    t.next.store(_time(nullptr) + magnitude(fra_quanto));
    t.sub.store(subroutine);
    tim_generation[slot]++;
    t.enabled.store(1);
    tim_changed = true;
    tim_wake.notify_one();
    return 0;
}

int remove_timer(task_fn subroutine) {
    if (!subroutine) return -1;
    std::lock_guard<std::mutex> guard(tim_mutex);
    const int used = nutim.load();
    for (int i = 0; i < used; i++) {
        if (tim[i].sub.load() == subroutine) {
            free_slot(i);
            return 0;
        }
    }
    return -1;
}

void reskedule_timers() {
    const int used = nutim.load();
    for (int i = 0; i < used; i++) {
        TIMER& t = tim[i];
        task_fn f;
        uint32_t generation;
        {
            std::lock_guard<std::mutex> guard(tim_mutex);
            if (!t.enabled.load()) continue;
            const uint32_t now = _time(nullptr);
            if (int32_t(now - t.next.load()) < 0) continue;
            const uint32_t period = t.periodo.load();
            if (period != 0) {
                uint32_t next = t.next.load() + period;
                if (int32_t(now - next) >= 0) next = now + period;
                t.next.store(next);
            }
            f = t.sub.load();
            if (!is_function(f)) {
                if (period == 0) free_slot(i);
                continue;
            }
            t.enabled.store(0);
            generation = tim_generation[i];
        }
        f();
        std::lock_guard<std::mutex> guard(tim_mutex);
        if (tim_generation[i] != generation) continue;  // re-armed or removed meanwhile
        if (t.periodo.load() == 0)
            free_slot(i);
        else
            t.enabled.store(1);
    }
}

namespace {

// The service's thread. Instead of scanning every 1 ms whether or not anything is armed,
// it sleeps until the ms clock reaches the earliest `next` of an enabled slot, or until
// the table changes; it calls functions at the same ms as a 1 ms scan would, but an idle
// program does not wake 1000 times a second for nothing.
void timer_service() {
    set_thread_priority(15);
    std::unique_lock<std::mutex> lk(tim_mutex);
    for (;;) {
        const uint64_t now_ns = clock_source().now_ns();
        const uint32_t now_ms = uint32_t(now_ns / 1000000);
        bool armed = false;
        int32_t soonest = INT32_MAX;
        for (int i = 0; i < nutim.load(); i++) {
            if (!tim[i].enabled.load()) continue;
            armed = true;
            soonest = std::min(soonest, int32_t(tim[i].next.load() - now_ms));
        }
        if (armed && soonest <= 0) {
            lk.unlock();
            reskedule_timers();
            lk.lock();
            continue;
        }
        tim_changed = false;
        if (&clock_source() != &real_clock()) {
            // Another clock (tests): look again every real millisecond.
            tim_wake.wait_for(lk, std::chrono::milliseconds(1));
        } else if (!armed) {
            tim_wake.wait(lk, [] { return tim_changed; });
        } else {
            // The moment the ms clock reaches the soonest `next`, on CLOCK_MONOTONIC, which
            // is what steady_clock reads.
            const uint64_t due_ns = (now_ns / 1000000 + uint64_t(soonest)) * 1000000;
            const std::chrono::steady_clock::time_point due{std::chrono::nanoseconds(due_ns)};
            tim_wake.wait_until(lk, due, [] { return tim_changed; });
        }
    }
}

}  // namespace

void start_timers() {
    set_thread_priority(console_priority.load());
    static std::once_flag started;
    std::call_once(started, [] { std::thread(timer_service).detach(); });
}

void timers_reset() {
    std::lock_guard<std::mutex> guard(tim_mutex);
    for (int i = 0; i < TIMERS; i++) {
        free_slot(i);
        tim[i].periodo.store(0);
        tim[i].next.store(0);
    }
    nutim.store(0);
}
