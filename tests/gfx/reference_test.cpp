// A composite drawing compared pixel for pixel with a reference image.
#include <cmath>
#include <cstdlib>
#include <string>

#include "gfx/image.h"
#include "gfx_helpers.h"
#include "platform/display.h"

#include "support/reference_image.h"

namespace {

constexpr int W = 320, H = 240;

void composite() {
    v_color(0, 255);
    v_rectfillc(0, 0, W, H, 0x20202800);
    // Palette ramp: 256 cells of 1 x 12.
    for (int i = 0; i < 256; i++) v_vline(32 + i, 4, 11, i);
    // A fan of stepping lines in every octant.
    for (int k = 0; k < 24; k++) {
        double a = k * 3.14159265 / 12;
        v_linec(70, 90, int(std::lround(55 * std::cos(a))), int(std::lround(55 * std::sin(a))), 28 + (k % 8) * 32);
    }
    // Outlines and fills, with negative sizes.
    v_rectc(140, 30, 50, 30, 252);
    v_rectfillc(145, 35, 40, 20, 73);
    v_rectc(250, 60, -50, -25, 227);
    v_rectfillc(248, 58, -10, -10, 0xFF80FF00);
    v_rectc(150, 70, 40, 20, 32);
    // Anti-aliased lines of several thicknesses and slopes.
    v_linec_antialias(140.f, 100.f, 160.f, 35.5f, 252, 2.0f);
    v_linec_antialias(140.f, 150.f, 170.f, -20.25f, 224, 3.0f);
    v_linec_antialias(300.f, 100.f, -12.5f, 120.f, 0x60C0FF00u, 1.0f);
    v_linec_antialias(20.f, 220.f, 100.f, -60.f, 255, 4.0f);
    // A coding-32 image drawn 1:1, doubled and as a cell, with a transparent colour.
    std::vector<uint8_t> img = {0, 0, 32, 0, 12, 0, 8, 0, 0, 0};
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 12; x++) {
            int c = (x == y || x == 11 - y) ? 0x00E5 : ((x * 2) << 10 | (y * 4) << 5 | 31);
            img.insert(img.end(), {uint8_t(c), uint8_t(c >> 8)});
        }
    img[8] = uint8_t(img.size() - 10);  // 192 data bytes
    v_locate(20, 160);
    v_paints(img.data(), 0);
    v_color(4, 0x00E5);
    v_locate(40, 160);
    v_paints(img.data(), 512);
    v_locate(70, 160);
    v_paintx(img.data(), 4, 8, 4, 384);
    v_color(0, 255);
    // Runs wrapping at the right edge of the framebuffer do not show here; a copy does.
    v_copy(140, 30, 200, 170, 60, 40);
}

TEST(Reference, CompositeDrawing) {
    headless_start();
    fb_fill_all(0);
    perif = 0;
    vid[0] = vid_vect{};
    composite();

    expect_reference("gfx/composite", 0, 0, W, H);
}

}  // namespace
