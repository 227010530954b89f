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
// frame is being filled. Only the swaps take the mutex.
std::mutex handover_mutex;
std::vector<uint32_t> frames[3];
int back = 0;    // refreshing thread
int ready = 1;   // under handover_mutex
int front = 2;   // window thread
bool ready_is_new = false;  // under handover_mutex
std::atomic<uint64_t> frames_handed{0};

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
    size_t n = size_t(crtx) * size_t(crty);
    if (frames[back].size() != n) {
        std::lock_guard<std::mutex> hold(handover_mutex);
        for (auto& f : frames) f.resize(n);
    }
    std::memcpy(frames[back].data(), dx_surface, n * sizeof(uint32_t));
    {
        std::lock_guard<std::mutex> hold(handover_mutex);
        std::swap(back, ready);
        ready_is_new = true;
    }
    frames_handed.fetch_add(1, std::memory_order_relaxed);
    if (backend && backend->frame_ready) backend->frame_ready();
    return 0;
}

uint64_t display_frames() { return frames_handed.load(std::memory_order_relaxed); }

bool display_take_frame(const uint32_t** pixels) {
    std::lock_guard<std::mutex> hold(handover_mutex);
    if (!ready_is_new) return false;
    std::swap(front, ready);
    ready_is_new = false;
    *pixels = frames[front].data();
    return true;
}
