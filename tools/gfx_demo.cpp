// Shows the compiled-in images and a drawing test pattern in a real window, and echoes the
// input: pressing the left button paints at the pointer, the last key shows as seven bit
// boxes. With --png FILE it draws the same screen headless into a PNG file instead (a
// failed write says why, leaves no file and exits with 1).
//
//   gfx-demo [--title TITLE] [--png FILE]
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "assets/images.h"
#include "gfx/draw.h"
#include "gfx/image.h"
#include "platform/display.h"
#include "platform/input.h"
#include "platform/sdl_shell.h"

namespace {

// A made-up reflection curve: a series resonator seen through a short line, swept so that
// it loops around the chart.
void s11_curve(int xc, int yc, int radius) {
    int px = 0, py = 0;
    for (int k = 0; k <= 200; k++) {
        double f = 0.2 + 2.8 * k / 200.0;
        double x = 2.0 * (f - 1 / f), r = 0.6;
        // Gamma = (z - 1) / (z + 1) with z = r + jx, then turned by the line.
        double den = (r + 1) * (r + 1) + x * x;
        double gr = (r * r - 1 + x * x) / den, gi = 2 * x / den;
        double turn = -0.9 * f, c = std::cos(turn), s = std::sin(turn);
        double re = gr * c - gi * s, im = gr * s + gi * c;
        int sx = xc + int(re * radius), sy = yc - int(im * radius);
        if (k > 0) v_linec_antialias(float(px), float(py), float(sx - px), float(sy - py), 252, 2.0f);
        if (k == 1) v_rectfillc(px - 2, py - 2, 5, 5, 252);
        if (k == 120) {
            v_linec_antialias(float(sx - 7), float(sy), 15, 0, 224, 3.0f);
            v_linec_antialias(float(sx), float(sy - 7), 0, 15, 224, 3.0f);
        }
        px = sx;
        py = sy;
    }
}

void test_pattern() {
    // Palette: 16 x 16 cells of 9 x 9.
    for (int i = 0; i < 256; i++) v_rectfillc(10 + (i % 16) * 10, 420 + (i / 16) * 10, 9, 9, i);
    v_rectc(8, 418, 161, 161, 255);
    // A fan of stepping lines.
    for (int k = 0; k < 32; k++) {
        double a = k * 3.14159265358979 / 16;
        v_linec(255, 500, int(std::lround(70 * std::cos(a))), int(std::lround(70 * std::sin(a))), k % 2 ? 252 : 28);
    }
    // Anti-aliased lines of growing thickness.
    for (int k = 0; k < 5; k++)
        v_linec_antialias(335.f, 430.f + 30 * k, 70.f, 12.f + 5 * k, k % 2 ? 0xFFFFFF00u : 0x40C0FF00u, 1.0f + k);
    // Outlines against fills: the outline is one pixel larger.
    v_rectfillc(175, 575, 60, 18, 0x30303000);
    v_rectc(175, 575, 60, 18, 227);
    v_rectc(335, 575, -60, 18, 32);  // inverted, negative width
}

void images() {
    v_color(4, 4);
    v_locate(10, 10);
    v_paints(SMITHBLACK400_ICO, 0);
    s11_curve(10 + 198, 10 + 197, 191);
    for (int g = 0; g < 3; g++) {
        v_locate(420 + 125 * g, 10);
        v_paintx(RLC1_ICO, 120, 120, g * 120, 0);
    }
    v_locate(800, 10);
    v_paints(PANELS_ICO, 0);
    v_locate(870, 10);
    v_paints(CCC_ICO, 0);
    v_locate(800, 96);
    v_paints(BC1_ICO, 0);
    v_locate(890, 96);
    v_paints(ICON1_ICO, 0);
    v_locate(420, 140);
    v_paints(RLC_BRIDGE_ICO, 0);
    v_locate(730, 140);
    v_paints(AAAA_ICO, 192);  // three quarters
    const uint8_t* icons[] = {BDIR_ICO, BFILE_ICO, BATCH_ICO, BMP_ICO, COM_ICO, DOC_ICO, EXE_ICO, TXT_ICO};
    for (int i = 0; i < 8; i++) {
        v_locate(735 + 30 * i, 320);
        v_paints(icons[i], 0);
    }
    // A saved and restored rectangle: the first RLC cell copied through a buffer.
    std::vector<uint32_t> store(120 * 120);
    v_color(0, 0);
    v_copy(420, 10, store.data(), 0, 120, 120);
    v_copy(store.data(), 0, 730, 355, 120, 120);
}

void draw_screen() {
    perif = 0;
    v_color(113, 255);
    v_cls();
    images();
    test_pattern();
    v_rectfillc(870, 355, 144, 120, 0);  // the input echo area
    v_rectc(869, 354, 145, 121, 255);
}

void demo_loop() {
    draw_screen();
    _tastiera = 1;
    for (;;) {
        dx_refresh();
        int8_t k = v_inkey();
        if (touch_premuto && touch_x > 870 && touch_x < 1013 && touch_y > 355 && touch_y < 474)
            v_rectfillc(touch_x - 1, touch_y - 1, 3, 3, 252);
        if (k > 0)
            for (int b = 0; b < 7; b++) v_rectfillc(880 + 18 * b, 485, 14, 14, (k >> (6 - b)) & 1 ? 252 : 73);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Writes the screen beside path and renames it over path, so that a failed write leaves
// what was at path as it was (the writer removes the file it failed to write). A path that
// exists as something else than a regular file (a device, a FIFO) is refused.
bool write_png(const char* path, std::string& why) {
    struct stat st;
    if (::stat(path, &st) == 0 && !S_ISREG(st.st_mode)) {
        why = "not a regular file";
        return false;
    }
    const std::string temp = std::string(path) + "." + std::to_string(getpid()) + ".tmp";
    if (headless_write_png(temp.c_str()) != 0 || std::rename(temp.c_str(), path) != 0) {
        why = std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const char* png = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--title") == 0) std::snprintf(WindowName, sizeof WindowName, "%s", argv[i + 1]);
        if (std::strcmp(argv[i], "--png") == 0) png = argv[i + 1];
    }
    if (png) {
        headless_start();
        draw_screen();
        std::string why;
        if (write_png(png, why)) return 0;
        std::fprintf(stderr, "gfx-demo: cannot write %s: %s\n", png, why.c_str());
        return 1;
    }
    return WinMain(demo_loop);
}
