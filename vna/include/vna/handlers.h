// The page's handler procedures for the device command task: the buttons post command
// codes under the busy rule, STOP and the sweep fields act directly.
#pragma once

// The busy rule: when a command waits or the task is busy, "Command ignored: VNA busy"
// and 0; otherwise the code is posted and 1.
int vna_post(int code);

void page1_connect_onmousedown();
void page1_disconnect_onmousedown();
void page1_cal_open_onmousedown();
void page1_cal_short_onmousedown();
void page1_cal_load_onmousedown();
void page1_cal_isol_onmousedown();
void page1_cal_thru_onmousedown();
void page1_cal_done_onmousedown();
// STOP: asks a running sweep to stop and turns continuous mode off, without the command
// word, so it works while the task is busy.
void page1_abort_onmousedown();
// EXIT: ends the program with status 0 through the installed shutdown (shell_exit).
void page1_button1_onmousedown();
// A click in the points, start or stop field: the calibration no longer fits the sweep
// (vna_request_clear_calibration).
void page1_epoints_onclick();
void page1_estart_onclick();
void page1_estop_onclick();
