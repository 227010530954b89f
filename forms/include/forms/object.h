// Object records and form loading: the persistent record of each object (OBJ), the status
// table shared by all pages, the value cell, the runtime cursor, the per-pass declaration
// variables that Bodies write, and object(), which declares and executes one object.
//
// A page is re-declared on every pass: its form procedure declares the page object, whose
// Fork declares its children, and so on. Every declaration is one object() call: the Body
// finds or creates the record and re-states the per-pass attributes, then the object runs
// (forms/page.h). Everything here is used by the page-loop thread only.
#pragma once

#include <cstddef>
#include <cstdint>

struct FORM_OBJECT;

using obj_kind_fn = void (*)();             // TPage, TLabel, ...
using obj_body_fn = void (*)(void** object_var);
using obj_fork_fn = void (*)(void** object_var);
using obj_handler_fn = void (*)();

// The persistent record of one object; allocated zeroed on the form's first pass and kept.
struct OBJ {
    obj_fork_fn fork;     // declares the children; null without children
    const char* caption;  // points at the declared text (not copied); "$name" = image file
    int16_t left, top;    // relative to the parent's top-left corner
    int16_t width, height;
    uint16_t tag;         // label alignment, radio value, switch_page value
    uint16_t Lang;        // language index the caption was last set for
    uint16_t frequency;   // value poll divider; 1 also redraws on every pass
    uint8_t vartype;      // VT_* below
    void* var;            // the bound application variable
    int32_t para[8];      // not read; zero
    uint8_t color;        // background palette index, 4 = transparent
    uint8_t bordercolor;
    uint8_t fontcolor;
    uint8_t align;        // frame style 0..5, 6 and above none
    uint8_t border;       // frame and hit-rectangle offset
    uint8_t glyph;        // image cell shown by bitmaps
    uint8_t decimals;
    uint8_t digits;
    uint8_t riga, colonna;      // not used; zero
    uint8_t canfocus, canedit;  // not read; the flags decide
    uint8_t autorefresh;        // the object() flags
    uint8_t* visible;     // the STATUS bytes of the object's number
    uint8_t* enabled;
    uint8_t* vishold;
    uint32_t rgb_color;   // ORed with the palette index for drawing
    uint32_t rgb_bordercolor;
    uint32_t rgb_fontcolor;
    // Table-declared objects: the declaration line and the end of its table (forms/table.h).
    const FORM_OBJECT* decl;
    const FORM_OBJECT* decl_end;
};

// Per-object-number state, shared by every page: object n of any page uses entry n.
struct STATUS {
    uint32_t hold;     // value checksum at the last check
    uint32_t status;   // appearance checksum
    uint32_t status2;  // geometry checksum
    uint8_t vishold;   // visibility last drawn
    uint8_t visible;
    uint8_t enabled;   // takes pointer input, gets a hit rectangle
    uint8_t valid;     // not read
};
inline constexpr int OBJ_STATUS_COUNT = 1000;
inline constexpr int OBJ_LEVELS = 80;
extern STATUS obj_stat[OBJ_STATUS_COUNT];

// The value cell: the bound variable is copied in before the object runs, the widget reads
// and changes the cell, and the runtime writes it back when it changed.
inline constexpr int VAR_STRING = 64;
union VAR_CELL {
    int8_t Byte;
    int16_t Word;
    int32_t Dword;
    float Real;
    double Double;
    char String[VAR_STRING];
    const char* Label;
};
extern VAR_CELL Var;

// Variable types.
enum : uint8_t {
    VT_BYTE = 0,       // 8-bit signed
    VT_WORD = 1,       // 16-bit signed
    VT_DWORD = 2,      // 32-bit signed
    VT_REAL = 3,       // float
    VT_STRING = 4,     // zero-terminated text
    VT_PASSWORD = 5,   // text shown as "*"
    VT_NONE = 7,       // no variable
    VT_UBYTE = 8,
    VT_UWORD = 9,
    VT_UDWORD = 10,
    VT_DOUBLE = 11,    // checksum and edit conversion only; never copied or written back
};

// Flag bits of object() (stored in autorefresh).
enum : uint8_t {
    OF_AUTOREFRESH = 1,  // periodic redraw; radio behaviour for buttons and check boxes
    OF_FOCUS = 2,
    OF_EDIT = 4,
    OF_ARRAY = 8,        // with OF_FOCUS
    OF_CLONE = 64,       // the Body re-initialises the record on every pass
};

// The runtime cursor.
extern OBJ* me;        // current object
extern STATUS* me2;    // its status entry
extern OBJ* me1;       // record of the form being executed (page or component)
extern uint16_t obj_num;   // number of the current object (n-th declared in this pass)
extern uint8_t obj_level;  // nesting depth; the page runs at 1
extern int16_t x_x, y_y;   // absolute position of the parent, then of the object itself
extern int16_t mouse_x, mouse_y;  // pointer relative to the object
extern obj_kind_fn obj_type;
extern obj_body_fn entry_address;
extern void (*page_address)();    // form procedure of the running page
extern int16_t __left, __top;
extern void* __var;
extern uint8_t __vartype;
extern const char* __caption;
extern uint16_t __tag;
extern uint8_t __autorefresh;
extern uint8_t __clone;           // inside an object declared with OF_CLONE
extern const char* _pagename;
extern const char* _obj_name;
extern int _obj_num;
extern void* me_p;

// Per-pass declaration variables. object() clears the handlers, _canerase, _scala and
// _mobile before each Body; the font (gfx/ttf.h, gfx/text.h) and image variables keep the
// value the last Body gave them.
extern obj_handler_fn _onfirst, _oncreate, _onentry, _onclick, _onmousedown, _onmousepress, _onmouseup,
    _ondraw, _onexitp;
extern uint8_t _canerase;    // hiding the object repaints its container
extern uint8_t _numglyphs;   // cells in the image strip
extern const void* _bitmap;  // stored image, or a file name when _bitmap_file is set
extern void* _bitmap_ram;    // image cache declared by Bodies; not used
extern uint8_t _bitmap_file;
extern int16_t _bitmap_x, _bitmap_y;  // cell size
extern int16_t _scala;       // image scale in 1/256, 0 = natural
extern uint8_t _mobile;
extern uint8_t _set_riga, _set_colonna;
extern uint8_t _freeze_clone;  // set by a handler: the object registers no redraw region
extern float my_scala;         // value scale of edit fields; 1.0 for every object

// Scratch that replaces the bound variable on the initialisation pass, and the dummy
// variables that forms bind when there is none.
extern uint8_t DRAIN[128];
extern int32_t Null;
extern int32_t VAR1;
// Language index; a change re-points every caption to its declared text on the next pass.
extern uint16_t Lang;
// Written 0 by the callers of global_component; not read.
extern int32_t global_scala;

// Declares and executes one object. var is the bound variable (&Null with VT_NONE when
// there is none); str the caption. Does nothing once a nested page has ended in this pass,
// or beyond the status table or the nesting limit.
void object(obj_kind_fn object_type, void** object_var, obj_body_fn object_sub, int16_t x, int16_t y,
            void* var, uint8_t vartype, int tag, uint8_t flags, const char* str);
// The same for an embedded form hanging on its own global pointer: me1 is kept for the
// objects declared after it.
void global_component(obj_kind_fn object_type, void** object_var, obj_body_fn object_sub, int16_t x,
                      int16_t y, void* var, uint8_t vartype, int tag, uint8_t flags, const char* str);
// Copies the arguments of the current object() call into me.
void fix_object();
// Copies the bound variable into Var, and Var back into it, by type (text at most 63
// characters); types without a variable read nothing and write nothing. Numbers are read and
// written as relaxed atomic words, so a variable another thread keeps in a std::atomic of
// the same size can be bound.
void var_load(const void* var, uint8_t vartype);
void var_store(void* var, uint8_t vartype);

// Builds a page without showing it (a reset and initialisation pass).
void Loadpage(void (*pageaddress)());
// Runs a page until a handler sets page_end. May be called from a handler of the running
// page: the rest of that page's pass is skipped, and the page redraws whole afterwards.
void Gopage(void (*pageaddress)());
// Called when a page ends with page_end 2; does nothing.
void destroy_page(int n);
// onentry handler for tab panels: while not pressed, visible exactly when the bound byte
// equals the tag.
void switch_page();
