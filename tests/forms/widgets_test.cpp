// The widgets' look (a reference image of raised and sunken buttons, radio groups, check
// boxes, aligned and outlined labels, bitmap cells clamped to the strip, edit fields and
// frame styles) and their values: radio buttons and check boxes.
#include "assets/fonts.h"
#include "assets/images.h"
#include "forms_fixture.h"
#include "support/reference_image.h"

namespace {

uint8_t held = 0, idle = 0, sel = 2, tick_on = 1, tick_off = 0, tick_radio = 2, cell_far = 7, cell_last = 2;
float real_value = 14.5f;
int16_t fixed_value = 150;
char secret[64] = "abc";
char name_text[64] = "name";

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
FORM_OBJECT edit(const char* name, int y, void* var, uint8_t type, int dec, int dig) {
    return form_line(1, TEdit, name, 0).at(200, y).size(63, 22).colours(255, 0, 0).frame(2)
        .font(33, 2, 8, T_Arial_Unicode_MS_12).caption(name).bind(var, type).number(dec, dig)
        .flagged(OF_FOCUS | OF_EDIT).enable();
}
FORM_OBJECT style(int i) {
    static const char* names[6] = {"s0", "s1", "s2", "s3", "s4", "s5"};
    return form_line(1, TPanel, names[i], 0).at(200 + 44 * i, 160).size(32, 20).colours(0xC0C0C0DB, 0xFF000000, 0)
        .frame(i);
}

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
    edit("MHz.", 10, &real_value, VT_REAL, 2, 7),
    edit("fixed", 40, &fixed_value, VT_WORD, 2, 7),
    edit("pass", 70, secret, VT_PASSWORD, 0, 9),
    edit("focus", 100, name_text, VT_STRING, 0, 9),
    style(0), style(1), style(2), style(3), style(4), style(5),
};
TEST_FORM(widget_form, widget_table)

class Widgets : public FormsTest {
protected:
    void SetUp() override {
        FormsTest::SetUp();
        held = idle = tick_off = 0;
        sel = tick_radio = 2;
        tick_on = 1;
        open(widget_form, widget_form_release);
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
// leaves it. Each step: a press held for some passes, then released.
TEST_F(Widgets, RadioButtonsAndCheckBoxes) {
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
}

}  // namespace
