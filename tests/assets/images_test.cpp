#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "assets/images.h"
#include "gfx/draw.h"
#include "gfx/image.h"
#include "platform/framebuffer_helpers.h"

namespace {

struct Expected {
    const char* name;
    int coding, width, height;
};

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
        EXPECT_EQ(info.coding, e.coding) << e.name;
        EXPECT_EQ(info.width, e.width) << e.name;
        EXPECT_EQ(info.height, e.height) << e.name;
        EXPECT_TRUE(info.complete) << e.name;
        EXPECT_EQ(info.pixels, int64_t(e.width) * e.height) << e.name;
        EXPECT_EQ(info.data_bytes, int(img->bytes) - IMAGE_HEADER) << e.name;
        EXPECT_EQ(info.bytes_used, info.data_bytes) << e.name;
    }
    EXPECT_EQ(find("RLC1")->data, RLC1_ICO);
    EXPECT_EQ(find("TXT")->data, TXT_ICO);
}

// Paints an image at (0, 0) over a uniform background, without a transparent colour.
void paint_on(const uint8_t* s, uint32_t background) {
    fb_fill_all(background);
    perif = 0;
    v_color(0, 255);
    v_locate(0, 0);
    v_paints(s, 0);
}

TEST(Images, ReservedCodesOnlyWhereMeantToBeTransparent) {
    for (int i = 0; i < allicone_count; i++) {
        const ASSET_IMAGE& img = allicone[i];
        paint_on(img.data, 0x123456);
        std::vector<uint32_t> first = fb_snapshot();
        paint_on(img.data, 0x654321);
        int see_through = 0, inverted = 0;
        for (int y = 0; y < img.height; y++)
            for (int x = 0; x < img.width; x++) {
                uint32_t p = fb_at(x, y);
                if (p == first[size_t(addr(x, y))]) continue;
                if (p == 0x654321) see_through++;
                if (p == (0x654321 ^ 0xFFFFFFu)) inverted++;
            }
        EXPECT_EQ(inverted, 0) << img.name;
        // Colour pictures cover every pixel; icons may leave their background out.
        if (img.coding == 32) {
            EXPECT_EQ(see_through, 0) << img.name;
        } else {
            EXPECT_GT(see_through, 0) << img.name;
        }
    }
}

int brightness(uint32_t p) { return int(p >> 16 & 255) + int(p >> 8 & 255) + int(p & 255); }

TEST(Images, SmithChartCircleWhereTheMainPageExpectsIt) {
    paint_on(SMITHBLACK400_ICO, 0);
    const int cx = 198, cy = 197, r = 191;
    // The outer circle: at every angle the brightest pixel near radius 191 is bright, and
    // there is nothing outside the circle.
    for (int k = 0; k < 72; k++) {
        double a = k * 3.14159265358979 / 36;
        int best = 0;
        for (int dr = -1; dr <= 1; dr++) {
            int x = int(std::lround(cx + (r + dr) * std::cos(a))), y = int(std::lround(cy + (r + dr) * std::sin(a)));
            best = std::max(best, brightness(fb_at(x, y)));
        }
        EXPECT_GT(best, 450) << "angle " << k * 5;
        int ox = int(std::lround(cx + (r + 5) * std::cos(a))), oy = int(std::lround(cy + (r + 5) * std::sin(a)));
        EXPECT_EQ(fb_at(ox, oy), 0u) << "outside at angle " << k * 5;
    }
    // The real axis crosses the centre; the resistance-1 circle passes through it too, and
    // its far side lies at the right edge.
    EXPECT_GT(brightness(fb_at(cx - 100, cy)), 300);
    EXPECT_GT(brightness(fb_at(cx + 60, cy)), 300);
    // Between the grid lines the chart is black: half-way between the centre and the
    // circle of resistance 0.5 (left crossing at -1/3) on a line below the axis.
    EXPECT_LT(brightness(fb_at(cx - 30, cy + 20)), 60);
}

TEST(Images, RlcCellsAreThreeDifferentPictures) {
    std::vector<std::vector<uint32_t>> cells;
    for (int g = 0; g < 3; g++) {
        fb_fill_all(0x123456);
        perif = 0;
        v_color(4, 4);
        v_locate(10, 10);
        v_paintx(RLC1_ICO, 120, 120, g * 120, 0);
        std::vector<uint32_t> cell;
        for (int y = 0; y < 122; y++)
            for (int x = 0; x < 122; x++) cell.push_back(fb_at(9 + x, 9 + y));
        // Exactly the 120 x 120 cell at the output position is covered.
        EXPECT_EQ(cell[0], 0x123456u);
        EXPECT_NE(cell[1 * 122 + 1], 0x123456u);
        EXPECT_NE(cell[120 * 122 + 120], 0x123456u);
        EXPECT_EQ(cell[121 * 122 + 121], 0x123456u);
        cells.push_back(cell);
    }
    auto differ = [](const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
        int n = 0;
        for (size_t i = 0; i < a.size(); i++) n += a[i] != b[i];
        return n;
    };
    EXPECT_GT(differ(cells[0], cells[1]), 200);
    EXPECT_GT(differ(cells[1], cells[2]), 200);
    EXPECT_GT(differ(cells[0], cells[2]), 200);
}

}  // namespace
