// The page loop, the event order of one object, redraw regions and checksums.
#include "forms/page.h"

#include <sys/prctl.h>

#include <cstring>

#include "forms/widgets.h"
#include "gfx/ttf.h"
#include "platform/clock.h"
#include "platform/cycle.h"
#include "platform/display.h"
#include "platform/input.h"
#include "platform/lock.h"
#include "platform/tasks.h"

uint8_t page_init = 0;
uint8_t page_reset = 0;
uint8_t page_end = 0;
uint8_t page_invalidate = 0;
uint16_t obj_loop = 0;
uint8_t obj_keypress = 0;
int8_t obj_inkey = 0;
uint16_t obj_click = 0;
uint16_t obj_oldclick = 0;
uint16_t obj_focus = 0;
uint16_t in_edit = 0;
uint16_t old_edit = 0;
uint8_t set_page_refresh = 0, page_refresh = 0;
uint8_t set_focus_refresh = 0, focus_refresh = 0;
uint8_t obj_invalidate = 0;
double _t_page = 0;

uint8_t _keydown, _keypress, _keyup, _keyactive;
uint8_t _focus;
uint8_t obj_autorefresh, _canfocus, _canedit, _array;
uint8_t _changed, _extchanged;
uint8_t this_refresh, this_autorefresh;
uint8_t _abilita_azione, _abilita_azione_draw, _abilita_azione_repaint, _abilita_azione_click;
uint8_t _repaint_parent;
uint8_t _cached_field;
uint8_t _custom;
uint8_t _riga, _colonna;
int dx, dy;

int _redx0[REGIONS], _redy0[REGIONS], _redx1[REGIONS], _redy1[REGIONS], _redz[REGIONS];
int _repx0[REGIONS], _repy0[REGIONS], _repx1[REGIONS], _repy1[REGIONS], _repz[REGIONS];
int _red = 0, _rep = 0;

int16_t x_x_hold[OBJ_LEVELS], y_y_hold[OBJ_LEVELS];
uint16_t obj_tag[OBJ_LEVELS];

void (*page_release_wait)() = nullptr;

namespace {

// Registrations stop two entries short of the table's end, as the per-object triggers do.
constexpr int REGION_TRIGGER_LIMIT = REGIONS - 2;

int applied_priority = -1000;

// The per-pass sleep until the next whole millisecond, the grid the control cycle also
// sleeps on, so that both wake together; with a timer slack of 5 µs so that it ends on the
// millisecond and not the default 50 µs later.
void sleep_1ms() {
    static thread_local bool slack_set = false;
    if (!slack_set) {
        prctl(PR_SET_TIMERSLACK, 5000UL, 0, 0, 0);
        slack_set = true;
    }
    ClockSource& clock = clock_source();
    clock.sleep_until_ns(next_ms_tick_ns(clock.now_ns()));
}

}  // namespace

void edit_page() {
    page_reset = 0;
    edit_page_init();
    // The loop always runs in a thread of its own here (the window shell's main loop, or a
    // headless program), so it runs until a handler ends the page.
    while (!page_end) edit_page_loop();
}

void edit_page_init() {
    page_end = 0;
    page_init = 1;
    std::memset(xcampi_x, 0, sizeof xcampi_x);
    std::memset(xcampi_y, 0, sizeof xcampi_y);
    std::memset(xcampi_dx, 0, sizeof xcampi_dx);
    std::memset(xcampi_dy, 0, sizeof xcampi_dy);
    _freeze = 0;
    obj_click = obj_oldclick = obj_focus = in_edit = old_edit = 0;
    do_page();
    page_init = 0;
    num_cam = int16_t(obj_num);
}

void edit_page_loop() {
    // The priority is applied when it changes rather than by a system call on every pass.
    const int priority = console_priority.load(std::memory_order_relaxed);
    if (priority != applied_priority) {
        set_thread_priority(priority);
        applied_priority = priority;
    }
    if (!headless_mode()) sleep_1ms();
    dx_refresh();
    obj_loop++;
    page_init = 0;
    const int8_t k = v_inkey();
    obj_inkey = k;
    obj_keypress = uint8_t(k);
    obj_oldclick = obj_click;
    obj_click = 0;
    if (k == INKEY_PRESS) {
        obj_click = uint16_t(t_campo);
        obj_keypress = 0;
    }
    do_page();
    if (!page_invalidate) num_cam = int16_t(obj_num);
    if (page_end) {
        num_cam = 0;
        _freeze = 1;
        obj_click = 0;
        obj_oldclick = 1;
        obj_focus = 0;
        in_edit = 0;
        old_edit = 0;
        obj_keypress = 0;
        page_invalidate = 1;
        // The next page must not take the press or key that ended this one.
        while (v_inkey() != 0) {
            if (page_release_wait)
                page_release_wait();
            else
                sleep_1ms();
        }
        _freeze = 0;
    }
}

void do_page() {
    // A page started from a handler of another page takes over the drawing lock that the
    // other page's pass holds.
    unlock();
    ttf_obj_level = &obj_level;
    __clone = 0;
    page_refresh = set_page_refresh;
    focus_refresh = set_focus_refresh;
    set_page_refresh = set_focus_refresh = 0;
    obj_invalidate = 0;
    page_invalidate = 0;
    _riga = _colonna = 0;
    obj_num = 0;
    obj_level = 0;
    x_x = y_y = 0;
    _cached_field = 0;
    if (page_init) _red = 0;
    _rep = _red;
    std::memcpy(_repx0, _redx0, sizeof(int) * size_t(_red));
    std::memcpy(_repy0, _redy0, sizeof(int) * size_t(_red));
    std::memcpy(_repx1, _redx1, sizeof(int) * size_t(_red));
    std::memcpy(_repy1, _redy1, sizeof(int) * size_t(_red));
    std::memcpy(_repz, _redz, sizeof(int) * size_t(_red));
    _red = 0;
    const uint64_t t0 = clock_source().now_ns();
    // The whole pass draws under the drawing lock: taken once per pass instead of once per
    // object (two atomic exchanges per object were a fifth of a quiet pass).
    lock();
    if (page_address) page_address();
    unlock();
    _t_page = double(clock_source().now_ns() - t0) * 1e-9;
    if (page_reset) page_reset--;
    if (page_end == 2) destroy_page(num_cam);
}

namespace {

// Appends the current object's area at (x, y), for objects from n on, to a region list.
void add_region(int* x0, int* y0, int* x1, int* y1, int* z, int& count, int n, int x, int y) {
    if (count >= REGIONS) return;
    x0[count] = x;
    y0[count] = y;
    x1[count] = x + me->width;
    y1[count] = y + me->height;
    z[count] = n;
    count++;
}

}  // namespace

void _ridisegna_questa_area(int n, int x, int y) {
    if (!_freeze_clone) add_region(_redx0, _redy0, _redx1, _redy1, _redz, _red, n, x, y);
}

void repaint_area_this_pass(int n, int x, int y) { add_region(_repx0, _repy0, _repx1, _repy1, _repz, _rep, n, x, y); }

int _se_dentro() {
    const int x0 = x_x, y0 = y_y, x1 = x_x + me->width, y1 = y_y + me->height;
    for (int i = 0; i < _rep; i++) {
        if (_repz[i] > obj_num) continue;
        if (!(_repx1[i] <= x0) && !(x1 <= _repx0[i]) && !(_repy1[i] <= y0) && !(y1 <= _repy0[i])) return 1;
    }
    return 0;
}

uint32_t var_checksum(int type) {
    switch (type) {
    case VT_BYTE:
    case VT_UBYTE:
        return uint32_t(int32_t(Var.Byte));
    case VT_WORD:
    case VT_UWORD:
        return uint32_t(int32_t(Var.Word));
    case VT_DWORD:
    case VT_REAL:
    case VT_UDWORD:
        return uint32_t(Var.Dword);
    case VT_STRING:
    case VT_PASSWORD: {
        const size_t n = strnlen(Var.String, VAR_STRING);
        uint32_t s = 0;
        for (size_t i = n; i-- > 0;) s = 2 * s + uint32_t(int32_t(int8_t(Var.String[i])));
        return s + uint32_t(n);
    }
    case VT_DOUBLE: {
        uint32_t w[2];
        std::memcpy(w, &Var, sizeof w);
        return w[0] ^ w[1];
    }
    default:
        return 0;
    }
}

uint32_t obj_checksum() {
    uint32_t s = 0;
    if (obj_type != TButton) s += me->align;
    s += me->decimals + me->bordercolor + me->color + me->fontcolor;
    s += me->rgb_bordercolor + me->rgb_color + me->rgb_fontcolor;
    if (!__clone) s += me->tag;
    if (obj_type == TBitmap) s += uint32_t(int32_t(Var.Byte));
    return s;
}

uint32_t obj_checksum2() {
    if (me->frequency == 1) return 0;
    uint32_t s = 0;
    if (obj_type != TButton) s += me->align & 254;
    if (me->color == 4) s += 4;
    s += me->border;
    if (obj_type == TLabel && me->caption) {
        const char* c = me->caption;
        s += uint32_t(reinterpret_cast<uintptr_t>(c));
        size_t n = 0;
        for (; c[n]; n++) s += uint32_t(int32_t(int8_t(c[n])));
        s += uint32_t(n);
    }
    s += me->digits;
    s += uint32_t(int32_t(me->height)) + uint32_t(int32_t(me->left)) + uint32_t(int32_t(me->top)) +
         uint32_t(int32_t(me->width));
    s += uint32_t(int32_t(_scala));
    return s;
}

void obj_exec(void* var, void** object_var) {
    _keyactive = 0;
    _custom = 0;
    const uint8_t flags = me->autorefresh;
    obj_autorefresh = flags & OF_AUTOREFRESH ? 1 : 0;
    _canfocus = flags & OF_FOCUS ? 1 : 0;
    _canedit = flags & OF_EDIT ? 1 : 0;
    _array = (flags & OF_ARRAY) && _canfocus ? 1 : 0;
    _changed = 0;

    obj_tag[obj_level] = me->tag;
    x_x_hold[obj_level] = x_x;
    y_y_hold[obj_level] = y_y;
    x_x = int16_t(x_x + me->left);
    y_y = int16_t(y_y + me->top);
    mouse_x = int16_t(touch_x - x_x);
    mouse_y = int16_t(touch_y - y_y);

    Null = 0;
    _extchanged = 0;
    // The value as loaded: only a change the widget makes is written back. Writing back an
    // unchanged copy would undo what another thread stored in the variable meanwhile. (Copied
    // before the byte store below: a wide read just after it would wait for the store.)
    VAR_CELL loaded = Var;
    if (me->vartype == VT_NONE) {
        Var.String[0] = loaded.String[0] = 0;
        me2->hold = 0;
    }
    const auto widget_changed = [&loaded] { return std::memcmp(&Var, &loaded, sizeof Var) != 0; };

    if (page_init) {
        me2->hold = var_checksum(me->vartype);
        me2->vishold = 0;
    }

    if (me->frequency <= 1 || obj_loop % (me->frequency + 1) == 0) {
        const uint32_t s = var_checksum(me->vartype);
        if (s != me2->hold) {
            _extchanged = 1;
            me2->hold = s;
        }
    }

    const bool clicked = obj_click == obj_num, was_clicked = obj_oldclick == obj_num;
    _keypress = clicked;
    _keydown = clicked && !was_clicked;
    _keyup = !clicked && was_clicked;
    _keyactive = clicked || was_clicked;
    if (_keydown && in_edit && in_edit != obj_num) in_edit = 0;

    _focus = obj_focus == obj_num;
    this_refresh = 0;

    if (page_init && !page_reset && _onfirst) _onfirst();
    if (page_refresh && _oncreate) _oncreate();

    _abilita_azione = *me->visible && *me->enabled;
    _abilita_azione_draw = _abilita_azione_repaint = _abilita_azione_click = 0;

    if (!page_init && _onentry) _onentry();

    _cached_field = !*me->visible;

    if (*me->vishold != *me->visible && _red <= REGION_TRIGGER_LIMIT) {
        _extchanged = 0;
        *me->vishold = *me->visible;
        if (*me->visible)
            _ridisegna_questa_area(obj_num, x_x, y_y);
        else if (_canerase)
            _repaint_parent = 1;
    }

    if (*me->visible) {
        if (_se_dentro()) {
            this_refresh = 1;
            const uint32_t s = var_checksum(me->vartype);
            if (s != me2->hold) _changed = 1;
            me2->hold = s;
        }
        if (obj_click == obj_num) _freeze = *me->enabled;
        if (obj_type) obj_type();
        if (page_invalidate) return;
        if (_keydown) obj_focus = obj_num;
        if (widget_changed()) _changed = 1;
        if (!_freeze_clone) {
            const uint32_t s1 = obj_checksum();
            if (s1 != me2->status && _red <= REGION_TRIGGER_LIMIT) {
                me2->status = s1;
                _ridisegna_questa_area(obj_num, x_x, y_y);
            }
            const uint32_t s2 = obj_checksum2();
            if (s2 != me2->status2 && _red <= REGION_TRIGGER_LIMIT) {
                me2->status2 = s2;
                _repaint_parent = 1;
            }
        }
    }

    if (_changed) {
        *me->vishold = 0;
        if (widget_changed()) var_store(var, me->vartype);
    }

    if (*me->visible) {
        if (!page_init && _onexitp) _onexitp();
        if (me->fork) {
            OBJ* const self = me;
            STATUS* const self_status = me2;
            if (((obj_type == TPanel || obj_type == TPage) && me->color != 4) || obj_type == TBitmap) {
                const uint8_t saved = _repaint_parent;
                _repaint_parent = 0;
                me->fork(object_var);
                me = self;
                me2 = self_status;
                // A child that disappeared (or moved) repaints this container, registered
                // under the container's own number so that it and everything after it
                // that overlaps redraw.
                if (_repaint_parent && _red < REGIONS)
                    _ridisegna_questa_area(int(me2 - obj_stat), x_x, y_y);
                _repaint_parent = saved;
            } else {
                me->fork(object_var);
                me = self;
                me2 = self_status;
            }
        }
    } else {
        if (me->fork) {
            OBJ* const self = me;
            STATUS* const self_status = me2;
            me->fork(object_var);
            me = self;
            me2 = self_status;
        }
    }

    x_x = x_x_hold[obj_level];
    y_y = y_y_hold[obj_level];
    _cached_field = 0;
    obj_invalidate = 0;
}

void sub_onclick() {
    _abilita_azione = *me->visible && *me->enabled;
    _abilita_azione_click = _abilita_azione;
    if (!_abilita_azione) return;
    if (_onclick) _onclick();
    if (_keydown && _onmousedown) _onmousedown();
    if (_keypress && _onmousepress) _onmousepress();
    if (_keyup && _onmouseup) _onmouseup();
}

void sub_onrepaint() {
    _abilita_azione = this_refresh;
    _abilita_azione_repaint = _abilita_azione;
}

void sub_ondraw() {
    dx = dy = 0;
    if (_extchanged || me->frequency == 1) {
        this_autorefresh = 1;
    } else {
        this_autorefresh = obj_autorefresh;
        if (obj_type == TButton || obj_type == TCheckbox) this_autorefresh = 0;
        if (this_autorefresh) this_autorefresh = ((obj_loop ^ obj_num) & 31) == 0;
    }
    _abilita_azione = (focus_refresh && _canfocus && _canedit) || this_autorefresh || this_refresh;
    _abilita_azione_draw = _abilita_azione;
    if (_abilita_azione && _ondraw) _ondraw();
}

void sub_onend() {
    if (*me->enabled) {
        xcampi_x[obj_num] = int16_t(x_x - me->border - 2);
        xcampi_y[obj_num] = int16_t(y_y - me->border - 2);
        xcampi_dx[obj_num] = int16_t(dx + 2 * me->border + 4);
        xcampi_dy[obj_num] = int16_t(dy + 2 * me->border + 4);
    } else {
        xcampi_x[obj_num] = xcampi_y[obj_num] = xcampi_dx[obj_num] = xcampi_dy[obj_num] = 0;
    }
    if (_array) _riga++;
}
