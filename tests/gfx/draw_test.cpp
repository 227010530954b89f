#include <array>
#include <cmath>
#include <tuple>

#include "gfx/image.h"
#include "gfx_helpers.h"
#include "support/reference_image.h"

namespace {

using Draw = Canvas;

// Every pixel of the rectangle x0..x1, y0..y1 (inclusive), added to s.
PixelSet box(int x0, int y0, int x1, int y1, PixelSet s = {}) {
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) s.insert({x, y});
    return s;
}

// Runs of dx + 1 pixels (wrapping into the next row, cut at both ends of the framebuffer),
// the transparent colour 4 and the inverting colour 32; the composite drawing below covers
// lines of every slope, outlines and fills (negative sizes, inverted), anti-aliased lines.
TEST_F(Draw, PrimitivesDrawExactlyTheirPixels) {
    struct Case { const char* what; std::function<void()> draw; PixelSet want; uint32_t rgb = 0xFFFFFF; };
    const Case cases[] = {
        {"run leftwards", [] { v_hline(10, 5, -3, 255); }, box(7, 5, 10, 5)},
        {"run wraps", [] { v_hline(crtx - 2, 9, 5, 255); }, box(1022, 9, 1023, 9, box(0, 10, 3, 10))},
        {"run off the end", [] { v_hline(1020, 2399, 100, 255); }, box(1020, 2399, 1023, 2399)},
        {"run before the start", [] { v_hline(-5, 0, 7, 255); }, box(0, 0, 2, 0)},
        {"column above the top", [] { v_vline(5, -3, 5, 255); }, box(5, 0, 5, 2)},
        {"column upwards, off the end", [] { v_vline(7, 2401, -4, 255); }, box(7, 2397, 7, 2399)},
        {"transparent line", [] { v_linec(0, 0, 30, 20, 4); }, {}},
        {"transparent outline", [] { v_rectc(0, 0, 30, 20, 4); }, {}},
        {"fills take 4 as a palette colour", [] { v_rectfillc(0, 0, 2, 2, 4); }, box(0, 0, 1, 1), pall[4] & 0xFFFFFF},
        {"inverted twice", [] { for (int i = 0; i < 2; i++) v_wrpixel_xy(3, 3, 32); }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.draw();
        EXPECT_EQ(drawn(), c.want);
        for (auto [x, y] : c.want) ASSERT_EQ(fb_at(x, y), c.rgb);
    }
    // Anti-aliased lines reaching far off the framebuffer (where counting in floats stood
    // still or ran for billions of steps) draw exactly their part on it, as the line between
    // their crossings of the edges draws it, and nothing wraps around an edge.
    const float far = 1073741824.f;  // 2^30
    using Line = std::array<float, 6>;  // x, y, dx, dy, colour, thickness
    const std::pair<Line, Line> lines[] = {
        {{-far, -far / 4, 2 * far, far / 2, 252, 2}, {0, 0, 1024, 256, 252, 2}},
        {{far, far / 4, -2 * far, -far / 2, 252, 2}, {0, 0, 1024, 256, 252, 2}},
        {{100.5f, -far, 0, 2 * far, 224, 3}, {100.5f, 0, 0, 2400, 224, 3}},
        {{1020, 10.25f, far, 0, 255, 1}, {1020, 10.25f, 4, 0, 255, 1}},  // past the right edge
        {{0, far, 1000, 0, 255, 4}, {}},                                 // below the framebuffer
        {{-far, 5, 0, 100, 255, 1e9f}, {}},                              // left of it, thick
    };
    auto draw = [](const Line& l) { v_linec_antialias(l[0], l[1], l[2], l[3], uint32_t(l[4]), l[5]); };
    for (const auto& [line, on_screen] : lines) {
        SCOPED_TRACE(testing::Message() << line[0] << "," << line[1]);
        SetUp();
        draw(on_screen);
        const std::vector<uint32_t> want = fb_snapshot();
        SetUp();
        draw(line);
        EXPECT_TRUE(fb_changes(want).empty());
    }
    // Copies between the framebuffer and a store; with a transparent background (colour 4)
    // pixels of the foreground colour are not copied.
    SetUp();
    v_rectfillc(10, 10, 4, 4, 224);
    v_wrpixel_xy(11, 11, 28);
    std::vector<uint32_t> store(16, 0x123456), keyed(16, 7);
    v_color(0, 0);
    v_copy(10, 10, store.data(), 0, 4, 4);
    v_copy(store.data(), 0, 100, 100, 4, 4);
    EXPECT_EQ(std::tuple(store[5], fb_at(101, 101), fb_at(103, 103)), std::tuple(0x00FF00u, 0x00FF00u, 0xFF0000u));
    v_color(4, 224);
    v_copy(10, 10, 100, 10, 4, 4);
    v_copy(10, 10, keyed.data(), 0, 4, 4);
    EXPECT_EQ(std::tuple(fb_at(101, 11), fb_at(100, 10), keyed[0], keyed[5]), std::tuple(0x00FF00u, 0u, 7u, 0x00FF00u));
}

// A composite drawing compared pixel for pixel with a reference image.
constexpr int W = 320, H = 240;

TEST_F(Draw, CompositeMatchesTheReference) {
    headless_start();
    v_rectfillc(0, 0, W, H, 0x20202800);
    // Palette ramp: 256 cells of 1 x 12.
    for (int i = 0; i < 256; i++) v_vline(32 + i, 4, 11, i);
    // A fan of stepping lines in every octant.
    for (int k = 0; k < 24; k++) {
        double a = k * 3.14159265 / 12;
        v_linec(70, 90, int(std::lround(55 * std::cos(a))), int(std::lround(55 * std::sin(a))), 28 + (k % 8) * 32);
    }
    // Outlines and fills, with negative sizes.
    v_rectc(140, 30, 50, 30, 252);
    v_rectfillc(145, 35, 40, 20, 73);
    v_rectc(250, 60, -50, -25, 227);
    v_rectfillc(248, 58, -10, -10, 0xFF80FF00);
    v_rectc(150, 70, 40, 20, 32);
    // Anti-aliased lines of several thicknesses and slopes.
    v_linec_antialias(140.f, 100.f, 160.f, 35.5f, 252, 2.0f);
    v_linec_antialias(140.f, 150.f, 170.f, -20.25f, 224, 3.0f);
    v_linec_antialias(300.f, 100.f, -12.5f, 120.f, 0x60C0FF00u, 1.0f);
    v_linec_antialias(20.f, 220.f, 100.f, -60.f, 255, 4.0f);
    // A coding-32 image drawn 1:1, doubled and as a cell, with a transparent colour.
    std::vector<uint8_t> img = {0, 0, 32, 0, 12, 0, 8, 0, 0, 0};
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 12; x++) {
            int c = (x == y || x == 11 - y) ? 0x00E5 : ((x * 2) << 10 | (y * 4) << 5 | 31);
            img.insert(img.end(), {uint8_t(c), uint8_t(c >> 8)});
        }
    img[8] = uint8_t(img.size() - 10);  // 192 data bytes
    v_locate(20, 160);
    v_paints(img.data(), 0);
    v_color(4, 0x00E5);
    v_locate(40, 160);
    v_paints(img.data(), 512);
    v_locate(70, 160);
    v_paintx(img.data(), 4, 8, 4, 384);
    v_color(0, 255);
    // Runs wrapping at the right edge of the framebuffer do not show here; a copy does.
    v_copy(140, 30, 200, 170, 60, 40);
    expect_reference("gfx/composite", 0, 0, W, H);
}

}  // namespace
