// Handlers of the main page itself: the sweep limits in Hz, the status line, the port the
// connect command opens, the RLC view's visibility rules and the calibration file buttons.
#include "app/page1.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "app/combo_box.h"
#include "app/open_dialog.h"
#include "app/operator_keys.h"
#include "app/rlc.h"
#include "app/traces.h"
#include "platform/tasks.h"
#include "vna/calfile.h"
#include "vna/device.h"
#include "vna/handlers.h"

int16_t page1_switch34 = 1;
uint8_t MB3, MB4, MB5, MB6, MB7, MB8, MB9, MB10, MB11, MB12, MB13, MB14, MB15, MB27, MB88, MB89, MB111;
char page1_status[128] = "Not connected";

namespace {

// The selector's text as the page last saw it. The device command task reads it when it
// connects, so it is handed over under a lock instead of read from the selector itself.
std::mutex port_lock;
char port_choice[COMBO_TEXT];

void port_source(char* out, size_t n) {
    std::lock_guard<std::mutex> hold(port_lock);
    std::snprintf(out, n, "%s", port_choice);
}

// Copied when a text was set since the last copy (the page shows it on every pass; the count
// is read first, so a text set meanwhile is copied on the next pass).
void show_status() {
    static uint64_t shown = UINT64_MAX;
    const uint64_t count = vna_status.count();
    if (count == shown) return;
    vna_status.copy(page1_status, sizeof page1_status);
    shown = count;
}

// The page thread is port_choice's only writer, so it compares without the lock and takes
// the lock only to change it.
void take_port_choice() {
    char text[COMBO_TEXT];
    combo_text(Co1, text, sizeof text);
    if (std::strcmp(text, port_choice) == 0) return;
    std::lock_guard<std::mutex> hold(port_lock);
    std::memcpy(port_choice, text, sizeof text);
}

// Runs the file dialog with a title; the bare name chosen, or null.
const char* choose_calibration_file(const char* title) {
    TOpenDialog_Struct* d = Dialog1;
    if (!d) return nullptr;
    std::snprintf(d->FileType, sizeof d->FileType, "*.cal");
    d->FileName[0] = 0;
    std::snprintf(d->Title, sizeof d->Title, "%s", title);
    d->Scala = 0.6f;
    d->FullScreen = 8;
    sys_gen_point0 = d;
    const int32_t chosen = d->Execute ? d->Execute() : OpenDialog_Execute();
    operator_keys_drop();  // pressed over the dialog, not meant for the page
    show_status();  // a refused name is reported at once
    return chosen ? d->FileName : nullptr;
}

// The file buttons work only while connected and idle, and only the page posts: with the
// word free, nobody reads vna_cal_file until the command posted after it is taken.
bool idle() { return vna_state.load() == VNA_CONNECTED && vna_command.load() == 0; }

}  // namespace

void page1_install_port_source() { vna_port_source = port_source; }

int page_points() { return std::min<int>(vna_points.load(), VNA_MAX_POINTS); }

int marker_index() { return std::clamp<int>(quale, 0, std::max(page_points(), 1) - 1); }

void page1_onentry() {
    vna_f_start = vna_mhz_to_hz(f_start.load());
    vna_f_stop = vna_mhz_to_hz(f_stop.load());
    quale = marker_index();
    operator_keys_poll();
    show_status();
    take_port_choice();
}

void page1_panel2_onentry() {}
void page1_label2_oncreate() {}

void page1_edit11_onentry() {
    me2->visible = uint8_t(rlc_ok);
    me->decimals = rlc_valx < 10 ? 2 : rlc_valx < 100 ? 1 : 0;
}
void page1_edit13_onentry() { me2->visible = uint8_t(rlc_ok); }
void page1_label15_onentry() { me2->visible = uint8_t(rlc_ok); }
void page1_panel21_onentry() { me2->visible = !rlc_ok; }

void page1_cal_save_onmousedown() {
    v_tik(3);
    if (!idle()) return;
    const char* name = choose_calibration_file("   Save file");
    if (!name) return;
    vna_set_cal_file(name, true);
    vna_post(VNA_CMD_CAL_APPLY);
    wait(500);
    vna_post(VNA_CMD_SAVE_CAL);
}

void page1_cal_recall_onmousedown() {
    v_tik(3);
    if (!idle()) return;
    if (const char* name = choose_calibration_file("   Load file")) {
        vna_set_cal_file(name, false);
        vna_post(VNA_CMD_LOAD_CAL);
    }
    wait(500);
    vna_post(VNA_CMD_CAL_APPLY);
}
