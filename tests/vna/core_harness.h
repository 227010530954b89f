// The measurement core as the page drives it: the command task running, the simulator on
// a pseudo-terminal, commands posted under the busy rule and awaited.
#pragma once

#include <gtest/gtest.h>

#include <complex>

#include "platform/tasks.h"
#include "support/eventually.h"
#include "support/sim_process.h"
#include "vna/calfile.h"
#include "vna/calibration.h"
#include "vna/device.h"
#include "vna/handlers.h"
#include "vna/touchstone.h"

namespace coretest {

using cf = std::complex<float>;
using cd = std::complex<double>;
using Texts = std::vector<std::string>;

// How long the simulator may take to answer. Far above the instrument's 500 ms: on a
// machine whose cores are all busy (a load of 11 on two cores has been seen) the
// pseudo-terminal passes answers on more than ten seconds late. A test that waits for a
// silence sets a short one for that step only.
constexpr int answer_ms = 30000;

inline void name_port(const std::string& path) {
    std::snprintf(vna_port_name, sizeof vna_port_name, "%s", path.c_str());
}

// Everything back to the state at program start.
inline void reset_core() {
    vna_command.store(0);
    vna_state.store(VNA_NOT_CONNECTED);
    vna_status.set("Not connected");
    for (auto* flag : {&vna_abort, &vna_acquired, &vna_data_valid, &contin}) flag->store(0);
    slow.store(0);
    vna_f_start.store(1000000);
    vna_f_stop.store(1000000000);
    vna_points.store(401);
    f_start.store(1.0f);
    f_stop.store(800.0f);
    vna_port_source.store(nullptr);
    vna_answer_timeout_ms.store(answer_ms);
    name_port("COM1");
    std::snprintf(vna_cal_file, sizeof vna_cal_file, "vna.cal");
    vna_clear_calibration_if_requested();  // no clear left pending from a click
    vna_clear_calibration();
}

inline std::string status() { return vna_status.text(); }
// A result with the status text and the state read after it.
inline std::tuple<int, std::string> said(int result) { return {result, status()}; }
inline std::tuple<int, std::string, int> ended(int result) { return {result, status(), vna_state.load()}; }

inline const std::string data_dir = std::string(CORVANE_SOURCE_DIR) + "/tests/data/touchstone/";

// A file of the measured data in tests/data/touchstone/.
inline touchstone::Data read_data(const std::string& name, touchstone::Data data = {}, std::string error = {}) {
    EXPECT_TRUE(touchstone::read_file(data_dir + name, data, error)) << error;
    return data;
}

// Every status text set since `from` (a count taken earlier).
inline Texts texts_since(uint64_t from) {
    Texts out;
    for (uint64_t seq = from + 1, to = vna_status.count(); seq <= to; seq++)
        if (std::string t; vna_status.get(seq, t)) out.push_back(t);
    return out;
}

inline cf raw_s11(unsigned i) { return {vna_s11_raw_re[i].load(), vna_s11_raw_im[i].load()}; }
inline cf raw_s21(unsigned i) { return {vna_s21_raw_re[i].load(), vna_s21_raw_im[i].load()}; }
inline cf s11(unsigned i) { return {vna_s11_re[i].load(), vna_s11_im[i].load()}; }
inline cf s21(unsigned i) { return {vna_s21_re[i].load(), vna_s21_im[i].load()}; }

// The task running, the simulator started with `sim_args`, the port named after its
// terminal. Everything stopped again at the end, also after a failure.
class Core : public ::testing::Test {
protected:
    void start(std::vector<std::string> sim_args = {"--no-pace"}) {
        sim_ = std::make_unique<simproc::SimProcess>(sim_args);
        ASSERT_TRUE(sim_->ok()) << "vna-sim did not start: " << simproc::sim_program;
        name_port(sim_->tty());
    }
    void connected(std::vector<std::string> sim_args = {"--no-pace"}) {
        ASSERT_NO_FATAL_FAILURE(start(sim_args));
        ASSERT_EQ(connect(), 1) << status();
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

    // Posts code under the busy rule and waits until its sweep has its first batch, or has
    // ended before that (vna_acquired is raised by the sweep only, so it is cleared here while
    // the task is idle); gives the count of finished commands before it.
    uint32_t under_way(int code = VNA_CMD_SCAN) {
        vna_acquired.store(0);
        const uint32_t before = vna_commands_done.load();
        EXPECT_EQ(vna_post(code), 1) << "refused: " << code;
        EXPECT_TRUE(eventually([&] { return vna_acquired.load() > 0 || vna_commands_done.load() != before; }, 60000));
        return before;
    }
    // The result (1 or 0) of the command posted after `before`; -1 when the task took
    // far too long.
    int finished(uint32_t before) {
        if (!eventually([&] { return vna_commands_done.load() != before; }, 120000)) return -1;
        return vna_last_result.load();
    }
    // Posts code and waits for its result; -1 when the post was refused.
    int run(int code) {
        const uint32_t before = vna_commands_done.load();
        return vna_post(code) ? finished(before) : -1;
    }
    int connect() { return run(VNA_CMD_CONNECT); }
    int scan() { return run(VNA_CMD_SCAN); }
    void set_sweep(uint64_t start, uint64_t stop, uint16_t points) {
        vna_f_start.store(start);
        vna_f_stop.store(stop);
        vna_points.store(points);
    }
    std::string ctl(const std::string& line) { return sim_->ctl(line); }

    std::unique_ptr<simproc::SimProcess> sim_;
    unsigned task_ = 0;
};

}  // namespace coretest
