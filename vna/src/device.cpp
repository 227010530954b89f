// The device command task: takes one posted command at a time and runs it to the end.
#include "vna/device.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/tasks.h"
#include "vna/calfile.h"
#include "vna/calibration.h"

std::atomic<int> vna_command{0};
std::atomic<int> vna_state{VNA_NOT_CONNECTED};
VnaStatus vna_status{"Not connected"};
std::atomic<uint32_t> vna_commands_done{0};
std::atomic<int> vna_idle_wait_ms{100};
std::atomic<int> vna_last_result{0};

std::atomic<int> vna_abort{0};
std::atomic<int> vna_acquired{0};
std::atomic<int> vna_data_valid{0};
std::atomic<int> contin{0};
std::atomic<char> slow{0};

std::atomic<uint64_t> vna_sweeps_kept{0};

COM* const vna_com = &com3;
char vna_port_name[64] = "COM1";
short vna_port_index = 0;
std::atomic<vna_port_source_fn> vna_port_source{nullptr};

namespace {

bool port_open() { return vna_com->open.load() != 0; }

// The standards of codes 3 to 7: name, array, flag, and whether the reflection (S11) or
// the transmission (S21) is kept.
struct Standard {
    const char* name;
    VNA_COMPLEX* array;
    std::atomic<int>* flag;
    bool reflection;
};

const Standard& standard(int code) {
    static const Standard standards[] = {{"OPEN", cal_open, &have_open, true},
                                         {"SHORT", cal_short, &have_short, true},
                                         {"LOAD", cal_load, &have_load, true},
                                         {"ISOLATION", cal_isol, &have_isol, false},
                                         {"THRU", cal_thru, &have_thru, false}};
    return standards[code - VNA_CMD_OPEN];
}

// Connect: open the port by name, check that the analyser answers "2".
int connect_device() {
    vna_state.store(VNA_BUSY);
    vna_status.set("Opening port...");
    if (vna_port_source_fn source = vna_port_source.load()) {
        char name[sizeof vna_port_name] = {};
        source(name, sizeof name);
        std::memcpy(vna_port_name, name, sizeof name);
    }
    // A port record keeps 15 characters of a name: a longer path (a link in a deep folder)
    // is opened through the path it leads to.
    char name[sizeof vna_port_name];
    std::snprintf(name, sizeof name, "%s", vna_port_name);
    if (name[0] == '/' && std::strlen(name) >= sizeof vna_com->NameCom) {
        char resolved[PATH_MAX];
        if (realpath(name, resolved) && std::strlen(resolved) < sizeof vna_com->NameCom)
            std::memcpy(name, resolved, std::strlen(resolved) + 1);
    }
    if (assign_com(vna_com, name) != 0) {
        vna_status.set("assign_com error");
        vna_state.store(VNA_ERROR);
        return 0;
    }
    if (com_open(vna_com, 115200) != 0) {
        vna_status.set(vna_open_error_text(vna_com->open_errno).c_str());
        com_close(vna_com);
        vna_state.store(VNA_ERROR);
        return 0;
    }
    protocol_mode(vna_com, 0);
    vna_flush_rx();
    vna_flush_rx();
    const uint8_t check = 0x0D;
    uint8_t answer = 0;
    if (com_txsl(vna_com, &check, 1) != 0 || !port_open() ||
        !vna_read_exact(&answer, 1, vna_answer_timeout_ms.load()) || answer != '2') {
        com_close(vna_com);
        vna_status.set("Corvane not responding");
        vna_state.store(VNA_ERROR);
        return 0;
    }
    vna_status.set("Corvane connected");
    vna_state.store(VNA_CONNECTED);
    return 1;
}

// Codes 3 to 7: one standard, measured with a sweep and copied into its array.
int measure_standard(int code) {
    if (code == VNA_CMD_OPEN) vna_clear_calibration();
    const Standard& s = standard(code);
    vna_status.setf("Acquisition %s...", s.name);
    if (!vna_scan_raw()) return 0;
    const std::atomic<float>* re = s.reflection ? vna_s11_raw_re : vna_s21_raw_re;
    const std::atomic<float>* im = s.reflection ? vna_s11_raw_im : vna_s21_raw_im;
    // The page may edit the point count while a sweep runs: never past the arrays.
    const unsigned points = std::min<unsigned>(vna_points.load(), VNA_MAX_POINTS);
    for (unsigned i = 0; i < points; i++)
        s.array[i] = VNA_COMPLEX{re[i].load(std::memory_order_relaxed), im[i].load(std::memory_order_relaxed)};
    s.flag->store(1);
    vna_status.setf("%s acquised", s.name);
    return 1;
}

// True when the task will run `code` in the busy state.
bool runs_busy(int code) {
    const int state = vna_state.load();
    switch (code) {
        case VNA_CMD_ABORT:
        case VNA_CMD_QUIT:
        case VNA_CMD_DISCONNECT: return false;
        case VNA_CMD_CONNECT: return state == VNA_NOT_CONNECTED || state == VNA_ERROR;
        case VNA_CMD_SAVE_CAL:
        case VNA_CMD_LOAD_CAL: return true;
        default: return state == VNA_CONNECTED;
    }
}

// The copy behind vna_last_sweep. The lock is held only while the copy is written or
// read, so a reader never sees half of one sweep and half of the next.
std::mutex kept_lock;
VnaSweep kept;

// Copies the sweep that just completed. Its point count is vna_acquired: the sweep counts
// every point it received there and completes when all arrived, whereas vna_points may
// have been edited on the page meanwhile.
void keep_sweep() {
    constexpr auto relaxed = std::memory_order_relaxed;
    const unsigned points = std::min<unsigned>(unsigned(std::max(vna_acquired.load(), 0)), VNA_MAX_POINTS);
    std::lock_guard<std::mutex> hold(kept_lock);
    kept.points = points;
    kept.calibrated = vna_cal_valid.load() != 0;
    for (unsigned i = 0; i < points; i++) {
        kept.frequency[i] = vna_frequency[i].load(relaxed);
        kept.s11_re[i] = vna_s11_re[i].load(relaxed);
        kept.s11_im[i] = vna_s11_im[i].load(relaxed);
        kept.s21_re[i] = vna_s21_re[i].load(relaxed);
        kept.s21_im[i] = vna_s21_im[i].load(relaxed);
    }
    vna_sweeps_kept.fetch_add(1);
}

void put_value(std::string& out, float v) {
    char buf[32];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, double(v), std::chars_format::general, 9);
    (void)ec;
    out += ' ';
    out.append(buf, ptr);
}

void finish(int result) {
    vna_last_result.store(result);
    vna_commands_done.fetch_add(1);
}

}  // namespace

void VnaStatus::set(const char* text) {
    std::lock_guard<std::mutex> hold(lock_);
    char* slot = texts_[count_ % history];
    std::snprintf(slot, size, "%s", text ? text : "");
    count_++;
}

void VnaStatus::setf(const char* format, ...) {
    char text[size];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    set(text);
}

std::string VnaStatus::text() const {
    char out[size];
    copy(out, sizeof out);
    return out;
}

void VnaStatus::copy(char* out, size_t n) const {
    if (n == 0) return;
    std::lock_guard<std::mutex> hold(lock_);
    const char* last = count_ ? texts_[(count_ - 1) % history] : "";
    std::snprintf(out, n, "%s", last);
}

uint64_t VnaStatus::count() const {
    std::lock_guard<std::mutex> hold(lock_);
    return count_;
}

bool VnaStatus::get(uint64_t seq, std::string& out) const {
    std::lock_guard<std::mutex> hold(lock_);
    if (seq == 0 || seq > count_ || count_ - seq >= history) return false;
    out = texts_[(seq - 1) % history];
    return true;
}

uint64_t vna_last_sweep(VnaSweep& out) {
    std::lock_guard<std::mutex> hold(kept_lock);
    const uint64_t number = vna_sweeps_kept.load();
    if (number == 0) return 0;
    out.points = kept.points;
    out.calibrated = kept.calibrated;
    const size_t n = kept.points;
    std::copy_n(kept.frequency, n, out.frequency);
    std::copy_n(kept.s11_re, n, out.s11_re);
    std::copy_n(kept.s11_im, n, out.s11_im);
    std::copy_n(kept.s21_re, n, out.s21_re);
    std::copy_n(kept.s21_im, n, out.s21_im);
    return number;
}

void vna_forget_sweep() {
    std::lock_guard<std::mutex> hold(kept_lock);
    vna_sweeps_kept.store(0);
    kept.points = 0;
}

std::string vna_touchstone_text(const VnaSweep& sweep, bool two_port, const char* who, const char* calibration) {
    const unsigned points = std::min<unsigned>(sweep.points, VNA_MAX_POINTS);
    std::string out;
    out.reserve(size_t(points) * (two_port ? 80 : 40) + 160);
    out += std::string("! ") + who + " sweep: " + std::to_string(points) + " points, " +
           std::to_string(points ? sweep.frequency[0] : 0) + " Hz to " +
           std::to_string(points ? sweep.frequency[points - 1] : 0) + " Hz\n";
    out += std::string("! calibration: ") + calibration + "\n";
    out += "# Hz S RI R 50\n";
    for (unsigned i = 0; i < points; i++) {
        out += std::to_string(sweep.frequency[i]);
        put_value(out, sweep.s11_re[i]);
        put_value(out, sweep.s11_im[i]);
        if (two_port) {
            put_value(out, sweep.s21_re[i]);
            put_value(out, sweep.s21_im[i]);
            out += " 0 0 0 0";
        }
        out += '\n';
    }
    return out;
}

std::string vna_open_error_text(int err) {
    std::string reason;
    switch (err) {
        case 0: return "Port open error";
        case EACCES:
        case EPERM: reason = "permission denied (dialout group?)"; break;
        case EBUSY:
        case EWOULDBLOCK: reason = "in use by another program"; break;
        case ENOENT:
        case ENOTDIR:
        case ENXIO:
        case ENODEV: reason = "no such port"; break;
        case ENOTTY: reason = "not a serial port"; break;
        default:
            const char* text = strerrordesc_np(err);
            reason = text ? text : "error " + std::to_string(err);
            reason[0] = char(std::tolower(static_cast<unsigned char>(reason[0])));
    }
    return "Port open error: " + reason;
}

void vna_disconnect_device() {
    if (port_open()) com_close(vna_com);
    vna_state.store(VNA_NOT_CONNECTED);
    vna_status.set("Not connected");
}

void vna_task(void*) {
    for (;;) {
        vna_clear_calibration_if_requested();
        int code = vna_command.load();
        if (code == 0) {
            // vna_post wakes the wait at once; the timeout only bounds how late a word
            // stored without a wake-up (or a calibration clear request) is taken.
            task_wait_word(vna_command, 0, vna_idle_wait_ms.load());
            continue;
        }
        // A command that will run is marked busy before the word is cleared, so that a
        // poster always sees either the word taken or the task busy.
        if (runs_busy(code)) vna_state.store(VNA_BUSY);
        code = vna_command.exchange(0);
        if (code == 0) continue;
        int result = 1;
        switch (code) {
            case VNA_CMD_ABORT:
                vna_abort.store(1);
                break;
            case VNA_CMD_QUIT:
                vna_disconnect_device();
                finish(1);
                return;
            case VNA_CMD_CONNECT:
                // Ignored silently unless not connected or failed (then marked busy above).
                if (vna_state.load() == VNA_BUSY) result = connect_device();
                break;
            case VNA_CMD_DISCONNECT:
                vna_disconnect_device();
                break;
            case VNA_CMD_LOAD_CAL:
                result = vna_load_calibration();
                break;
            case VNA_CMD_SAVE_CAL:
                result = vna_save_calibration();
                break;
            default:
                if (vna_state.load() != VNA_BUSY) {
                    // Dropped; a command posted meanwhile is taken without the pause.
                    vna_status.set("Connect Corvane first");
                    finish(0);
                    continue;
                }
                if (code == VNA_CMD_SCAN) {
                    vna_status.set("Scanning...");
                    result = vna_scan_raw();
                    if (result) {
                        keep_sweep();
                        vna_status.set("Scan completed");
                    }
                } else if (code >= VNA_CMD_OPEN && code <= VNA_CMD_THRU) {
                    result = measure_standard(code);
                } else if (code == VNA_CMD_CAL_APPLY) {
                    result = vna_compute_calibration();
                }
                vna_state.store(port_open() ? VNA_CONNECTED : VNA_ERROR);
                break;
        }
        // A click during the command: what it measured, applied or loaded is void.
        vna_clear_calibration_if_requested();
        finish(result);
    }
}
