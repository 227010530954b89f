// The display: window settings, the start of the main loop in its own thread, the refresh
// that hands the visible framebuffer to the window thread, and the headless display for
// tests and screenshots.
#pragma once

#include <atomic>
#include <cstdint>

// Window title; it also selects the window mode (see window_mode).
extern char WindowName[15];
extern int WindowWidth;   // framebuffer width (1024)
extern int WindowHeight;  // visible framebuffer height (600)
// 0: the main loop runs in a thread of its own and drives the display itself.
extern int refresh_time;
// The process's current directory at start (filled by the window shell and by
// headless_start; at most 198 characters).
extern char MyDir[200];

// The application main loop handed to crt_exec.
extern void (*sub_loop)();
// 1 once crt_exec has started the main loop in its own thread.
extern std::atomic<uint8_t> _loop;

// Starts the main loop fun with a framebuffer of dx by dy visible pixels: with
// refresh_time 0 in a new thread (threadproc), otherwise by calling fun at once. Only the
// first call does anything.
void crt_exec(void (*fun)(), int dx, int dy);
// True once crt_exec has run.
bool crt_started();
// Start routine of the main-loop thread: palette, thread number from *para, sub_loop.
unsigned threadproc(void* para);
// Waits until the main-loop thread has ended (headless programs and tests whose main
// loop returns).
void crt_join();

// Entry points called at every paint and page pass; the real refresh is dx_refresh.
void crt_repaint();
void crt_refresh();
// Moves the window to (startx, starty) without changing its size.
void winredraw();
// Gives up the rest of the calling thread's time slice.
void _idle();

// Hands the visible screen to the window when it changed since the last hand-over, copying
// only the rows that changed (fb_dirty); does nothing (no copy) otherwise. Called by the
// page loop. Returns 0.
int dx_refresh();

// The window side of the display.
struct DISPLAY_BACKEND {
    // A new frame waits for display_take_frame (called on the refreshing thread).
    void (*frame_ready)();
    // Moves the window (called by winredraw).
    void (*move_window)(int x, int y);
};
// Installs the back end (nullptr: none). Install before the main loop starts.
void display_set_backend(const DISPLAY_BACKEND* backend);

// Number of frames handed over so far.
uint64_t display_frames();
// Window thread: the newest handed-over frame (crtx by crty pixels) if one arrived since
// the last call, else false. The pixels stay valid until the next call that returns true.
bool display_take_frame(const uint32_t** pixels);
// Rows first .. last - 1 of the screen.
struct ROW_BAND {
    int first, last;
};
// The same, with the rows that changed since the frame taken before as bands from top to
// bottom (every row at the first take): at most max bands; beyond that the last band
// reaches to the last changed row. *count receives the number of bands.
bool display_take_frame(const uint32_t** pixels, ROW_BAND* bands, int max, int* count);

// Window style and size chosen from the title.
struct WINDOW_MODE {
    bool titled;      // a resizable window with a title bar; width, height are its client area
    bool fullscreen;  // a borderless window covering the desktop
    int width;        // borderless windows: outer size
    int height;
    bool draggable;  // right-button dragging moves it
};
// Empty or "FULLSCREEN": desktop size; one character or "NOTITLE": (width + 2) x
// (height + 2); a leading number of 321 or more: that width and the proportional height;
// anything else: titled with a client area of width x height.
WINDOW_MODE window_mode(const char* name, int width, int height, int screen_width,
                        int screen_height);

// Headless display: the same framebuffer and input with no window. The client area is the
// framebuffer size; the caller sets the input variables; the page loop skips its per-pass
// sleep (headless_mode()).
void headless_start();
bool headless_mode();
// Writes a rectangle of the framebuffer (clipped to it) as an RGB PNG file; 0 on success,
// -1 on failure.
int fb_write_png(const char* path, int x, int y, int width, int height);
// Writes the visible screen as a PNG file.
int headless_write_png(const char* path);
