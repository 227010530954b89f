// The port selector: a box showing the chosen port with a drop button, and the list of the
// scanned ports that opens under it. The box is w characters of 7 pixels wide, w being the
// tag the page declares the component with (below 2: 9).
#include "app/combo_box.h"

#include <algorithm>
#include <cstring>

#include "app/style.h"
#include "forms/edit.h"
#include "forms/page.h"
#include "forms/widgets.h"
#include "gfx/draw.h"
#include "platform/input.h"

TComboBox_Struct* Co1 = nullptr;
TComboBox_Struct* Combo_box = nullptr;

namespace {

constexpr int CHAR_PX = 7;
// A wider box would show, and could take, more than a field holds.
constexpr int MAX_CHARS = COMBO_TEXT - 1;
constexpr int ROW_PITCH = 19;

// The instance whose objects are being declared or run: the record of the running form.
TComboBox_Struct* self() { return Combo_box = reinterpret_cast<TComboBox_Struct*>(me1); }

// Copies text into a field of COMBO_TEXT bytes, cut to fit.
void copy_field(char* field, const char* text) {
    const size_t n = strnlen(text, COMBO_TEXT - 1);
    std::memmove(field, text, n);
    field[n] = 0;
}

// The box width in characters: the Form's tag, 9 when below 2, at most MAX_CHARS; the value
// used is written back.
int box_chars(TComboBox_Struct* c) {
    int w = c->Form->tag;
    if (w < 2) w = 9;
    w = std::min(w, MAX_CHARS);
    c->Form->tag = uint16_t(w);
    return w;
}

// numitems clamped to 0 .. COMBO_ITEMS and written back.
int item_count(TComboBox_Struct* c) {
    c->numitems = int8_t(std::clamp(int(c->numitems), 0, COMBO_ITEMS));
    return c->numitems;
}

// The current edit field shows w characters.
void show_chars(int w) {
    me->digits = uint8_t(w);
    me->width = int16_t(CHAR_PX * w);
}

// The box: takes no pointer input and is never typed into. Typing is cut at w characters,
// so a device path longer than the box ("/dev/ttyUSB0" in 9) would reach the connect
// command cut to another name; a device the scan did not list is linked as ports/COMn.
void edit1_entry() { show_chars(box_chars(self())); }

void edit1_draw() { v_rectc(x_x - 1, y_y - 1, me->width + 1, me->height + 1, int(WHITE)); }

// While the list is closed, a new choice (val differs from valh) shows its item. A val
// outside the list shows the first item, and an empty list an empty text.
void panel1_entry() {
    TComboBox_Struct* c = self();
    const int n = item_count(c);
    if (!c->active && (c->val != c->valh || c->val >= n)) {
        if (c->val < 0 || c->val >= n) c->val = 0;
        copy_field(c->text, n ? c->items[c->val] : "");
        c->valh = c->val;
    }
    me->width = int16_t(CHAR_PX * box_chars(c) + 21);
}

// The drop button, bound to extended as a radio button of value 1: shown pressed while the
// list is open.
void button1_entry() {
    TComboBox_Struct* c = self();
    c->extended = c->active;
    me->left = int16_t(CHAR_PX * box_chars(c) + 3);
}

void button1_mouseup() {
    TComboBox_Struct* c = self();
    c->active = !c->active;
}

void panel2_entry() { *me->visible = self()->active ? 1 : 0; }

// Row i (its tag) of the open list shows items[i] while i < numitems.
void edit2_entry() {
    TComboBox_Struct* c = self();
    const bool shown = c->active && me->tag < item_count(c);
    *me->visible = shown;
    _focus = 0;  // a row is picked, never typed into
    if (!shown) {
        // A clone is declared visible on every pass, so a row that stays hidden would repaint
        // its container on every pass. Only a row that was shown (it still has a hit
        // rectangle) repaints it, once, and its hit rectangle goes.
        if (!xcampi_dx[obj_num]) *me->vishold = 0;
        xcampi_dx[obj_num] = xcampi_dy[obj_num] = 0;
        return;
    }
    _freeze_clone = 1;  // the rows move on every declaration: no redraw regions of their own
    show_chars(box_chars(c));
}

// Picking a row closes the list; the next pass shows its item in the box. The changed digit
// count makes the row's containers repaint.
void edit2_mouseup() {
    TComboBox_Struct* c = self();
    _freeze_clone = 0;
    c->active = 0;
    c->val = int8_t(me->tag);
    me->digits = 1;
}

void* text_of(int) { return self()->text; }
void* extended_of(int) { return &self()->extended; }
void* item_of(int i) { return self()->items[i]; }

const FORM_OBJECT combo_box_table[] = {
    form_head(TPanel, "combo_box", sizeof(TComboBox_Struct)).size(84, 18).colours(TRANSPARENT, BLACK, BLACK)
        .frame(FRAME_NONE).font(FIXED_8),
    form_line(1, TPanel, "panel1", FORM_MEMBER(TComboBox_Struct, panel1)).at(2, 2).size(84, 18)
        .colours(TRANSPARENT, BLACK, BLACK).frame(FRAME_NONE).on_entry(panel1_entry),
    form_line(2, TEdit, "edit1", FORM_MEMBER(TComboBox_Struct, edit1)).at(1, 1).size(63, 17)
        .colours(WHITE, BLACK, BLACK).frame(FRAME_NONE).font(LIST_FONT).number(0, 9)
        .bind_at(text_of, VT_STRING).on_entry(edit1_entry).on_draw(edit1_draw),
    form_line(2, TButton, "button1", FORM_MEMBER(TComboBox_Struct, button1)).at(66, 2).size(17, 15)
        .colours(BUTTON_FACE, BLACK, BLACK).frame(FRAME_RAISED).font(DROP_FONT).caption("t")
        .bind_at(extended_of, VT_BYTE).tag(1).flagged(OF_AUTOREFRESH).enable()
        .on_entry(button1_entry).on_mouseup(button1_mouseup),
    form_line(2, TPanel, "panel2", FORM_MEMBER(TComboBox_Struct, panel2)).at(2, 21).size(64, 376)
        .colours(TRANSPARENT, BLACK, BLACK).frame(FRAME_NONE).on_entry(panel2_entry),
    form_line(3, TEdit, "edit2", FORM_MEMBER(TComboBox_Struct, edit2)).at(-1, 1).size(63, 17)
        .colours(WHITE, LIST_LINE, BLACK).frame(FRAME_RECT).font(LIST_FONT).number(0, 9)
        .bind_at(item_of, VT_STRING).flagged(OF_CLONE).enable().repeated(COMBO_ITEMS, 0, ROW_PITCH)
        .on_entry(edit2_entry).on_mouseup(edit2_mouseup),
};

}  // namespace

const FORM combo_box_form(combo_box_table);

void combo_text(const TComboBox_Struct* c, char* out, size_t n) {
    if (!out || n == 0) return;
    const size_t len = c ? strnlen(c->text, std::min(n - 1, size_t(COMBO_TEXT - 1))) : 0;
    if (len) std::memcpy(out, c->text, len);
    out[len] = 0;
}
