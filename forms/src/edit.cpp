// Edit fields: focus, typing, commit and the printed value formats.
#include "forms/edit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "forms/object.h"
#include "forms/page.h"
#include "forms/widgets.h"
#include "gfx/draw.h"
#include "gfx/text.h"
#include "platform/input.h"

char edit_string[EDIT_STRING];
uint8_t _doubleclick = 0;

namespace {

constexpr size_t TEXT = 400;  // holds any %f of a float and any padded integer text
int last_key = 0;             // key seen by the previous typing step

bool signed_or_unsigned_integer(int type) {
    type &= 15;
    return type < 3 || type == VT_UBYTE || type == VT_UWORD || type == VT_UDWORD;
}

// A float truncated to 16 bits; values outside the 16-bit range give -32768.
int16_t to_int16(float f) {
    if (!(f >= -32768.0f && f < 32768.0f)) return INT16_MIN;
    return int16_t(f);
}

// A double truncated toward zero, keeping the low 32 bits.
int32_t to_int32_wrapping(double d) {
    if (!(std::fabs(d) < 9.2e18)) return INT32_MIN;
    return int32_t(uint32_t(uint64_t(int64_t(d))));
}

int box_height() {
    const char* cap = me->caption ? me->caption : "";
    return needs_ttf(cap) >= 1 ? bitmap_dy(cap) : me->height;
}

void fill_box() {
    const int b = me->border;
    v_rectfillc(x_x - 1 - b, y_y - 1 - b, dx + 1 + 2 * b, box_height() + 1 + 2 * b, obj_bg());
}

void commit() {
    const int d = edit_decimals();
    switch (me->vartype & 15) {
    case VT_BYTE:
    case VT_UBYTE:
        Var.Byte = int8_t(to_int16(input_num(d) / my_scala) & 0xFF);
        break;
    case VT_WORD:
    case VT_UWORD:
        Var.Word = to_int16(input_num(d) / my_scala);
        break;
    case VT_DWORD:
    case VT_UDWORD:
        Var.Dword = to_int32_wrapping(input_dnum(d) / double(my_scala));
        break;
    case VT_REAL:
        Var.Real = float(round_n(double(input_num(0) / my_scala), d));
        break;
    case VT_STRING:
    case VT_PASSWORD:
        std::memcpy(Var.String, edit_string, sizeof edit_string);
        Var.String[VAR_STRING - 1] = 0;
        break;
    case VT_DOUBLE:
        Var.Double = round_n(input_dnum(0) / double(my_scala), d);
        break;
    default:
        break;
    }
}

void print_stars(size_t n, bool pad) {
    char s[TEXT];
    if (n > 20) n = 20;
    std::memset(s, '*', n);
    size_t len = n;
    if (pad) {
        std::memset(s + n, ' ', 20);
        len += 20;
    }
    s[len] = 0;
    fill_edit_string(s);
}

void print_value() {
    char s[TEXT];
    const int type = me->vartype & 15;
    switch (type) {
    case VT_BYTE:
        std::snprintf(s, sizeof s, "        %d", int(int8_t(float(Var.Byte) * my_scala)));
        fill_edit_num(s);
        break;
    case VT_WORD:
        std::snprintf(s, sizeof s, "         %d", int(int16_t(float(Var.Word) * my_scala)));
        fill_edit_num(s);
        break;
    case VT_DWORD:
        std::snprintf(s, sizeof s, "          %ld", long(int32_t(double(Var.Dword) * my_scala)));
        fill_edit_num(s);
        break;
    case VT_REAL:
        std::snprintf(s, sizeof s, "@%f         ", round_n(double(Var.Real * my_scala), edit_decimals()));
        fill_edit_real(s);
        break;
    case VT_STRING:
        if (me->frequency == 2) fill_box();
        std::snprintf(s, sizeof s, "%s                  ", Var.String);
        fill_edit_string(s);
        break;
    case VT_PASSWORD:
        print_stars(strnlen(Var.String, VAR_STRING), true);
        break;
    case VT_UBYTE: {
        long v = long(int8_t(float(Var.Byte) * my_scala));
        std::snprintf(s, sizeof s, "          %ld", v < 0 ? v + 256 : v);
        fill_edit_num(s);
        break;
    }
    case VT_UWORD: {
        long v = long(int16_t(float(Var.Word) * my_scala));
        std::snprintf(s, sizeof s, "          %ld", v < 0 ? v + 65536 : v);
        fill_edit_num(s);
        break;
    }
    case VT_UDWORD:
        std::snprintf(s, sizeof s, "          %lu", static_cast<unsigned long>(uint32_t(Var.Dword) * my_scala));
        fill_edit_num(s);
        break;
    default:
        break;
    }
}

void print_typing() {
    const int type = me->vartype & 15;
    if (type == VT_PASSWORD) {
        print_stars(std::strlen(edit_string), false);
        return;
    }
    if (me->frequency == 2) fill_box();
    char s[TEXT];
    std::snprintf(s, sizeof s, "%s                  ", edit_string);
    fill_edit_string(s);
}

}  // namespace

int edit_digits() { return me->digits < EDIT_STRING - 1 ? me->digits : EDIT_STRING - 1; }

int edit_decimals() {
    const int n = edit_digits();
    int d = me->decimals;
    if (d > n - 1) d = n > 0 ? n - 1 : 0;
    return d;
}

float input_num(int decimali) {
    float v = float(std::atof(edit_string)) * std::pow(10.0f, float(decimali));
    if (signed_or_unsigned_integer(me->vartype)) {
        if (v > 0) v += 0.1f;
        if (v < 0) v -= 0.1f;
    }
    return v;
}

double input_dnum(int decimali) {
    double v = std::atof(edit_string) * std::pow(10.0, double(decimali));
    if (signed_or_unsigned_integer(me->vartype)) {
        if (v > 0) v += 0.1;
        if (v < 0) v -= 0.1;
    }
    return v;
}

double round_n(double x, int n) {
    const float p = std::pow(10.0f, float(n));
    return double(std::roundf(float(x * double(p)))) / double(p);
}

void input_string(int max) {
    int k = uint8_t(obj_inkey);
    if (CSET ? k == 128 : k >= 128) k = 0;
    if (k == last_key) return;
    last_key = k;
    if (k == 0) return;
    if (max > EDIT_STRING - 1) max = EDIT_STRING - 1;
    if (max < 0) max = 0;
    size_t len = std::strlen(edit_string);
    if (k == 8) {
        if (len) edit_string[len - 1] = 0;
        return;
    }
    // Escape always cancels, also when the buffer is full.
    if (k == 27) {
        edit_string[0] = 0;
        in_edit = 0;
        return;
    }
    if (k == 13 || len >= size_t(max)) {
        in_edit = 0;
        return;
    }
    edit_string[len] = char(k);
    edit_string[len + 1] = 0;
}

void edit_num_text(const char* src, char* out, int size) {
    char s[TEXT];
    std::snprintf(s, sizeof s, "%s", src);
    const int L = int(std::strlen(s));
    int n = edit_digits();
    if (n > L) n = L;
    int d = edit_decimals();
    if (d > n - 1) d = n > 0 ? n - 1 : 0;
    if (d > 0) {
        for (int i = L - d; i <= L - 1; i++) {
            if (i < 1) continue;
            if (s[i - 1] == '-') {
                if (L - d - 1 > 0) s[L - d - 2] = '-';
                s[i - 1] = '0';
            } else if (s[i - 1] == ' ') {
                s[i - 1] = '0';
            }
        }
        // "@", the integer part from L - n + 1 (n - d characters with the "@"), ".", the
        // last d characters.
        const int start = L - n + 1;
        const int int_chars = n - d - 1;
        std::snprintf(out, size_t(size), "@%.*s.%s", int_chars, s + start, s + L - d);
    } else {
        std::snprintf(out, size_t(size), "@%s", s + L - n);
    }
}

void edit_real_text(const char* src, char* out, int size) {
    char s[TEXT];
    std::snprintf(s, sizeof s, "%s", src[0] == '@' ? src + 1 : src);
    const int d = edit_decimals(), n = edit_digits();
    if (char* point = std::strchr(s, '.')) {
        if (d == 0)
            *point = 0;
        else if (int(std::strlen(point + 1)) > d)
            point[1 + d] = 0;
    }
    // Trailing blanks of the source text are not part of the number.
    size_t len = std::strlen(s);
    while (len && s[len - 1] == ' ') s[--len] = 0;
    // Right-aligned in n characters (n < EDIT_STRING), then cut to n.
    char aligned[TEXT];
    const size_t pad = size_t(n) > len ? size_t(n) - len : 0;
    std::memset(aligned, ' ', pad);
    const size_t take = std::min(len, sizeof aligned - 1 - pad);
    std::memcpy(aligned + pad, s, take);
    aligned[std::min(pad + take, size_t(n))] = 0;
    std::snprintf(out, size_t(size), "@%s", aligned);
}

void fill_edit_num(const char* s) {
    char out[TEXT];
    edit_num_text(s, out, sizeof out);
    v_print(out);
}

void fill_edit_real(const char* s) {
    char out[TEXT];
    edit_real_text(s, out, sizeof out);
    v_print(out);
}

void fill_edit_string(const char* src) {
    const char* cap = me->caption ? me->caption : "";
    bitmap_dy(cap);
    char s[TEXT];
    const int n = edit_digits();
    const int keep = n + (src[0] == '@' ? 1 : 0);
    std::snprintf(s, sizeof s, "%.*s", keep, src);
    if (!s[0] || n == 0) return;
    if (needs_ttf(cap) >= 1 && widget_ttf_text(x_x, y_y, s, uint32_t(obj_fg()), true)) return;
    v_print(s);
}

void TEdit() {
    widget_prologue();

    const int k = uint8_t(obj_inkey);
    if (_tastiera && _focus && _doubleclick && k != 0 && k != 128) {
        obj_focus = 0;
        _keydown = 0;
        in_edit = old_edit = obj_num;
        edit_string[0] = 0;
        last_key = 0;
        set_focus_refresh = 1;
    }
    if (in_edit == obj_num) {
        input_string(edit_digits());
        this_refresh = 1;
    }
    if (old_edit == obj_num && in_edit == 0) {
        old_edit = 0;
        if (edit_string[0]) commit();
        this_refresh = 1;
    }
    if (_keyactive) {
        sub_onclick();
        if ((me->autorefresh & OF_EDIT) && _abilita_azione_click && !(me->autorefresh & OF_AUTOREFRESH) &&
            _keydown) {
            if (!_focus && _doubleclick) {
                set_focus_refresh = 1;
            } else {
                obj_focus = 0;
                _keydown = 0;
                if (!_tastiera) {
                    in_edit = old_edit = obj_num;
                    edit_string[0] = 0;
                    last_key = 0;
                }
                set_focus_refresh = 1;
            }
        }
    }

    set_default_font();
    sub_onrepaint();
    if (_abilita_azione) {
        fill_box();
        bevel(me->border);
        side_caption(x_x + dx + 8 + me->border, x_x + dx + 8, true);
    }
    sub_ondraw();
    if (_abilita_azione) {
        dx = me->width;
        dy = me->height;
        if (_focus && _doubleclick && _canfocus && _canedit)
            v_color(obj_fg(), obj_bg());
        else
            v_color(obj_bg(), obj_fg());
        v_setfontall(_fontn, _fontx, _fonty, _fontpnt);
        v_locate(x_x, y_y + (dy + str_dy()) / 2 + 1);
        if (in_edit == obj_num)
            print_typing();
        else
            print_value();
        bevel(me->border);
        widget_epilogue();
    }
    me->vartype &= 15;
}
