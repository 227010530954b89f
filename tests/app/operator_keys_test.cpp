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
    // Fn pressed and released as the window shell reports it, then the pass that sees it.
    void press_function_key(int n) {
        SHELL_EVENT down{EV_KEY_DOWN};
        down.code = 111 + n;
        WndProc(down);
        WndProc(SHELL_EVENT{EV_KEY_UP});
        pass();
    }
    // Names in the program directory ending in ext, in order.
    std::vector<std::string> files(const std::string& ext) const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(run_.path()))
            if (e.path().extension() == ext) out.push_back(e.path().filename());
        std::sort(out.begin(), out.end());
        return out;
    }
    std::string bytes(const std::string& name) const { return file_bytes(run_.path() + "/" + name); }
};

TEST_F(OperatorKeys, FunctionKeysReachThePageButTypeNothing) {
    start_page({});
    click(887, 23);  // into the start field
    SHELL_EVENT down{EV_KEY_DOWN};
    for (int n = 1; n <= 12; n++) {
        down.code = 111 + n;
        for (bool repeat : {false, true}) {
            down.repeat = repeat;
            WndProc(down);
            EXPECT_EQ(std::pair(int(key__press.load()), take_typed_key()), std::pair(0, -1)) << "F" << n;
        }
        EXPECT_EQ(take_function_keys(), function_key(n)) << "F" << n;  // the repeat is not a new press
        WndProc(SHELL_EVENT{EV_KEY_UP});
        pass();
    }
    type("5");
    key(13);
    EXPECT_EQ(f_start.load(), 5.0f);  // the field took exactly what was typed
    // Through the page: F2 writes a screenshot of the screen as it was before the pass.
    pass();
    std::vector<uint32_t> screen;
    for (int y = 0; y < 600; y++)
        for (int x = 0; x < 1024; x++) screen.push_back(fb_at(x, y));
    press_function_key(SCREENSHOT_KEY);
    const auto shots = files(".png");
    ASSERT_EQ(shots.size(), 1u);
    EXPECT_EQ(shown_status(), "Screenshot " + shots[0]);
    EXPECT_EQ(shots[0].size(), std::string("corvane-20261207-071502.png").size());
    int w = 0, h = 0, n = 0, wrong = 0;
    unsigned char* rgb = stbi_load((run_.path() + "/" + shots[0]).c_str(), &w, &h, &n, 3);
    ASSERT_NE(rgb, nullptr);
    ASSERT_EQ(w * h, 1024 * 600);
    for (size_t i = 0; i < screen.size(); i++)
        wrong += (uint32_t(rgb[3 * i]) << 16 | uint32_t(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2]) != screen[i];
    stbi_image_free(rgb);
    EXPECT_EQ(wrong, 0);
}

// Names taken get -2, -3 ...; a folder that cannot take the file gives the reason and
// leaves nothing.
TEST_F(OperatorKeys, NamesNeverReplaceAFile) {
    char base[32];
    std::tm t{};
    localtime_r(&WHEN, &t);
    std::strftime(base, sizeof base, "corvane-%Y%m%d-%H%M%S", &t);
    const std::string b = base;
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, b + ".png"}, {{b + ".png"}, b + "-2.png"}, {{b + ".png", b + "-2.png"}, b + "-3.png"}};
    for (const auto& [taken, expected] : cases) {
        for (const auto& f : files(".png")) std::filesystem::remove(run_.path() + "/" + f);
        for (const auto& name : taken) std::ofstream(run_.path() + "/" + name) << "keep";
        const OperatorKeyResult r = take_screenshot(run_.path(), WHEN);
        EXPECT_EQ(std::pair(r.file, r.status), std::pair(expected, "Screenshot " + expected));
        for (const auto& name : taken) EXPECT_EQ(bytes(name), "keep") << name;
        EXPECT_EQ(files(".png").size(), taken.size() + 1);
    }
    const auto bad = take_screenshot(run_.path() + "/none", WHEN);
    EXPECT_EQ(std::pair(bad.file, bad.status), std::pair(std::string(), std::string("Screenshot failed: No such file or directory")));
    EXPECT_EQ(files(".tmp").size(), 0u);
}

TEST_F(OperatorKeys, ExportWritesTheLastCompletedSweepOnly) {
    start_page({1});
    press_function_key(EXPORT_KEY);  // no sweep yet: a message and no file
    EXPECT_EQ(shown_status(), "No completed sweep to export");
    EXPECT_TRUE(files(".s2p").empty());

    ASSERT_EQ(run_button(Button::connect), 1) << page1_status;
    ASSERT_EQ(sweep("series 22 100n 10p"), 1) << page1_status;
    press_function_key(EXPORT_KEY);
    ASSERT_EQ(files(".s2p").size(), 1u);
    const std::string first = files(".s2p")[0];
    EXPECT_EQ(shown_status(), "Exported " + first);
    // Read back, it is the task's copy, value for value.
    auto kept = std::make_unique<VnaSweep>();
    ASSERT_NE(vna_last_sweep(*kept), 0u);
    touchstone::Data data;
    std::string error;
    ASSERT_TRUE(touchstone::read_file(run_.path() + "/" + first, data, error)) << error;
    ASSERT_EQ(std::pair(data.points.size(), size_t(kept->points)), std::pair(size_t(401), size_t(401)));
    int wrong = 0;
    for (unsigned i = 0; i < kept->points; i++) {
        const auto& p = data.points[i];
        wrong += p.freq_hz != double(kept->frequency[i]) || float(p.s[0].real()) != kept->s11_re[i] ||
                 float(p.s[0].imag()) != kept->s11_im[i] || float(p.s[1].real()) != kept->s21_re[i] ||
                 float(p.s[1].imag()) != kept->s21_im[i] || p.s[2] != 0.0 || p.s[3] != 0.0;
    }
    EXPECT_EQ(wrong, 0);

    // A slow sweep of another device under way, then stopped: both exports give the sweep
    // before, not the arrays it half filled. The paced 2001-point sweep takes seconds.
    ASSERT_EQ(sim(0).ctl("dut short"), "ok");
    ASSERT_EQ(sim(0).ctl("pace on"), "ok");
    click(slow_box.x, slow_box.y);
    EXPECT_EQ(slow.load(), 1);
    vna_points = 2001;
    vna_acquired = 0;  // the sweep before counted 401: only the new sweep raises it
    OperatorKeyResult during;
    EXPECT_EQ(run_button(Button::scan,
                         [&] { return vna_acquired.load() >= 16 && (during = export_sweep(run_.path(), WHEN), true); }),
              0);
    EXPECT_EQ(shown_status(), "Scan aborted");
    EXPECT_NE(vna_s11_raw_re[0].load(), kept->s11_re[0]) << "the stopped sweep measured the short";
    const OperatorKeyResult after = export_sweep(run_.path(), WHEN);
    ASSERT_FALSE(during.file.empty() || after.file.empty()) << during.status << " " << after.status;
    EXPECT_EQ(bytes(during.file), bytes(first));
    EXPECT_EQ(bytes(after.file), bytes(first));
    // A decimal-comma locale writes the same bytes.
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    std::locale::global(std::locale("de_DE.UTF-8"));
    const OperatorKeyResult german = export_sweep(run_.path(), WHEN);
    std::locale::global(std::locale::classic());
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(bytes(german.file), bytes(first));
}

}  // namespace
