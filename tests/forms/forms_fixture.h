// Shared pieces of the form tests: an event log for handlers, the lines most test forms are
// made of, a fixture that runs one page and releases the test forms after each test, and
// pixel reads.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "forms/object.h"
#include "forms/page.h"
#include "forms/table.h"
#include "forms/widgets.h"
#include "platform/framebuffer.h"
#include "support/forms_driver.h"

using V = std::vector<std::string>;

// What the handlers saw, in order: "name:event". Handlers find their own line through the
// record (the diagnostic _obj_name is set on (re)initialising passes only).
inline V& event_log() {
    static V log;
    return log;
}
inline void log_me(const char* event) {
    event_log().push_back(std::string(me && me->decl ? me->decl->name : "?") + ":" + event);
}
inline V take_events() {
    V out;
    out.swap(event_log());
    return out;
}

// A form procedure NAME() for a table with its structure pointer NAME_ptr, and
// NAME_release() that frees its records (hand it to the driver).
#define TEST_FORM(NAME, STRUCT, TABLE)                                                   \
    STRUCT* NAME##_ptr = nullptr;                                                        \
    void NAME() { form_run(FORM(TABLE), reinterpret_cast<void**>(&NAME##_ptr)); }        \
    void NAME##_release() { form_release(FORM(TABLE), reinterpret_cast<void**>(&NAME##_ptr)); }

// A grey full-screen page, a transparent label 8 pixels high in font 0 showing its name, and
// an enabled momentary button with a raised frame showing its name.
inline FORM_OBJECT test_page(const char* name, size_t size) {
    return form_head(TPage, name, size).size(1024, 600).colours(0xC0C0C0DB, 0, 0);
}
inline FORM_OBJECT label(int depth, const char* name, uint32_t member, int x, int y, int width) {
    return form_line(depth, TLabel, name, member).at(x, y).size(width, 8).colours(4, 0, 0).font(0, 1, 1).caption(name);
}
inline FORM_OBJECT button(const char* name, uint32_t member, int x, int y, int width, int height) {
    return form_line(1, TButton, name, member).at(x, y).size(width, height).colours(146, 0, 0).frame(3)
        .font(0, 1, 1).caption(name).bind(&Null, VT_NONE).tag(1).enable();
}

class FormsTest : public ::testing::Test {
protected:
    void SetUp() override {
        take_events();
        FormDriver::setup();
        fb_open();
        for (int64_t i = 0; i < fb_pixels; i++) dx_surface[i] = 0;
        Lang = 0;
        in_edit = old_edit = obj_focus = 0;
    }
    void TearDown() override { page.reset(); }
    // Starts a form in page and runs its first pass, which draws the whole page.
    FormDriver& open(void (*form)(), void (*release)()) {
        page = std::make_unique<FormDriver>(form, release);
        page->pass();
        return *page;
    }
    std::unique_ptr<FormDriver> page;
};

inline uint32_t pixel(int x, int y) { return dx_surface[size_t(y) * size_t(dx_pitch) + size_t(x)]; }
// Pixels of colour rgb in a w x h rectangle.
inline int pixels(int x0, int y0, int w, int h, uint32_t rgb) {
    int n = 0;
    for (int y = y0; y < y0 + h; y++)
        for (int x = x0; x < x0 + w; x++) n += pixel(x, y) == rgb;
    return n;
}
// Pixels of two w x h rectangles that differ.
inline int differing(int x0, int y0, int x1, int y1, int w, int h) {
    int n = 0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) n += pixel(x0 + x, y0 + y) != pixel(x1 + x, y1 + y);
    return n;
}
