// TrueType text: whether a text needs TrueType instead of the bitmap fonts, a cache of font
// files loaded at run time, and drawing and measuring UTF-8 text with anti-aliasing,
// falling back through DEFAULT, "default.ttf" and "notobd.ttf".
//
// Font files are looked up under the name as given, then as "FONTS/" + name, both in the
// start directory (MyDir, platform/display.h) when it is set, else in the current
// directory; an absolute name is used as it stands. Used from the page loop's thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include <stb/stb_truetype.h>

inline constexpr int TTF_CACHE_SLOTS = 100;
inline constexpr int TTF_PATH = 260;
inline constexpr int TTF_NAME = 80;
inline constexpr int TTF_LEVELS = 80;

// One loaded font file.
struct CachedFont {
    int32_t used;               // 1: loaded and initialised
    char path[TTF_PATH];        // the path it was requested under (the cache key)
    unsigned char* ttf_data;    // the whole file, owned by the slot
    stbtt_fontinfo _font;       // parsed font, refers into ttf_data
};
extern CachedFont g_fonts[TTF_CACHE_SLOTS];

extern char DEFAULT[TTF_NAME];              // current font file name (SET_FONT)
extern char DEFAULOLD[TTF_NAME];            // last name set; non-empty: proportional fonts go TrueType
extern char DEFA[TTF_LEVELS][TTF_NAME];     // last name set per object nesting level
extern int32_t font_size;                   // pixel height replacing a fixed font (needs_ttf)

// Font declaration of the object being drawn, set by its Body: font number (33, "!", for the
// Unicode font at _fontpnt of gfx/text.h), horizontal and vertical scale bytes (for TrueType
// text _fonty is also the pixel height).
extern uint8_t _fontn;
extern uint8_t _fontx;
extern uint8_t _fonty;
// The form runtime's object nesting level, which selects the DEFA entry SET_FONT writes;
// null counts as level 0.
extern const uint8_t* ttf_obj_level;

// 0: the bitmap font can draw str; 1: TrueType with the widget's font; 3: TrueType with
// DEFAULOLD; 5: str needs CJK or complex-script glyphs. Sets font_size: for fixed fonts 0 to 6
// ten times _fonty times the glyph size in 8-pixel units, else 0.
int needs_ttf(const char* str);
// 1 when a code point of text is CJK, Hangul, kana, Arabic, Hebrew, Thai, Devanagari or
// pictographic (ranges in ttf.cpp); a text beginning with "$" is an image name: 0.
int needs_cjk(const char* text);
// 1 when every code point is below 128 or from 160 to 591.
int string_is_ascii_or_latin(const char* text);
// Decodes the UTF-8 sequence at s: its length (1 to 4), or 0 for an invalid or truncated
// sequence (the caller then skips one byte).
int utf8_decode(const char* s, uint32_t* code);

// The whole file in a new block (free() it), or null for an unreadable or empty file, for
// anything but a regular file, and for files above 256 MiB.
unsigned char* load_ttf_file(const char* path, size_t* size);
// The cache slot holding the font file at path, loading it into a free slot (slot 0 when
// all are used). Null when it cannot be loaded: "Errore apertura TTF: %s\n" or "TTF non
// valido: %s\n" goes to standard error, once per path.
CachedFont* get_font_for_path(const char* path);
// Forgets the paths that failed, so they are tried (and reported) again.
void ttf_forget_failures();

// Draws text with its line top at y in one font file (name, else FONTS/name, as above),
// size the pixel height, colour a direct colour 0xRRGGBB00. Returns the advance in pixels;
// 0 when the name is missing or 4 characters or fewer, or the font cannot be loaded.
int draw_text_ttf_font(int x, int y, const char* text, const char* name, float size, uint32_t colour);
// Width (also stored) and height of text in one font file; 0 and both results 0 when the
// font cannot be used.
int measure_text_ttf_font(const char* text, const char* name, float size, int* width, int* height);
// The same through the chain: name (when given), DEFAULT, then "default.ttf", then
// "notobd.ttf"; texts that need CJK glyphs start at "default.ttf".
int draw_text_ttf(int x, int y, const char* text, const char* name, float size, uint32_t colour);
int measure_text_ttf(const char* text, const char* name, float size, int* width, int* height);

// Selects the TrueType font for the following objects (only when _fontn is 7 or more): a
// name longer than one character (".ttf" added when it has no dot) goes to DEFAULOLD,
// DEFAULT and the DEFA entry of the current level; a size other than 0 to TTF_SIZE.
void SET_FONT(const char* name, int size);
// Sets _fonty to size unless size is 0.
void TTF_SIZE(int size);
