// The pixel operations on the framebuffer: colour rules, bounds, fills, and copies in every
// direction, with and without a key colour. The palette shows in the gfx reference images.
#include <gtest/gtest.h>

#include <tuple>

#include "platform/display.h"
#include "platform/framebuffer.h"
#include "support/framebuffer_helpers.h"

namespace {

class Framebuffer : public ::testing::Test {
protected:
    void SetUp() override { fb_fill_all(0x00101010); }
};

TEST_F(Framebuffer, PixelWritersColourRulesAndBounds) {
    // Each write goes to the pixel at column x of row 5 and leaves the colour given; 0x100 is
    // a direct colour (blue 1), not palette index 0. The transparent 4 and the inverting 32
    // are in the gfx drawing tests, the 15-bit writer in the images' tests.
    const struct { int x; int32_t value; uint32_t colour; } writes[] = {
        {5, 0x12345600, 0x123456},
        {6, -256, 0xFFFFFF},
        {7, 73, 0x5F5F99},
        {8, 0x100, 0x000001},
    };
    for (const auto& w : writes) {
        v_wrpixel(addr(w.x, 5), w.value);
        EXPECT_EQ(fb_at(w.x, 5), w.colour) << w.value;
    }
    auto before = fb_snapshot();
    v_wrpixel(uint32_t(-1), 255);  // a negative address seen unsigned
    EXPECT_TRUE(fb_changes(before).empty());
    v_wrpixel(uint32_t(fb_pixels - 1), 255);
    v_wrpixel(uint32_t(addr(1030, 0)), 255);  // column past the edge: next row
    EXPECT_EQ(std::tuple(fb_at(1023, 2399), fb_at(6, 1), v_rdpixel(int32_t(fb_pixels - 1))),
              std::tuple(0xFFFFFFu, 0xFFFFFFu, 0xFFFFFFu));
    for (int32_t outside : {-1, -1024, int32_t(fb_pixels)}) EXPECT_EQ(v_rdpixel(outside), 0u) << outside;
}

TEST_F(Framebuffer, FillCoversExactlyTheClampedRectangle) {
    // A rectangle starting left of the framebuffer is moved onto it, keeping its width; the
    // end is cut at the right and bottom edges; huge sizes do not overflow; zero and negative
    // sizes fill nothing. last_x, last_y: the last pixel filled (the next one stays).
    const struct { int x, y, w, h, colour; size_t pixels; int last_x, last_y; } cases[] = {
        {0, 0, 1024, 600, 255, 1024 * 600, 1023, 599}, {-10, 0, 20, 5, 0x00FF0000, 20 * 5, 19, 4},
        {1020, 2398, 0x7FFFFFFF, 0x7FFFFFFF, 3, 4 * 2, 1023, 2399}, {1000, 10, 30, 1, 3, 24, 1023, 10},
        {10, 10, 0, 5, 255, 0, -1, -1}, {10, 10, 5, -1, 255, 0, -1, -1},
        {0, 0, 1, 1, 4, 1, 0, 0}, {1, 0, 1, 1, 32, 1, 1, 0},  // 4 and 32 are palette indices here
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        fb_fill_all(0x101010);
        const auto before = fb_snapshot();
        v_fastfill(c.x, c.y, c.w, c.h, c.colour);
        EXPECT_EQ(fb_changes(before).size(), c.pixels);
        if (c.last_x < 0) continue;
        EXPECT_EQ(fb_at(c.last_x, c.last_y), c.colour >> 8 ? uint32_t(c.colour) >> 8 : pall[c.colour]);
        EXPECT_TRUE(c.last_x == 1023 || fb_at(c.last_x + 1, c.last_y) == 0x101010u);
    }
}

// Fills a rectangle with distinct values so that any misplaced pixel shows.
void pattern(int x, int y, int w, int h) {
    for (int j = 0; j < h; j++)
        for (int i = 0; i < w; i++) dx_surface[addr(x + i, y + j)] = uint32_t((j + 1) << 12 | (i + 1));
}

TEST_F(Framebuffer, OverlappingCopiesInEveryDirectionWithAndWithoutKey) {
    const int cases[][4] = {{10, 10, 11, 10}, {11, 10, 10, 10}, {10, 10, 10, 12},
                            {10, 12, 10, 10}, {10, 10, 13, 11}, {13, 11, 10, 10}};
    for (int64_t key : {FB_NO_KEY, int64_t(0x00FF00)})
        for (auto [xs, ys, xd, yd] : cases) {
            SCOPED_TRACE(testing::Message() << xs << "," << ys << " -> " << xd << "," << yd << " key " << key);
            fb_fill_all(0);
            pattern(10, 10, 8, 6);
            const std::vector<uint32_t> source = fb_snapshot();
            std::vector<uint32_t> expected = source;
            for (int j = 0; j < 6; j++)
                for (int i = 0; i < 8; i++)
                    expected[size_t(addr(xd + i, yd + j))] = source[size_t(addr(xs + i, ys + j))];
            fb_copy(xs, ys, xd, yd, 8, 6, key);
            EXPECT_TRUE(fb_changes(expected).empty());
        }
}

TEST_F(Framebuffer, KeyPixelsAreSkippedAndCopiesStayInside) {
    pattern(0, 0, 4, 2);
    dx_surface[addr(1, 0)] = 0x00FF00;
    fb_copy(0, 0, 100, 100, 4, 2, 0x00FF00);
    uint32_t buffer[8] = {7, 7, 7, 7, 7, 7, 7, 7};
    fb_copy_to_buffer(0, 0, buffer, 0, 4, 2, 0x00FF00);
    buffer[2] = 0x00FF00;
    fb_copy_from_buffer(buffer, 0, 200, 200, 4, 2, 0x00FF00);
    EXPECT_EQ(std::tuple(fb_at(101, 100), fb_at(102, 100), buffer[1], buffer[5], fb_at(201, 200), fb_at(202, 200)),
              std::tuple(0x101010u, fb_at(2, 0), 7u, fb_at(1, 1), 7u, 0x101010u));
    // Without a key the round trip through a buffer at an offset restores the screen.
    pattern(300, 40, 50, 30);
    std::vector<uint32_t> saved = fb_snapshot(), keep(2 + 50 * 30, 0);
    fb_copy_to_buffer(300, 40, keep.data(), 2, 50, 30, FB_NO_KEY);
    v_fastfill(300, 40, 50, 30, 0);
    fb_copy_from_buffer(keep.data(), 2, 300, 40, 50, 30, FB_NO_KEY);
    EXPECT_TRUE(fb_changes(saved).empty() && keep[0] == 0);
    // Destinations hanging over every edge: only the inside part is written; empty sizes copy nothing.
    saved = fb_snapshot();
    const int copies[][4] = {{1021, 2398, 6, 3}, {-3, -1, 6, 3}, {10, 10, 0, 5}, {10, 10, 5, 0}};
    for (auto [xd, yd, w, h] : copies) fb_copy(0, 0, xd, yd, w, h, FB_NO_KEY);
    EXPECT_EQ(std::tuple(fb_at(1023, 2399), fb_at(0, 0)),
              std::tuple(saved[size_t(addr(2, 1))], saved[size_t(addr(3, 1))]));
    for (int64_t a : fb_changes(saved))
        EXPECT_TRUE((a % 1024 >= 1021 && a / 1024 >= 2398) || (a % 1024 <= 2 && a / 1024 <= 1))
            << a % 1024 << "," << a / 1024;
}

}  // namespace
