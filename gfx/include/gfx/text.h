// Bitmap fonts and text output at the output position of the active drawing context.
//
// Three kinds of font:
//  - fixed fonts 0 to 6: square glyphs of s x s pixels (s = 8, 16, 24, 32) for codes 32 to
//    122, no header; a glyph row is s / 8 bytes, lowest bit leftmost; the glyph of code c
//    starts at byte (c - 32) * s * s / 8. Drawn scaled by v_fontx x v_fonty.
//  - proportional fonts 7 to 27, one bit per pixel (PROP_* offsets below): codes 32 to 127.
//  - Unicode fonts (number 33, given by pointer): a FONT_UNICODE record with glyphs for codes
//    32 to 2047, 4 bits of coverage per pixel (mask 0x0FFF) blended over the background.
//
// The output position is the left edge of the next cell and the row just below it: a glyph
// occupies the rows above v_ylocate. Every pixel goes through the pixel writer at its
// linear address, so a background (color0) of 4 leaves pixels unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gfx/draw.h"

// Font numbers.
inline constexpr int FONT_FIXED_COUNT = 7;   // 0 .. 6
inline constexpr int FONT_COUNT = 28;        // 0 .. 27 in v_fontpntvect
inline constexpr int FONT_UNICODE_NUM = 33;  // the Unicode font given by pointer ("!")
inline constexpr int FONT_FIXED_LAST_CODE = 122;

// Proportional font layout: ascent, digit width, widest glyph, cell height, 96 widths,
// 96 little-endian 16-bit offsets from the font start, then the glyph bits (rows follow each
// other without padding, lowest bit first).
inline constexpr int PROP_ASCENT = 0;
inline constexpr int PROP_DIGIT_WIDTH = 1;
inline constexpr int PROP_MAX_WIDTH = 2;
inline constexpr int PROP_HEIGHT = 3;
inline constexpr int PROP_WIDTHS = 4;
inline constexpr int PROP_OFFSETS = 100;
inline constexpr int PROP_DATA = 292;

// Unicode font record, little-endian, at the start of the font data. The glyph entry of code
// 32 + i holds the width in bits 31-24 and the offset of the glyph data from the record
// start in bits 23-0. A glyph is `height` rows of `width` pixels in one continuous stream:
// with mask 0x0FFF two pixels a byte (low half first, coverage 0 to 15), otherwise eight
// pixels a byte (lowest bit first).
inline constexpr int UNICODE_GLYPHS = 2016;  // codes 32 .. 2047
inline constexpr uint16_t UNICODE_MASK_4BIT = 0x0FFF;
struct FONT_UNICODE {
    uint8_t vert_align;  // ascent
    uint8_t num_width;   // digit width
    uint8_t max_width;   // widest glyph
    uint8_t height;      // cell height
    uint16_t mask;       // 0x0FFF: 4-bit glyphs, otherwise 1-bit
    uint8_t num_lang;    // 15; not read
    uint8_t nop1;        // non-zero: glyphs for 128 .. 2047 exist
    uint32_t pnt0[UNICODE_GLYPHS];
    uint8_t p[256000];   // glyph data
};
inline constexpr size_t UNICODE_HEADER = 8;
inline constexpr size_t UNICODE_DATA = UNICODE_HEADER + 4 * UNICODE_GLYPHS;
static_assert(offsetof(FONT_UNICODE, pnt0) == UNICODE_HEADER);
static_assert(offsetof(FONT_UNICODE, p) == UNICODE_DATA);

// Font data of fonts 0 to 27 (null where none is installed; such a font draws nothing) and
// the glyph sizes of the fixed fonts.
extern const uint8_t* v_fontpntvect[FONT_COUNT];
extern const int32_t v_fontsizevect[FONT_FIXED_COUNT];
// The Unicode font chosen by the object being drawn.
extern const uint8_t* _fontpnt;
// Code page of the Unicode fonts; always 0 (bytes 128 to 255 are Latin-1).
extern int32_t CSET;

// Selects a font on the active context and returns the new v_fontsize. 0 to 6: fixed font
// scaled scala_x by scala_y; 7 to 27: proportional (scales ignored); 33: the Unicode font
// whose address is in scala_x; any value above 255 is itself a Unicode font's address; a
// negative number selects no font (nothing is drawn).
int v_setfont(intptr_t font_num, intptr_t scala_x, int scala_y);
// As v_setfont, with font 33 taken from fontpnt.
int v_setfontall(int font_num, int scala_x, int scala_y, const uint8_t* fontpnt);
// 0 to 6: v_setfont; 33: Unicode font at address scala_x; other numbers select font
// scala_x + 16 * scala_y.
int v_font(intptr_t font_num, intptr_t scala_x, int scala_y);

// Draws one glyph at the output position and advances it. Codes below 32 draw nothing; codes
// a font does not hold draw its "?".
void v_wchar(int chr);
// Back one digit width, a blank, back again.
void v_bs();
// 0 and other control codes: nothing; 10, 13: new line at the line start; 127: backspace.
void v_printchar(int c);
// Prints a text: a leading "@" turns on monospaced digits, "$LA..." words are images from the
// start directory, a byte-order mark is skipped, two-byte UTF-8 is decoded, other bytes from
// 128 are Latin-1.
void v_print(const char* s);
// Formats (cut at 254 characters) and prints. With OUTLINED other than -1 the text is first
// printed nine times in that colour, at every offset of -1 to 1 pixels, then normally at the
// output position, and OUTLINED goes back to -1.
void v_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Size of the v_printf buffer, terminating zero included.
inline constexpr int V_PRINTF_BUFFER = 255;

// Header access for font data.
inline int font_u16(const uint8_t* p) { return p[0] | p[1] << 8; }
inline uint32_t font_u32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
