// Object records, the declaration of one object and page loading.
#include "forms/object.h"

#include <cstring>

#include "forms/page.h"
#include "gfx/ttf.h"
#include "platform/input.h"

STATUS obj_stat[OBJ_STATUS_COUNT];
VAR_CELL Var;

OBJ* me = nullptr;
STATUS* me2 = nullptr;
OBJ* me1 = nullptr;
uint16_t obj_num = 0;
uint8_t obj_level = 0;
int16_t x_x = 0, y_y = 0;
int16_t mouse_x = 0, mouse_y = 0;
obj_kind_fn obj_type = nullptr;
obj_body_fn entry_address = nullptr;
void (*page_address)() = nullptr;
int16_t __left = 0, __top = 0;
void* __var = nullptr;
uint8_t __vartype = 0;
const char* __caption = nullptr;
uint16_t __tag = 0;
uint8_t __autorefresh = 0;
uint8_t __clone = 0;
const char* _pagename = "";
const char* _obj_name = "";
int _obj_num = 0;
void* me_p = nullptr;

obj_handler_fn _onfirst, _oncreate, _onentry, _onclick, _onmousedown, _onmousepress, _onmouseup, _ondraw,
    _onexitp;
uint8_t _canerase = 0;
uint8_t _numglyphs = 0;
const void* _bitmap = nullptr;
void* _bitmap_ram = nullptr;
uint8_t _bitmap_file = 0;
int16_t _bitmap_x = 0, _bitmap_y = 0;
int16_t _scala = 0;
uint8_t _mobile = 0;
uint8_t _set_riga = 0, _set_colonna = 0;
uint8_t _freeze_clone = 0;
float my_scala = 1.0f;

uint8_t DRAIN[128];
int32_t Null = 0;
int32_t VAR1 = 0;
uint16_t Lang = 0;
int32_t global_scala = 0;

namespace {
// Pages running one inside the other (Gopage from a handler).
int page_depth = 0;
}  // namespace

namespace {

// Bound words are read and written with relaxed atomic accesses: other threads (the device
// task) change them while the page runs, and a word they keep in a std::atomic is then
// shared without a data race. A misaligned variable is copied plainly.
template <class T>
void load_word(const void* var, T* cell) {
    if (reinterpret_cast<uintptr_t>(var) % alignof(T) == 0)
        *cell = __atomic_load_n(static_cast<const T*>(var), __ATOMIC_RELAXED);
    else
        std::memcpy(cell, var, sizeof(T));
}
template <class T>
void store_word(void* var, const T* cell) {
    if (reinterpret_cast<uintptr_t>(var) % alignof(T) == 0)
        __atomic_store_n(static_cast<T*>(var), *cell, __ATOMIC_RELAXED);
    else
        std::memcpy(var, cell, sizeof(T));
}

}  // namespace

void var_load(const void* var, uint8_t vartype) {
    switch (vartype) {
    case VT_BYTE:
    case VT_UBYTE:
        load_word(var, &Var.Byte);
        break;
    case VT_WORD:
    case VT_UWORD:
        load_word(var, &Var.Word);
        break;
    case VT_DWORD:
    case VT_REAL:
    case VT_UDWORD:
        load_word(var, &Var.Dword);
        break;
    case VT_STRING:
    case VT_PASSWORD: {
        // The cell holds 63 characters; a longer text is cut instead of overrunning it.
        const char* s = static_cast<const char*>(var);
        size_t n = strnlen(s, VAR_STRING - 1);
        std::memcpy(Var.String, s, n);
        Var.String[n] = 0;
        break;
    }
    default:
        Var.Dword = 0;
        break;
    }
}

void var_store(void* var, uint8_t vartype) {
    switch (vartype) {
    case VT_BYTE:
    case VT_UBYTE:
        store_word(var, &Var.Byte);
        break;
    case VT_WORD:
    case VT_UWORD:
        store_word(var, &Var.Word);
        break;
    case VT_DWORD:
    case VT_REAL:
    case VT_UDWORD:
        store_word(var, &Var.Dword);
        break;
    case VT_STRING:
    case VT_PASSWORD: {
        size_t n = strnlen(Var.String, VAR_STRING - 1);
        std::memcpy(var, Var.String, n);
        static_cast<char*>(var)[n] = 0;
        break;
    }
    default:
        break;
    }
}

void fix_object() {
    me->left = __left;
    me->top = __top;
    me->vartype = __vartype;
    me->var = __var;
    me->caption = __caption;
    me->tag = __tag;
    me->autorefresh = __autorefresh;
}

namespace {

void point_status() {
    me->visible = &me2->visible;
    me->enabled = &me2->enabled;
    me->vishold = &me2->vishold;
    if (me->Lang != Lang) {
        me->Lang = Lang;
        me->caption = __caption;
    }
}

}  // namespace

void object(obj_kind_fn object_type, void** object_var, obj_body_fn object_sub, int16_t x, int16_t y,
            void* var, uint8_t vartype, int tag, uint8_t flags, const char* str) {
    if (page_invalidate) return;
    // Forms beyond the status table or the level stacks are not run (they would write past
    // them).
    if (obj_num + 1 >= OBJ_STATUS_COUNT || obj_level + 1 >= OBJ_LEVELS) return;

    obj_type = object_type;
    entry_address = object_sub;
    _onfirst = _oncreate = _onentry = _onclick = _onmousedown = _onmousepress = _onmouseup = _ondraw =
        _onexitp = nullptr;
    _mobile = 0;
    _scala = 0;
    _canerase = 0;
    _set_riga = _set_colonna = 0;
    __left = x;
    __top = y;
    __var = var;
    __vartype = vartype;
    __caption = str;
    __tag = uint16_t(tag);
    __autorefresh = flags;
    const uint8_t saved_clone = __clone;
    __clone |= flags & OF_CLONE;
    _freeze_clone = 0;

    // The initialisation pass neither reads nor writes application variables.
    if (page_init) var = DRAIN;
    var_load(var, vartype);

    my_scala = 1.0f;
    obj_num++;
    me = nullptr;
    me2 = &obj_stat[obj_num];
    obj_level++;
    me_p = nullptr;

    if (entry_address) entry_address(object_var);

    if (_cached_field) {
        // Inside an invisible container: keep the subtree numbered and current, but draw
        // nothing and take no input.
        xcampi_dx[obj_num] = xcampi_dy[obj_num] = 0;
        if (me) {
            if (page_init) me2->hold = var_checksum(me->vartype);
            point_status();
            if (__clone) fix_object();
            if (page_init && !page_reset && _onfirst) _onfirst();
            if (me->fork) me->fork(object_var);
        }
    } else if (me) {
        point_status();
        if (__clone) {
            fix_object();
            me2->status = obj_checksum();
            me2->status2 = obj_checksum2();
        }
        obj_exec(var, object_var);
    }

    obj_level--;
    __clone = saved_clone;
}

void global_component(obj_kind_fn object_type, void** object_var, obj_body_fn object_sub, int16_t x,
                      int16_t y, void* var, uint8_t vartype, int tag, uint8_t flags, const char* str) {
    OBJ* saved = me1;
    object(object_type, object_var, object_sub, x, y, var, vartype, tag, flags, str);
    me1 = saved;
}

namespace {

struct Cursor {
    OBJ* me;
    OBJ* me1;
    STATUS* me2;
    uint16_t obj_num;
    uint8_t obj_level;
    int16_t x_x, y_y;
    void (*page_address)();
};

Cursor save_cursor() { return {me, me1, me2, obj_num, obj_level, x_x, y_y, page_address}; }

void restore_cursor(const Cursor& c) {
    me = c.me;
    me1 = c.me1;
    me2 = c.me2;
    obj_num = c.obj_num;
    obj_level = c.obj_level;
    x_x = c.x_x;
    y_y = c.y_y;
    page_address = c.page_address;
}

}  // namespace

void Loadpage(void (*pageaddress)()) {
    const Cursor c = save_cursor();
    ttf_obj_level = &obj_level;
    page_address = pageaddress;
    page_reset = 1;
    edit_page_init();
    restore_cursor(c);
}

void Gopage(void (*pageaddress)()) {
    const Cursor c = save_cursor();
    ttf_obj_level = &obj_level;
    page_address = pageaddress;
    page_depth++;
    edit_page();
    page_depth--;
    restore_cursor(c);
    if (page_depth > 0) {
        // The inner page drew over the outer one and cleared its hit rectangles; every
        // visible object of the outer page registers its area on its next pass, so the
        // page redraws whole and its hit rectangles come back.
        for (STATUS& s : obj_stat) s.vishold = 0;
    }
}

void destroy_page(int) {}

void switch_page() {
    if (!_keypress) *me->visible = Var.Byte == int(me->tag) ? 1 : 0;
}
