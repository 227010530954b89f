// The window shell on SDL2.
#include "platform/sdl_shell.h"

#include <SDL2/SDL.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/clock.h"
#include "platform/display.h"
#include "platform/frame_scale.h"
#include "platform/framebuffer.h"
#include "platform/input.h"
#include "platform/program_dir.h"
#include "platform/sdl_events.h"

// Xlib's types only; its functions come from the library SDL loaded (see
// catch_window_system_errors). Included last: it defines macros such as None and Bool.
#include <X11/Xlib.h>

namespace {

using GetErrorText = int (*)(Display*, int, char*, int);
GetErrorText XGetErrorText_fn = nullptr;

SDL_Window* w = nullptr;
Uint32 frame_event = 0;  // user event: a frame waits in the hand-over
Uint32 timer_event = 0;  // user event: the page-refresh timer
std::atomic<bool> frame_event_pending{false};

bool display_found = false;  // SDL runs on a display that can show a message box

// A window that cannot be made: one line on stderr (with SDL's reason), a message box when
// there is a display to show it on, status 1. Nothing of the program runs yet.
[[noreturn]] void fail(const char* message) {
    const char* reason = SDL_GetError();
    std::fprintf(stderr, "%s%s%s\n", message, reason && reason[0] ? " " : "", reason ? reason : "");
    if (display_found) SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Error!", message, w);
    std::fflush(nullptr);
    std::_Exit(1);
}

// The window system went away under the program (the display's connection lost, the
// window destroyed from outside): Xlib's own handlers would call exit() and run static
// destructors under the running threads. One line on stderr, then the program's shutdown
// and a failure status.
[[noreturn]] void window_system_lost(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    shell_exit(1);
}

int on_x_io_error(Display*) { window_system_lost("Connection to the display lost"); }

int on_x_error(Display* display, XErrorEvent* e) {
    char text[80] = "";
    if (XGetErrorText_fn) XGetErrorText_fn(display, e->error_code, text, sizeof text);
    char line[160];
    std::snprintf(line, sizeof line, "Display error: %s (request %d)", text[0] ? text : "unknown",
                  int(e->request_code));
    window_system_lost(line);
}

// SDL loads Xlib itself; the handlers are installed through that same library, so the
// shell does not link it. Installed after SDL_Init, they replace SDL's own error handler,
// which ends in Xlib's exiting one.
void catch_window_system_errors() {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "x11") != 0) return;
    void* x11 = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (!x11) return;
    using SetIo = XIOErrorHandler (*)(XIOErrorHandler);
    using SetError = XErrorHandler (*)(XErrorHandler);
    XGetErrorText_fn = reinterpret_cast<GetErrorText>(dlsym(x11, "XGetErrorText"));
    if (auto set_io = reinterpret_cast<SetIo>(dlsym(x11, "XSetIOErrorHandler"))) set_io(on_x_io_error);
    if (auto set_error = reinterpret_cast<SetError>(dlsym(x11, "XSetErrorHandler"))) set_error(on_x_error);
}

// Called on the page-loop thread by dx_refresh; one wake-up event at a time.
void frame_ready() {
    if (frame_event_pending.exchange(true)) return;
    SDL_Event e{};
    e.type = frame_event;
    if (SDL_PushEvent(&e) != 1) frame_event_pending = false;
}

void move_window(int x, int y) {
    if (w) SDL_SetWindowPosition(w, x, y);
}

const DISPLAY_BACKEND sdl_backend{frame_ready, move_window};

Uint32 refresh_tick(Uint32 interval, void*) {
    SDL_Event e{};
    e.type = timer_event;
    SDL_PushEvent(&e);
    return interval;
}

void store_client_size() {
    int cw = 0, ch = 0;
    SDL_GetWindowSize(w, &cw, &ch);
    if (SDL_GetWindowFlags(w) & SDL_WINDOW_MINIMIZED) cw = ch = 0;
    client_width = cw;
    client_height = ch;
}

void create_window() {
    SDL_DisplayMode desktop{};
    if (SDL_GetDesktopDisplayMode(0, &desktop) != 0) {
        desktop.w = WindowWidth;
        desktop.h = WindowHeight;
    }
    WINDOW_MODE m = window_mode(WindowName, WindowWidth, WindowHeight, desktop.w, desktop.h);
    Uint32 flags = SDL_WINDOW_HIDDEN;
    int x = SDL_WINDOWPOS_UNDEFINED, y = SDL_WINDOWPOS_UNDEFINED;
    if (m.titled) {
        flags |= SDL_WINDOW_RESIZABLE;
    } else {
        flags |= SDL_WINDOW_BORDERLESS;
        if (m.fullscreen) x = y = 0;
        if (WindowName[0] && !WindowName[1]) flags |= SDL_WINDOW_RESIZABLE;
    }
    w = SDL_CreateWindow(WindowName, x, y, m.width, m.height, flags);
    if (!w) fail("Window Creation Failed!");

    SDL_GetWindowPosition(w, &startx, &starty);
    store_client_size();
}

// The window shows frames through its own surface in system memory: a 1024 x 600 frame
// needs no graphics processor, and the drivers for one would cost more memory than the
// whole program. The surface is drawn where the frame changed and handed to the window
// system as rectangles, at most once per display frame.
struct Presenter {
    const uint32_t* shown = nullptr;  // the newest frame taken
    std::vector<uint8_t> changed;     // framebuffer rows not yet on the surface
    SDL_Surface* surface = nullptr;   // the surface drawn last
    int surface_w = 0, surface_h = 0;
    bool redraw_all = true;  // a new surface: every row is drawn
    bool reshow = false;     // the window lost its contents: the surface is shown again
    FrameScaler scaler;
    std::vector<uint32_t> row;  // a scaled row when the surface's format differs
    std::vector<SDL_Rect> rects;
    Uint64 last_ms = 0;
    Uint32 interval_ms = 16;  // a display frame, at most 60 a second
    bool log_first = false;   // CORVANE_STARTUP_LOG: the time of the first frame on stderr

    void start() {
        SDL_DisplayMode mode{};
        if (SDL_GetCurrentDisplayMode(0, &mode) == 0 && mode.refresh_rate > 0)
            interval_ms = Uint32(std::max(16, 1000 / mode.refresh_rate));
        const char* log = std::getenv("CORVANE_STARTUP_LOG");
        log_first = log && log[0] && std::strcmp(log, "0") != 0;
    }

    // Milliseconds until the next frame may be shown (0: now).
    Uint32 wait_ms() const {
        const Uint64 since = SDL_GetTicks64() - last_ms;
        return since >= interval_ms ? 0 : Uint32(interval_ms - since);
    }

    void take_frame() {
        ROW_BAND bands[64];
        int n = 0;
        const uint32_t* pixels;
        if (!display_take_frame(&pixels, bands, 64, &n)) return;
        shown = pixels;
        changed.resize(size_t(crty));
        for (int i = 0; i < n; i++)
            std::fill(changed.begin() + bands[i].first, changed.begin() + bands[i].last, 1);
    }

    // Draws window row y from the frame; a surface in another format than 0x00RRGGBB takes a
    // converted row.
    void draw_row(int y, bool same_size, bool direct) {
        uint8_t* line = static_cast<uint8_t*>(surface->pixels) + size_t(y) * size_t(surface->pitch);
        uint32_t* out = direct ? reinterpret_cast<uint32_t*>(line) : row.data();
        if (same_size)
            std::memcpy(out, shown + size_t(y) * size_t(crtx), size_t(crtx) * sizeof(uint32_t));
        else
            scaler.scale_row(shown, y, out);
        if (!direct)
            SDL_ConvertPixels(surface->w, 1, SDL_PIXELFORMAT_RGB888, out, surface->pitch, surface->format->format,
                              line, surface->pitch);
        else if (surface->format->Amask)
            for (int x = 0; x < surface->w; x++) out[x] |= surface->format->Amask;
    }

    void show() {
        take_frame();
        if (!shown) return;
        SDL_Surface* s = SDL_GetWindowSurface(w);
        if (!s || s->w <= 0 || s->h <= 0) return;
        last_ms = SDL_GetTicks64();
        if (s != surface || s->w != surface_w || s->h != surface_h) {
            surface = s;
            surface_w = s->w;
            surface_h = s->h;
            scaler.set_size(crtx, crty, s->w, s->h);
            row.resize(size_t(s->w));
            redraw_all = true;
        }
        const bool same_size = s->w == crtx && s->h == crty;
        const SDL_PixelFormat* f = s->format;
        const bool direct = f->BytesPerPixel == 4 && f->Rmask == 0xFF0000 && f->Gmask == 0xFF00 && f->Bmask == 0xFF;
        rects.clear();
        if (SDL_MUSTLOCK(s)) SDL_LockSurface(s);
        for (int y = 0; y < s->h; y++) {
            if (!redraw_all && !(same_size ? changed[size_t(y)] != 0 : scaler.reads_changed(y, changed))) continue;
            draw_row(y, same_size, direct);
            if (!rects.empty() && rects.back().y + rects.back().h == y)
                rects.back().h++;
            else
                rects.push_back({0, y, s->w, 1});
        }
        if (SDL_MUSTLOCK(s)) SDL_UnlockSurface(s);
        std::fill(changed.begin(), changed.end(), 0);
        if (redraw_all || reshow || rects.size() > 64)
            SDL_UpdateWindowSurface(w);
        else if (!rects.empty())
            SDL_UpdateWindowSurfaceRects(w, rects.data(), int(rects.size()));
        redraw_all = reshow = false;
        if (log_first) {
            log_first = false;
            timespec t{};
            clock_gettime(CLOCK_MONOTONIC, &t);
            std::fprintf(stderr, "corvane: first frame shown at monotonic %lld.%09ld s\n", (long long)t.tv_sec,
                         t.tv_nsec);
        }
    }
};
Presenter presenter;

void apply(SHELL_ACTION action) {
    switch (action) {
    case ACT_MOVE_WINDOW:
        winredraw();
        break;
    case ACT_EXIT:
        shell_exit(0);
    case ACT_REFRESH:
        if (refresh_time != 0 && sub_loop) sub_loop();
        break;
    case ACT_NONE:
        break;
    }
}

}  // namespace

int WinMain(void (*mainloop)()) {
    if (const char* error = use_program_dir()) fail(error);
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // The window surface stays in system memory whatever the environment asks for (see
    // Presenter).
    SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_OVERRIDE);
    // Without a Wayland display only X11 is tried, so a missing or refused X display fails
    // with X11's reason alone (the Wayland client library would print a line of its own).
    const auto set = [](const char* name) { return std::getenv(name) && std::getenv(name)[0]; };
    if (!set("SDL_VIDEODRIVER") && !set("WAYLAND_DISPLAY")) {
        if (!set("DISPLAY")) {
            SDL_SetError("no display to show the window on (DISPLAY is not set)");
            fail("Window Registration Failed!");
        }
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
        if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER) != 0) {
            SDL_SetError("cannot open the X display %s (%s)", std::getenv("DISPLAY"), SDL_GetError());
            fail("Window Registration Failed!");
        }
    }
    if (!SDL_WasInit(SDL_INIT_VIDEO) && SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER) != 0)
        fail("Window Registration Failed!");
    // Without a display SDL falls back to drivers that show nothing; unless one of them was
    // asked for, that is a failure rather than a program running unseen.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!std::getenv("SDL_VIDEODRIVER") && driver &&
        (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
        SDL_SetError("no display to show the window on");
        fail("Window Registration Failed!");
    }
    display_found = true;
    catch_window_system_errors();
    frame_event = SDL_RegisterEvents(2);
    if (frame_event == Uint32(-1)) fail("Window Registration Failed!");
    timer_event = frame_event + 1;
    create_window();
    display_set_backend(&sdl_backend);
    if (refresh_time != 0) SDL_AddTimer(Uint32(refresh_time), refresh_tick, nullptr);
    SDL_ShowWindow(w);
    SDL_StartTextInput();

    presenter.start();
    bool due = false;  // a frame or a repaint waits to be shown
    for (;;) {
        SDL_Event e;
        const bool got = due ? SDL_WaitEventTimeout(&e, int(presenter.wait_ms())) != 0 : SDL_WaitEvent(&e) != 0;
        while (got) {
            if (e.type == frame_event) {
                frame_event_pending = false;  // the frame itself is taken when it is shown
                due = true;
            } else if (e.type == timer_event) {
                apply(ACT_REFRESH);
            } else if (e.type == SDL_WINDOWEVENT) {
                switch (e.window.event) {
                case SDL_WINDOWEVENT_SHOWN:
                case SDL_WINDOWEVENT_EXPOSED:
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                case SDL_WINDOWEVENT_RESIZED:
                case SDL_WINDOWEVENT_MINIMIZED:
                case SDL_WINDOWEVENT_MAXIMIZED:
                case SDL_WINDOWEVENT_RESTORED:
                    // The first size or paint event starts the main loop.
                    if (!crt_started()) crt_exec(mainloop, WindowWidth, WindowHeight);
                    store_client_size();
                    crt_repaint();
                    presenter.reshow = true;
                    due = true;
                    break;
                case SDL_WINDOWEVENT_MOVED:
                    startx = e.window.data1;
                    starty = e.window.data2;
                    break;
                default:
                    break;
                }
            }
            if (e.type == SDL_FINGERDOWN || e.type == SDL_FINGERMOTION || e.type == SDL_FINGERUP) {
                int wx = 0, wy = 0;
                SDL_GetWindowPosition(w, &wx, &wy);
                absolute_touchx = wx + int(e.tfinger.x * float(client_width.load()));
                absolute_touchy = wy + int(e.tfinger.y * float(client_height.load()));
            }
            SHELL_EVENT events[2];
            int n = sdl_translate(e, client_width, client_height, _time(nullptr), events);
            for (int i = 0; i < n; i++) apply(WndProc(events[i]));
            if (!SDL_PollEvent(&e)) break;
        }
        // Frames that arrive within a display frame of the last one shown wait; the newest
        // of them is shown when it ends.
        if (due && presenter.wait_ms() == 0) {
            presenter.show();
            due = false;
        }
    }
}
