// Error terms from the five standards, and the correction of a sweep.
#include "vna/calibration.h"

#include <complex>
#include <cstring>

VNA_COMPLEX cal_open[VNA_MAX_POINTS], cal_short[VNA_MAX_POINTS], cal_load[VNA_MAX_POINTS];
VNA_COMPLEX cal_isol[VNA_MAX_POINTS], cal_thru[VNA_MAX_POINTS];
VNA_COMPLEX cal_ed[VNA_MAX_POINTS], cal_es[VNA_MAX_POINTS], cal_er[VNA_MAX_POINTS];

std::atomic<int> have_open{0}, have_short{0}, have_load{0}, have_isol{0}, have_thru{0};
std::atomic<int> vna_cal_valid{0};

namespace {

std::atomic<int> clear_requested{0};

void clear_flags() {
    for (auto* flag : {&have_open, &have_short, &have_load, &have_isol, &have_thru}) flag->store(0);
    vna_cal_valid.store(0);
}

using cd = std::complex<double>;

constexpr double TINY = 1e-30;

// Rounds to float. The empty asm makes the rounded value opaque: without it GCC 12's SLP
// vectorizer at -O2 reuses the unrounded double where a just-rounded source match is
// widened again, and the reflection tracking comes out different in the last bit.
float round_float(double v) {
    float f = float(v);
    asm volatile("" : "+m"(f));
    return f;
}

cd wide(const VNA_COMPLEX& v) { return {double(v.re), double(v.im)}; }
VNA_COMPLEX narrow(const cd& v) { return {round_float(v.real()), round_float(v.imag())}; }

// Quotient written out, so that the result does not depend on how the library divides.
cd divide(const cd& x, const cd& a) {
    const double m = a.real() * a.real() + a.imag() * a.imag();
    return {(x.real() * a.real() + x.imag() * a.imag()) / m,
            (x.imag() * a.real() - x.real() * a.imag()) / m};
}

cd multiply(const cd& x, const cd& y) {
    return {x.real() * y.real() - x.imag() * y.imag(), x.real() * y.imag() + x.imag() * y.real()};
}

double norm(const cd& v) { return v.real() * v.real() + v.imag() * v.imag(); }

}  // namespace

void vna_error_terms(const VNA_COMPLEX& open_, const VNA_COMPLEX& short_, const VNA_COMPLEX& load_,
                     VNA_COMPLEX& es, VNA_COMPLEX& er) {
    const cd load = wide(load_);
    const cd open = wide(open_) - load;
    const cd short_d = wide(short_) - load;
    if (norm(open - short_d) < TINY) {
        es = VNA_COMPLEX{0.0f, 0.0f};
        er = narrow(open);
    } else {
        es = narrow(divide(open + short_d, open - short_d));
        er = narrow(multiply(open, cd(1.0, 0.0) - wide(es)));
    }
}

void vna_clear_calibration() {
    clear_flags();
    for (VNA_COMPLEX* a : {cal_open, cal_short, cal_load, cal_isol, cal_thru, cal_ed, cal_es, cal_er})
        std::memset(a, 0, sizeof(VNA_COMPLEX) * VNA_MAX_POINTS);
}

void vna_request_clear_calibration() {
    clear_requested.store(1);
    clear_flags();
}

void vna_clear_calibration_if_requested(bool take) {
    if (take ? clear_requested.exchange(0) : clear_requested.load()) vna_clear_calibration();
}

int vna_compute_calibration() {
    if (!have_open.load() || !have_short.load() || !have_load.load() || !have_isol.load() ||
        !have_thru.load()) {
        vna_status.set("Incomplete calibration");
        return 0;
    }
    const unsigned points = vna_points.load();
    for (unsigned i = 0; i < points && i < VNA_MAX_POINTS; i++) {
        cal_ed[i] = cal_load[i];
        vna_error_terms(cal_open[i], cal_short[i], cal_load[i], cal_es[i], cal_er[i]);
    }
    vna_cal_valid.store(1);
    vna_status.set("Calibration active");
    return 1;
}

void vna_apply_correction(unsigned points) {
    constexpr auto relaxed = std::memory_order_relaxed;
    const bool valid = vna_cal_valid.load() != 0;
    for (unsigned i = 0; i < points && i < VNA_MAX_POINTS; i++) {
        const float s11_re = vna_s11_raw_re[i].load(relaxed), s11_im = vna_s11_raw_im[i].load(relaxed);
        const float s21_re = vna_s21_raw_re[i].load(relaxed), s21_im = vna_s21_raw_im[i].load(relaxed);
        if (!valid) {
            vna_s11_re[i].store(s11_re, relaxed);
            vna_s11_im[i].store(s11_im, relaxed);
            vna_s21_re[i].store(s21_re, relaxed);
            vna_s21_im[i].store(s21_im, relaxed);
            continue;
        }
        const cd m = cd(s11_re, s11_im) - wide(cal_ed[i]);
        const cd d = multiply(m, wide(cal_es[i])) + wide(cal_er[i]);
        const VNA_COMPLEX s11 = norm(d) < TINY ? VNA_COMPLEX{0.0f, 0.0f} : narrow(divide(m, d));
        const cd isol = wide(cal_isol[i]);
        const cd t = wide(cal_thru[i]) - isol;
        const VNA_COMPLEX s21 =
            norm(t) < TINY ? VNA_COMPLEX{0.0f, 0.0f} : narrow(divide(cd(s21_re, s21_im) - isol, t));
        vna_s11_re[i].store(s11.re, relaxed);
        vna_s11_im[i].store(s11.im, relaxed);
        vna_s21_re[i].store(s21.re, relaxed);
        vna_s21_im[i].store(s21.im, relaxed);
    }
}
