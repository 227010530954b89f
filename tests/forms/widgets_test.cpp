// The widgets' look (a reference image of raised and sunken buttons, radio groups, check
// boxes, aligned and outlined labels, bitmap cells clamped to the strip, edit fields and
// frame styles) and their values: radio buttons, check boxes and edit fields (focus, typing,
// commit and cancel, conversions into the types the program edits, printed formats and clamped sizes).
#include "assets/fonts.h"
#include "assets/images.h"
#include "forms/edit.h"
#include "forms_fixture.h"
#include "support/reference_image.h"

namespace {

uint8_t held = 0, idle = 0, sel = 2, tick_on = 1, tick_off = 0, tick_radio = 2, cell_far = 7, cell_last = 2;
float real_value;
int16_t fixed_value, word_v, small_v, seen_by_button;
int32_t dword_v;
char secret[64], name_text[64];

FORM_OBJECT radio(const char* name, int x, int tag, const char* caption) {
    return form_line(1, TButton, name, 0).at(x, 50).size(60, 16).colours(0x005E2F08, 0, 0xFFFF00FC)
        .frame(1).font(10, 10, 24).caption(caption).bind(&sel, VT_BYTE).tag(tag).flagged(OF_AUTOREFRESH).enable();
}
FORM_OBJECT check(const char* name, int x, uint8_t* var, int tag, int flags) {
    return form_line(1, TCheckbox, name, 0).at(x, 84).size(16, 16).colours(255, 0, 0).frame(0)
        .font(0, 1, 1).caption(name).bind(var, VT_BYTE).tag(tag).flagged(flags).enable();
}
FORM_OBJECT cells(const char* name, int x, uint8_t* var) {
    return form_line(1, TBitmap, name, 0).at(x, 260).size(120, 120).colours(4, 0, 0).frame(6)
        .image(RLC1_ICO, 3).bind(var, VT_BYTE).enable();
}
FORM_OBJECT edit(const char* name, int x, int y, void* var, uint8_t type, int dec, int dig) {
    return form_line(1, TEdit, name, 0).at(x, y).size(63, 22).colours(255, 0, 0).frame(2)
        .font(33, 2, 8, T_Arial_Unicode_MS_12).caption(name).bind(var, type).number(dec, dig)
        .flagged(OF_FOCUS | OF_EDIT).enable();
}
FORM_OBJECT style(int i) {
    static const char* names[6] = {"s0", "s1", "s2", "s3", "s4", "s5"};
    return form_line(1, TPanel, names[i], 0).at(200 + 44 * i, 160).size(32, 20).colours(0xC0C0C0DB, 0xFF000000, 0)
        .frame(i);
}

// The reference image covers 480 x 390 pixels; the fields and the button right of it only
// serve the typing tests.
const FORM_OBJECT widget_table[] = {
    test_page("widgets"),
    button("held", 10, 10, 72, 24).font(33, 2, 8, T_Arial_Unicode_MS_12).caption("PRESSED").bind(&held, VT_BYTE),
    button("idle", 100, 10, 72, 24).font(33, 2, 8, T_Arial_Unicode_MS_12).caption("RAISED").bind(&idle, VT_BYTE),
    radio("r1", 10, 1, "S11"),
    radio("r2", 74, 2, "S21"),
    radio("r3", 138, 3, "RLC"),
    check("on", 10, &tick_on, 1, 0),
    check("off", 60, &tick_off, 1, 0),
    check("r_a", 110, &tick_radio, 1, OF_AUTOREFRESH),
    check("r_b", 160, &tick_radio, 2, OF_AUTOREFRESH),
    form_line(1, TPanel, "frames", 0).at(10, 120).size(160, 90).colours(0x005E2F08, 0, 0).frame(0),
    label(2, "left", 4, 4, 152).size(152, 16).font(1, 1, 1).tag(0),
    label(2, "right", 4, 24, 152).size(152, 16).font(1, 1, 1).tag(1),
    label(2, "centre", 4, 44, 152).size(152, 16).font(1, 1, 1).tag(2),
    form_line(2, TLabel, "outlined", 0).at(4, 64).size(152, 24).colours(4, 0xFFFF80FE, 0x000000FF)
        .font(33, 5, 8, T_Arial_Unicode_MS_16).caption("Outlined"),
    form_line(1, TLabel, "wide", 0).at(10, 220).size(300, 28).colours(0xC0C0C0DB, 0, 0)
        .font(33, 5, 8, T_Arial_Unicode_MS_16).caption("Not connected"),
    cells("far", 10, &cell_far),  // beyond the strip of three: shows the last cell
    cells("last", 140, &cell_last),
    edit("MHz.", 200, 10, &real_value, VT_REAL, 2, 7),
    edit("fixed", 200, 40, &fixed_value, VT_WORD, 2, 7),
    edit("pass", 200, 70, secret, VT_PASSWORD, 0, 9),
    edit("focus", 200, 100, name_text, VT_STRING, 0, 9),
    style(0), style(1), style(2), style(3), style(4), style(5),
    edit("word", 500, 10, &word_v, VT_WORD, 0, 7),
    edit("small", 500, 40, &small_v, VT_WORD, 0, 3),
    edit("dword", 500, 130, &dword_v, VT_DWORD, 0, 9),
    button("other", 500, 200, 60, 20).on_mouseup([] { seen_by_button = word_v; }),
};
TEST_FORM(widget_form, widget_table)

class Widgets : public FormsTest {
protected:
    void SetUp() override {
        FormsTest::SetUp();
        held = idle = tick_off = 0;
        sel = tick_radio = 2;
        tick_on = 1;
        real_value = 14.5f;
        fixed_value = 150;
        word_v = 7;  // the value that typing must leave alone until it commits
        std::strcpy(secret, "abc");
        std::strcpy(name_text, "name");
        open(widget_form, widget_form_release);
    }
    // Focuses the named field with a first press, then types text and the end key (0: none).
    void type_into(const char* field, const char* text, int end = 13) {
        const OBJ* r = record(widget_form_ptr, field);
        click(r->left + 10, r->top + 10);
        type(text);
        if (end) key(end);
    }
    // What the named field's variable holds after typing text and Enter into it.
    template <class T>
    const T& typed(const char* field, const char* text, const T& variable) {
        type_into(field, text);
        return variable;
    }
};

TEST_F(Widgets, LookMatchesTheReference) {
    click(231, 111);  // focus the last edit field: reverse video
    press(40, 20);    // hold the first button: sunken
    passes(3);
    expect_reference("forms/widgets", 0, 0, 480, 390);
}

// Radio buttons share one variable; a check box toggles once per press however long it is
// held; a check box of a radio group sets the variable to its tag, and a second press
// leaves it. Each step: a press held for some passes, then released. Then edit fields:
// typing commits on Enter only, and the text converts into the field's type.
TEST_F(Widgets, RadioButtonsCheckBoxesAndEditFields) {
    struct Step { int x, y, held; const uint8_t* var; int want; } const steps[] = {
        {20, 58, 1, &sel, 1},
        {150, 58, 1, &sel, 3},
        {68, 92, 4, &tick_off, 1},
        {68, 92, 1, &tick_off, 0},
        {118, 92, 1, &tick_radio, 1},
        {118, 92, 1, &tick_radio, 1},
    };
    for (const Step& s : steps) {
        press(s.x, s.y);
        passes(s.held);
        release();
        pass();
        EXPECT_EQ(*s.var, s.want) << "step " << &s - steps;
    }
    click(510, 20);
    click(510, 20);  // a press on the focused field takes the focus away
    EXPECT_EQ(obj_focus, 0);
    click(510, 20);
    EXPECT_EQ(std::pair(obj_focus != 0, in_edit), std::pair(true, uint16_t(0)));  // focused, not typing yet
    type("15");
    key_down('0');  // a held key types once
    passes(4);
    key_up();
    pass();
    key('0');
    EXPECT_STREQ(edit_string, "1500");
    EXPECT_EQ(word_v, 7);  // nothing written while typing
    key(13);  // commits, and typing took the focus
    EXPECT_EQ(std::tuple(in_edit, word_v, obj_focus), std::tuple(uint16_t(0), int16_t(1500), uint16_t(0)));
    type_into("word", "12\b3");
    EXPECT_EQ(word_v, 13);
    type_into("word", "99", 27);
    EXPECT_EQ(word_v, 13);  // Escape cancels
    type_into("small", "1234", 0);  // 3 digits: the fourth key ends typing and commits
    EXPECT_EQ(small_v, 123);
    // A press elsewhere commits before the button sees the value.
    type_into("word", "42", 0);
    click(510, 210);
    EXPECT_EQ(seen_by_button, 42);
    EXPECT_EQ(typed("word", "-3.6", word_v), -3);  // truncated toward zero
    EXPECT_EQ(typed("fixed", "1.17", fixed_value), 117);  // fixed point with 2 decimals, not 116.99... truncated
    EXPECT_FLOAT_EQ(typed("MHz.", "3.14159", real_value), 3.14f);
    EXPECT_EQ(typed("dword", "-123456", dword_v), -123456);
    EXPECT_STREQ(typed("focus", "hello", name_text), "hello");
    EXPECT_EQ(typed("word", "x", word_v), 0);  // not a number
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
