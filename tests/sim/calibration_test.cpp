// The simulator's test set against the program's calibration: the five standards measured
// through the simulator, error terms and correction written out here as the program
// computes them (single-precision storage, double-precision arithmetic), and the
// corrected devices compared with their own formulas.
#include <cmath>
#include <functional>
#include <numbers>

#include "sim_harness.h"
#include "vna/touchstone.h"

using namespace simtest;
using cf = std::complex<float>;
using cd = std::complex<double>;

namespace {

constexpr uint64_t start_hz = 1000000, step_hz = 30000000;
constexpr uint16_t points = 101;
constexpr double z0 = 50;

double freq(int i) { return double(start_hz + step_hz * uint64_t(i)); }

cf to_float(cd v) { return {float(v.real()), float(v.imag())}; }
bool tiny(cd v) { return std::norm(v) < 1e-30; }

struct Calibration {
    std::vector<cf> ed, es, er, isol, thru;
};

Calibration compute(const Sweep& open, const Sweep& short_, const Sweep& load, const Sweep& isol, const Sweep& thru)
{
    Calibration c;
    for (int i = 0; i < points; ++i) {
        cd l = load.s11[size_t(i)], o = cd(open.s11[size_t(i)]) - l, s = cd(short_.s11[size_t(i)]) - l;
        cf es = tiny(o - s) ? cf(0) : to_float((o + s) / (o - s));
        cf er = tiny(o - s) ? to_float(o) : to_float(o * (1.0 - cd(es)));
        c.ed.push_back(to_float(l));
        c.es.push_back(es);
        c.er.push_back(er);
        c.isol.push_back(isol.s21[size_t(i)]);
        c.thru.push_back(thru.s21[size_t(i)]);
    }
    return c;
}

Sweep correct(const Calibration& c, const Sweep& raw)
{
    Sweep out = raw;
    for (size_t i = 0; i < raw.s11.size(); ++i) {
        cd m = cd(raw.s11[i]) - cd(c.ed[i]);
        cd d = m * cd(c.es[i]) + cd(c.er[i]);
        out.s11[i] = tiny(d) ? cf(0) : to_float(m / d);
        cd t = cd(c.thru[i]) - cd(c.isol[i]);
        out.s21[i] = tiny(t) ? cf(0) : to_float((cd(raw.s21[i]) - cd(c.isol[i])) / t);
    }
    return out;
}

cd gamma_z(cd z) { return (z - z0) / (z + z0); }

struct Expected {
    std::string device;
    std::function<cd(double)> s11, s21;
};

const std::string stepped_file = std::string(CORVANE_SOURCE_DIR) + "/tests/data/touchstone/msl_P1-MSL_Stepped_140-P2.s2p";

std::vector<Expected> devices()
{
    const cd j{0, 1};
    auto w = [](double f) { return 2 * std::numbers::pi * f; };
    auto zero = [](double) { return cd(0); };
    static touchstone::Data stepped;
    std::string error;
    EXPECT_TRUE(touchstone::read_file(stepped_file, stepped, error)) << error;
    // The sweep's frequencies lie on the file's 1 MHz grid, so no interpolation is involved.
    auto at = [](double f, int k) {
        for (const auto& p : stepped.points)
            if (std::abs(p.freq_hz - f) < 1) return p.s[size_t(k)];
        ADD_FAILURE() << f << " Hz is not in the file";
        return cd(0);
    };
    return {
        {"open", [](double) { return cd(1); }, zero},
        {"short", [](double) { return cd(-1); }, zero},
        {"load", zero, zero},
        {"isolation", zero, zero},
        {"thru", zero, [](double) { return cd(1); }},
        {"r 22", [](double) { return gamma_z(22); }, zero},
        {"r 1.5k", [](double) { return gamma_z(1500); }, zero},
        {"c 10p", [=](double f) { return gamma_z(1.0 / (j * w(f) * 10e-12)); }, zero},
        {"l 100n", [=](double f) { return gamma_z(j * w(f) * 100e-9); }, zero},
        {"series 10 100n 10p", [=](double f) { return gamma_z(10.0 + j * w(f) * 100e-9 + 1.0 / (j * w(f) * 10e-12)); },
         zero},
        {"parallel 1k 47n 2.2p",
         [=](double f) { return gamma_z(1.0 / (1.0 / 1000 + 1.0 / (j * w(f) * 47e-9) + j * w(f) * 2.2e-12)); }, zero},
        {"file " + stepped_file, [=](double f) { return at(f, touchstone::S11); },
         [=](double f) { return at(f, touchstone::S21); }},
    };
}

double worst(const Sweep& got, const Expected& e)
{
    double err = 0;
    for (int i = 0; i < points; ++i) {
        err = std::max(err, std::abs(cd(got.s11[size_t(i)]) - e.s11(freq(i))));
        err = std::max(err, std::abs(cd(got.s21[size_t(i)]) - e.s21(freq(i))));
    }
    return err;
}

Sweep measure(Sim& sim, Port& port, const std::string& dut)
{
    EXPECT_EQ(sim.ctl("dut " + dut), "ok");
    return sweep(port, start_hz, step_hz, points);
}

Calibration calibrate(Sim& sim, Port& port)
{
    Sweep o = measure(sim, port, "open"), s = measure(sim, port, "short"), l = measure(sim, port, "load");
    Sweep i = measure(sim, port, "isolation"), t = measure(sim, port, "thru");
    return compute(o, s, l, i, t);
}

// Rounding the readings to integers of about 2^20 counts costs about 1e-6 of the incident
// wave; through the correction that stays within a few times 1e-6.
constexpr double tolerance = 1e-5;

}  // namespace

TEST(SimCalibration, CorrectionRecoversEveryDevice)
{
    Connected c;
    ASSERT_TRUE(c.port.ok());
    Sim& sim = c.sim;
    Port& port = c.port;
    Calibration cal = calibrate(sim, port);
    for (const Expected& e : devices()) {
        SCOPED_TRACE(e.device);
        Sweep raw = measure(sim, port, e.device);
        double corrected = worst(correct(cal, raw), e);
        EXPECT_LT(corrected, tolerance);
        // Uncorrected, the test set shows plainly (directivity alone is about 0.09).
        EXPECT_GT(worst(raw, e), 0.05);
        RecordProperty(e.device.substr(0, 12), std::to_string(corrected));
    }
}

TEST(SimCalibration, RealisticTestSetIsNotFullyCorrected)
{
    Connected c(realistic());
    ASSERT_TRUE(c.port.ok());
    Calibration cal = calibrate(c.sim, c.port);
    for (const Expected& e : devices()) {
        SCOPED_TRACE(e.device);
        double err = worst(correct(cal, measure(c.sim, c.port, e.device)), e);
        // The standards as built and the load match leave errors well above rounding but
        // still small against the uncorrected ones.
        if (e.device.rfind("file", 0) == 0 || e.device == "thru") {
            EXPECT_GT(err, 1e-3);
        }
        EXPECT_LT(err, 0.5);
        RecordProperty(e.device.substr(0, 12), std::to_string(err));
    }
}
