#include <initializer_list>

#include "gfx/image.h"
#include "gfx_helpers.h"
#include "support/reference_image.h"

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

constexpr int W = 160, H = 24;

// Over a grey ground, 12 pixels apart on the top row: coding 32 with runs across the row end;
// coding 255 (33: the next byte twice, 32: invert, 4: not drawn, 63: a run too long for the
// image); codings 2 and 16 cut at the end of the image; codings 32 and 255 keyed (the
// foreground colour is not drawn) and coding 2 keyed (both colours drawn, 4 not). Below:
// 24-bit BMP files, bottom row first, magenta keyed and near-magenta drawn, and with "$"
// white keyed; an 8-bit file blending between the colours (255 paper, 0 ink, 119 half-way,
// 200 3/16 ink; rows padded) opaque, then over a transparent ground.
TEST_F(Images, DrawWhatTheyHoldAndNothingMore) {
    headless_start();
    const ScratchDir dir;
    const InFolder in(dir(), "");
    v_rectfillc(0, 0, W, H, 0x40404000);
    struct Stored { int c0, c1; std::vector<uint8_t> s; } const stored[] = {
        {0, 255, image(32, 8, 2, words({0x8004, 0x03E0, 0x8005, 0x001F, 0x8004, 0x7C00}))},
        {0, 255, image(255, 8, 1, {33, 224, 32, 4, 28, 63, 3})},
        {3, 224, image(2, 4, 2, {0x05, 0x02, 0x07})},
        {0, 255, image(16, 3, 2, {0x2C, 0x2F, 0x05})},
        {4, 0x00E5, image(32, 4, 1, words({0x00E5, 0x7C00, 0x8001, 0x00E5}))},
        {4, 28, image(255, 3, 1, {28, 224, 28})},
        {4, 224, image(2, 2, 1, {0x00, 0x01})},
    };
    for (const Stored& c : stored) {
        v_color(c.c0, c.c1);
        v_locate(2 + 12 * int(&c - stored), 2);
        v_paints(c.s.data(), 0);
    }
    auto paint = [](const char* name, const std::vector<uint8_t>& b, int c0, int c1, int x, int y) {
        write_file(name + (name[0] == '$'), b);
        v_color(c0, c1);
        v_locate(x, y);
        EXPECT_EQ(v_paint(name), 1) << name;
    };
    paint("a.bmp", bmp(24, 3, 2, [](int x, int r) -> uint32_t {
              return r == 0 ? (x == 1 ? 0xFF00FF : 0x102030) : (x == 2 ? 0xF81FFA : 0xA0B0C0);
          }), 0, 255, 2, 12);
    paint("$b.bmp", bmp(24, 3, 1, [](int x, int) -> uint32_t { return x ? 0xFFFFFF : 0xFF00FF; }), 0, 3, 8, 12);
    const uint8_t values[] = {255, 0, 119, 200, 240};
    const auto eight = bmp(8, 5, 2, [&](int x, int r) -> uint32_t { return r ? values[x] : 255; });
    paint("c.bmp", eight, 0x20406000, int(0xE0A08000), 14, 12);
    paint("d.bmp", eight, 4, int(0xC0C0C000), 22, 12);
    expect_reference("gfx/images", 0, 0, W, H);
    // Damaged data draws what it holds and never reads past its end (bytes read past it would
    // show even if black); the scan tells a complete image from an incomplete one and an
    // unknown coding. Damaged or unusable BMP files draw nothing.
    auto short_announced = image(32, 4, 1, words({0x7C00, 0x7C00, 0x7C00, 0x7C00}));
    short_announced[8] = 4;
    const auto cut_run = image(32, 8, 1, words({0x7C00, 0x8005, 0x03E0}));
    struct Case { std::vector<uint8_t> s; size_t size, pixels; int scan; } const cases[] = {
        {short_announced, SIZE_MAX, 2, 0},
        {cut_run, cut_run.size() - 2, 1, 0},
        {image(255, 8, 1, {224, 40}), SIZE_MAX, 1, 0},
        {image(8, 2, 1, {1, 2}), SIZE_MAX, 0, -1},
        {image(32, 8, 2, words({0x8004, 0x03E0, 0x8005, 0x001F, 0x8004, 0x7C00})), SIZE_MAX, 16, 1},
        {image(255, 2, 1, {1, 2, 3}), SIZE_MAX, 2, 1},  // data left over after the last pixel
    };
    for (const Case& c : cases) {
        SetUp();
        v_rectfillc(0, 0, 10, 2, 0x40404000);
        before = fb_snapshot();
        v_paints_sized(c.s.data(), std::min(c.size, c.s.size()), 0);
        IMAGE_INFO info;
        const int scan = image_scan(c.s.data(), std::min(c.size, c.s.size()), &info) ? info.complete : -1;
        EXPECT_EQ(std::make_pair(drawn().size(), scan), std::make_pair(c.pixels, c.scan)) << &c - cases;
    }
    SetUp();
    const auto good = bmp(24, 4, 4, [](int, int) -> uint32_t { return 0x123456; });
    auto with = [&](size_t at, uint32_t v, int bytes = 4) {
        auto b = good;
        for (int i = 0; i < bytes; i++) b[at + size_t(i)] = uint8_t(v >> (8 * i));
        return b;
    };
    struct File { const char* what; std::vector<uint8_t> bytes; size_t size; } const files[] = {
        {"truncated rows", good, good.size() - 1},
        {"header only", good, 30},
        {"data offset beyond the file", with(10, 0xFFFFFFF0), SIZE_MAX},
        {"negative width", with(18, uint32_t(-4)), SIZE_MAX},
        {"zero height", with(22, 0), SIZE_MAX},
        {"huge width", with(18, 0x40000000), SIZE_MAX},
        {"16 bits per pixel", with(28, 16, 2), SIZE_MAX},
    };
    for (const File& c : files) {
        write_file("x.bmp", c.bytes, c.size);
        int w = 0, h = 0;
        EXPECT_EQ(v_paint("x.bmp"), 0) << c.what;
        EXPECT_EQ(bmp_size("x.bmp", &w, &h), 0) << c.what;
    }
    EXPECT_EQ(v_paint(reinterpret_cast<const void*>(uintptr_t(255))), 0);
    EXPECT_TRUE(drawn().empty());
}

}  // namespace
