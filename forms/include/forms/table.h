// Forms declared as tables: one line of constants per object in declaration order, each
// with its nesting depth, run by one generic Body and one generic Fork. A line reads like a
// row of an object table:
//
//   form_line(1, TButton, "connect", FORM_MEMBER(page1_Struct, connect))
//       .at(156, 12).size(112, 24).colours(146, 0, 0).frame(3)
//       .font(33, 2, 8, T_Arial_Unicode_MS_12).caption(LangVett[1])
//       .bind(&MB3, VT_BYTE).tag(1).enable().on_mousedown(page1_connect_onmousedown)
//
// The first line of a table (depth 0) is the form's own page object and names the size of
// the form structure; the lines after it with depth d + 1 up to the next line of depth d or
// less are the children of a line of depth d. The form structure starts with FORM_HEAD and
// holds one OBJ* per object at the offset the line names.
#pragma once

#include <cstddef>
#include <cstdint>

#include "forms/object.h"

// The start of every form structure.
struct FORM_HEAD {
    OBJ Body;   // the form's own page object
    OBJ* Form;  // points at Body
};

#define FORM_MEMBER(type, member) uint32_t(offsetof(type, member))

struct FORM;

struct FORM_OBJECT {
    int depth = 0;
    obj_kind_fn kind = nullptr;
    const char* name = "";
    uint32_t member = 0;     // offset of the record pointer in the form structure
    uint32_t form_size = 0;  // first line: size of the form structure
    int16_t x = 0, y = 0, width = 0, height = 0;
    // Colours as drawn: below 256 a palette index, else a direct colour 0xRRGGBBnn whose
    // low byte is the record's palette index.
    uint32_t bg = 0, border_colour = 0, text = 0;
    uint8_t align = 0, border = 0, decimals = 0, digits = 0;
    uint16_t frequency = 0;
    uint8_t enabled = 0;
    void* var = nullptr;              // null: the dummy Null
    void* (*var_at)(int index) = nullptr;  // the variable's address on every pass
    uint8_t vartype = VT_NONE;
    int tag_value = 0;
    uint8_t flags = 0;
    const char* text_caption = "";
    bool font_declared = false;
    uint8_t fontn = 0, fontx = 0, fonty = 0;
    const uint8_t* fontpnt = nullptr;
    const void* bitmap = nullptr;
    uint8_t bitmap_file = 0;
    void* bitmap_ram = nullptr;
    uint8_t numglyphs = 0;
    int16_t bitmap_x = 0, bitmap_y = 0;
    int16_t scala = 0;
    obj_handler_fn onfirst = nullptr, oncreate = nullptr, onentry = nullptr, onclick = nullptr,
                   onmousedown = nullptr, onmousepress = nullptr, onmouseup = nullptr, ondraw = nullptr,
                   onexitp = nullptr;
    obj_fork_fn custom_fork = nullptr;  // replaces the walk of the child lines
    const FORM* component_form = nullptr;  // an embedded form declared here
    void** component_var = nullptr;        // its global pointer
    int repeat = 1;                        // declared this many times (clones) ...
    int16_t step_x = 0, step_y = 0;        // ... moved by this much and with tag + i

    FORM_OBJECT at(int px, int py) const { auto c = *this; c.x = int16_t(px); c.y = int16_t(py); return c; }
    FORM_OBJECT size(int w, int h) const { auto c = *this; c.width = int16_t(w); c.height = int16_t(h); return c; }
    FORM_OBJECT colours(uint32_t b, uint32_t f, uint32_t t) const {
        auto c = *this; c.bg = b; c.border_colour = f; c.text = t; return c;
    }
    FORM_OBJECT frame(int style, int offset = 0) const {
        auto c = *this; c.align = uint8_t(style); c.border = uint8_t(offset); return c;
    }
    FORM_OBJECT font(int n, int fx, int fy, const uint8_t* data = nullptr) const {
        auto c = *this; c.font_declared = true; c.fontn = uint8_t(n); c.fontx = uint8_t(fx);
        c.fonty = uint8_t(fy); c.fontpnt = data; return c;
    }
    // A named font: any structure with n, x, y and data (the application's style header).
    template <class Font>
    FORM_OBJECT font(const Font& f) const { return font(f.n, f.x, f.y, f.data); }
    FORM_OBJECT caption(const char* s) const { auto c = *this; c.text_caption = s; return c; }
    FORM_OBJECT bind(void* v, uint8_t type) const { auto c = *this; c.var = v; c.vartype = type; return c; }
    FORM_OBJECT bind_at(void* (*f)(int), uint8_t type) const { auto c = *this; c.var_at = f; c.vartype = type; return c; }
    FORM_OBJECT number(int dec, int dig) const { auto c = *this; c.decimals = uint8_t(dec); c.digits = uint8_t(dig); return c; }
    FORM_OBJECT tag(int t) const { auto c = *this; c.tag_value = t; return c; }
    FORM_OBJECT flagged(int f) const { auto c = *this; c.flags = uint8_t(f); return c; }
    FORM_OBJECT every(int f) const { auto c = *this; c.frequency = uint16_t(f); return c; }
    FORM_OBJECT enable(bool e = true) const { auto c = *this; c.enabled = e; return c; }
    FORM_OBJECT image(const void* data, int cells = 1, void* ram = nullptr) const {
        auto c = *this; c.bitmap = data; c.numglyphs = uint8_t(cells); c.bitmap_ram = ram; c.bitmap_file = 0; return c;
    }
    FORM_OBJECT image_file(const char* path, int cells = 1) const {
        auto c = *this; c.bitmap = path; c.numglyphs = uint8_t(cells); c.bitmap_file = 1; return c;
    }
    FORM_OBJECT cell(int w, int h) const { auto c = *this; c.bitmap_x = int16_t(w); c.bitmap_y = int16_t(h); return c; }
    FORM_OBJECT scaled(int s) const { auto c = *this; c.scala = int16_t(s); return c; }
    FORM_OBJECT on_first(obj_handler_fn f) const { auto c = *this; c.onfirst = f; return c; }
    FORM_OBJECT on_create(obj_handler_fn f) const { auto c = *this; c.oncreate = f; return c; }
    FORM_OBJECT on_entry(obj_handler_fn f) const { auto c = *this; c.onentry = f; return c; }
    FORM_OBJECT on_click(obj_handler_fn f) const { auto c = *this; c.onclick = f; return c; }
    FORM_OBJECT on_mousedown(obj_handler_fn f) const { auto c = *this; c.onmousedown = f; return c; }
    FORM_OBJECT on_mousepress(obj_handler_fn f) const { auto c = *this; c.onmousepress = f; return c; }
    FORM_OBJECT on_mouseup(obj_handler_fn f) const { auto c = *this; c.onmouseup = f; return c; }
    FORM_OBJECT on_draw(obj_handler_fn f) const { auto c = *this; c.ondraw = f; return c; }
    FORM_OBJECT on_exit(obj_handler_fn f) const { auto c = *this; c.onexitp = f; return c; }
    FORM_OBJECT fork_with(obj_fork_fn f) const { auto c = *this; c.custom_fork = f; return c; }
    FORM_OBJECT component(const FORM* f, void** global) const {
        auto c = *this; c.component_form = f; c.component_var = global; return c;
    }
    FORM_OBJECT repeated(int n, int sx, int sy) const {
        auto c = *this; c.repeat = n; c.step_x = int16_t(sx); c.step_y = int16_t(sy); return c;
    }
};

// A whole table.
struct FORM {
    const FORM_OBJECT* lines;
    int count;
    template <int N>
    constexpr FORM(const FORM_OBJECT (&l)[N]) : lines(l), count(N) {}
    constexpr FORM(const FORM_OBJECT* l, int n) : lines(l), count(n) {}
};

// The first line of a form.
inline FORM_OBJECT form_head(obj_kind_fn kind, const char* name, size_t structure_size) {
    FORM_OBJECT l;
    l.kind = kind;
    l.name = name;
    l.form_size = uint32_t(structure_size);
    return l;
}
// Any other line.
inline FORM_OBJECT form_line(int depth, obj_kind_fn kind, const char* name, uint32_t member) {
    FORM_OBJECT l;
    l.depth = depth;
    l.kind = kind;
    l.name = name;
    l.member = member;
    return l;
}

// The form procedure of a table: declares its page object at 0, 0 (tag 1, caption "PAGE").
void form_run(const FORM& form, void** object_var);
// The generic Body and Fork.
void form_Body(void** object_var);
void form_Fork(void** object_var);
// Declares the child lines of the current object (custom Forks may call it and add more).
void form_children(void** object_var);
// Declares one line of the current object's table with its position, tag and variable
// replaced (a clone declared several times).
void form_object_at(const FORM_OBJECT* line, void** object_var, int x, int y, void* var, int tag);
// The line named name in the current object's table, or null.
const FORM_OBJECT* form_find(const FORM& form, const char* name);
// Frees the records and the structure of a form (and of the forms embedded in it) and sets
// its pointer to null, so that the next pass builds it again. Records live for the life of
// the program; this is for tests and for a program that drops a page for good.
void form_release(const FORM& form, void** object_var);
