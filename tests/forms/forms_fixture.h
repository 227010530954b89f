// Shared pieces of the form tests: one structure for every test form, the lines most test
// forms are made of, and a fixture that drives one page and releases its form after each test.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "forms/table.h"
#include "forms/widgets.h"
#include "support/forms_driver.h"
#include "support/framebuffer_helpers.h"

// Every test form has one structure: its page, then the record of table line i in slot[i].
struct TestForm {
    FORM_HEAD head;
    OBJ* slot[40];
};
// A copy of a table whose lines keep their records in the slots of a TestForm.
template <size_t N>
FORM numbered(const FORM_OBJECT (&table)[N]) {
    static_assert(N <= 40);
    auto* lines = new FORM_OBJECT[N];  // lives as long as the program, as tables do
    for (size_t i = 0; i < N; i++) {
        lines[i] = table[i];
        lines[i].member = uint32_t(offsetof(TestForm, slot) + sizeof(OBJ*) * i);
    }
    lines[0].form_size = sizeof(TestForm);
    return FORM(lines, int(N));
}
// The record of the line named name in a form that has run.
inline OBJ* record(TestForm* form, const char* name) {
    const FORM_OBJECT* page = form->head.Body.decl;
    for (const FORM_OBJECT* l = page + 1; l < form->head.Body.decl_end; l++)
        if (std::strcmp(l->name, name) == 0) return form->slot[l - page];
    return nullptr;
}
// A form procedure NAME() for a table with its structure pointer NAME_ptr, and
// NAME_release() that frees its records (hand it to the driver).
#define TEST_FORM(NAME, TABLE)                                                           \
    TestForm* NAME##_ptr = nullptr;                                                      \
    const FORM NAME##_lines = numbered(TABLE);                                           \
    void NAME() { form_run(NAME##_lines, reinterpret_cast<void**>(&NAME##_ptr)); }       \
    void NAME##_release() { form_release(NAME##_lines, reinterpret_cast<void**>(&NAME##_ptr)); }

// A grey full-screen page, a transparent label 8 pixels high in font 0 showing its name, and
// an enabled momentary button with a raised frame showing its name.
inline FORM_OBJECT test_page(const char* name) {
    return form_head(TPage, name, 0).size(1024, 600).colours(0xC0C0C0DB, 0, 0);
}
inline FORM_OBJECT label(int depth, const char* name, int x, int y, int width) {
    return form_line(depth, TLabel, name, 0).at(x, y).size(width, 8).colours(4, 0, 0).font(0, 1, 1).caption(name);
}
inline FORM_OBJECT button(const char* name, int x, int y, int width, int height) {
    return form_line(1, TButton, name, 0).at(x, y).size(width, height).colours(146, 0, 0).frame(3)
        .font(0, 1, 1).caption(name).bind(&Null, VT_NONE).tag(1).enable();
}

// Every form test drives one page at a time; the driver lets go of it when the test ends.
class FormsTest : public ::testing::Test, public FormDriver {
protected:
    void SetUp() override {
        setup();
        fb_fill_all(0);
        Lang = 0;
        in_edit = old_edit = obj_focus = 0;
    }
    // Starts a form and runs its first pass, which draws the whole page.
    void open(void (*form)(), void (*release)()) {
        start(form, release);
        pass();
    }
};
