// The page loop and the execution of one object: input, the event order and its handlers,
// redraw decisions through checksums and redraw regions, write-back of the bound variable,
// focus, and the hit rectangles the pointer test uses on the next pass.
#pragma once

#include <cstdint>

#include "forms/object.h"

// Loop state.
extern uint8_t page_init;        // 1 during the initialisation pass
extern uint8_t page_reset;       // non-zero: Bodies re-initialise their records
extern uint8_t page_end;         // set by a handler to end the page (2: also destroy_page)
extern uint8_t page_invalidate;  // a nested page ended: the rest of this pass is skipped
extern uint16_t obj_loop;        // pass counter
extern uint8_t obj_keypress;     // this pass's key code, 0 for none
// What v_inkey returned at the start of this pass. Widgets read it rather than calling
// v_inkey again: a second call would take a click or key latched since, and the page loop
// would never see it.
extern int8_t obj_inkey;
extern uint16_t obj_click;       // object under the pressed pointer, 0 for none
extern uint16_t obj_oldclick;    // obj_click of the previous pass
extern uint16_t obj_focus;       // object with the focus
extern uint16_t in_edit;         // edit field being typed into
extern uint16_t old_edit;        // edit field whose typing is to be committed
extern uint8_t set_page_refresh, page_refresh;
extern uint8_t set_focus_refresh, focus_refresh;
extern uint8_t obj_invalidate;
extern double _t_page;           // duration of the last declaration pass in seconds

// Per-object execution state.
extern uint8_t _keydown, _keypress, _keyup, _keyactive;
extern uint8_t _focus;
extern uint8_t obj_autorefresh, _canfocus, _canedit, _array;
extern uint8_t _changed, _extchanged;
extern uint8_t this_refresh, this_autorefresh;
extern uint8_t _abilita_azione, _abilita_azione_draw, _abilita_azione_repaint, _abilita_azione_click;
extern uint8_t _repaint_parent;
extern uint8_t _cached_field;
extern uint8_t _custom;
extern uint8_t _riga, _colonna;
extern int dx, dy;  // size the widget drew, for its hit rectangle

// Redraw regions: [x0, x1) x [y0, y1) and the number of the object that registered it; _red
// of this pass, _rep of the previous pass.
inline constexpr int REGIONS = 500;
extern int _redx0[REGIONS], _redy0[REGIONS], _redx1[REGIONS], _redy1[REGIONS], _redz[REGIONS];
extern int _repx0[REGIONS], _repy0[REGIONS], _repx1[REGIONS], _repy1[REGIONS], _repz[REGIONS];
extern int _red, _rep;

// Position and tag stacks by nesting level.
extern int16_t x_x_hold[OBJ_LEVELS], y_y_hold[OBJ_LEVELS];
extern uint16_t obj_tag[OBJ_LEVELS];

// Called instead of a 1 ms sleep while an ended page waits for the pointer and keys to be
// released (a headless driver releases its scripted input here). Null: sleep.
extern void (*page_release_wait)();

// Runs the page at page_address until page_end is set.
void edit_page();
// The initialisation pass: clears hit rectangles, pointer and focus state, and primes the
// checksums without reading or writing application variables.
void edit_page_init();
// One pass with input: 1 ms sleep (not on the headless display), refresh, input, do_page.
void edit_page_loop();
// One pass of the declaration, without reading input.
void do_page();

// Executes the current object after its Body ran; var receives the value cell.
void obj_exec(void* var, void** object_var);

// Widget support, called in this order: sub_onclick (only when _keyactive), sub_onrepaint,
// sub_ondraw, sub_onend (only when the widget drew). Each leaves its gate in _abilita_azione.
void sub_onclick();
void sub_onrepaint();
void sub_ondraw();
void sub_onend();

// Registers the rectangle of the current object for redraw on the next pass.
void _ridisegna_questa_area(int n, int x, int y);
// The same for this pass: objects from n on over the current object's area at (x, y) draw
// again in this pass, after it (a panel that drew over its captions).
void repaint_area_this_pass(int n, int x, int y);
// 1 when the current object overlaps a previous-pass region of itself or an earlier object.
int _se_dentro();

// Change detection (wrapping sums; only equality matters).
uint32_t var_checksum(int type);
uint32_t obj_checksum();
uint32_t obj_checksum2();
