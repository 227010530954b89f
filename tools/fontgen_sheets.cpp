// Sample sheets of every compiled-in font, for looking at after regenerating the fonts:
//
//   font-sheets DIR
//
// writes DIR/fixed.png, DIR/proportionalN.png (fonts N onwards), DIR/unicode.png and a
// three-times enlargement of each sheet's top-left corner as DIR/zoom_*.png.
#include <cstdio>
#include <functional>
#include <string>

#include "assets/fonts.h"
#include "gfx/text.h"
#include "platform/display.h"
#include "platform/framebuffer.h"

namespace {

const std::string ASCII = " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~";
const std::string FIXED = ASCII.substr(1, 122 - 32);

std::string dir;
int y = 0;
bool failed = false;

void page() {
    v_color(255, 0);
    v_rectfillc(0, 0, crtx, crty, 255);
    y = 4;
}

// A caption in the 8-pixel font, then text in the font that select() chooses.
void line(const std::string& caption, int height, const std::function<void()>& select, const std::string& text) {
    v_setfont(0, 1, 1);
    v_color(255, 0x40404000);
    v_locate(4, y + 8);
    v_print(caption.c_str());
    y += 10;
    select();
    v_color(255, 0);
    v_locate(4, y + height);
    v_print(text.c_str());
    y += height + 4;
}

// Text cut into lines of at most n characters.
void lines(const std::string& caption, int height, const std::function<void()>& select, const std::string& text,
           size_t n) {
    for (size_t at = 0; at < text.size(); at += n) line(caption, height, select, text.substr(at, n));
}

void save(const std::string& name) {
    failed |= headless_write_png((dir + "/" + name).c_str()) != 0;
    // The top-left 340 x 200 pixels three times enlarged, in the memory below the screen.
    for (int yy = 0; yy < 600; yy++)
        for (int x = 0; x < 1020; x++)
            dx_surface[size_t(crty + yy) * size_t(crtx) + size_t(x)] = dx_surface[size_t(yy / 3) * size_t(crtx) + size_t(x / 3)];
    failed |= fb_write_png((dir + "/zoom_" + name).c_str(), 0, crty, 1020, 600) != 0;
}

std::string caption_of(const ASSET_FONT& f) { return std::string(f.name) + " (font " + std::to_string(f.number) + ")"; }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: font-sheets DIR\n");
        return 2;
    }
    dir = argv[1];
    headless_start();
    fonts_install();

    page();
    for (int i = 0; i < allfonts_count; i++) {
        const ASSET_FONT& f = allfonts[i];
        if (f.kind != FONT_KIND_FIXED) continue;
        auto select = [&] { v_setfont(f.number, 1, 1); };
        lines(caption_of(f), f.height, select, FIXED, size_t((crtx - 8) / f.height));
        if (f.height == 8)
            line(caption_of(f) + " at 1 x 2", 16, [&] { v_setfont(f.number, 1, 2); }, "Scanning COM1 ... 0123456789 tttt");
    }
    save("fixed.png");

    const int groups[4][2] = {{7, 12}, {13, 18}, {19, 24}, {25, 27}};
    for (const auto& g : groups) {
        page();
        for (int i = 0; i < allfonts_count; i++) {
            const ASSET_FONT& f = allfonts[i];
            if (f.kind != FONT_KIND_PROPORTIONAL || f.number < g[0] || f.number > g[1]) continue;
            lines(caption_of(f), f.height, [&] { v_setfont(f.number, 1, 1); }, ASCII, f.height >= 36 ? 32 : 48);
        }
        save("proportional" + std::to_string(g[0]) + ".png");
    }

    page();
    for (int i = 0; i < allfonts_count; i++) {
        const ASSET_FONT& f = allfonts[i];
        if (f.kind != FONT_KIND_UNICODE) continue;
        auto select = [&] { v_setfontall(33, 1, 1, f.data); };
        line(f.name, f.height, select,
             f.height < 40 ? "CONNECT SCAN  start MHz.  Gr\xC3\xBC\xC3\x9F" "e \xC3\xA0\xC3\xA9\xC3\xAE\xC3\xB5\xC3\xBC \xC3\x86\xC3\x98\xC3\x85 \xC3\xB1 \xC3\xA7"
                           : "RLC bridge  Gr\xC3\xBC\xC3\x9F" "e \xC3\xA0\xC3\xA9\xC3\xAE\xC3\xB5\xC3\xBC \xC3\x86\xC3\x98\xC3\x85");
        line(f.name, f.height, select, "@0123456789 -12.345 \xCE\xA9\xCE\xA3\xCF\x80 \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
    }
    save("unicode.png");

    if (failed) fprintf(stderr, "font-sheets: cannot write into %s\n", dir.c_str());
    return failed ? 1 : 0;
}
