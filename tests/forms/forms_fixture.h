// Shared pieces of the form tests: an event log for handlers, a fixture that releases the
// test forms after each test, and pixel reads.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/object.h"
#include "forms/page.h"
#include "forms/table.h"
#include "forms/widgets.h"
#include "platform/framebuffer.h"
#include "support/forms_driver.h"

// What the handlers saw, in order: "name:event".
inline std::vector<std::string>& event_log() {
    static std::vector<std::string> log;
    return log;
}
inline void log_event(const char* event) {
    event_log().push_back(std::string(_obj_name ? _obj_name : "?") + ":" + event);
}
// The name of the running object is the diagnostic _obj_name only on (re)initialising
// passes; handlers find their own line through the record.
inline void log_me(const char* event) {
    event_log().push_back(std::string(me && me->decl ? me->decl->name : "?") + ":" + event);
}
inline std::vector<std::string> take_events() {
    std::vector<std::string> out;
    out.swap(event_log());
    return out;
}

// A form procedure NAME() for a table with its structure pointer NAME_ptr, and
// NAME_release() that frees its records (hand it to the driver).
#define TEST_FORM(NAME, STRUCT, TABLE)                                                   \
    STRUCT* NAME##_ptr = nullptr;                                                        \
    void NAME() { form_run(FORM(TABLE), reinterpret_cast<void**>(&NAME##_ptr)); }        \
    void NAME##_release() { form_release(FORM(TABLE), reinterpret_cast<void**>(&NAME##_ptr)); }

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
};

inline uint32_t pixel(int x, int y) { return dx_surface[size_t(y) * size_t(dx_pitch) + size_t(x)]; }
inline uint32_t palette_rgb(int index) { return pall[index]; }
