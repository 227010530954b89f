// The table of compiled-in fonts and their installation as fonts 0 to 27.
#include "assets/fonts.h"

#include "font_sizes.h"
#include "gfx/text.h"

#define FONT(name, number, kind, height) {#name, name, name##_bytes, number, kind, height}

const ASSET_FONT allfonts[] = {
    FONT(v_off8, 0, FONT_KIND_FIXED, 8),
    FONT(v_off16, 1, FONT_KIND_FIXED, 16),
    FONT(v_off24, 2, FONT_KIND_FIXED, 24),
    FONT(v_tim8, 3, FONT_KIND_FIXED, 8),
    FONT(v_tim16, 4, FONT_KIND_FIXED, 16),
    FONT(v_tim24, 5, FONT_KIND_FIXED, 24),
    FONT(v_tim32, 6, FONT_KIND_FIXED, 32),
    FONT(MS_Sans_Serif_8, 7, FONT_KIND_PROPORTIONAL, 13),
    FONT(MS_Sans_Serif_10, 8, FONT_KIND_PROPORTIONAL, 16),
    FONT(MS_Sans_Serif_12, 9, FONT_KIND_PROPORTIONAL, 20),
    FONT(MS_Sans_Serif_14, 10, FONT_KIND_PROPORTIONAL, 24),
    FONT(MS_Sans_Serif_18, 11, FONT_KIND_PROPORTIONAL, 29),
    FONT(MS_Sans_Serif_24, 12, FONT_KIND_PROPORTIONAL, 37),
    FONT(Arial_Black_8, 13, FONT_KIND_PROPORTIONAL, 15),
    FONT(Arial_Black_10, 14, FONT_KIND_PROPORTIONAL, 18),
    FONT(Arial_Black_12, 15, FONT_KIND_PROPORTIONAL, 23),
    FONT(Arial_Black_14, 16, FONT_KIND_PROPORTIONAL, 27),
    FONT(Arial_Black_18, 17, FONT_KIND_PROPORTIONAL, 33),
    FONT(Arial_Black_24, 18, FONT_KIND_PROPORTIONAL, 45),
    FONT(Courier_New_8_Bold, 19, FONT_KIND_PROPORTIONAL, 14),
    FONT(Courier_New_10_Bold, 20, FONT_KIND_PROPORTIONAL, 16),
    FONT(Courier_New_12_Bold, 21, FONT_KIND_PROPORTIONAL, 18),
    FONT(Courier_New_14_Bold, 22, FONT_KIND_PROPORTIONAL, 22),
    FONT(Courier_New_18_Bold, 23, FONT_KIND_PROPORTIONAL, 27),
    FONT(Courier_New_24_Bold, 24, FONT_KIND_PROPORTIONAL, 36),
    FONT(Clarendon_Extended_14_Bold, 25, FONT_KIND_PROPORTIONAL, 24),
    FONT(Clarendon_Extended_18_Bold, 26, FONT_KIND_PROPORTIONAL, 30),
    FONT(Clarendon_Extended_24_Bold, 27, FONT_KIND_PROPORTIONAL, 40),
    FONT(T_Arial_Unicode_MS_10, 33, FONT_KIND_UNICODE, 18),
    FONT(T_Arial_Unicode_MS_12, 33, FONT_KIND_UNICODE, 21),
    FONT(T__Arial_Unicode_MS_14, 33, FONT_KIND_UNICODE, 25),
    FONT(T_Arial_Unicode_MS_16, 33, FONT_KIND_UNICODE, 28),
    FONT(T_Arial_Unicode_MS_18_Bold, 33, FONT_KIND_UNICODE, 33),
    FONT(T_Arial_Unicode_MS_28, 33, FONT_KIND_UNICODE, 50),
};
const int allfonts_count = int(sizeof allfonts / sizeof allfonts[0]);

void fonts_install() {
    for (const ASSET_FONT& f : allfonts)
        if (f.number < FONT_COUNT) v_fontpntvect[f.number] = f.data;
}
