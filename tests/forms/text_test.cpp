// Text in widgets: measurement against what is drawn, image captions from the program's
// directory, TrueType captions in bitmap fonts, CJK captions of labels in the Unicode font.
#include "assets/fonts.h"
#include "forms_fixture.h"
#include "gfx/gfx_helpers.h"
#include "gfx/ttf.h"
#include "support/reference_image.h"

namespace {

using Text = FormsTest;

// How far v_print moves the output position for s in the given font.
int printed_width(int font, const uint8_t* data, const char* s) {
    v_setfontall(font, 1, 1, data);
    v_color(4, 4);
    v_locate(0, 700);  // drawing memory below the visible screen
    v_print(s);
    return vid[perif].v_xlocate;
}

// ---- labels drawing images and TrueType text ----

char script_text[16];
int size_seen = -1;

const FORM_OBJECT text_table[] = {
    test_page("text"),
    label(1, "image", 10, 10, 30).size(30, 20).colours(0x03, 0, 0).caption("$img.bmp").tag(2),
    label(1, "greek", 10, 50, 100).size(100, 16).font(0, 2, 2).caption("\xCE\xA9mega!"),  // TrueType
    form_line(1, TPanel, "panel", 0).at(10, 100).size(100, 50).colours(4, 0, 0).font(10, 1, 1).frame(6),
    label(2, "child", 4, 4, 40),
    label(1, "script", 300, 10, 200).size(200, 30).font(FONT_UNICODE_NUM, 1, 1, T_Arial_Unicode_MS_12)
        .caption(script_text).on_draw([] { size_seen = _fonty; }),
};
TEST_FORM(text_form, text_table)

// In a directory of its own, the current directory and MyDir, that holds img.bmp (a green
// 10 x 6 picture): measured widths against what is printed; then a page: the image caption
// centred in its label and the Greek caption anti-aliased in DejaVu, found as "default.ttf"
// under ./FONTS/ (the page as a picture).
TEST_F(Text, WidthsAndCaptionsMatchWhatIsDrawn) {
    const ScratchDir dir;
    const InFolder in(dir(), dir());
    write_file("img.bmp", bmp(24, 10, 6, [](int, int) { return 0x00FF00u; }));
    OBJ rec{};  // the current object while measuring
    rec.caption = "plain";
    me = &rec;
    _fontx = _fonty = 1;
    EXPECT_EQ(str_width("abc", 1), 3 * 16);  // font 1: 16 pixels, scale _fontx
    _fontx = 2;
    EXPECT_EQ(str_dx("abc"), 3 * 2 * 16);
    _fontx = 1;
    EXPECT_EQ(str_width("Hello, 42", intptr_t(T_Arial_Unicode_MS_12)),
              printed_width(33, T_Arial_Unicode_MS_12, "Hello, 42"));
    EXPECT_EQ(str_height(intptr_t(T_Arial_Unicode_MS_16)), 28);
    EXPECT_EQ(str_width("h\xC3\xA9llo", 0), printed_width(33, T_Arial_Unicode_MS_16, "h\xC3\xA9llo"));
    EXPECT_EQ(str_width("Proportional", 10), printed_width(10, nullptr, "Proportional"));
    _fonty = 3;
    EXPECT_EQ(str_height(2), 24 * 3);
    // Only captions that begin with "$" are opened as image files.
    _fontn = 0;
    EXPECT_EQ(bitmap_dx("$img.bmp"), 10);
    EXPECT_EQ(bitmap_dy(nullptr), 6);  // the last measured image
    EXPECT_EQ(str_dx("$img.bmp"), 10);
    EXPECT_EQ(bitmap_dx("img.bmp"), 0);
    EXPECT_EQ(bitmap_dx("$missing.bmp"), 0);
    me = nullptr;
    const char* dejavu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    if (!std::filesystem::exists(dejavu)) GTEST_SKIP() << "needs fonts-dejavu-core";
    std::filesystem::create_directories("FONTS");
    std::filesystem::create_symlink(dejavu, "FONTS/default.ttf");
    ttf_forget_failures();
    open(text_form, text_form_release);
    expect_reference("forms/text", 0, 0, 240, 160);
    // A label in the Unicode bitmap font draws CJK and complex scripts in TrueType at its
    // height; Latin captions keep the bitmap font's size, also after such a caption.
    const int bitmap_size = T_Arial_Unicode_MS_12[3];
    const std::pair<const char*, int> scripts[] = {
        {"h\xC3\xA9llo", bitmap_size},
        {"a\xE4\xB8\xAD", 30},
        {"back", bitmap_size},
    };
    for (auto [text, size] : scripts) {
        std::snprintf(script_text, sizeof script_text, "%s", text);
        passes(2);
        EXPECT_EQ(size_seen, size) << text;
    }
}

}  // namespace
