// The trace panels and the marker: arrays and readouts of known samples, the slider, and on
// the page the trace choice, presses with 0 and 1 points, the tabs and continuous measuring.
#include <gmock/gmock.h>

#include <complex>

#include "program_harness.h"
#include "support/reference_image.h"
#include "vna/touchstone.h"

namespace {

using apptest::Program;
namespace Button = apptest::Button;
using C = std::complex<float>;
using ::testing::FloatNear;

void set(std::atomic<float>* re, std::atomic<float>* im, int k, C v) { re[k] = v.real(), im[k] = v.imag(); }

TEST(Traces, S11AndReadoutsOfKnownReflections) {
    constexpr float L = READOUT_LIMIT;  // an open: 0/0 exactly, huge nearly
    const std::pair<C, std::array<float, 6>> cases[] = {  // mag, phase, SWR, dB, readouts RE and IM
        {0.5f, {0.5f, 0, 3, -6.0206f, 150, 0}}, {-1, {1, 180, 1000, 0, 0, 0}}, {0, {0, 0, 1, -120, 50, 0}},
        {C(0, 1), {1, 90, 1000, 0, 0, 50}},     {1, {1, 0, 1000, 0, L, 0}},
        {C(1, -1e-4f), {1, -0.0057f, 1000, 0, -50, -L}}, {C(0, 0.999f), {0.999f, 90, 1000, -0.0087f, 0.05f, 50}},
        {5e-21f, {0, 0, 1, -406.0206f, 50, 0}}};  // only S21 levels end at 1e-20
    for (int k = 0; k < 8; k++) set(vna_s11_re, vna_s11_im, k, cases[k].first);
    s11_traces(8);
    for (int k = 0; k < 8; k++)
        EXPECT_THAT((std::array{vna_s11_mag[k], vna_s11_fase[k], vna_s11_ros[k], vna_s11_db[k],
                                readout_value(vna_z_re[k], L), readout_value(vna_z_im[k])}),
                    ::testing::Pointwise(FloatNear(1e-3f), cases[k].second)) << k;
}

TEST(Traces, S21PhaseIsTheAngleOfTheMeanInsideTheSweep) {
    // A lone sample between zeros, +-179 degrees alternating (a mean of angles would be 0),
    // then two samples beyond the sweep of 9.
    const C lone = std::polar(0.1f, 0.5f), up = std::polar(1.0f, 3.124f), down = std::conj(up);
    const C samples[] = {0, lone, 0, 1e-21f, up, down, up, down, up, C(0, 50), C(0, 50)};
    for (int k = 0; k < 11; k++) set(vna_s21_re, vna_s21_im, k, samples[k]);
    s21_traces(9);
    EXPECT_THAT(std::vector(vna_s21_fase, vna_s21_fase + 2), ::testing::Each(FloatNear(28.648f, 1e-3f)));
    for (int k = 4; k < 9; k++) EXPECT_NEAR(std::abs(vna_s21_fase[k]), 180, 0.5f) << k;
    EXPECT_EQ(std::tuple(vna_s21_db[0], std::round(vna_s21_db[1]), vna_s21_db[3]),
              std::tuple(-120.0f, -20.0f, -120.0f));
}

TEST(Traces, SliderArithmetic) {
    // Press at mouse_x on a bar at x_x: its position, and the index of n samples there.
    for (auto [mouse_x, x_x, width, n, position, index] :
         {std::array{0, 12, 800, 401, 8, 4}, {0, 30, 800, 401, 0, 0}, {568, 0, 600, 401, 588, 400},
          {900, 21, 800, 2001, 788, 2000}, {400, 21, 800, 0, 399, 0}})
        EXPECT_EQ(std::pair(slider_position(mouse_x, x_x, width), slider_index(position, n, width)),
                  std::pair(position, index)) << mouse_x << " " << n;
    EXPECT_EQ(marker_position(400, 401, 800), 790);
}

TEST_F(Program, TraceChoiceAndTheMarkerOfNoneOrOnePoint) {
    start_page({});
    MB21 = 3, MB22 = 4;
    const std::string titles[] = {"S11_MAG", "S11_PHASE", "S11_DB", "ROS", "ROS"},
                      choices[] = {"MAG ", "PHASE", "DB  ", "ROS ", "----"};
    for (int code : {0, 1, 2, 3, 4}) {  // the lower plot is shown from the first press to the fifth
        click(888, 185), click(888, 153);
        EXPECT_EQ(std::tuple(int(MB21), int(MB22), visible(page1->panel9), int(page1->panel8->height)),
                  std::tuple(code % 4, code, code != 4, code == 4 ? 399 : 188));
        using Texts = std::vector<std::string>;
        const auto* p = page1;
        EXPECT_EQ(Texts({p->label2->caption, p->label3->caption, p->label5->caption, p->label6->caption}),
                  Texts({titles[code % 4], titles[code], choices[code % 4], choices[code]}));
    }
    click(888, 185);  // both plots again
    for (int n : {0, 1})  // presses on both plots divide by the number of points
        for (int y : {150, 350}) {
            vna_points = uint16_t(n);
            click(600, y);
            EXPECT_EQ(std::pair(quale, dove), std::pair(0, 0)) << n << " " << y;
        }
    MB21 = 3, MB22 = 4;  // as the program starts
}

TEST_F(Program, TabsAfterSweepsOfKnownDevicesThenContinuousMeasuring) {
    start_page({1});
    ASSERT_NO_FATAL_FAILURE(calibrated());
    MB21 = 2, MB22 = 1;  // S11 dB above, phase below
    const std::string line = "dut file " CORVANE_SOURCE_DIR "/tests/data/touchstone/msl_P1-MSL_Stepped_140-P2.s2p";
    for (auto [dut, tab_x, name, x, width] :
         {std::tuple(std::string("dut c 10p"), 100, "app/traces_s11_c10p", 425, 400),
          {line, 262, "app/traces_s21_line", 21, 800}}) {
        ASSERT_EQ(sim(0).ctl(dut), "ok");
        click(tab_x, 61);
        ASSERT_EQ(run_button(Button::scan), 1) << page1_status;
        passes(2);
        expect_reference(name, x, 73, width, 412);
    }
    // Without "continue" the sweep's data stays; with it the S21 level plot asks for more.
    EXPECT_EQ(vna_data_valid.load(), 1);
    click(541, 24);
    const uint32_t before = vna_commands_done.load();
    EXPECT_TRUE(eventually([&] { return pass(), vna_commands_done.load() - before >= 3; }, apptest::COMMAND_MS));
    EXPECT_EQ(vna_last_result.load(), 1) << page1_status;
    click(Button::stop.x, Button::stop.y);
    EXPECT_TRUE(eventually([&] { return pass(), vna_command.load() == 0 && vna_state.load() != VNA_BUSY; }));
    MB21 = 3, MB22 = 4;
}

// Each kind of device of the (ideal) simulator swept after calibration: what the marker bar
// shows at a sample that the slider chose, on the S11 tab and on the S21 tab, read back as
// S11 and S21 and compared with the device at the sample's frequency.
TEST_F(Program, MarkerReadoutsOfEveryKindOfDevice) {
    const std::string bfu520 = CORVANE_SOURCE_DIR "/tests/data/touchstone/bfu520_5v_10ma.s2p";
    touchstone::Data transistor;
    std::string error;
    ASSERT_TRUE(touchstone::read_file(bfu520, transistor, error)) << error;
    using Z = std::complex<double>;
    using Device = std::function<std::pair<Z, Z>(double w)>;  // S11 and S21 at w rad/s
    const auto of_z = [](Z z) { return std::pair((z - 50.0) / (z + 50.0), Z(0)); };
    const std::pair<std::string, Device> devices[] = {
        {"open", [](double) { return std::pair(Z(1), Z(0)); }},
        {"short", [](double) { return std::pair(Z(-1), Z(0)); }},
        {"load", [](double) { return std::pair(Z(0), Z(0)); }},
        {"r 50", [=](double) { return of_z(50); }},
        {"c 10p", [=](double w) { return of_z(1.0 / Z(0, w * 10e-12)); }},
        {"l 100n", [=](double w) { return of_z(Z(0, w * 100e-9)); }},
        {"file " + bfu520, [&](double w) {
             const double f = w / (2 * M_PI);
             return std::pair(touchstone::interpolate(transistor, touchstone::S11, f),
                              touchstone::interpolate(transistor, touchstone::S21, f));
         }}};
    start_page({1});
    ASSERT_NO_FATAL_FAILURE(calibrated());
    const auto reflection = [](float z_re, float z_im) {  // of what the R and X readouts show
        const Z z(readout_value(z_re, READOUT_LIMIT), readout_value(z_im));
        return (z - 50.0) / (z + 50.0);
    };
    for (const auto& [dut, device] : devices) {
        ASSERT_EQ(sim(0).ctl("dut " + dut), "ok");
        click(100, 61);
        ASSERT_EQ(run_button(Button::scan), 1) << page1_status;
        click(600, 492);  // the slider, three quarters along (SCAN put the marker where the RLC view looked)
        const int k = quale;
        EXPECT_NEAR(k, 300, 10) << dut;
        const double f = double(vna_frequency[k].load());
        EXPECT_FLOAT_EQ(ffreq, float(f / 1e6)) << dut;
        const auto [s11, s21] = device(2 * M_PI * f);
        const Z polar = std::polar<double>(vna_s11_mag[k], vna_s11_fase[k] * M_PI / 180);
        const double swr = vna_s11_ros[k], by_swr = (swr - 1) / (swr + 1);
        EXPECT_LT(std::abs(polar - s11), 0.01) << dut << " S11 " << polar;
        EXPECT_NEAR(by_swr, std::abs(s11), 0.01) << dut << " SWR " << swr;
        EXPECT_LT(std::abs(reflection(vna_z_re[k], vna_z_im[k]) - s11), 0.01) << dut << " R and X";
        click(262, 61);
        passes(2);
        const Z through = std::polar<double>(std::pow(10, vna_s21_db[k] / 20), vna_s21_fase[k] * M_PI / 180);
        EXPECT_LT(std::abs(through - s21), 0.01 * (1 + std::abs(s21))) << dut << " S21 " << through;
    }
}

// The plots and the Smith chart draw only when what they show changed: an idle page draws
// nothing, a pixel put over a panel stays while nothing changes, and a changed sample
// redraws the panel over it. (Last in the file: the chart keeps its curve for later tests.)
struct PanelCase {
    const char* name;
    int tab_x;       // the tab's button, at y 61
    int8_t lower;    // MB22: the lower S11 plot's trace (4: hidden)
    int x, y;        // a pixel inside the panel
    std::atomic<float>* sample;
};

TEST_F(Program, PanelsRedrawOnlyWhenTheirSamplesChange) {
    start_page({1});
    for (int k = 0; k < 401; k++) {
        const float a = float(k) * 0.02f;
        vna_s11_re[k] = 0.8f * std::cos(a), vna_s11_im[k] = 0.8f * std::sin(a);
        vna_s21_re[k] = 0.5f * std::cos(2 * a), vna_s21_im[k] = 0.5f * std::sin(2 * a);
    }
    vna_acquired = 401;
    const PanelCase cases[] = {
        {"upper S11 plot", 100, 4, 600, 150, &vna_s11_re[200]},
        {"lower S11 plot", 100, 2, 600, 350, &vna_s11_im[300]},
        {"Smith chart", 100, 4, 225, 400, &vna_s11_re[100]},
        {"S21 phase plot", 262, 4, 400, 150, &vna_s21_im[200]},
        {"S21 dB plot", 262, 4, 400, 300, &vna_s21_re[300]},
    };
    // With nothing changing, a pass draws nothing at all on either tab.
    for (int tab : {100, 262}) {
        click(tab, 61);
        vna_data_valid = 1;
        passes(12);
        EXPECT_EQ(passes(3), 0) << "tab at " << tab;
    }
    constexpr uint32_t MARK = 0x00123456;
    for (const PanelCase& c : cases) {
        MB22 = c.lower;
        click(c.tab_x, 61);
        vna_data_valid = 1;
        passes(12);  // the chart's clean copy is taken from its fifth drawing on
        dx_surface[addr(c.x, c.y)] = MARK;
        passes(3);
        EXPECT_EQ(dx_surface[addr(c.x, c.y)], MARK) << c.name << " redrawn without a change";
        c.sample->store(c.sample->load() + 0.1f);
        passes(2);
        EXPECT_NE(dx_surface[addr(c.x, c.y)], MARK) << c.name << " not redrawn after a changed sample";
    }
    MB22 = 4;
    vna_data_valid = 0;
    click(100, 61);
}

}  // namespace
