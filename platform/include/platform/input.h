// Input state: the raw pointer and key variables that the window thread writes, the pointer
// in framebuffer pixels and the touch-field hit test that the page loop reads through
// v_inkey, and the pure mapping from window events to input-state changes.
#pragma once

#include <atomic>
#include <cstdint>

// Written by the window thread, read by the page loop.
extern std::atomic<int32_t> mouse__x;  // pointer in window client coordinates
extern std::atomic<int32_t> mouse__y;
extern std::atomic<uint8_t> mouse__left;  // 1 while the left button or a touch is down
// A held key: a 7-bit character code or the low 7 bits of the virtual-key code of an
// extended key; 0 = no key. Set by a driver of the page (the headless tests); the window's
// keystrokes go through the typed-key queue below, and a key-up clears it.
extern std::atomic<uint8_t> key__press;
// Set by the window thread at every left press, taken by v_inkey: a click that ended
// before the page loop looked is still seen once.
extern std::atomic<uint8_t> mouse__pressed;
// Function keys F1 to F12 pressed since the page loop last took them (bit n - 1 for Fn).
// They never reach key__press, so they type nothing into an edit field.
extern std::atomic<uint16_t> key__function;
extern std::atomic<int32_t> absolute_touchx;  // last touch in screen coordinates
extern std::atomic<int32_t> absolute_touchy;
// Size of the window's client area in window coordinates; 0 while minimised. The window
// thread writes it; the headless display sets it to the framebuffer size.
extern std::atomic<int32_t> client_width;
extern std::atomic<int32_t> client_height;

// Written and read by the page loop (v_inkey and its callers).
extern int32_t touch_x;  // pointer in framebuffer pixels
extern int32_t touch_y;
extern int32_t touch_premuto;  // mouse__left as seen by the last v_inkey
extern int16_t t_campo;        // touch field under the pointer, 0 = none
// Key reporting: 0 keys are not reported; 1 reported; 2 reported, with "A" to "J" as the
// code minus 121 (-56 to -47).
extern uint8_t _tastiera;
// While set, any press reports as a press even outside the touch fields; v_inkey clears
// it when the pointer is up.
extern uint8_t _freeze;

// Touch fields in framebuffer pixels, numbered from 1 (entry 0 is never tested); field n
// covers xcampi_x[n] .. xcampi_x[n] + xcampi_dx[n] by xcampi_y[n] .. xcampi_y[n] +
// xcampi_dy[n], bounds inclusive. A field with a zero width or height cannot be hit.
inline constexpr int TOUCH_FIELDS = 2000;
extern int16_t xcampi_x[TOUCH_FIELDS];
extern int16_t xcampi_y[TOUCH_FIELDS];
extern int16_t xcampi_dx[TOUCH_FIELDS];
extern int16_t xcampi_dy[TOUCH_FIELDS];
extern int16_t num_cam;  // fields 1 .. num_cam are tested

// The byte v_inkey returns for a pointer press (0x80).
inline constexpr int8_t INKEY_PRESS = -128;

// Scales the pointer into framebuffer pixels (touch_x, touch_y; kept as they were while
// the client area is empty), finds the touch field under it (the highest number wins) and
// returns: the key when one is down and _tastiera is non-zero; else, with the pointer
// down, INKEY_PRESS when _freeze is set or a field is hit, else 0; with the pointer up 0
// (and _freeze is cleared). The key is not consumed.
int8_t v_inkey();
// The function keys pressed since the last call (bit n - 1 for Fn); clears them.
uint16_t take_function_keys();

// The window's keystrokes in order (character codes and extended keys, as key__press). The
// window thread queues each; v_inkey hands them to the page loop one per pass, each
// followed by a pass without a key, so an edit field sees every keystroke, two equal ones
// too, however many come during one pass. Up to TYPED_KEYS wait; further ones are dropped.
inline constexpr unsigned TYPED_KEYS = 64;
void queue_typed_key(uint8_t code);
// The next queued keystroke, or -1 when none waits.
int take_typed_key();

inline constexpr uint16_t function_key(int n) { return uint16_t(1u << (n - 1)); }

// One window event, as the window shell reports it.
enum SHELL_EVENT_KIND {
    EV_CHAR,         // code: character code
    EV_KEY_DOWN,     // code: virtual-key code; extended, repeat
    EV_KEY_UP,
    EV_POINTER_MOVE,  // x, y; left, right: buttons held
    EV_LEFT_DOWN,    // x, y
    EV_LEFT_UP,      // x, y
    EV_RIGHT_DOWN,   // x, y; time_ms: the millisecond clock at the press
    EV_TOUCH,        // x, y in client coordinates; left: finger down
    EV_CLOSE,
};

struct SHELL_EVENT {
    SHELL_EVENT_KIND kind;
    int x = 0, y = 0;
    int code = 0;
    bool extended = false;
    bool repeat = false;
    bool left = false;
    bool right = false;
    uint32_t time_ms = 0;
};

// What the shell does after an event.
enum SHELL_ACTION {
    ACT_NONE,
    ACT_MOVE_WINDOW,  // move the window to (startx, starty)
    ACT_REFRESH,      // run one page pass now (only when refresh_time is non-zero)
    ACT_EXIT,         // end the program with status 0 (shell_exit)
};

// Window position while dragged, and the pointer at the last right-button press; owned by
// the window thread.
extern int startx, starty, oldx, oldy;

// Applies one event to the input state and the drag state. Characters queue their code AND
// 127 (codes 1 to 7 and 9 are dropped; Backspace 8 is delivered); key-downs count only when
// extended (an ordinary key types through its character, repeats too) and queue the virtual-key code AND 127 (codes up to 9 are dropped),
// except F1 to F12 (virtual-key codes 112 to 123), whose first key-down sets their bit in
// key__function and whose repeats are dropped; a key-up clears key__press. Right-button dragging moves draggable windows; two right presses
// within 349 ms end an "X" window.
SHELL_ACTION WndProc(const SHELL_EVENT& e);

// Forgets the last counted right-button press (for a new window, and for tests).
void shell_reset_presses();

// The end of the program. The program installs its shutdown (stop its tasks, close its
// ports); shell_exit runs it once and ends the process with _Exit(status): no static
// destructors run, since the page-loop thread may still be drawing. A second caller, on
// another thread, waits there until the first has ended the process (a task waits at a
// stop point, so the shutdown may stop it).
void shell_set_shutdown(void (*shutdown)());
[[noreturn]] void shell_exit(int status);
