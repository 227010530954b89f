#include <unistd.h>

#include <cstdio>
#include <string>

#include "gfx/image.h"
#include "gfx_helpers.h"

namespace {

class Bmp : public Canvas {
protected:
    std::string path = std::string(CORVANE_BINARY_DIR) + "/bmp_test." + std::to_string(getpid()) + ".bmp";
    void TearDown() override { std::remove(path.c_str()); }
    // Paints the file written from b over a background of the colour, with the context's
    // colours c0 and c1.
    void paint_over(const std::vector<uint8_t>& b, int background, int c0, int c1) {
        write_file(path, b);
        v_rectfillc(0, 0, 10, 1, background);
        before = fb_snapshot();
        v_color(c0, c1);
        EXPECT_EQ(v_paint(path.c_str()), 1);
    }
};

TEST_F(Bmp, TwentyFourBitRowsAreBottomUpWithAMagentaKey) {
    // 3 x 2: the file's first row is the bottom row on screen; near-magenta has the same
    // top three bits as magenta.
    write_file(path, bmp(24, 3, 2, [](int x, int r) -> uint32_t {
                   return r == 0 ? (x == 1 ? 0xFF00FF : 0x102030) : (x == 2 ? 0xF81FFA : 0xA0B0C0);
               }));
    v_locate(10, 20);
    EXPECT_EQ(v_paint(path.c_str()), 1);
    EXPECT_EQ(row(10, 21, 3), Row({0x102030, 0, 0x102030}));
    EXPECT_EQ(row(10, 20, 3), Row({0xA0B0C0, 0xA0B0C0, 0}));
    EXPECT_EQ(drawn().size(), 4u);
    int w = 0, h = 0;
    EXPECT_EQ(bmp_size(path.c_str(), &w, &h), 1);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(3, 2));
}

TEST_F(Bmp, DollarNameMakesWhiteTransparent) {
    write_file(path, bmp(24, 2, 1, [](int x, int) -> uint32_t { return x ? 0xFFFFFF : 0x00FF00; }));
    const std::string name = "$" + path;
    v_color(0, 3);
    EXPECT_EQ(v_paint(name.c_str()), 1);
    EXPECT_EQ(vid[0].color0, 4);
    EXPECT_EQ(vid[0].color1, -256);
    EXPECT_EQ(drawn(), PixelSet({{0, 0}}));
    // Magenta is drawn when the key is white.
    SetUp();
    write_file(path, bmp(24, 1, 1, [](int, int) -> uint32_t { return 0xFF00FF; }));
    EXPECT_EQ(v_paint(name.c_str()), 1);
    EXPECT_EQ(fb_at(0, 0), 0xFF00FFu);
}

TEST_F(Bmp, EightBitDarknessBlendsBetweenTheColours) {
    // Values 255 (paper), 0 (ink), 119 (half-way: (8 * b + 8 * f) >> 4), 200 (3/16 ink).
    const uint8_t values[] = {255, 0, 119, 200, 240};
    const auto file = bmp(8, 5, 1, [&](int x, int) -> uint32_t { return values[x]; });
    auto mix = [](int b, int f) { return uint32_t((13 * b + 3 * f) >> 4); };
    paint_over(file, 0x55555500, 0x20406000, int(0xE0A08000));
    const uint32_t three_sixteenths = mix(0x20, 0xE0) << 16 | mix(0x40, 0xA0) << 8 | mix(0x60, 0x80);
    EXPECT_EQ(row(0, 0, 5), Row({0x204060, 0xE0A080, 0x807070, three_sixteenths, 0x204060}));
    // With a transparent background: paper is not drawn and blends use the screen.
    SetUp();
    paint_over(file, 0x40404000, 4, int(0xC0C0C000));
    EXPECT_EQ(row(0, 0, 3), Row({0x404040, 0xC0C0C0, 0x808080}));
    EXPECT_EQ(drawn().size(), 3u);
}

TEST_F(Bmp, EightBitRowsArePaddedToFourBytes) {
    write_file(path, bmp(8, 5, 2, [](int x, int r) -> uint32_t { return r == 0 && x == 4 ? 0 : 255; }));
    v_color(4, 224);
    EXPECT_EQ(v_paint(path.c_str()), 1);
    EXPECT_EQ(drawn(), PixelSet({{4, 1}}));
}

TEST_F(Bmp, UnusableFilesDrawNothing) {
    const auto good = bmp(24, 4, 4, [](int, int) -> uint32_t { return 0x123456; });
    auto with = [&](size_t at, uint32_t v, int bytes = 4) {
        auto b = good;
        for (int i = 0; i < bytes; i++) b[at + size_t(i)] = uint8_t(v >> (8 * i));
        return b;
    };
    struct Case { const char* what; std::vector<uint8_t> bytes; size_t size; } const cases[] = {
        {"truncated rows", good, good.size() - 1},
        {"header only", good, 30},
        {"rows beyond the file", with(22, 1000), SIZE_MAX},
        {"data offset beyond the file", with(10, 0xFFFFFFF0), SIZE_MAX},
        {"negative width", with(18, uint32_t(-4)), SIZE_MAX},
        {"zero height", with(22, 0), SIZE_MAX},
        {"huge width", with(18, 0x40000000), SIZE_MAX},
        {"16 bits per pixel", with(28, 16, 2), SIZE_MAX},
        {"empty file", good, 0},
    };
    for (const Case& c : cases) {
        write_file(path, c.bytes, c.size);
        int w = 0, h = 0;
        EXPECT_EQ(v_paint(path.c_str()), 0) << c.what;
        EXPECT_EQ(bmp_size(path.c_str(), &w, &h), 0) << c.what;
    }
    EXPECT_EQ(v_paint("/nonexistent/file.bmp"), 0);
    EXPECT_EQ(v_paint(reinterpret_cast<const void*>(uintptr_t(255))), 0);
    EXPECT_TRUE(drawn().empty());
}

TEST_F(Bmp, StoredImagesGoToThePainter) {
    const uint8_t s[] = {0, 0, 255, 0, 2, 0, 1, 0, 2, 0, 224, 28};
    v_locate(7, 7);
    EXPECT_EQ(v_paint(s), 1);
    EXPECT_EQ(row(7, 7, 2), Row({0xFF0000, 0x00FF00}));
}

}  // namespace
