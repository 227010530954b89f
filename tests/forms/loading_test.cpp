// Form loading: one page of clones, tabs and a hidden container, and a page run from a handler.
#include <vector>

#include "forms_fixture.h"
#include "support/reference_image.h"

namespace {

using Loading = FormsTest;

// ---- one page: a clone declared four times, tabs, and a list inside a hidden panel ----

std::vector<std::pair<int, int>> rows_seen;  // tag and width of each declaration
bool widen = false;
uint8_t tab = 1, list_open = 0;
int row_entries = 0;
char rows[5][32] = {"COM1", "COM2", "COM3", "COM4", "COM5"};

FORM_OBJECT tab_panel(const char* name, uint32_t colour, int value) {
    return form_line(1, TPanel, name, 0).at(100, 40).size(200, 100).colours(colour, 0, 0).frame(6)
        .bind(&tab, VT_BYTE).tag(value).flagged(OF_FOCUS).enable().on_entry(switch_page);
}
const FORM_OBJECT scene_table[] = {
    test_page("scene"),
    label(1, "row", 10, 10, 50).colours(255, 0, 0).flagged(OF_CLONE).repeated(4, 0, 20).on_entry([] {
        rows_seen.emplace_back(me->tag, me->width);
        if (widen) me->width = 200;  // lasts only until the next declaration
    }),
    label(1, "plain", 10, 100, 50).colours(255, 0, 0).on_entry([] {
        if (widen) me->width = 80;
    }),
    button("tab1", 100, 10, 60, 16).frame(1).bind(&tab, VT_BYTE).flagged(OF_AUTOREFRESH),
    button("tab2", 170, 10, 60, 16).frame(1).bind(&tab, VT_BYTE).tag(2).flagged(OF_AUTOREFRESH),
    tab_panel("panel1", 0xE0, 1),
    tab_panel("panel2", 0x1C, 2),
    button("toggle", 320, 10, 20, 16).on_mouseup([] { list_open = !list_open; }),
    form_line(1, TPanel, "list", 0).at(320, 30).size(80, 100).colours(255, 0, 0)
        .frame(6).on_entry([] { *me->visible = list_open; }),
    form_line(2, TEdit, "row", 0).at(0, 0).size(63, 17).colours(255, 219, 0)
        .frame(6).font(0, 1, 1).caption(" ").number(0, 9).flagged(OF_CLONE | OF_FOCUS | OF_EDIT).enable()
        .bind_at([](int i) -> void* { return rows[i]; }, VT_STRING).repeated(5, 0, 19).on_entry([] {
            row_entries++;
            _freeze_clone = 1;  // the rows move every declaration: no redraw regions
        }),
    label(1, "after", 420, 10, 40),
};
TEST_FORM(scene_form, scene_table)

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

// Clones reapply their declaration on every pass and never redraw by themselves; the panel
// whose tag the tabs select alone is shown (left alone while held); the rows of a hidden
// container are walked and numbered but neither run nor clickable. The page with tab 2 and
// the list open is a picture: each row and each list row drawn in its own place. Then a
// page run modally from a handler of another.
TEST_F(Loading, ClonesTabsHiddenListsAndNestedPages) {
    // The handlers' counters start at 0 in every run, --gtest_repeat too.
    inner_passes = later_entries = outer_entries = row_entries = 0;
    tab = 1;
    list_open = 0;
    widen = true;
    open(scene_form, scene_form_release);
    rows_seen.clear();
    pass();
    widen = false;
    EXPECT_EQ(rows_seen, (std::vector<std::pair<int, int>>{{0, 50}, {1, 50}, {2, 50}, {3, 50}}));
    EXPECT_EQ(record(scene_form_ptr, "row")->top, 10 + 3 * 20);  // the last declaration's position
    EXPECT_EQ(record(scene_form_ptr, "plain")->width, 80);     // a plain object keeps a handler's change
    const int after = number_of(record(scene_form_ptr, "after")), panel1 = after - 9;
    auto expect_state = [&](int panel, bool list) {
        passes(3);
        EXPECT_EQ(std::make_pair(obj_stat[panel1].visible, obj_stat[panel1 + 1].visible),
                  std::make_pair(uint8_t(panel == 1), uint8_t(panel == 2)));
        EXPECT_EQ(fb_at(200, 90), pall[panel == 1 ? 0xE0 : 0x1C]);
        EXPECT_EQ(number_of(record(scene_form_ptr, "after")), after);  // numbered through the hidden rows
        for (int n = after - 5; n < after; n++) EXPECT_EQ(xcampi_dx[n] != 0, list) << n;
    };
    expect_state(1, false);
    click(200, 18);  // tab 2
    click(330, 18);  // opens the list
    row_entries = 0;
    expect_state(2, true);
    EXPECT_EQ(row_entries, 5 * 3);
    EXPECT_EQ(passes(40), 0);
    expect_reference("forms/scene", 0, 0, 470, 150);
    press(200, 90);  // while a panel is held its visibility is left alone
    pass();
    tab = 1;
    passes(2);
    EXPECT_EQ(obj_stat[panel1 + 1].visible, 1);
    release();
    click(330, 18);  // closes the list
    row_entries = 0;
    expect_state(1, false);
    EXPECT_EQ(row_entries, 0);
    // A page run modally from a handler.
    open(outer_form, outer_and_inner_release);
    EXPECT_EQ(later_entries, 1);
    press(40, 20);
    pass();  // the press runs the inner page to its end inside this pass
    // The rest of the outer pass is skipped; the ended page waited for the release.
    EXPECT_EQ(std::vector<int>({inner_passes, later_entries, mouse__left.load()}), std::vector<int>({3, 1, 0}));
    const int outer_before = outer_entries;
    passes(3);  // the outer page runs on, not the inner one
    EXPECT_EQ(std::make_pair(outer_entries, later_entries), std::make_pair(outer_before + 3, 4));
    // The inner page painted the screen; the outer page is whole again, clickable again.
    EXPECT_EQ(fb_at(500, 300), 0xC0C0C0u);
    EXPECT_NE(xcampi_dx[3], 0);
}

}  // namespace
