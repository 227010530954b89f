// The program's compiled-in bitmap fonts (formats in gfx/text.h) and allfonts, their table.
// fonts_install() puts fonts 0 to 27 into v_fontpntvect; the Unicode fonts are selected by
// address (font 33).
#pragma once

#include <cstddef>
#include <cstdint>

// Fixed fonts 0 to 6, codes 32 to 122.
extern const uint8_t v_off8[], v_off16[], v_off24[];
extern const uint8_t v_tim8[], v_tim16[], v_tim24[], v_tim32[];

// Proportional fonts 7 to 27, codes 32 to 127.
extern const uint8_t MS_Sans_Serif_8[], MS_Sans_Serif_10[], MS_Sans_Serif_12[], MS_Sans_Serif_14[],
    MS_Sans_Serif_18[], MS_Sans_Serif_24[];
extern const uint8_t Arial_Black_8[], Arial_Black_10[], Arial_Black_12[], Arial_Black_14[], Arial_Black_18[],
    Arial_Black_24[];
extern const uint8_t Courier_New_8_Bold[], Courier_New_10_Bold[], Courier_New_12_Bold[], Courier_New_14_Bold[],
    Courier_New_18_Bold[], Courier_New_24_Bold[];
extern const uint8_t Clarendon_Extended_14_Bold[], Clarendon_Extended_18_Bold[], Clarendon_Extended_24_Bold[];

// Unicode fonts (FONT_UNICODE records), codes 32 to 2047 with 4-bit coverage.
extern const uint8_t T_Arial_Unicode_MS_10[];       // cell height 18
extern const uint8_t T_Arial_Unicode_MS_12[];       // 21
extern const uint8_t T__Arial_Unicode_MS_14[];      // 25
extern const uint8_t T_Arial_Unicode_MS_16[];       // 28
extern const uint8_t T_Arial_Unicode_MS_18_Bold[];  // 33
extern const uint8_t T_Arial_Unicode_MS_28[];       // 50

enum ASSET_FONT_KIND { FONT_KIND_FIXED, FONT_KIND_PROPORTIONAL, FONT_KIND_UNICODE };

// One entry per font: name, data and size in bytes, font number (33 for the Unicode fonts),
// kind and cell height.
struct ASSET_FONT {
    const char* name;
    const uint8_t* data;
    size_t bytes;
    int number;
    ASSET_FONT_KIND kind;
    int height;
};
extern const ASSET_FONT allfonts[];
extern const int allfonts_count;

// Fills v_fontpntvect with fonts 0 to 27. Call once at start-up, before the first text.
void fonts_install();
