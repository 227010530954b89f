// The operator keys of the main page: F2 saves the screen as a PNG file, F3 the last
// completed sweep as a Touchstone file (.s2p: S11 and S21, S12 and S22 as 0). Both go
// into the program's directory under a name made of the local date and time,
// corvane-YYYYMMDD-HHMMSS.png or .s2p, with -2, -3 ... added when that name is taken; an
// existing file is never replaced, and a failed write leaves no file behind.
#pragma once

#include <ctime>
#include <string>

inline constexpr int SCREENSHOT_KEY = 2;  // F2
inline constexpr int EXPORT_KEY = 3;      // F3

// What a key did: the bare name of the file written (empty when none) and the status text.
struct OperatorKeyResult {
    std::string file;
    std::string status;
};

// The visible screen into dir: "Screenshot NAME", or "Screenshot failed: REASON".
// Runs on the page-loop thread (the framebuffer's drawer).
OperatorKeyResult take_screenshot(const std::string& dir, std::time_t when = std::time(nullptr));
// The last completed sweep into dir: "Exported NAME", "No completed sweep to export", or
// "Export failed: REASON".
OperatorKeyResult export_sweep(const std::string& dir, std::time_t when = std::time(nullptr));

// The main page's side, once per pass: runs the operator keys pressed since the last pass
// and puts their result on the status line.
void operator_keys_poll();
// Forgets operator keys pressed while the page did not run (a dialog had the screen).
void operator_keys_drop();
