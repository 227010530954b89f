// Threads under two schemes, and the pause that every polling loop uses.
//
// Numbered tasks (0 to 31) are long-lived services with a fixed number: 0 is the control
// cycle, 2n+24 and 2n+25 the receive and transmit pumps of serial port record n.
// Hidden tasks are anonymous threads from a table of 100 entries, known by the entry
// index plus 1 (1 to 100; 0 means none).
//
// Stopping. A task is never killed asynchronously. remove_task and remove_task_hidden
// ask the task to stop and wait until it does; the task stops at its next stop point,
// where TaskStopped is thrown and unwinds its stack (destructors release what it owned)
// up to the runtime's start routine. Nothing after that point of the task's code runs.
// The stop points are: wait(), task_sleep_ms(), task_sleep_tick(), task_wait_word(),
// task_stop_point(), the sleep of start_cycle(), and the waits of the serial pumps. A task
// must not swallow TaskStopped (catch (...) without rethrowing) and must reach a stop point
// every few milliseconds (task_wait_word counts as one however long it sleeps).
#pragma once

#include <atomic>
#include <cstdint>

// Thrown at a stop point of a task that has been asked to stop. Deliberately not derived
// from std::exception, so that handlers for ordinary errors do not catch it.
struct TaskStopped {};

using task_fn = void (*)();
using hidden_task_fn = void (*)(void*);

inline constexpr int TASK_NUMBERS = 32;
inline constexpr int HIDDEN_TASKS = 100;

// Platform priority values as the runtime's callers give them.
inline constexpr int PRIORITY_IDLE = -15;
inline constexpr int PRIORITY_NORMAL = 0;
inline constexpr int PRIORITY_TIME_CRITICAL = 15;

// 1 while the numbered task runs (from exec_task until remove_task, whether or not its
// thread has ended by itself), else 0.
extern std::atomic<int> thread_mask[TASK_NUMBERS];

// The number of the numbered task running in this thread (-1 elsewhere). Stored by the
// task's start routine before its function is called; per thread, so two tasks started
// in quick succession each see their own number.
extern thread_local int thread__num;

// Starts fun as task numtask (0 to 31) after a 10 ms pause. Returns 1 when that task
// already runs (nothing else happens), -1 for a number outside 0..31 or a thread that
// cannot be started, else 0.
int exec_task(task_fn fun, int numtask, int priority);
// Stops task numtask and waits for its thread to end (from inside the task itself: asks
// it to stop at its next stop point and returns). Returns 1 when it does not run, else 0.
int remove_task(int numtask);

// Starts sub(arg) in the first free hidden-task entry. priority is clamped to -2..2.
// Returns the entry's number 1..100, or 0 when all entries are taken or the thread cannot
// be started. An entry is taken until remove_task_hidden, even after its thread ended.
unsigned exec_task_hidden(hidden_task_fn sub, void* arg, int priority);
// Stops the hidden task and frees its entry. -1 for 0, a number above 100 or a free
// entry, else 0.
int remove_task_hidden(unsigned num);

// Pause of n ms: never returns before micro_timer() has passed the deadline taken at the
// call (µs resolution, 32-bit wrap-safe). Sleeps, never spins. wait(0) returns at once.
// A stop point.
void wait(int n);
// Sleeps at least ms milliseconds. A stop point.
void task_sleep_ms(int ms);
// Sleeps until word no longer holds old, at most timeout_ms (it may also return early
// without a change); returns at once when word does not hold old. A stop point: a task
// asked to stop while it waits here ends at once, not after the timeout. A task that waits
// for a command word costs nothing while no command comes, where a 1 ms poll wakes it
// 1000 times a second.
void task_wait_word(const std::atomic<int>& word, int old, int timeout_ms);
// Wakes every thread waiting in task_wait_word on word. Call after changing it.
void task_wake_word(const std::atomic<int>& word);
// Sleeps until the next whole millisecond of the clock (next_ms_tick_ns): every 1 ms loop
// that sleeps here wakes on the same grid, so the machine wakes once per millisecond
// however many such loops run. A stop point.
void task_sleep_tick();
// Throws TaskStopped when the calling task has been asked to stop; else returns.
void task_stop_point();
// True when the calling task has been asked to stop (false outside tasks).
bool task_stop_requested();

// Applies a platform priority value to the calling thread, as far as the system allows
// (a nice value; refused changes are ignored).
void set_thread_priority(int priority);

// Has no effect on this platform.
void v_tik(unsigned char x);
