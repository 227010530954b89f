// Helpers for tests that draw into the framebuffer.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/framebuffer.h"

// Fills the whole framebuffer (all 4 * crty rows) with one pixel value.
inline void fb_fill_all(uint32_t value) {
    fb_open();
    for (int64_t i = 0; i < fb_pixels; i++) dx_surface[i] = value;
}

inline uint32_t fb_at(int x, int y) { return dx_surface[size_t(y) * size_t(dx_pitch) + size_t(x)]; }

inline std::vector<uint32_t> fb_snapshot() {
    fb_open();
    return std::vector<uint32_t>(dx_surface, dx_surface + fb_pixels);
}

// Linear addresses whose pixels differ between a snapshot and the framebuffer now.
inline std::vector<int64_t> fb_changes(const std::vector<uint32_t>& before) {
    std::vector<int64_t> out;
    for (int64_t i = 0; i < fb_pixels; i++)
        if (dx_surface[i] != before[size_t(i)]) out.push_back(i);
    return out;
}

inline int64_t addr(int x, int y) { return int64_t(y) * crtx + x; }
