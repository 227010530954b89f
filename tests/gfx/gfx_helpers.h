// Helpers for drawing tests: a clean framebuffer and context, pixel sets and rows, BMP files
// and small hand-made fonts built by the test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "gfx/draw.h"
#include "gfx/text.h"
#include "platform/display.h"
#include "support/scratch_dir.h"
#include "support/framebuffer_helpers.h"

using PixelSet = std::set<std::pair<int, int>>;

// A BMP file of 8 or 24 bits whose rows (bottom row first, padded to four bytes) come from
// pixel(x, row_in_file): one byte for 8 bits, 0xRRGGBB stored blue-green-red for 24.
template <class Pixel>
std::vector<uint8_t> bmp(int bpp, int w, int h, Pixel pixel) {
    const int stride = (bpp * w + 31) / 32 * 4, data = 54 + (bpp == 8 ? 1024 : 0);
    std::vector<uint8_t> b(size_t(data + stride * h), 0);
    // Little-endian words written in order: the signature "BM", then the sizes over its upper half.
    const std::pair<size_t, uint32_t> header[] = {{0, 'B' | 'M' << 8}, {2, uint32_t(b.size())}, {10, uint32_t(data)},
                                                  {14, 40}, {18, uint32_t(w)}, {22, uint32_t(h)},
                                                  {26, 1u | uint32_t(bpp) << 16}};
    for (auto [at, v] : header)
        for (size_t i = 0; i < 4; i++) b[at + i] = uint8_t(v >> (8 * i));
    for (int r = 0; r < h; r++)
        for (int x = 0; x < w; x++)
            for (int k = 0; k < bpp / 8; k++)
                b[size_t(data + r * stride + x * (bpp / 8) + k)] = uint8_t(pixel(x, r) >> (8 * k));
    return b;
}

// Writes the first size bytes of b to path.
inline void write_file(const std::string& path, const std::vector<uint8_t>& b, size_t size = SIZE_MAX) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()),
                                                std::streamsize(std::min(size, b.size())));
}

// Every test starts on a black framebuffer with context 0 reset; drawn() is the set of
// pixels changed since `before`.
class Canvas : public ::testing::Test {
protected:
    void SetUp() override {
        fb_fill_all(0);
        perif = 0;
        vid[0] = vid_vect{};
        v_color(0, 255);
        before = fb_snapshot();
    }
    PixelSet drawn() const {
        PixelSet out;
        for (int64_t a : fb_changes(before)) out.insert({int(a % crtx), int(a / crtx)});
        return out;
    }
    std::vector<uint32_t> before;
};

// Small hand-made fonts in the three formats, built exactly to size so that a read beyond
// them shows under the address sanitizer. Glyph pixel at column x, row y of the glyph with
// index g (code g + 32):
using GlyphBits = std::function<int(int g, int x, int y)>;

// A fixed font of size s for codes 32 to 122.
inline std::vector<uint8_t> make_fixed(int s, const GlyphBits& bit) {
    const size_t glyph = size_t(s) * size_t(s / 8);
    std::vector<uint8_t> f(size_t(FONT_FIXED_LAST_CODE - 31) * glyph, 0);
    for (int g = 0; g <= FONT_FIXED_LAST_CODE - 32; g++)
        for (int y = 0; y < s; y++)
            for (int x = 0; x < s; x++)
                if (bit(g, x, y)) f[size_t(g) * glyph + size_t(y * (s / 8) + x / 8)] |= uint8_t(1 << (x % 8));
    return f;
}

// A proportional font (bpp 1, codes 32 to 127) or a Unicode font with 4-bit glyphs (bpp 4,
// coverage from 0 to 15, codes 32 to 2047, or only to 127 when extended is false: the entries
// beyond stay 0). Glyph g is width(g) wide and height rows high; pixel(g, x, y) is its value.
inline std::vector<uint8_t> make_font(int bpp, int ascent, int digit, int height, bool extended,
                                      const std::function<int(int)>& width, const GlyphBits& pixel) {
    const bool unicode = bpp == 4;
    std::vector<uint8_t> f(unicode ? UNICODE_DATA : PROP_DATA, 0);
    // Ascent, digit width, the widest glyph (set below for proportional fonts), height; for
    // Unicode fonts then the 4-bit mask, the maximum coverage and the extended flag.
    const uint8_t head[8] = {uint8_t(ascent), uint8_t(digit), 0, uint8_t(height), 0xFF, 0x0F, 15, extended};
    std::copy_n(head, unicode ? 8 : 4, f.begin());
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
