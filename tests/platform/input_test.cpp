// The page's input: pointer scaling and the touch-field hit test of v_inkey, the key mode
// the page uses, the window events of WndProc (keys, the typed-key queue, buttons), and the
// translation of SDL key and text events made by hand into window events.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "../../platform/sdl/include/platform/sdl_events.h"
#include "platform/display.h"
#include "platform/input.h"

namespace {

class Input : public ::testing::Test {
protected:
    void SetUp() override {
        client_width = 1024;
        client_height = 600;
        _tastiera = 1;
        mouse__x = mouse__y = mouse__left = mouse__pressed = key__press = 0;
        startx = starty = oldx = oldy = _freeze = refresh_time = num_cam = 0;
        while (take_typed_key() >= 0) {
        }
        shell_reset_presses();
        for (int i = 0; i < TOUCH_FIELDS; i++) xcampi_x[i] = xcampi_y[i] = xcampi_dx[i] = xcampi_dy[i] = 0;
    }

    static void field(int n, int x, int y, int dx, int dy) {
        xcampi_x[n] = int16_t(x);
        xcampi_y[n] = int16_t(y);
        xcampi_dx[n] = int16_t(dx);
        xcampi_dy[n] = int16_t(dy);
        if (n > num_cam) num_cam = int16_t(n);
    }
    static int point(int x, int y, bool down) {
        mouse__x = x;
        mouse__y = y;
        mouse__left = down ? 1 : 0;
        return v_inkey();
    }
};

TEST_F(Input, PointerScalingHitTestPressAndFreeze) {
    // The highest field wins, bounds inclusive; a cleared field is never hit, not even at (0, 0).
    field(1, 10, 10, 100, 100);
    field(2, 50, 50, 20, 20);
    field(3, 0, 0, 0, 0);
    const int hits[][3] = {{60, 60, 2}, {70, 70, 2}, {71, 70, 1}, {10, 10, 1}, {110, 110, 1}, {111, 110, 0}, {0, 0, 0}};
    for (auto [x, y, f] : hits)
        EXPECT_EQ((std::tuple{point(x, y, true), int(t_campo)}), std::tuple(f ? INKEY_PRESS : 0, f)) << x << "," << y;
    // Only fields 1 .. num_cam are tested; a count beyond the table is not followed.
    num_cam = 1;
    EXPECT_EQ((std::tuple{point(60, 60, true), int(t_campo)}), std::tuple(INKEY_PRESS, 1));
    num_cam = 0x7FFF;
    EXPECT_EQ((std::tuple{point(60, 60, true), int(t_campo)}), std::tuple(INKEY_PRESS, 2));
    // Pressed outside every field; frozen, any press counts, and the release unfreezes.
    EXPECT_EQ((std::tuple{point(5, 5, true), int(touch_premuto)}), std::tuple(0, 1));
    _freeze = 1;
    EXPECT_EQ((std::tuple{v_inkey(), point(5, 5, false), int(_freeze), int(touch_premuto)}),
              std::tuple(INKEY_PRESS, 0, 0, 0));
    // An empty client area (a minimised window) keeps the last position.
    const int scaled[][6] = {{2048, 1200, 200, 100, 100, 50}, {512, 300, 511, 299, 1022, 598},
                             {0, 300, 5, 5, 1022, 598}, {1024, 0, 5, 5, 1022, 598}};
    for (auto [cw, ch, x, y, tx, ty] : scaled) {
        client_width = cw;
        client_height = ch;
        point(x, y, false);
        EXPECT_EQ(std::tuple(touch_x, touch_y), std::tuple(tx, ty)) << cw;
    }
}

SHELL_EVENT ev(SHELL_EVENT_KIND kind, int code = 0, int x = 0, int y = 0, bool left = false, bool extended = false,
               bool repeat = false) {
    return {.kind = kind, .x = x, .y = y, .code = code, .extended = extended, .repeat = repeat, .left = left};
}

// What one event queues for the page: the key, or -1 for nothing (and never two keys).
int typed(const SHELL_EVENT& e) {
    WndProc(e);
    const int key = take_typed_key();
    return take_typed_key() == -1 ? key : -2;
}

TEST_F(Input, WindowEventsTypeKeysInOrderAndMovePointerAndTouch) {
    const int chars[][2] = {{'a', 'a'}, {'%', 37}, {13, 13}, {27, 27}, {8, 8},     {9, -1},
                            {1, -1},    {7, -1},   {10, 10}, {200, 72}, {127, 127}, {0, -1}};
    for (auto [code, key] : chars) EXPECT_EQ(typed(ev(EV_CHAR, code)), key) << code;
    // Left arrow and its repeat; Num Lock's low 7 bits; an ordinary key types through its
    // character, its repeats too; codes up to 9 are dropped.
    const int keys[][4] = {{37, 0, 37}, {37, 1, 37}, {144, 0, 16}, {'Q', 0, -1, 1}, {'Q', 1, -1, 1}, {8, 0, -1}};
    for (auto [code, repeat, key, ordinary] : keys)
        EXPECT_EQ(typed(ev(EV_KEY_DOWN, code, 0, 0, 0, !ordinary, repeat)), key) << code;
    // Keys faster than the page come one a pass, in order.
    for (int c : {int('b'), int('e'), int('e'), 13}) WndProc(ev(EV_CHAR, c));
    std::vector<int> seen;
    for (int pass = 0; pass < 9; pass++) seen.push_back(v_inkey());
    EXPECT_EQ(seen, (std::vector<int>{'b', 0, 'e', 0, 'e', 0, 13, 0, 0}));
    // A full queue drops further keys rather than overwrite waiting ones.
    for (unsigned i = 0; i < TYPED_KEYS + 5; i++) WndProc(ev(EV_CHAR, 'a' + i % 26));
    for (unsigned i = 0; i < TYPED_KEYS; i++) EXPECT_EQ(take_typed_key(), int('a' + i % 26)) << i;
    EXPECT_EQ(take_typed_key(), -1);
    // Positions are signed 16-bit halves; a touch moves the pointer and sets the button.
    const int moves[][5] = {
        {EV_LEFT_DOWN, -5, 70000, -5, 70000 - 65536}, {EV_TOUCH, 40, 50, 40, 50}, {EV_TOUCH, 40, 51, 40, 51}};
    for (auto [kind, x, y, mx, my] : moves) {
        WndProc(ev(SHELL_EVENT_KIND(kind), 0, x, y, y == 51));
        EXPECT_EQ(std::tuple(mouse__x.load(), mouse__y.load(), int(mouse__left.load())),
                  std::tuple(mx, my, int(y != 50))) << kind;
    }
    EXPECT_EQ(WndProc(ev(EV_CLOSE)), ACT_EXIT);
}

struct Translated { int n; SHELL_EVENT ev[2]; };

Translated translate(const SDL_Event& e) {
    Translated t{};
    t.n = sdl_translate(e, 1024, 600, 0, t.ev);
    return t;
}

SDL_Event key(Uint32 type, SDL_Keycode sym, int repeat = 0) {
    SDL_Event e{type};
    e.key.keysym.sym = sym;
    e.key.repeat = Uint8(repeat);
    return e;
}

SDL_Event text(const char* s) {
    SDL_Event e{SDL_TEXTINPUT};
    std::snprintf(e.text.text, sizeof e.text.text, "%s", s);
    return e;
}

TEST(SdlEvents, KeysAndText) {
    // The last window event of a key-down: extended keys give their virtual key codes, control
    // keys type their characters too, letters are ordinary keys (they type through text input)
    // and keep their repeat flag, and keys the program does not report give nothing.
    struct Key { SDL_Keycode sym; int repeat, n, kind, code; bool extended; };
    const Key keys[] = {
        {SDLK_LEFT, 0, 1, EV_KEY_DOWN, 37, true},
        {SDLK_KP_ENTER, 0, 2, EV_CHAR, 13, false},
        {SDLK_TAB, 0, 2, EV_CHAR, 9, false},
        {SDLK_q, 1, 1, EV_KEY_DOWN, 'Q', false},
        {SDLK_VOLUMEUP, 0, 0, 0, 0, false},
    };
    for (const Key& k : keys) {
        const Translated t = translate(key(SDL_KEYDOWN, k.sym, k.repeat));
        const SHELL_EVENT& e = t.ev[std::max(t.n, 1) - 1];
        EXPECT_EQ(std::tuple(t.n, int(e.kind), e.code, e.extended, e.repeat),
                  std::tuple(k.n, k.kind, k.code, k.extended, k.repeat != 0)) << k.sym;
    }
    // Text gives its first character, in Latin-1; 0: beyond Latin-1, nothing.
    const std::pair<const char*, int> texts[] = {{"a", 'a'}, {"%x", '%'}, {"\xC3\xA9", 0xE9}, {"\xC3\xBF", 0xFF},
                                                 {"\xC2\xB5", 0xB5}, {"\xE2\x82\xAC", 0}, {"\xC4\x80", 0}};
    for (auto [s, code] : texts)
        EXPECT_EQ(std::tuple(translate(text(s)).n, translate(text(s)).ev[0].code), std::tuple(code != 0, code)) << code;
}

}  // namespace
