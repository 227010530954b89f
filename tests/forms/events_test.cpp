// Event order, pointer state machine, focus, hit-test priority and disabled objects.
#include <string>
#include <utility>
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
int off_entries = 0;
char field_text[64];
bool click_mid_pass = false;  // the window thread takes a short click of "a" during a pass

void window_click(SHELL_EVENT_KIND kind) {
    SHELL_EVENT e{kind};
    e.x = 50, e.y = 20;
    WndProc(e);
}

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
    logged("off", 10, 100, &byte_off).enable(false).on_entry([] { off_entries++; }),
    label(1, "window", 800, 450, 40).on_entry([] {
        if (std::exchange(click_mid_pass, false)) window_click(EV_LEFT_DOWN), window_click(EV_LEFT_UP);
    }),
    // An edit field reads the keyboard on every pass, after the click above came.
    form_line(1, TEdit, "field", 0).at(800, 500).size(80, 20).colours(255, 0, 0).frame(2).font(0, 1, 1)
        .caption("field").bind(field_text, VT_STRING).number(0, 9).flagged(OF_FOCUS | OF_EDIT).enable(),
};
TEST_FORM(ev_form, ev_table)

const V press_a{"a:click", "a:down", "a:press"}, release_a{"a:click", "a:up"};

class Events : public FormsTest {
protected:
    void SetUp() override {
        FormsTest::SetUp();
        open(ev_form, ev_form_release);
        take_events();
    }
    // One pass with the pointer at (x, y), down or up: the events it fired.
    V pass_with(int x, int y, bool down) {
        pointer(x, y, down);
        pass();
        return take_events();
    }
};

TEST_F(Events, PressAndReleaseOverTwoPasses) {
    EXPECT_EQ(pass_with(50, 20, true), press_a);
    EXPECT_EQ(byte_a, 1);  // a momentary button writes 1 in the pass of the press
    EXPECT_EQ(pass_with(50, 20, false), release_a);
    EXPECT_EQ(byte_a, 0);
    EXPECT_EQ(pass_with(50, 20, false), V{});
}

TEST_F(Events, PressHeldForFivePasses) {
    EXPECT_EQ(pass_with(50, 20, true), press_a);
    for (int i = 1; i < 5; i++) {
        EXPECT_EQ(pass_with(50, 20, true), (V{"a:click", "a:press"})) << "pass " << i;
        EXPECT_EQ(byte_a, 1);
    }
    EXPECT_EQ(pass_with(50, 20, false), release_a);
    EXPECT_EQ(byte_a, 0);
}

TEST_F(Events, SlidingFromOneObjectToAnother) {
    EXPECT_EQ(pass_with(50, 20, true), press_a);
    // Still down, now over b.
    EXPECT_EQ(pass_with(210, 20, true), (V{"a:click", "a:up", "b:click", "b:down", "b:press"}));
    // Sliding off every object keeps reporting the press, on nothing: b is released.
    EXPECT_EQ(pass_with(600, 300, true), (V{"b:click", "b:up"}));
    EXPECT_EQ(pass_with(600, 300, false), V{});
}

TEST_F(Events, FocusFollowsThePress) {
    EXPECT_EQ(obj_focus, 0);
    click(50, 20);
    const uint16_t a = obj_focus;
    EXPECT_NE(a, 0);
    click(210, 20);
    const uint16_t b = obj_focus;
    EXPECT_NE(b, a);
    EXPECT_NE(b, 0);
    click(600, 300);
    EXPECT_EQ(obj_focus, b);  // nothing there: the focus stays
}

TEST_F(Events, LaterObjectWinsWhereTheyOverlap) {
    click(280, 30);  // inside b and top
    EXPECT_EQ(take_events(), (V{"top:click", "top:down", "top:press", "top:click", "top:up"}));
    click(220, 30);  // inside b only
    EXPECT_EQ(take_events(), (V{"b:click", "b:down", "b:press", "b:click", "b:up"}));
}

TEST_F(Events, ClickThatCameAndWentDuringAPassFiresOnTheNext) {
    click_mid_pass = true;
    pass();
    EXPECT_EQ(take_events(), V{});
    pass();
    EXPECT_EQ(take_events(), press_a);
}

TEST_F(Events, DisabledObjectIsDrawnButNeverClicked) {
    EXPECT_NE(fb_at(60, 115), 0u);  // drawn on the cleared screen
    off_entries = 0;
    click(60, 115);
    EXPECT_EQ(off_entries, 2);  // its entry handler ran on both passes
    EXPECT_EQ(take_events(), V{});
    EXPECT_EQ(byte_off, 0);
}

}  // namespace
