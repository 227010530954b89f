// Event order, pointer state machine, hit-test priority and disabled objects.
#include <vector>

#include "forms_fixture.h"
#include "platform/input.h"

namespace {

// What the handlers saw, in order: "name:event".
using V = std::vector<std::string>;
V events;
void log_me(const char* event) { events.push_back(std::string(me->decl->name) + ":" + event); }
V take_events() { return std::exchange(events, {}); }

uint8_t byte_a, byte_b, byte_top, byte_off;
char field_text[64];
bool click_mid_pass = false;  // the window thread takes a short click of "a" during a pass

FORM_OBJECT logged(const char* name, int x, int y, uint8_t* var) {
    return button(name, x, y, 100, 30).bind(var, VT_BYTE).on_click([] { log_me("click"); })
        .on_mousedown([] { log_me("down"); }).on_mousepress([] { log_me("press"); }).on_mouseup([] { log_me("up"); });
}
const FORM_OBJECT ev_table[] = {
    test_page("ev"),
    logged("a", 10, 10, &byte_a),
    logged("b", 200, 10, &byte_b),
    // Overlaps the right half of b and is declared later: it lies on top.
    logged("top", 260, 20, &byte_top),
    // Not enabled: drawn and run, but never hit.
    logged("off", 10, 100, &byte_off).enable(false),
    label(1, "window", 800, 450, 40).on_entry([] {
        if (!std::exchange(click_mid_pass, false)) return;
        WndProc(SHELL_EVENT{.kind = EV_LEFT_DOWN, .x = 50, .y = 20});
        WndProc(SHELL_EVENT{.kind = EV_LEFT_UP, .x = 50, .y = 20});
    }),
    // An edit field reads the keyboard on every pass, after the click above came.
    form_line(1, TEdit, "field", 0).at(800, 500).size(80, 20).colours(255, 0, 0).frame(2).font(0, 1, 1)
        .caption("field").bind(field_text, VT_STRING).number(0, 9).flagged(OF_FOCUS | OF_EDIT).enable(),
};
TEST_FORM(ev_form, ev_table)

using Events = FormsTest;

// Pointer scripts, one pass a row: what the handlers see, and the value of a's momentary
// button (1 in the passes of its press). Then a click that came and went during a pass: it
// fires on the next one.
TEST_F(Events, PointerScriptsFireTheirEvents) {
    open(ev_form, ev_form_release);
    take_events();
    enum Act { Press, Move, Release };
    struct Row { Act act; int x, y; V fires; int a = 0; } const rows[] = {
        {Press, 50, 20, {"a:click", "a:down", "a:press"}, 1},
        {Release, 50, 20, {"a:click", "a:up"}},
        {Release, 50, 20, {}},
        {Press, 50, 20, {"a:click", "a:down", "a:press"}, 1},
        {Move, 50, 20, {"a:click", "a:press"}, 1},
        {Move, 210, 20, {"a:click", "a:up", "b:click", "b:down", "b:press"}},  // sliding onto b
        {Move, 600, 300, {"b:click", "b:up"}},  // sliding off everything: the press goes on, on nothing
        {Release, 600, 300, {}},
        {Press, 280, 30, {"top:click", "top:down", "top:press"}},  // the later object lies on top
        {Release, 280, 30, {"top:click", "top:up"}},
        {Press, 60, 115, {}},  // disabled
        {Release, 60, 115, {}},
    };
    for (const Row& r : rows) {
        pointer(r.x, r.y, r.act != Release);
        pass();
        EXPECT_EQ(std::pair(take_events(), int(byte_a)), std::pair(r.fires, r.a)) << "row " << &r - rows;
    }
    EXPECT_EQ(byte_off, 0);
    EXPECT_NE(fb_at(60, 115), 0u);  // the disabled button is drawn
    click_mid_pass = true;
    pass();
    EXPECT_EQ(take_events(), V{});
    pass();
    EXPECT_EQ(take_events(), (V{"a:click", "a:down", "a:press"}));
}

}  // namespace
