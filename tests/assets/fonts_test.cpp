// The compiled-in fonts against their format rules and the sizes the pages rely on.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <span>
#include <string>

#include "assets/fonts.h"
#include "gfx/text.h"
#include "platform/framebuffer_helpers.h"

namespace {

std::span<const ASSET_FONT> fonts() { return {allfonts, size_t(allfonts_count)}; }

const ASSET_FONT* find(const char* name) {
    for (const ASSET_FONT& f : fonts())
        if (strcmp(f.name, name) == 0) return &f;
    return nullptr;
}

// Names, numbers and cell heights of the font table.
struct Expected {
    const char* name;
    int number, height;
};
const Expected expected[] = {
    {"v_off8", 0, 8},
    {"v_off16", 1, 16},
    {"v_off24", 2, 24},
    {"v_tim8", 3, 8},
    {"v_tim16", 4, 16},
    {"v_tim24", 5, 24},
    {"v_tim32", 6, 32},
    {"MS_Sans_Serif_8", 7, 13},
    {"MS_Sans_Serif_10", 8, 16},
    {"MS_Sans_Serif_12", 9, 20},
    {"MS_Sans_Serif_14", 10, 24},
    {"MS_Sans_Serif_18", 11, 29},
    {"MS_Sans_Serif_24", 12, 37},
    {"Arial_Black_8", 13, 15},
    {"Arial_Black_10", 14, 18},
    {"Arial_Black_12", 15, 23},
    {"Arial_Black_14", 16, 27},
    {"Arial_Black_18", 17, 33},
    {"Arial_Black_24", 18, 45},
    {"Courier_New_8_Bold", 19, 14},
    {"Courier_New_10_Bold", 20, 16},
    {"Courier_New_12_Bold", 21, 18},
    {"Courier_New_14_Bold", 22, 22},
    {"Courier_New_18_Bold", 23, 27},
    {"Courier_New_24_Bold", 24, 36},
    {"Clarendon_Extended_14_Bold", 25, 24},
    {"Clarendon_Extended_18_Bold", 26, 30},
    {"Clarendon_Extended_24_Bold", 27, 40},
    {"T_Arial_Unicode_MS_10", 33, 18},
    {"T_Arial_Unicode_MS_12", 33, 21},
    {"T__Arial_Unicode_MS_14", 33, 25},
    {"T_Arial_Unicode_MS_16", 33, 28},
    {"T_Arial_Unicode_MS_18_Bold", 33, 33},
    {"T_Arial_Unicode_MS_28", 33, 50},
};

TEST(Fonts, TableHoldsEveryFontWithItsNumberAndHeight) {
    ASSERT_EQ(allfonts_count, int(std::size(expected)));
    for (const Expected& e : expected) {
        const ASSET_FONT* f = find(e.name);
        ASSERT_NE(f, nullptr) << e.name;
        EXPECT_EQ(f->number, e.number) << e.name;
        EXPECT_EQ(f->height, e.height) << e.name;
        if (f->kind != FONT_KIND_FIXED) { EXPECT_EQ(f->data[3], e.height) << e.name; }
    }
    fonts_install();
    for (const ASSET_FONT& f : fonts())
        if (f.number < FONT_COUNT) { EXPECT_EQ(v_fontpntvect[f.number], f.data) << f.name; }
    for (int n = 0; n < FONT_FIXED_COUNT; n++) EXPECT_EQ(v_fontsizevect[n], find(expected[n].name)->height);
}

TEST(Fonts, FixedFontsHoldCodes32To122WithInk) {
    for (const ASSET_FONT& f : fonts()) {
        if (f.kind != FONT_KIND_FIXED) continue;
        const size_t s = size_t(f.height), glyph = s * s / 8;
        ASSERT_EQ(f.bytes, (FONT_FIXED_LAST_CODE - 31) * glyph) << f.name;
        for (int c = 33; c <= FONT_FIXED_LAST_CODE; c++) {
            const uint8_t* g = f.data + size_t(c - 32) * glyph;
            EXPECT_TRUE(std::any_of(g, g + glyph, [](uint8_t b) { return b != 0; })) << f.name << " " << char(c);
        }
        const uint8_t* space = f.data;
        EXPECT_TRUE(std::all_of(space, space + glyph, [](uint8_t b) { return b == 0; })) << f.name;
    }
    // Font 3 shows "t" as a down arrow: a shaft, then a wider row under it, then a point.
    const uint8_t* t = find("v_tim8")->data + size_t('t' - 32) * 8;
    EXPECT_EQ(t[1], 0x18);
    EXPECT_EQ(t[4], 0x7E);
    EXPECT_EQ(t[6], 0x18);
}

TEST(Fonts, ProportionalFontsFollowTheirLayout) {
    for (const ASSET_FONT& f : fonts()) {
        if (f.kind != FONT_KIND_PROPORTIONAL) continue;
        const uint8_t* d = f.data;
        const int H = d[PROP_HEIGHT];
        EXPECT_GT(d[PROP_ASCENT], H / 2) << f.name;
        EXPECT_LT(d[PROP_ASCENT], H) << f.name;
        int widest = 0;
        size_t expect_at = PROP_DATA;
        for (int g = 0; g < 96; g++) {
            const int w = d[PROP_WIDTHS + g];
            widest = std::max(widest, w);
            // Glyphs follow each other; offsets are 16-bit and inside the font.
            ASSERT_EQ(size_t(font_u16(d + PROP_OFFSETS + 2 * g)), expect_at) << f.name << " " << g;
            expect_at += (size_t(w) * size_t(H) + 7) / 8;
            if (g > 0 && g < 95) { EXPECT_GT(w, 0) << f.name << " " << char(g + 32); }
        }
        EXPECT_EQ(expect_at, f.bytes) << f.name;
        EXPECT_EQ(d[PROP_MAX_WIDTH], widest) << f.name;
        // Digits share one width, the digit width of the header.
        for (int c = '0'; c <= '9'; c++) EXPECT_EQ(d[PROP_WIDTHS + c - 32], d[PROP_DIGIT_WIDTH]) << f.name;
    }
    // Courier shapes: every glyph one width.
    for (const char* name : {"Courier_New_8_Bold", "Courier_New_24_Bold"}) {
        const uint8_t* d = find(name)->data;
        for (int g = 0; g < 95; g++) EXPECT_EQ(d[PROP_WIDTHS + g], d[PROP_DIGIT_WIDTH]) << name << " " << g;
    }
}

TEST(Fonts, UnicodeFontsAreCompleteRecords) {
    for (const ASSET_FONT& f : fonts()) {
        if (f.kind != FONT_KIND_UNICODE) continue;
        const uint8_t* d = f.data;
        const int H = d[3];
        EXPECT_EQ(font_u16(d + 4), UNICODE_MASK_4BIT) << f.name;
        EXPECT_EQ(d[6], 15) << f.name;
        EXPECT_EQ(d[7], 1) << f.name;
        ASSERT_GE(f.bytes, UNICODE_DATA);
        EXPECT_LE(f.bytes - UNICODE_DATA, sizeof(FONT_UNICODE::p)) << f.name;
        // Every entry points at glyph data inside the font; distinct glyphs do not overlap
        // and together use exactly the data.
        std::map<size_t, size_t> glyphs;  // offset -> data bytes of every distinct glyph
        int widest = 0;
        for (int g = 0; g < UNICODE_GLYPHS; g++) {
            const uint32_t e = font_u32(d + UNICODE_HEADER + 4 * size_t(g));
            const size_t w = e >> 24, at = e & 0xFFFFFF, bytes = (w * size_t(H) + 1) / 2;
            ASSERT_GE(at, UNICODE_DATA) << f.name << " " << g;
            ASSERT_LE(at + bytes, f.bytes) << f.name << " " << g;
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
        EXPECT_EQ(end, f.bytes) << f.name;
        EXPECT_EQ(d[2], widest) << f.name;
        // ASCII and Latin-1 have glyphs of their own; digits share the digit width.
        const uint32_t question = font_u32(d + UNICODE_HEADER + 4 * size_t('?' - 32));
        for (int c : {65, 97, 0xE9, 0xDF, 0xC5, 0x152}) {
            const uint32_t e = font_u32(d + UNICODE_HEADER + 4 * size_t(c - 32));
            EXPECT_NE(e, question) << f.name << " " << c;
        }
        for (int c = '0'; c <= '9'; c++) EXPECT_EQ(int(d[UNICODE_HEADER + 4 * size_t(c - 32) + 3]), d[1]) << f.name;
    }
    // The smaller fonts carry Greek and Cyrillic.
    for (const char* name : {"T_Arial_Unicode_MS_10", "T_Arial_Unicode_MS_12", "T_Arial_Unicode_MS_16"}) {
        const uint8_t* d = find(name)->data;
        const uint32_t question = font_u32(d + UNICODE_HEADER + 4 * size_t('?' - 32));
        for (int c : {0x3A9, 0x41F, 0x44F}) EXPECT_NE(font_u32(d + UNICODE_HEADER + 4 * size_t(c - 32)), question) << name;
    }
}

class FontText : public ::testing::Test {
protected:
    void SetUp() override {
        fonts_install();
        perif = 0;
        vid[0] = vid_vect{};
        OUTLINED = -1;
        fb_fill_all(0);
    }
};

TEST_F(FontText, SansSerif8PlacesItsCellAboveTheOutputRow) {
    EXPECT_EQ(v_setfont(7, 5, 5), 1);
    EXPECT_EQ(vid[0].v_fontx, 6);
    EXPECT_EQ(vid[0].v_fonty, 13);
    v_color(0x10203000, 0xFFFFFF00);
    v_locate(10, 50);
    v_print("A");
    EXPECT_EQ(vid[0].v_xlocate, 17);
    // The whole cell is painted: background or ink, rows 37 to 49 only.
    for (int y = 30; y < 60; y++)
        for (int x = 5; x < 25; x++) {
            const bool in_cell = y >= 37 && y <= 49 && x >= 10 && x < 17;
            EXPECT_EQ(fb_at(x, y) != 0, in_cell) << x << "," << y;
        }
    int ink = 0;
    for (int y = 37; y <= 49; y++)
        for (int x = 10; x < 17; x++) ink += fb_at(x, y) == 0xFFFFFF;
    EXPECT_GT(ink, 10);
}

// Every proportional and Unicode font prints digits monospaced: with "@" the digits of two
// numbers of the same length line up column for column.
TEST_F(FontText, MonospacedDigitsLineUpInEveryFont) {
    for (const ASSET_FONT& f : fonts()) {
        if (f.kind == FONT_KIND_FIXED) continue;
        fb_fill_all(0);
        if (f.kind == FONT_KIND_UNICODE)
            v_setfontall(33, 1, 1, f.data);
        else
            v_setfont(f.number, 1, 1);
        const int D = vid[0].v_fontx, H = vid[0].v_fonty;
        v_color(4, 0xFFFFFF00);
        v_locate(0, H);
        v_print("@1.5-0");
        EXPECT_EQ(vid[0].v_xlocate, 5 * D) << f.name;
        v_locate(0, 2 * H + 2);
        v_print("@1:5 0");
        // Column k of both lines holds the same digit where both have one.
        for (int k : {0, 2, 4})
            for (int y = 0; y < H; y++)
                for (int x = 0; x < D; x++)
                    ASSERT_EQ(fb_at(k * D + x, y), fb_at(k * D + x, H + 2 + y)) << f.name << " column " << k;
    }
}

}  // namespace
