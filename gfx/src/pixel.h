// Fast pixel writes at linear addresses for the primitives: the colour rules of the pixel
// writer decided once per call instead of once per pixel.
#pragma once

#include <algorithm>
#include <cstdint>

#include "platform/framebuffer.h"

struct Ink {
    enum Op { SKIP, INVERT, STORE } op;
    uint32_t value;
};

// Opens the framebuffer and decides how a colour value is written: 4 skipped, 32 inverts,
// a direct colour from bits 31-8, else the palette entry.
inline Ink ink_of(int color) {
    fb_open();
    if (color == 4) return {Ink::SKIP, 0};
    if (color == 32) return {Ink::INVERT, 0};
    if (color >> 8) return {Ink::STORE, uint32_t(color >> 8) & 0xFFFFFF};
    return {Ink::STORE, pall[color]};
}

// Writes at linear address p, which the caller keeps within 0 .. fb_pixels - 1. The
// framebuffer's pitch equals its width, so the address is the memory index.
inline void put_pixel(int64_t p, Ink ink) {
    uint32_t& px = dx_surface[p];
    if (ink.op == Ink::INVERT)
        px ^= 0xFFFFFF;
    else if (ink.op == Ink::STORE)
        px = ink.value;
}

// Linear addresses below this are on the visible screen.
inline int64_t visible_pixels() { return int64_t(crtx) * crty; }

// The linear addresses a primitive wrote, lowest and highest, so that it marks the visible
// rows between them changed once when it is done.
struct WrittenSpan {
    int64_t lo = INT64_MAX, hi = -1;
    void add(int64_t p) {
        lo = std::min(lo, p);
        hi = std::max(hi, p);
    }
    void mark() const {
        if (hi < 0 || lo >= visible_pixels()) return;
        fb_touch_rows(int(lo / crtx), int(std::min(hi, visible_pixels() - 1) / crtx));
    }
};
