// Hidden tasks and waits on the manual clock.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/tasks.h"
#include "support/eventually.h"
#include "support/manual_clock.h"

namespace {

// A hidden task that waits in a loop, counting its passes, and marks when its stack was
// unwound. It waits wait_ms, or without wait_ms on the word until a wake-up and keeps the
// value it woke up to.
struct Looper {
    std::atomic<int> passes{0}, after_stop{0}, word{0}, seen{0};
    std::atomic<bool> unwound{false};
    int wait_ms = 1;
};

void looper_body(void* p) {
    auto* l = static_cast<Looper*>(p);
    const std::unique_ptr<Looper, void (*)(Looper*)> guard(l, [](Looper* l) { l->unwound.store(true); });
    for (;;) {
        if (l->wait_ms) wait(l->wait_ms);
        if (!l->wait_ms) {
            task_wait_word(l->word, l->seen.load(), 24 * 3600 * 1000);
            l->seen.store(l->word.load());
        }
        if (task_stop_requested()) l->after_stop.fetch_add(1);  // must never run
        l->passes.fetch_add(1);
    }
}

std::atomic<bool> ran{false};
void returns_at_once(void*) { ran = true; }

// Removes every hidden task a test started, so that tests do not see each other's entries.
class HiddenTasks : public ::testing::Test {
protected:
    void TearDown() override {
        for (unsigned n : started) remove_task_hidden(n);
    }
    unsigned start(hidden_task_fn f, void* arg) { return started.emplace_back(exec_task_hidden(f, arg, 0)); }
    std::vector<unsigned> started;
    // Outlive the tasks: TearDown removes them after the test body has returned.
    Looper loopers[4];
};

// Tasks 1 and 3 wait 1 ms in a loop, task 2 sleeps on its word until a wake-up.
TEST_F(HiddenTasks, NumbersAWakeUpAndRemovalAtTheNextWait) {
    Looper& sleeper = loopers[1];
    sleeper.wait_ms = 0;
    for (unsigned i = 0; i < 3; i++) EXPECT_EQ(start(looper_body, &loopers[i]), i + 1);
    for (int value : {5, 7}) {
        sleeper.word = value;
        task_wake_word(sleeper.word);
        EXPECT_TRUE(eventually([&] { return sleeper.seen.load() == value; })) << value;
    }
    // Removal returns only once the task has stopped, also from a sleep on a word or from the
    // middle of a one-minute wait: its stack is unwound by then, and no code after the wait ran.
    auto removed = [](unsigned n, Looper& l) {
        const int result = remove_task_hidden(n);
        const int passes = l.passes.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return std::tuple(result, l.unwound.load(), l.passes.load() - passes, l.after_stop.load());
    };
    EXPECT_EQ(removed(2, sleeper), std::tuple(0, true, 0, 0));
    // Freeing one entry makes exactly that number available again.
    EXPECT_EQ((std::tuple{remove_task_hidden(2), remove_task_hidden(0), remove_task_hidden(HIDDEN_TASKS + 1)}),
              std::tuple(-1, -1, -1));
    loopers[3].wait_ms = 60000;
    ASSERT_EQ(start(looper_body, &loopers[3]), 2u);
    ASSERT_TRUE(eventually([&] { return loopers[0].passes.load() >= 3; }));
    EXPECT_EQ(removed(1, loopers[0]), std::tuple(0, true, 0, 0));
    EXPECT_EQ(removed(2, loopers[3]), std::tuple(0, true, 0, 0));
    // A task that ended by itself keeps its entry until it is removed.
    ran = false;
    const unsigned first = start(returns_at_once, nullptr);
    ASSERT_TRUE(eventually([] { return ran.load(); }));
    EXPECT_NE(start(returns_at_once, nullptr), first);
}

TEST(Wait, NeverEarlyNeverLateAcrossTheWrapOfTheMicrosecondClock) {
    const uint64_t wrap_ns = (uint64_t(1) << 32) * 1000;  // the µs clock wraps here
    for (uint64_t start : {wrap_ns - 1500000, wrap_ns - 999, wrap_ns - 3000000, wrap_ns + 1, 5 * wrap_ns - 1,
                           uint64_t(123456789)})
        for (uint64_t step : {uint64_t(0), uint64_t(700000), uint64_t(333)})
            for (int n : {1, 3, 10}) {
                ScopedManualClock c(start);
                c.clock.set_sleep_step_ns(step);
                wait(n);
                const uint64_t elapsed = c.clock.now_ns() - start;
                // Not early by the µs clock, and not late by more than a µs.
                EXPECT_TRUE(elapsed + start % 1000 >= uint64_t(n) * 1000000 && elapsed < uint64_t(n) * 1000000 + 1000)
                    << "start " << start << " n " << n << " elapsed " << elapsed;
            }
    ScopedManualClock c(1234567);
    task_sleep_tick();
    EXPECT_EQ(c.clock.now_ns(), 2000000u);
    // 50 minutes is more than the 32-bit µs clock can hold as a signed difference.
    wait(3000000);
    EXPECT_GE(c.clock.now_ns() - 2000000u, uint64_t(3000000) * 1000000);
}

}  // namespace
