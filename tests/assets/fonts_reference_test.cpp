// Lines of text in each kind of font compared pixel for pixel with a reference image.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "assets/fonts.h"
#include "gfx/text.h"
#include "platform/display.h"
#include "support/framebuffer_helpers.h"

#include "support/reference_image.h"

namespace {

constexpr int W = 560, H = 330;

void draw_lines() {
    perif = 0;
    vid[0] = vid_vect{};
    OUTLINED = -1;
    fonts_install();
    // A grey-to-blue ground, so that transparent backgrounds and blending show.
    for (int x = 0; x < W; x++) v_rectfillc(x, 0, 1, H, int(uint32_t(0x60 + x / 8) << 24 | 0x6000u << 8 | uint32_t(0x80 + x / 5) << 8));
    // Each line: a font by number (33: the Unicode font at the address), its vertical
    // scale, the colours, the position, the text and the outline colour (-1: none).
    struct Line { int number; const uint8_t* font; int scale_y, bg, fg, x, y; const char* text; int outline; };
    const Line lines[] = {
        // Fixed fonts: the start-up line at 1 x 2, font 3 with its arrow, the 32-pixel font.
        {0, nullptr, 2, 113, 0, 8, 24, "Scanning COM1... 115200 8N1", -1},
        {3, nullptr, 1, 146, 0, 300, 16, "COM3 t", -1},
        {6, nullptr, 1, 4, int(0xFFFF0000), 360, 40, "Smith", -1},
        // Proportional fonts: a plot label on a transparent ground, a readout on black,
        // Courier and Clarendon shapes, a backspace and a line break.
        {7, nullptr, 1, 4, 255, 8, 60, "-12.5 150 1K. 2M.", -1},
        {10, nullptr, 1, 0, int(0xFFFF0000), 160, 64, "3.14159", -1},
        {21, nullptr, 1, 255, 0, 300, 64, "S11 dB: -20.0x\x7F", -1},
        {26, nullptr, 1, 4, 0x00FFFF00, 8, 100, "RLC\nbridge", -1},
        // Unicode fonts: over the ground, opaque, monospaced digits, UTF-8 and Latin-1.
        {33, T_Arial_Unicode_MS_12, 1, 4, 0, 160, 100,
         "CONNECT Gr\xC3\xBC\xC3\x9F" "e \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xE9t\xE9", -1},
        {33, T_Arial_Unicode_MS_16, 1, int(0xC0C0C0DB), 0, 160, 134, "Corvane connected", -1},
        {33, T__Arial_Unicode_MS_14, 1, 0x005E2F08, int(0xFFFF00FC), 160, 166, "@123.456 MHz.", -1},
        {33, T_Arial_Unicode_MS_18_Bold, 1, 4, int(0xFFFFFF00), 8, 210, "SMD Test", -1},
        {33, T_Arial_Unicode_MS_10, 1, 4, int(0xFFFF00FC), 180, 200, "FASE \xCE\xA9 \xC2\xB0 \xB5", -1},
        // Outlined text and the large font.
        {33, T_Arial_Unicode_MS_28, 1, 4, int(0xFFFF8000), 8, 290, "RLC bridge 50", 0},
        {33, T_Arial_Unicode_MS_16, 1, 4, int(0xFFFFFF00), 330, 300, "Outlined 2.5", 0x20202000},
    };
    for (const Line& l : lines) {
        if (l.font)
            v_setfontall(33, 1, 1, l.font);
        else
            v_setfont(l.number, 1, l.scale_y);
        v_color(l.bg, l.fg);
        v_outlined(l.outline);
        v_locate(l.x, l.y);
        v_printf("%s", l.text);
    }
}

TEST(FontReference, LinesInEveryKindOfFont) {
    fb_fill_all(0);
    draw_lines();
    expect_reference("text/lines", 0, 0, W, H);
}

}  // namespace
