// Input state, the pointer poll with its touch-field hit test, and the mapping from window
// events to input-state changes.
#include "platform/input.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/display.h"
#include "platform/framebuffer.h"
#include "platform/tasks.h"

std::atomic<int32_t> mouse__x{0};
std::atomic<int32_t> mouse__y{0};
std::atomic<uint8_t> mouse__left{0};
std::atomic<uint8_t> key__press{0};
std::atomic<uint8_t> mouse__pressed{0};
std::atomic<uint16_t> key__function{0};
std::atomic<int32_t> absolute_touchx{0};
std::atomic<int32_t> absolute_touchy{0};
std::atomic<int32_t> client_width{0};
std::atomic<int32_t> client_height{0};

int32_t touch_x = 0;
int32_t touch_y = 0;
int32_t touch_premuto = 0;
int16_t t_campo = 0;
uint8_t _tastiera = 0;
uint8_t _freeze = 0;

int16_t xcampi_x[TOUCH_FIELDS];
int16_t xcampi_y[TOUCH_FIELDS];
int16_t xcampi_dx[TOUCH_FIELDS];
int16_t xcampi_dy[TOUCH_FIELDS];
int16_t num_cam = 0;

int startx = 0, starty = 0, oldx = 0, oldy = 0;

namespace {

// The typed-key queue: the window thread writes slots and then head, the page loop reads
// a slot and then advances tail.
std::atomic<uint8_t> typed_keys[TYPED_KEYS];
std::atomic<uint32_t> typed_head{0}, typed_tail{0};

// The page loop's side: a queued key for one pass, then a pass without one.
uint8_t next_typed_key() {
    static bool released = true;
    if (!released) {
        released = true;
        return 0;
    }
    const int key = take_typed_key();
    if (key < 0) return 0;
    released = false;
    return uint8_t(key);
}

}  // namespace

void queue_typed_key(uint8_t code) {
    const uint32_t head = typed_head.load(std::memory_order_relaxed);
    if (head - typed_tail.load(std::memory_order_acquire) >= TYPED_KEYS) return;
    typed_keys[head % TYPED_KEYS].store(code, std::memory_order_relaxed);
    typed_head.store(head + 1, std::memory_order_release);
}

int take_typed_key() {
    const uint32_t tail = typed_tail.load(std::memory_order_relaxed);
    if (tail == typed_head.load(std::memory_order_acquire)) return -1;
    const uint8_t code = typed_keys[tail % TYPED_KEYS].load(std::memory_order_relaxed);
    typed_tail.store(tail + 1, std::memory_order_release);
    return code;
}

int8_t v_inkey() {
    int32_t cw = client_width.load(std::memory_order_relaxed);
    int32_t ch = client_height.load(std::memory_order_relaxed);
    // An empty client area (a minimised window) keeps the last pointer position.
    if (cw > 0 && ch > 0) {
        touch_x = int32_t(int64_t(crtx) * mouse__x.load(std::memory_order_relaxed) / cw);
        touch_y = int32_t(int64_t(crty) * mouse__y.load(std::memory_order_relaxed) / ch);
    }

    t_campo = 0;
    int last = num_cam < TOUCH_FIELDS ? num_cam : TOUCH_FIELDS - 1;
    for (int n = last; n >= 1; n--) {
        if (xcampi_dx[n] == 0 || xcampi_dy[n] == 0) continue;
        if (xcampi_x[n] <= touch_x && touch_x <= xcampi_x[n] + xcampi_dx[n] &&
            xcampi_y[n] <= touch_y && touch_y <= xcampi_y[n] + xcampi_dy[n]) {
            t_campo = int16_t(n);
            break;
        }
    }

    // A press or key that came and went since the last look counts as held for this pass,
    // so that a click or keystroke shorter than a pass is not lost.
    uint8_t left = mouse__left.load(std::memory_order_relaxed);
    left |= mouse__pressed.exchange(0, std::memory_order_relaxed);
    touch_premuto = left;

    uint8_t key = key__press.load(std::memory_order_relaxed);
    if (key == 0) key = next_typed_key();
    if (key != 0 && _tastiera != 0) {
        if (_tastiera == 2 && key >= 'A' && key <= 'J') return int8_t(key - 121);
        return int8_t(key);
    }
    if (left) return (_freeze || t_campo) ? INKEY_PRESS : 0;
    _freeze = 0;
    return 0;
}

uint16_t take_function_keys() { return key__function.exchange(0, std::memory_order_relaxed); }

namespace {

constexpr int VK_F1 = 112, VK_F12 = 123;

std::atomic<void (*)()> shutdown_hook{nullptr};
std::atomic<bool> ending{false};

bool have_right_press = false;
uint32_t last_right_press = 0;

// The leading decimal number of a title, 0 when it has none (capped well above any width).
int title_number(const char* name) {
    int n = 0;
    for (const char* p = name; *p >= '0' && *p <= '9'; p++) {
        n = n * 10 + (*p - '0');
        if (n > 100000) return 100000;
    }
    return n;
}

bool draggable() {
    return std::strlen(WindowName) <= 1 || title_number(WindowName) >= 321;
}

void set_left(bool down) {
    mouse__left.store(down ? 1 : 0, std::memory_order_relaxed);
    if (down) mouse__pressed.store(1, std::memory_order_relaxed);
}

void set_pointer(int x, int y) {
    // Positions travel as signed 16-bit halves of the message data.
    mouse__x.store(int16_t(x), std::memory_order_relaxed);
    mouse__y.store(int16_t(y), std::memory_order_relaxed);
}

SHELL_ACTION refreshed() { return refresh_time != 0 ? ACT_REFRESH : ACT_NONE; }

}  // namespace

void shell_reset_presses() { have_right_press = false; }

SHELL_ACTION WndProc(const SHELL_EVENT& e) {
    switch (e.kind) {
    case EV_CHAR: {
        int c = e.code & 127;
        // Control codes 1 to 9 are dropped, except Backspace, which the edit fields use
        // to delete a character.
        if (c <= 9 && c != 8) return ACT_NONE;
        queue_typed_key(uint8_t(c));
        return refreshed();
    }
    case EV_KEY_DOWN: {
        if (!e.extended && e.code >= VK_F1 && e.code <= VK_F12) {
            if (e.repeat) return ACT_NONE;
            key__function.fetch_or(uint16_t(1u << (e.code - VK_F1)), std::memory_order_relaxed);
            return refreshed();
        }
        // An ordinary key, also repeated, types through its character event.
        if (!e.extended) return ACT_NONE;
        int c = e.code & 127;
        if (c <= 9) return ACT_NONE;
        queue_typed_key(uint8_t(c));
        return refreshed();
    }
    case EV_KEY_UP:
        key__press.store(0, std::memory_order_relaxed);
        return refreshed();
    case EV_POINTER_MOVE:
        set_pointer(e.x, e.y);
        set_left(e.left);
        if (e.right && draggable()) {
            startx += mouse__x.load(std::memory_order_relaxed) - oldx;
            starty += mouse__y.load(std::memory_order_relaxed) - oldy;
            return ACT_MOVE_WINDOW;
        }
        return ACT_NONE;
    case EV_LEFT_DOWN:
    case EV_LEFT_UP:
        set_pointer(e.x, e.y);
        set_left(e.kind == EV_LEFT_DOWN);
        return ACT_NONE;
    case EV_RIGHT_DOWN:
        if (!draggable()) return ACT_NONE;
        oldx = int16_t(e.x);
        oldy = int16_t(e.y);
        if (!have_right_press || e.time_ms - last_right_press > 349) {
            have_right_press = true;
            last_right_press = e.time_ms;
        } else if (std::strcmp(WindowName, "X") == 0) {
            return ACT_EXIT;
        }
        return ACT_NONE;
    case EV_TOUCH:
        set_pointer(e.x, e.y);
        set_left(e.left);
        return ACT_NONE;
    case EV_CLOSE:
        return ACT_EXIT;
    }
    return ACT_NONE;
}

void shell_set_shutdown(void (*shutdown)()) { shutdown_hook.store(shutdown); }

void shell_exit(int status) {
    if (ending.exchange(true)) {
        for (;;) task_sleep_ms(10);
    }
    if (void (*shutdown)() = shutdown_hook.load()) shutdown();
    std::fflush(nullptr);
    std::_Exit(status);
}

WINDOW_MODE window_mode(const char* name, int width, int height, int screen_width,
                        int screen_height) {
    WINDOW_MODE m{};
    size_t len = std::strlen(name);
    int number = title_number(name);
    m.draggable = len <= 1 || number >= 321;
    if (len == 0 || std::strcmp(name, "FULLSCREEN") == 0) {
        m.fullscreen = true;
        m.width = screen_width;
        m.height = screen_height;
    } else if (len == 1 || std::strcmp(name, "NOTITLE") == 0) {
        m.width = width + 2;
        m.height = height + 2;
    } else if (number >= 321) {
        m.width = number;
        m.height = int(int64_t(height) * number / width);
    } else {
        m.titled = true;
        m.width = width;
        m.height = height;
    }
    return m;
}
