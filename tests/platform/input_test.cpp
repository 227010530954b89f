#include <gtest/gtest.h>

#include <cstring>

#include "platform/display.h"
#include "platform/input.h"

namespace {

class Inkey : public ::testing::Test {
protected:
    void SetUp() override {
        client_width = 1024;
        client_height = 600;
        mouse__x = 0;
        mouse__y = 0;
        mouse__left = 0;
        key__press = 0;
        _tastiera = 1;
        _freeze = 0;
        num_cam = 0;
        for (int i = 0; i < TOUCH_FIELDS; i++) xcampi_x[i] = xcampi_y[i] = xcampi_dx[i] = xcampi_dy[i] = 0;
    }
    static void field(int n, int x, int y, int dx, int dy) {
        xcampi_x[n] = int16_t(x);
        xcampi_y[n] = int16_t(y);
        xcampi_dx[n] = int16_t(dx);
        xcampi_dy[n] = int16_t(dy);
        if (n > num_cam) num_cam = int16_t(n);
    }
    static void point(int x, int y, bool down) {
        mouse__x = x;
        mouse__y = y;
        mouse__left = down ? 1 : 0;
    }
};

TEST_F(Inkey, ScalesThePointerToTheFramebuffer) {
    client_width = 2048;
    client_height = 1200;
    point(200, 100, false);
    v_inkey();
    EXPECT_EQ(touch_x, 100);
    EXPECT_EQ(touch_y, 50);

    client_width = 512;
    client_height = 300;
    point(511, 299, false);
    v_inkey();
    EXPECT_EQ(touch_x, 1022);
    EXPECT_EQ(touch_y, 598);

    // A minimised window (empty client area) keeps the last position.
    client_width = 0;
    point(5, 5, false);
    v_inkey();
    EXPECT_EQ(touch_x, 1022);
    EXPECT_EQ(touch_y, 598);
    client_width = 1024;
    client_height = 0;
    v_inkey();
    EXPECT_EQ(touch_x, 1022);
}

TEST_F(Inkey, HitTestPrefersTheHighestFieldWithInclusiveBounds) {
    field(1, 10, 10, 100, 100);
    field(2, 50, 50, 20, 20);
    field(3, 0, 0, 0, 0);  // cleared field: never hit, not even at (0, 0)
    point(60, 60, true);
    EXPECT_EQ(v_inkey(), INKEY_PRESS);
    EXPECT_EQ(t_campo, 2);
    point(70, 70, true);  // on the far corner of field 2
    v_inkey();
    EXPECT_EQ(t_campo, 2);
    point(71, 70, true);
    v_inkey();
    EXPECT_EQ(t_campo, 1);
    point(10, 10, true);
    v_inkey();
    EXPECT_EQ(t_campo, 1);
    point(0, 0, true);
    EXPECT_EQ(v_inkey(), 0);
    EXPECT_EQ(t_campo, 0);
    // Only fields 1 .. num_cam are tested; a count beyond the table is not followed.
    num_cam = 1;
    point(60, 60, true);
    v_inkey();
    EXPECT_EQ(t_campo, 1);
    num_cam = 0x7FFF;
    v_inkey();
    EXPECT_EQ(t_campo, 2);
}

TEST_F(Inkey, PressFreezeAndRelease) {
    field(1, 100, 100, 10, 10);
    point(5, 5, true);
    EXPECT_EQ(v_inkey(), 0);  // pressed outside every field
    EXPECT_EQ(touch_premuto, 1);
    _freeze = 1;
    EXPECT_EQ(v_inkey(), INKEY_PRESS);  // frozen: any press counts
    EXPECT_EQ(_freeze, 1);
    point(5, 5, false);
    EXPECT_EQ(v_inkey(), 0);
    EXPECT_EQ(_freeze, 0);
    EXPECT_EQ(touch_premuto, 0);
}

TEST_F(Inkey, KeyModes) {
    field(1, 0, 0, 1023, 599);
    point(5, 5, true);
    key__press = 'A';
    _tastiera = 0;
    EXPECT_EQ(v_inkey(), INKEY_PRESS);  // keys not reported: the press is
    _tastiera = 1;
    EXPECT_EQ(v_inkey(), 'A');
    EXPECT_EQ(v_inkey(), 'A');  // not consumed
    _tastiera = 2;
    EXPECT_EQ(v_inkey(), -56);
    key__press = 'J';
    EXPECT_EQ(v_inkey(), -47);
    key__press = 'K';
    EXPECT_EQ(v_inkey(), 'K');
    key__press = 'a';
    EXPECT_EQ(v_inkey(), 'a');
}

SHELL_EVENT ev(SHELL_EVENT_KIND kind, int code = 0) {
    SHELL_EVENT e{kind};
    e.code = code;
    return e;
}

SHELL_EVENT key_down(int vk, bool extended, bool repeat = false) {
    SHELL_EVENT e = ev(EV_KEY_DOWN, vk);
    e.extended = extended;
    e.repeat = repeat;
    return e;
}

SHELL_EVENT at(SHELL_EVENT_KIND kind, int x, int y) {
    SHELL_EVENT e{kind};
    e.x = x;
    e.y = y;
    return e;
}

class Shell : public ::testing::Test {
protected:
    void SetUp() override {
        std::strcpy(WindowName, "Corvane.64.App");
        refresh_time = 0;
        key__press = 0;
        startx = starty = oldx = oldy = 0;
        shell_reset_presses();
    }
    void TearDown() override { std::strcpy(WindowName, "Corvane.64.App"); }
};

TEST_F(Shell, Characters) {
    struct {
        int code, key;
    } cases[] = {{'a', 'a'}, {'%', 37}, {13, 13}, {27, 27}, {8, 8},     {9, 0},
                 {1, 0},     {7, 0},    {10, 10}, {200, 72}, {127, 127}, {0, 0}};
    for (auto c : cases) {
        key__press = 99;
        EXPECT_EQ(WndProc(ev(EV_CHAR, c.code)), ACT_NONE);
        EXPECT_EQ(key__press, c.key) << c.code;
    }
}

TEST_F(Shell, KeysDownAndUp) {
    WndProc(key_down(37, true));  // left arrow
    EXPECT_EQ(key__press, 37);
    WndProc(ev(EV_KEY_UP));
    EXPECT_EQ(key__press, 0);
    WndProc(key_down(144, true));  // Num Lock: low 7 bits
    EXPECT_EQ(key__press, 16);
    key__press = 0;
    WndProc(key_down('Q', false));  // an ordinary key reports through its character
    EXPECT_EQ(key__press, 0);
    WndProc(key_down('Q', false, true));  // ... but a repeat counts
    EXPECT_EQ(key__press, 'Q');
    WndProc(key_down(8, false, true));  // codes up to 9 clear
    EXPECT_EQ(key__press, 0);
}

TEST_F(Shell, PageRefreshOnlyWithRefreshTime) {
    refresh_time = 20;
    EXPECT_EQ(WndProc(ev(EV_CHAR, 'x')), ACT_REFRESH);
    EXPECT_EQ(WndProc(ev(EV_CHAR, 3)), ACT_NONE);
    EXPECT_EQ(WndProc(key_down(38, true)), ACT_REFRESH);
    EXPECT_EQ(WndProc(ev(EV_KEY_UP)), ACT_REFRESH);
}

TEST_F(Shell, PointerButtonsAndTouch) {
    SHELL_EVENT move = at(EV_POINTER_MOVE, 300, 200);
    move.left = true;
    WndProc(move);
    EXPECT_EQ(mouse__x, 300);
    EXPECT_EQ(mouse__y, 200);
    EXPECT_EQ(mouse__left, 1);
    WndProc(at(EV_LEFT_UP, 301, 202));
    EXPECT_EQ(mouse__left, 0);
    EXPECT_EQ(mouse__x, 301);
    WndProc(at(EV_LEFT_DOWN, -5, 70000));  // positions are signed 16-bit halves
    EXPECT_EQ(mouse__left, 1);
    EXPECT_EQ(mouse__x, -5);
    EXPECT_EQ(mouse__y, 70000 - 65536);
    SHELL_EVENT touch = at(EV_TOUCH, 40, 50);
    WndProc(touch);
    EXPECT_EQ(mouse__left, 0);
    touch.left = true;
    WndProc(touch);
    EXPECT_EQ(mouse__left, 1);
    EXPECT_EQ(mouse__y, 50);
    EXPECT_EQ(WndProc(ev(EV_CLOSE)), ACT_EXIT);
}

SHELL_EVENT right_press(int x, int y, uint32_t t) {
    SHELL_EVENT e = at(EV_RIGHT_DOWN, x, y);
    e.time_ms = t;
    return e;
}

TEST_F(Shell, RightDraggingMovesOnlyDraggableWindows) {
    SHELL_EVENT drag = at(EV_POINTER_MOVE, 130, 95);
    drag.right = true;
    WndProc(right_press(100, 100, 1000));
    EXPECT_EQ(WndProc(drag), ACT_NONE);  // this program's titled window
    EXPECT_EQ(startx, 0);

    std::strcpy(WindowName, "1280");
    WndProc(right_press(100, 100, 5000));
    EXPECT_EQ(WndProc(drag), ACT_MOVE_WINDOW);
    EXPECT_EQ(startx, 30);
    EXPECT_EQ(starty, -5);
}

TEST_F(Shell, TwoQuickRightPressesEndAnXWindow) {
    std::strcpy(WindowName, "X");
    EXPECT_EQ(WndProc(right_press(1, 1, 10)), ACT_NONE);  // first press ever, even early
    EXPECT_EQ(WndProc(right_press(1, 1, 360)), ACT_NONE);   // 350 ms later
    EXPECT_EQ(WndProc(right_press(1, 1, 709)), ACT_EXIT);   // 349 ms later
    std::strcpy(WindowName, "Y");
    shell_reset_presses();
    WndProc(right_press(1, 1, 10));
    EXPECT_EQ(WndProc(right_press(1, 1, 20)), ACT_NONE);
}

TEST(WindowMode, TitleSelectsStyleAndSize) {
    WINDOW_MODE m = window_mode("Corvane.64.App", 1024, 600, 1920, 1080);
    EXPECT_TRUE(m.titled);
    EXPECT_FALSE(m.draggable);
    EXPECT_EQ(m.width, 1024);
    EXPECT_EQ(m.height, 600);

    m = window_mode("FULLSCREEN", 1024, 600, 1920, 1080);
    EXPECT_TRUE(m.fullscreen);
    EXPECT_FALSE(m.draggable);
    EXPECT_EQ(m.width, 1920);
    EXPECT_EQ(m.height, 1080);
    EXPECT_TRUE(window_mode("", 1024, 600, 1920, 1080).fullscreen);

    m = window_mode("NOTITLE", 1024, 600, 1920, 1080);
    EXPECT_FALSE(m.titled || m.fullscreen || m.draggable);
    EXPECT_EQ(m.width, 1026);
    EXPECT_EQ(m.height, 602);
    m = window_mode("7", 1024, 600, 1920, 1080);  // one character, not a width
    EXPECT_TRUE(m.draggable);
    EXPECT_EQ(m.width, 1026);

    m = window_mode("1280", 1024, 600, 1920, 1080);
    EXPECT_FALSE(m.titled);
    EXPECT_TRUE(m.draggable);
    EXPECT_EQ(m.width, 1280);
    EXPECT_EQ(m.height, 750);
    EXPECT_TRUE(window_mode("320", 1024, 600, 1920, 1080).titled);
    EXPECT_EQ(window_mode("999999999999", 1024, 600, 1920, 1080).width, 100000);
}

}  // namespace
