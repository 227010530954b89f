// The RLC view: synthetic sweeps judged one SCAN after the other (the simulator's 10 pF
// capacitor through the whole program: tests/acceptance/window.sh).
#include "program_harness.h"

namespace {

using namespace apptest;

// n points from 1 MHz in steps of `step` Hz of a resistor ('R', ohms), inductor ('L', H) or
// capacitor ('C', F), shorts below sample `from`; the trace arrays another's.
void sweep_of(int n, int kind, double v, double step = 2e6, int from = 0) {
    vna_points = uint16_t(n);
    for (int k = 0; k < VNA_MAX_POINTS; k++) {
        const double f = 1e6 + k * step;
        const double x = kind == 'L' ? 2 * M_PI * f * v : -1 / (2 * M_PI * f * v);
        const auto z = kind == 'R' ? std::complex<double>(v) : std::complex<double>(0, x);
        const auto g = k < from ? -1.0 : (z - 50.0) / (z + 50.0);
        vna_frequency[k] = uint64_t(f);
        vna_s11_re[k] = float(g.real());
        vna_s11_im[k] = float(g.imag());
        vna_z_re[k] = 2200;
    }
}

TEST(Rlc, JudgesSyntheticSweepsAndTheirAgreement) {
    constexpr double L50 = 50 / (2 * M_PI * 1e6);  // 50 ohms at 1 MHz
    struct Case {
        int n, kind;
        double v;
        int quale, ok;  // quale -1: no result; ok: within 20 percent of the row before
        float shown = 0;
        const char* unit = nullptr;
        double step = 2e6;
        int from = 0;
    } const cases[] = {
        {4, 'R', 100, -1, 0},  // too few points; forgets the value of earlier tests
        {401, 'R', 100, 1, 0, 100, "ohm"},
        {401, 'R', 110, 1, 1, 110, "ohm"},
        {401, 'R', 143, 1, 0, 143, "ohm"},
        {5000, 'R', 2200, 1, 0, 2.2f, "Kohm"},
        {401, 'C', 10e-12, 157, 0, 9.9f, "pF"},  // |X| nearest 50 at 159
        {401, 'C', 2200e-12, 0, 0, 2.1999f, "nF "},
        {401, 'L', 100e-9, 37, 0, 100, "nHe"},
        {401, 'L', 1.5e-6, 2, 0, 1.5f, "uHe"},
        // 50 ohms at 6, at 9 after shorts up to 8, and at 8
        {401, 'L', L50 / 7, 5, 0, 0, nullptr, 1e6},
        {401, 'L', L50 / 10, 8, 0, 0, nullptr, 1e6, 8},
        {401, 'L', L50 / 9, 5, 1, 0, nullptr, 1e6},
    };
    const int state = vna_state.exchange(VNA_BUSY);  // SCAN's sweep is refused
    OBJ label{};
    STATUS status{};
    me = &label;
    me2 = &status;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(1, char(c.kind)) + std::to_string(c.v));
        sweep_of(c.n, c.kind, c.v, c.step, c.from);
        vna_data_valid = 1;
        page1_scan_onmousedown();
        EXPECT_EQ(std::pair(int(rlc_ok), vna_data_valid.load()), std::pair(c.ok, 0));
        ASSERT_EQ(do_rlc(), int(c.quale >= 0));
        if (c.quale < 0) continue;
        const double value = c.kind == 'R' ? c.v : c.kind == 'L' ? c.v * 1e9 : c.v * 1e12 - 0.1;
        EXPECT_EQ(std::pair(int(rlc), quale), std::pair(c.kind == 'R' ? 0 : c.kind == 'L' ? 1 : 2, c.quale));
        EXPECT_NEAR(rlc_val, value, 1e-4 * value);
        EXPECT_NEAR(freq_best, vna_frequency[c.quale] / 1e6, 1e-3);
        page1_label10_onentry();
        if (!c.unit) continue;
        EXPECT_STREQ(label.caption, c.unit);
        EXPECT_NEAR(rlc_valx, c.shown, 1e-4 * c.shown);
    }
    sweep_of(401, 'R', 100);  // an open among the resistor's samples: no number shown
    vna_s11_re[5] = 1;
    vna_s11_im[5] = 0;
    EXPECT_EQ(do_rlc(), 0);
    vna_data_valid = 1;  // the task stores it a moment before it leaves its busy state
    page1_bitmap3_onentry();
    EXPECT_EQ(vna_data_valid.load(), 1) << "evaluated, and its sweep refused";
    vna_state = state;
}

}  // namespace
