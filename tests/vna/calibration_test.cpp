// Calibration: the error terms and the correction on chosen numbers, and a full
// calibration through the simulator recovering a measured device exactly as the formulas
// say.
#include "core_harness.h"

using namespace coretest;

namespace {

// Rounded through memory, so that the compiler cannot keep using the double (see the
// note in the calibration source).
cf to_float(cd v) { volatile float re = float(v.real()), im = float(v.imag()); return {re, im}; }

// The formulas written out independently: (p + jq) / (r + js) and products in double.
cd div(cd x, cd a) {
    const double m = a.real() * a.real() + a.imag() * a.imag();
    return {(x.real() * a.real() + x.imag() * a.imag()) / m, (x.imag() * a.real() - x.real() * a.imag()) / m};
}
cd mul(cd x, cd y) { return {x.real() * y.real() - x.imag() * y.imag(), x.real() * y.imag() + x.imag() * y.real()}; }
bool tiny(cd v) { return v.real() * v.real() + v.imag() * v.imag() < 1e-30; }
cf c(const VNA_COMPLEX& v) { return {v.re, v.im}; }

// The error terms and the stored sweep at point i are those of the formulas, bit for bit.
// Open and short alike leave the source match 0.
void expect_corrected_exactly(unsigned i) {
    const cd l = cd(c(cal_load[i])), o = cd(c(cal_open[i])) - l, s = cd(c(cal_short[i])) - l;
    const cf es = tiny(o - s) ? cf(0) : to_float(div(o + s, o - s));
    ASSERT_EQ(std::tuple(c(cal_ed[i]), c(cal_es[i]), c(cal_er[i])),
              std::tuple(c(cal_load[i]), es, to_float(mul(o, 1.0 - cd(es))))) << i;
    const cd m = cd(raw_s11(i)) - l, d = mul(m, cd(es)) + cd(c(cal_er[i]));
    ASSERT_EQ(s11(i), tiny(d) ? cf(0) : to_float(div(m, d))) << i;
    const cd iso = cd(c(cal_isol[i])), thru = cd(c(cal_thru[i])) - iso;
    ASSERT_EQ(s21(i), tiny(thru) ? cf(0) : to_float(div(cd(raw_s21(i)) - iso, thru))) << i;
}

std::atomic<int>* const flags[] = {&have_open, &have_short, &have_load, &have_isol, &have_thru};
void all_flags() { for (auto* f : flags) f->store(1); }

}  // namespace

struct Calibration : ::testing::Test {
    void SetUp() override { reset_core(); }
    void TearDown() override { reset_core(); }
};

TEST_F(Calibration, ErrorTermsCorrectionAndSubstitutes) {
    // Per point: open, short, load, isolation and through standards, raw S11 and S21.
    // 0: ideal standards. 1: open measured like the short. 2: through equal to isolation.
    // 3: a point seen through the simulator where a tracking computed from the unrounded
    // source match differs in the last bit. 4: zero tracking with a raw reading equal to the
    // directivity (D = 0). (An imperfect test set is calibrated through the simulator.)
    const cf points[5][7] = {
        {{1, 0}, {-1, 0}, {0, 0}, {0, 0}, {1, 0}, {0.3f, -0.2f}, {0.7f, 0.1f}},
        {{0.5f, 0.25f}, {0.5f, 0.25f}, {0.1f, -0.05f}, {0.01f, 0}, {0.9f, 0.1f}, {0.1f, -0.05f}, {0.2f, 0.3f}},
        {{1, 0}, {-1, 0}, {0, 0}, {0.2f, 0.1f}, {0.2f, 0.1f}, {0.4f, 0.4f}, {0.9f, 0.9f}},
        {{0x1.c547cap-1f, -0x1.1a2704p-2f}, {-0x1.5941b8p-1f, 0x1.915c4ap-3f}, {0x1.80187ap-5f, 0x1.4122d4p-4f},
         {0, 0}, {1, 0}, {0.5f, 0.5f}, {0.5f, 0.5f}},
        {{0.2f, 0.1f}, {0.2f, 0.1f}, {0.2f, 0.1f}, {0, 0}, {1, 0}, {0.2f, 0.1f}, {0.5f, 0.5f}},
    };
    VNA_COMPLEX* standards[] = {cal_open, cal_short, cal_load, cal_isol, cal_thru};
    for (unsigned i = 0; i < 5; i++) {
        for (int k = 0; k < 5; k++) standards[k][i] = VNA_COMPLEX{points[i][k].real(), points[i][k].imag()};
        vna_s11_raw_re[i] = points[i][5].real();
        vna_s11_raw_im[i] = points[i][5].imag();
        vna_s21_raw_re[i] = points[i][6].real();
        vna_s21_raw_im[i] = points[i][6].imag();
    }
    vna_points.store(5);
    all_flags();
    ASSERT_EQ(said(vna_compute_calibration()), std::tuple(1, "Calibration active"));
    vna_apply_correction(5);
    for (unsigned i = 0; i < 5; i++) expect_corrected_exactly(i);
    EXPECT_EQ(std::tuple(vna_cal_valid.load(), s11(0), s21(0), cal_er[3].re),
              std::tuple(1, cf(0.3f, -0.2f), cf(0.7f, 0.1f), 0x1.9315e6p-1f));
}

TEST_F(Calibration, MissingStandardChangesNothingAndClearingForgetsAll) {
    vna_points.store(2);
    cal_open[0] = cal_thru[0] = VNA_COMPLEX{1, 0};
    cal_short[0] = VNA_COMPLEX{-1, 0};
    all_flags();
    ASSERT_EQ(vna_compute_calibration(), 1);
    const VNA_COMPLEX es0 = cal_es[0], er0 = cal_er[0];
    for (auto* missing : flags) {
        all_flags();
        missing->store(0);
        cal_open[0] = VNA_COMPLEX{0.3f, 0.3f};  // would change the terms if they were computed
        EXPECT_EQ(said(vna_compute_calibration()), std::tuple(0, "Incomplete calibration"));
        EXPECT_TRUE(vna_cal_valid && cal_es[0].re == es0.re && cal_er[0].re == er0.re);
    }
    // A click in a sweep field clears the flags at once and leaves the arrays to the
    // command task, which clears them when it takes the request. (During a command both
    // the sweep and the task take it, so that a test cannot see either one missing.)
    for (void (*clear)() : {vna_clear_calibration, page1_epoints_onclick, page1_estart_onclick, page1_estop_onclick}) {
        all_flags();
        vna_cal_valid.store(1);
        cal_thru[0] = cal_er[0] = VNA_COMPLEX{0.3f, 0.3f};
        clear();
        EXPECT_EQ(std::tuple(vna_cal_valid.load(), have_open + have_short + have_load + have_isol + have_thru,
                             cal_thru[0].re),
                  std::tuple(0, 0, clear == vna_clear_calibration ? 0.0f : 0.3f));
        vna_clear_calibration_if_requested();
        EXPECT_TRUE(cal_thru[0].re == 0.0f && cal_er[0].re == 0.0f);
    }
}

// ---- Through the simulator ----

using CalibratedSweep = Core;

TEST_F(CalibratedSweep, RecoversTheDeviceOfAnIdealTestSet) {
    constexpr uint64_t start_hz = 1000000, stop_hz = 3001000000;
    constexpr uint16_t points = 101;  // 30 MHz steps on the 1 MHz grid of the file
    const std::string stepped_name = "msl_P1-MSL_Stepped_140-P2.s2p";
    const touchstone::Data stepped = read_data(stepped_name);
    ASSERT_NO_FATAL_FAILURE(connected());
    set_sweep(start_hz, stop_hz, points);
    // The five standards (codes 3 to 7) on the simulator's devices of their names, and applied.
    const std::string standard[] = {"open", "short", "load", "isolation", "thru"};
    for (int k = 0; k < 5; k++) {
        ASSERT_EQ(ctl("dut " + standard[k]), "ok");
        ASSERT_EQ(run(VNA_CMD_OPEN + k), 1) << standard[k] << ": " << status();
    }
    ASSERT_EQ(run(VNA_CMD_CAL_APPLY), 1) << status();
    ASSERT_EQ(ctl("dut file " + data_dir + stepped_name), "ok");
    ASSERT_EQ(scan(), 1) << status();
    double worst = 0, raw_worst = 0;
    for (unsigned i = 0; i < points; i++) {
        const double f = double(start_hz + (stop_hz - start_hz) * i / (points - 1));
        const cd want_s11 = touchstone::interpolate(stepped, touchstone::S11, f);
        worst = std::max(worst, std::abs(cd(s11(i)) - want_s11));
        worst = std::max(worst, std::abs(cd(s21(i)) - touchstone::interpolate(stepped, touchstone::S21, f)));
        raw_worst = std::max(raw_worst, std::abs(cd(raw_s11(i)) - want_s11));
        ASSERT_NO_FATAL_FAILURE(expect_corrected_exactly(i));
    }
    // Integer readings of about 2^20 counts, a few times 1e-6 after correction, where the
    // test set's errors show uncorrected.
    EXPECT_TRUE(worst < 1e-5 && raw_worst > 0.05) << worst << " " << raw_worst;

    // OPEN starts a new calibration: everything else is forgotten, and applying it with
    // one standard is refused.
    ASSERT_EQ(ctl("dut open"), "ok");
    const uint64_t mark = vna_status.count();
    ASSERT_EQ(run(VNA_CMD_OPEN), 1);
    EXPECT_EQ(std::tuple(texts_since(mark), vna_cal_valid.load(), have_open.load()),
              std::tuple(Texts{"Acquisition OPEN...", "OPEN acquised"}, 0, 1));
    EXPECT_EQ(have_short + have_load + have_isol + have_thru, 0);
    EXPECT_TRUE(cal_thru[0].re == 0.0f && cal_er[0].re == 0.0f && c(cal_open[3]) == raw_s11(3));
    EXPECT_EQ(said(run(VNA_CMD_CAL_APPLY)), std::tuple(0, "Incomplete calibration"));
}
