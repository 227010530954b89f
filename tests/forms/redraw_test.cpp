// Redraw rules: nothing changed draws nothing, value polling, hidden objects repainting their
// container, the periodic slot, checksums and the region table's limit.
#include <gtest/gtest.h>

#include <cstring>
#include <atomic>
#include <map>
#include <thread>

#include "assets/images.h"
#include "gfx/draw.h"
#include "forms_fixture.h"

namespace {

std::map<std::string, int> draws;
void count_draw() { draws[me->decl->name]++; }
bool hide_first = false;
int32_t polled = 0, every_pass = 0;
uint8_t glyph_value = 0;
char text_value[64] = "text";
std::atomic<int32_t> shared_count{0};

struct RedrawStruct {
    FORM_HEAD head;
    OBJ *early, *panel, *first, *second, *over, *poll, *fast, *periodic, *radio, *box, *pic, *field, *shared;
};

const FORM_OBJECT redraw_table[] = {
    form_head(TPage, "page", sizeof(RedrawStruct)).size(1024, 600).colours(0xC0C0C0DB, 0, 0),
    form_line(1, TLabel, "early", FORM_MEMBER(RedrawStruct, early)).at(10, 10).size(60, 8).colours(4, 0, 0)
        .font(0, 1, 1).caption("early").on_draw(count_draw),
    form_line(1, TPanel, "panel", FORM_MEMBER(RedrawStruct, panel)).at(100, 100).size(300, 200)
        .colours(0xE0, 0, 0).frame(0).on_draw([] {
            count_draw();
            v_rectfillc(x_x - 1, y_y - 1, dx + 1, dy + 1, obj_bg());
        }),
    form_line(2, TLabel, "first", FORM_MEMBER(RedrawStruct, first)).at(10, 10).size(80, 8).colours(4, 0, 0)
        .font(0, 1, 1).caption("first").on_draw(count_draw).on_entry([] {
            if (hide_first) *me->visible = 0;
        }),
    form_line(2, TLabel, "second", FORM_MEMBER(RedrawStruct, second)).at(10, 150).size(80, 8).colours(4, 0, 0)
        .font(0, 1, 1).caption("second").on_draw(count_draw),
    // Declared after the panel and overlapping it.
    form_line(1, TLabel, "over", FORM_MEMBER(RedrawStruct, over)).at(350, 120).size(100, 8).colours(4, 0, 0)
        .font(0, 1, 1).caption("over").on_draw(count_draw),
    form_line(1, TLabel, "poll", FORM_MEMBER(RedrawStruct, poll)).at(600, 10).size(60, 8).colours(4, 0, 0)
        .font(0, 1, 1).caption("poll").bind(&polled, VT_DWORD).every(3).on_draw(count_draw),
    form_line(1, TLabel, "fast", FORM_MEMBER(RedrawStruct, fast)).at(600, 30).size(60, 8).colours(4, 0, 0)
        .font(0, 1, 1).caption("fast").bind(&every_pass, VT_DWORD).every(1).on_draw(count_draw),
    form_line(1, TLabel, "periodic", FORM_MEMBER(RedrawStruct, periodic)).at(600, 50).size(60, 8)
        .colours(4, 0, 0).font(0, 1, 1).caption("periodic").flagged(OF_AUTOREFRESH).on_draw(count_draw),
    form_line(1, TButton, "radio", FORM_MEMBER(RedrawStruct, radio)).at(600, 70).size(60, 16).colours(146, 0, 0)
        .frame(1).font(0, 1, 1).caption("r").bind(&glyph_value, VT_BYTE).tag(3).flagged(OF_AUTOREFRESH).enable()
        .on_draw(count_draw),
    form_line(1, TCheckbox, "box", FORM_MEMBER(RedrawStruct, box)).at(600, 100).size(16, 16).colours(255, 0, 0)
        .font(0, 1, 1).caption("box").bind(&glyph_value, VT_BYTE).enable().on_draw(count_draw),
    form_line(1, TBitmap, "pic", FORM_MEMBER(RedrawStruct, pic)).at(600, 130).size(120, 120).colours(4, 0, 0)
        .frame(6).image(RLC1_ICO, 3).bind(&glyph_value, VT_BYTE).enable().on_draw(count_draw),
    form_line(1, TEdit, "field", FORM_MEMBER(RedrawStruct, field)).at(600, 300).size(80, 20).colours(255, 0, 0)
        .frame(2).font(0, 1, 1).caption("field").bind(text_value, VT_STRING).number(0, 9)
        .flagged(OF_FOCUS | OF_EDIT).enable().on_draw(count_draw),
    // A word another thread writes while the page runs.
    form_line(1, TLabel, "shared", FORM_MEMBER(RedrawStruct, shared)).at(800, 10).size(60, 8).colours(4, 0, 0)
        .font(0, 1, 1).caption("shared").bind(&shared_count, VT_DWORD).on_draw(count_draw),
};
TEST_FORM(redraw_form, RedrawStruct, redraw_table)

class Redraw : public FormsTest {
protected:
    void SetUp() override {
        FormsTest::SetUp();
        draws.clear();
        hide_first = false;
        polled = every_pass = 0;
        glyph_value = 0;
    }
    // Passes until the page is quiet again (only the objects that redraw on their own).
    void settle(FormDriver& page) {
        page.passes(3);
        draws.clear();
    }
};

TEST_F(Redraw, QuietPassesDrawNothing) {
    FormDriver page(redraw_form, redraw_form_release);
    EXPECT_TRUE(page.pass());  // the first pass draws the whole page
    EXPECT_GT(draws["early"], 0);
    EXPECT_GT(draws["pic"], 0);
    // Without the objects that redraw by themselves, nothing at all is drawn.
    redraw_form_ptr->fast->frequency = 0;
    redraw_form_ptr->periodic->autorefresh = 0;
    page.passes(2);  // the frequency is geometry: one page repaint
    EXPECT_EQ(page.passes(70), 0);
}

TEST_F(Redraw, ValueChangedElsewhereRedrawsWithinFrequencyPlusOnePasses) {
    FormDriver page(redraw_form, redraw_form_release);
    settle(page);
    for (int trial = 0; trial < 6; trial++) {
        draws.clear();
        polled++;
        int n = 0;
        while (draws["poll"] == 0 && n < 10) {
            page.pass();
            n++;
        }
        EXPECT_LE(n, 3 + 1) << "trial " << trial;
        EXPECT_EQ(draws["poll"], 1);
        page.pass();  // offsets the next change by one pass
    }
    // Frequency 1 redraws on every pass, changed or not.
    draws.clear();
    page.passes(10);
    EXPECT_EQ(draws["fast"], 10);
}

TEST_F(Redraw, HiddenObjectRepaintsItsContainerAndWhatLiesOnTop) {
    FormDriver page(redraw_form, redraw_form_release);
    page.pass();
    ASSERT_NE(pixel(112, 112), pall[0xE0]);  // the text of "first" lies there
    settle(page);
    hide_first = true;
    page.pass();  // "first" disappears: its container registers its own area
    EXPECT_EQ(draws["panel"], 0);
    draws.clear();
    page.pass();
    EXPECT_EQ(draws["panel"], 1);
    EXPECT_EQ(draws["second"], 1);
    EXPECT_EQ(draws["over"], 1);   // later and overlapping
    EXPECT_EQ(draws["first"], 0);  // hidden
    EXPECT_EQ(draws["early"], 0);  // earlier: not redrawn
    EXPECT_EQ(draws["poll"], 0);   // not overlapping
    EXPECT_EQ(pixel(112, 112), pall[0xE0]);  // the panel covers where "first" was
    draws.clear();
    page.pass();
    EXPECT_EQ(draws["panel"], 0);
    // Shown again: it registers its own area and redraws on the next pass.
    hide_first = false;
    *redraw_form_ptr->first->visible = 1;
    page.passes(2);
    EXPECT_EQ(draws["first"], 1);
    EXPECT_NE(pixel(112, 112), pall[0xE0]);
}

TEST_F(Redraw, HiddenObjectInATransparentPanelRepaintsTheNextOpaqueContainer) {
    FormDriver page(redraw_form, redraw_form_release);
    page.pass();
    redraw_form_ptr->panel->color = 4;
    settle(page);
    hide_first = true;
    page.passes(2);
    EXPECT_EQ(draws["early"], 1);  // the page repainted: everything on it redraws
    EXPECT_EQ(draws["second"], 1);
    EXPECT_EQ(draws["poll"], 1);
}

TEST_F(Redraw, WordWrittenByAnotherThreadRedrawsItsLabel) {
    FormDriver page(redraw_form, redraw_form_release);
    settle(page);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        while (!stop.load()) {
            shared_count.fetch_add(1);
            std::this_thread::yield();
        }
    });
    while (shared_count.load() < 1000) page.pass();
    page.passes(50);
    stop = true;
    writer.join();
    EXPECT_GT(draws["shared"], 0);
    draws.clear();
    page.passes(2);  // a last change seen after the writer stopped
    draws.clear();
    page.passes(5);
    EXPECT_EQ(draws["shared"], 0);
}

TEST_F(Redraw, PeriodicSlotIsOnePassInThirtyTwoAndNeverForButtons) {
    FormDriver page(redraw_form, redraw_form_release);
    settle(page);
    page.passes(64);
    EXPECT_EQ(draws["periodic"], 2);
    EXPECT_EQ(draws["radio"], 0);  // flag bit 0 means radio for buttons, not periodic
}

TEST_F(Redraw, AppearanceChangeRedrawsTheObjectGeometryChangeTheParent) {
    FormDriver page(redraw_form, redraw_form_release);
    settle(page);
    redraw_form_ptr->second->fontcolor = 3;  // appearance: the object itself
    page.passes(2);
    EXPECT_EQ(draws["second"], 1);
    EXPECT_EQ(draws["panel"], 0);
    draws.clear();
    redraw_form_ptr->second->caption = "changed";  // a label's text is geometry
    page.passes(2);
    EXPECT_EQ(draws["panel"], 1);
    EXPECT_EQ(draws["over"], 1);
    draws.clear();
    redraw_form_ptr->radio->align = 0;  // a button's frame style is not checked
    page.passes(2);
    EXPECT_EQ(draws["radio"], 0);
}

TEST_F(Redraw, BoundValuesRedrawTheirWidgets) {
    FormDriver page(redraw_form, redraw_form_release);
    settle(page);
    glyph_value = 2;  // bitmap cell, check box tick and radio state all follow
    page.passes(2);
    EXPECT_EQ(draws["pic"], 2);  // the value, then the cell in its appearance checksum
    EXPECT_EQ(draws["box"], 1);
    EXPECT_EQ(draws["radio"], 1);
    draws.clear();
    std::strcpy(text_value, "other");
    page.passes(2);
    EXPECT_EQ(draws["field"], 1);
}

TEST(Checksums, TextChecksumSeesOrderAndLength) {
    std::strcpy(Var.String, "ab");
    const uint32_t ab = var_checksum(VT_STRING);
    std::strcpy(Var.String, "ba");
    EXPECT_NE(var_checksum(VT_STRING), ab);
    std::strcpy(Var.String, "ab ");
    EXPECT_NE(var_checksum(VT_STRING), ab);
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

struct ManyStruct {
    FORM_HEAD head;
    OBJ* cell;
};
const FORM_OBJECT many_table[] = {
    form_head(TPage, "many", sizeof(ManyStruct)).size(1024, 600).colours(0xC0C0C0DB, 0, 0),
    form_line(1, TLabel, "cell", FORM_MEMBER(ManyStruct, cell)).at(0, 0).size(4, 4).colours(4, 0, 0)
        .font(0, 1, 1).caption(".").flagged(OF_CLONE).repeated(1200, 1, 0),
};
TEST_FORM(many_form, ManyStruct, many_table)

TEST_F(Redraw, RegionTableAndStatusTableLimitsHold) {
    FormDriver page(many_form, many_form_release);
    // Every visible object registers on the initialisation pass; the table keeps 500.
    EXPECT_GE(_red, 498);
    EXPECT_LE(_red, REGIONS);
    // Objects beyond the status table are not run.
    EXPECT_EQ(num_cam, OBJ_STATUS_COUNT - 1);
    page.passes(3);
    EXPECT_LE(_red, REGIONS);
}

}  // namespace
