// A label in the Unicode bitmap font whose caption holds CJK or complex-script characters
// draws it in TrueType at the label's height; other captions keep the bitmap font's size.
#include "assets/fonts.h"
#include "forms_fixture.h"
#include "gfx/text.h"
#include "gfx/ttf.h"

namespace {

char caption_text[16];
int size_seen = -1;

const FORM_OBJECT script_table[] = {
    test_page("script"),
    label(1, "label", 10, 10, 200).size(200, 30).font(FONT_UNICODE_NUM, 1, 1, T_Arial_Unicode_MS_12)
        .caption(caption_text).on_draw([] { size_seen = _fonty; }),
};
TEST_FORM(script_form, script_table)

class LabelScript : public FormsTest {};

TEST_F(LabelScript, CjkAndComplexScriptsTakeTheLabelsHeight) {
    const int bitmap_size = T_Arial_Unicode_MS_12[3];
    ASSERT_NE(bitmap_size, 30);
    const struct {
        const char* text;
        int size;
    } cases[] = {
        {"plain", bitmap_size},
        {"h\xC3\xA9llo", bitmap_size},     // Latin: the bitmap font has it
        {"\xC2\xB0" "C", bitmap_size},      // a 2-byte sign outside the scripts
        {"a\xE4\xB8\xAD", 30},             // CJK after ASCII
        {"\xD8\xB3\xD9\x84", 30},          // Arabic
        {"\xD7\x90", 30},                  // Hebrew
        {"x\xF0\x9F\x98\x80", 30},         // an emoji (4 bytes)
    };
    for (const auto& c : cases) {
        std::snprintf(caption_text, sizeof caption_text, "%s", c.text);
        size_seen = -1;
        open(script_form, script_form_release);
        EXPECT_EQ(size_seen, c.size) << c.text;
        stop();
    }
    DEFAULOLD[0] = 0;
}

}  // namespace
