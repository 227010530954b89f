// Helpers for drawing tests: a clean framebuffer and context, and pixel sets.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "gfx/draw.h"
#include "platform/framebuffer_helpers.h"

using PixelSet = std::set<std::pair<int, int>>;

// (x, y) of every pixel that differs from the snapshot.
inline PixelSet changed_pixels(const std::vector<uint32_t>& before) {
    PixelSet out;
    for (int64_t a : fb_changes(before)) out.insert({int(a % crtx), int(a / crtx)});
    return out;
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
