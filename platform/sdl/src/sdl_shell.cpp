// The window shell on SDL2.
#include "platform/sdl_shell.h"

#include <SDL2/SDL.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"
#include "platform/display.h"
#include "platform/framebuffer.h"
#include "platform/input.h"
#include "platform/program_dir.h"
#include "platform/sdl_events.h"

namespace {

SDL_Window* w = nullptr;
SDL_Renderer* renderer = nullptr;
SDL_Texture* texture = nullptr;
bool vsync = false;
Uint32 frame_event = 0;  // user event: a frame waits in the hand-over
Uint32 timer_event = 0;  // user event: the page-refresh timer
std::atomic<bool> frame_event_pending{false};

[[noreturn]] void fail(const char* message) {
    std::fprintf(stderr, "%s %s\n", message, SDL_GetError());
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Error!", message, w);
    std::exit(1);
}

[[noreturn]] void end_process() {
    // The main loop's thread may be drawing: leave without running static destructors.
    std::fflush(nullptr);
    std::_Exit(0);
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

    renderer = SDL_CreateRenderer(w, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (!renderer) renderer = SDL_CreateRenderer(w, -1, SDL_RENDERER_PRESENTVSYNC);
    if (!renderer) renderer = SDL_CreateRenderer(w, -1, SDL_RENDERER_SOFTWARE);
    if (!renderer) fail("Window Creation Failed!");
    SDL_RendererInfo info{};
    SDL_GetRendererInfo(renderer, &info);
    vsync = (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, WindowWidth,
                                WindowHeight);
    if (!texture) fail("Window Creation Failed!");
    SDL_GetWindowPosition(w, &startx, &starty);
    store_client_size();
}

// Shows the newest frame (uploading it first when one arrived) when something changed or
// the window needs repainting: with vsync at most once per display frame; without it no
// more often than every 16 ms.
void present(bool repaint, bool have_frame) {
    static Uint64 last = 0;
    if (!repaint || !have_frame) return;
    if (!vsync) {
        Uint64 now = SDL_GetTicks64();
        if (now - last < 16) SDL_Delay(Uint32(16 - (now - last)));
        last = SDL_GetTicks64();
    }
    SDL_RenderClear(renderer);
    SDL_RenderCopy(renderer, texture, nullptr, nullptr);
    SDL_RenderPresent(renderer);
}

void apply(SHELL_ACTION action) {
    switch (action) {
    case ACT_MOVE_WINDOW:
        winredraw();
        break;
    case ACT_EXIT:
        end_process();
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
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER) != 0) fail("Window Registration Failed!");
    // Without a display SDL falls back to drivers that show nothing; unless one of them was
    // asked for, that is a failure rather than a program running unseen.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!std::getenv("SDL_VIDEODRIVER") && driver &&
        (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
        SDL_SetError("no display to show the window on");
        fail("Window Registration Failed!");
    }
    frame_event = SDL_RegisterEvents(2);
    if (frame_event == Uint32(-1)) fail("Window Registration Failed!");
    timer_event = frame_event + 1;
    create_window();
    display_set_backend(&sdl_backend);
    if (refresh_time != 0) SDL_AddTimer(Uint32(refresh_time), refresh_tick, nullptr);
    SDL_ShowWindow(w);
    SDL_StartTextInput();

    bool have_frame = false;
    for (;;) {
        SDL_Event e;
        if (!SDL_WaitEvent(&e)) continue;
        bool repaint = false;
        do {
            if (e.type == frame_event) {
                frame_event_pending = false;  // the frame itself is taken below
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
                    repaint = true;
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
        } while (SDL_PollEvent(&e));

        const uint32_t* pixels;
        if (display_take_frame(&pixels)) {
            SDL_UpdateTexture(texture, nullptr, pixels, crtx * int(sizeof(uint32_t)));
            have_frame = true;
            repaint = true;
        }
        present(repaint, have_frame);
    }
}
