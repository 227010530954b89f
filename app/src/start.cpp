// Start-up: progress lines on the blank screen, the main page built, the program directory
// made current, the device command task, the control cycle, the timers and the UI text
// table; then the main page for ever. Also the port scan of the page's first showing.
#include "app/start.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/combo_box.h"
#include "app/page1.h"
#include "app/traces.h"
#include "assets/fonts.h"
#include "forms/edit.h"
#include "forms/object.h"
#include "gfx/draw.h"
#include "gfx/text.h"
#include "platform/cycle.h"
#include "platform/display.h"
#include "platform/input.h"
#include "platform/serial.h"
#include "platform/tasks.h"
#include "platform/timers.h"
#include "vna/device.h"

char LangVett[LANG_ROWS][LANG_CHARS];
std::atomic<int> pagina{0};
std::atomic<int> nn{0}, okok{0};

namespace {

// Hidden-task number of the device command task; the page thread starts it, the shutdown
// (on whichever thread ends the program) stops it.
std::atomic<unsigned> device_task{0};

// Counters of the control cycle; nothing reads them.
long plc_loop = 0;
int first_cycle = 0, is_running = 0;

// Row n of LangVett; rows 33 and 49 keep their trailing blanks, row 52 stays empty.
constexpr const char* ui_texts[LANG_ROWS - 1] = {
    "page1", "CONNECT", "DISCONNECT", "Start Hz", "start MHz.", "Stop Hz", "stop  MHz.", "Punti", "points",
    "SCAN", "STOP", "Punti acquisiti", "EXIT", "continue", "COM", "slow", "acquired in", "msec.", "SHORT",
    "LOAD", "ISOL", "THRU", "CAL APPLY", "SAVE CAL", "LOAD CAL", "OPEN", " ", "S11", "S21", "RLC", "PHASE",
    "ROS", "???", "RLC limits     ", "1 pF to 1 uF", "10 nHe to 10 mHe", "at freq.", "MHz.", "SMD probe",
    "R.O.S.", "S11 phase", "S11 mag", "S21 phase", "S21 db", "RE", "IM", "ok", "FASE", "GAIN",
    "RLC bridge                                        ", "SMD Test", "1 Ohm to 10 KOhm"};

// A progress line at text row 3, column 6, over the previous one.
void progress(const char* text) {
    v_font(0, 1, 2);
    v_color(113, 0);
    v_llocate(3, 6);
    v_print(text);
}

// Closes the analyser's port record when the probe leaves, also when it is stopped.
struct ProbeClose {
    ~ProbeClose() {
        if (vna_com->open.load()) com_close(vna_com);
    }
};

}  // namespace

void start_program() {
    fonts_install();
    _doubleclick = 1;
    _tastiera = 1;
    v_color(113, 113);
    v_cls();
    pagina = 1;
    CSET = 0;
    progress("loading page page1          ");
    Loadpage(form_page1);
    progress("loading start         ");
    MB21 = 3;
    MB22 = 4;
    if (MyDir[0] && chdir(MyDir) != 0) std::fprintf(stderr, "corvane: cannot enter %s\n", MyDir);
    std::snprintf(vna_port_name, sizeof vna_port_name, "COM%d", vna_port_index + 1);
    vna_answer_timeout_from_env();
    device_task = exec_task_hidden(vna_task, nullptr, 0);
    progress("start plc               ");
    exec_task(plc, 0, 0);
    wait(20);
    progress("start timers            ");
    start_timers();
    page1_install_port_source();
    for (int i = 0; i < LANG_ROWS - 1; i++) std::snprintf(LangVett[i], LANG_CHARS, "%s", ui_texts[i]);
}

void mainloop() {
    start_program();
    for (;;) Gopage(form_page1);
}

void end_program() {
    // The device command task stops at its next wait, then the port and its pumps close.
    if (const unsigned task = device_task.exchange(0)) remove_task_hidden(task);
    vna_disconnect_device();
    remove_task(0);
}

void plc() {
    plc_loop = 0;
    first_cycle = 1;
    is_running = 0;
    for (;;) {
        start_cycle();
        plc_loop++;
        first_cycle = 0;
        is_running = 1;
    }
}

void scan_com(void*) {
    if (!Co1) return;
    ProbeClose close_on_exit;
    std::snprintf(vna_port_name, sizeof vna_port_name, "COM%d", nn.load());
    assign_com(vna_com, vna_port_name);
    okok = com_open(vna_com, 300);
}

void page1_onfirst() {
    if (!Co1) return;
    Co1->numitems = 0;
    std::snprintf(Co1->text, sizeof Co1->text, "SCAN");
    for (int port = 1; port <= COM_RECORDS; port++) {
        nn = port;
        okok = 0;
        const unsigned probe = exec_task_hidden(scan_com, nullptr, 0);
        if (!probe) continue;  // not probed, not listed
        wait(10);
        // The probe has no stop point while it opens and closes the port, so removing it
        // waits until the port record is closed again; its result is then final.
        remove_task_hidden(probe);
        if (okok.load() == 0 && Co1->numitems < COMBO_ITEMS)
            std::snprintf(Co1->items[Co1->numitems++], COMBO_TEXT, "COM%d", port);
    }
    Co1->val = -1;
}
