// The Smith chart: where a reflection lands, which sample a press picks, the clean chart
// under a changed curve, and the S11 tab after sweeps of known devices through vna-sim.
#include "app/smith.h"
#include "assets/images.h"
#include "gfx/draw.h"
#include "gfx/image.h"
#include "program_harness.h"
#include "support/reference_image.h"

namespace {

using apptest::Program;

TEST(Smith, ReflectionsLandOnTheChartAndPressesOnTheNearestPoint) {
    const float cases[][4] = {{0, 0, 300, 300},   {1, 0, 491, 300},     {-1, 0, 109, 300},  {0, 1, 300, 109},
                              {.5, .5, 395, 205}, {1e9, 0, 491, 300},   {-1e9, -1e9, 165, 435},
                              {0, -INFINITY, 300, 491}, {NAN, .5, 300, 300}, {.5, NAN, 300, 300}};
    for (auto [re, im, x, y] : cases)
        EXPECT_EQ(std::pair(smith_map(re, im, 300, 300, 191).x, smith_map(re, im, 300, 300, 191).y),
                  std::pair(int(x), int(y))) << re << " " << im;
    FormDriver::setup();
    const std::complex<float> g[] = {0, .5f, {.5f, .5f}, -.5f};  // (300, 300), (400, 300), (400, 200), the last
    for (int k = 0; k < 4; k++) vna_s11_re[k] = g[k].real(), vna_s11_im[k] = g[k].imag();  // starts no segment
    vna_acquired = 4;
    draw_s11_smith(300, 300, 200);
    const int presses[][4] = {{4, 300, 300, 0}, {4, 401, 199, 2}, {4, 350, 300, 0}, {4, 400, 250, 1},  // ties
                              {4, 200, 300, 0}, {2, 400, 200, 0}, {1, 400, 200, 0}, {0, 400, 200, 0}};
    for (auto [points, x, y, nearest] : presses) {
        vna_points = uint16_t(points);
        EXPECT_EQ(smith_nearest(x, y), nearest) << points << ": " << x << "," << y;
    }
    page1_bitmap1_onmousepress();  // the slider position divides by the points
    EXPECT_EQ(std::pair(quale, dove), std::pair(0, 0));
}

// The chart on screen, or the chart image painted clean with the curve drawn over it.
std::vector<uint32_t> chart(bool clean = false) {
    const std::vector<uint32_t> shown = fb_snapshot();
    if (clean) v_locate(MD1, MD2), v_color(4, 4), v_paints(SMITHBLACK400_ICO, 0), draw_s11_smith(MD10, MD11, MD12);
    std::vector<uint32_t> pixels;
    for (int y = MD2; y < MD2 + MD4; y++)
        pixels.insert(pixels.end(), dx_surface + addr(MD1, y), dx_surface + addr(MD1 + MD3, y));
    std::copy(shown.begin(), shown.end(), dx_surface);
    return pixels;
}

TEST_F(Program, SweptDevicesOverTheCleanChart) {
    start_page({1});
    ASSERT_NO_FATAL_FAILURE(calibrated());
    // The stepped line below 1 GHz, the part swept, which a sanitizer build's simulator reads in time.
    std::ifstream whole(std::string(CORVANE_SOURCE_DIR) + "/tests/data/touchstone/msl_P1-MSL_Stepped_140-P2.s2p");
    std::ofstream part(run_.path() + "/stepped.s2p");
    for (std::string row; std::getline(whole, row) && row.find("   1.0") != 0;) part << row << '\n';
    part.close();
    for (const std::string& dut : {std::string("c 10p"), "file " + run_.path() + "/stepped.s2p"}) {
        ASSERT_EQ(sim(0).ctl("dut " + dut), "ok");
        ASSERT_EQ(run_button(apptest::Button::scan), 1) << page1_status;
        passes(2);
        expect_reference(dut[0] == 'c' ? "app/smith_c10p" : "app/smith_stepped_line", MD1, MD2, MD3, MD4);
    }
    vna_data_valid = 0;  // the clean chart and the last curve, also after a change of tab without a new sweep
    click(262, 61);
    click(100, 61);
    passes(3);
    EXPECT_EQ(chart(), chart(true));
    click(px[100], py[100]);  // a press on a point takes a sample there
    EXPECT_EQ(std::pair(px[quale], py[quale]), std::pair(px[100], py[100]));
    EXPECT_EQ(dove, quale * 792 / 401);
}

}  // namespace
