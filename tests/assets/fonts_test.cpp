// The compiled-in fonts against their format rules and the sizes the pages rely on. How
// text is drawn with them is tested on hand-made fonts (tests/gfx/text_test.cpp) and on
// these fonts by the reference image of fonts_reference_test.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <span>
#include <string>
#include <tuple>

#include "assets/fonts.h"
#include "gfx/text.h"
#include "support/framebuffer_helpers.h"

namespace {

std::span<const ASSET_FONT> fonts() { return {allfonts, size_t(allfonts_count)}; }

const ASSET_FONT* find(const char* name) {
    for (const ASSET_FONT& f : fonts())
        if (strcmp(f.name, name) == 0) return &f;
    return nullptr;
}

bool any_ink(const uint8_t* g, size_t bytes) { return std::any_of(g, g + bytes, [](uint8_t b) { return b != 0; }); }

// Names and cell heights of the font table, in the order of their numbers: the fixed
// fonts 0 to 6, the proportional fonts 7 to 27, then the Unicode fonts, all number 33.
const std::pair<const char*, int> expected[] = {
    {"v_off8", 8}, {"v_off16", 16}, {"v_off24", 24}, {"v_tim8", 8}, {"v_tim16", 16}, {"v_tim24", 24}, {"v_tim32", 32},
    {"MS_Sans_Serif_8", 13}, {"MS_Sans_Serif_10", 16}, {"MS_Sans_Serif_12", 20}, {"MS_Sans_Serif_14", 24},
    {"MS_Sans_Serif_18", 29}, {"MS_Sans_Serif_24", 37}, {"Arial_Black_8", 15}, {"Arial_Black_10", 18},
    {"Arial_Black_12", 23}, {"Arial_Black_14", 27}, {"Arial_Black_18", 33}, {"Arial_Black_24", 45},
    {"Courier_New_8_Bold", 14}, {"Courier_New_10_Bold", 16}, {"Courier_New_12_Bold", 18}, {"Courier_New_14_Bold", 22},
    {"Courier_New_18_Bold", 27}, {"Courier_New_24_Bold", 36}, {"Clarendon_Extended_14_Bold", 24},
    {"Clarendon_Extended_18_Bold", 30}, {"Clarendon_Extended_24_Bold", 40}, {"T_Arial_Unicode_MS_10", 18},
    {"T_Arial_Unicode_MS_12", 21}, {"T__Arial_Unicode_MS_14", 25}, {"T_Arial_Unicode_MS_16", 28},
    {"T_Arial_Unicode_MS_18_Bold", 33}, {"T_Arial_Unicode_MS_28", 50},
};

TEST(Fonts, TableHoldsEveryFontWithItsNumberAndHeight) {
    ASSERT_EQ(allfonts_count, int(std::size(expected)));
    for (int n = 0; n < int(std::size(expected)); n++) {
        const auto [name, height] = expected[n];
        const ASSET_FONT* f = find(name);
        ASSERT_NE(f, nullptr) << name;
        EXPECT_EQ(std::tuple(f->number, f->height, f->kind == FONT_KIND_FIXED ? height : f->data[3]),
                  std::tuple(n < FONT_COUNT ? n : 33, height, height)) << name;
    }
    fonts_install();
    for (const ASSET_FONT& f : fonts())
        if (f.number < FONT_COUNT) { EXPECT_EQ(v_fontpntvect[f.number], f.data) << f.name; }
    for (int n = 0; n < FONT_FIXED_COUNT; n++) EXPECT_EQ(v_fontsizevect[n], expected[n].second);
}

TEST(Fonts, FixedFontsHoldCodes32To122WithInk) {
    for (const ASSET_FONT& f : fonts()) {
        if (f.kind != FONT_KIND_FIXED) continue;
        const size_t glyph = size_t(f.height * f.height / 8);
        ASSERT_EQ(f.bytes, (FONT_FIXED_LAST_CODE - 31) * glyph) << f.name;
        EXPECT_FALSE(any_ink(f.data, glyph)) << f.name;  // the blank
        for (int c = 33; c <= FONT_FIXED_LAST_CODE; c++)
            EXPECT_TRUE(any_ink(f.data + size_t(c - 32) * glyph, glyph)) << f.name << " " << char(c);
    }
}

TEST(Fonts, ProportionalFontsFollowTheirLayout) {
    for (const ASSET_FONT& f : fonts()) {
        if (f.kind != FONT_KIND_PROPORTIONAL) continue;
        const uint8_t* d = f.data;
        const int H = d[PROP_HEIGHT];
        EXPECT_TRUE(d[PROP_ASCENT] > H / 2 && d[PROP_ASCENT] < H) << f.name;
        int widest = 0;
        size_t expect_at = PROP_DATA;
        for (int g = 0; g < 96; g++) {
            const int w = d[PROP_WIDTHS + g];
            const size_t bytes = (size_t(w) * size_t(H) + 7) / 8;
            widest = std::max(widest, w);
            // Glyphs follow each other; offsets are 16-bit and inside the font; the
            // printable glyphs have width and ink.
            ASSERT_EQ(size_t(font_u16(d + PROP_OFFSETS + 2 * g)), expect_at) << f.name << " " << g;
            if (g > 0 && g < 95) {
                EXPECT_TRUE(w > 0 && any_ink(d + expect_at, bytes)) << f.name << " " << char(g + 32);
            }
            expect_at += bytes;
        }
        EXPECT_EQ(std::tuple(expect_at, int(d[PROP_MAX_WIDTH])), std::tuple(f.bytes, widest)) << f.name;
        // Digits share one width, the digit width of the header.
        for (int c = '0'; c <= '9'; c++) EXPECT_EQ(d[PROP_WIDTHS + c - 32], d[PROP_DIGIT_WIDTH]) << f.name;
    }
}

TEST(Fonts, UnicodeFontsAreCompleteRecords) {
    // The entry of code c: width << 24 | offset.
    auto entry = [](const uint8_t* d, int c) { return font_u32(d + UNICODE_HEADER + 4 * size_t(c - 32)); };
    const std::set<std::string> greek = {"T_Arial_Unicode_MS_10", "T_Arial_Unicode_MS_12", "T_Arial_Unicode_MS_16"};
    for (const ASSET_FONT& f : fonts()) {
        if (f.kind != FONT_KIND_UNICODE) continue;
        const uint8_t* d = f.data;
        const int H = d[3];
        EXPECT_EQ(std::tuple(int(font_u16(d + 4)), d[6], d[7]), std::tuple(int(UNICODE_MASK_4BIT), 15, 1)) << f.name;
        ASSERT_TRUE(f.bytes >= UNICODE_DATA && f.bytes - UNICODE_DATA <= sizeof(FONT_UNICODE::p)) << f.name;
        // Every entry points at glyph data inside the font; distinct glyphs do not overlap
        // and together use exactly the data.
        std::map<size_t, size_t> glyphs;  // offset -> data bytes of every distinct glyph
        int widest = 0;
        for (int g = 0; g < UNICODE_GLYPHS; g++) {
            const uint32_t e = entry(d, g + 32);
            const size_t w = e >> 24, at = e & 0xFFFFFF, bytes = (w * size_t(H) + 1) / 2;
            ASSERT_TRUE(at >= UNICODE_DATA && at + bytes <= f.bytes) << f.name << " " << g;
            widest = std::max(widest, int(w));
            if (!bytes) continue;  // a glyph without pixels (a format character) holds no data
            auto [it, added] = glyphs.emplace(at, bytes);
            EXPECT_EQ(it->second, bytes) << f.name << " " << g;  // one offset, one glyph
        }
        size_t end = UNICODE_DATA;
        for (auto [at, bytes] : glyphs) {
            EXPECT_EQ(at, end) << f.name;
            end = at + bytes;
        }
        EXPECT_EQ(std::tuple(end, int(d[2])), std::tuple(f.bytes, widest)) << f.name;
        // ASCII and Latin-1 have glyphs of their own, the smaller fonts Greek and Cyrillic
        // too; digits share the digit width.
        std::vector<int> own = {65, 97, 0xE9, 0xDF, 0xC5, 0x152};
        if (greek.count(f.name)) own.insert(own.end(), {0x3A9, 0x41F, 0x44F});
        for (int c : own) EXPECT_NE(entry(d, c), entry(d, '?')) << f.name << " " << c;
        for (int c = '0'; c <= '9'; c++) EXPECT_EQ(int(entry(d, c) >> 24), d[1]) << f.name;
    }
}

}  // namespace
