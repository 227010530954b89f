// Text in widgets: measurement against what is drawn, image captions from the program's
// directory, the TrueType choice with its bitmap fallback, font names inherited by children.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "assets/fonts.h"
#include "forms_fixture.h"
#include "gfx/text.h"
#include "gfx/ttf.h"

namespace fs = std::filesystem;

namespace {

// A directory of its own as the current directory and MyDir for one test.
class InDirectory {
public:
    InDirectory() {
        dir_ = fs::path(CORVANE_BINARY_DIR) / ("forms_text." + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        old_ = fs::current_path();
        fs::current_path(dir_);
        std::snprintf(MyDir, sizeof MyDir, "%s", dir_.c_str());
    }
    ~InDirectory() {
        fs::current_path(old_);
        MyDir[0] = 0;
        fs::remove_all(dir_);
    }
    const fs::path& path() const { return dir_; }

private:
    fs::path dir_, old_;
};

// A 24-bit BMP of one colour.
void write_bmp(const fs::path& p, int w, int h, uint32_t rgb) {
    const int stride = ((24 * w + 31) / 32) * 4;
    std::vector<uint8_t> b(size_t(54 + stride * h), 0);
    auto u32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; i++) b[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    u32(2, uint32_t(b.size()));
    u32(10, 54);
    u32(14, 40);
    u32(18, uint32_t(w));
    u32(22, uint32_t(h));
    b[26] = 1;
    b[28] = 24;
    for (int r = 0; r < h; r++)
        for (int x = 0; x < w; x++) {
            uint8_t* px = &b[size_t(54 + r * stride + 3 * x)];
            px[0] = uint8_t(rgb);
            px[1] = uint8_t(rgb >> 8);
            px[2] = uint8_t(rgb >> 16);
        }
    FILE* f = std::fopen(p.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
}

// How far v_print moves the output position for s in the given font.
int printed_width(int font, int sx, int sy, const uint8_t* data, const char* s) {
    v_setfontall(font, sx, sy, data);
    v_color(4, 4);
    v_locate(0, 700);  // drawing memory below the visible screen
    v_print(s);
    return vid[perif].v_xlocate;
}

TEST(TextMeasure, WidthsMatchWhatIsPrinted) {
    FormDriver::setup();
    OBJ rec{};
    me = &rec;
    _fontx = _fonty = 1;
    EXPECT_EQ(str_width("abc", 1), 3 * 16);  // font 1: 16 pixels, scale _fontx
    _fontx = 2;
    EXPECT_EQ(str_dx("abc"), 3 * 2 * 16);
    _fontx = 1;
    EXPECT_EQ(str_width("Hello, 42", intptr_t(T_Arial_Unicode_MS_12)), printed_width(33, 1, 1, T_Arial_Unicode_MS_12, "Hello, 42"));
    EXPECT_EQ(_fontn, FONT_UNICODE_NUM);
    EXPECT_EQ(str_height(intptr_t(T_Arial_Unicode_MS_16)), 28);
    EXPECT_EQ(str_width("h\xC3\xA9llo", 0), printed_width(33, 1, 1, T_Arial_Unicode_MS_16, "h\xC3\xA9llo"));
    EXPECT_EQ(str_width("Proportional", 10), printed_width(10, 1, 1, nullptr, "Proportional"));
    _fonty = 3;
    EXPECT_EQ(str_height(2), 24 * 3);
    EXPECT_EQ(str_dx(nullptr), 0);
    me = nullptr;
}

TEST(TextMeasure, OnlyImageCaptionsAreOpenedAsFiles) {
    FormDriver::setup();
    InDirectory dir;
    write_bmp(dir.path() / "img.bmp", 10, 6, 0x00FF00);
    OBJ rec{};
    rec.caption = "plain";
    me = &rec;
    _fontn = 0;
    EXPECT_EQ(bitmap_dx("$img.bmp"), 10);
    EXPECT_EQ(bitmap_dy(nullptr), 6);  // the last measured image
    EXPECT_EQ(str_dx("$img.bmp"), 10);
    EXPECT_EQ(bitmap_dx("img.bmp"), 0);  // a text is never taken for a file name
    EXPECT_EQ(bitmap_dx("$missing.bmp"), 0);
    me = nullptr;
}

// ---- labels drawing images and TrueType text ----

struct TextStruct {
    FORM_HEAD head;
    OBJ *image, *greek, *panel, *child, *sibling;
};
char greek_text[32] = "\xCE\xA9mega";  // Omega needs TrueType with a bitmap font
char seen_child[TTF_NAME], seen_sibling[TTF_NAME];

const FORM_OBJECT text_table[] = {
    form_head(TPage, "text", sizeof(TextStruct)).size(1024, 600).colours(0xC0C0C0DB, 0, 0),
    form_line(1, TLabel, "image", FORM_MEMBER(TextStruct, image)).at(10, 10).size(30, 20).colours(0x03, 0, 0)
        .font(0, 1, 1).caption("$img.bmp").tag(2),
    form_line(1, TLabel, "greek", FORM_MEMBER(TextStruct, greek)).at(10, 50).size(100, 16).colours(4, 0, 0)
        .font(0, 2, 2).caption(greek_text),
    form_line(1, TPanel, "panel", FORM_MEMBER(TextStruct, panel)).at(10, 100).size(100, 50).colours(0x1C, 0, 0)
        .font(10, 1, 1).frame(6).on_draw([] { SET_FONT("panelfont", 0); }),
    form_line(2, TLabel, "child", FORM_MEMBER(TextStruct, child)).at(4, 4).size(40, 8).colours(4, 0, 0)
        .font(0, 1, 1).caption("c").on_draw([] { std::snprintf(seen_child, sizeof seen_child, "%s", DEFAULT); }),
    form_line(1, TLabel, "sibling", FORM_MEMBER(TextStruct, sibling)).at(10, 200).size(40, 8).colours(4, 0, 0)
        .font(0, 1, 1).caption("s").on_draw([] { std::snprintf(seen_sibling, sizeof seen_sibling, "%s", DEFAULT); }),
};
TEST_FORM(text_form, TextStruct, text_table)

class Text : public FormsTest {};

TEST_F(Text, ImageCaptionIsCentredFromTheProgramDirectory) {
    InDirectory dir;
    write_bmp(dir.path() / "img.bmp", 10, 6, 0x00FF00);
    FormDriver page(text_form, text_form_release);
    page.pass();
    // Centred in 30 x 20 at (10, 10): the image covers 20..29 x 17..22.
    EXPECT_EQ(pixel(20, 17), 0x00FF00u);
    EXPECT_EQ(pixel(29, 22), 0x00FF00u);
    EXPECT_NE(pixel(19, 17), 0x00FF00u);
    EXPECT_NE(pixel(30, 22), 0x00FF00u);
}

TEST_F(Text, FontNameReachesChildrenNotSiblings) {
    FormDriver page(text_form, text_form_release);
    page.pass();
    EXPECT_STREQ(seen_child, "panelfont.ttf");
    EXPECT_STREQ(seen_sibling, "");
    DEFA[1][0] = DEFA[2][0] = DEFAULT[0] = DEFAULOLD[0] = 0;
}

// Pixels in a rectangle that are neither of two colours (anti-aliased edges).
int blended(int x0, int y0, int w, int h, uint32_t a, uint32_t b) {
    int n = 0;
    for (int y = y0; y < y0 + h; y++)
        for (int x = x0; x < x0 + w; x++) n += pixel(x, y) != a && pixel(x, y) != b;
    return n;
}

TEST_F(Text, TrueTypeCaptionFallsBackToTheBitmapFont) {
    const char* dejavu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    InDirectory dir;
    ttf_forget_failures();
    FormDriver page(text_form, text_form_release);
    page.pass();
    const uint32_t bg = pixel(200, 300), fg = pall[0];
    _fontn = 0;
    EXPECT_STREQ(widget_ttf_font(greek_text, true), "default.ttf");
    EXPECT_EQ(widget_ttf_font("Omega", true), nullptr);
    // No font file anywhere: the bitmap font draws it, in pure colours.
    int ink = 0;
    for (int y = 34; y < 66; y++)
        for (int x = 10; x < 110; x++) ink += pixel(x, y) == fg;
    EXPECT_GT(ink, 0);
    EXPECT_EQ(blended(10, 34, 100, 32, bg, fg), 0);
    if (!fs::exists(dejavu)) GTEST_SKIP() << "needs fonts-dejavu-core";
    fs::create_directories(dir.path() / "FONTS");
    fs::create_symlink(dejavu, dir.path() / "FONTS" / "default.ttf");
    ttf_forget_failures();
    text_form_ptr->greek->fontcolor = 0;  // same colour, new checksum value: redraw
    text_form_ptr->greek->rgb_fontcolor = 0x01000000;
    page.passes(2);
    EXPECT_GT(blended(10, 34, 100, 40, bg, fg), 0);  // anti-aliased TrueType edges
}

}  // namespace
