// Redraw rules: nothing changed draws nothing, value polling, hidden objects repainting their
// container, the periodic slot, checksums and the region table's limit.
#include <atomic>
#include <cstring>
#include <map>
#include <thread>

#include "assets/images.h"
#include "forms_fixture.h"
#include "gfx/draw.h"

namespace {

std::map<std::string, int> draws;
void count_draw() { draws[me->decl->name]++; }
bool hide_first = false;
uint8_t glyph_value = 0;
char text_value[64] = "text";
std::atomic<int32_t> polled{0};  // written by other threads while the page runs
int32_t written_mid_pass = 0;     // stored into `polled` after the label loaded it

const FORM_OBJECT redraw_table[] = {
    test_page("page"),
    label(1, "early", 10, 10, 60).on_draw(count_draw),
    form_line(1, TPanel, "panel", 0).at(100, 100).size(300, 200).colours(0xE0, 0, 0).frame(0).on_draw([] {
        count_draw();
        v_rectfillc(x_x - 1, y_y - 1, dx + 1, dy + 1, obj_bg());
    }),
    label(2, "first", 10, 10, 80).on_draw(count_draw).on_entry([] {
        if (hide_first) *me->visible = 0;
    }),
    label(2, "second", 10, 150, 80).on_draw(count_draw),
    // Declared after the panel and overlapping it.
    label(1, "over", 350, 120, 100).on_draw(count_draw),
    label(1, "poll", 600, 10, 60).bind(&polled, VT_DWORD).every(3).on_draw(count_draw).on_entry([] {
        if (written_mid_pass) polled = written_mid_pass;
    }),
    label(1, "fast", 600, 30, 60).every(1).on_draw(count_draw),
    label(1, "periodic", 600, 50, 60).flagged(OF_AUTOREFRESH).on_draw(count_draw),
    button("radio", 600, 70, 60, 16).frame(1).bind(&glyph_value, VT_BYTE).tag(3)
        .flagged(OF_AUTOREFRESH).on_draw(count_draw),
    form_line(1, TCheckbox, "box", 0).at(600, 100).size(16, 16).colours(255, 0, 0).font(0, 1, 1)
        .caption("box").bind(&glyph_value, VT_BYTE).enable().on_draw(count_draw),
    form_line(1, TBitmap, "pic", 0).at(600, 130).size(120, 120).colours(4, 0, 0).frame(6)
        .image(RLC1_ICO, 3).bind(&glyph_value, VT_BYTE).enable().on_draw(count_draw),
    form_line(1, TEdit, "field", 0).at(600, 300).size(80, 20).colours(255, 0, 0).frame(2).font(0, 1, 1)
        .caption("field").bind(text_value, VT_STRING).number(0, 9).flagged(OF_FOCUS | OF_EDIT).enable()
        .on_draw(count_draw),
};
TEST_FORM(redraw_form, redraw_table)

class Redraw : public FormsTest {
protected:
    void SetUp() override {
        FormsTest::SetUp();
        draws.clear();
        hide_first = false;
        polled = 0;
        written_mid_pass = 0;
        glyph_value = 0;
        std::strcpy(text_value, "text");
        open(redraw_form, redraw_form_release);
    }
    // Passes until the page is quiet again (only the objects that redraw on their own).
    void settle() {
        passes(3);
        draws.clear();
    }
    // The objects drawn in n passes.
    std::map<std::string, int> drawn_in(int n) {
        draws.clear();
        passes(n);
        return draws;
    }
    using Drawn = std::map<std::string, int>;
    static OBJ* rec(const char* name) { return record(redraw_form_ptr, name); }
};

TEST_F(Redraw, QuietPassesDrawNothing) {
    EXPECT_GT(draws["early"], 0);  // the first pass draws the whole page
    EXPECT_GT(draws["pic"], 0);
    // Without the objects that redraw by themselves, nothing at all is drawn.
    rec("fast")->frequency = 0;
    rec("periodic")->autorefresh = 0;
    passes(2);  // the frequency is geometry: one page repaint
    EXPECT_EQ(passes(70), 0);
}

TEST_F(Redraw, ValueChangedElsewhereRedrawsWithinFrequencyPlusOnePasses) {
    settle();
    for (int trial = 0; trial < 6; trial++) {
        draws.clear();
        std::thread([] { polled++; }).join();
        int n = 0;
        while (draws["poll"] == 0 && n < 10) {
            pass();
            n++;
        }
        EXPECT_LE(n, 3 + 1) << "trial " << trial;
        EXPECT_EQ(draws["poll"], 1);
        pass();  // offsets the next change by one pass
    }
    // Frequency 1 redraws on every pass, changed or not.
    EXPECT_EQ(drawn_in(10)["fast"], 10);
}

TEST_F(Redraw, HiddenObjectRepaintsItsContainerAndWhatLiesOnTop) {
    ASSERT_NE(fb_at(112, 112), pall[0xE0]);  // the text of "first" lies there
    settle();
    hide_first = true;
    // "first" disappears: its container registers its own area, redrawn on the next pass
    // with the later overlapping objects; earlier and other objects are not redrawn.
    EXPECT_EQ(drawn_in(1)["panel"], 0);
    Drawn drawn = drawn_in(1);
    const std::pair<const char*, int> expected[] = {{"panel", 1}, {"second", 1}, {"over", 1},
                                                    {"first", 0}, {"early", 0}, {"poll", 0}};
    for (auto [name, n] : expected) EXPECT_EQ(drawn[name], n) << name;
    EXPECT_EQ(fb_at(112, 112), pall[0xE0]);  // the panel covers where "first" was
    EXPECT_EQ(drawn_in(1)["panel"], 0);
    // Shown again: it registers its own area and redraws on the next pass.
    hide_first = false;
    *rec("first")->visible = 1;
    EXPECT_EQ(drawn_in(2)["first"], 1);
    EXPECT_NE(fb_at(112, 112), pall[0xE0]);
}

TEST_F(Redraw, HiddenObjectInATransparentPanelRepaintsTheNextOpaqueContainer) {
    rec("panel")->color = 4;
    settle();
    hide_first = true;
    const Drawn drawn = drawn_in(2);  // the page repainted: everything on it redraws
    for (const char* name : {"early", "second", "poll"}) EXPECT_EQ(drawn.at(name), 1) << name;
}

TEST_F(Redraw, WordWrittenByAnotherThreadWhileThePageRunsRedrawsItsLabel) {
    settle();
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        while (!stop.load()) {
            polled.fetch_add(1);
            std::this_thread::yield();
        }
    });
    while (polled.load() < 1000) pass();
    passes(50);
    stop = true;
    writer.join();
    EXPECT_GT(draws["poll"], 0);
    passes(3 + 1);  // the last change is seen within frequency + 1 passes
    EXPECT_EQ(drawn_in(5).count("poll"), 0u);
}

TEST_F(Redraw, AValueStoredElsewhereIsNeverOverwrittenByTheLoadedCopy) {
    settle();
    // Polled or not on this pass, the label did not change the value: it writes nothing back.
    for (int32_t i = 0; i < 8; i++) {
        polled = 100 + 2 * i;
        written_mid_pass = 101 + 2 * i;
        pass();
        EXPECT_EQ(polled.load(), written_mid_pass) << "pass " << i;
    }
}

TEST_F(Redraw, PeriodicSlotIsOnePassInThirtyTwoAndNeverForButtons) {
    settle();
    const Drawn drawn = drawn_in(64);
    EXPECT_EQ(drawn.at("periodic"), 2);
    EXPECT_EQ(drawn.count("radio"), 0u);  // flag bit 0 means radio for buttons, not periodic
}

TEST_F(Redraw, AppearanceChangeRedrawsTheObjectGeometryChangeTheParent) {
    settle();
    rec("second")->fontcolor = 3;  // appearance: the object itself
    Drawn drawn = drawn_in(2);
    EXPECT_EQ(drawn["second"], 1);
    EXPECT_EQ(drawn["panel"], 0);
    rec("second")->caption = "changed";  // a label's text is geometry
    drawn = drawn_in(2);
    EXPECT_EQ(drawn["panel"], 1);
    EXPECT_EQ(drawn["over"], 1);
    rec("radio")->align = 0;  // a button's frame style is not checked
    EXPECT_EQ(drawn_in(2)["radio"], 0);
}

TEST_F(Redraw, BoundValuesRedrawTheirWidgets) {
    settle();
    glyph_value = 2;  // bitmap cell, check box tick and radio state all follow
    Drawn drawn = drawn_in(2);
    EXPECT_EQ(drawn["pic"], 2);  // the value, then the cell in its appearance checksum
    EXPECT_EQ(drawn["box"], 1);
    EXPECT_EQ(drawn["radio"], 1);
    std::strcpy(text_value, "other");
    EXPECT_EQ(drawn_in(2)["field"], 1);
}

TEST(Checksums, TextChecksumSeesOrderAndLength) {
    std::strcpy(Var.String, "ab");
    const uint32_t ab = var_checksum(VT_STRING);
    for (const char* other : {"ba", "ab "}) {
        std::strcpy(Var.String, other);
        EXPECT_NE(var_checksum(VT_STRING), ab) << other;
    }
    Var.Dword = 0x1FF;
    EXPECT_EQ(var_checksum(VT_BYTE), uint32_t(-1));  // the low byte, signed
    EXPECT_EQ(var_checksum(VT_UBYTE), uint32_t(-1));
    EXPECT_EQ(var_checksum(VT_DWORD), 0x1FFu);
    EXPECT_EQ(var_checksum(VT_NONE), 0u);
    EXPECT_EQ(var_checksum(6), 0u);
    Var.Double = 1.5;
    uint32_t w[2];
    std::memcpy(w, &Var, sizeof w);
    EXPECT_EQ(var_checksum(VT_DOUBLE), w[0] ^ w[1]);
}

// ---- limits ----

const FORM_OBJECT many_table[] = {
    test_page("many"),
    label(1, "cell", 0, 0, 4).size(4, 4).caption(".").flagged(OF_CLONE).repeated(1200, 1, 0),
};
TEST_FORM(many_form, many_table)

using RedrawLimits = FormsTest;

TEST_F(RedrawLimits, RegionTableAndStatusTableLimitsHold) {
    start(many_form, many_form_release);
    // Every visible object registers on the initialisation pass; the table keeps 500.
    EXPECT_GE(_red, 498);
    EXPECT_LE(_red, REGIONS);
    // Objects beyond the status table are not run.
    EXPECT_EQ(num_cam, OBJ_STATUS_COUNT - 1);
    passes(3);
    EXPECT_LE(_red, REGIONS);
}

}  // namespace
