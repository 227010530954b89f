// TrueType text with stb_truetype.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#include <stb/stb_truetype.h>
#undef STB_TRUETYPE_IMPLEMENTATION
#pragma GCC diagnostic pop

#include "gfx/ttf.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gfx/draw.h"
#include "pixel.h"
#include "platform/display.h"
#include "platform/program_dir.h"

CachedFont g_fonts[TTF_CACHE_SLOTS];
char DEFAULT[TTF_NAME];
char DEFAULOLD[TTF_NAME];
char DEFA[TTF_LEVELS][TTF_NAME];
int32_t font_size = 0;
uint8_t _fontn = 0;
uint8_t _fontx = 0;
uint8_t _fonty = 0;
const uint8_t* ttf_obj_level = nullptr;

namespace {

// Larger files are not font files this program can use (the largest CJK collections are
// about 30 MB).
constexpr long TTF_MAX_FILE = 256L << 20;

// Copies src into an 80-character field, cut to fit.
void copy_name(char* dst, const char* src) { snprintf(dst, TTF_NAME, "%s", src); }

bool is_latinish(uint32_t c) { return c < 128 || (c >= 160 && c <= 591); }

// Length of the UTF-8 sequence that lead byte c starts (0 when c cannot start one) and the
// code point bits it carries.
int lead_byte(unsigned c, uint32_t* bits) {
    if (c < 0x80) {
        *bits = c;
        return 1;
    }
    if ((c & 0xE0) == 0xC0) {
        *bits = c & 0x1F;
        return 2;
    }
    if ((c & 0xF0) == 0xE0) {
        *bits = c & 0x0F;
        return 3;
    }
    if ((c & 0xF8) == 0xF0) {
        *bits = c & 0x07;
        return 4;
    }
    return 0;
}

struct Range {
    uint32_t first, last;
};
// Scripts the bitmap fonts do not draw: CJK ideographs and their extensions and
// compatibility forms, kana, Hangul syllables, Arabic, Hebrew, Thai, Devanagari, and the
// pictographs.
const Range CJK_RANGES[] = {
    {0x4E00, 0x9FFF},   {0x3400, 0x4DBF},   {0x20000, 0x2A6DF}, {0x2A700, 0x2CEAF}, {0xF900, 0xFAFF},
    {0x2F800, 0x2FA1F}, {0x3040, 0x309F},   {0x30A0, 0x30FF},   {0x31F0, 0x31FF},   {0xAC00, 0xD7AF},
    {0x0600, 0x06FF},   {0x0590, 0x05FF},   {0x0E00, 0x0E7F},   {0x0900, 0x097F},   {0x1F300, 0x1FAFF},
};

// Paths whose loading failed, reported once each; the oldest is forgotten when full.
constexpr int FAILED_PATHS = 32;
char failed[FAILED_PATHS][TTF_PATH];
int failed_next = 0;

bool has_failed(const char* path) {
    for (const auto& f : failed)
        if (f[0] && strcmp(f, path) == 0) return true;
    return false;
}

void remember_failure(const char* path) {
    snprintf(failed[failed_next], TTF_PATH, "%s", path);
    failed_next = (failed_next + 1) % FAILED_PATHS;
}

uint32_t be32(const unsigned char* p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }
uint32_t be16(const unsigned char* p) { return uint32_t(p[0]) << 8 | p[1]; }

// The table directory of the font at offset lies in the file, and so does every table it
// lists, so the parser never follows a directory entry out of the data.
bool tables_fit(const unsigned char* data, size_t size, int offset) {
    if (offset < 0 || size_t(offset) + 12 > size) return false;
    const unsigned char* dir = data + offset;
    size_t tables = be16(dir + 4);
    if (size_t(offset) + 12 + 16 * tables > size) return false;
    for (size_t i = 0; i < tables; i++) {
        const unsigned char* t = dir + 12 + 16 * i;
        uint64_t start = be32(t + 8), length = be32(t + 12);
        if (start + length > size) return false;
    }
    return tables > 0;
}

// The slot for name, else for FONTS/name, both taken in the start directory (MyDir) when
// it is known: the file dialog moves the current directory. An installed program then
// looks in FONTS/ of its share folder, so the user's own FONTS/ wins over the installed
// one. An absolute name stands alone.
CachedFont* find_font(const char* name) {
    if (name[0] == '/') return get_font_for_path(name);
    const std::string dir = MyDir[0] ? std::string(MyDir) + "/" : "";
    if (CachedFont* f = get_font_for_path((dir + name).c_str())) return f;
    if (CachedFont* f = get_font_for_path(((dir.empty() ? "./" : dir) + "FONTS/" + name).c_str())) return f;
    const std::string& share = program_share_dir();
    return share.empty() ? nullptr : get_font_for_path((share + "/FONTS/" + name).c_str());
}

bool usable_name(const char* name) { return name && strlen(name) > 4; }

// Walks the code points of text (invalid bytes skipped), calling step(code, next) with the
// following valid code point, or 0 at the end.
template <class Step>
void each_code(const char* text, Step step) {
    uint32_t code = 0;
    const char* p = text;
    auto next_valid = [](const char*& q, uint32_t* c) {
        while (*q) {
            int n = utf8_decode(q, c);
            if (n) {
                q += n;
                return true;
            }
            q++;
        }
        return false;
    };
    bool have = next_valid(p, &code);
    while (have) {
        uint32_t next = 0;
        bool more = next_valid(p, &next);
        step(code, more ? next : 0);
        code = next;
        have = more;
    }
}

// Advance of text in font units summed as the drawing moves the pen.
int text_advance(const stbtt_fontinfo* font, const char* text, float scale) {
    int pen = 0;
    each_code(text, [&](uint32_t code, uint32_t next) {
        int advance = 0, lsb = 0;
        stbtt_GetCodepointHMetrics(font, int(code), &advance, &lsb);
        pen += int(float(advance) * scale);
        if (next) pen += int(float(stbtt_GetCodepointKernAdvance(font, int(code), int(next))) * scale);
    });
    return pen;
}

bool in_cjk_ranges(uint32_t c) {
    for (const Range& r : CJK_RANGES)
        if (c >= r.first && c <= r.last) return true;
    return false;
}

// The font file has a glyph for every CJK or complex-script code point of text.
bool has_cjk_glyphs(const char* name, const char* text) {
    CachedFont* cached = find_font(name);
    if (!cached) return false;
    bool all = true;
    each_code(text, [&](uint32_t code, uint32_t) {
        if (in_cjk_ranges(code) && !stbtt_FindGlyphIndex(&cached->_font, int(code))) all = false;
    });
    return all;
}

inline bool on_framebuffer(int x, int y) {
    return x >= 0 && x < crtx && y >= 0 && int64_t(y) * crtx + x < fb_pixels;
}

}  // namespace

int utf8_decode(const char* s, uint32_t* code) {
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    uint32_t cp;
    const int n = lead_byte(p[0], &cp);
    if (!n) return 0;
    for (int i = 1; i < n; i++) {  // a terminating zero is no continuation byte
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (p[i] & 0x3F);
    }
    *code = cp;
    return n;
}

int needs_cjk(const char* text) {
    if (!text || text[0] == '$') return 0;
    const char* p = text;
    while (*p) {
        // ASCII is never CJK: most captions need no decoding at all (labels ask on every pass).
        if (static_cast<unsigned char>(*p) < 0x80) {
            p++;
            continue;
        }
        uint32_t c = 0;
        int n = utf8_decode(p, &c);
        if (!n) {
            p++;
            continue;
        }
        p += n;
        if (in_cjk_ranges(c)) return 1;
    }
    return 0;
}

int string_is_ascii_or_latin(const char* text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        uint32_t cp;
        const int n = lead_byte(*p, &cp);
        if (!n) return 0;  // a continuation byte or 11111xxx where a character should start
        // The sequence's length comes from its lead byte; continuation bytes are taken as
        // they are, but decoding ends at the end of the text.
        for (int i = 1; i < n; i++) {
            if (!p[i]) return 1;
            cp = cp << 6 | (p[i] & 0x3F);
        }
        if (!is_latinish(cp)) return 0;
        p += n;
    }
    return 1;
}

int needs_ttf(const char* str) {
    font_size = 0;
    if (!str || str[0] == '$') return 0;
    const int fn = int8_t(_fontn);
    static const int units[7] = {1, 2, 3, 1, 2, 3, 4};
    if (fn >= 0 && fn < 7) font_size = 10 * _fonty * units[fn];
    if (needs_cjk(str)) return 5;
    if (fn >= 7) {
        if (fn != 33 && !string_is_ascii_or_latin(str)) return 1;
        if (fn > 24) return 0;
        if (DEFAULOLD[0]) return 3;
    }
    for (const char* p = str; *p; p++)
        if (static_cast<unsigned char>(*p) >= 128) return 1;
    return 0;
}

unsigned char* load_ttf_file(const char* path, size_t* size) {
    if (size) *size = 0;
    if (!path) return nullptr;
    FILE* f = fopen(path, "rb");
    if (!f) return nullptr;
    unsigned char* data = nullptr;
    long length = -1;
    // Only regular files: a directory opens, but "seeks" to a size that no one can allocate.
    struct stat st;
    if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && fseek(f, 0, SEEK_END) == 0) length = ftell(f);
    if (length > 0 && length <= TTF_MAX_FILE && fseek(f, 0, SEEK_SET) == 0) {
        data = static_cast<unsigned char*>(malloc(size_t(length)));
        if (data && fread(data, 1, size_t(length), f) != size_t(length)) {
            free(data);
            data = nullptr;
        }
    }
    fclose(f);
    if (data && size) *size = size_t(length);
    return data;
}

CachedFont* get_font_for_path(const char* path) {
    if (!path || !path[0]) return nullptr;
    for (CachedFont& f : g_fonts)
        if (f.used && strcmp(f.path, path) == 0) return &f;
    if (has_failed(path)) return nullptr;

    CachedFont* slot = nullptr;
    for (CachedFont& f : g_fonts)
        if (!f.used) {
            slot = &f;
            break;
        }
    if (!slot) slot = &g_fonts[0];
    free(slot->ttf_data);
    slot->ttf_data = nullptr;
    slot->used = 0;
    slot->path[0] = 0;

    size_t size = 0;
    // A path the key cannot hold whole would never be found again: it is not loaded.
    unsigned char* data = strlen(path) < TTF_PATH ? load_ttf_file(path, &size) : nullptr;
    if (!data) {
        fprintf(stderr, "Errore apertura TTF: %s\n", path);
        remember_failure(path);
        return nullptr;
    }
    int offset = -1;
    const bool collection = size >= 4 && be32(data) == 0x74746366;  // "ttcf"
    if (size >= (collection ? 16u : 12u)) offset = stbtt_GetFontOffsetForIndex(data, 0);
    if (!tables_fit(data, size, offset) || !stbtt_InitFont(&slot->_font, data, offset)) {
        fprintf(stderr, "TTF non valido: %s\n", path);
        free(data);
        remember_failure(path);
        return nullptr;
    }
    slot->ttf_data = data;
    snprintf(slot->path, TTF_PATH, "%s", path);
    slot->used = 1;
    return slot;
}

void ttf_forget_failures() {
    for (auto& f : failed) f[0] = 0;
    failed_next = 0;
}

int draw_text_ttf_font(int x, int y, const char* text, const char* name, float size, uint32_t colour) {
    if (!text || !usable_name(name) || !(size > 0)) return 0;
    CachedFont* cached = find_font(name);
    if (!cached) return 0;
    const stbtt_fontinfo* font = &cached->_font;
    const float scale = stbtt_ScaleForPixelHeight(font, size);
    int ascent = 0, descent = 0, gap = 0;
    stbtt_GetFontVMetrics(font, &ascent, &descent, &gap);
    const int yb = y + int(float(ascent) * scale);
    const uint32_t cr = colour >> 24 & 255, cg = colour >> 16 & 255, cb = colour >> 8 & 255;
    fb_open();
    int top = INT32_MAX, bottom = -1;  // visible rows written
    int pen = x;
    each_code(text, [&](uint32_t code, uint32_t next) {
        int advance = 0, lsb = 0;
        stbtt_GetCodepointHMetrics(font, int(code), &advance, &lsb);
        int x0, y0, x1, y1;
        stbtt_GetCodepointBitmapBox(font, int(code), scale, scale, &x0, &y0, &x1, &y1);
        const int w = x1 - x0, h = y1 - y0;
        unsigned char* cover = w > 0 && h > 0 ? static_cast<unsigned char*>(malloc(size_t(w) * size_t(h))) : nullptr;
        if (cover) {
            const uint32_t reference = v_rdpixel_xyz(pen + x0 + w - 2, yb + y0 + h - 2);
            stbtt_MakeCodepointBitmap(font, cover, w, h, w, scale, scale, int(code));
            int m = *std::max_element(cover, cover + size_t(w) * size_t(h));
            if (m < 40) m = 40;
            const int threshold = 4 * m / 10;
            for (int r = 0; r < h; r++)
                for (int c = 0; c < w; c++) {
                    int a = cover[size_t(r) * size_t(w) + size_t(c)];
                    const int px = pen + x0 + c, py = yb + y0 + r;
                    if (a == 0 || !on_framebuffer(px, py)) continue;
                    const int64_t address = int64_t(py) * crtx + px;
                    const uint32_t under = dx_surface[address] & 0xFFFFFF;
                    // Faint edge pixels over something other than the glyph's own
                    // background stay as they are, so text over lines keeps them crisp.
                    if (under != reference && a < threshold) continue;
                    const uint32_t r8 = (cr * a + (under >> 16 & 255) * (255 - a)) / 255;
                    const uint32_t g8 = (cg * a + (under >> 8 & 255) * (255 - a)) / 255;
                    const uint32_t b8 = (cb * a + (under & 255) * (255 - a)) / 255;
                    dx_surface[address] = r8 << 16 | g8 << 8 | b8;
                    if (py < crty) {
                        top = std::min(top, py);
                        bottom = std::max(bottom, py);
                    }
                }
            free(cover);
        }
        pen += int(float(advance) * scale);
        if (next) pen += int(float(stbtt_GetCodepointKernAdvance(font, int(code), int(next))) * scale);
    });
    if (bottom >= 0) fb_touch_rows(top, bottom);
    return pen - x;
}

int measure_text_ttf_font(const char* text, const char* name, float size, int* width, int* height) {
    if (!text || !name || !width || !height) return 0;
    *width = *height = 0;
    if (!usable_name(name) || !(size > 0)) return 0;
    CachedFont* cached = find_font(name);
    if (!cached) return 0;
    const float scale = stbtt_ScaleForPixelHeight(&cached->_font, size);
    int ascent = 0, descent = 0, gap = 0;
    stbtt_GetFontVMetrics(&cached->_font, &ascent, &descent, &gap);
    *width = text_advance(&cached->_font, text, scale);
    *height = int(float(ascent - descent) * scale + 0.5f);
    return *width;
}

// Both chains: for a text that needs CJK glyphs "default.ttf" comes first only when it has
// them all (else it would draw empty boxes where "notobd.ttf" has the glyphs), and is still
// the last resort when "notobd.ttf" cannot be used.
template <class Use>
int ttf_chain(const char* text, const char* name, bool skip_empty_name, Use use) {
    if (!needs_cjk(text)) {
        if (!(skip_empty_name && !(name && name[0])))
            if (int r = use(name)) return r;
        if (int r = use(DEFAULT)) return r;
        if (int r = use("default.ttf")) return r;
        return use("notobd.ttf");
    }
    const bool default_first = has_cjk_glyphs("default.ttf", text);
    if (default_first)
        if (int r = use("default.ttf")) return r;
    if (int r = use("notobd.ttf")) return r;
    return default_first ? 0 : use("default.ttf");
}

int draw_text_ttf(int x, int y, const char* text, const char* name, float size, uint32_t colour) {
    return ttf_chain(text, name, false,
                     [&](const char* font) { return draw_text_ttf_font(x, y, text, font, size, colour); });
}

int measure_text_ttf(const char* text, const char* name, float size, int* width, int* height) {
    return ttf_chain(text, name, true,
                     [&](const char* font) { return measure_text_ttf_font(text, font, size, width, height); });
}

void SET_FONT(const char* name, int size) {
    if (int8_t(_fontn) < 7) return;
    if (name && strlen(name) > 1) {
        char full[TTF_NAME];
        if (strchr(name, '.'))
            copy_name(full, name);
        else
            snprintf(full, sizeof full, "%.*s.ttf", TTF_NAME - 5, name);
        copy_name(DEFAULOLD, full);
        copy_name(DEFAULT, full);
        const int level = ttf_obj_level ? std::min<int>(*ttf_obj_level, TTF_LEVELS - 1) : 0;
        copy_name(DEFA[level], full);
    }
    if (size) TTF_SIZE(size);
}

void TTF_SIZE(int size) {
    if (size) _fonty = uint8_t(size);
}
