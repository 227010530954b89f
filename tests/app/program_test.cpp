// The program as an operator drives it: start-up, the port scan, connecting, calibrating by
// the page's buttons, sweeping, the fields, tabs and check boxes; headless, with vna-sim on
// real pseudo-terminals linked as ports/COMn in the program's directory.
#include "program_harness.h"

namespace {

using namespace apptest;

// The ports that open, in order; none: an empty selector, "Not connected" and the sweep
// fields 1.00, 800.00 and 401 as start-up shows them.
TEST_F(Program, StartUpScansThePortsThatOpenInOrder) {
    const std::pair<std::vector<int>, std::vector<std::string>> cases[] = {
        {{}, {}}, {{1}, {"COM1"}}, {{5, 3}, {"COM3", "COM5"}}};
    for (const auto& [ports, listed] : cases) {
        start_page(ports);
        EXPECT_EQ(std::vector<std::string>(Co1->items, Co1->items + Co1->numitems), listed);
        EXPECT_EQ(vna_com->open.load(), 0) << "the probe left the port open";
        EXPECT_STREQ(Co1->text, listed.empty() ? "" : listed[0].c_str());
        if (ports.empty()) expect_screen("start");
    }
}

TEST_F(Program, ConnectUsesTheLowestPortOrTheOneChosen) {
    start_page({3, 5});
    EXPECT_EQ(run_button(Button::connect), 1) << page1_status;
    EXPECT_STREQ(vna_port_name, "COM3");
    EXPECT_EQ(shown_status(), "Corvane connected");
    EXPECT_EQ(run_button(Button::disconnect), 1);
    click(92, 23);       // the selector's drop button opens the list
    click(50, 44 + 19);  // item 1
    pass();
    EXPECT_STREQ(Co1->text, "COM5");
    EXPECT_EQ(run_button(Button::connect), 1) << page1_status;
    EXPECT_STREQ(vna_port_name, "COM5");
    EXPECT_EQ(sim(1).ctl("dut load"), "ok");  // the analyser on COM5 still answers
}

TEST_F(Program, CalibrationAndSweepByThePagesButtons) {
    start_page({1});
    ASSERT_EQ(run_button(Button::connect), 1) << page1_status;
    ASSERT_NO_FATAL_FAILURE(calibrate());
    for (const OBJ* box : {page1->checkbox1, page1->checkbox2, page1->checkbox3, page1->checkbox4, page1->checkbox5})
        EXPECT_TRUE(checked(box));
    EXPECT_EQ(run_button(Button::cal_done), 1);
    EXPECT_EQ(std::pair(shown_status(), vna_cal_valid.load()), std::pair(std::string("Calibration active"), 1));
    EXPECT_EQ(sweep("load"), 1) << page1_status;
    EXPECT_EQ(shown_status(), "Scan completed");
    for (int k : {0, 200, 400}) EXPECT_NEAR(std::abs(s11(k)), 0.0, 1e-4) << k;
    MD777 = 1234;  // the sweep's duration varies from run to run
    expect_screen("calibrated");
}

TEST_F(Program, TabsShowOneViewAndTheMarkerBarStays) {
    start_page({});
    for (auto [x, view] : {std::pair(Tab::s11, 1), {Tab::s21, 2}, {Tab::rlc, 3}}) {
        tab(x);
        pass();
        EXPECT_EQ(std::tuple(int(page1_switch34), visible(page1->panel5), visible(page1->panel6),
                             visible(page1->panel10), visible(page1->panel11)),
                  std::tuple(view, view == 1, view == 2, view == 3, true));
    }
    // The RLC view: without a result the probe pictures, with one the value, its frequency
    // and unit, with about three significant digits.
    for (auto [ok, value, decimals] : {std::tuple(0, 0.0f, 2), {1, 9.87f, 2}, {1, 98.7f, 1}, {1, 987.0f, 0}}) {
        rlc_ok = int8_t(ok);
        rlc = 0;  // a resistor of `value` ohms
        rlc_val = value;
        passes(2);
        for (const OBJ* o : {page1->edit11, page1->edit13, page1->label15}) EXPECT_EQ(visible(o), ok == 1);
        EXPECT_EQ(std::pair(visible(page1->panel21), int(page1->edit11->decimals)), std::pair(ok == 0, decimals));
        if (ok == 0) expect_screen("rlc");
    }
    rlc_ok = 0;
    tab(Tab::s11);
    click(continuous.x, continuous.y);
    EXPECT_EQ(contin.load(), 1);
    click(Button::stop.x, Button::stop.y);  // STOP also ends continuous measuring
    EXPECT_EQ(contin.load(), 0);
}

TEST_F(Program, TypedSweepFieldsForgetTheCalibration) {
    start_page({1});
    ASSERT_NO_FATAL_FAILURE(calibrated());
    struct Case {
        int y;  // field
        const char* typed;
        double stored;
        const char* sweep;  // status after SCAN
    } cases[] = {{23, "10", 10, "Scan completed"},      {55, "200", 200, "Scan completed"},
                 {87, "2", 2, "Scan completed"},        {87, "0", 0, "Invalid number of points"},
                 {87, "1", 1, "Invalid number of points"}, {87, "2002", 2002, "Invalid number of points"},
                 {87, "65535", 32768, "Invalid number of points"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        type_into(c.y, c.typed);
        const double stored = c.y == 23 ? f_start.load() : c.y == 55 ? f_stop.load() : vna_points.load();
        EXPECT_EQ(std::tuple(stored, checked(page1->checkbox1), vna_cal_valid.load()), std::tuple(c.stored, false, 0));
        run_button(Button::scan);
        EXPECT_EQ(shown_status(), c.sweep);
        quale = 5000;  // the marker and its readouts stay inside the samples
        passes(2);
        EXPECT_EQ(quale, std::max(std::min<int>(vna_points.load(), 2001), 1) - 1);
    }
    EXPECT_EQ(std::pair(vna_f_start.load(), vna_f_stop.load()), std::pair(uint64_t(10000000), uint64_t(200000000)));
}

TEST_F(Program, CalibrationFilesThroughTheProgramsDialog) {
    setenv("CORVANE_FILE_DIALOG", "builtin", 1);
    start_page({1});
    ASSERT_EQ(run_button(Button::connect), 1);
    ASSERT_NO_FATAL_FAILURE(calibrate());
    const std::string other = run_.path() + "/other";
    std::filesystem::create_directories(other + "/taken.cal");  // a folder where a file would go
    // A name without ".cal" in another folder: saved there, which becomes current.
    EXPECT_EQ(dialog_answers(Button::cal_save, "other/my", 2), 1) << page1_status;
    EXPECT_EQ(page1_status, std::string("Calibration saved"));
    EXPECT_EQ(std::filesystem::file_size(other + "/my.cal"), 32u + 40u * 401u);
    EXPECT_EQ(std::filesystem::current_path(), other);
    // ports/ is still the program directory's: CONNECT finds the simulator again.
    ASSERT_EQ(run_button(Button::disconnect), 1);
    EXPECT_EQ(run_button(Button::connect), 1) << page1_status;
    // The button, the name typed ("": cancelled), the commands it posts; the status shown
    // at the end and one set on the way.
    struct Case {
        Point button;
        const char* typed;
        int commands;
        std::string shown, on_the_way = "";
    } cases[] = {{Button::cal_save, "", 0, "Corvane connected"},
                 {Button::cal_save, "taken", 2, "Calibration file open error"},
                 {Button::cal_recall, "", 1, "Calibration active"},
                 {Button::cal_recall, "my.cal", 2, "Calibration active"},
                 {Button::cal_recall, "missing.cal", 2, "Connect Corvane first", "Calibration file not found"}};
    for (const Case& c : cases) {
        uint64_t seq = vna_status.count();
        dialog_answers(c.button, c.typed, c.commands);
        EXPECT_EQ(page1_status, c.shown) << c.typed;
        bool seen = c.on_the_way.empty();
        for (std::string t; vna_status.get(++seq, t);) seen |= t == c.on_the_way;
        EXPECT_TRUE(seen) << c.typed << ": no " << c.on_the_way;
    }
    unsetenv("CORVANE_FILE_DIALOG");
}

}  // namespace
