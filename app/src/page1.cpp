// The main page as a table: one line per object in declaration order (which fixes the object
// numbers, the drawing order and the hit-test priority: later lines lie on top). The depth
// column gives the nesting: a line's children follow it with a depth one higher.
#include "app/page1.h"

#include "app/combo_box.h"
#include "app/open_dialog.h"
#include "app/rlc.h"
#include "app/smith.h"
#include "app/start.h"
#include "app/style.h"
#include "app/traces.h"
#include "assets/images.h"
#include "forms/edit.h"
#include "forms/table.h"
#include "forms/widgets.h"
#include "vna/calibration.h"
#include "vna/handlers.h"

namespace {

#define AT(member) FORM_MEMBER(page1_Struct, member)
const char* row(int n) { return LangVett[n]; }

// A push button of the top row or the calibration panel: posts its command while pressed.
FORM_OBJECT command(int depth, const char* name, uint32_t member, int x, int y, int w, int h, int text,
                    uint8_t* mark, obj_handler_fn pressed) {
    return form_line(depth, TButton, name, member).at(x, y).size(w, h).colours(BUTTON_FACE, BLACK, BLACK)
        .frame(FRAME_DOUBLE_RAISED).font(UNICODE_12).caption(row(text)).bind(mark, VT_BYTE).tag(1).enable()
        .on_mousedown(pressed);
}
// A tab button of the measurement area (a radio button of page1_switch34).
FORM_OBJECT tab(const char* name, uint32_t member, int x, int text, int which, uint32_t ink = YELLOW) {
    return form_line(3, TButton, name, member).at(x, 1).size(158, 16).colours(DARK_BLUE, BLACK, ink)
        .frame(FRAME_RAISED).font(TAB_FONT).caption(row(text)).bind(&page1_switch34, VT_BYTE)
        .flagged(OF_AUTOREFRESH).tag(which).enable(which <= 3);
}
// A tab panel: visible exactly while page1_switch34 equals its tag.
FORM_OBJECT tab_panel(const char* name, uint32_t member, int which, int frame, const char* caption) {
    return form_line(3, TPanel, name, member).at(1, 21).size(805, 410).colours(TRANSPARENT, BLACK, BLACK)
        .frame(frame).caption(caption).bind(&page1_switch34, VT_BYTE).flagged(OF_FOCUS).tag(which)
        .on_entry(switch_page);
}
// A plot panel of a tab.
FORM_OBJECT plot(int depth, const char* name, uint32_t member, int x, int y, int w, int h, obj_handler_fn entry,
                 obj_handler_fn press) {
    return form_line(depth, TPanel, name, member).at(x, y).size(w, h).colours(TRANSPARENT, BLACK, BLACK)
        .frame(FRAME_SUNKEN).caption("panel8").bind(&MB27, VT_BYTE).flagged(OF_FOCUS).tag(1).enable()
        .on_entry(entry).on_mousepress(press);
}
// A caption on a dark panel.
FORM_OBJECT caption(int depth, const char* name, uint32_t member, int x, int y, int w, int h, int text) {
    return form_line(depth, TLabel, name, member).at(x, y).size(w, h).colours(TRANSPARENT, BLACK, YELLOW)
        .font(UNICODE_12).caption(row(text)).tag(1);
}
// A zero-size label that the measurement area covers.
FORM_OBJECT hidden_label(const char* name, uint32_t member, int x, int y, int text) {
    return form_line(1, TLabel, name, member).at(x, y).colours(TRANSPARENT, BLACK, BLACK).font(NO_FONT)
        .caption(row(text)).tag(1);
}
// A sweep field of the top row: typing a value forgets the calibration.
FORM_OBJECT sweep_field(const char* name, uint32_t member, int y, int text, void* var, uint8_t type, int decimals,
                        obj_handler_fn clicked) {
    return form_line(1, TEdit, name, member).at(856, y).size(63, 22).colours(WHITE, BLACK, BLACK)
        .frame(FRAME_DOUBLE_SUNKEN).font(UNICODE_12).caption(row(text)).bind(var, type).number(decimals, 7)
        .flagged(OF_FOCUS | OF_EDIT).tag(1).enable().on_click(clicked);
}
// A check box beside a calibration standard, showing whether it was measured.
FORM_OBJECT standard_box(const char* name, uint32_t member, int y, void* flag) {
    return form_line(2, TCheckbox, name, member).at(96, y).size(20, 20).colours(WHITE, BLACK, BLACK)
        .frame(FRAME_SUNKEN).font(FIXED_8).caption(row(26)).bind(flag, VT_DWORD).tag(1).enable();
}

// The readouts show element quale of their arrays, computed on every pass, through a copy
// that fits the field; the arrays keep infinite and undefined values (the RLC view reads
// them). An exact open (0/0) shows the largest resistance and no reactance.
template <float* array, bool resistance = false>
void* at_marker(int) {
    static float shown;
    shown = readout_value(array[marker_index()], resistance ? READOUT_LIMIT : 0);
    return &shown;
}
FORM_OBJECT readout(const char* name, uint32_t member, int x, int y, int text, void* (*element)(int)) {
    return form_line(4, TEdit, name, member).at(x, y).size(72, 22).colours(MARKER_BLUE, YELLOW, YELLOW)
        .frame(FRAME_NONE).font(UNICODE_12).caption(row(text)).bind_at(element, VT_REAL).number(3, 8)
        .flagged(OF_FOCUS | OF_EDIT).tag(1);
}
// A picture.
FORM_OBJECT picture(int depth, const char* name, uint32_t member, int x, int y, int w, int h, int frame,
                    const uint8_t* image, uint32_t* ram, int cells = 1) {
    return form_line(depth, TBitmap, name, member).at(x, y).size(w, h).colours(TRANSPARENT, BLACK, BLACK)
        .frame(frame).font(NO_FONT).image(image, cells, ram).tag(1).enable();
}
// A panel that only groups its children.
FORM_OBJECT panel(int depth, const char* name, uint32_t member, int x, int y, int w, int h, uint32_t fill,
                  int frame, const char* text) {
    return form_line(depth, TPanel, name, member).at(x, y).size(w, h).colours(fill, BLACK, BLACK).frame(frame)
        .caption(text).flagged(OF_FOCUS).tag(1);
}

const FORM_OBJECT page1_lines[] = {
    form_head(TPage, "page1", sizeof(page1_Struct)).size(1024, 600).colours(PAGE_GREY, BLACK, BLACK)
        .font(FIXED_8).on_first(page1_onfirst).on_entry(page1_onentry),
    form_line(1, TLabel, "label0", AT(label0)).at(8, 8).size(40, 8).colours(TRANSPARENT, BLACK, NAME_GREY)
        .font(FIXED_8).caption(row(0)).bind(&VAR1, VT_BYTE).tag(1),
    command(1, "connect", AT(connect), 156, 12, 112, 24, 1, &MB3, page1_connect_onmousedown),
    command(1, "disconnect", AT(disconnect), 280, 12, 116, 24, 2, &MB4, page1_disconnect_onmousedown),
    panel(1, "panel3", AT(panel3), 15, 560, 996, 32, PAGE_GREY, FRAME_SUNKEN, "panel3"),
    form_line(2, TLabel, "status", AT(status)).at(264, 1).size(416, 28).colours(PAGE_GREY, BLACK, BLACK)
        .font(UNICODE_16).caption(page1_status).bind(&MB89, VT_BYTE),
    form_line(2, TEdit, "eacquired", AT(eacquired)).at(8, 4).size(45, 22).colours(PAGE_GREY, BLACK, BLACK)
        .frame(FRAME_NONE).font(UNICODE_12).caption(row(16)).bind(&vna_acquired, VT_DWORD).number(0, 5).tag(1),
    form_line(2, TEdit, "edit1", AT(edit1)).at(148, 4).size(45, 22).colours(PAGE_GREY, BLACK, BLACK)
        .frame(FRAME_NONE).font(UNICODE_12).caption(row(17)).bind(&MD777, VT_DWORD).number(0, 5)
        .flagged(OF_FOCUS | OF_EDIT).tag(1).enable(),
    hidden_label("lstart", AT(lstart), 24, 170, 3),
    sweep_field("estart", AT(estart), 12, 4, &f_start, VT_REAL, 2, page1_estart_onclick),
    hidden_label("lstop", AT(lstop), 294, 170, 5),
    sweep_field("estop", AT(estop), 44, 6, &f_stop, VT_REAL, 2, page1_estop_onclick),
    hidden_label("lpoints", AT(lpoints), 560, 170, 7),
    sweep_field("epoints", AT(epoints), 76, 8, &vna_points, VT_WORD, 0, page1_epoints_onclick),
    panel(1, "panel1", AT(panel1), 852, 208, 157, 336, PAGE_GREY, FRAME_SUNKEN, "panel1"),
    command(2, "cal_short", AT(cal_short), 8, 48, 72, 32, 18, &MB6, page1_cal_short_onmousedown),
    command(2, "cal_load", AT(cal_load), 8, 88, 72, 32, 19, &MB7, page1_cal_load_onmousedown),
    command(2, "cal_isol", AT(cal_isol), 8, 128, 72, 32, 20, &MB8, page1_cal_isol_onmousedown),
    command(2, "cal_thru", AT(cal_thru), 8, 168, 72, 32, 21, &MB9, page1_cal_thru_onmousedown),
    command(2, "cal_done", AT(cal_done), 8, 208, 132, 32, 22, &MB10, page1_cal_done_onmousedown),
    command(2, "cal_save", AT(cal_save), 8, 248, 132, 36, 23, &MB11, page1_cal_save_onmousedown),
    command(2, "cal_recall", AT(cal_recall), 8, 292, 132, 40, 24, &MB12, page1_cal_recall_onmousedown),
    command(2, "cal_open", AT(cal_open), 8, 8, 72, 32, 25, &MB5, page1_cal_open_onmousedown),
    standard_box("checkbox1", AT(checkbox1), 12, &have_open),
    standard_box("checkbox2", AT(checkbox2), 52, &have_short),
    standard_box("checkbox3", AT(checkbox3), 92, &have_load),
    standard_box("checkbox4", AT(checkbox4), 132, &have_isol),
    standard_box("checkbox5", AT(checkbox5), 172, &have_thru),
    command(1, "scan", AT(scan), 408, 12, 112, 24, 9, &MB13, page1_scan_onmousedown),
    command(1, "abort", AT(abort), 636, 12, 88, 24, 10, &MB14, page1_abort_onmousedown),
    hidden_label("lacquired", AT(lacquired), 24, 350, 11),
    panel(1, "panel2", AT(panel2), 16, 48, 816, 501, DARK_BLUE, FRAME_SUNKEN, "panel2").bind(&MB88, VT_BYTE)
        .enable().on_entry(page1_panel2_onentry),
    panel(2, "panel4", AT(panel4), 4, 4, 807, 432, DARK_BLUE, FRAME_NONE, "panel4").bind(&page1_switch34, VT_BYTE),
    tab("button2", AT(button2), 1, 27, 1),
    tab("button3", AT(button3), 163, 28, 2),
    tab_panel("panel5", AT(panel5), 1, FRAME_NONE, "Pag.1_panel4;"),
    picture(4, "bitmap1", AT(bitmap1), 4, 7, 400, 400, FRAME_SUNKEN, SMITHBLACK400_ICO, &SMITHBLACK400_ICO_ram)
        .caption("bitmap1").bind(&MB111, VT_BYTE).on_entry(page1_bitmap1_onentry)
        .on_mousepress(page1_bitmap1_onmousepress),
    panel(5, "panel7", AT(panel7), 198, 197, 191, 36, TRANSPARENT, FRAME_RECT, "panel7")
        .colours(TRANSPARENT, RGB_WHITE, BLACK).on_entry(page1_panel7_onentry),
    plot(4, "panel8", AT(panel8), 408, 8, 393, 188, page1_panel8_onentry, page1_panel8_onmousepress),
    // The captions over the plots draw when their plot draws (it repaints its area in the
    // same pass), not on every pass.
    caption(5, "label2", AT(label2), 9, 10, 56, 21, 30).tag(0).on_entry(page1_label2_onentry),
    form_line(5, TPanel, "Dialog1", 0).at(316, 24).caption("object2").tag(1)
        .component(&open_dialog_form, reinterpret_cast<void**>(&Dialog1)),
    plot(4, "panel9", AT(panel9), 409, 208, 391, 199, page1_panel9_onentry, page1_panel9_onmousepress)
        .bind(&Null, VT_NONE).every(1),
    caption(5, "label3", AT(label3), 8, 8, 35, 21, 31).tag(0).on_entry(page1_label3_onentry),
    tab_panel("panel6", AT(panel6), 2, FRAME_NONE, "Pag.2_panel4;"),
    plot(4, "panel16", AT(panel16), 4, 8, 796, 141, page1_panel16_onentry, page1_panel16_onmousepress),
    caption(5, "label7", AT(label7), 12, 8, 56, 21, 30).colours(TRANSPARENT, BLACK, PALE_YELLOW),
    plot(4, "panel17", AT(panel17), 4, 160, 796, 244, page1_panel17_onentry, page1_panel17_onmousepress),
    caption(5, "label8", AT(label8), 16, 16, 0, 18, 26).font(UNICODE_10).tag(0),
    caption(5, "label9", AT(label9), 12, 12, 40, 21, 48),
    tab_panel("panel10", AT(panel10), 3, FRAME_RAISED, "Pag.3_panel4;"),
    picture(4, "bitmap3", AT(bitmap3), 66, 76, 120, 120, FRAME_NONE, RLC1_ICO, &RLC1_ICO_ram, 3).caption("bitmap3")
        .bind(&rlc, VT_BYTE).on_entry(page1_bitmap3_onentry),
    form_line(4, TEdit, "edit11", AT(edit11)).at(48, 188).size(90, 38).colours(DARK_BLUE, YELLOW, YELLOW)
        .frame(FRAME_NONE).font(RLC_VALUE_FONT).caption(row(26)).bind(&rlc_valx, VT_REAL).number(1, 5)
        .flagged(OF_FOCUS | OF_EDIT).tag(1).on_entry(page1_edit11_onentry),
    caption(4, "label10", AT(label10), 164, 190, 51, 37, 32).font(RLC_UNIT_FONT).tag(0)
        .on_entry(page1_label10_onentry),
    picture(4, "bitmap4", AT(bitmap4), 484, 92, 300, 261, FRAME_NONE, RLC_BRIDGE_ICO, &RLC_BRIDGE_ICO_ram)
        .caption("bitmap4"),
    caption(4, "label11", AT(label11), 47, 292, 125, 28, 33).colours(TITLE_TEAL, BLACK, YELLOW).font(UNICODE_16)
        .tag(0),
    caption(4, "label12", AT(label12), 44, 324, 85, 21, 34),
    caption(4, "label13", AT(label13), 44, 348, 129, 21, 35),
    caption(4, "label15", AT(label15), 52, 232, 59, 25, 36).font(UNICODE_14).tag(0)
        .on_entry(page1_label15_onentry),
    form_line(4, TEdit, "edit13", AT(edit13)).at(124, 232).size(77, 26).colours(DARK_BLUE, YELLOW, YELLOW)
        .frame(FRAME_NONE).font(UNICODE_14).caption(row(37)).bind(&freq_best, VT_REAL).number(2, 7)
        .flagged(OF_FOCUS | OF_EDIT).tag(1).on_entry(page1_edit13_onentry),
    panel(4, "panel20", AT(panel20), 24, 20, 756, 48, TITLE_TEAL, FRAME_NONE, "panel20"),
    caption(5, "label16", AT(label16), 24, -4, 589, 50, 49).colours(TRANSPARENT, PALE_YELLOW, YELLOW)
        .font(UNICODE_28),
    caption(4, "label18", AT(label18), 44, 374, 135, 21, 51),
    panel(4, "panel21", AT(panel21), 28, 80, 236, 320, DARK_BLUE, FRAME_NONE, "panel21")
        .colours(DARK_BLUE, YELLOW, BLACK).on_entry(page1_panel21_onentry),
    picture(5, "bitmap6", AT(bitmap6), 84, 172, 122, 76, FRAME_RECT, CCC_ICO, &CCC_ICO_ram).caption("bitmap6"),
    caption(5, "label17", AT(label17), 88, 260, 108, 28, 38).font(UNICODE_16),
    picture(5, "bitmap5", AT(bitmap5), 4, 4, 224, 156, FRAME_NONE, AAAA_ICO, &AAAA_ICO_ram).caption("bitmap5")
        .colours(DARK_BLUE, BLACK, BLACK),
    caption(5, "label14", AT(label14), 84, 96, 115, 33, 50).font(UNICODE_18_BOLD),
    panel(3, "panel11", AT(panel11), 1, 435, 800, 55, MARKER_BLUE, FRAME_SUNKEN, "panel11").enable()
        .on_mousepress(page1_panel11_onmousepress),
    panel(4, "panel12", AT(panel12), 132, 16, 6, 6, YELLOW, FRAME_NONE, "panel12").on_entry(page1_panel12_onentry),
    readout("edit4", AT(edit4), 0, 10, 37, [](int) -> void* { return &ffreq; }).on_entry(page1_edit4_onentry),
    readout("edit2", AT(edit2), 0, 30, 39, at_marker<vna_s11_ros>),
    readout("edit3", AT(edit3), 168, 10, 40, at_marker<vna_s11_fase>),
    readout("edit5", AT(edit5), 168, 30, 41, at_marker<vna_s11_mag>),
    readout("edit6", AT(edit6), 348, 10, 42, at_marker<vna_s21_fase>),
    readout("edit7", AT(edit7), 348, 30, 43, at_marker<vna_s21_db>),
    readout("edit8", AT(edit8), 544, 10, 44, at_marker<vna_z_re, true>),
    readout("edit9", AT(edit9), 544, 30, 45, at_marker<vna_z_im>),
    form_line(4, TCheckbox, "checkbox7", AT(checkbox7)).at(748, 20).size(16, 16).colours(WHITE, BLACK, BLACK)
        .frame(FRAME_SUNKEN).font(FIXED_8).caption(row(46)).bind(&rlc_ok, VT_BYTE).tag(1).enable(),
    tab("button4", AT(button4), 325, 29, 3),
    tab_panel("panel18", AT(panel18), 4, FRAME_RAISED, "Pag.4_panel4;"),
    tab("button5", AT(button5), 487, 26, 4),
    tab_panel("panel19", AT(panel19), 5, FRAME_RAISED, "Pag.5_panel4;"),
    tab("button6", AT(button6), 649, 26, 5, BLACK),
    form_line(1, TPanel, "Co1", 0).at(16, 12).caption("object1").tag(1)
        .component(&combo_box_form, reinterpret_cast<void**>(&Co1)),
    command(1, "button1", AT(button1), 740, 12, 84, 24, 12, &MB15, page1_button1_onmousedown),
    form_line(1, TCheckbox, "checkbox6", AT(checkbox6)).at(533, 14).size(16, 20).colours(WHITE, BLACK, BLACK)
        .frame(FRAME_SUNKEN).font(UNICODE_12).caption(row(13)).bind(&contin, VT_DWORD).tag(1).enable(),
    form_line(1, TLabel, "label1", AT(label1)).at(108, 13).size(37, 21).colours(TRANSPARENT, BLACK, BLACK)
        .font(UNICODE_12).caption(row(14)).tag(1),
    panel(1, "panel13", AT(panel13), 856, 143, 64, 21, DARK_BLUE, FRAME_DOUBLE_SUNKEN, "panel13").enable()
        .on_mousedown(page1_panel13_onmousedown),
    form_line(2, TLabel, "label5", AT(label5)).at(8, 4).size(40, 18).colours(TRANSPARENT, BLACK, YELLOW)
        .font(CHOICE_FONT).caption(row(47)).on_entry(page1_label5_onentry),
    panel(1, "panel14", AT(panel14), 856, 175, 64, 21, DARK_BLUE, FRAME_DOUBLE_SUNKEN, "panel13").enable()
        .on_mousedown(page1_panel14_onmousedown),
    form_line(2, TLabel, "label6", AT(label6)).at(8, 1).size(40, 18).colours(TRANSPARENT, BLACK, YELLOW)
        .font(CHOICE_FONT).caption(row(47)).on_entry(page1_label6_onentry),
    picture(1, "bitmap2", AT(bitmap2), 930, 142, 54, 56, FRAME_RECT, PANELS_ICO, &PANELS_ICO_ram)
        .caption("bitmap2"),
    plot(1, "panel15", AT(panel15), 172, 608, 380, 188, page1_panel8_onentry, page1_panel8_onmousepress),
    caption(2, "label4", AT(label4), 9, 10, 35, 18, 47).font(UNICODE_10).tag(0)
        .on_create(page1_label2_oncreate).on_entry(page1_label2_onentry),
    form_line(1, TCheckbox, "checkbox8", AT(checkbox8)).at(856, 108).size(24, 24).colours(WHITE, BLACK, BLACK)
        .frame(FRAME_SUNKEN).font(UNICODE_12).caption(row(15)).bind(&slow, VT_BYTE).tag(1).enable(),
};
const FORM page1_form(page1_lines);

}  // namespace

page1_Struct* page1 = nullptr;

void form_page1() { form_run(page1_form, reinterpret_cast<void**>(&page1)); }
