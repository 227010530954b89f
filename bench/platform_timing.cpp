// links: platform
// Costs of the runtime's time services on a real clock: the CPU an idle program spends
// on its 1 ms machinery, and how late wait(1) and a 1 ms periodic timer wake up.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/cycle.h"
#include "platform/tasks.h"
#include "platform/timers.h"

namespace {

double cpu_seconds() {
    rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

void control_cycle_task() {
    for (;;) start_cycle();
}
// A command task as the device task is: asleep on its command word, which never changes
// here (the 100 ms timeout is the only wake-up).
std::atomic<int> command_word{0};
void command_task() {
    for (;;) task_wait_word(command_word, 0, 100);
}

void set_percentiles(benchmark::State& state, std::vector<double> late_us) {
    std::sort(late_us.begin(), late_us.end());
    state.counters["median_us"] = late_us[late_us.size() / 2];
    state.counters["p99_us"] = late_us[late_us.size() * 99 / 100];
    state.counters["max_us"] = late_us.back();
}

// The program's 1 ms machinery with nothing to do: the control cycle (task 0), the
// timer service, and a command task asleep on its word, for 10 s.
void IdleCpu(benchmark::State& state) {
    for (auto _ : state) {
        start_timers();
        exec_task(control_cycle_task, 0, plc_priority.load());
        exec_task(command_task, 1, 0);
        const double cpu0 = cpu_seconds();
        const auto t0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double cpu = cpu_seconds() - cpu0;
        remove_task(0);
        remove_task(1);
        state.counters["cpu_percent_of_one_core"] = 100.0 * cpu / wall;
    }
}
BENCHMARK(IdleCpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void WaitOneMsLateness(benchmark::State& state) {
    std::vector<double> late;
    for (auto _ : state) {
        const uint32_t t0 = micro_timer();
        wait(1);
        late.push_back(double(int32_t(micro_timer() - t0)) - 1000.0);
    }
    set_percentiles(state, late);
}
BENCHMARK(WaitOneMsLateness)->Iterations(3000)->Unit(benchmark::kMicrosecond);

constexpr int TIMER_CALLS = 3000;
std::atomic<int> timer_calls{0};
uint64_t timer_stamps[TIMER_CALLS];
void stamp_timer() {
    int n = timer_calls.load();
    if (n < TIMER_CALLS) timer_stamps[n] = clock_source().now_ns();
    timer_calls.store(n + 1);
}

// A 1 ms periodic timer is due whenever the ms clock ticks, so a call is late by its
// distance from the latest ms boundary; periods that got no call at all are counted apart.
void PeriodicTimerLateness(benchmark::State& state) {
    start_timers();
    for (auto _ : state) {
        timer_calls = 0;
        exec_timer(stamp_timer, 1, 1);
        while (timer_calls.load() < TIMER_CALLS) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        remove_timer(stamp_timer);
    }
    std::vector<double> late;
    for (uint64_t t : timer_stamps) late.push_back(double(t % 1000000) / 1000.0);
    set_percentiles(state, late);
    const uint64_t periods = timer_stamps[TIMER_CALLS - 1] / 1000000 - timer_stamps[0] / 1000000 + 1;
    state.counters["missed_periods"] = double(periods - TIMER_CALLS);
}
BENCHMARK(PeriodicTimerLateness)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
