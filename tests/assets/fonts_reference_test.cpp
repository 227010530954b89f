// Lines of text in each kind of font compared pixel for pixel with a reference image.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "assets/fonts.h"
#include "gfx/text.h"
#include "platform/display.h"
#include "platform/framebuffer_helpers.h"

#include "support/reference_image.h"

namespace {

constexpr int W = 560, H = 330;

void lines() {
    perif = 0;
    vid[0] = vid_vect{};
    OUTLINED = -1;
    fonts_install();
    // A grey-to-blue ground, so that transparent backgrounds and blending show.
    for (int x = 0; x < W; x++) v_rectfillc(x, 0, 1, H, int(uint32_t(0x60 + x / 8) << 24 | 0x6000u << 8 | uint32_t(0x80 + x / 5) << 8));
    // Fixed fonts: the start-up line at 1 x 2, font 3 with its arrow, the 32-pixel font.
    v_font(0, 1, 2);
    v_color(113, 0);
    v_locate(8, 24);
    v_print("Scanning COM1... 115200 8N1");
    v_setfont(3, 1, 1);
    v_color(146, 0);
    v_locate(300, 16);
    v_print("COM3 t");
    v_setfont(6, 1, 1);
    v_color(4, 0xFFFF0000);
    v_locate(360, 40);
    v_print("Smith");
    // Proportional fonts: a plot label on a transparent ground, a readout on black,
    // Courier and Clarendon shapes, a backspace and a line break.
    v_setfont(7, 1, 1);
    v_color(4, 255);
    v_locate(8, 60);
    v_printf("%s", "-12.5 150 1K. 2M.");
    v_setfont(10, 1, 1);
    v_color(0, 0xFFFF0000);
    v_locate(160, 64);
    v_printf("%g", 3.14159);
    v_setfont(21, 1, 1);
    v_color(255, 0);
    v_locate(300, 64);
    v_print("S11 dB: -20.0x\x7F");
    v_setfont(26, 1, 1);
    v_color(4, 0x00FFFF00);
    v_locate(8, 100);
    v_print("RLC\nbridge");
    // Unicode fonts: over the ground, opaque, monospaced digits, UTF-8 and Latin-1.
    struct Line {
        const uint8_t* font;
        int bg, fg, x, y;
        const char* text;
    };
    const Line unicode[] = {
        {T_Arial_Unicode_MS_12, 4, 0, 160, 100,
         "CONNECT Gr\xC3\xBC\xC3\x9F" "e \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xE9t\xE9"},
        {T_Arial_Unicode_MS_16, int(0xC0C0C0DB), 0, 160, 134, "Corvane connected"},
        {T__Arial_Unicode_MS_14, 0x005E2F08, int(0xFFFF00FC), 160, 166, "@123.456 MHz."},
        {T_Arial_Unicode_MS_18_Bold, 4, int(0xFFFFFF00), 8, 210, "SMD Test"},
        {T_Arial_Unicode_MS_10, 4, int(0xFFFF00FC), 180, 200, "FASE \xCE\xA9 \xC2\xB0 \xB5"},
    };
    for (const Line& l : unicode) {
        v_setfontall(33, 1, 1, l.font);
        v_color(l.bg, l.fg);
        v_locate(l.x, l.y);
        v_print(l.text);
    }
    // Outlined text and the large font.
    v_setfontall(33, 1, 1, T_Arial_Unicode_MS_28);
    v_color(4, 0xFFFF8000);
    v_outlined(0);
    v_locate(8, 290);
    v_printf("%s %d", "RLC bridge", 50);
    v_setfontall(33, 1, 1, T_Arial_Unicode_MS_16);
    v_color(4, 0xFFFFFF00);
    v_outlined(0x20202000);
    v_locate(330, 300);
    v_printf("Outlined %.1f", 2.5);
}

TEST(FontReference, LinesInEveryKindOfFont) {
    fb_fill_all(0);
    lines();
    expect_reference("text/lines", 0, 0, W, H);
}

}  // namespace
