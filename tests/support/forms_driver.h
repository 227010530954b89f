// A headless page driver: runs passes of a form on the headless display with scripted
// pointer and key input, without sleeping.
//
//   driver.start(form_test);        // initialisation pass (records built, nothing drawn)
//   driver.pass();                  // first loop pass: draws the whole page
//   driver.click(120, 40);          // press for one pass, release for one pass
//   driver.key('7'); driver.key(13);  // one key per pass (held, then released)
//
// The page runs on the calling thread exactly as the page loop runs it; a pass reports
// whether it drew anything.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "assets/fonts.h"
#include "forms/edit.h"
#include "forms/object.h"
#include "forms/page.h"
#include "platform/display.h"
#include "platform/framebuffer.h"
#include "platform/input.h"

class FormDriver {
public:
    // Starts a page as Gopage does, up to its loop: with load, Loadpage runs first (the reset
    // pass that allocates the records), then the initialisation pass of the run. release,
    // when given, runs when the page stops (tests free their forms there).
    void start(void (*form)(), void (*release)() = nullptr, bool load = true) {
        stop();
        setup();
        if (load) Loadpage(form);
        page_address = form;
        page_reset = 0;
        release_ = release;
        edit_page_init();
    }
    // Lets go of all input and frees the running page's form.
    void stop() {
        release_all();
        page_release_wait = nullptr;
        page_address = nullptr;
        if (release_) std::exchange(release_, nullptr)();
    }
    ~FormDriver() { stop(); }

    // The display, fonts and input as the program sets them at start-up.
    static void setup() {
        headless_start();
        static const bool fonts = (fonts_install(), true);
        (void)fonts;
        _tastiera = 1;
        _doubleclick = 1;
        page_release_wait = &release_all;
        release_all();
    }

    // One loop pass; true when it drew anything on the visible screen.
    bool pass() {
        fb_open();
        dx_refresh();  // hand over what earlier steps drew, so only this pass counts
        edit_page_loop();
        return fb_changed.load();
    }
    // n passes; how many of them drew.
    int passes(int n) {
        int drew = 0;
        for (int i = 0; i < n; i++) drew += pass();
        return drew;
    }

    // Pointer at (x, y) in framebuffer pixels, button down or up (takes effect on the next
    // pass).
    void pointer(int x, int y, bool down) {
        mouse__x.store(x);
        mouse__y.store(y);
        mouse__left.store(down ? 1 : 0);
    }
    void press(int x, int y) { pointer(x, y, true); }
    void release() { mouse__left.store(0); }
    // Press for one pass, release for one pass.
    void click(int x, int y) { press(x, y); pass(); release(); pass(); }
    // The number of a record's object in the last pass (0 before its first execution).
    static int number_of(const OBJ* rec) {
        if (!rec || !rec->visible) return 0;
        return int((rec->visible - &obj_stat[0].visible) / ptrdiff_t(sizeof(STATUS)));
    }
    // A key held for one pass and released for one pass (typing the same key twice needs
    // the release between).
    void key(int code) { key_down(code); pass(); key_up(); pass(); }
    void type(const std::string& text) {
        for (char c : text) key(static_cast<unsigned char>(c));
    }
    void key_down(int code) { key__press.store(uint8_t(code)); }
    void key_up() { key__press.store(0); }

private:
    void (*release_)() = nullptr;
    // What an operator does when an ended page waits: lets go of everything.
    static void release_all() {
        mouse__left.store(0);
        key__press.store(0);
    }
};
