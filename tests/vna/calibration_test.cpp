// Calibration: the error terms and the correction on chosen numbers, a full calibration
// through the simulator recovering its devices, and real raw measurements corrected
// exactly as the formulas say.
#include <functional>
#include <numbers>

#include "core_harness.h"
#include "vna/touchstone.h"

using namespace coretest;

namespace {

VNA_COMPLEX vc(double re, double im) { return {float(re), float(im)}; }
// Rounded through memory, so that the compiler cannot keep using the double (see the
// note in the calibration source).
float opaque(double v) {
    volatile float f = float(v);
    return f;
}
cf to_float(cd v) { return {opaque(v.real()), opaque(v.imag())}; }

// The formulas written out independently: (p + jq) / (r + js) and products in double.
cd div(cd x, cd a) {
    const double m = a.real() * a.real() + a.imag() * a.imag();
    return {(x.real() * a.real() + x.imag() * a.imag()) / m, (x.imag() * a.real() - x.real() * a.imag()) / m};
}
cd mul(cd x, cd y) { return {x.real() * y.real() - x.imag() * y.imag(), x.real() * y.imag() + x.imag() * y.real()}; }
bool tiny(cd v) { return v.real() * v.real() + v.imag() * v.imag() < 1e-30; }

struct Terms {
    cf ed, es, er;
};

Terms terms(cf open, cf short_, cf load) {
    const cd l = cd(load), o = cd(open) - l, s = cd(short_) - l;
    if (tiny(o - s)) return {load, 0, to_float(o)};
    const cf es = to_float(div(o + s, o - s));
    return {load, es, to_float(mul(o, 1.0 - cd(es)))};
}

cf corrected_s11(const Terms& t, cf raw) {
    const cd m = cd(raw) - cd(t.ed);
    const cd d = mul(m, cd(t.es)) + cd(t.er);
    return tiny(d) ? cf(0) : to_float(div(m, d));
}

cf corrected_s21(cf isol, cf thru, cf raw) {
    const cd t = cd(thru) - cd(isol);
    return tiny(t) ? cf(0) : to_float(div(cd(raw) - cd(isol), t));
}

cf c(const VNA_COMPLEX& v) { return {v.re, v.im}; }

// The stored sweep at point i is the correction of its raw values with the stored
// standards, bit for bit.
void expect_corrected_exactly(unsigned i) {
    const Terms t = terms(c(cal_open[i]), c(cal_short[i]), c(cal_load[i]));
    ASSERT_EQ(s11(i), corrected_s11(t, raw_s11(i))) << i;
    ASSERT_EQ(s21(i), corrected_s21(c(cal_isol[i]), c(cal_thru[i]), raw_s21(i))) << i;
}

void set_standards(unsigned i, VNA_COMPLEX o, VNA_COMPLEX s, VNA_COMPLEX l, VNA_COMPLEX iso, VNA_COMPLEX thru) {
    cal_open[i] = o;
    cal_short[i] = s;
    cal_load[i] = l;
    cal_isol[i] = iso;
    cal_thru[i] = thru;
}

void all_flags() {
    for (auto* f : {&have_open, &have_short, &have_load, &have_isol, &have_thru}) f->store(1);
}

void set_raw(unsigned i, cf s11, cf s21) {
    vna_s11_raw_re[i] = s11.real();
    vna_s11_raw_im[i] = s11.imag();
    vna_s21_raw_re[i] = s21.real();
    vna_s21_raw_im[i] = s21.imag();
}

}  // namespace

class Calibration : public ::testing::Test {
protected:
    void SetUp() override { reset_core(); }
    void TearDown() override { reset_core(); }
};

TEST_F(Calibration, ErrorTermsCorrectionAndSubstitutes) {
    // 0: ideal standards. 1: open measured like the short. 2: an imperfect test set.
    // 3: through equal to isolation. 4: a point seen through the simulator where a
    // tracking computed from the unrounded source match differs in the last bit.
    // 5: zero tracking with a raw reading equal to the directivity (D = 0).
    set_standards(0, vc(1, 0), vc(-1, 0), vc(0, 0), vc(0, 0), vc(1, 0));
    set_standards(1, vc(0.5, 0.25), vc(0.5, 0.25), vc(0.1, -0.05), vc(0.01, 0), vc(0.9, 0.1));
    set_standards(2, vc(0.93, -0.31), vc(-0.71, 0.42), vc(0.08, 0.03), vc(0.003, -0.002), vc(0.68, -0.2));
    set_standards(3, vc(1, 0), vc(-1, 0), vc(0, 0), vc(0.2, 0.1), vc(0.2, 0.1));
    set_standards(4, {0x1.c547cap-1f, -0x1.1a2704p-2f}, {-0x1.5941b8p-1f, 0x1.915c4ap-3f},
                  {0x1.80187ap-5f, 0x1.4122d4p-4f}, vc(0, 0), vc(1, 0));
    set_standards(5, vc(0.2, 0.1), vc(0.2, 0.1), vc(0.2, 0.1), vc(0, 0), vc(1, 0));
    vna_points.store(6);
    all_flags();
    ASSERT_EQ(vna_compute_calibration(), 1);
    EXPECT_EQ(status(), "Calibration active");
    EXPECT_EQ(vna_cal_valid.load(), 1);

    // Ideal: Ed = 0, Es = 0, Er = 1. Open like short: Es = 0, Er = open - load.
    EXPECT_EQ(c(cal_ed[0]), cf(0));
    EXPECT_EQ(c(cal_es[0]), cf(0));
    EXPECT_EQ(c(cal_er[0]), cf(1));
    EXPECT_EQ(c(cal_es[1]), cf(0));
    EXPECT_EQ(c(cal_er[1]), cf(0.5f - 0.1f, float(0.25 + 0.05)));
    EXPECT_EQ(cal_er[4].re, 0x1.9315e6p-1f);
    for (unsigned i = 0; i < 6; i++) {
        const Terms t = terms(c(cal_open[i]), c(cal_short[i]), c(cal_load[i]));
        EXPECT_EQ(c(cal_ed[i]), t.ed) << i;
        EXPECT_EQ(c(cal_es[i]), t.es) << i;
        EXPECT_EQ(c(cal_er[i]), t.er) << i;
    }

    // The ideal point gives back the raw values; the degenerate ones give 0.
    set_raw(0, {0.3f, -0.2f}, {0.7f, 0.1f});
    set_raw(1, {0.1f, -0.05f}, {0.2f, 0.3f});
    set_raw(2, {0.2f, 0.6f}, {0.5f, -0.25f});
    set_raw(3, {0.4f, 0.4f}, {0.9f, 0.9f});
    set_raw(4, {0.5f, 0.5f}, {0.5f, 0.5f});
    set_raw(5, {0.2f, 0.1f}, {0.5f, 0.5f});
    vna_apply_correction(6);
    EXPECT_EQ(s11(0), cf(0.3f, -0.2f));
    EXPECT_EQ(s21(0), cf(0.7f, 0.1f));
    EXPECT_EQ(s21(3), cf(0));
    EXPECT_EQ(s11(5), cf(0));
    for (unsigned i = 0; i < 6; i++) expect_corrected_exactly(i);
}

TEST_F(Calibration, MissingStandardChangesNothing) {
    vna_points.store(2);
    set_standards(0, vc(1, 0), vc(-1, 0), vc(0, 0), vc(0, 0), vc(1, 0));
    all_flags();
    ASSERT_EQ(vna_compute_calibration(), 1);
    const VNA_COMPLEX es0 = cal_es[0], er0 = cal_er[0];
    for (auto* missing : {&have_open, &have_short, &have_load, &have_isol, &have_thru}) {
        all_flags();
        missing->store(0);
        cal_open[0] = vc(0.3, 0.3);  // would change the terms if they were computed
        EXPECT_EQ(vna_compute_calibration(), 0);
        EXPECT_EQ(status(), "Incomplete calibration");
        EXPECT_EQ(vna_cal_valid.load(), 1);
        EXPECT_EQ(cal_es[0].re, es0.re);
        EXPECT_EQ(cal_er[0].re, er0.re);
    }
    // Clearing forgets everything.
    vna_clear_calibration();
    EXPECT_EQ(vna_cal_valid.load(), 0);
    EXPECT_EQ(have_open.load() + have_short.load() + have_load.load() + have_isol.load() + have_thru.load(), 0);
    EXPECT_EQ(cal_open[0].re, 0.0f);
    EXPECT_EQ(cal_er[0].re, 0.0f);
    // So does a click in a sweep field.
    all_flags();
    vna_cal_valid.store(1);
    page1_epoints_onclick();
    EXPECT_EQ(vna_cal_valid.load(), 0);
    EXPECT_EQ(have_thru.load(), 0);
}

// ---- Through the simulator ----

namespace {

constexpr uint64_t start_hz = 1000000, stop_hz = 3001000000;
constexpr uint16_t points = 101;  // 30 MHz steps on the 1 MHz grid of the files

double freq(unsigned i) { return double(start_hz + (stop_hz - start_hz) * i / (points - 1)); }

cd gamma_z(cd z) { return (z - 50.0) / (z + 50.0); }

struct Truth {
    std::string device;
    std::function<cd(double)> s11, s21;
};

const touchstone::Data& stepped() {
    static const touchstone::Data d = read_data("msl_P1-MSL_Stepped_140-P2.s2p");
    return d;
}

std::vector<Truth> devices() {
    const cd j{0, 1};
    auto w = [](double f) { return 2 * std::numbers::pi * f; };
    auto zero = [](double) { return cd(0); };
    return {
        {"open", [](double) { return cd(1); }, zero},
        {"short", [](double) { return cd(-1); }, zero},
        {"load", zero, zero},
        {"r 22", [](double) { return gamma_z(22); }, zero},
        {"c 10p", [=](double f) { return gamma_z(1.0 / (j * w(f) * 10e-12)); }, zero},
        {"thru", zero, [](double) { return cd(1); }},
        {"file " + data_dir + "msl_P1-MSL_Stepped_140-P2.s2p",
         [](double f) { return touchstone::interpolate(stepped(), touchstone::S11, f); },
         [](double f) { return touchstone::interpolate(stepped(), touchstone::S21, f); }},
    };
}

}  // namespace

class CalibratedSweep : public Core {};

TEST_F(CalibratedSweep, RecoversTheDevicesUnderTest) {
    start();
    ASSERT_EQ(connect(), 1);
    set_sweep(start_hz, stop_hz, points);
    calibrate();
    EXPECT_EQ(have_open + have_short + have_load + have_isol + have_thru, 5);
    for (const Truth& t : devices()) {
        SCOPED_TRACE(t.device);
        ASSERT_EQ(ctl("dut " + t.device), "ok");
        ASSERT_EQ(scan(), 1) << status();
        double worst = 0, raw_worst = 0;
        for (unsigned i = 0; i < points; i++) {
            worst = std::max({worst, std::abs(cd(s11(i)) - t.s11(freq(i))), std::abs(cd(s21(i)) - t.s21(freq(i)))});
            raw_worst = std::max(raw_worst, std::abs(cd(raw_s11(i)) - t.s11(freq(i))));
            ASSERT_NO_FATAL_FAILURE(expect_corrected_exactly(i));
        }
        // Integer readings of about 2^20 counts: a few times 1e-6 after correction.
        EXPECT_LT(worst, 1e-5);
        EXPECT_GT(raw_worst, 0.05) << "the test set's errors should show uncorrected";
    }
}

TEST_F(CalibratedSweep, OpenStartsANewCalibration) {
    start();
    ASSERT_EQ(connect(), 1);
    set_sweep(start_hz, stop_hz, 21);
    calibrate();
    ASSERT_EQ(vna_cal_valid.load(), 1);
    ASSERT_EQ(ctl("dut open"), "ok");
    const uint64_t mark = vna_status.count();
    ASSERT_EQ(run(VNA_CMD_OPEN), 1);
    EXPECT_EQ(texts_since(mark), (std::vector<std::string>{"Acquisition OPEN...", "OPEN acquised"}));
    EXPECT_EQ(vna_cal_valid.load(), 0);
    EXPECT_EQ(have_open.load(), 1);
    EXPECT_EQ(have_short.load() + have_load.load() + have_isol.load() + have_thru.load(), 0);
    EXPECT_EQ(cal_thru[0].re, 0.0f);
    EXPECT_EQ(cal_er[0].re, 0.0f);
    EXPECT_EQ(cf(cal_open[3].re, cal_open[3].im), raw_s11(3));
    // Apply with one standard: refused.
    EXPECT_EQ(run(VNA_CMD_CAL_APPLY), 0);
    EXPECT_EQ(status(), "Incomplete calibration");
}

TEST_F(CalibratedSweep, FailedStandardKeepsItsArrayAndFlag) {
    start({"--no-pace", "--rate", "2000"});
    ASSERT_EQ(connect(), 1);
    set_sweep(start_hz, stop_hz, 2001);
    ASSERT_EQ(ctl("dut short"), "ok");
    const VNA_COMPLEX before = vc(0.25, -0.5);
    cal_short[7] = before;
    const uint32_t done = vna_commands_done.load();
    ASSERT_EQ(vna_post(VNA_CMD_SHORT), 1);
    ASSERT_TRUE(eventually([] { return vna_acquired.load() > 0; }));
    ASSERT_EQ(ctl("fault silent"), "ok");
    ASSERT_TRUE(eventually([&] { return vna_commands_done.load() != done; }));
    EXPECT_EQ(vna_last_result.load(), 0);
    EXPECT_EQ(status(), "FIFO read error");
    EXPECT_EQ(have_short.load(), 0);
    EXPECT_EQ(cal_short[7].re, before.re);
    EXPECT_EQ(cal_short[7].im, before.im);
}

TEST_F(CalibratedSweep, RawSplitterMeasurementsCorrected) {
    // Raw readings of a real analyser with its own raw standards, played back as they are.
    start();
    ASSERT_EQ(connect(), 1);
    set_sweep(1000000, 2001000000, 201);  // 10 MHz steps on the files' 1 MHz grid
    const std::pair<const char*, int> steps[] = {{"splitter_cal_open_raw.s2p", VNA_CMD_OPEN},
                                                 {"splitter_cal_short_raw.s2p", VNA_CMD_SHORT},
                                                 {"splitter_cal_match_raw.s2p", VNA_CMD_LOAD},
                                                 {"splitter_cal_match_raw.s2p", VNA_CMD_ISOL},
                                                 {"splitter_cal_thru_raw.s2p", VNA_CMD_THRU}};
    std::vector<touchstone::Data> files;
    for (auto [file, code] : steps) {
        ASSERT_EQ(ctl("dut raw " + data_dir + file), "ok");
        ASSERT_EQ(run(code), 1) << file << ": " << status();
        files.push_back(read_data(file));
    }
    ASSERT_EQ(run(VNA_CMD_CAL_APPLY), 1);
    const touchstone::Data dut = read_data("splitter_dut_raw_12.s2p");
    ASSERT_EQ(ctl("dut raw " + data_dir + "splitter_dut_raw_12.s2p"), "ok");
    ASSERT_EQ(scan(), 1) << status();
    double worst = 0;
    for (unsigned i = 0; i < 201; i++) {
        const double f = double(vna_frequency[i].load());
        auto at = [&](const touchstone::Data& d, int k) { return touchstone::interpolate(d, k, f); };
        ASSERT_NO_FATAL_FAILURE(expect_corrected_exactly(i));
        // And close to the same correction of the file values themselves.
        const cd l = at(files[2], touchstone::S11), o = at(files[0], touchstone::S11) - l,
                 s = at(files[1], touchstone::S11) - l;
        const cd es = (o + s) / (o - s), er = o * (1.0 - es);
        const cd m = at(dut, touchstone::S11) - l;
        const cd want11 = m / (m * es + er);
        const cd iso = at(files[3], touchstone::S21);
        const cd want21 = (at(dut, touchstone::S21) - iso) / (at(files[4], touchstone::S21) - iso);
        worst = std::max({worst, std::abs(cd(s11(i)) - want11), std::abs(cd(s21(i)) - want21)});
    }
    EXPECT_LT(worst, 1e-4);
}
