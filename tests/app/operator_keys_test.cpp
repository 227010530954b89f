// The operator keys F2 (screenshot) and F3 (sweep export) as the window shell reports
// them to the main page, with the files they write read back.
#include <clocale>
#include <locale>

#include "app/operator_keys.h"
#include "program_harness.h"
#include "vna/touchstone.h"

namespace {

using namespace apptest;

constexpr std::time_t WHEN = 1796627702;  // a fixed moment for the names

class OperatorKeys : public Program {
protected:
    void SetUp() override {
        Program::SetUp();
        vna_forget_sweep();
        take_function_keys();
    }
    // Fn pressed, repeated as a held key is and released, as the window shell reports it.
    void press_key(int n) {
        SHELL_EVENT down{EV_KEY_DOWN};
        down.code = 111 + n;
        WndProc(down);
        down.repeat = true;
        WndProc(down);
        WndProc(SHELL_EVENT{EV_KEY_UP});
    }
    // Names in the program directory ending in ext, in order.
    std::vector<std::string> files(const std::string& ext) const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(run_.path()))
            if (e.path().extension() == ext) out.push_back(e.path().filename());
        std::sort(out.begin(), out.end());
        return out;
    }
    std::string at(const std::string& name) const { return run_.path() + "/" + name; }
};

// F3 before any sweep writes nothing. F2 writes the screen once for a held key and types
// nothing into the focused field; names taken get -2, -3 ...; a folder that cannot take the
// file gives the reason and leaves nothing. Then F3 writes the task's copy of the last
// completed sweep: the one before while a sweep runs and after it was stopped, the same bytes
// in a decimal-comma locale.
TEST_F(OperatorKeys, ScreenshotsAndTheExportOfTheLastCompletedSweep) {
    start_page({1});
    press_key(EXPORT_KEY);
    pass();
    EXPECT_EQ(std::pair(shown_status(), files(".s2p").size()),
              std::pair("No completed sweep to export"s, 0ul));
    click(887, 23);  // into the start field
    press_key(SCREENSHOT_KEY);
    type("5");
    key(13);
    pass();
    EXPECT_EQ(f_start.load(), 5.0f);  // the field took exactly what was typed
    const auto shots = files(".png");
    int w = 0, h = 0, n = 0;
    ASSERT_EQ(shots.size(), 1u);
    const int png = stbi_info(at(shots[0]).c_str(), &w, &h, &n);  // window.sh compares it with the page
    EXPECT_EQ(std::tuple(shown_status(), shots[0].size(), png, w, h),
              std::tuple("Screenshot " + shots[0], 27u, 1, 1024, 600));
    std::filesystem::remove(at(shots[0]));
    char base[32];
    std::tm t{};
    std::strftime(base, sizeof base, "corvane-%Y%m%d-%H%M%S", localtime_r(&WHEN, &t));
    for (const std::string& expected : {base + ".png"s, base + "-2.png"s, base + "-3.png"s}) {
        const auto taken = files(".png");
        for (const auto& name : taken) std::ofstream(at(name)) << "keep";
        const OperatorKeyResult r = take_screenshot(run_.path(), WHEN);
        EXPECT_EQ(std::pair(r.file, r.status), std::pair(expected, "Screenshot " + expected));
        for (const auto& name : taken) EXPECT_EQ(slurp(at(name)), "keep") << name;
    }
    const auto bad = take_screenshot(run_.path() + "/none", WHEN);
    EXPECT_EQ(std::tuple(bad.file, bad.status, files(".png").size(), files(".tmp").size()),
              std::tuple("", "Screenshot failed: No such file or directory", size_t(3), size_t(0)));
    ASSERT_EQ(run_button(Button::connect), 1) << page1_status;
    ASSERT_EQ(sweep("series 22 100n 10p"), 1) << page1_status;
    press_key(EXPORT_KEY);
    pass();
    ASSERT_EQ(files(".s2p").size(), 1u);
    const std::string first = files(".s2p")[0];
    EXPECT_EQ(shown_status(), "Exported " + first);
    auto kept = std::make_unique<VnaSweep>();
    touchstone::Data data;
    std::string error;
    ASSERT_TRUE(vna_last_sweep(*kept) && touchstone::read_file(at(first), data, error)) << error;
    EXPECT_EQ(std::pair(data.points.size(), float(data.points[400].s[1].imag())),
              std::pair(401ul, kept->s21_im[400]));
    // A slow paced sweep of 2001 points of a short, exported while under way, then stopped.
    ASSERT_EQ(sim().ctl("dut short") + sim().ctl("pace on"), "okok");
    click(Button::slow.x, Button::slow.y);
    vna_points = 2001;
    vna_acquired = 0;  // the sweep before counted 401: only the new sweep raises it
    OperatorKeyResult during;
    const auto under_way = [&] {
        if (vna_acquired <= 15) return false;
        during = export_sweep(run_.path(), WHEN);
        return true;
    };
    EXPECT_EQ(run_button(Button::scan, under_way), 0);
    EXPECT_EQ(std::pair(shown_status(), int(slow.load())), std::pair(std::string("Scan aborted"), 1));
    EXPECT_NE(vna_s11_raw_re[0].load(), kept->s11_re[0]) << "the stopped sweep measured the short";
    const OperatorKeyResult after = export_sweep(run_.path(), WHEN);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    std::locale::global(std::locale("de_DE.UTF-8"));
    const OperatorKeyResult german = export_sweep(run_.path(), WHEN);
    std::locale::global(std::locale::classic());
    std::setlocale(LC_ALL, "C");
    for (const auto& r : {during, after, german})
        EXPECT_TRUE(!r.file.empty() && slurp(at(r.file)) == slurp(at(first))) << r.status;
}

}  // namespace
