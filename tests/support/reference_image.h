// Comparison of a framebuffer rectangle with a reference PNG, tests/data/<name>.png. The
// reference is written only on purpose: CORVANE_REGENERATE=1 rewrites it (look at it
// before committing). On a mismatch the drawing is left in the build folder as
// <name with / as _>.actual.png. Include it in one source file of a test executable.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/display.h"
#include "platform/framebuffer.h"
#include "support/framebuffer_helpers.h"

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#include <stb/stb_image.h>

inline void expect_reference(const std::string& name, int x0, int y0, int w, int h) {
    const std::string ref = std::string(CORVANE_SOURCE_DIR) + "/tests/data/" + name + ".png";
    const char* regen = std::getenv("CORVANE_REGENERATE");
    if (regen && std::string(regen) == "1") {
        ASSERT_EQ(fb_write_png(ref.c_str(), x0, y0, w, h), 0);
        GTEST_SKIP() << "reference rewritten: " << ref;
    }
    int rw = 0, rh = 0, n = 0;
    unsigned char* rgb = stbi_load(ref.c_str(), &rw, &rh, &n, 3);
    ASSERT_NE(rgb, nullptr) << "missing reference " << ref << " (CORVANE_REGENERATE=1 writes it)";
    EXPECT_EQ(rw, w);
    EXPECT_EQ(rh, h);
    int wrong = 0;
    for (int y = 0; y < h && y < rh; y++)
        for (int x = 0; x < w && x < rw; x++) {
            const unsigned char* p = rgb + 3 * (y * rw + x);
            const uint32_t expected = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
            const uint32_t actual = fb_at(x0 + x, y0 + y);
            if (actual != expected && wrong++ < 5)
                ADD_FAILURE() << name << " pixel " << x << "," << y << ": " << std::hex << actual << " expected "
                              << expected;
        }
    stbi_image_free(rgb);
    if (wrong) {
        std::string flat = name;
        for (char& c : flat)
            if (c == '/') c = '_';
        const std::string actual = std::string(CORVANE_BINARY_DIR) + "/" + flat + ".actual.png";
        fb_write_png(actual.c_str(), x0, y0, w, h);
        FAIL() << wrong << " pixels differ; drawing written to " << actual;
    }
}
