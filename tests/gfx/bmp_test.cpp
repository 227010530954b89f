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
    // Paints the file written from b at (x, y) with the context's colours c0 and c1.
    int paint(const std::vector<uint8_t>& b, int c0, int c1, int x = 0, int y = 0, const char* prefix = "") {
        write_file(path, b);
        v_color(c0, c1);
        v_locate(x, y);
        return v_paint((prefix + path).c_str());
    }
};

TEST_F(Bmp, TwentyFourBitRowsAreBottomUpWithAColourKey) {
    // 3 x 2: the file's first row is the bottom row on screen; near-magenta has the same
    // top three bits as magenta; rows are padded to four bytes.
    EXPECT_EQ(paint(bmp(24, 3, 2, [](int x, int r) -> uint32_t {
                        return r == 0 ? (x == 1 ? 0xFF00FF : 0x102030) : (x == 2 ? 0xF81FFA : 0xA0B0C0);
                    }), 0, 255, 10, 20), 1);
    EXPECT_EQ(row(10, 21, 3), Row({0x102030, 0, 0x102030}));
    EXPECT_EQ(row(10, 20, 3), Row({0xA0B0C0, 0xA0B0C0, 0}));
    EXPECT_EQ(drawn().size(), 4u);
    int w = 0, h = 0;
    EXPECT_EQ(bmp_size(path.c_str(), &w, &h), 1);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(3, 2));
    // A "$" before the name makes white the key (and leaves the context so), magenta drawn.
    SetUp();
    EXPECT_EQ(paint(bmp(24, 3, 1, [](int x, int) -> uint32_t { return x ? 0xFFFFFF : 0xFF00FF; }), 0, 3, 0, 0, "$"),
              1);
    EXPECT_EQ(std::make_pair(vid[0].color0, vid[0].color1), std::make_pair(4, -256));
    EXPECT_EQ(drawn(), PixelSet({{0, 0}}));
    EXPECT_EQ(fb_at(0, 0), 0xFF00FFu);
}

TEST_F(Bmp, EightBitDarknessBlendsBetweenTheColours) {
    // Values 255 (paper), 0 (ink), 119 (half-way: (8 * b + 8 * f) >> 4), 200 (3/16 ink);
    // five pixels a row, so the second row starts after three bytes of padding.
    const uint8_t values[] = {255, 0, 119, 200, 240};
    const auto file = bmp(8, 5, 2, [&](int x, int r) -> uint32_t { return r ? values[x] : 255; });
    auto mix = [](int b, int f) { return uint32_t((13 * b + 3 * f) >> 4); };
    v_rectfillc(0, 0, 10, 2, 0x55555500);
    EXPECT_EQ(paint(file, 0x20406000, int(0xE0A08000)), 1);
    const uint32_t three_sixteenths = mix(0x20, 0xE0) << 16 | mix(0x40, 0xA0) << 8 | mix(0x60, 0x80);
    EXPECT_EQ(row(0, 0, 5), Row({0x204060, 0xE0A080, 0x807070, three_sixteenths, 0x204060}));
    EXPECT_EQ(row(0, 1, 5), Row(5, 0x204060));
    // With a transparent background: paper is not drawn and blends use the screen.
    SetUp();
    v_rectfillc(0, 0, 10, 2, 0x40404000);
    before = fb_snapshot();
    paint(file, 4, int(0xC0C0C000));
    EXPECT_EQ(row(0, 0, 3), Row({0x404040, 0xC0C0C0, 0x808080}));
    EXPECT_EQ(drawn().size(), 3u);
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
    // A stored image (not a name) goes to the image painter.
    const uint8_t s[] = {0, 0, 255, 0, 2, 0, 1, 0, 2, 0, 224, 28};
    EXPECT_EQ(v_paint(s), 1);
    EXPECT_EQ(row(0, 0, 2), Row({0xFF0000, 0x00FF00}));
}

}  // namespace
