// The device command task, the analyser's register protocol and the sweep.
//
// One hidden task, vna_task, does all work with the analyser. Others post a command code
// into vna_command (under the busy rule, vna/handlers.h) and read the results: the state,
// the status text, the flags and the sample arrays. Every word shared between the task
// and the page (or vna-cli) is an atomic; the sample arrays are arrays of atomics, so a
// reader may see a sweep in progress, point by point, without a data race.
//
// The protocol runs on port record 3 (vna_com) at 115200 baud. A sweep writes the start
// frequency, the step, the number of points, the mode and the restart register, then
// reads the FIFO register in batches of eight 32-byte records until every point of
// 0 .. vna_points - 1 has arrived, and finally applies the calibration.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/serial.h"

inline constexpr int VNA_MAX_POINTS = 2001;

// Command codes of vna_command.
enum VnaCommand : int {
    VNA_CMD_CONNECT = 1,
    VNA_CMD_DISCONNECT = 2,
    VNA_CMD_OPEN = 3,
    VNA_CMD_SHORT = 4,
    VNA_CMD_LOAD = 5,
    VNA_CMD_ISOL = 6,
    VNA_CMD_THRU = 7,
    VNA_CMD_CAL_APPLY = 8,
    VNA_CMD_SAVE_CAL = 9,
    VNA_CMD_LOAD_CAL = 10,
    VNA_CMD_SCAN = 11,
    VNA_CMD_ABORT = 12,
    VNA_CMD_QUIT = 13,
};

// Values of vna_state.
enum VnaState : int {
    VNA_NOT_CONNECTED = 0,
    VNA_CONNECTED = 1,
    VNA_BUSY = 2,
    VNA_ERROR = 3,
};

// The one-line status text. Written whole by the task (and by posters refused by the
// busy rule), read by anybody; a small lock keeps a reader from seeing half a text. Every
// text set is numbered, and the last few are kept, so a reader that polls (vna-cli) can
// show each of them even when several follow each other between two looks.
class VnaStatus {
public:
    static constexpr size_t size = 128;
    static constexpr unsigned history = 32;

    VnaStatus() = default;
    explicit VnaStatus(const char* initial) { set(initial); }

    // Replaces the text (cut at 127 characters).
    void set(const char* text);
    // printf-style set.
    void setf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    std::string text() const;
    // Copies the text into out (NUL-terminated, at most n - 1 characters).
    void copy(char* out, size_t n) const;
    // Number of texts set so far.
    uint64_t count() const;
    // The text numbered `seq` (1 for the first set) if it is still kept; false when it
    // has not been set yet or has been pushed out of the history.
    bool get(uint64_t seq, std::string& out) const;

private:
    mutable std::mutex lock_;
    char texts_[history][size] = {};
    uint64_t count_ = 0;
};

// Command word, state and status.
extern std::atomic<int> vna_command;
extern std::atomic<int> vna_state;
extern VnaStatus vna_status;
// Completed commands, counted by the task after each command it took (also a dropped
// one) and the result of the last of them (1 success, 0 failure), stored before the
// count. A poster that notes the count before posting knows when its command is done.
extern std::atomic<uint32_t> vna_commands_done;
extern std::atomic<int> vna_last_result;

// Flags shared with the page.
extern std::atomic<int> vna_abort;
extern std::atomic<int> vna_acquired;
extern std::atomic<int> vna_data_valid;
extern std::atomic<int> contin;  // "continue" check box
extern std::atomic<char> slow;   // "slow" check box

// Sweep settings. vna_f_start / vna_f_stop in Hz; f_start / f_stop are the page's MHz
// fields (a loaded calibration file sets both).
extern std::atomic<uint64_t> vna_f_start;
extern std::atomic<uint64_t> vna_f_stop;
extern std::atomic<uint16_t> vna_points;
extern std::atomic<float> f_start;
extern std::atomic<float> f_stop;

// Results of the last sweep, by point index.
extern std::atomic<uint64_t> vna_frequency[VNA_MAX_POINTS];
extern std::atomic<float> vna_s11_raw_re[VNA_MAX_POINTS], vna_s11_raw_im[VNA_MAX_POINTS];
extern std::atomic<float> vna_s21_raw_re[VNA_MAX_POINTS], vna_s21_raw_im[VNA_MAX_POINTS];
extern std::atomic<float> vna_s11_re[VNA_MAX_POINTS], vna_s11_im[VNA_MAX_POINTS];
extern std::atomic<float> vna_s21_re[VNA_MAX_POINTS], vna_s21_im[VNA_MAX_POINTS];
// The last completed sweep: when a SCAN command succeeds the task copies the corrected
// sweep (frequencies, S11, S21) here; a failed or aborted sweep keeps the previous copy.
// Readers take it whole through vna_last_sweep, never the arrays above, which fill in
// place while a sweep runs.
struct VnaSweep {
    unsigned points = 0;
    bool calibrated = false;  // the calibration was active when the sweep completed
    uint64_t frequency[VNA_MAX_POINTS];
    float s11_re[VNA_MAX_POINTS], s11_im[VNA_MAX_POINTS];
    float s21_re[VNA_MAX_POINTS], s21_im[VNA_MAX_POINTS];
};
// Number of sweeps copied so far (0: none).
extern std::atomic<uint64_t> vna_sweeps_kept;
// Copies the last completed sweep into out and returns its number (vna_sweeps_kept when
// it was taken); 0 when there is none (out is then unchanged).
uint64_t vna_last_sweep(VnaSweep& out);
// Forgets the last completed sweep (a fresh start; tests).
void vna_forget_sweep();
// The Touchstone v1 text of a sweep as the program and vna-cli write it: "! <who> sweep:
// N points, F0 Hz to F1 Hz", "! calibration: <calibration>", "# Hz S RI R 50", then one
// line per point: whole hertz and each value with 9 significant digits (read back as a
// float it is the same float); one port S11, two ports S11, S21 and S12, S22 as 0.
// Independent of the process locale.
std::string vna_touchstone_text(const VnaSweep& sweep, bool two_port, const char* who,
                                const char* calibration);

// How long the analyser may take to answer the device check or a FIFO batch before it
// counts as not answering: 500 ms, as the instrument needs. Tests on a loaded machine under
// a sanitizer raise it.
extern std::atomic<int> vna_answer_timeout_ms;
// Takes CORVANE_ANSWER_TIMEOUT_MS (clamped to 500 to 10000) into vna_answer_timeout_ms when
// it is set: a slow link, or a machine too loaded to pass the analyser's bytes on in time.
void vna_answer_timeout_from_env();
// Longest sleep of the idle task on vna_command before it looks again by itself: 100 ms.
// vna_post wakes it at once; tests raise the value so that only the wake-up can end it.
extern std::atomic<int> vna_idle_wait_ms;
// Duration of the last complete sweep in ms.
extern std::atomic<int32_t> MD777;

// The analyser's port record (&com3) and the name connect opens. vna_port_name is
// written by the caller before it posts CONNECT, or by connect itself from the installed
// port source.
extern COM* const vna_com;
extern char vna_port_name[64];
extern short vna_port_index;

// Where connect takes the port name from: the page layer installs a function that copies
// its port selector's text into out (n bytes). Without one, connect keeps vna_port_name.
using vna_port_source_fn = void (*)(char* out, size_t n);
extern std::atomic<vna_port_source_fn> vna_port_source;

// The task body (started with exec_task_hidden; the argument is not read). Sleeps on
// vna_command until a command is posted (vna_post wakes it; a word stored without a wake-up
// is seen within vna_idle_wait_ms) and runs one command at a time until command 13.
void vna_task(void* unused);

// Closes the port when open; state 0, "Not connected".
void vna_disconnect_device();

// The status text of a failed port open with the reason err (the record's open_errno):
// "Port open error: permission denied (dialout group?)" for EACCES and EPERM, "...: in use
// by another program" for EBUSY and EWOULDBLOCK, "...: no such port" for ENOENT, ENOTDIR,
// ENXIO and ENODEV, "...: not a serial port" for ENOTTY, else the system's text starting in
// lower case; "Port open error" alone for 0.
std::string vna_open_error_text(int err);

// Register protocol. Each returns 1 when the message was queued, 0 when the port is
// closed or queuing failed.
int vna_write8(uint8_t addr, uint64_t value);   // 0x23: 64-bit value
int vna_write2(uint8_t addr, uint16_t value);   // 0x21: 16-bit value
int vna_write1(uint8_t addr, uint8_t value);    // 0x20: 8-bit value
// Discards every byte of the receive ring.
void vna_flush_rx();
// Stores exactly len bytes into dst: 1, or 0 when timeout ms passed first (for the whole
// call). Sleeps until the receive ring holds the rest of the answer (com_rx_wait_for); 0 at
// once when the port is closed. len < 1: 1 at once.
int vna_read_exact(uint8_t* dst, int len, int timeout);

// One sweep over vna_points points from vna_f_start to vna_f_stop: 1 when complete (the
// corrected arrays are then up to date and vna_data_valid is 1), 0 on failure with the
// reason in vna_status.
int vna_scan_raw();

// The frequency of a point: start + (stop - start) * point / (points - 1), truncated,
// computed without overflow.
uint64_t vna_point_frequency(uint64_t start, uint64_t stop, unsigned point, unsigned points);

// A MHz value of a page field in Hz: value × 10^6 truncated; a negative or not-a-number
// value gives 0, and a value beyond the 64-bit range the largest value.
uint64_t vna_mhz_to_hz(float mhz);
