#include <initializer_list>

#include "gfx/image.h"
#include "gfx_helpers.h"

namespace {

// A stored image with the given data bytes, announcing exactly their number.
std::vector<uint8_t> image(int coding, int w, int h, std::vector<uint8_t> data) {
    const uint8_t header[IMAGE_HEADER] = {0, 0, uint8_t(coding), 0, uint8_t(w), uint8_t(w >> 8), uint8_t(h),
                                          uint8_t(h >> 8), uint8_t(data.size()), uint8_t(data.size() >> 8)};
    std::vector<uint8_t> s(header, header + IMAGE_HEADER);
    for (uint8_t b : data) s.push_back(b);
    return s;
}

// Coding 32 data from 16-bit words.
std::vector<uint8_t> words(std::initializer_list<int> ws) {
    std::vector<uint8_t> out;
    for (int w : ws) {
        out.push_back(uint8_t(w));
        out.push_back(uint8_t(w >> 8));
    }
    return out;
}

using Images = Canvas;

constexpr uint32_t RED = 0xF80000, GREEN = 0x00F800, BLUE = 0x0000F8;

TEST_F(Images, Coding32RunsAndRowEnds) {
    auto s = image(32, 5, 1, words({0x8004, 0x7C00}));
    v_locate(100, 50);
    v_paints(s.data(), 0);
    EXPECT_EQ(drawn(), PixelSet({{100, 50}, {101, 50}, {102, 50}, {103, 50}, {104, 50}}));
    EXPECT_EQ(fb_at(102, 50), RED);

    // A run that starts three pixels before the row end continues on the next row.
    SetUp();
    s = image(32, 8, 2, words({0x8004, 0x03E0, 0x8005, 0x001F, 0x8004, 0x7C00}));
    v_locate(10, 10);
    v_paints(s.data(), 0);
    for (int x = 0; x < 5; x++) EXPECT_EQ(fb_at(10 + x, 10), GREEN);
    for (int x = 5; x < 8; x++) EXPECT_EQ(fb_at(10 + x, 10), BLUE);
    for (int x = 0; x < 3; x++) EXPECT_EQ(fb_at(10 + x, 11), BLUE);
    for (int x = 3; x < 8; x++) EXPECT_EQ(fb_at(10 + x, 11), RED);
    EXPECT_EQ(drawn().size(), 16u);
}

TEST_F(Images, Coding255RepeatsAndReservedCodes) {
    v_rectfillc(0, 0, 20, 2, 0x40404000);
    before = fb_snapshot();
    // 33 repeats the next byte twice; 63 thirty-two times is too long for the image and
    // stops at its end; 32 is the invert colour, not a repeat; 4 is not drawn.
    auto s = image(255, 8, 1, {33, 224, 32, 4, 28, 63, 3});
    v_paints(s.data(), 0);
    EXPECT_EQ(fb_at(0, 0), 0xFF0000u);
    EXPECT_EQ(fb_at(1, 0), 0xFF0000u);
    EXPECT_EQ(fb_at(2, 0), 0xBFBFBFu);  // 0x404040 inverted
    EXPECT_EQ(fb_at(3, 0), 0x404040u);
    EXPECT_EQ(fb_at(4, 0), 0x00FF00u);
    EXPECT_EQ(fb_at(5, 0), 0x0000FFu);
    EXPECT_EQ(fb_at(7, 0), 0x0000FFu);
    EXPECT_EQ(fb_at(0, 1), 0x404040u);  // nothing beyond the image
}

TEST_F(Images, Coding2And16) {
    v_color(3, 224);
    auto s = image(2, 4, 2, {0x05, 0x02, 0x07});  // 3 x color1, 2 x color0, 4 x color1 (cut)
    v_locate(0, 0);
    v_paints(s.data(), 0);
    EXPECT_EQ(fb_at(2, 0), 0xFF0000u);
    EXPECT_EQ(fb_at(3, 0), 0x0000FFu);
    EXPECT_EQ(fb_at(0, 1), 0x0000FFu);
    EXPECT_EQ(fb_at(3, 1), 0xFF0000u);
    EXPECT_EQ(drawn().size(), 8u);

    SetUp();
    s = image(16, 3, 2, {0x2C, 0x2F, 0x05});  // 3 x green (index 28), 3 x white, 1 x 18 (cut)
    v_paints(s.data(), 0);
    EXPECT_EQ(fb_at(2, 0), 0x00FF00u);
    EXPECT_EQ(fb_at(0, 1), 0xFFFFFFu);
    EXPECT_EQ(drawn().size(), 6u);
}

TEST_F(Images, TransparencyKey) {
    v_rectfillc(0, 0, 10, 10, 0x40404000);
    before = fb_snapshot();
    v_color(4, 0x00E5);
    auto s = image(32, 4, 1, words({0x00E5, 0x7C00, 0x8001, 0x00E5}));
    v_paints(s.data(), 0);
    EXPECT_EQ(drawn(), PixelSet({{1, 0}}));

    v_color(4, 28);
    s = image(255, 3, 1, {28, 224, 28});
    v_locate(0, 5);
    v_paints(s.data(), 0);
    EXPECT_EQ(fb_at(0, 5), 0x404040u);
    EXPECT_EQ(fb_at(1, 5), 0xFF0000u);

    // Without a transparent background nothing is skipped.
    v_color(0, 28);
    v_paints(s.data(), 0);
    EXPECT_EQ(fb_at(0, 5), 0x00FF00u);

    // Coding 2 draws both colours without the key test (the writer skips colour 4).
    v_color(4, 224);
    s = image(2, 2, 1, {0x00, 0x01});
    v_locate(0, 7);
    v_paints(s.data(), 0);
    EXPECT_EQ(fb_at(0, 7), 0x404040u);
    EXPECT_EQ(fb_at(1, 7), 0xFF0000u);
}

// A 4 x 4 coding-32 image whose pixel (x, y) has the colour x + 4y + 1.
std::vector<uint8_t> numbered(int w, int h) {
    std::vector<uint8_t> data;
    for (int i = 0; i < w * h; i++) {
        int c = (i + 1) * 64 + 1;  // distinct, never 4 or 32
        data.push_back(uint8_t(c));
        data.push_back(uint8_t(c >> 8));
    }
    return image(32, w, h, data);
}

uint32_t colour_of(int i) {
    int c = (i + 1) * 64 + 1;
    return (uint32_t(c << 9) & 0xF80000) | (uint32_t(c << 6) & 0xF800) | (uint32_t(c * 8) & 0xFF);
}

TEST_F(Images, Scaling) {
    auto s = numbered(4, 4);
    v_locate(20, 20);
    v_paints(s.data(), 512);
    EXPECT_EQ(drawn().size(), 64u);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) ASSERT_EQ(fb_at(20 + x, 20 + y), colour_of(x / 2 + 4 * (y / 2)));

    SetUp();
    v_locate(20, 20);
    v_paints(s.data(), 128);
    EXPECT_EQ(drawn().size(), 4u);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 2; x++) EXPECT_EQ(fb_at(20 + x, 20 + y), colour_of((2 * x + 1) + 4 * (2 * y + 1)));

    // Scale 256 and 0 are both 1:1.
    SetUp();
    v_paints(s.data(), 256);
    EXPECT_EQ(drawn().size(), 16u);
    // Codings 2 and 16 do not scale.
    SetUp();
    auto two = image(2, 2, 1, {0x03});
    v_paints(two.data(), 512);
    EXPECT_EQ(drawn().size(), 2u);
}

TEST_F(Images, CellsOfAStrip) {
    auto s = numbered(6, 2);  // three cells of 2 x 2
    v_locate(50, 60);
    v_paintx(s.data(), 2, 2, 4, 0);
    EXPECT_EQ(drawn(), PixelSet({{50, 60}, {51, 60}, {50, 61}, {51, 61}}));
    EXPECT_EQ(fb_at(50, 60), colour_of(4));
    EXPECT_EQ(fb_at(51, 61), colour_of(11));

    SetUp();
    v_locate(50, 60);
    v_paintx(s.data(), 2, 1, 2, 512);  // middle cell, first row only, doubled
    EXPECT_EQ(drawn().size(), 8u);
    EXPECT_EQ(fb_at(50, 60), colour_of(2));
    EXPECT_EQ(fb_at(53, 61), colour_of(3));
}

TEST_F(Images, DamagedDataNeverReadsPastItsEnd) {
    // Announced data shorter than the pixels: decoding stops at the announced end.
    auto s = image(32, 4, 1, words({0x7C00, 0x7C00, 0x7C00, 0x7C00}));
    s[8] = 4;
    v_paints(s.data(), 0);
    EXPECT_EQ(drawn().size(), 2u);
    // A sized image whose array ends early (a run word without its colour word).
    SetUp();
    s = image(32, 8, 1, words({0x7C00, 0x8005, 0x03E0}));
    v_paints_sized(s.data(), s.size() - 2, 0);
    EXPECT_EQ(drawn().size(), 1u);
    SetUp();
    s = image(255, 8, 1, {224, 40});  // a repeat byte as the last byte
    v_paints(s.data(), 0);
    EXPECT_EQ(drawn().size(), 1u);
    // Unknown codings draw nothing.
    SetUp();
    s = image(8, 2, 1, {1, 2});
    v_paints(s.data(), 0);
    EXPECT_TRUE(drawn().empty());
}

TEST(ImageScan, CountsPixelsAndBytes) {
    IMAGE_INFO info;
    auto s = image(32, 8, 2, words({0x8004, 0x03E0, 0x8005, 0x001F, 0x8004, 0x7C00}));
    ASSERT_TRUE(image_scan(s.data(), s.size(), &info));
    EXPECT_EQ(info.width, 8);
    EXPECT_EQ(info.pixels, 16);
    EXPECT_EQ(info.bytes_used, 12);
    EXPECT_TRUE(info.complete);

    // Data left over after the last pixel is not used.
    s = image(255, 2, 1, {1, 2, 3});
    ASSERT_TRUE(image_scan(s.data(), s.size(), &info));
    EXPECT_EQ(info.bytes_used, 2);
    EXPECT_EQ(info.data_bytes, 3);

    s = image(255, 3, 1, {1, 2});
    ASSERT_TRUE(image_scan(s.data(), s.size(), &info));
    EXPECT_FALSE(info.complete);
    EXPECT_FALSE(image_scan(s.data(), 9, &info));
    s = image(7, 3, 1, {1, 2});
    EXPECT_FALSE(image_scan(s.data(), s.size(), &info));
}

}  // namespace
