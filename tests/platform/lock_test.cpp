#include "platform/lock.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

TEST(DrawingLock, NeverLetsTwoThreadsIn) {
    unlock();  // releasing a free lock must not leave it able to admit two holders
    unlock();
    long counter = 0;  // deliberately not atomic: a broken lock shows as a data race
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::vector<std::thread> threads;
    constexpr int THREADS = 4, ROUNDS = 20000;
    for (int t = 0; t < THREADS; t++) {
        threads.emplace_back([&] {
            for (int i = 0; i < ROUNDS; i++) {
                lock();
                if (inside.fetch_add(1) != 0) overlaps++;
                counter++;
                inside.fetch_sub(1);
                unlock();
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(counter, long(THREADS) * ROUNDS);
    EXPECT_EQ(video_lock.load(), 0);
}

}  // namespace
