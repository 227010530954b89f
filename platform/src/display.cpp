// Window settings, the main-loop thread, and the refresh hand-over between the page-loop
// thread (dx_refresh) and the window thread (display_take_frame).
#include "platform/display.h"

#include <cstring>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/framebuffer.h"
#include "platform/input.h"
#include "platform/tasks.h"

char WindowName[15] = "Corvane.64.App";
int WindowWidth = 1024;
int WindowHeight = 600;
int refresh_time = 0;
char MyDir[200] = "";

void (*sub_loop)() = nullptr;
std::atomic<uint8_t> _loop{0};

namespace {

std::atomic<bool> started{false};
// Never destroyed: the process may end (window closed, fatal display error) while the main
// loop still runs, and a joinable thread must not be destroyed.
std::thread* main_loop_thread = nullptr;
uint32_t main_loop_number = 0;  // the main loop's thread number
const DISPLAY_BACKEND* backend = nullptr;

// Three frame buffers rotate: the refreshing thread fills `back` and swaps it with
// `ready`; the window thread swaps `ready` with `front` and reads `front` while the next
// frame is being filled. Only the swaps take the mutex. A buffer is brought up to date by
// copying only the rows that changed since it was last filled: `stale[i]` holds them for
// buffer i (bits as in fb_dirty), and `ready_rows` the rows changed since the window took
// its last frame.
std::mutex handover_mutex;
std::vector<uint32_t> frames[3];
std::vector<uint64_t> stale[3];  // refreshing thread
std::vector<uint64_t> taken;     // refreshing thread: the rows handed over by this refresh
int back = 0;    // refreshing thread
int ready = 1;   // under handover_mutex
int front = 2;   // window thread
bool ready_is_new = false;        // under handover_mutex
std::vector<uint64_t> ready_rows;  // under handover_mutex
std::atomic<uint64_t> frames_handed{0};

// Copies the rows whose bits are set in `rows` from the screen into `frame`, a band of
// consecutive rows at a time.
void copy_rows(uint32_t* frame, const std::vector<uint64_t>& rows) {
    const size_t width = size_t(crtx);
    int y = 0;
    while (y < crty) {
        const uint64_t word = rows[size_t(y >> 6)] >> (y & 63);
        if (word == 0) {
            y = (y | 63) + 1;  // the rest of this word is clean
            continue;
        }
        if (!(word & 1)) {
            y += __builtin_ctzll(word);
            continue;
        }
        int end = y;
        while (end < crty && (rows[size_t(end >> 6)] >> (end & 63) & 1)) end++;
        std::memcpy(frame + size_t(y) * width, dx_surface + size_t(y) * size_t(dx_pitch),
                    size_t(end - y) * width * sizeof(uint32_t));
        y = end;
    }
}

}  // namespace

unsigned threadproc(void* para) {
    if (refresh_time == 0) palette(2);
    thread__num = int(*static_cast<uint32_t*>(para));
    set_thread_priority(PRIORITY_NORMAL);
    sub_loop();
    return 0;
}

void crt_exec(void (*fun)(), int dx, int dy) {
    if (started.exchange(true)) return;
    crtx = dx;
    crty = dy;
    sub_loop = fun;
    if (refresh_time == 0) {
        _loop = 1;
        main_loop_number = 0;
        main_loop_thread = new std::thread(threadproc, &main_loop_number);
    } else {
        palette(2);
        _loop = 0;
        fun();
    }
}

bool crt_started() { return started.load(); }

void crt_join() {
    if (main_loop_thread && main_loop_thread->joinable()) main_loop_thread->join();
}

void crt_repaint() {}
void crt_refresh() {}

void winredraw() {
    if (backend && backend->move_window) backend->move_window(startx, starty);
}

void _idle() { std::this_thread::yield(); }

void display_set_backend(const DISPLAY_BACKEND* b) { backend = b; }

int dx_refresh() {
    if (!fb_ready.load(std::memory_order_acquire)) return 0;
    if (!fb_changed.exchange(false, std::memory_order_acq_rel)) return 0;
    const size_t n = size_t(crtx) * size_t(crty);
    const size_t words = size_t(crty + 63) / 64;
    if (frames[back].size() != n) {
        // First hand-over: every buffer and the window's copy lack every row.
        std::lock_guard<std::mutex> hold(handover_mutex);
        for (int i = 0; i < 3; i++) {
            frames[i].resize(n);
            stale[i].assign(words, ~uint64_t(0));
        }
        ready_rows.assign(words, ~uint64_t(0));
        taken.assign(words, 0);
    }
    uint64_t any = 0;
    for (size_t w = 0; w < words; w++) {
        taken[w] = fb_dirty[w].exchange(0, std::memory_order_acquire);
        any |= taken[w];
    }
    if (!any) return 0;  // the rows went with the hand-over before
    // Rows past the last screen row would read beyond the framebuffer.
    if (crty & 63) taken[words - 1] &= ~uint64_t(0) >> (64 - (crty & 63));
    for (int i = 0; i < 3; i++)
        for (size_t w = 0; w < words; w++) stale[i][w] |= taken[w];
    copy_rows(frames[back].data(), stale[back]);
    std::fill(stale[back].begin(), stale[back].end(), 0);
    {
        std::lock_guard<std::mutex> hold(handover_mutex);
        std::swap(back, ready);
        ready_is_new = true;
        for (size_t w = 0; w < words; w++) ready_rows[w] |= taken[w];
    }
    frames_handed.fetch_add(1, std::memory_order_relaxed);
    if (backend && backend->frame_ready) backend->frame_ready();
    return 0;
}

uint64_t display_frames() { return frames_handed.load(std::memory_order_relaxed); }

bool display_take_frame(const uint32_t** pixels, ROW_BAND* bands, int max, int* count) {
    std::lock_guard<std::mutex> hold(handover_mutex);
    if (!ready_is_new) return false;
    std::swap(front, ready);
    ready_is_new = false;
    *pixels = frames[front].data();
    int k = 0;
    for (int y = 0; bands && max > 0 && y < crty; y++) {
        if (!(ready_rows[size_t(y >> 6)] >> (y & 63) & 1)) continue;
        if (k > 0 && bands[k - 1].last == y)
            bands[k - 1].last = y + 1;
        else if (k < max)
            bands[k++] = {y, y + 1};
        else
            bands[k - 1].last = y + 1;  // out of bands: the last one reaches on
    }
    std::fill(ready_rows.begin(), ready_rows.end(), 0);
    if (count) *count = k;
    return true;
}

bool display_take_frame(const uint32_t** pixels) { return display_take_frame(pixels, nullptr, 0, nullptr); }
