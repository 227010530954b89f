// Helpers for drawing tests: a clean framebuffer and context, pixel sets and rows, and
// BMP files written by the test.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "gfx/draw.h"
#include "support/framebuffer_helpers.h"

using PixelSet = std::set<std::pair<int, int>>;
using Row = std::vector<uint32_t>;

// (x, y) of every pixel that differs from the snapshot.
inline PixelSet changed_pixels(const std::vector<uint32_t>& before) {
    PixelSet out;
    for (int64_t a : fb_changes(before)) out.insert({int(a % crtx), int(a / crtx)});
    return out;
}

// The n pixels from (x, y) rightwards.
inline Row row(int x, int y, int n) {
    Row out;
    for (int k = 0; k < n; k++) out.push_back(fb_at(x + k, y));
    return out;
}

// A BMP file of 8 or 24 bits whose rows (bottom row first, padded to four bytes) come from
// pixel(x, row_in_file): one byte for 8 bits, 0xRRGGBB stored blue-green-red for 24.
template <class Pixel>
std::vector<uint8_t> bmp(int bpp, int w, int h, Pixel pixel) {
    const int stride = (bpp * w + 31) / 32 * 4, data = 54 + (bpp == 8 ? 1024 : 0);
    std::vector<uint8_t> b(size_t(data + stride * h), 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (size_t i = 0; i < 4; i++) b[at + i] = uint8_t(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, uint32_t(b.size()));
    put32(10, uint32_t(data));
    put32(14, 40);
    put32(18, uint32_t(w));
    put32(22, uint32_t(h));
    b[26] = 1;
    b[28] = uint8_t(bpp);
    for (int r = 0; r < h; r++)
        for (int x = 0; x < w; x++)
            for (int k = 0; k < bpp / 8; k++)
                b[size_t(data + r * stride + x * (bpp / 8) + k)] = uint8_t(pixel(x, r) >> (8 * k));
    return b;
}

// Writes the first size bytes of b to path.
inline void write_file(const std::string& path, const std::vector<uint8_t>& b, size_t size = SIZE_MAX) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    if (!b.empty()) std::fwrite(b.data(), 1, std::min(size, b.size()), f);
    std::fclose(f);
}

// Every test starts on a black framebuffer with context 0 reset.
class Canvas : public ::testing::Test {
protected:
    void SetUp() override {
        fb_fill_all(0);
        perif = 0;
        vid[0] = vid_vect{};
        v_color(0, 255);
        v_locate(0, 0);
        before = fb_snapshot();
    }
    PixelSet drawn() const { return changed_pixels(before); }
    std::vector<uint32_t> before;
};
