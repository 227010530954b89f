// Bitmap text output with hand-made fonts: glyph placement and scaling, colours and
// coverage blending, monospaced digits, line breaks, backspace, UTF-8 and Latin-1, inline
// images and outlined formatted text.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/display.h"
#include "text_fonts.h"

namespace {

constexpr int FG = int(0xFFFFFF00u);  // white, direct
constexpr int BG = 0x20406000;        // dark blue, direct
constexpr uint32_t FG_RGB = 0xFFFFFF, BG_RGB = 0x204060;

int fixed_bit(int g, int x, int y) { return (x + 2 * y + g) % 3 == 0; }
// Proportional glyph g is 3 + g % 5 wide; digits (16 to 25) 6 wide; the blank 4 wide.
int prop_width(int g) { return g == 0 ? 4 : (g >= 16 && g <= 25) ? 6 : 3 + g % 5; }
int prop_bit(int g, int x, int y) { return g != 0 && (x * 7 + y * 3 + g) % 4 == 0; }
// Unicode glyph g: coverage (x + y + g) % 16, blank 5 wide, digits 7 wide, others 4 + g % 6.
int uni_width(int g) { return g == 0 ? 5 : (g >= 16 && g <= 25) ? 7 : 4 + g % 6; }
int uni_cover(int g, int x, int y) { return g == 0 ? 0 : (x + y + g) % 16; }

class Text : public Canvas {
protected:
    std::vector<uint8_t> fixed8 = make_fixed(8, fixed_bit);
    std::vector<uint8_t> fixed16 = make_fixed(16, fixed_bit);
    std::vector<uint8_t> prop = make_proportional(10, 6, 13, prop_width, prop_bit);
    std::vector<uint8_t> uni = make_unicode(14, 8, 18, true, uni_width, uni_cover);
    void SetUp() override {
        Canvas::SetUp();
        for (auto& p : v_fontpntvect) p = nullptr;
        v_fontpntvect[0] = fixed8.data();
        v_fontpntvect[1] = fixed16.data();
        v_fontpntvect[7] = prop.data();
        v_fontpntvect[25] = prop.data();
        OUTLINED = -1;
        v_color(BG, FG);
    }
    void TearDown() override {
        for (auto& p : v_fontpntvect) p = nullptr;
    }
    const vid_vect& ctx() const { return vid[perif]; }
};

// Expected pixel of a proportional glyph g drawn with its cell's top-left at (x0, y0).
uint32_t prop_pixel(int g, int x, int y) { return prop_bit(g, x, y) ? FG_RGB : BG_RGB; }

TEST_F(Text, SelectingFontsSetsTheContext) {
    EXPECT_EQ(v_setfont(7, 5, 5), 1);
    EXPECT_EQ(ctx().v_fontx, 6);  // digit width; the scales are ignored
    EXPECT_EQ(ctx().v_fonty, 13);
    EXPECT_EQ(ctx().fontnum, 7);
    EXPECT_EQ(v_setfont(0, 1, 2), 8);
    EXPECT_EQ(ctx().v_fontx, 1);
    EXPECT_EQ(ctx().v_fonty, 2);
    // A Unicode font by number 33 with the address in the scale, by address alone, and
    // through v_font and v_setfontall.
    const auto address = reinterpret_cast<intptr_t>(uni.data());
    for (auto select : std::vector<std::function<void()>>{
             [&] { v_setfont(33, address, 0); }, [&] { v_setfont(address, 0, 0); },
             [&] { v_font(33, address, 0); }, [&] { v_setfontall(33, 9, 9, uni.data()); }}) {
        v_setfont(0, 1, 1);
        vid[perif].monospaced = 1;
        select();
        EXPECT_EQ(ctx().fontnum, 33);
        EXPECT_EQ(ctx().v_fontpnt, uni.data());
        EXPECT_EQ(ctx().v_fontsize, 1);
        EXPECT_EQ(ctx().v_fontx, 8);
        EXPECT_EQ(ctx().v_fonty, 18);
        EXPECT_EQ(ctx().monospaced, 0);
    }
    // v_font with another number selects font scala_x + 16 * scala_y.
    v_font(9, 9, 1);
    EXPECT_EQ(ctx().fontnum, 25);
    EXPECT_EQ(ctx().v_fonty, 13);
    // Numbers without a font select nothing drawable.
    for (int n : {30, -3}) {
        v_setfont(n, 1, 1);
        EXPECT_EQ(ctx().v_fontpnt, nullptr);
        v_locate(10, 40);
        v_print("abc");
        EXPECT_TRUE(drawn().empty());
    }
}

TEST_F(Text, FixedGlyphScaledOneByTwo) {
    v_setfont(0, 1, 2);
    v_locate(10, 40);
    v_wchar('A');
    EXPECT_EQ(ctx().v_xlocate, 18);
    EXPECT_EQ(drawn().size(), 8u * 16u);
    for (int r = 0; r < 8; r++)
        for (int k = 0; k < 8; k++)
            for (int yy = 0; yy < 2; yy++)
                ASSERT_EQ(fb_at(10 + k, 40 - 16 + 2 * r + yy), fixed_bit('A' - 32, k, r) ? FG_RGB : BG_RGB)
                    << k << "," << r;
    EXPECT_EQ(bounds(drawn()).y1, 39);  // the cell ends just above the output row
}

TEST_F(Text, FixedFontsEndAtCode122) {
    // Codes 123 to 127 and beyond the fonts draw "?" and never read past the font.
    v_setfont(1, 1, 1);
    v_locate(0, 16);
    v_wchar('?');
    const auto question = fb_snapshot();
    for (int code : {123, 127, 200, 255}) {
        fb_fill_all(0);
        v_locate(0, 16);
        v_wchar(code);
        EXPECT_EQ(fb_snapshot(), question) << code;
        EXPECT_EQ(ctx().v_xlocate, 16);
    }
}

TEST_F(Text, ProportionalGlyphCoversTheCellAboveTheOutputRow) {
    v_setfont(7, 1, 1);
    v_locate(10, 50);
    v_print("A");
    const int g = 'A' - 32, w = prop_width(g);
    EXPECT_EQ(ctx().v_xlocate, 10 + w);
    Box b = bounds(drawn());
    EXPECT_EQ(b.y0, 37);
    EXPECT_EQ(b.y1, 49);
    EXPECT_EQ(b.x0, 10);
    EXPECT_EQ(b.x1, 10 + w - 1);
    for (int y = 0; y < 13; y++)
        for (int x = 0; x < w; x++) ASSERT_EQ(fb_at(10 + x, 37 + y), prop_pixel(g, x, y));
}

TEST_F(Text, TransparentBackgroundLeavesClearBitsAlone) {
    fb_fill_all(0x123456);
    v_setfont(7, 1, 1);
    v_color(4, FG);
    v_locate(0, 13);
    v_wchar('B');
    const int g = 'B' - 32;
    for (int y = 0; y < 13; y++)
        for (int x = 0; x < prop_width(g); x++)
            ASSERT_EQ(fb_at(x, y), prop_bit(g, x, y) ? FG_RGB : 0x123456u);
}

TEST_F(Text, MonospacedDigitsUseTheDigitWidthAndStopAtALineBreak) {
    // Proportional: "@" turns it on, each glyph occupies exactly the digit width; bits
    // beyond it are not drawn, the rest of the cell is background.
    v_setfont(7, 1, 1);
    v_locate(0, 13);
    v_print("@1B1");
    EXPECT_EQ(ctx().v_xlocate, 18);
    EXPECT_EQ(ctx().monospaced, 1);
    const int gw = 'B' - 32;
    ASSERT_GT(prop_width(gw), 6);
    for (int y = 0; y < 13; y++) {
        for (int x = 0; x < 6; x++) ASSERT_EQ(fb_at(6 + x, y), prop_pixel(gw, x, y));
        ASSERT_EQ(fb_at(12, y), prop_pixel('1' - 32, 0, y));  // the next digit starts at 12
    }
    const int narrow = 'C' - 32;  // 3 wide: padded with background to 6
    ASSERT_LT(prop_width(narrow), 6);
    v_locate(100, 13);
    v_print("@C");
    for (int y = 0; y < 13; y++)
        for (int x = prop_width(narrow); x < 6; x++) ASSERT_EQ(fb_at(100 + x, y), BG_RGB);
    // The setting outlives the text until a font is selected; a later "@" is an ordinary
    // glyph.
    EXPECT_EQ(ctx().monospaced, 1);
    v_setfont(7, 1, 1);
    v_locate(200, 13);
    v_print("x@");
    EXPECT_EQ(ctx().v_xlocate, 200 + prop_width('x' - 32) + prop_width('@' - 32));
    // Unicode: each digit advances num_width; a line break ends it.
    v_setfontall(33, 1, 1, uni.data());
    v_locate(0, 100);
    v_print("@123");
    EXPECT_EQ(ctx().v_xlocate, 3 * 8);
    v_print("\n1");
    EXPECT_EQ(ctx().monospaced, 0);
    EXPECT_EQ(ctx().v_xlocate, uni_width('1' - 32));
}

TEST_F(Text, UnicodeCoverageBlendsOverTheBackground) {
    // One glyph of a single pixel per coverage level, drawn on an opaque black background.
    auto cover = [](int g, int x, int) { return g == 33 ? x : 0; };
    auto ramp = make_unicode(1, 16, 1, true, [](int g) { return g == 33 ? 16 : 1; }, cover);
    v_setfontall(33, 1, 1, ramp.data());
    v_color(0, FG);
    v_locate(0, 1);
    v_wchar('A');
    EXPECT_EQ(fb_at(0, 0), 0u);          // coverage 0: background
    EXPECT_EQ(fb_at(8, 0), 0x7F7F7Fu);   // coverage 8: (255 * 8) / 16
    EXPECT_EQ(fb_at(15, 0), FG_RGB);     // coverage 15: foreground
    EXPECT_EQ(fb_at(1, 0), 0x0F0F0Fu);
    // With a transparent background the blend is over what is on the screen, and
    // coverage 0 leaves it.
    fb_fill_all(0x008040);
    v_color(4, 0xFF000000);
    v_locate(0, 1);
    v_wchar('A');
    EXPECT_EQ(fb_at(0, 0), 0x008040u);
    EXPECT_EQ(fb_at(4, 0), uint32_t((255 * 4) / 16) << 16 | ((0x80 * 11) / 16) << 8 | (0x40 * 11) / 16);
    EXPECT_EQ(fb_at(15, 0), 0xFF0000u);
}

TEST_F(Text, UnicodeGlyphsFromUtf8AndLatin1AreTheSame) {
    v_setfontall(33, 1, 1, uni.data());
    v_locate(0, 18);
    v_print("\xC3\xA9");  // é as UTF-8
    const auto utf8 = fb_snapshot();
    const int after = ctx().v_xlocate;
    EXPECT_EQ(after, uni_width(233 - 32));
    fb_fill_all(0);
    v_locate(0, 18);
    v_print("\xE9");  // é as Latin-1
    EXPECT_EQ(fb_snapshot(), utf8);
    EXPECT_EQ(ctx().v_xlocate, after);
    fb_fill_all(0);
    v_locate(0, 18);
    v_wchar(233);
    EXPECT_EQ(fb_snapshot(), utf8);
    // A byte-order mark is skipped.
    fb_fill_all(0);
    v_locate(0, 18);
    v_print("\xEF\xBB\xBF\xC3\xA9");
    EXPECT_EQ(fb_snapshot(), utf8);
}

TEST_F(Text, UnicodeCodesOutsideTheTableDrawTheQuestionMark) {
    v_setfontall(33, 1, 1, uni.data());
    v_locate(0, 18);
    v_wchar('?');
    const auto question = fb_snapshot();
    // Codes 2048 to 4128 are not folded and lie beyond the 2016 glyph entries.
    for (int code : {2048, 3000, 4128}) {
        fb_fill_all(0);
        v_locate(0, 18);
        v_wchar(code);
        EXPECT_EQ(fb_snapshot(), question) << code;
    }
    // Folded codes below 32 draw nothing and do not move.
    v_locate(0, 18);
    fb_fill_all(0);
    v_wchar(0x2000 | 10);
    EXPECT_EQ(ctx().v_xlocate, 0);
    EXPECT_TRUE(changed_pixels(std::vector<uint32_t>(size_t(fb_pixels), 0)).empty());
    // A font without extended glyphs draws "?" from code 128.
    auto basic = make_unicode(14, 8, 18, false, uni_width, uni_cover);
    v_setfontall(33, 1, 1, basic.data());
    fb_fill_all(0);
    v_locate(0, 18);
    v_print("\xC3\xA9");
    EXPECT_EQ(fb_snapshot(), question);
}

TEST_F(Text, LineBreaksReturnToTheLineStartOneCellLower) {
    v_setfont(7, 1, 1);
    v_locate(20, 30);
    v_print("a\nb");
    EXPECT_EQ(ctx().v_xlocate, 20 + prop_width('b' - 32));
    EXPECT_EQ(ctx().v_ylocate, 43);
    EXPECT_EQ(ctx().v_ystart, 43);
    EXPECT_EQ(fb_at(20, 30), prop_pixel('b' - 32, 0, 0));
    // Fixed fonts step by size times vertical scale; CR does the same; other controls
    // draw nothing.
    v_setfont(0, 2, 3);
    v_locate(0, 24);
    v_print("\r\x01\x1F");
    EXPECT_EQ(ctx().v_ylocate, 48);
    EXPECT_EQ(ctx().v_xlocate, 0);
}

TEST_F(Text, BackspaceBlanksThePreviousCell) {
    v_setfont(1, 1, 1);
    v_locate(0, 16);
    v_print("AB");
    v_printchar(127);
    EXPECT_EQ(ctx().v_xlocate, 16);
    for (int y = 0; y < 16; y++)
        for (int x = 16; x < 32; x++) ASSERT_EQ(fb_at(x, y), fixed_bit(0, x - 16, y) ? FG_RGB : BG_RGB);
    // Proportional: back two digit widths and forward one blank.
    v_setfont(7, 1, 1);
    v_locate(100, 40);
    v_printchar(127);
    EXPECT_EQ(ctx().v_xlocate, 100 - 2 * 6 + prop_width(0));
}

TEST_F(Text, OutlinedTextHasEdgesInTheOutlineColour) {
    fb_fill_all(0x808080);
    v_setfont(7, 1, 1);
    v_color(4, FG);
    v_locate(20, 33);
    v_outlined(0);
    v_printf("%s", "W");
    EXPECT_EQ(OUTLINED, -1);
    EXPECT_EQ(ctx().v_xlocate, 20 + prop_width('W' - 32));
    EXPECT_EQ(ctx().color1, FG);
    const int g = 'W' - 32;
    // Every glyph pixel is white; every other pixel next to one is black; pixels two away
    // from any glyph pixel are untouched.
    auto on = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < prop_width(g) && y < 13 && prop_bit(g, x, y);
    };
    for (int y = -2; y < 15; y++)
        for (int x = -2; x < prop_width(g) + 2; x++) {
            bool near = false;
            for (int dx = -1; dx <= 1; dx++)
                for (int dy = -1; dy <= 1; dy++) near |= on(x + dx, y + dy);
            uint32_t want = on(x, y) ? FG_RGB : near ? 0x000000 : 0x808080;
            ASSERT_EQ(fb_at(20 + x, 20 + y), want) << x << "," << y;
        }
}

TEST_F(Text, FormattedTextIsCutToItsBuffer) {
    v_setfont(7, 1, 1);
    v_color(4, FG);
    v_locate(0, 500);
    std::string longer(400, 'x');
    v_printf("%s%d", longer.c_str(), 12345);
    EXPECT_EQ(ctx().v_xlocate, (V_PRINTF_BUFFER - 1) * prop_width('x' - 32));
}

// Inline images: a 24-bit BMP named by a "$LA" word, found in the start directory.
class InlineImage : public Text {
protected:
    std::filesystem::path dir = std::filesystem::path(CORVANE_BINARY_DIR) / ("text_img." + std::to_string(getpid()));
    char saved[sizeof MyDir];
    void SetUp() override {
        Text::SetUp();
        std::filesystem::create_directories(dir);
        memcpy(saved, MyDir, sizeof MyDir);
        snprintf(MyDir, sizeof MyDir, "%s", dir.c_str());
        // 3 x 2 pixels, all red; rows are padded to 12 bytes.
        std::vector<uint8_t> b(54 + 2 * 12, 0);
        auto put = [&](size_t at, uint32_t v) {
            for (int i = 0; i < 4; i++) b[at + size_t(i)] = uint8_t(v >> (8 * i));
        };
        b[0] = 'B';
        b[1] = 'M';
        put(2, uint32_t(b.size()));
        put(10, 54);
        put(14, 40);
        put(18, 3);
        put(22, 2);
        b[26] = 1;
        b[28] = 24;
        for (int r = 0; r < 2; r++)
            for (int x = 0; x < 3; x++) b[size_t(54 + r * 12 + x * 3 + 2)] = 0xFF;
        FILE* f = fopen((dir / "LAMP.bmp").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(b.data(), 1, b.size(), f);
        fclose(f);
    }
    void TearDown() override {
        memcpy(MyDir, saved, sizeof MyDir);
        std::filesystem::remove_all(dir);
        Text::TearDown();
    }
};

TEST_F(InlineImage, PaintedFromTheStartDirectoryWithItsBottomOnTheOutputRow) {
    const auto cwd = std::filesystem::current_path();
    v_setfont(7, 1, 1);
    v_locate(10, 40);
    v_print("$LAMP.bmp A");
    EXPECT_EQ(std::filesystem::current_path(), cwd);
    // The transparent-background marker leaves white ink behind for the text.
    for (int y = 38; y < 40; y++)
        for (int x = 10; x < 13; x++) EXPECT_EQ(fb_at(x, y), 0xFF0000u);
    EXPECT_EQ(ctx().v_ylocate, 40);
    EXPECT_EQ(ctx().v_xlocate, 13 + prop_width(0) + prop_width('A' - 32));
}

TEST_F(InlineImage, AMissingImageIsPrintedAsTextAndStopsLaterImages) {
    v_setfont(7, 1, 1);
    v_color(4, FG);
    v_locate(0, 40);
    v_print("$LAX $LAMP.bmp");
    // Every character is printed as a glyph, the second word too.
    int width = 0;
    for (char c : std::string("$LAX $LAMP.bmp")) width += prop_width(c - 32);
    EXPECT_EQ(ctx().v_xlocate, width);
    EXPECT_EQ(ctx().v_ylocate, 40);
    for (auto [x, y] : drawn()) ASSERT_NE(fb_at(x, y), 0xFF0000u);
}

}  // namespace
