// Edit fields: focus, typing, commit and cancel, conversions into every variable type,
// printed formats and the clamped field sizes (the look of focused and password fields is in
// the widgets' reference image).

#include "assets/fonts.h"
#include "forms/edit.h"
#include "forms_fixture.h"

namespace {

float real_v;
int16_t word_v, fixed_v, small_v;
int8_t byte_v;
uint8_t ubyte_v;
int32_t dword_v;
uint32_t udword_v;
char text_v[64], pass_v[64];
int16_t seen_by_button;

FORM_OBJECT field(const char* name, int y, void* var, uint8_t type, int dec, int dig) {
    return form_line(1, TEdit, name, 0).at(20, y).size(70, 22).colours(255, 0, 0).frame(2)
        .font(33, 2, 8, T_Arial_Unicode_MS_12).caption("unit").bind(var, type).number(dec, dig)
        .flagged(OF_FOCUS | OF_EDIT).enable();
}
// Field n lies at y = 10 + 30 n.
const FORM_OBJECT edit_table[] = {
    test_page("edits"),
    field("real", 10, &real_v, VT_REAL, 2, 7),
    field("word", 40, &word_v, VT_WORD, 0, 7),
    field("fixed", 70, &fixed_v, VT_WORD, 2, 7),
    field("small", 100, &small_v, VT_WORD, 0, 3),
    field("byte", 130, &byte_v, VT_BYTE, 0, 5),
    field("ubyte", 160, &ubyte_v, VT_UBYTE, 0, 5),
    field("dword", 190, &dword_v, VT_DWORD, 0, 9),
    field("udword", 220, &udword_v, VT_UDWORD, 2, 9),
    field("text", 250, text_v, VT_STRING, 0, 9),
    field("pass", 280, pass_v, VT_PASSWORD, 0, 9),
    button("other", 300, 10, 60, 20).on_mouseup([] { seen_by_button = word_v; }),
};
TEST_FORM(edit_form, edit_table)

class Edit : public FormsTest {
protected:
    void SetUp() override {
        FormsTest::SetUp();
        word_v = 7;  // the value that typing must leave alone until it commits
        open(edit_form, edit_form_release);
    }
    // Focuses field n with a first press, then types text and the end key (0: none).
    void type_into(int n, const char* text, int end = 13) {
        click(30, 20 + 30 * n);
        type(text);
        if (end) key(end);
    }
    // What field n's variable holds after typing text and Enter into it.
    template <class T>
    const T& typed(int n, const char* text, const T& variable) {
        type_into(n, text);
        return variable;
    }
};

TEST_F(Edit, TypingCommitsOnEnterOnly) {
    click(30, 50);
    click(30, 50);  // a press on the focused field takes the focus away
    EXPECT_EQ(obj_focus, 0);
    click(30, 50);
    EXPECT_NE(obj_focus, 0);
    EXPECT_EQ(in_edit, 0);  // focused, not typing yet
    type("15");
    key_down('0');  // a held key types once
    passes(4);
    key_up();
    pass();
    key('0');
    EXPECT_STREQ(edit_string, "1500");
    EXPECT_EQ(word_v, 7);  // nothing written while typing
    key(13);
    EXPECT_EQ(in_edit, 0);
    EXPECT_EQ(word_v, 1500);
    EXPECT_EQ(obj_focus, 0);  // typing took the focus
    type_into(1, "12\b3");
    EXPECT_EQ(word_v, 13);
    type_into(1, "99", 27);
    EXPECT_EQ(word_v, 13);  // Escape cancels
    type_into(3, "1234", 0);  // 3 digits: the fourth key ends typing
    EXPECT_EQ(in_edit, 0);
    EXPECT_EQ(small_v, 123);
    // A press elsewhere commits before the button sees the value.
    type_into(1, "42", 0);
    EXPECT_EQ(word_v, 13);
    click(320, 20);
    EXPECT_EQ(seen_by_button, 42);
}

TEST_F(Edit, NumbersConvertByType) {
    EXPECT_EQ(typed(1, "-3.6", word_v), -3);  // truncated toward zero
    EXPECT_EQ(typed(2, "1.17", fixed_v), 117);  // fixed point with 2 decimals, not 116.99... truncated
    EXPECT_FLOAT_EQ(typed(0, "3.14159", real_v), 3.14f);
    EXPECT_EQ(typed(4, "-5", byte_v), -5);
    EXPECT_EQ(typed(5, "200", ubyte_v), 200);
    EXPECT_EQ(typed(6, "-123456", dword_v), -123456);
    EXPECT_EQ(typed(7, "1.15", udword_v), 115u);  // not 114.99... truncated
    EXPECT_STREQ(typed(8, "hello", text_v), "hello");
    EXPECT_STREQ(typed(9, "abcd", pass_v), "abcd");
    EXPECT_EQ(typed(4, "40000", byte_v), 0);  // beyond 16 bits: -32768, low byte 0
    EXPECT_EQ(typed(1, "x", word_v), 0);  // not a number
}

// The text a field of the given size prints for s with the integer or the real format.
std::string printed(void (*format)(const char*, char*, int), const char* s, int decimals, int digits) {
    OBJ rec{};
    rec.decimals = uint8_t(decimals);
    rec.digits = uint8_t(digits);
    me = &rec;
    char out[512];
    format(s, out, sizeof out);
    me = nullptr;
    return out;
}
std::string real_text(float v, int decimals, int digits) {
    char s[512];
    std::snprintf(s, sizeof s, "@%f         ", round_n(v, decimals));
    return printed(edit_real_text, s, decimals, digits);
}

// Sizes beyond the typing buffer or the number text stay inside them: the 9-character text
// of the value 5 prints at most 9 characters, at most 8 decimals.
TEST(EditFormats, IntegersAndRealsAlignAndClamp) {
    struct Num { const char* s; int decimals, digits; const char* want; } const nums[] = {
        {"        5", 2, 7, "@   0.05"},   {"       -5", 2, 7, "@  -0.05"},   {"     -150", 2, 7, "@  -1.50"},
        {"         401", 0, 7, "@    401"}, {"         -5", 3, 7, "@ -0.005"}, {"        5", 250, 200, "@.00000005"},
        {"        5", 2, 200, "@     0.05"},
    };
    for (const Num& c : nums) EXPECT_EQ(printed(edit_num_text, c.s, c.decimals, c.digits), c.want) << c.s;
    struct Real { float v; int decimals, digits; const char* want; } const reals[] = {
        {14.5f, 2, 7, "@  14.50"}, {800.0f, 2, 7, "@ 800.00"}, {14.5f, 0, 5, "@   15"},
        {-0.125f, 1, 5, "@ -0.1"}, {9.87f, 2, 5, "@ 9.87"},
    };
    for (const Real& c : reals) EXPECT_EQ(real_text(c.v, c.decimals, c.digits), c.want) << c.v;
    EXPECT_EQ(real_text(1.0f, 200, 250).size(), size_t(1 + EDIT_STRING - 1));
    EXPECT_NEAR(round_n(-2.5, 0), -3.0, 1e-9);  // halves away from zero
}

}  // namespace
