// Waiting in tests for something another thread or process does: a condition polled every
// millisecond, with a generous bound so that a slow machine does not fail the test.
#pragma once

#include <chrono>
#include <thread>

// Polls cond every ms until it holds (true) or timeout_ms passed (false).
template <class F>
bool eventually(F cond, int timeout_ms = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
