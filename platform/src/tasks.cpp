#include "platform/tasks.h"

#include <linux/futex.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/clock.h"

std::atomic<int> thread_mask[TASK_NUMBERS];
thread_local int thread__num = -1;

namespace {

// How long a task sleeps at most before it looks at its stop request again.
constexpr uint64_t STOP_POLL_NS = 2000000;

struct StopFlag {
    std::atomic<bool> requested{false};
    // The word the task sleeps on in task_wait_word (null otherwise), so that a stop
    // request can wake it.
    std::atomic<const std::atomic<int>*> waiting_on{nullptr};
    // Set when the task's thread has left its body.
    std::atomic<bool> ended{false};
};

// The stop flag of the task running in this thread; null outside tasks.
thread_local StopFlag* current_stop = nullptr;

// One started thread with the flag that asks it to stop.
struct Runner {
    std::shared_ptr<StopFlag> stop;
    std::thread thread;
};

int futex(const std::atomic<int>& word, int op, int value, const timespec* timeout) {
    // std::atomic<int> is lock-free and holds just the int: the kernel compares and wakes on
    // that int, as the standard library's own atomic waits do.
    return int(syscall(SYS_futex, reinterpret_cast<const int*>(&word), op, value, timeout, nullptr, 0));
}

void wake_all(const std::atomic<int>& word) { futex(word, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr); }

// Starts body() in a new thread named name (as ps and /proc show it). The thread knows its
// stop flag, applies its priority, and ends quietly when a stop point throws TaskStopped.
// False when no thread could be made.
template <class Body>
bool start_runner(Runner& r, int priority, const char* name, Body body) {
    auto stop = std::make_shared<StopFlag>();
    char thread_name[16];
    std::snprintf(thread_name, sizeof thread_name, "%s", name);
    try {
        r.thread = std::thread([stop, priority, thread_name, body]() {
            prctl(PR_SET_NAME, thread_name, 0, 0, 0);
            current_stop = stop.get();
            set_thread_priority(priority);
            try {
                body();
            } catch (const TaskStopped&) {
            }
            current_stop = nullptr;
            stop->ended.store(true);
        });
    } catch (const std::system_error&) {
        return false;
    }
    r.stop = std::move(stop);
    return true;
}

// Asks the runner's thread to stop and waits until it has; a task that removes itself
// stops at its next stop point instead.
// A task sleeping in task_wait_word is woken until it has ended: a wake-up that comes
// between its last look at the request and its sleep finds nobody to wake.
void stop_runner(Runner r) {
    r.stop->requested.store(true);
    if (r.thread.get_id() == std::this_thread::get_id()) {
        r.thread.detach();
        return;
    }
    while (!r.stop->ended.load()) {
        if (const std::atomic<int>* word = r.stop->waiting_on.load()) wake_all(*word);
        const timespec pause{0, 200000};
        nanosleep(&pause, nullptr);
    }
    r.thread.join();
}

// A hidden-task entry: its thread, null while the entry is free.
using HiddenEntry = std::unique_ptr<Runner>;

// The tables live for the whole process: threads may still run while static objects
// are destroyed at exit, so they are never destroyed.
struct Tables {
    std::mutex numbered_mutex;
    Runner numbered[TASK_NUMBERS];
    std::mutex hidden_mutex;
    HiddenEntry hidden[HIDDEN_TASKS];
};

Tables& tables() {
    static Tables* t = new Tables;
    return *t;
}

// Sleeps until the clock reads end, looking at the stop request every STOP_POLL_NS.
void sleep_until(ClockSource& clock, uint64_t now, uint64_t end) {
    while (now < end) {
        uint64_t to = current_stop ? std::min(end, now + STOP_POLL_NS) : end;
        clock.sleep_until_ns(to);
        task_stop_point();
        now = clock.now_ns();
    }
}

void sleep_ns(uint64_t duration) {
    ClockSource& clock = clock_source();
    const uint64_t now = clock.now_ns();
    sleep_until(clock, now, now + duration);
}

}  // namespace

void task_stop_point() {
    if (current_stop && current_stop->requested.load()) throw TaskStopped{};
}

bool task_stop_requested() { return current_stop && current_stop->requested.load(); }

void set_thread_priority(int priority) {
    // Sleeps of this thread end within a few µs of their deadline instead of the default
    // 50 µs slack that Linux allows itself for merging wake-ups.
    prctl(PR_SET_TIMERSLACK, 5000UL, 0, 0, 0);
    // Platform priority values to nice values; an unprivileged process may only lower its
    // priority, so refusals are expected and ignored.
    int nice_value = 0;
    if (priority >= 15)
        nice_value = -10;
    else if (priority > 0)
        nice_value = -2 * std::min(priority, 2);
    else if (priority <= -15)
        nice_value = 19;
    else if (priority < 0)
        nice_value = 2 * std::min(-priority, 2);
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), nice_value);
}

int exec_task(task_fn fun, int numtask, int priority) {
    if (numtask < 0 || numtask >= TASK_NUMBERS || !fun) return -1;
    Tables& t = tables();
    std::lock_guard<std::mutex> guard(t.numbered_mutex);
    if (thread_mask[numtask].load()) return 1;
    // Keeps consecutive starts apart, as the callers expect.
    ClockSource& clock = clock_source();
    clock.sleep_until_ns(clock.now_ns() + 10000000);
    Runner& r = t.numbered[numtask];
    char name[16];
    std::snprintf(name, sizeof name, "task%d", numtask);
    bool started = start_runner(r, priority, name, [fun, numtask]() {
        thread__num = numtask;
        fun();
    });
    if (!started) return -1;
    thread_mask[numtask].store(1);
    return 0;
}

int remove_task(int numtask) {
    if (numtask < 0 || numtask >= TASK_NUMBERS) return 1;
    Runner r;
    {
        Tables& t = tables();
        std::lock_guard<std::mutex> guard(t.numbered_mutex);
        if (!thread_mask[numtask].load()) return 1;
        r = std::move(t.numbered[numtask]);
        t.numbered[numtask] = Runner{};
        thread_mask[numtask].store(0);
    }
    stop_runner(std::move(r));
    return 0;
}

unsigned exec_task_hidden(hidden_task_fn sub, void* arg, int priority) {
    if (!sub) return 0;
    priority = std::clamp(priority, -2, 2);
    Tables& t = tables();
    std::lock_guard<std::mutex> guard(t.hidden_mutex);
    for (unsigned i = 0; i < HIDDEN_TASKS; i++) {
        HiddenEntry& e = t.hidden[i];
        if (e) continue;
        auto r = std::make_unique<Runner>();
        char name[16];
        std::snprintf(name, sizeof name, "hidden%u", i + 1);
        if (!start_runner(*r, priority, name, [sub, arg]() { sub(arg); })) return 0;
        e = std::move(r);
        return i + 1;
    }
    return 0;
}

int remove_task_hidden(unsigned num) {
    if (num == 0 || num > HIDDEN_TASKS) return -1;
    std::unique_ptr<Runner> r;
    {
        Tables& t = tables();
        std::lock_guard<std::mutex> guard(t.hidden_mutex);
        HiddenEntry& e = t.hidden[num - 1];
        if (!e) return -1;
        r = std::move(e);
    }
    stop_runner(std::move(*r));
    return 0;
}

void wait(int n) {
    // Waits longer than the 32-bit µs clock can express go in parts.
    constexpr int PART_MS = 1000000;
    while (n > PART_MS) {
        wait(PART_MS);
        n -= PART_MS;
    }
    if (n > 0) {
        const uint32_t deadline = micro_timer() + uint32_t(n) * 1000u;
        for (;;) {
            const int32_t late = int32_t(micro_timer() - deadline);
            if (late >= 0) break;
            sleep_ns(uint64_t(-int64_t(late)) * 1000u);
        }
    }
    task_stop_point();
}

void task_sleep_ms(int ms) {
    if (ms > 0) sleep_ns(uint64_t(ms) * 1000000u);
    task_stop_point();
}

void task_wait_word(const std::atomic<int>& word, int old, int timeout_ms) {
    if (current_stop) current_stop->waiting_on.store(&word);
    struct Clear {
        ~Clear() {
            if (current_stop) current_stop->waiting_on.store(nullptr);
        }
    } clear;
    task_stop_point();
    if (timeout_ms > 0 && word.load() == old) {
        const timespec timeout{timeout_ms / 1000, long(timeout_ms % 1000) * 1000000L};
        futex(word, FUTEX_WAIT_PRIVATE, old, &timeout);
    }
    task_stop_point();
}

void task_wake_word(const std::atomic<int>& word) { wake_all(word); }

void task_sleep_tick() {
    ClockSource& clock = clock_source();
    const uint64_t now = clock.now_ns();
    sleep_until(clock, now, next_ms_tick_ns(now));
    task_stop_point();
}

void v_tik(unsigned char) {}
