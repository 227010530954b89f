// The hand-over of frames to the window: each visible write is handed over once with the
// bands of rows it changed, a window's copy kept from those bands alone stays the screen,
// frames stay whole across threads, and a scaled window redraws every row a change reaches.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <span>
#include <thread>
#include <tuple>
#include <vector>

#include "../../platform/sdl/include/platform/frame_scale.h"
#include "platform/display.h"
#include "platform/framebuffer.h"
#include "support/framebuffer_helpers.h"

namespace {

// Frames announced to the back end.
std::atomic<int> notified{0};
const DISPLAY_BACKEND counting{[] { notified++; }, [](int, int) {}};

// A window that keeps its own copy of the screen and updates only the bands it is told.
struct Window {
    std::vector<uint32_t> copy;
    std::vector<std::pair<int, int>> bands;
    bool take() {
        const uint32_t* p;
        ROW_BAND b[64];
        int n = 0;
        if (!display_take_frame(&p, b, 64, &n)) return false;
        copy.resize(size_t(crtx) * size_t(crty));
        bands.clear();
        for (const ROW_BAND& r : std::span(b, size_t(n))) {
            bands.emplace_back(r.first, r.last);
            std::copy(p + addr(0, r.first), p + addr(0, r.last), copy.begin() + addr(0, r.first));
        }
        return true;
    }
    bool matches_screen() const { return std::equal(copy.begin(), copy.end(), dx_surface); }
};

class Refresh : public ::testing::Test {
protected:
    void SetUp() override {
        display_set_backend(&counting);
        v_fastfill(0, 0, crtx, 4 * crty, 0);
        dx_refresh();
        window.take();
        notified = 0;
    }
    void TearDown() override { display_set_backend(nullptr); }
    Window window;
};

TEST_F(Refresh, EachVisibleWriteIsHandedOverOnceWithTheRowsItWrote) {
    static const uint32_t buffer[4] = {1, 2, 3, 4};
    const struct { const char* what; void (*draw)(); std::vector<std::pair<int, int>> bands; } cases[] = {
        {"pixel", [] { v_wrpixel(uint32_t(addr(5, 37)), 255); }, {{37, 38}}},
        {"15-bit pixel at a word's last row", [] { v_wrpixel32k(uint32_t(addr(1023, 63)), 0x7C00); }, {{63, 64}}},
        {"fill across a word", [] { v_fastfill(-5, 60, 10, 10, 3); }, {{60, 70}}},
        {"fill cut at the screen's foot", [] { v_fastfill(0, 595, 10, 50, 3); }, {{595, 600}}},
        {"copy from below the screen", [] { fb_copy(0, 700, 0, 598, 4, 4, FB_NO_KEY); }, {{598, 600}}},
        {"copy from a buffer", [] { fb_copy_from_buffer(buffer, 0, 0, 128, 2, 2, FB_NO_KEY); }, {{128, 130}}},
        {"two rows far apart", [] {
             v_wrpixel(uint32_t(addr(0, 500)), 32);
             v_wrpixel(uint32_t(addr(0, 3)), 32);
         }, {{3, 4}, {500, 501}}},
        {"the whole screen", [] { fb_touch(); }, {{0, 600}}},
        {"below the screen: nothing", [] {
             v_wrpixel(uint32_t(addr(5, 600)), 255);
             fb_copy(0, 700, 0, 900, 10, 10, FB_NO_KEY);
         }, {}},
    };
    int frames = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const uint64_t before = display_frames();
        c.draw();
        dx_refresh();
        dx_refresh();  // nothing new: no second frame
        frames += !c.bands.empty();
        EXPECT_EQ(std::tuple(display_frames() - before, notified.load()),
                  std::tuple(uint64_t(!c.bands.empty()), frames));
        EXPECT_EQ(window.take(), !c.bands.empty());
        EXPECT_TRUE(c.bands.empty() || (window.bands == c.bands && window.matches_screen()));
        EXPECT_FALSE(window.take());
    }
}

TEST_F(Refresh, AWindowUpdatingOnlyTheBandsKeepsTheScreenAndATakenFrameStaysIntact) {
    // Random bands drawn; the window takes after some refreshes and skips others, so that
    // frames coalesce and every one of the rotating buffers falls behind in turn.
    std::mt19937 rng(7);
    for (int step = 0; step < 300; step++) {
        v_fastfill(int(rng() % 1000), int(rng() % 620), 1 + int(rng() % 200), 1 + int(rng() % 40), int(rng() % 256));
        dx_refresh();
        if (rng() % 3 == 0) continue;
        window.take();
        ASSERT_TRUE(window.matches_screen()) << "step " << step;
    }
    const uint32_t* p = nullptr;
    for (int colour : {224, 3}) {
        v_fastfill(0, 0, 1024, 600, colour);
        dx_refresh();
        if (colour == 224) { ASSERT_TRUE(display_take_frame(&p)); }
    }
    EXPECT_EQ(p[addr(0, 0)], 0xFF0000u);
    ASSERT_TRUE(display_take_frame(&p));
    EXPECT_EQ(p[addr(1023, 599)], 0x0000FFu);
}

TEST_F(Refresh, HandOverAcrossThreadsKeepsFramesWhole) {
    // The page loop draws whole-screen frames of one value, 1 to 60, while the window thread
    // takes them until it has the last; every frame taken must be uniform.
    std::atomic<int> torn{0};
    std::thread window_thread([&] {
        for (uint32_t seen = 0; seen != 60;) {
            const uint32_t* p;
            if (!display_take_frame(&p)) {
                std::this_thread::yield();
                continue;
            }
            seen = p[0];
            for (int i = 0; i < 1024 * 600; i += 997) torn += p[i] != seen;
        }
    });
    for (int k = 1; k <= 60; k++) {
        v_fastfill(0, 0, 1024, 600, k << 8);
        dx_refresh();
    }
    window_thread.join();
    EXPECT_EQ(torn.load(), 0);
}

TEST(FrameScale, RescalingTheRowsThatReadChangedRowsEqualsAWholeRescale) {
    for (auto [dw, dh] : {std::pair{1280, 750}, std::pair{700, 410}, std::pair{1024, 1201}}) {
        std::mt19937 rng(11);
        std::vector<uint32_t> frame(1024 * 600);
        for (uint32_t& p : frame) p = rng() & 0xFFFFFF;
        FrameScaler s;
        s.set_size(1024, 600, dw, dh);
        std::vector<uint32_t> shown(size_t(dw) * size_t(dh)), whole(shown.size());
        for (int y = 0; y < dh; y++) s.scale_row(frame.data(), y, &shown[size_t(y) * size_t(dw)]);
        std::vector<uint8_t> changed(600, 0);
        for (int y : {0, 1, 299, 300, 598, 599}) {
            changed[size_t(y)] = 1;
            for (int x = 0; x < 1024; x++) frame[size_t(y) * 1024 + size_t(x)] ^= 0x808080;
        }
        for (int y = 0; y < dh; y++) {
            s.scale_row(frame.data(), y, &whole[size_t(y) * size_t(dw)]);
            if (s.reads_changed(y, changed)) s.scale_row(frame.data(), y, &shown[size_t(y) * size_t(dw)]);
        }
        EXPECT_TRUE(shown == whole) << dw << " x " << dh;
    }
}

}  // namespace
