// Bitmap text output with hand-made fonts, drawn into one scene compared with a reference
// image: font selection, glyph placement and scaling, codes beyond the fonts, monospaced
// digits, coverage blending, UTF-8 and Latin-1, line breaks, backspace and inline images.

#include "gfx_helpers.h"
#include "support/reference_image.h"

namespace {

constexpr int FG = int(0xFFFFFF00u);  // white, direct
constexpr int BG = 0x20406000;        // dark blue, direct

int fixed_bit(int g, int x, int y) { return (x + 2 * y + g) % 3 == 0; }
// Proportional glyph g is 3 + g % 5 wide; digits (16 to 25) 6 wide; the blank 4 wide.
int prop_width(int g) { return g == 0 ? 4 : (g >= 16 && g <= 25) ? 6 : 3 + g % 5; }
int prop_bit(int g, int x, int y) { return g != 0 && (x * 7 + y * 3 + g) % 4 == 0; }
// Unicode glyph g: coverage (x + y + g) % 16, blank 5 wide, digits 7 wide, others 4 + g % 7.
int uni_width(int g) { return g == 0 ? 5 : (g >= 16 && g <= 25) ? 7 : 4 + g % 7; }
int uni_cover(int g, int x, int y) { return g == 0 ? 0 : (x + y + g) % 16; }

const std::vector<uint8_t> fixed8 = make_fixed(8, fixed_bit), fixed16 = make_fixed(16, fixed_bit);
const std::vector<uint8_t> prop = make_font(1, 10, 6, 13, false, prop_width, prop_bit);
const std::vector<uint8_t> uni = make_font(4, 14, 8, 18, true, uni_width, uni_cover);
const std::vector<uint8_t> basic = make_font(4, 14, 8, 18, false, uni_width, uni_cover);
// One glyph ("A") of a pixel per coverage level 0 to 15.
const std::vector<uint8_t> ramp = make_font(4, 1, 16, 1, true, [](int g) { return g == 33 ? 16 : 1; },
                                            [](int g, int x, int) { return g == 33 ? x : 0; });

void print_at(int x, int y, const char* text) {
    v_locate(x, y);
    v_print(text);
}
void codes(std::initializer_list<int> cs) {
    for (int c : cs) v_wchar(c);
}

using Text = Canvas;

constexpr int W = 400, H = 230;

// Row by row: fixed glyphs (1 x 2, codes 123 to 255 as "?", backspace, CR); proportional
// glyphs (opaque and over a transparent ground, "@" monospacing, a later "@", a line break);
// the Unicode font selected four ways, each after monospacing was on; é in UTF-8, Latin-1,
// as a code and after a byte-order mark, codes 2048 and 4128 as "?", a folded control that
// neither draws nor moves, é in a font without extended glyphs; the coverage ramp opaque
// and over a transparent ground; inline images from the start directory, a missing one.
TEST_F(Text, SceneMatchesTheReference) {
    for (auto& p : v_fontpntvect) p = nullptr;
    v_fontpntvect[0] = fixed8.data();
    v_fontpntvect[1] = fixed16.data();
    v_fontpntvect[7] = v_fontpntvect[25] = prop.data();
    OUTLINED = -1;
    v_color(BG, FG);
    const ScratchDir dir;
    const std::filesystem::path cwd = std::filesystem::current_path();
    const InFolder start(cwd, dir());
    write_file(dir("LAMP.bmp"), bmp(24, 3, 2, [](int, int r) { return r ? 0xFFFF00u : 0xFF0000u; }));
    v_setfont(0, 1, 2);
    print_at(4, 20, "A");
    v_setfont(1, 1, 1);
    codes({'?', 123, 127, 255});
    v_print("ABC");
    v_printchar(127);
    v_printchar(127);
    v_print("D");
    v_setfont(0, 2, 3);
    print_at(200, 28, "E\r\x01\x1F" "F");
    v_setfont(7, 1, 1);
    print_at(4, 70, "A@1B1");
    v_rectfillc(60, 54, 30, 20, 0x12345600);
    v_color(4, FG);
    print_at(62, 70, "AB");
    v_color(BG, FG);
    print_at(100, 70, "@C1");
    print_at(140, 70, "x@1");
    print_at(240, 70, "a\nb1");
    const auto address = reinterpret_cast<intptr_t>(uni.data());
    int x = 4;
    for (auto select : std::vector<std::function<void()>>{
             [&] { v_setfont(33, address, 0); }, [&] { v_setfont(address, 0, 0); },
             [&] { v_font(33, address, 0); }, [&] { v_setfontall(33, 9, 9, uni.data()); }}) {
        v_setfont(0, 1, 1);
        vid[perif].monospaced = 1;
        select();
        print_at(x, 110, "B1\n1");
        x += 40;
    }
    for (int n : {30, -3}) {
        v_setfont(n, 1, 1);
        print_at(x, 110, "abc");
    }
    v_setfontall(33, 1, 1, uni.data());
    print_at(4, 160, "@123 \xC3\xA9\xE9");
    codes({233});
    v_print("\xEF\xBB\xBF\xC3\xA9");
    codes({2048, 4128, 0x2000 | 10, 'a'});
    v_setfontall(33, 1, 1, basic.data());
    v_print("\xC3\xA9");
    v_setfontall(33, 1, 1, ramp.data());
    v_color(0, FG);
    print_at(4, 170, "A");
    v_rectfillc(30, 166, 20, 6, 0x00804000);
    v_color(4, int(0xFF000000));
    print_at(32, 170, "A");
    v_color(BG, FG);
    v_setfont(7, 1, 1);
    print_at(4, 195, "$LAMP.bmp A");
    EXPECT_EQ(std::filesystem::current_path(), cwd);
    print_at(4, 215, "$LAX $LAMP.bmp");
    expect_reference("gfx/text", 0, 0, W, H);
    v_locate(0, 500);  // formatted text is cut to its buffer
    v_printf("%s%d", std::string(400, 'x').c_str(), 12345);
    EXPECT_EQ(vid[perif].v_xlocate, (V_PRINTF_BUFFER - 1) * prop_width('x' - 32));
}

}  // namespace
