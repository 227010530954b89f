// Small hand-made fonts in the three formats, built exactly to size so that a read beyond
// them shows under the address sanitizer, and helpers for text tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "gfx/text.h"
#include "gfx_helpers.h"

// Glyph pixel at column x, row y of the glyph with index g (code g + 32).
using GlyphBits = std::function<int(int g, int x, int y)>;

// A fixed font of size s for codes 32 to 122.
inline std::vector<uint8_t> make_fixed(int s, const GlyphBits& bit) {
    std::vector<uint8_t> f(size_t(FONT_FIXED_LAST_CODE - 31) * size_t(s) * size_t(s / 8), 0);
    for (int g = 0; g <= FONT_FIXED_LAST_CODE - 32; g++)
        for (int y = 0; y < s; y++)
            for (int x = 0; x < s; x++)
                if (bit(g, x, y)) f[size_t(g) * size_t(s * s / 8) + size_t(y * (s / 8) + x / 8)] |= uint8_t(1 << (x % 8));
    return f;
}

// A proportional font (bpp 1, codes 32 to 127) or a Unicode font with 4-bit glyphs (bpp 4,
// coverage from 0 to 15, codes 32 to 2047, or only to 127 when extended is false: the entries
// beyond stay 0). Glyph g is width(g) wide and height rows high; pixel(g, x, y) is its value.
inline std::vector<uint8_t> make_font(int bpp, int ascent, int digit, int height, bool extended,
                                      const std::function<int(int)>& width, const GlyphBits& pixel) {
    const bool unicode = bpp == 4;
    std::vector<uint8_t> f(unicode ? UNICODE_DATA : PROP_DATA, 0);
    f[0] = uint8_t(ascent);
    f[1] = uint8_t(digit);
    f[3] = uint8_t(height);
    if (unicode) {
        f[4] = 0xFF;  // the 4-bit mask, the maximum coverage and the extended flag
        f[5] = 0x0F;
        f[6] = 15;
        f[7] = extended ? 1 : 0;
    }
    for (int g = 0; g < (unicode && extended ? UNICODE_GLYPHS : 96); g++) {
        const int w = width(g);
        const size_t at = f.size();
        if (unicode) {
            const uint32_t entry = uint32_t(w) << 24 | uint32_t(at);
            for (size_t k = 0; k < 4; k++) f[UNICODE_HEADER + 4 * size_t(g) + k] = uint8_t(entry >> (8 * k));
        } else {
            f[2] = std::max<uint8_t>(f[2], uint8_t(w));
            f[size_t(PROP_WIDTHS + g)] = uint8_t(w);
            f[size_t(PROP_OFFSETS + 2 * g)] = uint8_t(at);
            f[size_t(PROP_OFFSETS + 2 * g + 1)] = uint8_t(at >> 8);
        }
        f.resize(at + (size_t(w * height * bpp) + 7) / 8, 0);
        for (int n = 0; n < w * height; n++)
            f[at + size_t(n * bpp / 8)] |= uint8_t((pixel(g, n % w, n / w) & ((1 << bpp) - 1)) << (n * bpp % 8));
    }
    return f;
}

// The rectangle of changed pixels (x0, y0, x1, y1 inclusive), or x0 > x1 when none changed.
struct Box {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
};
inline Box bounds(const PixelSet& s) {
    Box b;
    for (auto [x, y] : s) {
        b.x0 = std::min(b.x0, x);
        b.y0 = std::min(b.y0, y);
        b.x1 = std::max(b.x1, x);
        b.y1 = std::max(b.y1, y);
    }
    return b;
}
