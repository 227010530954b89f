// The program started once per test process as corvane starts it (without the window),
// then, per test, a fresh program directory with simulated analysers linked as
// ports/COMn, the main page run by the headless driver, and the page's buttons pressed.
#pragma once

#include <unistd.h>

#include <complex>

#include "app/combo_box.h"
#include "app/dialog_page.h"
#include "app/page1.h"
#include "app/rlc.h"
#include "app/start.h"
#include "app/traces.h"
#include "support/eventually.h"
#include "support/forms_driver.h"
#include "support/reference_image.h"
#include "support/sim_process.h"
#include "vna/calibration.h"
#include "vna/handlers.h"

namespace apptest {

using namespace std::string_literals;

// Centres of the page's buttons in framebuffer pixels; the tabs' buttons lie at y 61.
struct Point { int x, y; };
namespace Button {
inline constexpr Point connect{212, 24}, disconnect{338, 24}, scan{464, 24}, stop{680, 24};
inline constexpr Point continuous{541, 24}, slow{868, 120};
inline constexpr Point standards[5] = {{896, 232}, {896, 272}, {896, 312}, {896, 352}, {896, 392}};
inline constexpr Point cal_done{926, 432}, cal_save{926, 474}, cal_recall{926, 520};
}  // namespace Button
namespace Tab {
inline constexpr int s11 = 100, s21 = 262, rlc = 424;
}

// Longest wait for a command of the page (a sweep under a sanitizer takes seconds).
inline constexpr int COMMAND_MS = 20000;

// No command posted or running.
inline bool task_idle() { return vna_command.load() == 0 && vna_state.load() != VNA_BUSY; }

class Program : public ::testing::Test, public FormDriver {
protected:
    void SetUp() override {
        std::snprintf(MyDir, sizeof MyDir, "%s", run_.path().c_str());
        ASSERT_EQ(chdir(MyDir), 0);
        std::filesystem::create_directory(run_.path() + "/ports");
        // The program starts once per process, as it does once per run.
        [[maybe_unused]] static const bool started = [] {
            setup();
            start_program();
            return std::atexit(end_program) == 0;
        }();
        // A loaded machine (sanitizers, busy cores) passes the answers on late: the longest wait
        // the program allows, so that only a lost answer fails a test.
        vna_answer_timeout_ms = 10000;
        // What an earlier test left: its command done, its sweep, marker and choices undone.
        EXPECT_TRUE(eventually(task_idle));
        quale = dove = MD777 = 0;
        rlc_ok = 0;
        vna_acquired = 0;
        vna_data_valid = 0;
        page1_switch34 = 1;
        // As start-up sets them.
        MB21 = 3;
        MB22 = 4;
        vna_points = 401;
        f_start = 1.0f;
        f_stop = 800.0f;
        vna_status.set("Not connected");
        for (int k = 0; k < VNA_MAX_POINTS; k++) {
            vna_frequency[k] = 0;
            vna_s11_re[k] = vna_s11_im[k] = vna_s21_re[k] = vna_s21_im[k] = 0;
        }
    }
    void TearDown() override {
        if (vna_state.load() != VNA_NOT_CONNECTED) run_button(Button::disconnect);
        stop();
        vna_request_clear_calibration();
        unsetenv("CORVANE_FILE_DIALOG");
        contin = slow = 0;
        if (chdir("/") != 0) ADD_FAILURE() << "chdir";
    }

    // Simulated analysers on the given port numbers; every other port of 1 to 15 a dangling
    // link, so that the machine's own serial devices do not count. Then the page starts, its
    // first showing scans the ports, and its first pass draws it.
    void start_page(const std::vector<int>& ports) {
        stop();
        sims_.clear();
        for (int n = 1; n <= 15; n++) {
            const bool simulated = std::find(ports.begin(), ports.end(), n) != ports.end();
            if (simulated) sims_.push_back(std::make_unique<simproc::SimProcess>());
            ASSERT_TRUE(!simulated || sims_.back()->ok());
            link(n, simulated ? sims_.back()->tty() : "/nonexistent");
        }
        start(form_page1, nullptr, false);
        pass();
        vna_data_valid = 0;  // the chart's marker, moved back to 0 from an earlier test, set it
    }
    void link(int n, const std::string& target) {
        const std::string port = run_.path() + "/ports/COM" + std::to_string(n);
        std::filesystem::remove(port);
        std::filesystem::create_symlink(target, port);
    }
    simproc::SimProcess& sim(size_t i = 0) { return *sims_.at(i); }

    // Clicks a button and waits until the command it posted is done (STOP is clicked once
    // stop_when holds): its result, or -1 when no command finished.
    int run_button(Point b, std::function<bool()> stop_when = nullptr) {
        const uint32_t before = vna_commands_done.load();
        click(b.x, b.y);
        EXPECT_TRUE(!stop_when || eventually(stop_when, COMMAND_MS));
        if (stop_when) click(Button::stop.x, Button::stop.y);
        return done_after(before);
    }
    // Waits until `commands` commands are done since `before`: the last one's result, or -1.
    int done_after(uint32_t before, uint32_t commands = 1) {
        const bool done = eventually([&] { return vna_commands_done - before >= commands; }, COMMAND_MS);
        pass();
        return done ? vna_last_result.load() : -1;
    }
    // The first simulator switched to a device ("dut ..."), then a SCAN: its result.
    int sweep(const std::string& dut) {
        EXPECT_EQ(sim().ctl("dut " + dut), "ok");
        return run_button(Button::scan);
    }
    // The five standards measured by their buttons, the simulator switched between them;
    // then CAL APPLY unless not asked for.
    void calibrate(bool apply = true) {
        const char* duts[] = {"open", "short", "load", "isolation", "thru"};
        for (int k = 0; k < 5; k++) {
            ASSERT_EQ(sim().ctl(std::string("dut ") + duts[k]), "ok");
            ASSERT_EQ(run_button(Button::standards[k]), 1) << duts[k] << ": " << page1_status;
        }
        ASSERT_EQ(apply ? run_button(Button::cal_done) : 1, 1) << page1_status;
    }
    // The program's own file dialog answered with a name typed and Enter ("" cancels with
    // Escape), one key state per pass of its page; then waits until `commands` commands are done.
    int dialog_answers(Point button, const std::string& name, int commands) {
        static std::string keys;
        static size_t at;
        setenv("CORVANE_FILE_DIALOG", "builtin", 1);
        keys = name.empty() ? "\x1b" : name + "\r";
        at = 0;
        dialog_page_pass_hook = [] {
            key__press = at % 2 || at / 2 >= keys.size() ? 0 : uint8_t(keys[at / 2]);
            at++;
        };
        const uint32_t before = vna_commands_done.load();
        click(button.x, button.y);
        dialog_page_pass_hook = nullptr;
        return done_after(before, uint32_t(commands));
    }
    void tab(int x) { click(x, 61); }
    // The whole screen against tests/data/app/<name>.png, after enough passes for the
    // slider thumb to settle (it moves after its first 30 drawings in the program's life).
    void expect_screen(const char* name) {
        passes(32);
        expect_reference("app/"s + name, 0, 0, 1024, 600);
    }
    // The status line as the page shows it after a pass.
    std::string shown_status() {
        pass();
        return page1_status;
    }
    static bool visible(const OBJ* o) { return o && *o->visible; }
    static int checked(const OBJ* box) { return static_cast<std::atomic<int>*>(box->var)->load() != 0; }

    ScratchDir run_;
    std::vector<std::unique_ptr<simproc::SimProcess>> sims_;
};

}  // namespace apptest
