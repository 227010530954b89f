// The control cycle: one pass of the control-cycle task (numbered task 0), paced at
// about 1 ms, on the whole milliseconds of the clock (next_ms_tick_ns) as the page loop. Each pass also takes the query word that another process may post through
// the shared-memory object FILEIN1.
#pragma once

#include <atomic>
#include <cstdint>

extern std::atomic<int> plc_priority;      // 15: time-critical
extern std::atomic<int> console_priority;  // 0: normal
extern std::atomic<uint32_t> ORA;          // ms clock at the start of the latest cycle
extern std::atomic<uint32_t> plc_time;     // length of the latest cycle in µs
extern std::atomic<uint32_t> query_holdline;
extern std::atomic<uint32_t> query_line;   // the latest non-zero word taken
extern std::atomic<uint32_t> query_rx;     // cycles that read the mapped word

// POSIX shared-memory name of the query word (opened, never created).
inline constexpr const char* FILEIN1 = "/FileIn1";

// One cycle. A stop point (its sleep to the next whole millisecond).
void start_cycle();

// Unmaps the query word and looks for it under another name from the next cycle on
// (nullptr: FILEIN1). Call from the thread that runs the cycle, or before it starts.
void query_word_use_name(const char* name);
