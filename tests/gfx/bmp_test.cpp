#include <unistd.h>

#include <cstdio>
#include <string>

#include "gfx/image.h"
#include "gfx_helpers.h"

namespace {

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) b[at + i] = uint8_t(v >> (8 * i));
}

// A BMP file of the given depth whose rows (bottom row first, padded) come from pixel(x,
// y_in_file): one byte for 8 bits, blue-green-red for 24.
template <class Pixel>
std::vector<uint8_t> bmp(int bpp, int w, int h, Pixel pixel) {
    int stride = bpp == 8 ? (w + 3) & ~3 : ((24 * w + 31) >> 5) * 4;
    int data = 54 + (bpp == 8 ? 1024 : 0);
    std::vector<uint8_t> b(size_t(data + stride * h), 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, uint32_t(b.size()));
    put32(b, 10, uint32_t(data));
    put32(b, 14, 40);
    put32(b, 18, uint32_t(w));
    put32(b, 22, uint32_t(h));
    b[26] = 1;
    b[28] = uint8_t(bpp);
    for (int r = 0; r < h; r++)
        for (int x = 0; x < w; x++) {
            uint32_t p = pixel(x, r);
            size_t at = size_t(data + r * stride + x * (bpp / 8));
            if (bpp == 8) {
                b[at] = uint8_t(p);
            } else {
                b[at] = uint8_t(p);
                b[at + 1] = uint8_t(p >> 8);
                b[at + 2] = uint8_t(p >> 16);
            }
        }
    return b;
}

class Bmp : public Canvas {
protected:
    std::string path = std::string(CORVANE_BINARY_DIR) + "/bmp_test." + std::to_string(getpid()) + ".bmp";
    void TearDown() override { std::remove(path.c_str()); }
    void save(const std::vector<uint8_t>& b, size_t size = SIZE_MAX) {
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(b.data(), 1, std::min(size, b.size()), f);
        std::fclose(f);
    }
};

TEST_F(Bmp, TwentyFourBitRowsAreBottomUpWithAMagentaKey) {
    // 3 x 2: the file's first row is the bottom row on screen.
    save(bmp(24, 3, 2, [](int x, int r) -> uint32_t {
        if (r == 0) return x == 1 ? 0xFF00FF : 0x102030;
        return x == 2 ? 0xF81FFA : 0xA0B0C0;  // near-magenta: same top three bits
    }));
    v_locate(10, 20);
    EXPECT_EQ(v_paint(path.c_str()), 1);
    EXPECT_EQ(fb_at(10, 21), 0x102030u);
    EXPECT_EQ(fb_at(12, 21), 0x102030u);
    EXPECT_EQ(fb_at(10, 20), 0xA0B0C0u);
    EXPECT_EQ(drawn().size(), 4u);
    int w = 0, h = 0;
    EXPECT_EQ(bmp_size(path.c_str(), &w, &h), 1);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
}

TEST_F(Bmp, DollarNameMakesWhiteTransparent) {
    save(bmp(24, 2, 1, [](int x, int) -> uint32_t { return x ? 0xFFFFFF : 0x00FF00; }));
    std::string name = "$" + path;
    v_color(0, 3);
    EXPECT_EQ(v_paint(name.c_str()), 1);
    EXPECT_EQ(vid[0].color0, 4);
    EXPECT_EQ(vid[0].color1, -256);
    EXPECT_EQ(drawn(), PixelSet({{0, 0}}));
    // Magenta is drawn when the key is white.
    SetUp();
    save(bmp(24, 1, 1, [](int, int) -> uint32_t { return 0xFF00FF; }));
    EXPECT_EQ(v_paint(name.c_str()), 1);
    EXPECT_EQ(fb_at(0, 0), 0xFF00FFu);
}

TEST_F(Bmp, EightBitDarknessBlendsBetweenTheColours) {
    // Values 255 (paper), 0 (ink), 119 (half-way), 200 (a = 3).
    const uint8_t values[] = {255, 0, 119, 200, 240};
    save(bmp(8, 5, 1, [&](int x, int) -> uint32_t { return values[x]; }));
    v_rectfillc(0, 0, 10, 1, 0x55555500);
    before = fb_snapshot();
    v_color(0x20406000, 0xE0A08000);
    EXPECT_EQ(v_paint(path.c_str()), 1);
    EXPECT_EQ(fb_at(0, 0), 0x204060u);
    EXPECT_EQ(fb_at(1, 0), 0xE0A080u);
    EXPECT_EQ(fb_at(2, 0), 0x807070u);  // (8 * b + 8 * f) >> 4
    EXPECT_EQ(fb_at(3, 0), uint32_t(((13 * 0x20 + 3 * 0xE0) >> 4) << 16 | ((13 * 0x40 + 3 * 0xA0) >> 4) << 8 |
                                    ((13 * 0x60 + 3 * 0x80) >> 4)));
    EXPECT_EQ(fb_at(4, 0), 0x204060u);

    // With a transparent background: paper is not drawn and blends use the screen.
    SetUp();
    v_rectfillc(0, 0, 10, 1, 0x40404000);
    before = fb_snapshot();
    v_color(4, 0xC0C0C000);
    EXPECT_EQ(v_paint(path.c_str()), 1);
    EXPECT_EQ(fb_at(0, 0), 0x404040u);
    EXPECT_EQ(fb_at(1, 0), 0xC0C0C0u);
    EXPECT_EQ(fb_at(2, 0), 0x808080u);
    EXPECT_EQ(drawn().size(), 3u);
}

TEST_F(Bmp, EightBitRowsArePaddedToFourBytes) {
    save(bmp(8, 5, 2, [](int x, int r) -> uint32_t { return r == 0 && x == 4 ? 0 : 255; }));
    v_color(4, 224);
    EXPECT_EQ(v_paint(path.c_str()), 1);
    EXPECT_EQ(drawn(), PixelSet({{4, 1}}));
}

TEST_F(Bmp, UnusableFilesDrawNothing) {
    auto good = bmp(24, 4, 4, [](int, int) -> uint32_t { return 0x123456; });
    auto with = [&](size_t at, uint32_t v, int bytes = 4) {
        auto b = good;
        for (int i = 0; i < bytes; i++) b[at + i] = uint8_t(v >> (8 * i));
        return b;
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        size_t size;
    } cases[] = {
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
        save(c.bytes, c.size);
        EXPECT_EQ(v_paint(path.c_str()), 0) << c.what;
        int w = 0, h = 0;
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
    EXPECT_EQ(fb_at(7, 7), 0xFF0000u);
    EXPECT_EQ(fb_at(8, 7), 0x00FF00u);
}

}  // namespace
