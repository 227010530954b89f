// Page handlers that post to the device command task.
#include "vna/handlers.h"

#include "platform/input.h"
#include "platform/tasks.h"
#include "vna/calibration.h"
#include "vna/device.h"

int vna_post(int code) {
    int idle = 0;
    // The word is taken only when free, so two posters cannot both succeed.
    if (vna_state.load() == VNA_BUSY || !vna_command.compare_exchange_strong(idle, code)) {
        vna_status.set("Command ignored: VNA busy");
        return 0;
    }
    // The idle task sleeps on the word: it takes the command now, not at its next look.
    task_wake_word(vna_command);
    return 1;
}

void page1_connect_onmousedown() { vna_post(VNA_CMD_CONNECT); }
void page1_disconnect_onmousedown() { vna_post(VNA_CMD_DISCONNECT); }
void page1_cal_open_onmousedown() { vna_post(VNA_CMD_OPEN); }
void page1_cal_short_onmousedown() { vna_post(VNA_CMD_SHORT); }
void page1_cal_load_onmousedown() { vna_post(VNA_CMD_LOAD); }
void page1_cal_isol_onmousedown() { vna_post(VNA_CMD_ISOL); }
void page1_cal_thru_onmousedown() { vna_post(VNA_CMD_THRU); }
void page1_cal_done_onmousedown() { vna_post(VNA_CMD_CAL_APPLY); }

void page1_abort_onmousedown() {
    vna_abort.store(1);
    contin.store(0);
}

void page1_button1_onmousedown() { shell_exit(0); }

void page1_epoints_onclick() { vna_request_clear_calibration(); }
void page1_estart_onclick() { vna_request_clear_calibration(); }
void page1_estop_onclick() { vna_request_clear_calibration(); }
