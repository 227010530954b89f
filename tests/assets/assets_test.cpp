// The compiled-in fonts and images: the installed fonts and each kind's format rules, lines of
// text in each kind of font against a reference image, and the images' decoding and
// transparent pixels. How text is drawn is tested on hand-made fonts in tests/gfx.
#include <gtest/gtest.h>

#include <set>
#include <span>
#include <string>
#include <tuple>

#include "assets/fonts.h"
#include "assets/images.h"
#include "gfx/draw.h"
#include "gfx/image.h"
#include "gfx/text.h"
#include "support/framebuffer_helpers.h"
#include "support/reference_image.h"

namespace {

// Where a glyph of a proportional or Unicode font lies in the font's data, and its width.
struct Glyph { size_t at, bytes, width; };

Glyph glyph(const ASSET_FONT& f, int c) {
    const uint8_t* d = f.data;
    const size_t height = d[PROP_HEIGHT];
    if (f.kind == FONT_KIND_PROPORTIONAL) {
        const size_t w = d[PROP_WIDTHS + c - 32];
        return {size_t(font_u16(d + PROP_OFFSETS + 2 * (c - 32))), (w * height + 7) / 8, w};
    }
    const uint32_t e = font_u32(d + UNICODE_HEADER + 4 * size_t(c - 32));
    return {e & 0xFFFFFF, ((e >> 24) * height + 1) / 2, e >> 24};
}

// Each font of a number below 33 is installed. What the drawing code reads of a font lies
// inside its data: a fixed font's glyphs at the size the code gives it, each glyph of the
// others. Digits share one width, so that readouts keep still. The Unicode fonts have glyphs
// of their own for Latin-1, the smaller ones for Greek and Cyrillic too, not the '?' glyph.
TEST(Fonts, InstallAndEachKindsLayout) {
    const std::set<std::string> greek = {"T_Arial_Unicode_MS_10", "T_Arial_Unicode_MS_12", "T_Arial_Unicode_MS_16"};
    fonts_install();
    for (const ASSET_FONT& f : std::span(allfonts, size_t(allfonts_count))) {
        SCOPED_TRACE(f.name);
        EXPECT_TRUE(f.number >= FONT_COUNT || v_fontpntvect[f.number] == f.data);
        if (f.kind == FONT_KIND_FIXED) {
            const size_t side = size_t(v_fontsizevect[f.number]);
            EXPECT_EQ(f.bytes, (FONT_FIXED_LAST_CODE - 31) * side * side / 8);
            continue;
        }
        const bool unicode = f.kind == FONT_KIND_UNICODE;
        for (int c = 32; c < (unicode ? 32 + UNICODE_GLYPHS : 128); c++) {
            const Glyph g = glyph(f, c);
            EXPECT_TRUE(g.at >= (unicode ? UNICODE_DATA : PROP_DATA) && g.at + g.bytes <= f.bytes) << c;
        }
        for (int c = '0'; c <= '9'; c++) EXPECT_EQ(glyph(f, c).width, f.data[PROP_DIGIT_WIDTH]) << char(c);
        if (!unicode) continue;
        std::vector<int> own = {65, 97, 0xE9, 0xDF, 0xC5, 0x152};
        if (greek.count(f.name)) own.insert(own.end(), {0x3A9, 0x41F, 0x44F});
        for (int c : own) EXPECT_NE(glyph(f, c).at, glyph(f, '?').at) << c;
    }
}

constexpr int W = 560, H = 330;

void draw_lines() {
    perif = 0;
    vid[0] = vid_vect{};
    OUTLINED = -1;
    fonts_install();
    // A grey-to-blue ground, so that transparent backgrounds and blending show.
    for (int x = 0; x < W; x++)
        v_rectfillc(x, 0, 1, H, int(uint32_t(0x60 + x / 8) << 24 | 0x6000u << 8 | uint32_t(0x80 + x / 5) << 8));
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

// Paints an image at the origin over a uniform background.
void paint_on(const uint8_t* s, uint32_t background) {
    fb_fill_all(background);
    perif = 0;
    v_color(0, 255);
    v_locate(0, 0);
    v_paints(s, 0);
}

// Every image decodes whole, every pixel of its size placed and all its bytes used, and has
// transparent pixels only where meant to: colour pictures cover every pixel, but for the SMD
// fixture, which the page shows in a smaller box; icons may leave their background out. How
// the pages show the pictures is in the app's reference images.
TEST(Images, EveryImageDecodesWholeAndIsTransparentOnlyWhereMeant) {
    for (const ASSET_IMAGE& img : std::span(allicone, size_t(allicone_count))) {
        SCOPED_TRACE(img.name);
        IMAGE_INFO info;
        ASSERT_TRUE(image_scan(img.data, img.bytes, &info));
        EXPECT_EQ(std::tuple(info.complete, info.pixels, info.bytes_used),
                  std::tuple(true, int64_t(info.width) * info.height, int64_t(img.bytes) - IMAGE_HEADER));
        paint_on(img.data, 0x123456);
        const std::vector<uint32_t> first = fb_snapshot();
        paint_on(img.data, 0x654321);
        int see_through = 0, inverted = 0;
        for (int y = 0; y < info.height; y++)
            for (int x = 0; x < info.width; x++) {
                const uint32_t p = fb_at(x, y);
                see_through += p != first[size_t(addr(x, y))] && p == 0x654321;
                inverted += p != first[size_t(addr(x, y))] && p == (0x654321 ^ 0xFFFFFFu);
            }
        EXPECT_EQ(std::tuple(inverted, see_through > 0),
                  std::tuple(0, info.coding != 32 || std::string(img.name) == "AAAA"));
    }
}

}  // namespace
