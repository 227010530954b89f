// The trace panels, the marker and the Smith chart: arrays and readouts of known samples,
// the slider and the chart's arithmetic, the fingerprint that decides whether they draw, the
// plot engine's cursor, and on the page sweeps of known devices through vna-sim, continuous
// measuring and the panels' redraw.
#include <gmock/gmock.h>

#include <bit>

#include "app/autoplot.h"
#include "app/smith.h"
#include "assets/images.h"
#include "forms/widgets.h"
#include "gfx/draw.h"
#include "gfx/image.h"
#include "program_harness.h"

namespace {

using namespace apptest;
using C = std::complex<float>;

void set(std::atomic<float>* re, std::atomic<float>* im, int k, C v) {
    re[k] = v.real();
    im[k] = v.imag();
}

TEST(Traces, DerivedArraysOfKnownSamples) {
    constexpr float L = READOUT_LIMIT;  // an open: 0/0 exactly, huge nearly
    const std::pair<C, std::array<float, 6>> cases[] = {  // mag, phase, SWR, dB, readouts RE and IM
        {0.5f, {0.5f, 0, 3, -6.0206f, 150, 0}}, {-1, {1, 180, 1000, 0, 0, 0}}, {0, {0, 0, 1, -120, 50, 0}},
        {C(0, 1), {1, 90, 1000, 0, 0, 50}},     {1, {1, 0, 1000, 0, L, 0}},
        {C(1, -1e-4f), {1, -0.0057f, 1000, 0, -50, -L}},
        {C(0, 0.999f), {0.999f, 90, 1000, -0.0087f, 0.05f, 50}},
        {5e-21f, {0, 0, 1, -406.0206f, 50, 0}}};  // only S21 levels end at 1e-20
    for (int k = 0; k < 8; k++) set(vna_s11_re, vna_s11_im, k, cases[k].first);
    s11_traces(8);
    for (int k = 0; k < 8; k++)
        EXPECT_THAT((std::array{vna_s11_mag[k], vna_s11_fase[k], vna_s11_ros[k], vna_s11_db[k],
                                readout_value(vna_z_re[k], L), readout_value(vna_z_im[k])}),
                    ::testing::Pointwise(::testing::FloatNear(1e-3f), cases[k].second)) << k;
    // S21's phase is the angle of the mean of five samples inside the sweep: a lone sample
    // between zeros, +-179 degrees alternating (a mean of angles would be 0), then two
    // samples beyond the sweep of 9.
    const C up = std::polar(1.0f, 3.124f), down = std::conj(up),
            s21[] = {0, std::polar(0.1f, 0.5f), 0, 1e-21f, up, down, up, down, up, C(0, 50), C(0, 50)};
    for (int k = 0; k < 11; k++) set(vna_s21_re, vna_s21_im, k, s21[k]);
    s21_traces(11);  // leaves samples 9 and 10 in the working arrays
    s21_traces(9);
    EXPECT_THAT(std::vector(vna_s21_fase, vna_s21_fase + 2), ::testing::Each(::testing::FloatNear(28.648f, 1e-3f)));
    for (int k = 4; k < 9; k++) EXPECT_NEAR(std::abs(vna_s21_fase[k]), 180, 0.5f) << k;
    EXPECT_EQ(std::tuple(vna_s21_db[0], std::round(vna_s21_db[1]), vna_s21_db[3]),
              std::tuple(-120.0f, -20.0f, -120.0f));
}

TEST(Traces, SliderAndChartArithmetic) {
    // Press at mouse_x on a bar at x_x: its position, and the index of n samples there.
    for (auto [mouse_x, x_x, width, n, position, index] :
         {std::array{0, 12, 800, 401, 8, 4}, {0, 30, 800, 401, 0, 0}, {568, 0, 600, 401, 588, 400},
          {900, 21, 800, 2001, 788, 2000}, {400, 21, 800, 0, 399, 0}})
        EXPECT_EQ(std::pair(slider_position(mouse_x, x_x, width), slider_index(position, n, width)),
                  std::pair(position, index)) << mouse_x << " " << n;
    EXPECT_EQ(marker_position(400, 401, 800), 790);
    // A reflection on the chart of radius 191 at (300, 300).
    for (auto [re, im, x, y] :
         {std::array{0.f, 0.f, 300.f, 300.f}, {1, 0, 491, 300}, {-1, 0, 109, 300}, {0, 1, 300, 109},
          {.5, .5, 395, 205}, {1e9, 0, 491, 300}, {-1e9, -1e9, 165, 435}, {0, -INFINITY, 300, 491},
          {NAN, .5, 300, 300}, {.5, NAN, 300, 300}}) {
        const SmithPoint p = smith_map(re, im, 300, 300, 191);
        EXPECT_EQ(std::pair(p.x, p.y), std::pair(int(x), int(y))) << re << " " << im;
    }
    // A press picks the nearest point of the curve (ties: the first) among those of the sweep.
    FormDriver::setup();
    vna_acquired = 4;
    const C g[] = {0, .5f, {.5f, .5f}, -.5f};  // (300, 300), (400, 300), (400, 200), the last
    for (int k = 0; k < 4; k++) set(vna_s11_re, vna_s11_im, k, g[k]);  // starts no segment
    draw_s11_smith(300, 300, 200);
    for (auto [points, x, y, nearest] : {std::array{4, 300, 300, 0}, {4, 401, 199, 2}, {4, 350, 300, 0},
                                         {4, 400, 250, 1}, {4, 200, 300, 0}, {2, 400, 200, 0},
                                         {1, 400, 200, 0}, {0, 400, 200, 0}}) {
        vna_points = uint16_t(points);
        EXPECT_EQ(smith_nearest(x, y), nearest) << points << ": " << x << "," << y;
    }
    page1_bitmap1_onmousepress();  // the slider position divides by the points
    EXPECT_EQ(std::pair(quale, dove), std::pair(0, 0));
}

// Both fingerprints of the first n samples, taken in a new pass.
std::pair<uint64_t, uint64_t> now(int n) {
    obj_loop++;
    return std::pair(s11_fingerprint(n), s21_fingerprint(n));
}
// Flips the lowest bit of a sample: twice gives it back.
void flip(std::atomic<float>& x) { x = std::bit_cast<float>(std::bit_cast<uint32_t>(x.load()) ^ 1u); }

// The per-pass fingerprint of the corrected samples: any one changed sample in any lane and
// position and a changed number of points change it; the same samples give the same value.
TEST(Fingerprint, EverySampleAndThePointCountCount) {
    const auto same = now(2001);
    EXPECT_TRUE(now(2001) == same && now(2000).first != same.first && now(1997).first != same.first);
    for (int k : {0, 1, 2, 3, 1000, 1997, 1998, 1999, 2000}) {  // each lane, the tail after whole groups
        const bool im = k % 2;  // each part
        std::atomic<float>& a = (im ? vna_s11_im : vna_s11_re)[k];
        std::atomic<float>& b = (im ? vna_s21_im : vna_s21_re)[k];
        flip(a);
        flip(b);
        const auto changed = now(2001);
        EXPECT_TRUE(changed.first != same.first && changed.second != same.second) << k;
        flip(a);
        flip(b);
        EXPECT_EQ(now(2001), same) << k;
    }
}

OBJ panel;

// The plot engine (its grid, ticks, labels and traces are in the page's reference pictures):
// 401 samples from 1 to 800 MHz in a 393 x 188 panel at (x, 50), the pointer pressed at
// (px, 100) (0: not pressed); returns the index under the cursor.
uint32_t plot(int x, int px) {
    const std::vector<float> v(401, 1);
    FormDriver::setup();
    panel = OBJ{};
    panel.width = 393;
    panel.height = 188;
    panel.color = 4;
    me = &panel;
    x_x = int16_t(x);
    y_y = 50;
    touch_premuto = px != 0;
    touch_x = px;
    touch_y = 100;
    return AutoPlot_Y2(v.data(), uint32_t(v.size()), 3, 252, 255, 146, obj_bg(), "F", 0, 0, 1, 800);
}

// The cursor index follows a press inside its panel; 0: the other panel lost its cursor.
TEST(AutoPlot, CursorFollowsThePressInItsPanel) {
    for (auto [x, px, idx] : {std::array{100, 102, 0}, {100, 280, 199}, {100, 490, 400}, {100, 600, 0},
                              {500, 600, 109}, {100, 0, 0}})
        EXPECT_EQ(plot(x, px), uint32_t(idx)) << x << " " << px;
}

// The chart on screen, or the chart image painted clean with the curve drawn over it.
std::vector<uint32_t> chart(bool clean) {
    const std::vector<uint32_t> shown = fb_snapshot();
    if (clean) {
        v_locate(MD1, MD2);
        v_color(4, 4);
        v_paints(SMITHBLACK400_ICO, 0);
        draw_s11_smith(MD10, MD11, MD12);
    }
    std::vector<uint32_t> pixels;
    for (int y = MD2; y < MD2 + MD4; y++)
        pixels.insert(pixels.end(), dx_surface + addr(MD1, y), dx_surface + addr(MD1 + MD3, y));
    std::copy(shown.begin(), shown.end(), dx_surface);
    return pixels;
}

// Devices swept after calibration. A capacitor and a stepped line (the part of the file below
// 1 GHz), S11 dB above and phase below: the plots and the chart against their references;
// the slider, three quarters along, takes the marker and its frequency there. Then
// continuous measuring, and the clean chart under the curve.
TEST_F(Program, SweptDevicesOnThePlotsTheChartAndTheMarkerBar) {
    start_page({1});
    ASSERT_EQ(run_button(Button::connect), 1) << page1_status;
    ASSERT_NO_FATAL_FAILURE(calibrate());
    std::ifstream whole(CORVANE_SOURCE_DIR "/tests/data/touchstone/msl_P1-MSL_Stepped_140-P2.s2p");
    std::ofstream part(run_.path() + "/stepped.s2p");
    for (std::string row; std::getline(whole, row) && row.find("   1.0") != 0;) part << row << '\n';
    part.close();
    MB21 = 2;
    MB22 = 1;
    const std::string line = "file " + run_.path() + "/stepped.s2p";
    for (auto [dut, chart_name, plots_tab, plots_name, x, width] :
         {std::tuple(std::string("c 10p"), "app/smith_c10p", Tab::s11, "app/traces_s11_c10p", 425, 400),
          {line, "app/smith_stepped_line", Tab::s21, "app/traces_s21_line", 21, 800}}) {
        tab(Tab::s11);
        ASSERT_EQ(sweep(dut), 1) << page1_status;
        passes(2);
        expect_reference(chart_name, MD1, MD2, MD3, MD4);
        tab(plots_tab);
        passes(2);
        expect_reference(plots_name, x, 73, width, 412);
    }
    tab(Tab::s11);
    click(600, 492);
    EXPECT_EQ(std::pair(quale, ffreq), std::pair(293, float(double(vna_frequency[293].load()) / 1e6)));
    // Without "continue" the sweep's data stays; with it each sweep asks for the next: three
    // done well, then STOP, and the sweep under way ends as slowly as a loaded machine passes
    // its answers on.
    EXPECT_EQ(vna_data_valid.load(), 1);
    const uint32_t before = vna_commands_done.load();
    const auto three_done = [&] {
        pass();
        return vna_commands_done.load() - before >= 3 && vna_last_result.load() == 1;
    };
    run_button(Button::continuous, three_done);
    const auto idle = [&] {
        pass();
        return task_idle();
    };
    EXPECT_TRUE(eventually(idle, COMMAND_MS));
    // The clean chart and the last curve, also after a change of tab without a new sweep and
    // after a changed sample; a press on a point takes a sample there.
    vna_data_valid = 0;
    tab(Tab::s11);
    passes(3);
    EXPECT_EQ(chart(false), chart(true));
    vna_s11_re[200] = -0.5f;
    vna_data_valid = 1;
    passes(2);
    EXPECT_EQ(chart(false), chart(true));
    click(px[100], py[100]);
    EXPECT_EQ(std::tuple(px[quale], py[quale], dove), std::tuple(px[100], py[100], quale * 792 / 401));
}

}  // namespace
