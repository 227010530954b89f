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

TEST_F(HiddenTasks, NumbersStartAtOneAndRemovalStopsATaskAtItsNextWaitAndUnwindsIt) {
    for (unsigned i = 0; i < 3; i++) EXPECT_EQ(start(looper_body, &loopers[i]), i + 1);
    // Freeing one entry makes exactly that number available again (braces: left to right).
    EXPECT_EQ((std::tuple{remove_task_hidden(2), remove_task_hidden(2), remove_task_hidden(0),
                          remove_task_hidden(HIDDEN_TASKS + 1)}),
              std::tuple(0, -1, -1, -1));
    // Removal returns only once the task has stopped: its stack is unwound by then, also from
    // the middle of a one-minute wait, and no code after the wait ran.
    loopers[3].wait_ms = 60000;
    const std::pair<unsigned, Looper*> tasks[] = {{1, &loopers[0]}, {start(looper_body, &loopers[3]), &loopers[3]}};
    ASSERT_TRUE(tasks[1].first == 2 && eventually([&] { return loopers[0].passes.load() >= 3; }));
    for (auto [n, l] : tasks) {
        EXPECT_EQ(remove_task_hidden(n), 0);
        const int passes = l->passes.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(std::tuple(l->unwound.load(), l->passes.load(), l->after_stop.load()), std::tuple(true, passes, 0))
            << n;
    }
    // A task that ended by itself keeps its entry until it is removed.
    ran = false;
    const unsigned first = start(returns_at_once, nullptr);
    ASSERT_TRUE(eventually([] { return ran.load(); }));
    EXPECT_NE(start(returns_at_once, nullptr), first);
}

TEST_F(HiddenTasks, AWakeUpOrARemovalEndsTheSleepOnAWord) {
    Looper& w = loopers[0];
    w.wait_ms = 0;
    const unsigned n = exec_task_hidden(looper_body, &w, 0);
    ASSERT_NE(n, 0u);
    for (int value : {5, 7}) {
        w.word = value;
        task_wake_word(w.word);
        EXPECT_TRUE(eventually([&] { return w.seen.load() == value; })) << value;
    }
    std::atomic<bool> removed{false};
    std::thread remover([&] {
        remove_task_hidden(n);
        removed = true;
    });
    EXPECT_TRUE(eventually([&] { return removed.load(); })) << "removal did not end the sleep";
    while (!removed) {
        w.word.fetch_add(1);
        task_wake_word(w.word);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    remover.join();  // the loop above lets the task end anyway
    EXPECT_TRUE(w.unwound.load());
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
