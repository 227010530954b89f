#include "platform/cycle.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/clock.h"
#include "platform/tasks.h"

std::atomic<int> plc_priority{15};
std::atomic<int> console_priority{0};
std::atomic<uint32_t> ORA{0};
std::atomic<uint32_t> plc_time{0};
std::atomic<uint32_t> query_holdline{0};
std::atomic<uint32_t> query_line{0};
std::atomic<uint32_t> query_rx{0};

namespace {

// Owned by the thread that runs the cycle.
constexpr size_t QUERY_BYTES = 256;
constexpr uint32_t QUERY_RETRY_MS = 100;
std::string query_name = FILEIN1;
int hInFile1 = -1;
void* InBuf1 = nullptr;
bool query_tried = false;
uint32_t query_last_try = 0;
double previous_seconds = 0.0;

thread_local int applied_priority = 0;
thread_local bool priority_applied = false;

void take_query_word(uint32_t now_ms) {
    if (hInFile1 < 0) {
        // A missing object is looked for again only every 100 ms, not every cycle.
        if (query_tried && now_ms - query_last_try < QUERY_RETRY_MS) return;
        query_tried = true;
        query_last_try = now_ms;
        hInFile1 = shm_open(query_name.c_str(), O_RDWR | O_CLOEXEC, 0);
        return;
    }
    if (!InBuf1) {
        // An object shorter than the word (created but not sized yet) would fault on access.
        struct stat st;
        if (fstat(hInFile1, &st) != 0 || st.st_size < off_t(sizeof(uint32_t))) return;
        void* p = mmap(nullptr, QUERY_BYTES, PROT_READ | PROT_WRITE, MAP_SHARED, hInFile1, 0);
        if (p != MAP_FAILED) InBuf1 = p;
        return;
    }
    // The other process writes the word and waits for it to become 0 again. Taking it with
    // a compare-exchange leaves a word posted meanwhile for the next cycle instead of
    // erasing it.
    std::atomic_ref<uint32_t> word(*static_cast<uint32_t*>(InBuf1));
    uint32_t value = word.load();
    query_holdline.store(value);
    if (value != 0) {
        if (word.compare_exchange_strong(value, 0)) query_line.store(value);
        query_holdline.store(0);
    }
    query_rx.fetch_add(1);
}

}  // namespace

void query_word_use_name(const char* name) {
    if (InBuf1) munmap(InBuf1, QUERY_BYTES);
    if (hInFile1 >= 0) close(hInFile1);
    InBuf1 = nullptr;
    hInFile1 = -1;
    query_tried = false;
    query_name = name ? name : FILEIN1;
}

void start_cycle() {
    const int priority = plc_priority.load();
    if (priority != 0) {
        if (!priority_applied || applied_priority != priority) {
            set_thread_priority(priority);
            applied_priority = priority;
            priority_applied = true;
        }
        // On the shared 1 ms grid: the cycle wakes together with the page loop.
        task_sleep_tick();
    }
    const uint32_t now = _time(nullptr);
    ORA.store(now);
    const double seconds = ___ftime.load();
    plc_time.store(uint32_t(int64_t((seconds - previous_seconds) * 1e6)));
    previous_seconds = seconds;
    take_query_word(now);
}
