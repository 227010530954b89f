// The drawing lock: mutual exclusion for code that draws into the framebuffer from more
// than one thread. Not recursive.
#pragma once

#include <atomic>

// 0 when free, 1 while held.
extern std::atomic<int> video_lock;

// Waits (sleeping, not spinning) until the caller holds the lock.
void lock();
// Releases the lock; does nothing when it is free.
void unlock();
