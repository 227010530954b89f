// The measurement core as the page drives it: the command task running, the simulator on
// a pseudo-terminal, commands posted under the busy rule and awaited.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <complex>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/tasks.h"
#include "support/sim_process.h"
#include "vna/calfile.h"
#include "vna/calibration.h"
#include "vna/device.h"
#include "vna/handlers.h"
#include "vna/touchstone.h"

namespace coretest {

using cf = std::complex<float>;
using cd = std::complex<double>;

// Everything back to the state at program start.
inline void reset_core() {
    vna_command.store(0);
    vna_state.store(VNA_NOT_CONNECTED);
    vna_status.set("Not connected");
    vna_abort.store(0);
    vna_acquired.store(0);
    vna_data_valid.store(0);
    contin.store(0);
    slow.store(0);
    vna_f_start.store(1000000);
    vna_f_stop.store(1000000000);
    vna_points.store(401);
    f_start.store(1.0f);
    f_stop.store(800.0f);
    vna_port_source.store(nullptr);
    std::snprintf(vna_port_name, sizeof vna_port_name, "COM1");
    std::snprintf(vna_cal_file, sizeof vna_cal_file, "vna.cal");
    vna_clear_calibration();
}

// Polls cond every ms until it holds or timeout_ms passed.
template <class F>
bool eventually(F cond, int timeout_ms = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline std::string status() { return vna_status.text(); }

inline const std::string data_dir = std::string(CORVANE_SOURCE_DIR) + "/tests/data/touchstone/";

// A file of the measured data in tests/data/touchstone/.
inline touchstone::Data read_data(const std::string& name) {
    touchstone::Data data;
    std::string error;
    EXPECT_TRUE(touchstone::read_file(data_dir + name, data, error)) << error;
    return data;
}

// Every status text set since `from` (a count taken earlier).
inline std::vector<std::string> texts_since(uint64_t from) {
    std::vector<std::string> out;
    const uint64_t to = vna_status.count();
    for (uint64_t seq = from + 1; seq <= to; seq++) {
        std::string t;
        if (vna_status.get(seq, t)) out.push_back(t);
    }
    return out;
}

// The task running, the simulator started with `sim_args`, the port named after its
// terminal. Everything stopped again at the end, also after a failure.
class Core : public ::testing::Test {
protected:
    void start(std::vector<std::string> sim_args = {"--no-pace"}) {
        sim_ = std::make_unique<simproc::SimProcess>(sim_args);
        ASSERT_TRUE(sim_->ok()) << "vna-sim did not start: " << simproc::sim_program;
        name_port(sim_->tty());
    }
    void SetUp() override {
        reset_core();
        task_ = exec_task_hidden(vna_task, nullptr, 0);
        ASSERT_NE(task_, 0u);
    }
    void TearDown() override {
        if (task_) remove_task_hidden(task_);
        vna_disconnect_device();
        sim_.reset();
        reset_core();
    }

    static void name_port(const std::string& path) {
        std::snprintf(vna_port_name, sizeof vna_port_name, "%s", path.c_str());
    }

    // Posts code under the busy rule and waits until the task has finished it. Returns the
    // command's result (1 or 0), or -1 when the post was refused or the task took too long.
    int run(int code, int timeout_ms = 20000) {
        const uint32_t before = vna_commands_done.load();
        if (!vna_post(code)) return -1;
        if (!eventually([&] { return vna_commands_done.load() != before; }, timeout_ms)) return -1;
        return vna_last_result.load();
    }
    int connect() { return run(VNA_CMD_CONNECT); }
    int scan() { return run(VNA_CMD_SCAN); }
    void set_sweep(uint64_t start, uint64_t stop, uint16_t points) {
        vna_f_start.store(start);
        vna_f_stop.store(stop);
        vna_points.store(points);
    }
    std::string ctl(const std::string& line) { return sim_->ctl(line); }

    // The five standards measured and applied.
    void calibrate() {
        const std::pair<const char*, int> steps[] = {{"open", VNA_CMD_OPEN},
                                                     {"short", VNA_CMD_SHORT},
                                                     {"load", VNA_CMD_LOAD},
                                                     {"isolation", VNA_CMD_ISOL},
                                                     {"thru", VNA_CMD_THRU}};
        for (auto [dut, code] : steps) {
            ASSERT_EQ(ctl(std::string("dut ") + dut), "ok");
            ASSERT_EQ(run(code), 1) << dut << ": " << status();
        }
        ASSERT_EQ(run(VNA_CMD_CAL_APPLY), 1) << status();
    }

    std::unique_ptr<simproc::SimProcess> sim_;
    unsigned task_ = 0;
};

inline cf raw_s11(unsigned i) { return {vna_s11_raw_re[i].load(), vna_s11_raw_im[i].load()}; }
inline cf raw_s21(unsigned i) { return {vna_s21_raw_re[i].load(), vna_s21_raw_im[i].load()}; }
inline cf s11(unsigned i) { return {vna_s11_re[i].load(), vna_s11_im[i].load()}; }
inline cf s21(unsigned i) { return {vna_s21_re[i].load(), vna_s21_im[i].load()}; }

}  // namespace coretest
