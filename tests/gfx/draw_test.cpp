#include <array>
#include <functional>

#include "gfx_helpers.h"

namespace {

using Draw = Canvas;

// Every pixel of the rectangle x0..x1, y0..y1 (inclusive), added to s.
PixelSet box(int x0, int y0, int x1, int y1, PixelSet s = {}) {
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) s.insert({x, y});
    return s;
}
// The border of that rectangle.
PixelSet frame(int x0, int y0, int x1, int y1) {
    return box(x0, y0, x1, y0, box(x0, y1, x1, y1, box(x0, y0, x0, y1, box(x1, y0, x1, y1))));
}

// Runs of dx + 1 pixels (wrapping into the next row, cut at both ends of the framebuffer),
// stepping lines and rectangles: the exact pixels, all in the colour.
TEST_F(Draw, PrimitivesDrawExactlyTheirPixels) {
    struct Case { const char* what; std::function<void()> draw; PixelSet want; } const cases[] = {
        {"run of one", [] { v_hline(10, 5, 0, 255); }, box(10, 5, 10, 5)},
        {"run leftwards", [] { v_hline(10, 5, -3, 255); }, box(7, 5, 10, 5)},
        {"run wraps", [] { v_hline(crtx - 2, 9, 5, 255); }, box(1022, 9, 1023, 9, box(0, 10, 3, 10))},
        {"run off the end", [] { v_hline(1020, 2399, 100, 255); }, box(1020, 2399, 1023, 2399)},
        {"run before the start", [] { v_hline(-5, 0, 7, 255); }, box(0, 0, 2, 0)},
        {"column above the top", [] { v_vline(5, -3, 5, 255); }, box(5, 0, 5, 2)},
        {"column off the end", [] { v_vline(7, 2397, 10, 255); }, box(7, 2397, 7, 2399)},
        {"column upwards", [] { v_vline(7, 20, -2, 255); }, box(7, 18, 7, 20)},
        {"stepping line", [] { v_linec(0, 0, 2, 1, 255); }, {{0, 0}, {1, 0}, {1, 1}, {2, 1}}},
        {"diagonal", [] { v_linec(100, 100, 3, 3, 255); }, {{100, 100}, {101, 101}, {102, 102}, {103, 103}}},
        {"horizontal line", [] { v_linec(50, 60, -7, 0, 255); }, box(43, 60, 50, 60)},
        {"vertical line", [] { v_linec(50, 60, 0, 9, 255); }, box(50, 60, 50, 69)},
        // An outline covers dx + 1 by dy + 1 pixels, a fill dx by dy.
        {"outline", [] { v_rectc(0, 0, 10, 5, 255); }, frame(0, 0, 10, 5)},
        {"fill", [] { v_rectfillc(0, 0, 10, 5, 255); }, box(0, 0, 9, 4)},
        {"outline, negative width", [] { v_rectc(10, 10, -4, 3, 255); }, frame(7, 10, 11, 13)},
        {"fill, negative sizes", [] { v_rectfillc(10, 10, -4, -3, 255); }, box(7, 8, 10, 10)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.draw();
        EXPECT_EQ(drawn(), c.want);
        for (auto [x, y] : c.want) ASSERT_EQ(fb_at(x, y), 0xFFFFFFu);
    }
}

TEST_F(Draw, TransparentAndInvertColours) {
    v_wrpixel_xy(3, 3, 4);
    v_linec(0, 0, 30, 20, 4);
    v_rectc(0, 0, 30, 20, 4);
    EXPECT_TRUE(drawn().empty());
    v_rectfillc(0, 0, 2, 2, 4);  // the fill takes 4 as a palette colour
    EXPECT_EQ(drawn(), box(0, 0, 1, 1));
    EXPECT_EQ(fb_at(1, 1), pall[4]);

    SetUp();
    v_wrpixel_xy(3, 3, 32);
    EXPECT_EQ(fb_at(3, 3), 0xFFFFFFu);
    v_wrpixel_xy(3, 3, 32);
    EXPECT_TRUE(drawn().empty());
    // An inverted outline meets itself at the corners, which are inverted twice.
    v_rectc(20, 20, 10, 10, 32);
    PixelSet corners{{20, 20}, {30, 20}, {20, 30}, {30, 30}}, want;
    for (auto p : frame(20, 20, 30, 30))
        if (!corners.count(p)) want.insert(p);
    EXPECT_EQ(drawn(), want);
}

TEST_F(Draw, PixelsAndPositionsByCoordinatesAndClearScreen) {
    v_llocate(3, 6);  // line 3, column 6 of 8-pixel cells
    EXPECT_EQ(std::make_pair(vid[0].v_xlocate, vid[0].v_ylocate), std::make_pair(40, 24));
    v_wrpixel_xy(1023, 599, 0x12345600);
    // Reads outside the framebuffer give black.
    EXPECT_EQ(Row({v_rdpixel_xyz(1023, 599), v_rdpixel_xyz(-1, 0), v_rdpixel_xyz(0, 2400)}), Row({0x123456, 0, 0}));
    v_pixel(uint32_t(addr(4, 4)), 28);
    EXPECT_EQ(fb_at(4, 4), 0x00FF00u);
    v_color(113, 255);
    v_cls();
    // The visible screen only.
    EXPECT_EQ(Row({fb_at(0, 0), fb_at(1023, 599), fb_at(0, 600)}), Row({pall[113], pall[113], 0}));
}

TEST(Colour, ToRGB) {
    const std::pair<int, int> cases[] = {{0xFF, 0xE0E0C0}, {0x123456FF, 0x123456}, {0, 0}, {28, 0x00E000},
                                         {3, 0x0000C0}, {0x100, 0x000001}, {int(0xFFFF00FC), 0xFFFF00}};
    // Direct colours keep their sign bits; palette colours have none.
    for (auto [in, out] : cases) EXPECT_EQ(in < 0 ? ToRGB(in) & 0xFFFFFF : ToRGB(in), out) << std::hex << in;
}

TEST_F(Draw, AntialiasedLinePixelCountsPerStep) {
    struct Case { float x, y, dx, dy; int colour; float thick; size_t pixels; PixelSet inside, outside; };
    const Case cases[] = {
        {10, 10.25f, 20, 0, 255, 1, 2 * 20, {}, {}},  // two edge pixels per column, end excluded
        {10, 10.25f, 20, 0, 255, 4, 5 * 20, {{10, 10}, {10, 14}, {29, 12}}, {{30, 10}}},  // and three solid
        {50.5f, 40, 0, 6, 224, 3, 4 * 6, {{50, 40}, {53, 45}}, {}},  // y-major: thickness along x
    };
    for (const Case& c : cases) {
        SetUp();
        v_linec_antialias(c.x, c.y, c.dx, c.dy, c.colour, c.thick);
        PixelSet s = drawn();
        EXPECT_EQ(s.size(), c.pixels) << c.thick;
        for (auto p : c.inside) EXPECT_TRUE(s.count(p)) << p.first << "," << p.second;
        for (auto p : c.outside) EXPECT_FALSE(s.count(p)) << p.first << "," << p.second;
    }
}

TEST_F(Draw, AntialiasedLineBlendsAgainstTheBackground) {
    auto line_on = [&](int background, float y, int colour, float thick) {
        SetUp();
        v_rectfillc(0, 0, 40, 40, background);
        v_linec_antialias(0, y, 10, 0, colour, thick);
    };
    // Half-way between two rows on black: both edges get half the colour.
    line_on(0, 10.5f, int(0xFF000000u), 1);
    EXPECT_EQ(std::make_pair(fb_at(0, 10), fb_at(0, 11)), std::make_pair(0x7F0000u, 0x7F0000u));
    // On whole rows the first edge is the colour and the second the background; the
    // background is read at the first edge, so the second takes its colour from there.
    line_on(0x40404000, 5, int(0xFF000000u), 2);
    // Edge, solid pixel, edge:
    EXPECT_EQ(Row({fb_at(3, 5), fb_at(3, 6), fb_at(3, 7)}), Row({0xFF0000, 0xFF0000, 0x404040}));
    // A quarter in: 0.25 * 255 = 63.75 of the background in the first edge.
    line_on(int(0x80808000), 20.25f, int(0xFF000000u), 1);
    EXPECT_EQ(fb_at(5, 20), uint32_t(223 << 16 | 32 << 8 | 32));  // (255*191.25 + 128*63.75)/255
    EXPECT_EQ(fb_at(5, 21), uint32_t(159 << 16 | 96 << 8 | 96));  // (128*191.25 + 255*63.75)/255
    // A black result is written as palette index 0: black, not transparent.
    line_on(int(0x80808000), 30, 0, 1);
    EXPECT_EQ(fb_at(2, 30), 0u);
    // The direction of the line does not matter.
    SetUp();
    v_linec_antialias(100, 100, 40, 13, 252, 2.0f);
    const PixelSet forward = drawn();
    SetUp();
    v_linec_antialias(140, 113, -40, -13, 252, 2.0f);
    EXPECT_EQ(drawn(), forward);
}

// Lines reaching far off the framebuffer (where counting in floats stood still or ran for
// billions of steps) draw exactly their part on it, as the line between their crossings of
// the edges draws it, and nothing wraps around an edge.
TEST_F(Draw, AntialiasedLineIsClippedToTheFramebuffer) {
    const float far = 1073741824.f;  // 2^30
    using Line = std::array<float, 6>;  // x, y, dx, dy, colour, thickness
    const std::pair<Line, Line> cases[] = {
        {{-far, -far / 4, 2 * far, far / 2, 252, 2}, {0, 0, 1024, 256, 252, 2}},
        {{far, far / 4, -2 * far, -far / 2, 252, 2}, {0, 0, 1024, 256, 252, 2}},
        {{100.5f, -far, 0, 2 * far, 224, 3}, {100.5f, 0, 0, 2400, 224, 3}},
        {{1020, 10.25f, far, 0, 255, 1}, {1020, 10.25f, 4, 0, 255, 1}},  // past the right edge
        {{0, far, 1000, 0, 255, 4}, {}},                                 // below the framebuffer
        {{-far, 5, 0, 100, 255, 1e9f}, {}},                              // left of it, thick
    };
    auto draw = [](const Line& l) { v_linec_antialias(l[0], l[1], l[2], l[3], uint32_t(l[4]), l[5]); };
    for (const auto& [line, on_screen] : cases) {
        SetUp();
        draw(on_screen);
        const std::vector<uint32_t> want = fb_snapshot();
        SetUp();
        draw(line);
        EXPECT_TRUE(fb_changes(want).empty()) << line[0] << "," << line[1];
    }
}

TEST_F(Draw, CopiesFollowTheContextKey) {
    v_rectfillc(10, 10, 4, 4, 224);
    v_wrpixel_xy(11, 11, 28);
    std::vector<uint32_t> store(16, 0x123456);
    v_color(0, 0);
    v_copy(10, 10, store.data(), 0, 4, 4);
    EXPECT_EQ(store[5], 0x00FF00u);
    v_rectfillc(10, 10, 4, 4, 0);
    v_copy(store.data(), 0, 10, 10, 4, 4);
    EXPECT_EQ(fb_at(11, 11), 0x00FF00u);
    EXPECT_EQ(fb_at(13, 13), 0xFF0000u);
    // With a transparent background, pixels of the foreground colour are not copied.
    v_color(4, 224);
    v_copy(10, 10, 100, 10, 4, 4);
    EXPECT_EQ(fb_at(101, 11), 0x00FF00u);
    EXPECT_EQ(fb_at(100, 10), 0u);
    std::vector<uint32_t> keyed(16, 7);
    v_copy(10, 10, keyed.data(), 0, 4, 4);
    EXPECT_EQ(keyed[0], 7u);
    EXPECT_EQ(keyed[5], 0x00FF00u);
}

}  // namespace
