#include <initializer_list>

#include "gfx/image.h"
#include "gfx_helpers.h"

namespace {

// A stored image with the given data bytes, announcing exactly their number.
std::vector<uint8_t> image(int coding, int w, int h, std::vector<uint8_t> data) {
    const uint8_t header[IMAGE_HEADER] = {0, 0, uint8_t(coding), 0, uint8_t(w), uint8_t(w >> 8), uint8_t(h),
                                          uint8_t(h >> 8), uint8_t(data.size()), uint8_t(data.size() >> 8)};
    data.insert(data.begin(), header, header + IMAGE_HEADER);
    return data;
}

// Coding 32 data from 16-bit words.
std::vector<uint8_t> words(std::initializer_list<int> ws) {
    std::vector<uint8_t> out;
    for (int w : ws) out.insert(out.end(), {uint8_t(w), uint8_t(w >> 8)});
    return out;
}

using Images = Canvas;

constexpr uint32_t RED = 0xF80000, GREEN = 0x00F800, BLUE = 0x0000F8, GREY = 0x404040;

// Every coding, at (10, 10) over a grey ground: the pixels of the image's rectangle and one
// row more, and how many pixels changed.
TEST_F(Images, EveryCodingWithRunsAcrossRowEndsAndTheKey) {
    constexpr uint32_t R = 0xFF0000, G = 0x00FF00, B = 0x0000FF, W = 0xFFFFFF, _ = GREY;
    const auto wrapping = image(32, 8, 2, words({0x8004, 0x03E0, 0x8005, 0x001F, 0x8004, 0x7C00}));
    struct Case { const char* what; int c0, c1; std::vector<uint8_t> s; Row want; size_t changed; };
    const Case cases[] = {
        // A run that starts three pixels before the row end continues on the next row.
        {"coding 32, runs across the row end", 0, 255, wrapping,
         {GREEN, GREEN, GREEN, GREEN, GREEN, BLUE, BLUE, BLUE, BLUE, BLUE, BLUE, RED, RED, RED, RED, RED,
          _, _, _, _, _, _, _, _}, 16},
        // 33 repeats the next byte twice; 63 thirty-two times is too long for the image and
        // stops at its end; 32 is the invert colour (grey becomes 0xBFBFBF), not a repeat;
        // 4 is not drawn.
        {"coding 255", 0, 255, image(255, 8, 1, {33, 224, 32, 4, 28, 63, 3}),
         {R, R, 0xBFBFBF, _, G, B, B, B, _, _, _, _, _, _, _, _}, 7},
        // 3 x color1, 2 x color0, 4 x color1 (cut at the end of the image).
        {"coding 2", 3, 224, image(2, 4, 2, {0x05, 0x02, 0x07}), {R, R, R, B, B, R, R, R, _, _, _, _}, 8},
        // 3 x green (index 28), 3 x white, 1 x 18 (cut).
        {"coding 16", 0, 255, image(16, 3, 2, {0x2C, 0x2F, 0x05}), {G, G, G, W, W, W, _, _, _}, 6},
        // With a transparent background, pixels of the foreground colour are not drawn ...
        {"coding 32, keyed", 4, 0x00E5, image(32, 4, 1, words({0x00E5, 0x7C00, 0x8001, 0x00E5})),
         {_, RED, _, _, _, _, _, _}, 1},
        {"coding 255, keyed", 4, 28, image(255, 3, 1, {28, 224, 28}), {_, R, _, _, _, _}, 1},
        // ... except in coding 2, which draws both colours (colour 4 is not drawn).
        {"coding 2, keyed", 4, 224, image(2, 2, 1, {0x00, 0x01}), {_, R, _, _}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        v_rectfillc(0, 0, 30, 30, 0x40404000);
        before = fb_snapshot();
        v_color(c.c0, c.c1);
        v_locate(10, 10);
        v_paints(c.s.data(), 0);
        const int w = c.s[4], h = c.s[6] + 1;
        Row got;
        for (int y = 0; y < h; y++)
            for (uint32_t p : row(10, 10 + y, w)) got.push_back(p);
        EXPECT_EQ(got, c.want);
        EXPECT_EQ(drawn().size(), c.changed);
    }
}

TEST_F(Images, DamagedDataNeverReadsPastItsEnd) {
    auto short_announced = image(32, 4, 1, words({0x7C00, 0x7C00, 0x7C00, 0x7C00}));
    short_announced[8] = 4;
    const auto cut_run = image(32, 8, 1, words({0x7C00, 0x8005, 0x03E0}));
    struct Case { const char* what; std::vector<uint8_t> s; size_t size, pixels; } const cases[] = {
        {"announced data shorter than the pixels", short_announced, SIZE_MAX, 2},
        {"a run word without its colour word", cut_run, cut_run.size() - 2, 1},
        {"a repeat byte as the last byte", image(255, 8, 1, {224, 40}), SIZE_MAX, 1},
        {"an unknown coding", image(8, 2, 1, {1, 2}), SIZE_MAX, 0},
    };
    for (const Case& c : cases) {
        SetUp();
        v_rectfillc(0, 0, 10, 2, 0x40404000);  // bytes read past the data show even if they are black
        before = fb_snapshot();
        if (c.size == SIZE_MAX)
            v_paints(c.s.data(), 0);
        else
            v_paints_sized(c.s.data(), c.size, 0);
        EXPECT_EQ(drawn().size(), c.pixels) << c.what;
    }
}

TEST(ImageScan, CountsPixelsAndBytes) {
    IMAGE_INFO info;
    auto s = image(32, 8, 2, words({0x8004, 0x03E0, 0x8005, 0x001F, 0x8004, 0x7C00}));
    ASSERT_TRUE(image_scan(s.data(), s.size(), &info));
    EXPECT_EQ(std::vector<int64_t>({info.width, info.pixels, info.bytes_used, info.complete}),
              std::vector<int64_t>({8, 16, 12, 1}));
    s = image(255, 2, 1, {1, 2, 3});  // data left over after the last pixel is not used
    ASSERT_TRUE(image_scan(s.data(), s.size(), &info));
    EXPECT_EQ(std::make_pair(info.bytes_used, info.data_bytes), std::make_pair(2, 3));
    s = image(255, 3, 1, {1, 2});
    ASSERT_TRUE(image_scan(s.data(), s.size(), &info));
    EXPECT_FALSE(info.complete);
    EXPECT_FALSE(image_scan(s.data(), 9, &info));
    s = image(7, 3, 1, {1, 2});
    EXPECT_FALSE(image_scan(s.data(), s.size(), &info));
}

}  // namespace
