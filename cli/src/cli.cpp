// vna-cli's logic: options, the command sequence, status lines, progress and the output.
#include "cli/cli.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>

#include "platform/tasks.h"
#include "vna/calfile.h"
#include "vna/calibration.h"
#include "vna/device.h"
#include "vna/handlers.h"
#include "vna/user_input.h"

const char cli_usage[] =
    "usage: vna-cli [--port NAME] [--start MHZ] [--stop MHZ] [--points N] [--slow]\n"
    "               [--load-cal FILE] [--calibrate] [--save-cal FILE]\n"
    "               [--sweeps N] [--out FILE.s1p|FILE.s2p] [--raw]\n"
    "\n"
    "Connects to the analyser, optionally loads, measures and saves a calibration, sweeps\n"
    "and writes the last sweep as a Touchstone file.\n"
    "  --port NAME      serial port: COMn (ports/COMn here, else the n-th serial device)\n"
    "                   or a device path (default COM1)\n"
    "  --start MHZ      start frequency (default 1)\n"
    "  --stop MHZ       stop frequency (default 800)\n"
    "  --points N       points per sweep, 2 to 2001 (default 401)\n"
    "  --slow           the analyser's slow, low-noise mode\n"
    "  --load-cal FILE  load a calibration file; its sweep replaces start, stop, points\n"
    "  --calibrate      measure OPEN, SHORT, LOAD, ISOLATION and THRU (each after Enter)\n"
    "                   and apply the calibration\n"
    "  --save-cal FILE  save the calibration\n"
    "  --sweeps N       measurement sweeps (default 1)\n"
    "  --out FILE       write the last sweep: .s1p (S11) or .s2p (S11, S21)\n"
    "  --raw            write uncorrected values\n"
    "Status lines go to standard error. Exit status: 0 success, 1 the analyser or the\n"
    "calibration failed (the reason is the last line), 2 usage error.\n"
    "CORVANE_ANSWER_TIMEOUT_MS (500 to 10000) lets the analyser answer later than 500 ms.\n";

namespace {

// ---- Options ----

bool parse_double(const char* text, double& value) {
    const char* end = text + std::strlen(text);
    auto [ptr, ec] = std::from_chars(text, end, value);
    return ec == std::errc() && ptr == end && std::isfinite(value);
}

bool parse_unsigned(const char* text, unsigned max, unsigned& value) {
    const char* end = text + std::strlen(text);
    unsigned long v = 0;
    auto [ptr, ec] = std::from_chars(text, end, v);
    if (ec != std::errc() || ptr != end || ptr == text || v > max) return false;
    value = unsigned(v);
    return true;
}

bool ends_with(std::string s, const char* tail) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    const size_t n = std::strlen(tail);
    return s.size() > n && s.compare(s.size() - n, n, tail) == 0;
}

// ---- Running commands ----

std::atomic<int> interrupted{0};

extern "C" void on_interrupt(int) { interrupted.store(1); }

class Runner {
public:
    Runner(FILE* in, FILE* err, bool progress) : in_(in), err_(err), progress_(progress) {
        seen_ = vna_status.count();
    }

    // Posts code and waits until the task has done it; prints the status texts meanwhile.
    // The command's result, 0 when it failed or the run was interrupted.
    int command(int code) {
        const uint32_t before = vna_commands_done.load();
        while (!vna_post(code)) sleep_ms();  // only when something else still runs
        sweeping_ = code == VNA_CMD_SCAN || (code >= VNA_CMD_OPEN && code <= VNA_CMD_THRU);
        bool aborting = false;
        while (vna_commands_done.load() == before) {
            if (interrupted.load() && !aborting) {
                vna_abort.store(1);
                aborting = true;
            }
            show();
            sleep_ms();
        }
        sweeping_ = false;
        show();
        clear_bar();
        return interrupted.load() ? 0 : vna_last_result.load();
    }

    // Prints every status text set since the last look, each on a line of its own.
    void show() {
        const uint64_t count = vna_status.count();
        if (count != seen_) clear_bar();
        for (; seen_ < count; seen_++) {
            std::string text;
            if (vna_status.get(seen_ + 1, text)) std::fprintf(err_, "%s\n", with_reason(text).c_str());
        }
        if (progress_ && sweeping_ && vna_state.load() == VNA_BUSY) bar();
        std::fflush(err_);
    }

    // Prints a prompt and waits for a line; false at the end of input.
    bool prompt(const char* what) {
        std::fprintf(err_, "Connect %s and press Enter\n", what);
        std::fflush(err_);
        char line[256];
        for (;;) {
            if (!std::fgets(line, sizeof line, in_)) return false;
            if (std::strchr(line, '\n')) return true;  // long lines: read on to their end
        }
    }

    void line(const char* text) {
        clear_bar();
        std::fprintf(err_, "%s\n", text);
        std::fflush(err_);
    }

    // Stops printing status texts (after a failure, whose text must stay the last line).
    void quiet() { seen_ = UINT64_MAX; }

private:
    static void sleep_ms() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

    // A failed save's status text with the system's reason after it (the page's status
    // line shows the bare text).
    static std::string with_reason(const std::string& text) {
        const int err = vna_cal_errno.load();
        if (err != 0 && (text == "Calibration file open error" || text == "Calibration write error"))
            return text + ": " + std::strerror(err);
        return text;
    }

    void bar() {
        const int points = vna_points.load();
        const int got = std::min(vna_acquired.load(), points);
        if (points <= 0 || got == shown_) return;
        constexpr int width = 40;
        const int filled = got * width / points;
        std::fprintf(err_, "\r[%.*s%*s] %d/%d", filled, "########################################",
                     width - filled, "", got, points);
        shown_ = got;
        bar_on_ = true;
    }

    void clear_bar() {
        if (!bar_on_) return;
        std::fprintf(err_, "\r\033[K");
        bar_on_ = false;
        shown_ = -1;
    }

    FILE* in_;
    FILE* err_;
    bool progress_;
    uint64_t seen_;
    bool sweeping_ = false;  // a sweep command runs: the bar may show
    bool bar_on_ = false;
    int shown_ = -1;
};

// Writes text to path through a temporary file beside it, renamed over it when complete.
bool write_whole(const std::string& path, const std::string& text, std::string& error) {
    int err = 0;
    if (vna_write_whole_file(path.c_str(), text, err) == FileWrite::done) return true;
    error = std::strerror(err);
    return false;
}

// Ends the run: the quit command disconnects the device and ends the task.
void shut_down(Runner& run, unsigned task) {
    run.command(VNA_CMD_QUIT);
    remove_task_hidden(task);
}

}  // namespace

bool cli_parse(int argc, char** argv, CliOptions& o, std::string& error) {
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto need = [&]() {
            if (!value) error = a + " needs a value";
            else i++;
            return value != nullptr;
        };
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--slow") {
            o.slow = true;
        } else if (a == "--calibrate") {
            o.calibrate = true;
        } else if (a == "--raw") {
            o.raw = true;
        } else if (a == "--port") {
            if (!need()) return false;
            o.port = value;
            if (o.port.empty() || o.port.size() >= sizeof vna_port_name) {
                error = "--port needs a name of 1 to 63 characters";
                return false;
            }
        } else if (a == "--start" || a == "--stop") {
            if (!need()) return false;
            double& target = a == "--start" ? o.start_mhz : o.stop_mhz;
            if (!parse_double(value, target) || target < 0) {
                error = a + " needs a frequency in MHz of 0 or more, not " + vna_printable(value);
                return false;
            }
        } else if (a == "--points") {
            if (!need()) return false;
            if (!parse_unsigned(value, 65535, o.points)) {
                error = "--points needs a whole number, not " + vna_printable(value);
                return false;
            }
        } else if (a == "--sweeps") {
            if (!need()) return false;
            if (!parse_unsigned(value, 1000000, o.sweeps)) {
                error = "--sweeps needs a whole number, not " + vna_printable(value);
                return false;
            }
        } else if (a == "--load-cal" || a == "--save-cal") {
            if (!need()) return false;
            std::string& target = a == "--load-cal" ? o.load_cal : o.save_cal;
            target = value;
            if (target.empty() || target.size() >= sizeof vna_cal_file) {
                error = a + " needs a file name of 1 to 127 characters";
                return false;
            }
        } else if (a == "--out") {
            if (!need()) return false;
            o.out = value;
            if (!ends_with(o.out, ".s1p") && !ends_with(o.out, ".s2p")) {
                error = "--out needs a file name ending in .s1p or .s2p";
                return false;
            }
        } else {
            error = "unknown argument " + vna_printable(a);
            return false;
        }
    }
    if (!o.out.empty() && o.sweeps == 0) {
        error = "--out needs at least one sweep";
        return false;
    }
    return true;
}

std::string cli_touchstone(bool two_port, bool raw) {
    auto sweep = std::make_unique<VnaSweep>();
    sweep->points = std::min<unsigned>(vna_points.load(), VNA_MAX_POINTS);
    for (unsigned i = 0; i < sweep->points; i++) {
        sweep->frequency[i] = vna_frequency[i].load();
        sweep->s11_re[i] = raw ? vna_s11_raw_re[i].load() : vna_s11_re[i].load();
        sweep->s11_im[i] = raw ? vna_s11_raw_im[i].load() : vna_s11_im[i].load();
        sweep->s21_re[i] = raw ? vna_s21_raw_re[i].load() : vna_s21_re[i].load();
        sweep->s21_im[i] = raw ? vna_s21_raw_im[i].load() : vna_s21_im[i].load();
    }
    return vna_touchstone_text(*sweep, two_port, "vna-cli",
                               raw ? "none, uncorrected values" : vna_cal_valid.load() ? "applied" : "none");
}

int cli_run(const CliOptions& o, FILE* in, FILE* err, bool progress) {
    interrupted.store(0);
    std::snprintf(vna_port_name, sizeof vna_port_name, "%s", o.port.c_str());
    vna_f_start.store(vna_mhz_to_hz(float(o.start_mhz)));
    vna_f_stop.store(vna_mhz_to_hz(float(o.stop_mhz)));
    vna_points.store(uint16_t(o.points));
    slow.store(o.slow ? 1 : 0);

    const unsigned task = exec_task_hidden(vna_task, nullptr, 0);
    if (!task) {
        std::fprintf(err, "vna-cli: cannot start the device task\n");
        return 1;
    }
    Runner run(in, err, progress);
    // A failure: its status text stays the last line.
    auto fail = [&]() {
        run.show();
        run.quiet();
        shut_down(run, task);
        return 1;
    };
    auto no_answer = []() {
        return interrupted.load() ? "interrupted, run aborted" : "end of input, run aborted";
    };
    auto cut_short = [&](const char* why) {
        run.quiet();
        shut_down(run, task);
        std::fprintf(err, "vna-cli: %s\n", why);
        return 1;
    };

    if (!run.command(VNA_CMD_CONNECT) || vna_state.load() != VNA_CONNECTED) return fail();
    if (!o.load_cal.empty()) {
        std::snprintf(vna_cal_file, sizeof vna_cal_file, "%s", o.load_cal.c_str());
        if (!run.command(VNA_CMD_LOAD_CAL)) return fail();
    }
    if (o.calibrate) {
        static const std::pair<const char*, int> standards[] = {{"OPEN", VNA_CMD_OPEN},
                                                                {"SHORT", VNA_CMD_SHORT},
                                                                {"LOAD", VNA_CMD_LOAD},
                                                                {"ISOLATION", VNA_CMD_ISOL},
                                                                {"THRU", VNA_CMD_THRU}};
        for (auto [name, code] : standards) {
            if (!run.prompt(name)) return cut_short(no_answer());
            if (!run.command(code)) return fail();
        }
        if (!run.command(VNA_CMD_CAL_APPLY)) return fail();
    }
    if (!o.save_cal.empty()) {
        std::snprintf(vna_cal_file, sizeof vna_cal_file, "%s", o.save_cal.c_str());
        if (!run.command(VNA_CMD_SAVE_CAL)) return fail();
    }
    if (o.calibrate && o.sweeps > 0 && !run.prompt("DUT")) return cut_short(no_answer());
    for (unsigned n = 0; n < o.sweeps; n++) {
        if (!run.command(VNA_CMD_SCAN)) return fail();
        char text[96];
        std::snprintf(text, sizeof text, "Sweep: %u points in %d ms", unsigned(vna_points.load()), int(MD777.load()));
        run.line(text);
    }
    if (!o.out.empty()) {
        std::string error;
        if (!write_whole(o.out, cli_touchstone(ends_with(o.out, ".s2p"), o.raw), error)) {
            const std::string why = "cannot write " + vna_printable(o.out) + ": " + error;
            return cut_short(why.c_str());
        }
    }
    shut_down(run, task);
    run.show();
    return 0;
}

int cli_main(int argc, char** argv, FILE* in, FILE* out, FILE* err) {
    CliOptions options;
    std::string error;
    if (!cli_parse(argc, argv, options, error)) {
        std::fprintf(err, "vna-cli: %s\n%s", error.c_str(), cli_usage);
        return 2;
    }
    if (options.help) {
        std::fputs(cli_usage, out);
        return 0;
    }
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);  // no SA_RESTART: a prompt ends at once
    sigaction(SIGTERM, &action, nullptr);
    vna_answer_timeout_from_env();
    return cli_run(options, in, err, isatty(fileno(err)) != 0);
}
