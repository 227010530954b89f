#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "support/framebuffer_helpers.h"
#include "platform/display.h"
#include "platform/framebuffer.h"
#include "platform/input.h"
#include "platform/tasks.h"

namespace {

// Frames handed over by dx_refresh and the notifications of the back end.
std::atomic<int> notified{0};
void count_frame() { notified++; }
int moved_x = -1, moved_y = -1;
void record_move(int x, int y) {
    moved_x = x;
    moved_y = y;
}
const DISPLAY_BACKEND counting{count_frame, record_move};

class Refresh : public ::testing::Test {
protected:
    void SetUp() override {
        display_set_backend(&counting);
        fb_fill_all(0);
        dx_refresh();
        const uint32_t* p;
        display_take_frame(&p);
        notified = 0;
    }
    void TearDown() override { display_set_backend(nullptr); }
};

// Each visible write is handed over once; nothing is while nothing visible changes.
TEST_F(Refresh, EveryKindOfVisibleWriteIsHandedOverOnce) {
    auto frames_after = [](void (*draw)()) {
        uint64_t before = display_frames();
        draw();
        dx_refresh();
        dx_refresh();
        return display_frames() - before;
    };
    EXPECT_EQ(frames_after([] {}), 0u);
    const uint32_t* p = nullptr;
    EXPECT_FALSE(display_take_frame(&p));
    EXPECT_EQ(frames_after([] {  // below the visible rows
                  v_wrpixel(uint32_t(addr(5, 600)), 255);
                  v_fastfill(0, 700, 100, 100, 255);
                  fb_copy(0, 700, 0, 900, 10, 10, FB_NO_KEY);
              }),
              0u);
    EXPECT_EQ(notified, 0);
    EXPECT_EQ(frames_after([] { v_wrpixel(uint32_t(addr(1023, 599)), 255); }), 1u);
    EXPECT_EQ(frames_after([] { v_wrpixel32k(3, 0x7C00); }), 1u);
    EXPECT_EQ(frames_after([] { v_fastfill(-5, 590, 10, 50, 3); }), 1u);
    EXPECT_EQ(frames_after([] { fb_copy(0, 700, 0, 599, 4, 4, FB_NO_KEY); }), 1u);
    EXPECT_EQ(frames_after([] {
                  uint32_t b[4] = {1, 2, 3, 4};
                  fb_copy_from_buffer(b, 0, 0, 0, 2, 2, FB_NO_KEY);
              }),
              1u);
    EXPECT_EQ(notified, 5);
}

TEST_F(Refresh, WindowTakesTheNewestFrameOnce) {
    v_fastfill(0, 0, 1024, 600, 224);
    dx_refresh();
    v_wrpixel(uint32_t(addr(10, 20)), 0x12345600);
    dx_refresh();
    const uint32_t* p = nullptr;
    ASSERT_TRUE(display_take_frame(&p));
    EXPECT_EQ(p[addr(10, 20)], 0x123456u);
    EXPECT_EQ(p[addr(1023, 599)], 0xFF0000u);
    EXPECT_FALSE(display_take_frame(&p));
    // The taken frame stays intact while the next one is filled.
    v_fastfill(0, 0, 1024, 600, 3);
    dx_refresh();
    EXPECT_EQ(p[addr(0, 0)], 0xFF0000u);
    ASSERT_TRUE(display_take_frame(&p));
    EXPECT_EQ(p[addr(0, 0)], 0x0000FFu);
}

TEST_F(Refresh, HandOverAcrossThreadsKeepsFramesWhole) {
    // The page loop draws whole-screen frames of one value while the window thread takes
    // them; every frame taken must be uniform.
    std::atomic<bool> done{false};
    std::atomic<int> torn{0}, taken{0};
    std::thread window([&] {
        while (!done) {
            const uint32_t* p;
            if (!display_take_frame(&p)) {
                std::this_thread::yield();
                continue;
            }
            taken++;
            for (int i = 0; i < 1024 * 600; i += 997)
                if (p[i] != p[0]) torn++;
        }
    });
    for (int k = 1; k <= 60; k++) {
        v_fastfill(0, 0, 1024, 600, k << 8);
        dx_refresh();
    }
    done = true;
    window.join();
    EXPECT_EQ(torn, 0);
    EXPECT_GE(taken, 1);
}

TEST(Winredraw, MovesThroughTheBackEnd) {
    display_set_backend(&counting);
    startx = 40;
    starty = 60;
    winredraw();
    EXPECT_EQ(moved_x, 40);
    EXPECT_EQ(moved_y, 60);
    display_set_backend(nullptr);
    winredraw();  // no back end: nothing happens
}

std::atomic<int> loop_runs{0};
std::atomic<int> loop_thread_number{-1};
std::atomic<bool> loop_on_other_thread{false};
std::thread::id test_thread;

void main_routine() {
    loop_runs++;
    loop_thread_number = thread__num;
    loop_on_other_thread = std::this_thread::get_id() != test_thread;
}

TEST(MainLoop, StartsOnceInItsOwnThread) {
    test_thread = std::this_thread::get_id();
    crt_exec(main_routine, 1024, 600);
    crt_exec(main_routine, 1024, 600);
    crt_join();
    EXPECT_TRUE(crt_started());
    EXPECT_EQ(loop_runs, 1);
    EXPECT_EQ(loop_thread_number, 0);
    EXPECT_TRUE(loop_on_other_thread);
    EXPECT_EQ(_loop, 1);
    EXPECT_EQ(sub_loop, &main_routine);
    EXPECT_EQ(pall[255], 0xFFFFFFu);
}

}  // namespace
