#include <cstdlib>

#include "gfx_helpers.h"

namespace {

using Draw = Canvas;

PixelSet row_run(int x0, int x1, int y) {
    PixelSet s;
    for (int x = x0; x <= x1; x++) s.insert({x, y});
    return s;
}

TEST_F(Draw, HorizontalRunsCoverDxPlusOnePixels) {
    v_hline(10, 5, 0, 255);
    EXPECT_EQ(drawn(), PixelSet({{10, 5}}));
    SetUp();
    v_hline(10, 5, -3, 255);
    EXPECT_EQ(drawn(), row_run(7, 10, 5));
    EXPECT_EQ(fb_at(7, 5), 0xFFFFFFu);
}

TEST_F(Draw, RunsWrapToTheNextRowButStayInsideTheFramebuffer) {
    v_hline(crtx - 2, 9, 5, 255);
    PixelSet expected = row_run(1022, 1023, 9);
    for (auto p : row_run(0, 3, 10)) expected.insert(p);
    EXPECT_EQ(drawn(), expected);

    SetUp();
    v_hline(1020, 2399, 100, 255);  // the last row: the rest falls off the end
    v_hline(-5, 0, 7, 255);         // starts before the first pixel
    EXPECT_EQ(drawn().size(), 4u + 3u);
    SetUp();
    v_vline(5, -3, 5, 255);
    EXPECT_EQ(drawn(), PixelSet({{5, 0}, {5, 1}, {5, 2}}));
    SetUp();
    v_vline(7, 2397, 10, 255);
    EXPECT_EQ(drawn(), PixelSet({{7, 2397}, {7, 2398}, {7, 2399}}));
    SetUp();
    v_vline(7, 20, -2, 255);
    EXPECT_EQ(drawn(), PixelSet({{7, 18}, {7, 19}, {7, 20}}));
}

TEST_F(Draw, SteppingLineExactPixels) {
    v_linec(0, 0, 2, 1, 255);
    EXPECT_EQ(drawn(), PixelSet({{0, 0}, {1, 0}, {1, 1}, {2, 1}}));
    SetUp();
    v_linec(100, 100, 3, 3, 255);
    EXPECT_EQ(drawn(), PixelSet({{100, 100}, {101, 101}, {102, 102}, {103, 103}}));
}

TEST_F(Draw, SteppingLineAxisCasesMatchRuns) {
    v_linec(50, 60, -7, 0, 255);
    PixelSet line = drawn();
    SetUp();
    v_hline(50, 60, -7, 255);
    EXPECT_EQ(drawn(), line);
    SetUp();
    v_linec(50, 60, 0, 9, 255);
    line = drawn();
    SetUp();
    v_vline(50, 60, 9, 255);
    EXPECT_EQ(drawn(), line);
}

// Any line: both end points drawn, every pixel inside the bounding box, the pixels form
// one 8-connected chain, and no column (x-major) or row (y-major) is skipped.
TEST_F(Draw, SteppingLinesAreConnectedFromEndToEnd) {
    std::srand(7);
    for (int t = 0; t < 200; t++) {
        SetUp();
        int x0 = 200 + std::rand() % 100, y0 = 200 + std::rand() % 100;
        int dx = std::rand() % 121 - 60, dy = std::rand() % 121 - 60;
        v_linec(x0, y0, dx, dy, 255);
        PixelSet s = drawn();
        ASSERT_TRUE(s.count({x0, y0})) << dx << "," << dy;
        ASSERT_TRUE(s.count({x0 + dx, y0 + dy})) << dx << "," << dy;
        for (auto [x, y] : s) {
            ASSERT_GE(x, std::min(x0, x0 + dx));
            ASSERT_LE(x, std::max(x0, x0 + dx));
            ASSERT_GE(y, std::min(y0, y0 + dy));
            ASSERT_LE(y, std::max(y0, y0 + dy));
        }
        // Walk the chain from the start through 8-neighbours: it must reach every pixel.
        PixelSet seen{{x0, y0}};
        std::vector<std::pair<int, int>> todo{{x0, y0}};
        while (!todo.empty()) {
            auto [x, y] = todo.back();
            todo.pop_back();
            for (int i = -1; i <= 1; i++)
                for (int j = -1; j <= 1; j++)
                    if (s.count({x + i, y + j}) && seen.insert({x + i, y + j}).second) todo.push_back({x + i, y + j});
        }
        ASSERT_EQ(seen.size(), s.size()) << dx << "," << dy;
        ASSERT_GE(s.size(), size_t(std::max(std::abs(dx), std::abs(dy)) + 1));
        ASSERT_LE(s.size(), size_t(std::abs(dx) + std::abs(dy) + 1));
    }
}

TEST_F(Draw, OutlineAndFillDifferByOnePixel) {
    v_rectc(0, 0, 10, 5, 255);
    PixelSet outline = drawn();
    EXPECT_EQ(outline.size(), 2u * 11u + 2u * 4u);
    EXPECT_TRUE(outline.count({10, 5}));
    SetUp();
    v_rectfillc(0, 0, 10, 5, 255);
    PixelSet fill = drawn();
    EXPECT_EQ(fill.size(), 50u);
    EXPECT_TRUE(fill.count({9, 4}));
    EXPECT_FALSE(fill.count({10, 4}));
}

TEST_F(Draw, NegativeRectangleSizesCountFromTheOtherCorner) {
    v_rectc(10, 10, -4, 3, 255);
    PixelSet s = drawn();
    EXPECT_EQ(s.begin()->first, 7);
    EXPECT_EQ(s.rbegin()->first, 11);
    SetUp();
    v_rectfillc(10, 10, -4, -3, 255);
    PixelSet expected;
    for (int y = 8; y <= 10; y++)
        for (auto p : row_run(7, 10, y)) expected.insert(p);
    EXPECT_EQ(drawn(), expected);
}

TEST_F(Draw, TransparentAndInvertColours) {
    v_wrpixel_xy(3, 3, 4);
    v_linec(0, 0, 30, 20, 4);
    v_rectc(0, 0, 30, 20, 4);
    EXPECT_TRUE(drawn().empty());
    // The fill takes 4 as a palette colour.
    v_rectfillc(0, 0, 2, 2, 4);
    EXPECT_EQ(drawn().size(), 4u);
    EXPECT_EQ(fb_at(1, 1), pall[4]);

    SetUp();
    v_wrpixel_xy(3, 3, 32);
    EXPECT_EQ(fb_at(3, 3), 0xFFFFFFu);
    v_wrpixel_xy(3, 3, 32);
    EXPECT_TRUE(drawn().empty());
    // An inverted outline meets itself at the corners, which are inverted twice.
    v_rectc(20, 20, 10, 10, 32);
    PixelSet s = drawn();
    EXPECT_EQ(s.size(), 40u - 4u);
    EXPECT_FALSE(s.count({20, 20}));
    EXPECT_FALSE(s.count({30, 30}));
}

TEST_F(Draw, PixelsByCoordinatesAndClearScreen) {
    v_wrpixel_xy(1023, 599, 0x12345600);
    EXPECT_EQ(v_rdpixel_xyz(1023, 599), 0x123456u);
    EXPECT_EQ(v_rdpixel_xyz(-1, 0), 0u);
    EXPECT_EQ(v_rdpixel_xyz(0, 2400), 0u);
    v_pixel(uint32_t(addr(4, 4)), 28);
    EXPECT_EQ(fb_at(4, 4), 0x00FF00u);

    v_color(113, 255);
    v_cls();
    EXPECT_EQ(fb_at(0, 0), pall[113]);
    EXPECT_EQ(fb_at(1023, 599), pall[113]);
    EXPECT_EQ(fb_at(0, 600), 0u);
}

TEST(Context, PositionsAndColours) {
    perif = 0;
    v_llocate(3, 6);
    EXPECT_EQ(vid[0].v_xlocate, 40);
    EXPECT_EQ(vid[0].v_ylocate, 24);
    EXPECT_EQ(vid[0].v_xstart, 40);
    EXPECT_EQ(vid[0].v_ystart, 24);
    perif = 2;
    v_color(4, 0x00E5);
    v_locate(5, 6);
    perif = 0;
    EXPECT_EQ(vid[2].color0, 4);
    EXPECT_EQ(vid[2].color1, 0xE5);
    EXPECT_EQ(vid[2].v_ystart, 6);
    EXPECT_EQ(vid[0].v_xlocate, 40);
    v_outlined(17);
    EXPECT_EQ(OUTLINED, 17);
    OUTLINED = -1;
}

TEST(Colour, ToRGB) {
    EXPECT_EQ(ToRGB(0xFF), 0xE0E0C0);
    EXPECT_EQ(ToRGB(0x123456FF), 0x123456);
    EXPECT_EQ(ToRGB(0), 0);
    EXPECT_EQ(ToRGB(28), 0x00E000);
    EXPECT_EQ(ToRGB(3), 0x0000C0);
    EXPECT_EQ(ToRGB(0x100) & 0xFFFFFF, 0x000001);
    EXPECT_EQ(ToRGB(int(0xFFFF00FC)) & 0xFFFFFF, 0xFFFF00);
}

TEST_F(Draw, AntialiasedLinePixelCountsPerStep) {
    v_linec_antialias(10, 10.25f, 20, 0, 255, 1.0f);
    EXPECT_EQ(drawn().size(), 2u * 20u);  // two edge pixels per column, end excluded
    SetUp();
    v_linec_antialias(10, 10.25f, 20, 0, 255, 4.0f);
    PixelSet s = drawn();
    EXPECT_EQ(s.size(), 5u * 20u);  // two edges and three solid pixels per column
    EXPECT_TRUE(s.count({10, 10}) && s.count({10, 14}) && s.count({29, 12}));
    EXPECT_FALSE(s.count({30, 10}));
    SetUp();
    v_linec_antialias(50.5f, 40, 0, 6, 224, 3.0f);  // y-major: thickness along x
    s = drawn();
    EXPECT_EQ(s.size(), 4u * 6u);
    EXPECT_TRUE(s.count({50, 40}) && s.count({53, 45}));
}

TEST_F(Draw, AntialiasedLineBlendsAgainstTheBackground) {
    // Half-way between two rows on black: both edges get half the colour.
    v_linec_antialias(0, 10.5f, 10, 0, 0xFF000000u, 1.0f);
    EXPECT_EQ(fb_at(0, 10), 0x7F0000u);
    EXPECT_EQ(fb_at(0, 11), 0x7F0000u);
    // On whole rows the first edge is the colour and the second the background; the
    // background is read at the first edge, so the second takes its colour from there.
    SetUp();
    v_rectfillc(0, 0, 40, 40, 0x40404000);
    v_linec_antialias(0, 5, 10, 0, 0xFF000000u, 2.0f);
    EXPECT_EQ(fb_at(3, 5), 0xFF0000u);
    EXPECT_EQ(fb_at(3, 6), 0xFF0000u);  // the solid pixel
    EXPECT_EQ(fb_at(3, 7), 0x404040u);
    // A quarter in: 0.25 * 255 = 63.75 of the background in the first edge.
    SetUp();
    v_rectfillc(0, 0, 40, 40, 0x80808000);
    v_linec_antialias(0, 20.25f, 10, 0, 0xFF000000u, 1.0f);
    EXPECT_EQ(fb_at(5, 20), uint32_t(223 << 16 | 32 << 8 | 32));  // (255*191.25 + 128*63.75)/255
    EXPECT_EQ(fb_at(5, 21), uint32_t(159 << 16 | 96 << 8 | 96));  // (128*191.25 + 255*63.75)/255
    // A black result is written as palette index 0: black, not transparent.
    SetUp();
    v_rectfillc(0, 0, 40, 40, 0x80808000);
    v_linec_antialias(0, 30, 10, 0, 0, 1.0f);
    EXPECT_EQ(fb_at(2, 30), 0u);
}

TEST_F(Draw, AntialiasedLineDirectionDoesNotMatter) {
    v_linec_antialias(100, 100, 40, 13, 252, 2.0f);
    PixelSet forward = drawn();
    SetUp();
    v_linec_antialias(140, 113, -40, -13, 252, 2.0f);
    EXPECT_EQ(drawn(), forward);
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
