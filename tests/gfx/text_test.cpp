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
// Expected pixel of a proportional glyph g drawn with its cell's top-left at (x0, y0).
uint32_t prop_pixel(int g, int x, int y) { return prop_bit(g, x, y) ? FG_RGB : BG_RGB; }

class Text : public Canvas {
protected:
    std::vector<uint8_t> fixed8 = make_fixed(8, fixed_bit);
    std::vector<uint8_t> fixed16 = make_fixed(16, fixed_bit);
    std::vector<uint8_t> prop = make_font(1, 10, 6, 13, false, prop_width, prop_bit);
    std::vector<uint8_t> uni = make_font(4, 14, 8, 18, true, uni_width, uni_cover);
    void SetUp() override {
        Canvas::SetUp();
        for (auto& p : v_fontpntvect) p = nullptr;
        v_fontpntvect[0] = fixed8.data();
        v_fontpntvect[1] = fixed16.data();
        v_fontpntvect[7] = v_fontpntvect[25] = prop.data();
        OUTLINED = -1;
        v_color(BG, FG);
    }
    void TearDown() override { for (auto& p : v_fontpntvect) p = nullptr; }
    const vid_vect& ctx() const { return vid[perif]; }
    static void print_at(int x, int y, const char* text) {
        v_locate(x, y);
        v_print(text);
    }
    // The framebuffer after drawing only the code at (0, y).
    static std::vector<uint32_t> alone(int code, int y) {
        fb_fill_all(0);
        v_locate(0, y);
        v_wchar(code);
        return fb_snapshot();
    }
    static std::vector<uint32_t> alone(const char* text, int y) {
        fb_fill_all(0);
        print_at(0, y, text);
        return fb_snapshot();
    }
    // Font number, address, size, cell width and height, monospaced flag of the context.
    std::vector<intptr_t> font_state() const {
        const vid_vect& v = ctx();
        return {v.fontnum, intptr_t(v.v_fontpnt), v.v_fontsize, v.v_fontx, v.v_fonty, v.monospaced};
    }
};

TEST_F(Text, SelectingFontsSetsTheContext) {
    EXPECT_EQ(v_setfont(7, 5, 5), 1);  // the scales are ignored: the digit width and height
    EXPECT_EQ(font_state(), std::vector<intptr_t>({7, intptr_t(prop.data()), 1, 6, 13, 0}));
    EXPECT_EQ(v_setfont(0, 1, 2), 8);
    EXPECT_EQ(std::make_pair(ctx().v_fontx, ctx().v_fonty), std::make_pair(1, 2));
    // A Unicode font by number 33 with the address in the scale, by address alone, and
    // through v_font and v_setfontall.
    const auto address = reinterpret_cast<intptr_t>(uni.data());
    for (auto select : std::vector<std::function<void()>>{
             [&] { v_setfont(33, address, 0); }, [&] { v_setfont(address, 0, 0); },
             [&] { v_font(33, address, 0); }, [&] { v_setfontall(33, 9, 9, uni.data()); }}) {
        v_setfont(0, 1, 1);
        vid[perif].monospaced = 1;
        select();
        EXPECT_EQ(font_state(), std::vector<intptr_t>({33, address, 1, 8, 18, 0}));
    }
    // v_font with another number selects font scala_x + 16 * scala_y.
    v_font(9, 9, 1);
    EXPECT_EQ(std::make_pair(ctx().fontnum, ctx().v_fonty), std::make_pair(25, 13));
    // Numbers without a font (a negative one too) select nothing drawable.
    for (int n : {30, -3}) {
        v_setfont(n, 1, 1);
        EXPECT_EQ(ctx().v_fontpnt, nullptr);
        print_at(10, 40, "abc");
        EXPECT_TRUE(drawn().empty());
    }
}

TEST_F(Text, FixedGlyphScaledOneByTwo) {
    v_setfont(0, 1, 2);
    v_locate(10, 40);
    v_wchar('A');
    EXPECT_EQ(ctx().v_xlocate, 18);
    EXPECT_EQ(drawn().size(), 8u * 16u);
    for (int y = 0; y < 16; y++)  // the cell ends just above the output row
        for (int x = 0; x < 8; x++)
            ASSERT_EQ(fb_at(10 + x, 24 + y), fixed_bit('A' - 32, x, y / 2) ? FG_RGB : BG_RGB) << x << "," << y;
}

TEST_F(Text, CodesBeyondTheFontsDrawTheQuestionMark) {
    // Fixed fonts end at code 122: codes 123 to 127 and beyond draw "?" and never read
    // past the font.
    v_setfont(1, 1, 1);
    const auto question = alone('?', 16);
    for (int code : {123, 127, 200, 255}) {
        EXPECT_EQ(alone(code, 16), question) << code;
        EXPECT_EQ(ctx().v_xlocate, 16);
    }
    // Unicode: codes 2048 to 4128 are not folded and lie beyond the 2016 glyph entries.
    v_setfontall(33, 1, 1, uni.data());
    const auto uni_question = alone('?', 18);
    for (int code : {2048, 3000, 4128}) EXPECT_EQ(alone(code, 18), uni_question) << code;
    // Folded codes below 32 draw nothing and do not move.
    EXPECT_EQ(alone(0x2000 | 10, 18), std::vector<uint32_t>(size_t(fb_pixels), 0));
    EXPECT_EQ(ctx().v_xlocate, 0);
    // A font without extended glyphs draws "?" from code 128.
    auto basic = make_font(4, 14, 8, 18, false, uni_width, uni_cover);
    v_setfontall(33, 1, 1, basic.data());
    EXPECT_EQ(alone("\xC3\xA9", 18), uni_question);
}

TEST_F(Text, ProportionalGlyphCoversTheCellAboveTheOutputRow) {
    v_setfont(7, 1, 1);
    print_at(10, 50, "A");
    const int g = 'A' - 32, w = prop_width(g);
    EXPECT_EQ(ctx().v_xlocate, 10 + w);
    const Box b = bounds(drawn());  // rows 37 to 49, from x to the advance
    EXPECT_EQ(std::vector<int>({b.x0, b.y0, b.x1, b.y1}), std::vector<int>({10, 37, 9 + w, 49}));
    const auto opaque = fb_snapshot();
    // With a transparent background the clear bits are left alone.
    fb_fill_all(0x123456);
    v_color(4, FG);
    v_locate(10, 50);
    v_wchar('A');
    for (int y = 0; y < 13; y++)
        for (int x = 0; x < w; x++) {
            ASSERT_EQ(opaque[size_t(addr(10 + x, 37 + y))], prop_pixel(g, x, y)) << x << "," << y;
            ASSERT_EQ(fb_at(10 + x, 37 + y), prop_bit(g, x, y) ? FG_RGB : 0x123456u) << x << "," << y;
        }
}

TEST_F(Text, MonospacedDigitsUseTheDigitWidthAndStopAtALineBreak) {
    // Proportional: "@" turns it on, each glyph occupies exactly the digit width; bits
    // beyond it are not drawn, the rest of the cell is background.
    v_setfont(7, 1, 1);
    print_at(0, 13, "@1B1");
    EXPECT_EQ(std::make_pair(ctx().v_xlocate, ctx().monospaced), std::make_pair(18, 1));
    const int wide = 'B' - 32, narrow = 'C' - 32;  // 7 and 3 wide
    ASSERT_GT(prop_width(wide), 6);
    ASSERT_LT(prop_width(narrow), 6);
    print_at(100, 13, "@C");
    for (int y = 0; y < 13; y++) {
        for (int x = 0; x < 6; x++) ASSERT_EQ(fb_at(6 + x, y), prop_pixel(wide, x, y));
        ASSERT_EQ(fb_at(12, y), prop_pixel('1' - 32, 0, y));  // the next digit starts at 12
        for (int x = prop_width(narrow); x < 6; x++) ASSERT_EQ(fb_at(100 + x, y), BG_RGB);
    }
    // The setting outlives the text until a font is selected; a later "@" is an ordinary
    // glyph.
    EXPECT_EQ(ctx().monospaced, 1);
    v_setfont(7, 1, 1);
    print_at(200, 13, "x@");
    EXPECT_EQ(ctx().v_xlocate, 200 + prop_width('x' - 32) + prop_width('@' - 32));
    // Unicode: each digit advances num_width; a line break ends it.
    v_setfontall(33, 1, 1, uni.data());
    print_at(0, 100, "@123");
    EXPECT_EQ(ctx().v_xlocate, 3 * 8);
    v_print("\n1");
    EXPECT_EQ(std::make_pair(ctx().v_xlocate, ctx().monospaced), std::make_pair(uni_width('1' - 32), 0));
}

TEST_F(Text, UnicodeCoverageBlendsOverTheBackground) {
    // One glyph of a single pixel per coverage level, drawn on an opaque black background.
    auto ramp = make_font(4, 1, 16, 1, true, [](int g) { return g == 33 ? 16 : 1; },
                             [](int g, int x, int) { return g == 33 ? x : 0; });
    v_setfontall(33, 1, 1, ramp.data());
    v_color(0, FG);
    print_at(0, 1, "A");
    // Coverage 0: background; 1: 255 / 16; 8: (255 * 8) / 16; 15: foreground.
    EXPECT_EQ(Row({fb_at(0, 0), fb_at(1, 0), fb_at(8, 0), fb_at(15, 0)}), Row({0, 0x0F0F0F, 0x7F7F7F, FG_RGB}));
    // With a transparent background the blend is over what is on the screen, and
    // coverage 0 leaves it.
    fb_fill_all(0x008040);
    v_color(4, int(0xFF000000));
    print_at(0, 1, "A");
    EXPECT_EQ(fb_at(0, 0), 0x008040u);
    EXPECT_EQ(fb_at(4, 0), uint32_t((255 * 4) / 16) << 16 | ((0x80 * 11) / 16) << 8 | (0x40 * 11) / 16);
    EXPECT_EQ(fb_at(15, 0), 0xFF0000u);
}

TEST_F(Text, UnicodeGlyphsFromUtf8AndLatin1AreTheSame) {
    v_setfontall(33, 1, 1, uni.data());
    const auto utf8 = alone("\xC3\xA9", 18);  // é as UTF-8
    EXPECT_EQ(ctx().v_xlocate, uni_width(233 - 32));
    EXPECT_EQ(alone("\xE9", 18), utf8);  // é as Latin-1
    EXPECT_EQ(ctx().v_xlocate, uni_width(233 - 32));
    EXPECT_EQ(alone(233, 18), utf8);
    EXPECT_EQ(alone("\xEF\xBB\xBF\xC3\xA9", 18), utf8);  // a byte-order mark is skipped
}

TEST_F(Text, LineBreaksReturnToTheLineStartOneCellLower) {
    v_setfont(7, 1, 1);
    print_at(20, 30, "a\nb");
    EXPECT_EQ(ctx().v_xlocate, 20 + prop_width('b' - 32));
    EXPECT_EQ(std::make_pair(ctx().v_ylocate, ctx().v_ystart), std::make_pair(43, 43));
    EXPECT_EQ(fb_at(20, 30), prop_pixel('b' - 32, 0, 0));
    // Fixed fonts step by size times vertical scale; CR does the same; other controls
    // draw nothing.
    v_setfont(0, 2, 3);
    print_at(0, 24, "\r\x01\x1F");
    EXPECT_EQ(std::make_pair(ctx().v_xlocate, ctx().v_ylocate), std::make_pair(0, 48));
}

TEST_F(Text, BackspaceBlanksThePreviousCell) {
    v_setfont(1, 1, 1);
    print_at(0, 16, "AB");
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
    const int g = 'W' - 32;
    EXPECT_EQ(ctx().v_xlocate, 20 + prop_width(g));
    EXPECT_EQ(ctx().color1, FG);
    // Every glyph pixel is white; every other pixel next to one is black; pixels two away
    // from any glyph pixel are untouched.
    auto on = [&](int x, int y) { return x >= 0 && y >= 0 && x < prop_width(g) && y < 13 && prop_bit(g, x, y); };
    for (int y = -2; y < 15; y++)
        for (int x = -2; x < prop_width(g) + 2; x++) {
            bool near = false;
            for (int dx = -1; dx <= 1; dx++)
                for (int dy = -1; dy <= 1; dy++) near |= on(x + dx, y + dy);
            ASSERT_EQ(fb_at(20 + x, 20 + y), on(x, y) ? FG_RGB : near ? 0x000000 : 0x808080) << x << "," << y;
        }
}

TEST_F(Text, FormattedTextIsCutToItsBuffer) {
    v_setfont(7, 1, 1);
    v_color(4, FG);
    v_locate(0, 500);
    v_printf("%s%d", std::string(400, 'x').c_str(), 12345);
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
        write_file(dir / "LAMP.bmp", bmp(24, 3, 2, [](int, int) { return 0xFF0000u; }));  // 3 x 2, all red
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
    print_at(10, 40, "$LAMP.bmp A");
    EXPECT_EQ(std::filesystem::current_path(), cwd);
    // The transparent-background marker leaves white ink behind for the text.
    for (int y = 38; y < 40; y++) EXPECT_EQ(row(10, y, 3), Row(3, 0xFF0000));
    EXPECT_EQ(ctx().v_ylocate, 40);
    EXPECT_EQ(ctx().v_xlocate, 13 + prop_width(0) + prop_width('A' - 32));
}

TEST_F(InlineImage, AMissingImageIsPrintedAsTextAndStopsLaterImages) {
    v_setfont(7, 1, 1);
    v_color(4, FG);
    print_at(0, 40, "$LAX $LAMP.bmp");
    // Every character is printed as a glyph, the second word too.
    int width = 0;
    for (char c : std::string("$LAX $LAMP.bmp")) width += prop_width(c - 32);
    EXPECT_EQ(std::make_pair(ctx().v_xlocate, ctx().v_ylocate), std::make_pair(width, 40));
    for (auto [x, y] : drawn()) ASSERT_NE(fb_at(x, y), 0xFF0000u);
}

}  // namespace
