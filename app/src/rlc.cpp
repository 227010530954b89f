// The RLC view: judges from the S11 sweep whether port 1 holds a resistor, an inductor or a
// capacitor, and measures it where its reactance is closest to the 50-ohm reference.
#include "app/rlc.h"

#include <algorithm>
#include <cmath>

#include "app/page1.h"
#include "app/traces.h"
#include "forms/object.h"
#include "vna/device.h"
#include "vna/handlers.h"

int8_t rlc, rlc_ok;
float rlc_val, rlc_valx, freq_best;

namespace {

enum : int8_t { RESISTOR = 0, INDUCTOR = 1, CAPACITOR = 2, NO_KIND = -1 };

// One sample of the sweep being judged, taken once so that every step sees the same values.
struct Sample {
    float zr, zx;  // impedance in ohms, as the trace panels compute it (unguarded)
    float im;      // imaginary part of S11
    uint64_t f;    // Hz
    bool usable;   // the impedance is defined: d not tiny, zr and zx finite
};
Sample z[VNA_MAX_POINTS];  // page thread only

float rlc_valold = 0;  // rlc_val at the previous evaluation

void take_sweep(int n) {
    for (int k = 0; k < n; k++) {
        const float re = vna_s11_re[k].load(std::memory_order_relaxed);
        const float im = vna_s11_im[k].load(std::memory_order_relaxed);
        const Impedance i = impedance_of(re, im);
        Sample& s = z[k];
        s.zr = i.re;
        s.zx = i.im;
        s.im = im;
        s.f = vna_frequency[k].load(std::memory_order_relaxed);
        s.usable = i.d >= 0.00000001f && std::isfinite(s.zr) && std::isfinite(s.zx);
    }
}

float mhz(int k) { return float(double(z[k].f) / 1000000); }

// Nanohenries or picofarads of sample k taken as a part of the kind; 0 when it gives none.
float value_of(int k, int8_t kind) {
    const Sample& s = z[k];
    if (!s.usable || s.f == 0) return 0;
    const float w = 6.2831855f * float(s.f);
    float v = 0;
    if (kind == INDUCTOR && s.zx > 0) v = s.zx / w * 1000000000.0f;
    if (kind == CAPACITOR && s.zx < 0) v = -1 / (s.zx * w) * 1000000000000.0f;
    return std::isfinite(v) && v > 0 ? v : 0;
}

// The kind a sample may start the reactive region with.
int8_t reactive_kind(const Sample& s) {
    if (!s.usable || std::fabs(s.zx) > 5000) return NO_KIND;
    if (s.zx > 0.5f) return INDUCTOR;
    if (s.zx < -0.5f && std::fabs(s.im) >= 0.01f) return CAPACITOR;
    return NO_KIND;
}

// Mean of the first samples' resistance; a result only up to 20 kohm.
int judge_resistor(int n) {
    const int m = std::min(10, n - 1);
    float sum = 0;
    for (int k = 1; k <= m; k++) sum += z[k].zr;
    rlc_val = sum / float(m);
    rlc = RESISTOR;
    quale = 1;
    // Written so that a mean that is not a number (an undefined sample) is no result either.
    if (!(rlc_val >= 0 && rlc_val <= 20000)) return 0;
    freq_best = mhz(1);
    return 1;
}

// Last sample of the region that starts at s: the one before the reactance changes sign.
int region_end(int s, int n, int8_t kind) {
    for (int j = s + 1; j < n; j++)
        if (z[j].usable && (kind == INDUCTOR ? z[j].zx <= 0 : z[j].zx >= 0)) return j - 1;
    return n - 1;
}

// The first sample of s .. e with a value whose |reactance| is closest to 50 ohms; -1 for none.
int best_sample(int s, int e, int8_t kind) {
    int best = -1;
    float score = 1e30f;
    for (int k = s; k <= e; k++) {
        if (value_of(k, kind) == 0) continue;
        const float d = std::fabs(std::fabs(z[k].zx) - 50);
        if (d < score) score = d, best = k;
    }
    return best;
}

// Mean of the values of s .. e within 20 percent of v (v itself when it is alone).
float smoothed(float v, int s, int e, int8_t kind) {
    float sum = 0;
    int count = 0;
    for (int j = s; j <= e; j++) {
        const float vj = value_of(j, kind);
        if (vj != 0 && std::fabs(vj - v) <= 0.2f * std::fabs(v)) sum += vj, count++;
    }
    return count > 1 ? sum / float(count) : v;
}

int judge_reactance(int n) {
    int s = 0;
    int8_t kind = NO_KIND;
    while (s < n && (kind = reactive_kind(z[s])) == NO_KIND) s++;
    if (s == n) return 0;
    const int e = region_end(s, n, kind);
    int b = best_sample(s, e, kind);
    if (b < 0) return 0;
    // The value is taken two samples below the best, and never at 6: from 6 and from 8 it is
    // taken at 5. It stays inside the region.
    if (b > 6) b -= 2;
    if (b == 6) b = 5;
    b = std::max(b, s);
    quale = b;
    rlc = kind;
    const float v = value_of(b, kind);
    if (v == 0) return 0;
    rlc_val = smoothed(v, std::max(s, b - 2), std::min(b + 2, e), kind);
    if (kind == CAPACITOR) rlc_val -= 0.1f;
    if (rlc_val < 0.5f) return 0;
    freq_best = mhz(b);
    return 1;
}

}  // namespace

int do_rlc() {
    rlc_val = 0;
    const int n = page_points();
    if (n < 5) return 0;
    take_sweep(n);
    const float r = (z[1].zr + z[2].zr + z[3].zr) / 3, x = (z[1].zx + z[2].zx + z[3].zx) / 3;
    rlc_val = r;
    if (r > std::fabs(x) && r > 0.9f) return judge_resistor(n);
    return judge_reactance(n);
}

void page1_scan_onmousedown() {
    rlc_ok = int8_t(do_rlc());
    if (rlc_ok && rlc_val != 0) {
        // Written so that an undefined value before (not a number) never agrees.
        const float q = rlc_valold / rlc_val;
        if (!(q >= 0.8f && q <= 1.2f)) rlc_ok = 0;
    }
    vna_data_valid = 0;
    rlc_valold = rlc_val;
    vna_post(VNA_CMD_SCAN);
}

bool sweep_to_continue() { return vna_data_valid && vna_command == 0 && vna_state != VNA_BUSY; }

void page1_bitmap3_onentry() {
    me2->visible = uint8_t(rlc_ok);
    if (sweep_to_continue()) page1_scan_onmousedown();
}

void page1_label10_onentry() {
    static const char* const units[3][2] = {{"ohm", "Kohm"}, {"nHe", "uHe"}, {"pF", "nF "}};
    me2->visible = uint8_t(rlc_ok);
    if (rlc < RESISTOR || rlc > CAPACITOR) return;
    const bool large = rlc_val >= 1000;
    rlc_valx = large ? rlc_val / 1000 : rlc_val;
    me->caption = units[rlc][large];
}
