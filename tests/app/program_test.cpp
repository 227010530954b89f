// The program as an operator drives it: start-up, the port scan, connecting, calibrating by
// the page's buttons, sweeping, the fields, tabs and check boxes; headless, with vna-sim on
// real pseudo-terminals linked as ports/COMn in the program's directory.
#include "program_harness.h"

namespace {

using namespace apptest;

// The ports that open, in order; none: an empty selector and the page as start-up shows it.
// CONNECT takes the lowest port, or the one chosen in the selector.
TEST_F(Program, StartUpScansThePortsAndConnectTakesTheChoice) {
    using Names = std::vector<std::string>;
    for (const auto& [ports, listed] :
         {std::pair(std::vector<int>{}, Names{}), {{1}, {"COM1"}}, {{5, 3}, {"COM3", "COM5"}}}) {
        start_page(ports);
        const Names shown(Co1->items, Co1->items + Co1->numitems);
        EXPECT_EQ(std::tuple(shown, int(vna_com->open), std::string(Co1->text)),
                  std::tuple(listed, 0, listed.empty() ? "" : listed[0]));  // no port left open
        if (ports.empty()) expect_screen("start");
    }
    EXPECT_EQ((std::tuple{run_button(Button::connect), std::string(vna_port_name), shown_status()}),
              std::tuple(1, "COM3", "Corvane connected"));
    EXPECT_EQ(run_button(Button::disconnect), 1);
    click(92, 23);  // the drop button
    click(50, 44 + 19);  // item 1
    pass();
    EXPECT_EQ((std::tuple{run_button(Button::connect), std::string(vna_port_name)}), std::tuple(1, "COM5"));
    EXPECT_EQ(sim(1).ctl("dut load"), "ok");  // the analyser on COM5 still answers
}

// The standards by their buttons, SAVE CAL and LOAD CAL through the program's own dialog, a
// SCAN of a load with the loaded calibration; then the sweep fields: each typed value forgets
// the calibration and bounds the marker; SCAN says whether it is valid.
TEST_F(Program, CalibrationFilesSweepAndTypedFields) {
    start_page({1});
    ASSERT_EQ(run_button(Button::connect), 1) << page1_status;
    ASSERT_NO_FATAL_FAILURE(calibrate(false));
    const std::string other = run_.path() + "/other";
    std::filesystem::create_directory(other);
    // A name without ".cal" in another folder: saved there, which becomes current; ports/
    // stays the program directory's: CONNECT finds the simulator again.
    EXPECT_EQ((std::pair{dialog_answers(Button::cal_save, "other/my", 2), std::string(page1_status)}),
              std::pair(1, "Calibration saved"s));
    EXPECT_EQ(std::pair(std::filesystem::file_size(other + "/my.cal"), std::filesystem::current_path()),
              std::pair(uintmax_t(32 + 40 * 401), std::filesystem::path(other)));
    EXPECT_EQ((std::pair{run_button(Button::disconnect), run_button(Button::connect)}), std::pair(1, 1));
    // The button, the name typed ("": cancelled), the commands it posts, the status shown at
    // the end.
    const std::tuple<Point, const char*, int, const char*> dialogs[] = {
        {Button::cal_save, "", 0, "Corvane connected"},
        {Button::cal_recall, "", 1, "Calibration active"},
        {Button::cal_recall, "my.cal", 2, "Calibration active"}};
    for (const auto& [button, typed, commands, shown] : dialogs) {
        dialog_answers(button, typed, commands);
        EXPECT_EQ(page1_status, std::string(shown)) << typed;
    }
    EXPECT_EQ((std::tuple{sweep("load"), shown_status(), vna_cal_valid.load()}),
              std::tuple(1, "Scan completed", 1));
    for (int k : {0, 200, 400}) EXPECT_NEAR(std::hypot(vna_s11_re[k], vna_s11_im[k]), 0.0, 1e-4) << k;
    MD777 = 1234;  // the sweep's duration varies from run to run
    expect_screen("calibrated");
    const char *done = "Scan completed", *invalid = "Invalid number of points";
    const std::tuple<int, const char*, double, const char*> cases[] = {  // field, typed, stored, after SCAN
        {23, "10", 10, done}, {55, "200", 200, done}, {87, "2", 2, done}, {87, "0", 0, invalid},
        {87, "1", 1, invalid}, {87, "2002", 2002, invalid}, {87, "65535", 32768, invalid}};
    for (const auto& [y, typed, stored, status] : cases) {
        click(887, y);  // the field, the value and Enter
        type(typed);
        key(13);
        const double now = y == 23 ? f_start.load() : y == 55 ? f_stop.load() : vna_points.load();
        EXPECT_EQ(std::tuple(now, checked(page1->checkbox1), int(vna_cal_valid)), std::tuple(stored, 0, 0));
        run_button(Button::scan);
        quale = 5000;  // the marker and its readouts stay inside the samples
        passes(2);
        const int last = std::clamp<int>(vna_points, 1, 2001) - 1;
        EXPECT_EQ((std::pair{int(quale), shown_status()}), std::pair(last, std::string(status))) << typed;
    }
    EXPECT_EQ(std::pair(vna_f_start.load(), vna_f_stop.load()), std::pair(10000000ul, 200000000ul));
}

// The choice buttons cycle the upper plot through its four traces and the lower one through
// its four and none, which hides it; the marker of none or one point. One view per tab beside
// the marker bar; the RLC view without a result shows the probe pictures, with one the value,
// its frequency and unit with about three significant digits.
TEST_F(Program, TraceChoicesTabsAndTheMarkerBar) {
    start_page({});
    click(888, 185);  // the lower plot shown
    for (auto [points, y] : {std::pair(0, 150), {0, 350}, {1, 150}, {1, 350}}) {  // either plot, none or one point
        vna_points = uint16_t(points);
        click(600, y);
        EXPECT_EQ(std::pair(quale, dove), std::pair(0, 0)) << points << " " << y;
    }
    vna_points = 401;
    for (int press = 1; press <= 4; press++) {  // round to the choices of start-up
        click(888, 153);
        click(888, 185);
        pass();
        EXPECT_EQ(std::tuple(int(MB21), int(MB22), visible(page1->panel9)),
                  std::tuple((3 + press) % 4, press % 5, press != 4)) << press;
    }
    for (auto [x, view] : {std::pair(Tab::s11, 1), {Tab::s21, 2}, {Tab::rlc, 3}}) {
        tab(x);
        pass();
        EXPECT_EQ(std::tuple(int(page1_switch34), visible(page1->panel5), visible(page1->panel6),
                             visible(page1->panel10), visible(page1->panel11)),
                  std::tuple(view, view == 1, view == 2, view == 3, true));
    }
    for (auto [ok, value, decimals] : {std::tuple(0, 0.f, 2), {1, 9.87f, 2}, {1, 98.7f, 1}, {1, 100.f, 0}}) {
        rlc_ok = int8_t(ok);  // a resistor of `value` ohms
        rlc = 0;
        rlc_val = value;
        passes(2);
        for (const OBJ* o : {page1->edit11, page1->edit13, page1->label15}) EXPECT_EQ(visible(o), ok == 1);
        EXPECT_EQ(std::pair(visible(page1->panel21), int(page1->edit11->decimals)), std::pair(!ok, decimals));
        if (ok == 0) expect_screen("rlc");
    }
}

}  // namespace
