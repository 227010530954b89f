// Event order, pointer state machine, focus, hit-test priority and disabled objects.
#include <gtest/gtest.h>

#include "forms_fixture.h"

namespace {

struct EvStruct {
    FORM_HEAD head;
    OBJ* a;
    OBJ* b;
    OBJ* top;
    OBJ* off;
};

uint8_t byte_a, byte_b, byte_top, byte_off;

FORM_OBJECT logged(FORM_OBJECT l) {
    return l.on_click([] { log_me("click"); })
        .on_mousedown([] { log_me("down"); })
        .on_mousepress([] { log_me("press"); })
        .on_mouseup([] { log_me("up"); });
}

const FORM_OBJECT ev_table[] = {
    form_head(TPage, "ev", sizeof(EvStruct)).size(1024, 600).colours(0xC0C0C0DB, 0, 0),
    logged(form_line(1, TButton, "a", FORM_MEMBER(EvStruct, a)))
        .at(10, 10).size(100, 30).colours(146, 0, 0).frame(3).font(0, 1, 1).caption("A").bind(&byte_a, VT_BYTE)
        .tag(1).enable(),
    logged(form_line(1, TButton, "b", FORM_MEMBER(EvStruct, b)))
        .at(200, 10).size(100, 30).colours(146, 0, 0).frame(3).font(0, 1, 1).caption("B").bind(&byte_b, VT_BYTE)
        .tag(1).enable(),
    // Overlaps the right half of b and is declared later: it lies on top.
    logged(form_line(1, TButton, "top", FORM_MEMBER(EvStruct, top)))
        .at(260, 20).size(100, 30).colours(146, 0, 0).frame(3).font(0, 1, 1).caption("T")
        .bind(&byte_top, VT_BYTE).tag(1).enable(),
    // Not enabled: drawn, its entry handler runs, but it is never hit.
    logged(form_line(1, TButton, "off", FORM_MEMBER(EvStruct, off)))
        .at(10, 100).size(100, 30).colours(146, 0, 0).frame(3).font(0, 1, 1).caption("OFF")
        .bind(&byte_off, VT_BYTE).tag(1).on_entry([] { log_me("entry"); }),
};
TEST_FORM(ev_form, EvStruct, ev_table)

class Events : public FormsTest {
protected:
    // Events of the objects that take input (entry calls of "off" left out).
    std::vector<std::string> clicks() {
        std::vector<std::string> out;
        for (auto& e : take_events())
            if (e != "off:entry") out.push_back(e);
        return out;
    }
};

using V = std::vector<std::string>;

TEST_F(Events, PressAndReleaseOverTwoPasses) {
    FormDriver page(ev_form, ev_form_release);
    page.pass();
    clicks();
    page.press(50, 20);
    page.pass();
    EXPECT_EQ(clicks(), (V{"a:click", "a:down", "a:press"}));
    page.release();
    page.pass();
    EXPECT_EQ(clicks(), (V{"a:click", "a:up"}));
    page.pass();
    EXPECT_EQ(clicks(), V{});
}

TEST_F(Events, PressHeldForFivePasses) {
    FormDriver page(ev_form, ev_form_release);
    page.pass();
    clicks();
    page.press(50, 20);
    page.passes(5);
    page.release();
    page.pass();
    V events = clicks();
    auto count = [&](const std::string& e) { return std::count(events.begin(), events.end(), e); };
    EXPECT_EQ(count("a:down"), 1);
    EXPECT_EQ(count("a:press"), 5);
    EXPECT_EQ(count("a:click"), 6);
    EXPECT_EQ(count("a:up"), 1);
    EXPECT_EQ(events.back(), "a:up");
}

TEST_F(Events, MomentaryButtonHoldsOneExactlyWhilePressed) {
    FormDriver page(ev_form, ev_form_release);
    page.pass();
    page.press(50, 20);
    page.pass();
    EXPECT_EQ(byte_a, 1);  // written back in the pass of the press
    page.passes(3);
    EXPECT_EQ(byte_a, 1);
    page.release();
    page.pass();
    EXPECT_EQ(byte_a, 0);
}

TEST_F(Events, SlidingFromOneObjectToAnother) {
    FormDriver page(ev_form, ev_form_release);
    page.pass();
    page.press(50, 20);
    page.pass();
    clicks();
    page.press(210, 20);  // still down, now over b
    page.pass();
    EXPECT_EQ(clicks(), (V{"a:click", "a:up", "b:click", "b:down", "b:press"}));
    // Sliding off every object keeps reporting the press, on nothing: b is released.
    page.press(600, 300);
    page.pass();
    EXPECT_EQ(clicks(), (V{"b:click", "b:up"}));
    page.release();
    page.pass();
    EXPECT_EQ(clicks(), V{});
}

TEST_F(Events, FocusFollowsThePress) {
    FormDriver page(ev_form, ev_form_release);
    page.pass();
    EXPECT_EQ(obj_focus, 0);
    page.click(50, 20);
    const uint16_t a = obj_focus;
    EXPECT_NE(a, 0);
    page.click(210, 20);
    EXPECT_NE(obj_focus, a);
    EXPECT_NE(obj_focus, 0);
    page.click(600, 300);  // nothing there: the focus stays
    EXPECT_NE(obj_focus, a);
    EXPECT_NE(obj_focus, 0);
}

TEST_F(Events, LaterObjectWinsWhereTheyOverlap) {
    FormDriver page(ev_form, ev_form_release);
    page.pass();
    clicks();
    page.click(280, 30);  // inside b and top
    V events = clicks();
    ASSERT_FALSE(events.empty());
    for (auto& e : events) EXPECT_EQ(e.rfind("top:", 0), 0u) << e;
    page.click(220, 30);  // inside b only
    events = clicks();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), "b:click");
}

TEST_F(Events, DisabledObjectIsDrawnButNeverClicked) {
    FormDriver page(ev_form, ev_form_release);
    const uint32_t before = pixel(60, 115);
    page.pass();
    EXPECT_NE(pixel(60, 115), before);  // drawn
    take_events();
    page.click(60, 115);
    EXPECT_EQ(take_events(), (V{"off:entry", "off:entry"}));  // entry on both passes, no click
    EXPECT_EQ(byte_off, 0);
}

}  // namespace
