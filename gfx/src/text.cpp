// Bitmap fonts and text output.
#include "gfx/text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "gfx/image.h"
#include "pixel.h"
#include "platform/display.h"

const uint8_t* v_fontpntvect[FONT_COUNT];
const int32_t v_fontsizevect[FONT_FIXED_COUNT] = {8, 16, 24, 8, 16, 24, 32};
const uint8_t* _fontpnt = nullptr;
int32_t CSET = 0;

namespace {

// Pixel output for one glyph: colour rules decided once, addresses outside the framebuffer
// dropped (as the pixel writer does), the visible rows written marked changed once.
struct GlyphPen {
    Ink fg, bg;
    WrittenSpan written;
    GlyphPen(int f, int b) : fg(ink_of(f)), bg(ink_of(b)) {}
    void put(int64_t address, const Ink& ink) {
        if (ink.op == Ink::SKIP || address < 0 || address >= fb_pixels) return;
        put_pixel(address, ink);
        written.add(address);
    }
    ~GlyphPen() { written.mark(); }
};

inline int64_t address_of(int x, int y) { return int64_t(y) * crtx + x; }

void set_proportional(vid_vect& v, int num, const uint8_t* font) {
    v.fontnum = num;
    v.v_fontpnt = font;
    v.v_fontsize = 1;
    // Header bytes 1 and 3 are the digit width and the cell height in both the
    // proportional and the Unicode layout.
    v.v_fontx = font ? font[1] : 0;
    v.v_fonty = font ? font[3] : 0;
    v.monospaced = 0;
}

void wchar_fixed(vid_vect& v, int g) {
    if (g > FONT_FIXED_LAST_CODE - 32) g = '?' - 32;  // the fonts end at code 122
    const int s = v.v_fontsize, sx = v.v_fontx, sy = v.v_fonty;
    const uint8_t* glyph = v.v_fontpnt;
    if (glyph) {
        glyph += size_t(g) * size_t(s) * size_t(s / 8);
        GlyphPen pen(v.color1, v.color0);
        const int top = v.v_ylocate - sy * s;
        for (int r = 0; r < s; r++) {
            const uint8_t* row = glyph + r * (s / 8);
            for (int k = 0; k < s; k++) {
                const Ink& ink = (row[k >> 3] >> (k & 7)) & 1 ? pen.fg : pen.bg;
                if (ink.op == Ink::SKIP) continue;
                for (int yy = 0; yy < sy; yy++)
                    for (int xx = 0; xx < sx; xx++)
                        pen.put(address_of(v.v_xlocate + sx * k + xx, top + sy * r + yy), ink);
            }
        }
    }
    v.v_xlocate += s * sx;
}

// Channel-wise (f * a + b * (15 - a)) / 16 of two 0x00RRGGBB colours.
inline uint32_t blend16(uint32_t f, uint32_t b, int a) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        uint32_t c = (((f >> shift) & 255) * a + ((b >> shift) & 255) * (15 - a)) / 16;
        out |= c << shift;
    }
    return out;
}

void wchar_unicode(vid_vect& v, int chr, int g) {
    const uint8_t* font = v.v_fontpnt;
    if (!font) return;
    if (g > 4096) {  // a decoded code carries 0x2000: fold it away
        g = (chr & 0xFFF) - 32;
        if (g < 0) return;
    }
    if (g >= 96 && !font[7]) g = '?' - 32;
    if (g >= UNICODE_GLYPHS) g = '?' - 32;  // beyond the glyph table
    const uint32_t entry = font_u32(font + UNICODE_HEADER + 4 * size_t(g));
    const int w = int(entry >> 24);
    const uint8_t* data = font + (entry & 0xFFFFFF);
    const int H = font[3], D = font[1];
    const bool coverage = font_u16(font + 4) == UNICODE_MASK_4BIT;
    const bool mono = v.monospaced == 1;
    const int B = v.color0, F = v.color1;
    GlyphPen pen(F, B);
    const uint32_t frgb = uint32_t(ToRGB(F)) & 0xFFFFFF;
    const uint32_t brgb = uint32_t(ToRGB(B)) & 0xFFFFFF;
    size_t n = 0;  // pixel index in the glyph stream
    for (int r = 0; r < H; r++) {
        const int64_t row = address_of(v.v_xlocate, v.v_ylocate - H + r);
        for (int c = 0; c < w; c++, n++) {
            const int64_t a_ = row + c;
            if (!coverage) {
                pen.put(a_, (data[n >> 3] >> (n & 7)) & 1 ? pen.fg : pen.bg);
                continue;
            }
            const int a = (n & 1) ? data[n >> 1] >> 4 : data[n >> 1] & 15;
            if (a == 0) {
                pen.put(a_, pen.bg);
            } else if (a == 15) {
                pen.put(a_, pen.fg);
            } else {
                if (a_ < 0 || a_ >= fb_pixels) continue;
                const uint32_t under = B == 4 ? dx_surface[a_] & 0xFFFFFF : brgb;
                pen.put(a_, Ink{Ink::STORE, blend16(frgb, under, a)});
            }
        }
        if (mono)
            for (int c = w; c < D; c++) pen.put(row + c, pen.bg);
    }
    v.v_xlocate += mono ? D : w;
}

void wchar_proportional(vid_vect& v, int g) {
    const uint8_t* font = v.v_fontpnt;
    if (!font) return;
    if (g > 95) g = '?' - 32;
    const int w = font[PROP_WIDTHS + g];
    const uint8_t* data = font + font_u16(font + PROP_OFFSETS + 2 * g);
    const int H = font[PROP_HEIGHT], D = font[PROP_DIGIT_WIDTH];
    const bool mono = v.monospaced == 1;
    const int cols = mono ? D : w;
    GlyphPen pen(v.color1, v.color0);
    for (int r = 0; r < H; r++) {
        const int64_t row = address_of(v.v_xlocate, v.v_ylocate - H + r);
        for (int c = 0; c < cols; c++) {
            if (c >= w) {
                pen.put(row + c, pen.bg);
                continue;
            }
            const size_t n = size_t(r) * size_t(w) + size_t(c);
            pen.put(row + c, (data[n >> 3] >> (n & 7)) & 1 ? pen.fg : pen.bg);
        }
    }
    v.v_xlocate += cols;
}

// An inline image word "$LA..." at s: painted from the start directory with its bottom on
// the output position, which then moves behind it. Returns the word's length, or 0 when
// the image cannot be painted (the position is left as it was).
size_t inline_image(const char* s) {
    size_t len = strcspn(s, " ");
    char word[260];
    if (len >= sizeof word) return 0;
    memcpy(word, s, len);
    word[len] = 0;
    // Named relative to the start directory without changing the process's directory,
    // which other tasks resolve their own relative names against.
    char path[sizeof word + sizeof MyDir + 2];
    const char* name = word + 1;  // behind the "$"
    if (MyDir[0] && name[0] != '/')
        snprintf(path, sizeof path, "$%s/%s", MyDir, name);
    else
        snprintf(path, sizeof path, "%s", word);
    int w = 0, h = 0;
    if (!bmp_size(path, &w, &h)) return 0;
    vid_vect& v = vid[perif];
    v.v_ylocate -= h;
    if (!v_paint(path)) {
        v.v_ylocate += h;
        return 0;
    }
    v.v_xlocate += w;
    v.v_ylocate += h;
    return len;
}

char buffer[V_PRINTF_BUFFER];

}  // namespace

int v_setfontall(int font_num, int scala_x, int scala_y, const uint8_t* fontpnt) {
    if (font_num < FONT_FIXED_COUNT) return v_setfont(font_num, scala_x, scala_y);
    if (font_num != FONT_UNICODE_NUM) return v_setfont(font_num, 1, 1);
    vid_vect& v = vid[perif];
    set_proportional(v, FONT_UNICODE_NUM, fontpnt);
    return v.v_fontsize;
}

int v_setfont(intptr_t font_num, intptr_t scala_x, int scala_y) {
    if (font_num < 0) {  // no font and no address: nothing is drawn until another selection
        set_proportional(vid[perif], FONT_UNICODE_NUM, nullptr);
        return vid[perif].v_fontsize;
    }
    if (font_num > 255)
        return v_setfontall(FONT_UNICODE_NUM, 1, 1, reinterpret_cast<const uint8_t*>(font_num));
    if (font_num == FONT_UNICODE_NUM)
        return v_setfontall(FONT_UNICODE_NUM, 1, 1, reinterpret_cast<const uint8_t*>(scala_x));
    vid_vect& v = vid[perif];
    const int n = int(font_num);
    if (n < FONT_FIXED_COUNT) {
        v.fontnum = n;
        v.v_fontpnt = v_fontpntvect[n];
        v.v_fontsize = v_fontsizevect[n];
        v.v_fontx = int32_t(scala_x);
        v.v_fonty = scala_y;
        v.monospaced = 0;
    } else {
        set_proportional(v, n, n < FONT_COUNT ? v_fontpntvect[n] : nullptr);
    }
    return v.v_fontsize;
}

int v_font(intptr_t font_num, intptr_t scala_x, int scala_y) {
    if (font_num >= 0 && font_num < FONT_FIXED_COUNT) return v_setfont(font_num, scala_x, scala_y);
    if (font_num == FONT_UNICODE_NUM)
        return v_setfontall(FONT_UNICODE_NUM, 1, 1, reinterpret_cast<const uint8_t*>(scala_x));
    return v_setfont(scala_x + 16 * intptr_t(scala_y), 1, 1);
}

void v_wchar(int chr) {
    const int g = chr - 32;
    if (g < 0) return;
    vid_vect& v = vid[perif];
    if (v.v_fontsize >= 8)
        wchar_fixed(v, g);
    else if (v.fontnum == FONT_UNICODE_NUM)
        wchar_unicode(v, chr, g);
    else
        wchar_proportional(v, g);
}

void v_bs() {
    vid_vect& v = vid[perif];
    v.v_xlocate -= v.v_fontsize * v.v_fontx;
    v_wchar(' ');
    v.v_xlocate -= v.v_fontsize * v.v_fontx;
}

void v_printchar(int c) {
    if (c == 10 || c == 13) {
        vid_vect& v = vid[perif];
        v_locate(v.v_xstart, v.v_ystart + v.v_fonty * v.v_fontsize);
        v.monospaced = 0;
    } else if (c == 127) {
        v_bs();
    } else if (c >= 32) {
        v_wchar(c);
    }
}

void v_print(const char* text) {
    if (!text) return;
    const auto* s = reinterpret_cast<const uint8_t*>(text);
    bool images = true;
    size_t i = 0;
    while (s[i]) {
        const int b0 = s[i], b1 = s[i + 1], b2 = b1 ? s[i + 2] : 0;
        if (images && b0 == '$' && b1 == 'L' && b2 == 'A') {
            if (size_t len = inline_image(text + i)) {
                i += len;
                continue;
            }
            images = false;  // the word is printed as text, and so are later ones
        }
        if (b0 == '@' && i == 0) {
            vid[perif].monospaced = 1;
            i++;
        } else if (b0 == 0xEF && b1 == 0xBB && b2 == 0xBF) {
            i += 3;
        } else if (b0 >= 0xC0 && b1 >= 0x80 && b1 <= 0xBF) {
            v_printchar((((b0 & 31) << 6) + (b1 & 63)) | 0x2000);
            i += 2;
        } else {
            v_printchar(b0);
            i++;
        }
    }
}

void v_printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    const int outline = OUTLINED;
    if (outline == -1) {
        v_print(buffer);
        return;
    }
    vid_vect& v = vid[perif];
    const vid_vect saved = v;
    for (int dx = -1; dx <= 1; dx++)
        for (int dy = -1; dy <= 1; dy++) {
            v.v_xlocate = saved.v_xlocate + dx;
            v.v_ylocate = saved.v_ylocate + dy;
            v.v_xstart = saved.v_xstart + dx;
            v.v_ystart = saved.v_ystart + dy;
            v.color0 = saved.color0;
            v.color1 = outline;
            v_print(buffer);
        }
    v.v_xlocate = saved.v_xlocate;
    v.v_ylocate = saved.v_ylocate;
    v.v_xstart = saved.v_xstart;
    v.v_ystart = saved.v_ystart;
    v.color0 = saved.color0;
    v.color1 = saved.color1;
    v_print(buffer);
    OUTLINED = -1;
}
