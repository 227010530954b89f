// The page's input: pointer scaling and the touch-field hit test of v_inkey, the key mode
// the page uses, and the window events of WndProc (keys, the typed-key queue, buttons). The
// window modes other than the program's own serve only gfx-demo's --title.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "platform/display.h"
#include "platform/input.h"

namespace {

class Input : public ::testing::Test {
protected:
    void SetUp() override {
        client_width = 1024, client_height = 600, _tastiera = 1, _freeze = 0, refresh_time = 0, num_cam = 0;
        mouse__x = mouse__y = mouse__left = mouse__pressed = key__press = startx = starty = oldx = oldy = 0;
        while (take_typed_key() >= 0) {
        }
        shell_reset_presses();
        for (int i = 0; i < TOUCH_FIELDS; i++) xcampi_x[i] = xcampi_y[i] = xcampi_dx[i] = xcampi_dy[i] = 0;
    }

    static void field(int n, int x, int y, int dx, int dy) {
        xcampi_x[n] = int16_t(x), xcampi_y[n] = int16_t(y), xcampi_dx[n] = int16_t(dx), xcampi_dy[n] = int16_t(dy);
        if (n > num_cam) num_cam = int16_t(n);
    }
    static int point(int x, int y, bool down) {
        mouse__x = x, mouse__y = y, mouse__left = down ? 1 : 0;
        return v_inkey();
    }
};

TEST_F(Input, PointerIsScaledToTheFramebuffer) {
    const struct {
        int cw, ch, x, y, tx, ty;
    } cases[] = {{2048, 1200, 200, 100, 100, 50},
                 {512, 300, 511, 299, 1022, 598},
                 // An empty client area (a minimised window) keeps the last position.
                 {0, 300, 5, 5, 1022, 598},
                 {1024, 0, 5, 5, 1022, 598}};
    for (const auto& c : cases) {
        client_width = c.cw, client_height = c.ch;
        point(c.x, c.y, false);
        EXPECT_EQ(std::tuple(touch_x, touch_y), std::tuple(c.tx, c.ty)) << c.cw;
    }
}

TEST_F(Input, HitTestPrefersTheHighestFieldWithInclusiveBounds) {
    field(1, 10, 10, 100, 100);
    field(2, 50, 50, 20, 20);
    field(3, 0, 0, 0, 0);  // cleared field: never hit, not even at (0, 0)
    const struct {
        int x, y, field;
    } cases[] = {{60, 60, 2}, {70, 70, 2}, {71, 70, 1}, {10, 10, 1}, {110, 110, 1}, {111, 110, 0}, {0, 0, 0}};
    for (const auto& c : cases)
        EXPECT_EQ((std::tuple{point(c.x, c.y, true), int(t_campo)}), std::tuple(c.field ? INKEY_PRESS : 0, c.field)) << c.x << "," << c.y;
    // Only fields 1 .. num_cam are tested; a count beyond the table is not followed.
    num_cam = 1;
    point(60, 60, true);
    EXPECT_EQ(t_campo, 1);
    num_cam = 0x7FFF;
    point(60, 60, true);
    EXPECT_EQ(t_campo, 2);
}

TEST_F(Input, PressFreezeReleaseAndKeys) {
    field(1, 100, 100, 10, 10);
    EXPECT_EQ(point(5, 5, true), 0);  // pressed outside every field
    EXPECT_EQ(touch_premuto, 1);
    _freeze = 1;
    EXPECT_EQ(v_inkey(), INKEY_PRESS);  // frozen: any press counts
    EXPECT_EQ(point(5, 5, false), 0);
    EXPECT_EQ(_freeze, 0);
    EXPECT_EQ(touch_premuto, 0);

    // The page's key mode 1 reports a key before the press, and again until it is released.
    field(1, 0, 0, 1023, 599);
    point(5, 5, true);
    key__press = 'A';
    EXPECT_EQ(std::tuple(v_inkey(), v_inkey()), std::tuple('A', 'A'));
}

SHELL_EVENT ev(SHELL_EVENT_KIND kind, int code = 0, int x = 0, int y = 0, uint32_t t = 0, bool left = false) {
    SHELL_EVENT e{kind};
    e.code = code, e.x = x, e.y = y, e.time_ms = t, e.left = left;
    return e;
}

SHELL_EVENT key_down(int vk, bool extended, bool repeat = false) {
    SHELL_EVENT e = ev(EV_KEY_DOWN, vk);
    e.extended = extended, e.repeat = repeat;
    return e;
}

// What one event queues for the page: the key, or -1 for nothing.
int typed(const SHELL_EVENT& e) {
    WndProc(e);
    const int key = take_typed_key();
    EXPECT_EQ(take_typed_key(), -1) << "one key at most";
    return key;
}

TEST_F(Input, CharactersAndKeysThatType) {
    const struct {
        int code, key;
    } chars[] = {{'a', 'a'}, {'%', 37}, {13, 13}, {27, 27}, {8, 8},     {9, -1},
                 {1, -1},    {7, -1},   {10, 10}, {200, 72}, {127, 127}, {0, -1}};
    for (auto c : chars) EXPECT_EQ(typed(ev(EV_CHAR, c.code)), c.key) << c.code;
    const struct {
        SHELL_EVENT e;
        int key;
    } keys[] = {{key_down(37, true), 37},  {key_down(37, true, true), 37},  // left arrow and its repeat
                {key_down(144, true), 16},                                  // Num Lock: low 7 bits
                // An ordinary key types through its character, its repeats too.
                {key_down('Q', false), -1}, {key_down('Q', false, true), -1},
                {key_down(8, true), -1}};  // codes up to 9 are dropped
    for (const auto& k : keys) EXPECT_EQ(typed(k.e), k.key) << k.e.code;
    key__press = 37;
    WndProc(ev(EV_KEY_UP));
    EXPECT_EQ(key__press, 0);
}

TEST_F(Input, KeysAndClicksFasterThanThePageComeOneAPassInOrder) {
    for (int c : {int('b'), int('e'), int('e'), 13}) {
        WndProc(ev(EV_CHAR, c));
        WndProc(ev(EV_KEY_UP));
    }
    std::vector<int> seen;
    for (int pass = 0; pass < 9; pass++) seen.push_back(v_inkey());
    EXPECT_EQ(seen, (std::vector<int>{'b', 0, 'e', 0, 'e', 0, 13, 0, 0}));
    // A full queue drops further keys rather than overwrite waiting ones.
    for (unsigned i = 0; i < TYPED_KEYS + 5; i++) WndProc(ev(EV_CHAR, 'a' + i % 26));
    for (unsigned i = 0; i < TYPED_KEYS; i++) EXPECT_EQ(take_typed_key(), int('a' + i % 26)) << i;
    EXPECT_EQ(take_typed_key(), -1);
    // A click and a keystroke shorter than a pass are seen once.
    WndProc(ev(EV_LEFT_DOWN, 0, 10, 10));
    WndProc(ev(EV_CHAR, 'a'));
    WndProc(ev(EV_LEFT_UP, 0, 10, 10));
    WndProc(ev(EV_KEY_UP));
    EXPECT_EQ(v_inkey(), 'a');
    EXPECT_EQ(touch_premuto, 1);
    EXPECT_EQ(v_inkey(), 0);  // then released
    EXPECT_EQ(touch_premuto, 0);
}

TEST_F(Input, PointerButtonsAndTouch) {
    const struct {
        SHELL_EVENT e;
        int x, y, left;
    } steps[] = {{ev(EV_POINTER_MOVE, 0, 300, 200, 0, true), 300, 200, 1}, {ev(EV_LEFT_UP, 0, 301, 202), 301, 202, 0},
                 // Positions are signed 16-bit halves.
                 {ev(EV_LEFT_DOWN, 0, -5, 70000), -5, 70000 - 65536, 1},
                 {ev(EV_TOUCH, 0, 40, 50), 40, 50, 0}, {ev(EV_TOUCH, 0, 40, 51, 0, true), 40, 51, 1}};
    for (const auto& s : steps) {
        WndProc(s.e);
        EXPECT_EQ(std::tuple(mouse__x.load(), mouse__y.load(), int(mouse__left.load())), std::tuple(s.x, s.y, s.left)) << s.e.kind;
    }
    EXPECT_EQ(WndProc(ev(EV_CLOSE)), ACT_EXIT);
}

}  // namespace
