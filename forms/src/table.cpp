// Table-declared forms: the generic Body and Fork that run the lines of a form table.
#include "forms/table.h"

#include <cstdlib>
#include <cstring>

#include "forms/page.h"
#include "gfx/text.h"
#include "gfx/ttf.h"

namespace {

// The line that the next Body call declares, and the end of its table. Set just before
// object() and read by the Body before any child runs.
const FORM_OBJECT* next_line = nullptr;
const FORM_OBJECT* next_end = nullptr;

void split_colour(uint32_t value, uint8_t* index, uint32_t* rgb) {
    *index = uint8_t(value & 0xFF);
    *rgb = value > 255 ? value : 0;
}

OBJ** record_slot(const FORM_OBJECT* d, void** object_var) {
    if (d->form_size) return reinterpret_cast<OBJ**>(object_var);
    return reinterpret_cast<OBJ**>(static_cast<char*>(*object_var) + d->member);
}

void initialise(const FORM_OBJECT* d) {
    _obj_name = d->name;
    _obj_num = obj_num;
    me2->visible = me2->vishold = 1;
    me2->enabled = d->enabled;
    me->width = d->width;
    me->height = d->height;
    me->vartype = d->vartype;
    const bool has_children = d + 1 < next_end && (d + 1)->depth > d->depth && !d->component_form;
    me->fork = d->custom_fork ? d->custom_fork : has_children ? form_Fork : nullptr;
    me->frequency = d->frequency;
    split_colour(d->bg, &me->color, &me->rgb_color);
    split_colour(d->border_colour, &me->bordercolor, &me->rgb_bordercolor);
    split_colour(d->text, &me->fontcolor, &me->rgb_fontcolor);
    me->border = d->border;
    me->align = d->align;
    me->decimals = d->decimals;
    me->digits = d->digits;
    fix_object();
    if (d->form_size) reinterpret_cast<FORM_HEAD*>(me)->Form = me;
}

void declare(const FORM_OBJECT* d, const FORM_OBJECT* end, void** object_var, int i) {
    void* var = d->var_at ? d->var_at(i) : d->var;
    if (!var) var = &Null;
    const int16_t x = int16_t(d->x + i * d->step_x), y = int16_t(d->y + i * d->step_y);
    if (d->component_form) {
        const FORM& f = *d->component_form;
        next_line = f.lines;
        next_end = f.lines + f.count;
        global_scala = 0;
        global_component(f.lines[0].kind, d->component_var, form_Body, x, y, var, d->vartype, d->tag_value + i,
                         d->flags, d->text_caption);
        return;
    }
    next_line = d;
    next_end = end;
    object(d->kind, object_var, form_Body, x, y, var, d->vartype, d->tag_value + i, d->flags, d->text_caption);
}

}  // namespace

void form_Body(void** object_var) {
    const FORM_OBJECT* d = next_line;
    if (!d || (!d->form_size && !*object_var)) return;
    OBJ** slot = record_slot(d, object_var);
    me = *slot;
    if (!me) {
        void* p = std::calloc(1, d->form_size ? d->form_size : sizeof(OBJ));
        if (!p) return;  // no memory: the object is left out of this pass
        *slot = me = static_cast<OBJ*>(p);
        page_reset = 1;
        initialise(d);
    } else if (page_reset || __clone) {
        initialise(d);
    } else if (page_init) {
        _obj_name = d->name;
        _obj_num = obj_num;
        me2->visible = me2->vishold = 1;
        me2->enabled = d->enabled;
    }
    me->decl = d;
    me->decl_end = next_end;
    if (d->form_size) {
        _pagename = d->name;
        me1 = me;
    }
    if (d->font_declared) {
        _fontn = d->fontn;
        _fontx = d->fontx;
        _fonty = d->fonty;
        if (d->fontn == FONT_UNICODE_NUM) _fontpnt = d->fontpnt;
    }
    if (d->bitmap) {
        _bitmap = d->bitmap;
        _bitmap_file = d->bitmap_file;
        _bitmap_ram = d->bitmap_ram;
        _numglyphs = d->numglyphs;
        if (d->bitmap_x) _bitmap_x = d->bitmap_x;
        if (d->bitmap_y) _bitmap_y = d->bitmap_y;
    }
    if (d->scala) _scala = d->scala;
    _canerase = 1;
    _onfirst = d->onfirst;
    _oncreate = d->oncreate;
    _onentry = d->onentry;
    _onclick = d->onclick;
    _onmousedown = d->onmousedown;
    _onmousepress = d->onmousepress;
    _onmouseup = d->onmouseup;
    _ondraw = d->ondraw;
    _onexitp = d->onexitp;
}

void form_children(void** object_var) {
    if (!*object_var || !me || !me->decl) return;
    const FORM_OBJECT* d = me->decl;
    const FORM_OBJECT* end = me->decl_end;
    for (const FORM_OBJECT* c = d + 1; c < end && c->depth > d->depth; c++) {
        if (c->depth != d->depth + 1) continue;
        for (int i = 0; i < c->repeat; i++) declare(c, end, object_var, i);
        if (page_invalidate) return;
    }
}

void form_Fork(void** object_var) { form_children(object_var); }

void form_object_at(const FORM_OBJECT* line, void** object_var, int x, int y, void* var, int tag) {
    if (!*object_var) return;
    next_line = line;
    next_end = me && me->decl_end ? me->decl_end : line + 1;
    object(line->kind, object_var, form_Body, int16_t(x), int16_t(y), var ? var : &Null, line->vartype, tag,
           line->flags, line->text_caption);
}

void form_run(const FORM& form, void** object_var) {
    next_line = form.lines;
    next_end = form.lines + form.count;
    const FORM_OBJECT& p = form.lines[0];
    object(p.kind, object_var, form_Body, 0, 0, &Null, VT_NONE, 1, 0, "PAGE");
}

const FORM_OBJECT* form_find(const FORM& form, const char* name) {
    for (int i = 0; i < form.count; i++)
        if (std::strcmp(form.lines[i].name, name) == 0) return &form.lines[i];
    return nullptr;
}

void form_release(const FORM& form, void** object_var) {
    char* base = static_cast<char*>(*object_var);
    if (!base) return;
    for (int i = 1; i < form.count; i++) {
        const FORM_OBJECT& l = form.lines[i];
        if (l.component_form) {
            form_release(*l.component_form, l.component_var);
            continue;
        }
        OBJ** slot = reinterpret_cast<OBJ**>(base + l.member);
        std::free(*slot);
        *slot = nullptr;
    }
    std::free(base);
    *object_var = nullptr;
}
