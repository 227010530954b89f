#include "platform/lock.h"

std::atomic<int> video_lock{0};

void lock() {
    int expected = 0;
    while (!video_lock.compare_exchange_weak(expected, 1, std::memory_order_acquire)) {
        if (expected != 0) video_lock.wait(expected, std::memory_order_relaxed);
        expected = 0;
    }
}

void unlock() {
    int expected = 1;
    if (video_lock.compare_exchange_strong(expected, 0, std::memory_order_release))
        video_lock.notify_one();
}
