// The hand-over of changed rows only: the bands a window is told about, a window's copy
// kept from those bands alone, and the scaling of changed rows to the window's size.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "../../platform/sdl/include/platform/frame_scale.h"
#include "support/framebuffer_helpers.h"
#include "platform/display.h"
#include "platform/framebuffer.h"

namespace {

int64_t at(int x, int y) { return int64_t(y) * crtx + x; }

// A window that keeps its own copy of the screen and updates only the bands it is told.
struct Window {
    std::vector<uint32_t> copy;
    std::vector<ROW_BAND> bands;
    bool take() {
        const uint32_t* p;
        ROW_BAND b[64];
        int n = 0;
        if (!display_take_frame(&p, b, 64, &n)) return false;
        copy.resize(size_t(crtx) * size_t(crty));
        bands.assign(b, b + n);
        for (const ROW_BAND& r : bands)
            std::copy(p + at(0, r.first), p + at(0, r.last), copy.begin() + at(0, r.first));
        return true;
    }
    bool matches_screen() const { return std::equal(copy.begin(), copy.end(), dx_surface); }
};

class RowHandOver : public ::testing::Test {
protected:
    Window window;
    void SetUp() override {
        display_set_backend(nullptr);
        v_fastfill(0, 0, crtx, 4 * crty, 0);
        dx_refresh();
        window.take();
    }
};

TEST_F(RowHandOver, EachWriterHandsOverTheRowsItWrote) {
    struct Case {
        const char* what;
        void (*draw)();
        std::vector<ROW_BAND> bands;
    };
    static const uint32_t buffer[4] = {1, 2, 3, 4};
    const Case cases[] = {
        {"pixel", [] { v_wrpixel(uint32_t(at(5, 37)), 255); }, {{37, 38}}},
        {"15-bit pixel at a word's last row", [] { v_wrpixel32k(uint32_t(at(1023, 63)), 0x7C00); }, {{63, 64}}},
        {"fill across a word", [] { v_fastfill(-5, 60, 10, 10, 3); }, {{60, 70}}},
        {"fill cut at the screen's foot", [] { v_fastfill(0, 595, 10, 50, 3); }, {{595, 600}}},
        {"copy from below the screen", [] { fb_copy(0, 700, 0, 598, 4, 4, FB_NO_KEY); }, {{598, 600}}},
        {"copy from a buffer", [] { fb_copy_from_buffer(buffer, 0, 0, 128, 2, 2, FB_NO_KEY); }, {{128, 130}}},
        {"two rows far apart",
         [] {
             v_wrpixel(uint32_t(at(0, 500)), 32);
             v_wrpixel(uint32_t(at(0, 3)), 32);
         },
         {{3, 4}, {500, 501}}},
        {"the whole screen", [] { fb_touch(); }, {{0, 600}}},
    };
    for (const Case& c : cases) {
        c.draw();
        dx_refresh();
        ASSERT_TRUE(window.take()) << c.what;
        ASSERT_EQ(window.bands.size(), c.bands.size()) << c.what;
        for (size_t i = 0; i < c.bands.size(); i++) {
            EXPECT_EQ(window.bands[i].first, c.bands[i].first) << c.what;
            EXPECT_EQ(window.bands[i].last, c.bands[i].last) << c.what;
        }
        EXPECT_TRUE(window.matches_screen()) << c.what;
    }
    // Drawing memory below the screen hands nothing over.
    v_fastfill(0, 700, 100, 100, 255);
    fb_copy(0, 700, 0, 900, 10, 10, FB_NO_KEY);
    dx_refresh();
    EXPECT_FALSE(window.take());
}

TEST_F(RowHandOver, AWindowUpdatingOnlyTheBandsKeepsTheScreen) {
    // Random bands drawn; the window takes after some refreshes and skips others, so that
    // frames coalesce and every one of the rotating buffers falls behind in turn.
    std::mt19937 rng(7);
    for (int step = 0; step < 300; step++) {
        const int y = int(rng() % 620), h = 1 + int(rng() % 40);
        v_fastfill(int(rng() % 1000), y, 1 + int(rng() % 200), h, int(rng() % 256));
        dx_refresh();
        if (rng() % 3 == 0) continue;
        window.take();
        ASSERT_TRUE(window.matches_screen()) << "step " << step;
    }
}

TEST(FrameScale, ScalesLikeBilinearSamplingAtPixelCentres) {
    // Two pixels doubled: the edges clamp, the inner pixels blend a quarter and three quarters.
    const uint32_t src[2] = {0x000000, 0xFF8040};
    FrameScaler s;
    s.set_size(2, 1, 4, 1);
    uint32_t out[4];
    s.scale_row(src, 0, out);
    EXPECT_EQ(out[0], 0x000000u);
    EXPECT_EQ(out[1], 0x3F2010u);
    EXPECT_EQ(out[2], 0xBF6030u);
    EXPECT_EQ(out[3], 0xFF8040u);
    // At the same size every pixel is its own.
    std::vector<uint32_t> frame(64 * 48), row(64);
    std::mt19937 rng(3);
    for (uint32_t& p : frame) p = rng() & 0xFFFFFF;
    s.set_size(64, 48, 64, 48);
    for (int y = 0; y < 48; y++) {
        s.scale_row(frame.data(), y, row.data());
        ASSERT_TRUE(std::equal(row.begin(), row.end(), frame.begin() + 64 * y)) << "row " << y;
    }
}

TEST(FrameScale, RescalingTheRowsThatReadChangedRowsEqualsAWholeRescale) {
    struct Size {
        int dw, dh;
    };
    for (Size d : {Size{1280, 750}, Size{700, 410}, Size{1024, 1201}}) {
        std::mt19937 rng(11);
        std::vector<uint32_t> frame(1024 * 600);
        for (uint32_t& p : frame) p = rng() & 0xFFFFFF;
        FrameScaler s;
        s.set_size(1024, 600, d.dw, d.dh);
        std::vector<uint32_t> shown(size_t(d.dw) * size_t(d.dh)), whole(shown.size());
        for (int y = 0; y < d.dh; y++) s.scale_row(frame.data(), y, &shown[size_t(y) * size_t(d.dw)]);
        std::vector<uint8_t> changed(600, 0);
        for (int y : {0, 1, 299, 300, 598, 599}) {
            changed[size_t(y)] = 1;
            for (int x = 0; x < 1024; x++) frame[size_t(y) * 1024 + size_t(x)] ^= 0x808080;
        }
        for (int y = 0; y < d.dh; y++) {
            s.scale_row(frame.data(), y, &whole[size_t(y) * size_t(d.dw)]);
            if (s.reads_changed(y, changed)) s.scale_row(frame.data(), y, &shown[size_t(y) * size_t(d.dw)]);
        }
        EXPECT_TRUE(shown == whole) << d.dw << " x " << d.dh;
    }
}

}  // namespace
