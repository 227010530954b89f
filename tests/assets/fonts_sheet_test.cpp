// Sample sheets of every compiled-in font, for looking at: with CORVANE_FONT_SHEETS=DIR the
// sheets are written to DIR as PNG files (fixed.png, proportionalN.png
// from font N on, unicode.png).
// Without it the sheets are still drawn, and each line of text must have inked pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <span>
#include <string>

#include "assets/fonts.h"
#include "gfx/text.h"
#include "platform/display.h"
#include "platform/framebuffer_helpers.h"

namespace {

const char* const ASCII = " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~";
const char* const FIXED = "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz";

// Pixels of colour ink between rows y0 and y1.
int inked(int y0, int y1, uint32_t ink) {
    int n = 0;
    for (int y = std::max(0, y0); y < std::min(crty, y1); y++)
        for (int x = 0; x < crtx; x++) n += fb_at(x, y) == ink;
    return n;
}

class FontSheet : public ::testing::Test {
protected:
    void SetUp() override {
        fonts_install();
        perif = 0;
        vid[0] = vid_vect{};
    }
    void page() {
        v_color(255, 0);
        v_rectfillc(0, 0, crtx, crty, 255);
        y = 4;
    }
public:
    // One line of text with a caption in the 8-pixel font, and a check that it drew.
    void line(const char* caption, int height, const std::function<void()>& select, const char* text) {
        v_setfont(0, 1, 1);
        v_color(255, 0x40404000);
        v_locate(4, y + 8);
        v_print(caption);
        y += 10;
        select();
        v_color(255, 0);
        v_locate(4, y + height);
        v_print(text);
        EXPECT_GT(inked(y, y + height, 0), 20) << caption;
        y += height + 4;
    }
public:
    void save(const char* name) {
        if (const char* dir = std::getenv("CORVANE_FONT_SHEETS")) {
            EXPECT_EQ(headless_write_png((std::string(dir) + "/" + name).c_str()), 0);
        }
    }
    // The top-left 340 x 200 pixels three times enlarged, drawn in the memory below the
    // screen, for judging the small sizes.
    void save_zoom(const char* name) {
        const char* dir = std::getenv("CORVANE_FONT_SHEETS");
        if (!dir) return;
        for (int y = 0; y < 600; y++)
            for (int x = 0; x < 1020; x++) dx_surface[size_t(crty + y) * size_t(crtx) + size_t(x)] = fb_at(x / 3, y / 3);
        EXPECT_EQ(fb_write_png((std::string(dir) + "/" + name).c_str(), 0, crty, 1020, 600), 0);
    }
    int y = 0;
};

TEST_F(FontSheet, Fixed) {
    page();
    for (const ASSET_FONT& f : std::span(allfonts, size_t(allfonts_count))) {
        if (f.kind != FONT_KIND_FIXED) continue;
        std::string caption = std::string(f.name) + " (font " + std::to_string(f.number) + ")";
        // As many glyphs a line as the screen holds.
        const std::string all = FIXED;
        const size_t per_line = size_t((crtx - 8) / f.height);
        for (size_t at = 0; at < all.size(); at += per_line)
            line(caption.c_str(), f.height, [&] { v_setfont(f.number, 1, 1); }, all.substr(at, per_line).c_str());
        if (f.height == 8)
            line((caption + " at 1 x 2").c_str(), 16, [&] { v_setfont(f.number, 1, 2); },
                 "Scanning COM1 ... 0123456789 tttt");
    }
    save("fixed.png");
    save_zoom("zoom_fixed.png");
}

// Proportional fonts on four sheets, the ASCII set in two halves.
void proportional_sheet(FontSheet* sheet, int first, int last) {
    for (const ASSET_FONT& f : std::span(allfonts, size_t(allfonts_count))) {
        if (f.kind != FONT_KIND_PROPORTIONAL || f.number < first || f.number > last) continue;
        std::string caption = std::string(f.name) + " (font " + std::to_string(f.number) + ")";
        const std::string all = ASCII;
        const size_t per_line = f.height >= 36 ? 32 : 48;
        for (size_t at = 0; at < all.size(); at += per_line)
            sheet->line(caption.c_str(), f.height, [&] { v_setfont(f.number, 1, 1); }, all.substr(at, per_line).c_str());
    }
}

TEST_F(FontSheet, Proportional) {
    const int groups[4][2] = {{7, 12}, {13, 18}, {19, 24}, {25, 27}};
    for (const auto& g : groups) {
        page();
        proportional_sheet(this, g[0], g[1]);
        save(("proportional" + std::to_string(g[0]) + ".png").c_str());
        save_zoom(("zoom_proportional" + std::to_string(g[0]) + ".png").c_str());
    }
}

TEST_F(FontSheet, Unicode) {
    page();
    for (const ASSET_FONT& f : std::span(allfonts, size_t(allfonts_count))) {
        if (f.kind != FONT_KIND_UNICODE) continue;
        auto sel = [&] { v_setfontall(33, 1, 1, f.data); };
        line(f.name, f.height, sel, f.height < 40 ? "CONNECT SCAN  start MHz.  Grüße àéîõü ÆØÅ ñ ç" : "RLC bridge  Grüße àéîõü ÆØÅ");
        line(f.name, f.height, sel, "@0123456789 -12.345 ΩΣπ Привет");
    }
    save("unicode.png");
    save_zoom("zoom_unicode.png");
}

}  // namespace
