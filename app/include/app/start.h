// Start-up: the program's main routine, the UI text table that captions point into, the
// control-cycle task and the port scan that fills the port selector when the main page is
// first shown.
#pragma once

#include <atomic>

inline constexpr int LANG_ROWS = 53;
inline constexpr int LANG_CHARS = 200;
// The UI text table: row n is the caption of the objects that point at it.
extern char LangVett[LANG_ROWS][LANG_CHARS];
// The page the main loop runs (always 1).
extern std::atomic<int> pagina;

// The main routine: start-up (start_program), then the main page for ever.
void mainloop();
// Start-up up to the page loop: progress lines, the page built, the program directory made
// current, the device command task, the control cycle, the timers, the text table.
void start_program();
// Stops the device command task (closing the analyser's port) and the control cycle. The
// window shell runs it when the program ends (shell_set_shutdown); any thread may.
void end_program();
// The control-cycle task body.
void plc();

// The first-show handler of the main page: probes COM1 to COM15 one at a time and lists
// the ports that open in the port selector.
void page1_onfirst();
// The probe: opens port nn at 300 baud and closes it again; okok = the open's result.
void scan_com(void*);
extern std::atomic<int> nn, okok;
