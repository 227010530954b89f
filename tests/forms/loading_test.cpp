// Form loading: the reset and initialisation passes, clones, the language refresh, embedded
// components, tabs and a page run from a handler.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "forms_fixture.h"

namespace {

// ---- a page with a bound button, a counting label and an embedded component ----

struct CompStruct {
    FORM_HEAD head;
    OBJ* inner;
};
struct LoadStruct {
    FORM_HEAD head;
    OBJ* button;
    OBJ* label;
    OBJ* after;
};

uint8_t bound = 5;
int entries = 0, firsts = 0;
OBJ* me1_seen_after = nullptr;
CompStruct* comp_ptr = nullptr;

const FORM_OBJECT comp_table[] = {
    form_head(TPanel, "comp", sizeof(CompStruct)).size(80, 20).colours(4, 0, 0).frame(6),
    form_line(1, TLabel, "inner", FORM_MEMBER(CompStruct, inner)).at(2, 2).size(40, 8).colours(4, 0, 0)
        .font(0, 1, 1).caption("in").on_first([] { firsts++; }),
};
const FORM comp_form(comp_table);

const FORM_OBJECT load_table[] = {
    form_head(TPage, "load", sizeof(LoadStruct)).size(1024, 600).colours(0xC0C0C0DB, 0, 0)
        .on_first([] { firsts++; }),
    form_line(1, TButton, "button", FORM_MEMBER(LoadStruct, button)).at(10, 10).size(60, 20).colours(146, 0, 0)
        .frame(3).font(0, 1, 1).caption("B").bind(&bound, VT_BYTE).tag(1).enable().on_first([] { firsts++; }),
    form_line(1, TLabel, "label", FORM_MEMBER(LoadStruct, label)).at(10, 40).size(80, 8).colours(4, 0, 0)
        .font(0, 1, 1).caption("label").on_entry([] { entries++; }),
    form_line(1, TPanel, "comp", 0).at(100, 100).caption("object1").tag(1).component(&comp_form,
                                                                                     reinterpret_cast<void**>(&comp_ptr)),
    form_line(1, TLabel, "after", FORM_MEMBER(LoadStruct, after)).at(10, 60).size(80, 8).colours(4, 0, 0)
        .font(0, 1, 1).caption("after").on_entry([] { me1_seen_after = me1; }),
};
TEST_FORM(load_form, LoadStruct, load_table)

class Loading : public FormsTest {
protected:
    void SetUp() override {
        FormsTest::SetUp();
        bound = 5;
        entries = firsts = 0;
        me1_seen_after = nullptr;
    }
};

TEST_F(Loading, ResetPassAllocatesAndRunsNoFirstHandler) {
    FormDriver::setup();
    Loadpage(load_form);
    ASSERT_NE(load_form_ptr, nullptr);
    EXPECT_EQ(load_form_ptr->head.Form, &load_form_ptr->head.Body);
    EXPECT_NE(load_form_ptr->button, nullptr);
    EXPECT_NE(load_form_ptr->label, nullptr);
    EXPECT_NE(load_form_ptr->after, nullptr);
    ASSERT_NE(comp_ptr, nullptr);
    EXPECT_NE(comp_ptr->inner, nullptr);
    EXPECT_EQ(firsts, 0);
    EXPECT_EQ(page_reset, 0);
    EXPECT_EQ(load_form_ptr->button->left, 10);
    EXPECT_EQ(load_form_ptr->button->var, &bound);
    load_form_release();
    EXPECT_EQ(load_form_ptr, nullptr);
    EXPECT_EQ(comp_ptr, nullptr);
}

TEST_F(Loading, InitialisationPassRunsFirstHandlersButNoEntryAndWritesNothing) {
    FormDriver page(load_form, load_form_release);  // Loadpage, then the run's initialisation pass
    EXPECT_EQ(firsts, 3);   // page, button and the component's label
    EXPECT_EQ(entries, 0);
    EXPECT_EQ(bound, 5);    // the momentary button's 0 went to the scratch buffer
    page.pass();
    EXPECT_EQ(entries, 1);
    EXPECT_EQ(bound, 0);
    EXPECT_EQ(firsts, 3);
}

TEST_F(Loading, PageRunWithoutLoadpageAllocatesOnAResetPass) {
    FormDriver page(load_form, load_form_release, false);
    EXPECT_NE(load_form_ptr, nullptr);
    EXPECT_EQ(firsts, 0);  // the pass that created the records is a reset pass
    EXPECT_TRUE(page.pass());
}

TEST_F(Loading, EmbeddedComponentKeepsThePageForLaterObjects) {
    FormDriver page(load_form, load_form_release);
    page.pass();
    EXPECT_EQ(me1_seen_after, &load_form_ptr->head.Body);
    // The component's children are placed inside it.
    EXPECT_NE(pixel(101, 101), 0u);
}

TEST_F(Loading, LanguageChangeRestoresTheDeclaredCaption) {
    FormDriver page(load_form, load_form_release);
    page.pass();
    OBJ* label = load_form_ptr->label;
    label->caption = "changed";
    page.pass();
    EXPECT_STREQ(label->caption, "changed");  // a handler's change lasts
    Lang = 1;
    page.pass();
    EXPECT_STREQ(label->caption, "label");
    EXPECT_EQ(label->Lang, 1);
    Lang = 0;
}

// ---- clones: one record declared several times ----

struct CloneStruct {
    FORM_HEAD head;
    OBJ* row;
    OBJ* plain;
};
int row_tags_seen[8], row_width_seen[8];
int row_calls = 0;
bool widen = false;

const FORM_OBJECT clone_table[] = {
    form_head(TPage, "clones", sizeof(CloneStruct)).size(1024, 600).colours(0xC0C0C0DB, 0, 0),
    form_line(1, TLabel, "row", FORM_MEMBER(CloneStruct, row)).at(10, 10).size(50, 8).colours(255, 0, 0)
        .font(0, 1, 1).caption("row").flagged(OF_CLONE).repeated(4, 0, 20).on_entry([] {
            if (row_calls < 8) {
                row_tags_seen[row_calls] = me->tag;
                row_width_seen[row_calls] = me->width;
            }
            row_calls++;
            if (widen) me->width = 200;  // lasts only until the next declaration
        }),
    form_line(1, TLabel, "plain", FORM_MEMBER(CloneStruct, plain)).at(10, 200).size(50, 8).colours(255, 0, 0)
        .font(0, 1, 1).caption("plain").on_entry([] {
            if (widen) me->width = 120;
        }),
};
TEST_FORM(clone_form, CloneStruct, clone_table)

TEST_F(Loading, ClonesReapplyTheirDeclarationEveryPass) {
    widen = true;
    FormDriver page(clone_form, clone_form_release);
    page.pass();
    row_calls = 0;
    page.pass();
    widen = false;
    ASSERT_EQ(row_calls, 4);
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(row_tags_seen[i], i);
        EXPECT_EQ(row_width_seen[i], 50) << "declaration " << i << " kept the handler's width";
    }
    // Declared four times: the record ends the pass with the last declaration's position.
    EXPECT_EQ(clone_form_ptr->row->top, 10 + 3 * 20);
    EXPECT_EQ(clone_form_ptr->plain->width, 120);  // a plain object keeps a handler's change
    // Every row was drawn in its own place (aligned by its tag: left, right, centre, left).
    for (int i = 0; i < 4; i++) {
        bool text = false;
        for (int x = 10; x < 210; x++)
            for (int y = 10 + 20 * i; y < 18 + 20 * i; y++) text |= pixel(x, y) == 0;
        EXPECT_TRUE(text) << "row " << i;
    }
}

TEST_F(Loading, ClonesNeverRedrawByThemselves) {
    widen = false;
    FormDriver page(clone_form, clone_form_release);
    page.pass();
    EXPECT_EQ(page.passes(40), 0);
}

// ---- tabs ----

struct TabStruct {
    FORM_HEAD head;
    OBJ* tab1;
    OBJ* tab2;
    OBJ* panel1;
    OBJ* panel2;
};
uint8_t tab = 1;

const FORM_OBJECT tab_table[] = {
    form_head(TPage, "tabs", sizeof(TabStruct)).size(1024, 600).colours(0xC0C0C0DB, 0, 0),
    form_line(1, TButton, "tab1", FORM_MEMBER(TabStruct, tab1)).at(10, 10).size(60, 16).colours(146, 0, 0)
        .frame(1).font(0, 1, 1).caption("1").bind(&tab, VT_BYTE).tag(1).flagged(OF_AUTOREFRESH).enable(),
    form_line(1, TButton, "tab2", FORM_MEMBER(TabStruct, tab2)).at(80, 10).size(60, 16).colours(146, 0, 0)
        .frame(1).font(0, 1, 1).caption("2").bind(&tab, VT_BYTE).tag(2).flagged(OF_AUTOREFRESH).enable(),
    form_line(1, TPanel, "panel1", FORM_MEMBER(TabStruct, panel1)).at(10, 40).size(200, 100).colours(0xE0, 0, 0)
        .frame(6).bind(&tab, VT_BYTE).tag(1).flagged(OF_FOCUS).enable().on_entry(switch_page),
    form_line(1, TPanel, "panel2", FORM_MEMBER(TabStruct, panel2)).at(10, 40).size(200, 100).colours(0x1C, 0, 0)
        .frame(6).bind(&tab, VT_BYTE).tag(2).flagged(OF_FOCUS).enable().on_entry(switch_page),
};
TEST_FORM(tab_form, TabStruct, tab_table)

TEST_F(Loading, TabsShowThePanelWhoseTagIsSelected) {
    tab = 1;
    FormDriver page(tab_form, tab_form_release);
    page.passes(3);
    EXPECT_EQ(obj_stat[4].visible, 1);
    EXPECT_EQ(obj_stat[5].visible, 0);
    EXPECT_EQ(pixel(100, 90), pall[0xE0]);
    page.click(100, 18);  // tab 2
    EXPECT_EQ(tab, 2);
    page.passes(3);
    EXPECT_EQ(obj_stat[4].visible, 0);
    EXPECT_EQ(obj_stat[5].visible, 1);
    EXPECT_EQ(pixel(100, 90), pall[0x1C]);
    // While a panel is held its visibility is left alone.
    page.press(100, 90);
    page.pass();
    tab = 1;
    page.passes(2);
    EXPECT_EQ(obj_stat[5].visible, 1);
    page.release();
    page.passes(3);
    EXPECT_EQ(obj_stat[5].visible, 0);
    EXPECT_EQ(obj_stat[4].visible, 1);
    EXPECT_EQ(pixel(100, 90), pall[0xE0]);
}

// ---- a page run modally from a handler ----

struct InnerStruct {
    FORM_HEAD head;
};
struct OuterStruct {
    FORM_HEAD head;
    OBJ* opener;
    OBJ* later;
};
int inner_passes = 0, later_entries = 0, outer_entries = 0;
void inner_form();

const FORM_OBJECT inner_table[] = {
    form_head(TPage, "inner", sizeof(InnerStruct)).size(1024, 600).colours(0x03, 0, 0).on_entry([] {
        if (++inner_passes == 3) page_end = 1;
    }),
};
TEST_FORM(inner_form, InnerStruct, inner_table)

const FORM_OBJECT outer_table[] = {
    form_head(TPage, "outer", sizeof(OuterStruct)).size(1024, 600).colours(0xC0C0C0DB, 0, 0)
        .on_entry([] { outer_entries++; }),
    form_line(1, TButton, "opener", FORM_MEMBER(OuterStruct, opener)).at(10, 10).size(60, 20).colours(146, 0, 0)
        .frame(3).font(0, 1, 1).caption("open").bind(&Null, VT_NONE).tag(1).enable()
        .on_mousedown([] { Gopage(inner_form); }),
    form_line(1, TButton, "later", FORM_MEMBER(OuterStruct, later)).at(100, 10).size(60, 20).colours(146, 0, 0)
        .frame(3).font(0, 1, 1).caption("later").bind(&Null, VT_NONE).tag(1).enable()
        .on_entry([] { later_entries++; }),
};
TEST_F(Loading, NestedPageSkipsTheRestOfTheOuterPassAndRedrawsIt) {
    static OuterStruct* outer_ptr = nullptr;
    struct Outer {
        static void run() { form_run(FORM(outer_table), reinterpret_cast<void**>(&outer_ptr)); }
        static void release() {
            form_release(FORM(outer_table), reinterpret_cast<void**>(&outer_ptr));
            inner_form_release();
        }
    };
    inner_passes = later_entries = outer_entries = 0;
    FormDriver page(Outer::run, Outer::release);
    page.pass();
    EXPECT_EQ(later_entries, 1);
    page.press(40, 20);
    page.pass();  // the press runs the inner page to its end inside this pass
    EXPECT_EQ(inner_passes, 3);
    EXPECT_EQ(later_entries, 1);  // skipped in the pass that ran the inner page
    EXPECT_EQ(page_address, &Outer::run);
    EXPECT_EQ(mouse__left.load(), 0);  // the ended page waited for the release
    const int outer_before = outer_entries;
    page.passes(3);
    EXPECT_EQ(outer_entries, outer_before + 3);  // the outer page runs on, not the inner one
    EXPECT_EQ(later_entries, 4);
    // The inner page painted the screen; the outer page is whole again, clickable again.
    EXPECT_EQ(pixel(500, 300), 0xC0C0C0u);
    EXPECT_NE(xcampi_dx[3], 0);
}

}  // namespace

namespace {

// ---- an invisible container: its subtree is walked, numbered, but not executed ----

struct ListStruct {
    FORM_HEAD head;
    OBJ *toggle, *list, *row, *after;
};
uint8_t list_open = 0;
int row_entries = 0;
char rows[5][32] = {"COM1", "COM2", "COM3", "COM4", "COM5"};

const FORM_OBJECT list_table[] = {
    form_head(TPage, "list", sizeof(ListStruct)).size(1024, 600).colours(0xC0C0C0DB, 0, 0),
    form_line(1, TButton, "toggle", FORM_MEMBER(ListStruct, toggle)).at(10, 10).size(20, 16).colours(146, 0, 0)
        .frame(3).font(0, 1, 1).caption("t").bind(&Null, VT_NONE).tag(1).enable()
        .on_mouseup([] { list_open = !list_open; }),
    form_line(1, TPanel, "list", FORM_MEMBER(ListStruct, list)).at(10, 30).size(80, 100).colours(255, 0, 0)
        .frame(6).on_entry([] { *me->visible = list_open; }),
    form_line(2, TEdit, "row", FORM_MEMBER(ListStruct, row)).at(0, 0).size(63, 17).colours(255, 219, 0)
        .frame(6).font(0, 1, 1).caption(" ").number(0, 9).flagged(OF_CLONE | OF_FOCUS | OF_EDIT).enable()
        .bind_at([](int i) -> void* { return rows[i]; }, VT_STRING).repeated(5, 0, 19)
        .on_entry([] {
            row_entries++;
            _freeze_clone = 1;  // the rows move every declaration: no redraw regions
        }),
    form_line(1, TLabel, "after", FORM_MEMBER(ListStruct, after)).at(200, 10).size(40, 8).colours(4, 0, 0)
        .font(0, 1, 1).caption("after"),
};
TEST_FORM(list_form, ListStruct, list_table)

TEST_F(Loading, HiddenContainerIsWalkedButNotExecuted) {
    list_open = 0;
    row_entries = 0;
    FormDriver page(list_form, list_form_release);
    page.pass();
    EXPECT_EQ(row_entries, 0);
    EXPECT_EQ(FormDriver::number_of(list_form_ptr->after), 9);  // numbered through the hidden rows
    for (int n = 4; n <= 8; n++) EXPECT_EQ(xcampi_dx[n], 0) << n;
    ASSERT_TRUE(page.click(list_form_ptr->toggle));
    page.passes(2);
    EXPECT_EQ(row_entries, 5 * 3);
    EXPECT_EQ(FormDriver::number_of(list_form_ptr->after), 9);
    for (int n = 4; n <= 8; n++) EXPECT_NE(xcampi_dx[n], 0) << n;
    // Each row shows its own text: row 2 at y = 30 + 38.
    const uint32_t white = pall[255];
    int ink = 0;
    for (int y = 68; y < 85; y++)
        for (int x = 10; x < 73; x++) ink += pixel(x, y) != white;
    EXPECT_GT(ink, 0);
    ASSERT_TRUE(page.click(list_form_ptr->toggle));
    row_entries = 0;
    page.passes(2);
    EXPECT_EQ(row_entries, 0);
    EXPECT_EQ(xcampi_dx[6], 0);
}

// ---- a form written as procedures, the way generated code declares it ----

struct ManualStruct {
    OBJ Body;
    OBJ* Form;
    OBJ* label;
};
ManualStruct* manual = nullptr;
int manual_entries = 0;

void manual_label_Body(void** object_var) {
    ManualStruct* f = static_cast<ManualStruct*>(*object_var);
    me = f->label;
    if (!me) {
        me = f->label = static_cast<OBJ*>(std::calloc(1, sizeof(OBJ)));
        page_reset = 1;
    }
    if (page_reset || __clone) {
        me2->visible = me2->vishold = 1;
        me2->enabled = 0;
        me->width = 50;
        me->height = 8;
        me->vartype = VT_NONE;
        me->color = 4;
        fix_object();
    }
    _fontn = 0;
    _fontx = _fonty = 1;
    _canerase = 1;
    _onentry = [] { manual_entries++; };
}
void manual_Fork(void** object_var) {
    if (!*object_var) return;
    object(TLabel, object_var, manual_label_Body, 20, 20, &Null, VT_NONE, 0, 0, "manual");
}
void manual_Body(void** object_var) {
    me = static_cast<OBJ*>(*object_var);
    if (!me) {
        auto* f = static_cast<ManualStruct*>(std::calloc(1, sizeof(ManualStruct)));
        *object_var = f;
        me = &f->Body;
        f->Form = me;
        page_reset = 1;
    }
    if (page_reset || __clone) {
        me2->visible = me2->vishold = 1;
        me->width = 1024;
        me->height = 600;
        me->vartype = VT_NONE;
        me->fork = manual_Fork;
        me->color = 0x03;
        fix_object();
    }
    _pagename = "manual";
    me1 = me;
    _canerase = 1;
}
void form_manual() {
    object(TPage, reinterpret_cast<void**>(&manual), manual_Body, 0, 0, &Null, VT_NONE, 1, 0, "PAGE");
}
void manual_release() {
    if (!manual) return;
    std::free(manual->label);
    std::free(manual);
    manual = nullptr;
}

TEST_F(Loading, ProceduralBodiesAndForksRunLikeTables) {
    manual_entries = 0;
    FormDriver page(form_manual, manual_release);
    page.pass();
    EXPECT_EQ(manual_entries, 1);
    EXPECT_EQ(manual->Form, &manual->Body);
    EXPECT_EQ(pixel(500, 300), pall[0x03]);
    bool text = false;
    for (int x = 20; x < 70; x++)
        for (int y = 20; y < 28; y++) text |= pixel(x, y) != pall[0x03];
    EXPECT_TRUE(text);
    EXPECT_EQ(page.passes(5), 0);
}

}  // namespace
