#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <tuple>

#include "assets/images.h"
#include "gfx/draw.h"
#include "gfx/image.h"
#include "support/framebuffer_helpers.h"

namespace {

struct Expected { const char* name; int coding, width, height; };

// Names, codings and sizes that the pages rely on.
const Expected expected[] = {
    {"SMITHBLACK400", 32, 400, 400}, {"RLC1", 32, 360, 120}, {"RLC_BRIDGE", 32, 300, 261},
    {"PANELS", 32, 54, 56},          {"CCC", 32, 122, 76},   {"AAAA", 32, 324, 225},
    {"BC1", 32, 76, 21},             {"ICON1", 255, 29, 28}, {"BDIR", 255, 19, 19},
    {"BFILE", 255, 19, 19},          {"BATCH", 255, 19, 19}, {"BMP", 255, 19, 19},
    {"COM", 255, 19, 19},            {"DOC", 255, 19, 19},   {"EXE", 255, 19, 19},
    {"TXT", 255, 19, 19},
};

const ASSET_IMAGE* find(const char* name) {
    for (int i = 0; i < allicone_count; i++)
        if (std::strcmp(allicone[i].name, name) == 0) return &allicone[i];
    return nullptr;
}

TEST(Images, EveryImageDecodesToExactlyItsPixelsAndBytes) {
    ASSERT_EQ(allicone_count, int(std::size(expected)));
    for (const Expected& e : expected) {
        const ASSET_IMAGE* img = find(e.name);
        ASSERT_NE(img, nullptr) << e.name;
        IMAGE_INFO info;
        ASSERT_TRUE(image_scan(img->data, img->bytes, &info)) << e.name;
        EXPECT_EQ(std::vector<int64_t>({info.coding, info.width, info.height, info.complete, info.pixels}),
                  std::vector<int64_t>({e.coding, e.width, e.height, 1, int64_t(e.width) * e.height}))
            << e.name;
        EXPECT_EQ(std::tuple(info.data_bytes, info.bytes_used), std::tuple(int(img->bytes) - IMAGE_HEADER, info.data_bytes)) << e.name;
    }
    EXPECT_EQ(find("RLC1")->data, RLC1_ICO);
    EXPECT_EQ(find("TXT")->data, TXT_ICO);
}

// Paints an image (or its 120 x 120 cell number cell) at (x, y) over a uniform background,
// with the context's colours c0 and c1.
void paint_on(const uint8_t* s, uint32_t background, int x = 0, int y = 0, int c0 = 0, int c1 = 255, int cell = -1) {
    fb_fill_all(background);
    perif = 0;
    v_color(c0, c1);
    v_locate(x, y);
    if (cell < 0)
        v_paints(s, 0);
    else
        v_paintx(s, 120, 120, cell * 120, 0);
}

TEST(Images, ReservedCodesOnlyWhereMeantToBeTransparent) {
    for (int i = 0; i < allicone_count; i++) {
        const ASSET_IMAGE& img = allicone[i];
        paint_on(img.data, 0x123456);
        const std::vector<uint32_t> first = fb_snapshot();
        paint_on(img.data, 0x654321);
        int see_through = 0, inverted = 0;
        for (int y = 0; y < img.height; y++)
            for (int x = 0; x < img.width; x++) {
                const uint32_t p = fb_at(x, y);
                if (p == first[size_t(addr(x, y))]) continue;
                see_through += p == 0x654321;
                inverted += p == (0x654321 ^ 0xFFFFFFu);
            }
        EXPECT_EQ(inverted, 0) << img.name;
        // Colour pictures cover every pixel, but for the SMD fixture, which the page shows in a
        // smaller box; icons may leave their background out.
        EXPECT_EQ(see_through > 0, img.coding != 32 || std::string(img.name) == "AAAA") << img.name;
    }
}

int brightness(uint32_t p) { return int(p >> 16 & 255) + int(p >> 8 & 255) + int(p & 255); }

TEST(Images, SmithChartCircleWhereTheMainPageExpectsIt) {
    paint_on(SMITHBLACK400_ICO, 0);
    const int cx = 198, cy = 197, r = 191;
    auto at = [&](int radius, int k) {
        const double a = k * 3.14159265358979 / 36;
        return fb_at(int(std::lround(cx + radius * std::cos(a))), int(std::lround(cy + radius * std::sin(a))));
    };
    // The outer circle: at every angle the brightest pixel near radius 191 is bright, and
    // there is nothing outside the circle.
    for (int k = 0; k < 72; k++)
        EXPECT_TRUE(std::max({brightness(at(r - 1, k)), brightness(at(r, k)), brightness(at(r + 1, k))}) > 450 &&
                    at(r + 5, k) == 0u) << "at angle " << k * 5;
    // The real axis crosses the centre; the resistance-1 circle passes through it too, and
    // its far side lies at the right edge. Between the grid lines the chart is black:
    // half-way between the centre and the circle of resistance 0.5 (left crossing at
    // -1/3) on a line below the axis.
    EXPECT_GT(brightness(fb_at(cx - 100, cy)), 300);
    EXPECT_GT(brightness(fb_at(cx + 60, cy)), 300);
    EXPECT_LT(brightness(fb_at(cx - 30, cy + 20)), 60);
}

TEST(Images, RlcCellsAreThreeDifferentPictures) {
    std::vector<std::vector<uint32_t>> cells;
    for (int g = 0; g < 3; g++) {
        paint_on(RLC1_ICO, 0x123456, 10, 10, 4, 4, g);
        // Exactly the 120 x 120 cell at the output position is covered.
        EXPECT_EQ(std::tuple(fb_at(9, 9) == 0x123456u, fb_at(10, 10) == 0x123456u, fb_at(129, 129) == 0x123456u,
                             fb_at(130, 130) == 0x123456u), std::tuple(true, false, false, true)) << g;
        cells.push_back(fb_snapshot());
    }
    for (auto [a, b] : {std::pair{0, 1}, std::pair{1, 2}, std::pair{0, 2}}) {
        int differ = 0;
        for (size_t i = 0; i < cells[0].size(); i++) differ += cells[size_t(a)][i] != cells[size_t(b)][i];
        EXPECT_GT(differ, 200) << a << " " << b;
    }
}

}  // namespace
