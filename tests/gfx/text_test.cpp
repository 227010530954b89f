// Bitmap text output with hand-made fonts: font selection, glyph placement and scaling,
// colours and coverage blending, monospaced digits, line breaks, backspace, UTF-8 and
// Latin-1, inline images and formatted text.
#include <string>

#include "gfx_helpers.h"

namespace {

constexpr int FG = int(0xFFFFFF00u);  // white, direct
constexpr int BG = 0x20406000;        // dark blue, direct
constexpr uint32_t FG_RGB = 0xFFFFFF, BG_RGB = 0x204060;

int fixed_bit(int g, int x, int y) { return (x + 2 * y + g) % 3 == 0; }
// Proportional glyph g is 3 + g % 5 wide; digits (16 to 25) 6 wide; the blank 4 wide.
int prop_width(int g) { return g == 0 ? 4 : (g >= 16 && g <= 25) ? 6 : 3 + g % 5; }
int prop_bit(int g, int x, int y) { return g != 0 && (x * 7 + y * 3 + g) % 4 == 0; }
// Unicode glyph g: coverage (x + y + g) % 16, blank 5 wide, digits 7 wide, others 4 + g % 7.
int uni_width(int g) { return g == 0 ? 5 : (g >= 16 && g <= 25) ? 7 : 4 + g % 7; }
int uni_cover(int g, int x, int y) { return g == 0 ? 0 : (x + y + g) % 16; }
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
    // The framebuffer after drawing only the code (or the text) at (0, y).
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
    // Every pixel of the w x h rectangle at (x0, y0) is pixel(x, y).
    static void expect_cell(int x0, int y0, int w, int h, const std::function<uint32_t(int, int)>& pixel) {
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) ASSERT_EQ(fb_at(x0 + x, y0 + y), pixel(x, y)) << x << "," << y;
    }
};

// A Unicode font by number 33 with the address in the scale, by address alone, and through
// v_font and v_setfontall; numbers without a font (a negative one too) draw nothing.
TEST_F(Text, SelectingFonts) {
    const auto address = reinterpret_cast<intptr_t>(uni.data());
    for (auto select : std::vector<std::function<void()>>{
             [&] { v_setfont(33, address, 0); }, [&] { v_setfont(address, 0, 0); },
             [&] { v_font(33, address, 0); }, [&] { v_setfontall(33, 9, 9, uni.data()); }}) {
        v_setfont(0, 1, 1);
        vid[perif].monospaced = 1;
        select();
        EXPECT_EQ(font_state(), std::vector<intptr_t>({33, address, 1, 8, 18, 0}));
    }
    for (int n : {30, -3}) {
        v_setfont(n, 1, 1);
        print_at(10, 40, "abc");
        EXPECT_TRUE(drawn().empty());
    }
}

// A fixed glyph scaled 1 x 2 and a proportional one, opaque and over a transparent
// background: the cell ends just above the output row; the position moves by the advance.
TEST_F(Text, GlyphsCoverTheCellAboveTheOutputRow) {
    const int g = 'A' - 32, w = prop_width(g);
    v_setfont(0, 1, 2);
    print_at(10, 40, "A");
    EXPECT_EQ(ctx().v_xlocate, 18);
    EXPECT_EQ(drawn().size(), 8u * 16u);
    expect_cell(10, 24, 8, 16, [&](int x, int y) { return fixed_bit(g, x, y / 2) ? FG_RGB : BG_RGB; });
    SetUp();
    v_setfont(7, 1, 1);
    print_at(10, 50, "A");
    EXPECT_EQ(ctx().v_xlocate, 10 + w);
    EXPECT_EQ(bounds(drawn()), std::vector<int>({10, 37, 9 + w, 49}));
    expect_cell(10, 37, w, 13, [&](int x, int y) { return prop_pixel(g, x, y); });
    fb_fill_all(0x123456);
    v_color(4, FG);
    print_at(10, 50, "A");
    expect_cell(10, 37, w, 13, [&](int x, int y) { return prop_bit(g, x, y) ? FG_RGB : 0x123456u; });
}

TEST_F(Text, CodesBeyondTheFontsDrawTheQuestionMark) {
    // Fixed fonts end at code 122: codes 123 and beyond draw "?" and never read past the font.
    v_setfont(1, 1, 1);
    const auto question = alone('?', 16);
    for (int code : {123, 127, 255}) EXPECT_EQ(alone(code, 16), question) << code;
    // Unicode: codes 2048 to 4128 are not folded and lie beyond the 2016 glyph entries.
    v_setfontall(33, 1, 1, uni.data());
    const auto uni_question = alone('?', 18);
    for (int code : {2048, 4128}) EXPECT_EQ(alone(code, 18), uni_question) << code;
    // Folded codes below 32 draw nothing and do not move.
    EXPECT_EQ(alone(0x2000 | 10, 18), std::vector<uint32_t>(size_t(fb_pixels), 0));
    EXPECT_EQ(ctx().v_xlocate, 0);
    // A font without extended glyphs draws "?" from code 128.
    auto basic = make_font(4, 14, 8, 18, false, uni_width, uni_cover);
    v_setfontall(33, 1, 1, basic.data());
    EXPECT_EQ(alone("\xC3\xA9", 18), uni_question);
}

TEST_F(Text, MonospacedDigitsUseTheDigitWidthUntilALineBreak) {
    // Proportional: "@" turns it on, each glyph occupies exactly the digit width; bits
    // beyond it are not drawn, the rest of the cell is background.
    v_setfont(7, 1, 1);
    print_at(0, 13, "@1B1");
    EXPECT_EQ(std::make_pair(ctx().v_xlocate, ctx().monospaced), std::make_pair(18, 1));
    const int wide = 'B' - 32, narrow = 'C' - 32;  // 7 and 3 wide
    print_at(100, 13, "@C");
    expect_cell(6, 0, 6, 13, [&](int x, int y) { return prop_pixel(wide, x, y); });
    expect_cell(12, 0, 1, 13, [&](int x, int y) { return prop_pixel('1' - 32, x, y); });
    expect_cell(100, 0, 6, 13, [&](int x, int y) { return x < prop_width(narrow) ? prop_pixel(narrow, x, y) : BG_RGB; });
    // A later "@" is an ordinary glyph.
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
    EXPECT_EQ(Row({fb_at(0, 0), fb_at(4, 0), fb_at(15, 0)}),
              Row({0x008040, (255 * 4) / 16 << 16 | ((0x80 * 11) / 16) << 8 | (0x40 * 11) / 16, 0xFF0000}));
}

TEST_F(Text, UnicodeGlyphsFromUtf8AndLatin1AreTheSame) {
    v_setfontall(33, 1, 1, uni.data());
    const auto utf8 = alone("\xC3\xA9", 18);  // é as UTF-8
    EXPECT_EQ(ctx().v_xlocate, uni_width(233 - 32));
    EXPECT_EQ(alone("\xE9", 18), utf8);  // é as Latin-1
    EXPECT_EQ(alone(233, 18), utf8);
    EXPECT_EQ(alone("\xEF\xBB\xBF\xC3\xA9", 18), utf8);  // a byte-order mark is skipped
}

TEST_F(Text, LineBreaksAndBackspace) {
    v_setfont(7, 1, 1);
    print_at(20, 30, "a\nb");
    EXPECT_EQ(std::vector<int>({ctx().v_xlocate, ctx().v_ylocate, ctx().v_ystart}),
              std::vector<int>({20 + prop_width('b' - 32), 43, 43}));
    // Fixed fonts step by size times vertical scale; CR does the same; other controls
    // draw nothing.
    v_setfont(0, 2, 3);
    print_at(0, 24, "\r\x01\x1F");
    EXPECT_EQ(std::make_pair(ctx().v_xlocate, ctx().v_ylocate), std::make_pair(0, 48));
    // Backspace blanks the previous cell and goes back to it.
    v_setfont(1, 1, 1);
    print_at(0, 116, "AB");
    v_printchar(127);
    EXPECT_EQ(ctx().v_xlocate, 16);
    expect_cell(16, 100, 16, 16, [](int x, int y) { return fixed_bit(0, x, y) ? FG_RGB : BG_RGB; });
    // Formatted text is cut to its buffer (outlined text is in the widgets' reference image).
    v_setfont(7, 1, 1);
    v_locate(0, 500);
    v_printf("%s%d", std::string(400, 'x').c_str(), 12345);
    EXPECT_EQ(ctx().v_xlocate, (V_PRINTF_BUFFER - 1) * prop_width('x' - 32));
}

// Inline images: a 24-bit BMP named by a "$LA" word, found in the start directory, painted
// with its bottom on the output row. A missing one is printed as text, and so are the
// image words after it.
TEST_F(Text, InlineImagesFromTheStartDirectory) {
    const ScratchDir dir("text_img", true);
    write_file("LAMP.bmp", bmp(24, 3, 2, [](int, int) { return 0xFF0000u; }));  // 3 x 2, all red
    std::filesystem::current_path(dir.old);
    v_setfont(7, 1, 1);
    print_at(10, 40, "$LAMP.bmp A");
    EXPECT_EQ(std::filesystem::current_path(), dir.old);
    for (int y = 38; y < 40; y++) EXPECT_EQ(row(10, y, 3), Row(3, 0xFF0000));
    EXPECT_EQ(std::make_pair(ctx().v_xlocate, ctx().v_ylocate),
              std::make_pair(13 + prop_width(0) + prop_width('A' - 32), 40));
    SetUp();
    v_setfont(7, 1, 1);
    print_at(0, 40, "$LAX $LAMP.bmp");
    int width = 0;
    for (char c : std::string("$LAX $LAMP.bmp")) width += prop_width(c - 32);
    EXPECT_EQ(std::make_pair(ctx().v_xlocate, ctx().v_ylocate), std::make_pair(width, 40));
    for (auto [x, y] : drawn()) ASSERT_NE(fb_at(x, y), 0xFF0000u);
}

}  // namespace
