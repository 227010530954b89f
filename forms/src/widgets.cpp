// The widget kinds, frames and text measurement.
#include "forms/widgets.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "forms/object.h"
#include "forms/page.h"
#include "gfx/draw.h"
#include "gfx/image.h"
#include "gfx/text.h"
#include "platform/display.h"

char PAGE_FONT[TTF_NAME];
char PROJECT_FONT[TTF_NAME];
const int fontsiz[7] = {8, 16, 24, 8, 16, 24, 32};

namespace {

inline const char* caption_of() { return me->caption ? me->caption : ""; }

void copy_name(char* dst, const char* src) {
    const size_t n = strnlen(src, TTF_NAME - 1);
    std::memmove(dst, src, n);
    dst[n] = 0;
}

}  // namespace

void widget_prologue() {
    copy_name(DEFAULT, DEFA[obj_level > 0 ? obj_level - 1 : 0]);
    dx = me->width;
    dy = me->height;
    if (_fontn == FONT_UNICODE_NUM && _fontpnt) _fonty = _fontpnt[3];
}

void widget_epilogue() {
    copy_name(DEFA[obj_level], DEFAULT);
    if (!*me->enabled) dx = dy = -32;
    sub_onend();
}

namespace {

void select_declared_font() { v_setfontall(_fontn, _fontx, _fonty, _fontpnt); }

// Click handlers, then the repaint and draw gates: true when the object draws now, with the
// drawn size set to its own.
bool click_then_draw() {
    if (_keyactive) sub_onclick();
    set_default_font();
    sub_onrepaint();
    sub_ondraw();
    if (!_abilita_azione_draw) return false;
    dx = me->width;
    dy = me->height;
    return true;
}

// An image caption ("$" and a file name) with a relative file name taken in the start
// directory. The process's current directory is never changed for it: other tasks open
// their own files by relative names at the same time.
std::string in_start_dir(const char* name) {
    const char* file = name[0] == '$' ? name + 1 : name;
    if (!MyDir[0] || !file[0] || file[0] == '/') return name;
    return std::string(name, file) + MyDir + "/" + file;
}

}  // namespace

int paint_from_mydir(const char* name) { return v_paint(in_start_dir(name).c_str()); }

namespace {

int bitmap_measure(const char* s, bool width) {
    const char* cap = me ? me->caption : nullptr;
    if (cap && needs_ttf(cap) >= 1) {
        const int t = needs_ttf(cap);
        if (!s) return 0;
        const char* font = t == 3 ? DEFAULOLD : _fontn < 13 ? "default.ttf" : "cour.ttf";
        const float size = font_size ? float(font_size) : float(_fonty);
        int w = 0, h = 0;
        measure_text_ttf(s, font, size, &w, &h);
        return width ? w : h;
    }
    vid_vect& v = vid[perif];
    if (!s) return width ? v.HDX : v.HDY;
    // Only image captions name files; other texts are never opened as file names.
    if (s[0] != '$') return 0;
    int w = 0, h = 0;
    if (!bmp_size(in_start_dir(s).c_str(), &w, &h)) w = h = 0;
    v.HDX = int16_t(w);
    v.HDY = int16_t(h);
    return width ? w : h;
}

// Width of s in the Unicode font at p.
int unicode_width(const uint8_t* p, const char* s) {
    if (!p) return 8;
    const bool unicode = p[7] != 0;
    int w = 0;
    const auto* u = reinterpret_cast<const uint8_t*>(s);
    for (size_t i = 0; u[i];) {
        int code = u[i];
        if (unicode && u[i] == 0xEF && u[i + 1] == 0xBB && u[i + 2] == 0xBF) {
            i += 3;
            continue;
        }
        if (unicode && u[i] >= 0xC0 && u[i + 1] >= 0x80 && u[i + 1] <= 0xBF) {
            code = ((u[i] & 31) << 6) + (u[i + 1] & 63);
            i += 2;
        } else {
            i++;
        }
        if (code < 32 || code >= 32 + UNICODE_GLYPHS) continue;
        w += int(font_u32(p + UNICODE_HEADER + 4 * size_t(code - 32)) >> 24);
    }
    return w;
}

}  // namespace

void side_caption(int locate_x, int x, bool label) {
    const char* cap = caption_of();
    v_locate(locate_x, y_y + (dy + str_dy()) / 2);
    select_declared_font();
    v_color(4, obj_frame());
    if (cap[0] == '$') {
        const int h = bitmap_dy(cap);
        v_locate(x, y_y + (dy - h) / 2);
        paint_from_mydir(cap);
    } else if (!widget_ttf_text(x, y_y + (dy - bitmap_dy(cap)) / 2, cap, uint32_t(obj_frame()), label)) {
        v_print(cap);
    }
}

const char* widget_ttf_font(const char* text, bool label) {
    const int t = needs_ttf(text);
    if (t == 0) return nullptr;
    if (t == 5) return "default.ttf";
    if (t == 3 && (!label || _fontn != FONT_UNICODE_NUM)) return DEFAULOLD;
    if (_fontn == FONT_UNICODE_NUM) return "default.ttf";
    if (_fontn > 12) return "cour.ttf";
    return "default.ttf";
}

int widget_ttf_text(int x, int y, const char* text, uint32_t palette_colour, bool label) {
    const char* font = widget_ttf_font(text, label);
    if (!font) return 0;
    const float size = _fonty <= 4 ? float(font_size) : float(_fonty);
    const uint32_t colour = uint32_t(ToRGB(int(palette_colour))) << 8;
    return draw_text_ttf(x, y, text, font, size, colour);
}

void bevelxy(int X, int Y, int W, int H, int b) {
    int style = me->align;
    const int fc = obj_frame();
    if (style >= 6) return;
    if (style == 5) {
        v_rectc(X - 1 - b, Y - 1 - b, W + 2 + 2 * b, H + 2 + 2 * b, fc);
        style = 4;
    }
    if (style == 4) {
        v_rectc(X - 1 - b, Y - 1 - b, W + 1 + 2 * b, H + 1 + 2 * b, fc);
        return;
    }
    const int light = style & 1 ? 255 : 73, dark = style & 1 ? 73 : 255;
    if (style & 2) {
        v_linec(X - 1 - b, Y + H + b, W + 1 + 2 * b, 0, dark);
        v_linec(X + W + b, Y - 1 - b, 0, H + 1 + 2 * b, dark);
        v_linec(X - 1 - b, Y - 1 - b, W + 1 + 2 * b, 0, light);
        v_linec(X - 1 - b, Y - 1 - b, 0, H + 1 + 2 * b, light);
    }
    v_linec(X - 2 - b, Y + H + 1 + b, W + 3 + 2 * b, 0, dark);
    v_linec(X + W + 1 + b, Y - 2 - b, 0, H + 3 + 2 * b, dark);
    v_linec(X - 2 - b, Y - 2 - b, W + 3 + 2 * b, 0, light);
    v_linec(X - 2 - b, Y - 2 - b, 0, H + 3 + 2 * b, light);
}

void bevel(int b) { bevelxy(x_x, y_y, dx, dy, b); }

int bitmap_dx(const char* s) { return bitmap_measure(s, true); }
int bitmap_dy(const char* s) { return bitmap_measure(s, false); }

int str_dx(const char* s) {
    if (!s) {
        vid[perif].HDX = vid[perif].HDY = 0;
        return 0;
    }
    if (s[0] == '$') return bitmap_dx(s);
    if (needs_ttf(s) >= 1) return bitmap_dx(s);
    const int n = int8_t(_fontn) < 0 ? -1 : _fontn;
    if (n >= 0 && n <= 6) return int(std::strlen(s)) * _fontx * fontsiz[n];
    if (n == FONT_UNICODE_NUM) return unicode_width(_fontpnt, s);
    if (n < 0 || n >= FONT_COUNT || !v_fontpntvect[n]) return 0;
    const uint8_t* f = v_fontpntvect[n];
    int w = 0;
    for (const auto* p = reinterpret_cast<const uint8_t*>(s); *p; p++)
        if (*p >= 32 && *p < 128) w += f[*p - 28];
    return w;
}

int str_dy() {
    if (me && me->caption && needs_ttf(me->caption) >= 1) return bitmap_dy(me->caption);
    const int n = _fontn;
    if (n <= 6) return fontsiz[n] * _fonty;
    if (n == FONT_UNICODE_NUM) return _fontpnt ? _fontpnt[3] : 8;
    if (n < FONT_COUNT && v_fontpntvect[n]) return v_fontpntvect[n][3];
    return 8;
}

namespace {
void select_font(intptr_t font) {
    if (font >= 0 && font <= 255) {
        _fontn = uint8_t(font);
    } else {
        _fontpnt = reinterpret_cast<const uint8_t*>(font);
        _fontn = FONT_UNICODE_NUM;
    }
}
}  // namespace

int str_width(const char* s, intptr_t font) {
    if (font != 0) select_font(font);
    return str_dx(s);
}

int str_height(intptr_t font) {
    select_font(font);
    return str_dy();
}

void TPage() {
    widget_prologue();
    copy_name(PAGE_FONT, PROJECT_FONT);
    _changed = 0;
    if (_keyactive) sub_onclick();
    set_default_font();
    sub_onrepaint();
    if (_abilita_azione && me->color != 4) {
        v_color(obj_bg(), obj_bg());
        v_cls();
    }
    sub_ondraw();
    if (_abilita_azione) {
        dx = me->width;
        dy = me->height;
        widget_epilogue();
    }
}

void TPanel() {
    widget_prologue();
    if (me->autorefresh & OF_FOCUS) {
        _colonna++;
        _riga = 1;
    }
    if (_keyactive) {
        sub_onclick();
        if (_abilita_azione_click && me->vartype != VT_NONE) _changed |= _keydown;
    }
    set_default_font();
    sub_onrepaint();
    if (_abilita_azione) {
        dx = me->width;
        dy = me->height;
        if (_ondraw)
            _ondraw();
        else if (me->color != 4)
            v_rectfillc(x_x - 1, y_y - 1, dx + 1, dy + 1, obj_bg());
        bevel(0);
        widget_epilogue();
    }
}

void TLabel() {
    widget_prologue();
    const char* cap = caption_of();
    if (page_init) select_declared_font();
    if (_fontn == FONT_UNICODE_NUM && needs_ttf(cap) == 5) SET_FONT("", me->height);
    if (!click_then_draw()) return;
    v_locate(x_x, y_y + str_dy());
    select_declared_font();
    const int bg = obj_bg();
    v_color(bg, obj_fg());
    if (cap[0] == '$') {
        const int h = (dy - bitmap_dy(cap)) / 2, w = (dx - bitmap_dx(cap)) / 2;
        if (me->tag == 1) x_x = int16_t(x_x + 2 * w);
        if (me->tag == 2) x_x = int16_t(x_x + w);
        y_y = int16_t(y_y + h);
        if (me->color != 4) v_rectfillc(x_x, y_y, vid[perif].HDX, vid[perif].HDY, bg);
        v_locate(x_x, y_y);
        paint_from_mydir(cap);
    } else {
        const int w = (dx - str_dx(cap)) / 2;
        if (me->tag == 2) x_x = int16_t(x_x + w);
        if (me->tag == 1) x_x = int16_t(x_x + 2 * w);
        const int H = str_dy();
        y_y = int16_t(y_y - (H - me->height) / 2);
        v_locate(x_x, y_y + H);
        if (me->color != 4) v_rectfillc(x_x, y_y, bitmap_dx(cap), bitmap_dy(cap), bg);
        if (!widget_ttf_text(x_x, y_y, cap, uint32_t(obj_fg()), true)) {
            if (me->color != 4) v_rectfillc(x_x, y_y, bitmap_dx(cap), bitmap_dy(nullptr), bg);
            if (me->bordercolor || me->rgb_bordercolor) v_outlined(obj_frame());
            // The caption is printed as text: a "%" in it is shown, not taken as a format.
            v_printf("%s", cap);
        }
    }
    DEFAULOLD[0] = 0;
    widget_epilogue();
}

void TButton() {
    widget_prologue();
    const bool radio = me->autorefresh & OF_AUTOREFRESH;
    if (!radio && *me->enabled) Var.Byte = int8_t(_keypress);
    if (_keyactive) {
        sub_onclick();
        if (radio) Var.Byte = int8_t(me->tag);
    }
    const char* cap = caption_of();
    set_default_font();
    sub_onrepaint();
    if (_abilita_azione) {
        if (me->color != 4) v_rectfillc(x_x - 1, y_y - 1, dx + 1, dy + 1, obj_bg());
        const int w = (dx - str_dx(cap)) / 2, h = (dy + str_dy()) / 2;
        v_locate(x_x + w, y_y + h);
        select_declared_font();
        v_color(4, obj_fg());
        if (cap[0] == '$') {
            const int iw = (dx - bitmap_dx(cap)) / 2, ih = (dy - bitmap_dy(nullptr)) / 2;
            v_locate(x_x + iw, y_y + ih);
            paint_from_mydir(cap);
        } else if (!widget_ttf_text(x_x + (dx - bitmap_dx(cap)) / 2, y_y + (dy - bitmap_dy(cap)) / 2, cap,
                                    uint32_t(obj_fg()), false)) {
            v_print(cap);
        }
        me->align |= 1;
        bevel(0);
    }
    sub_ondraw();
    if (_abilita_azione) {
        dx = me->width;
        dy = me->height;
        const bool pressed = radio ? Var.Byte == int(me->tag) : Var.Byte != 0;
        if (pressed)
            me->align &= uint8_t(~1);
        else
            me->align |= 1;
        bevel(0);
        me->align |= 1;
        widget_epilogue();
    }
}

void TCheckbox() {
    widget_prologue();
    const bool radio = me->autorefresh & OF_AUTOREFRESH;
    if (_keyactive) {
        sub_onclick();
        if (_abilita_azione_click && _keydown) {
            if (radio)
                Var.Byte = int8_t(me->tag);
            else
                Var.Byte = (Var.Byte & 1) == 0 ? 1 : 0;
        }
    }
    set_default_font();
    sub_onrepaint();
    if (_abilita_azione) {
        if (me->color != 4) v_rectfillc(x_x - 1, y_y - 1, dy + 1, dy + 1, obj_bg());
        bevelxy(x_x, y_y, dx, dy, 0);
        side_caption(x_x + dy + 8, x_x + dy + 8, false);
    }
    sub_ondraw();
    if (_abilita_azione) {
        dx = me->width;
        dy = me->height;
        v_locate(x_x + (dy - 8) / 2, y_y + (dy - 8) / 2 + 8);
        v_setfont(0, 1, 1);
        v_color(obj_bg(), 0);
        const bool ticked = radio ? Var.Byte == int(me->tag) : Var.Byte != 0;
        v_print(ticked ? "X" : " ");
        x_x = int16_t(x_x - 5);
        y_y = int16_t(y_y - 5);
        dx += 10;
        dy += 10;
        widget_epilogue();
    }
}

namespace {

// Draws one cell (or the whole image) from memory or from a file.
void paint_bitmap(bool strip) {
    const uint8_t* data = nullptr;
    size_t size = 0;
    std::vector<uint8_t> file;
    if (_bitmap_file) {
        FILE* f = std::fopen(static_cast<const char*>(_bitmap), "rb");
        if (!f) return;
        uint8_t chunk[4096];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) file.insert(file.end(), chunk, chunk + n);
        std::fclose(f);
        data = file.data();
        size = file.size();
    } else {
        data = static_cast<const uint8_t*>(_bitmap);
    }
    if (!data) return;
    if (!strip) {
        if (_bitmap_file)
            v_paints_sized(data, size, _scala);
        else
            v_paints(data, _scala);
        return;
    }
    if (_bitmap_file) {
        // A file strip is drawn only when it is whole; the cell painter trusts its data.
        IMAGE_INFO info;
        if (!image_scan(data, size, &info) || !info.complete) return;
    }
    v_paintx(data, _bitmap_x, _bitmap_y, me->glyph * _bitmap_x, _scala);
}

}  // namespace

void TBitmap() {
    widget_prologue();
    if (_scala == 0) {
        _scala = 256;
        _bitmap_x = me->width;
        _bitmap_y = me->height;
    }
    me->glyph = uint8_t(Var.Byte);
    if (!click_then_draw()) return;
    const int b = me->border;
    if (me->color != 4) v_rectfillc(x_x - 1 - b, y_y - 1 - b, dx + 1 + 2 * b, dy + 1 + 2 * b, obj_bg());
    bevel(b);
    if (_numglyphs == 0) _numglyphs = 1;
    v_locate(x_x, y_y);
    v_color(4, 4);
    if (_bitmap) {
        if (_numglyphs <= 1) {
            paint_bitmap(false);
        } else {
            if (me->glyph >= _numglyphs) me->glyph = uint8_t(_numglyphs - 1);
            paint_bitmap(true);
        }
    }
    widget_epilogue();
}
