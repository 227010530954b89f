// Form loading: the reset and initialisation passes, embedded components, the language
// refresh, clones, tabs, a page run from a handler and a hidden container.
#include <utility>
#include <vector>

#include "forms_fixture.h"

namespace {

// ---- a page with a bound button, a counting label and an embedded component ----

uint8_t bound = 5;
int entries = 0, firsts = 0;
OBJ* me1_seen_after = nullptr;
TestForm* comp_ptr = nullptr;

const FORM_OBJECT comp_table[] = {
    form_head(TPanel, "comp", 0).size(80, 20).colours(4, 0, 0).frame(6),
    label(1, "inner", 2, 2, 40).on_first([] { firsts++; }),
};
const FORM comp_form = numbered(comp_table);

const FORM_OBJECT load_table[] = {
    test_page("load").on_first([] { firsts++; }),
    button("button", 10, 10, 60, 20).bind(&bound, VT_BYTE).on_first([] { firsts++; }),
    label(1, "label", 10, 40, 80).on_entry([] { entries++; }),
    form_line(1, TPanel, "comp", 0).at(100, 100).caption("object1").tag(1)
        .component(&comp_form, reinterpret_cast<void**>(&comp_ptr)),
    label(1, "after", 10, 60, 80).on_entry([] { me1_seen_after = me1; }),
};
TEST_FORM(load_form, load_table)

using Loading = FormsTest;

// The reset pass (Loadpage, or a run without it) builds the records and runs no first
// handler; the initialisation pass runs the first handlers but no entry handler and writes
// no variable; the loop passes run them all; a language change restores the captions.
TEST_F(Loading, ResetInitialisationAndLoopPasses) {
    bound = 5;
    entries = firsts = 0;
    Loadpage(load_form);
    ASSERT_NE(load_form_ptr, nullptr);
    for (const char* name : {"button", "label", "after"}) EXPECT_NE(record(load_form_ptr, name), nullptr) << name;
    ASSERT_NE(comp_ptr, nullptr);
    EXPECT_NE(record(comp_ptr, "inner"), nullptr);
    EXPECT_EQ(firsts + page_reset, 0);
    load_form_release();  // frees the records and clears the pointers: the next run builds them again
    EXPECT_TRUE(load_form_ptr == nullptr && comp_ptr == nullptr);
    start(load_form, load_form_release, false);
    EXPECT_NE(load_form_ptr, nullptr);
    EXPECT_EQ(firsts, 0);
    start(load_form, load_form_release);  // Loadpage, then the run's initialisation pass
    EXPECT_EQ(firsts, 3);   // page, button and the component's label
    EXPECT_EQ(entries, 0);
    EXPECT_EQ(bound, 5);    // the momentary button's 0 went to the scratch buffer
    pass();
    EXPECT_EQ(std::vector<int>({entries, bound, firsts}), std::vector<int>({1, 0, 3}));
    // The embedded component keeps the page for later objects; its children lie inside it.
    EXPECT_EQ(me1_seen_after, &load_form_ptr->head.Body);
    EXPECT_GT(pixels(102, 102, 40, 8, pall[0]), 0);
    OBJ* label = record(load_form_ptr, "label");
    label->caption = "changed";
    pass();
    EXPECT_STREQ(label->caption, "changed");  // a handler's change lasts
    Lang = 1;
    pass();
    EXPECT_STREQ(label->caption, "label");
    EXPECT_EQ(label->Lang, 1);
    Lang = 0;
}

// ---- clones: one record declared several times ----

std::vector<std::pair<int, int>> rows_seen;  // tag and width of each declaration
bool widen = false;

const FORM_OBJECT clone_table[] = {
    test_page("clones"),
    label(1, "row", 10, 10, 50).colours(255, 0, 0).flagged(OF_CLONE).repeated(4, 0, 20).on_entry([] {
        rows_seen.emplace_back(me->tag, me->width);
        if (widen) me->width = 200;  // lasts only until the next declaration
    }),
    label(1, "plain", 10, 200, 50).colours(255, 0, 0).on_entry([] {
        if (widen) me->width = 120;
    }),
};
TEST_FORM(clone_form, clone_table)

TEST_F(Loading, ClonesReapplyTheirDeclarationEveryPassAndNeverRedrawByThemselves) {
    widen = true;
    open(clone_form, clone_form_release);
    rows_seen.clear();
    pass();
    widen = false;
    // No declaration keeps the width a handler gave the one before.
    EXPECT_EQ(rows_seen, (std::vector<std::pair<int, int>>{{0, 50}, {1, 50}, {2, 50}, {3, 50}}));
    // Each row drawn in its own place (aligned by its tag: left, right, centre, left).
    for (int i = 0; i < 4; i++) EXPECT_GT(pixels(10, 10 + 20 * i, 200, 8, 0), 0) << "row " << i;
    // Declared four times: the record ends the pass with the last declaration's position.
    EXPECT_EQ(record(clone_form_ptr, "row")->top, 10 + 3 * 20);
    EXPECT_EQ(record(clone_form_ptr, "plain")->width, 120);  // a plain object keeps a handler's change
    passes(2);  // the widened plain object redraws
    EXPECT_EQ(passes(40), 0);
}

// ---- tabs ----

uint8_t tab = 1;

FORM_OBJECT tab_panel(const char* name, uint32_t colour, int value) {
    return form_line(1, TPanel, name, 0).at(10, 40).size(200, 100).colours(colour, 0, 0).frame(6)
        .bind(&tab, VT_BYTE).tag(value).flagged(OF_FOCUS).enable().on_entry(switch_page);
}
const FORM_OBJECT tab_table[] = {
    test_page("tabs"),
    button("tab1", 10, 10, 60, 16).frame(1).bind(&tab, VT_BYTE).flagged(OF_AUTOREFRESH),
    button("tab2", 80, 10, 60, 16).frame(1).bind(&tab, VT_BYTE).tag(2).flagged(OF_AUTOREFRESH),
    tab_panel("panel1", 0xE0, 1),
    tab_panel("panel2", 0x1C, 2),
};
TEST_FORM(tab_form, tab_table)

TEST_F(Loading, TabsShowThePanelWhoseTagIsSelected) {
    tab = 1;
    open(tab_form, tab_form_release);
    auto expect_shown = [&](int panel) {  // after three passes panel 1 or 2 alone is visible and drawn
        passes(3);
        EXPECT_EQ(obj_stat[4].visible, panel == 1);
        EXPECT_EQ(obj_stat[5].visible, panel == 2);
        EXPECT_EQ(fb_at(100, 90), pall[panel == 1 ? 0xE0 : 0x1C]);
    };
    expect_shown(1);
    click(100, 18);  // tab 2
    EXPECT_EQ(tab, 2);
    expect_shown(2);
    // While a panel is held its visibility is left alone.
    press(100, 90);
    pass();
    tab = 1;
    passes(2);
    EXPECT_EQ(obj_stat[5].visible, 1);
    release();
    expect_shown(1);
}

// ---- a page run modally from a handler ----

int inner_passes = 0, later_entries = 0, outer_entries = 0;
void inner_form();

const FORM_OBJECT inner_table[] = {
    form_head(TPage, "inner", 0).size(1024, 600).colours(0x03, 0, 0).on_entry([] {
        if (++inner_passes == 3) page_end = 1;
    }),
};
TEST_FORM(inner_form, inner_table)

const FORM_OBJECT outer_table[] = {
    test_page("outer").on_entry([] { outer_entries++; }),
    button("opener", 10, 10, 60, 20).on_mousedown([] { Gopage(inner_form); }),
    button("later", 100, 10, 60, 20).on_entry([] { later_entries++; }),
};
TEST_FORM(outer_form, outer_table)
void outer_and_inner_release() {
    outer_form_release();
    inner_form_release();
}

TEST_F(Loading, NestedPageSkipsTheRestOfTheOuterPassAndRedrawsIt) {
    inner_passes = later_entries = outer_entries = 0;
    open(outer_form, outer_and_inner_release);
    EXPECT_EQ(later_entries, 1);
    press(40, 20);
    pass();  // the press runs the inner page to its end inside this pass
    // The rest of the outer pass is skipped; the ended page waited for the release.
    EXPECT_EQ(std::vector<int>({inner_passes, later_entries, mouse__left.load()}), std::vector<int>({3, 1, 0}));
    EXPECT_EQ(page_address, &outer_form);
    const int outer_before = outer_entries;
    passes(3);  // the outer page runs on, not the inner one
    EXPECT_EQ(std::make_pair(outer_entries, later_entries), std::make_pair(outer_before + 3, 4));
    // The inner page painted the screen; the outer page is whole again, clickable again.
    EXPECT_EQ(fb_at(500, 300), 0xC0C0C0u);
    EXPECT_NE(xcampi_dx[3], 0);
}

// ---- an invisible container: its subtree is walked, numbered, but not executed ----

uint8_t list_open = 0;
int row_entries = 0;
char rows[5][32] = {"COM1", "COM2", "COM3", "COM4", "COM5"};

const FORM_OBJECT list_table[] = {
    test_page("list"),
    button("toggle", 10, 10, 20, 16).on_mouseup([] { list_open = !list_open; }),
    form_line(1, TPanel, "list", 0).at(10, 30).size(80, 100).colours(255, 0, 0)
        .frame(6).on_entry([] { *me->visible = list_open; }),
    form_line(2, TEdit, "row", 0).at(0, 0).size(63, 17).colours(255, 219, 0)
        .frame(6).font(0, 1, 1).caption(" ").number(0, 9).flagged(OF_CLONE | OF_FOCUS | OF_EDIT).enable()
        .bind_at([](int i) -> void* { return rows[i]; }, VT_STRING).repeated(5, 0, 19).on_entry([] {
            row_entries++;
            _freeze_clone = 1;  // the rows move every declaration: no redraw regions
        }),
    label(1, "after", 200, 10, 40),
};
TEST_FORM(list_form, list_table)

TEST_F(Loading, HiddenContainerIsWalkedButNotExecuted) {
    list_open = 0;
    row_entries = 0;
    open(list_form, list_form_release);
    EXPECT_EQ(row_entries, 0);
    EXPECT_EQ(number_of(record(list_form_ptr, "after")), 9);  // numbered through the hidden rows
    for (int n = 4; n <= 8; n++) EXPECT_EQ(xcampi_dx[n], 0) << n;
    click(20, 18);  // opens the list
    passes(2);
    EXPECT_EQ(row_entries, 5 * 3);
    EXPECT_EQ(number_of(record(list_form_ptr, "after")), 9);
    for (int n = 4; n <= 8; n++) EXPECT_NE(xcampi_dx[n], 0) << n;
    EXPECT_LT(pixels(10, 68, 63, 17, pall[255]), 63 * 17);  // each row shows its own text: row 2 at y 30 + 38
    click(20, 18);  // closes it
    row_entries = 0;
    passes(2);
    EXPECT_EQ(row_entries, 0);
    EXPECT_EQ(xcampi_dx[6], 0);
}

}  // namespace
