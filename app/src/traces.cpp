// The trace panels and the marker. The S11 and S21 panels recompute their derived arrays
// from the corrected samples when these changed and plot the chosen one when anything it
// shows changed; a press on a plot or on the slider bar moves the marker, whose values the
// readouts show.
#include "app/traces.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <utility>
#include <vector>

#include "app/autoplot.h"
#include "app/page1.h"
#include "app/rlc.h"
#include "forms/page.h"
#include "forms/widgets.h"

float vna_s11_mag[VNA_MAX_POINTS], vna_s11_fase[VNA_MAX_POINTS], vna_s11_db[VNA_MAX_POINTS],
    vna_s11_ros[VNA_MAX_POINTS], vna_z_re[VNA_MAX_POINTS], vna_z_im[VNA_MAX_POINTS];
float vna_s21_mag[VNA_MAX_POINTS], vna_s21_fase[VNA_MAX_POINTS], vna_s21_db[VNA_MAX_POINTS];

int8_t MB21, MB22;
int32_t quale, dove, MD667, MD668;
float ffreq;

namespace {

constexpr int8_t LOWER_HIDDEN = 4;  // MB22: panel9 hidden, panel8 over both places
constexpr float MAX_ROS = 1000;
constexpr float NO_LEVEL_DB = -120;

// Captions of the plot titles and of the trace choice buttons, by trace code.
const char* const PLOT_TITLES[] = {"S11_MAG", "S11_PHASE", "S11_DB", "ROS", "ROS"};
const char* const CHOICE_TEXTS[] = {"MAG ", "PHASE", "DB  ", "ROS ", "----"};

// The S11 array of a trace code, or null for a code that plots nothing.
const float* s11_trace(int code) {
    switch (code) {
    case 0: return vna_s11_mag;
    case 1: return vna_s11_fase;
    case 2: return vna_s11_db;
    case 3: return vna_s11_ros;
    default: return nullptr;
    }
}

// Plots a trace of the sweep in the current panel; the sample index under its cursor.
int32_t plot(const float* trace) {
    return int32_t(AutoPlot_Y2(trace, uint32_t(page_points()), 3, 252, 255, 146, obj_bg(), "F", 0, 0,
                               f_start.load(), f_stop.load()));
}

void caption_by(int code, const char* const* texts, int count) {
    if (code >= 0 && code < count) me->caption = texts[code];
}

// The frequency span of the plots' labels, as one input.
uint64_t span_bits() {
    return uint64_t(std::bit_cast<uint32_t>(f_start.load())) << 32 | std::bit_cast<uint32_t>(f_stop.load());
}

// One sample as a word: its real part above, its imaginary part below.
inline uint64_t sample_word(const std::atomic<float>* re, const std::atomic<float>* im, int k) {
    constexpr auto relaxed = std::memory_order_relaxed;
    return uint64_t(std::bit_cast<uint32_t>(re[k].load(relaxed))) << 32 | std::bit_cast<uint32_t>(im[k].load(relaxed));
}

// One step of a lane: the word mixed in, multiplied by an odd constant (no two words give
// the same lane), the high bits folded down.
inline uint64_t mix(uint64_t lane, uint64_t word, uint64_t k) {
    lane = (lane ^ word) * k;
    return lane ^ lane >> 29;
}

uint64_t fingerprint(const std::atomic<float>* re, const std::atomic<float>* im, int n) {
    n = std::clamp(n, 0, VNA_MAX_POINTS);
    // Four independent lanes in registers keep the multiplications pipelined: the page takes
    // this on every pass.
    constexpr uint64_t K1 = 0x9e3779b97f4a7c15u, K2 = 0xc2b2ae3d27d4eb4fu;
    uint64_t a = K1 ^ uint64_t(n), b = K2, c = K1 + K2, d = K2 - K1;
    int k = 0;
    for (; k + 3 < n; k += 4) {
        a = mix(a, sample_word(re, im, k), K2);
        b = mix(b, sample_word(re, im, k + 1), K1);
        c = mix(c, sample_word(re, im, k + 2), K2);
        d = mix(d, sample_word(re, im, k + 3), K1);
    }
    if (k < n) a = mix(a, sample_word(re, im, k), K1);
    if (k + 1 < n) b = mix(b, sample_word(re, im, k + 1), K2);
    if (k + 2 < n) c = mix(c, sample_word(re, im, k + 2), K1);
    return mix(mix(mix(a, b, K1), c, K2), d, K1) ^ (b >> 17);
}

// The derived arrays are recomputed only when the samples they come from changed; each
// recomputation is numbered, and the plots of a derived array draw from that number.
struct Derived {
    uint64_t samples = 0;
    int n = -1;
    uint64_t generation = 0;
};
Derived s11_derived, s21_derived;

// The drawing state of each plot object: one handler may serve several objects (panel8's
// also runs the off-screen panel15), each with its own place and size.
PanelDrawn& drawn_of(const OBJ* object) {
    static std::vector<std::pair<const OBJ*, PanelDrawn>> states;
    for (auto& [o, state] : states)
        if (o == object) return state;
    return states.emplace_back(object, PanelDrawn{}).second;
}

// A press on a plot: the marker takes the plot's cursor index, the slider follows.
void mark(int32_t index) {
    quale = index;
    quale = marker_index();
    dove = marker_position(quale, page_points(), page1->panel11->width);
}

}  // namespace

void s11_traces(int n) {
    s11_derived.generation++;
    n = std::min(n, VNA_MAX_POINTS);
    for (int k = 0; k < n; k++) {
        const float re = vna_s11_re[k].load(), im = vna_s11_im[k].load();
        const float mag = std::sqrt(re * re + im * im);
        vna_s11_mag[k] = mag;
        vna_s11_fase[k] = std::atan2(im, re) * 180 / 3.1415927f;
        vna_s11_ros[k] = mag < 1 ? std::min((1 + mag) / (1 - mag), MAX_ROS) : MAX_ROS;
        vna_s11_db[k] = mag > 0 ? 20 * std::log10(mag) : NO_LEVEL_DB;
        const Impedance z = impedance_of(re, im);
        vna_z_re[k] = z.re;
        vna_z_im[k] = z.im;
    }
}

namespace {

// A fingerprint taken once per pass: the S11 panel, its off-screen twin and the Smith chart
// all ask for the S11 one. Samples that change later in the pass are seen on the next.
struct PassFingerprint {
    uint16_t loop = 0;
    int n = -1;
    uint64_t value = 0;
    uint64_t of(const std::atomic<float>* re, const std::atomic<float>* im, int count) {
        if (loop != obj_loop || n != count) {
            value = fingerprint(re, im, count);
            loop = obj_loop;
            n = count;
        }
        return value;
    }
};
PassFingerprint s11_pass, s21_pass;

}  // namespace

uint64_t s11_fingerprint(int n) { return s11_pass.of(vna_s11_re, vna_s11_im, n); }
uint64_t s21_fingerprint(int n) { return s21_pass.of(vna_s21_re, vna_s21_im, n); }

bool PanelDrawn::must_draw(std::initializer_list<uint64_t> now) {
    uint64_t current[INPUTS] = {};
    std::copy_n(now.begin(), std::min<size_t>(now.size(), INPUTS), current);
    const bool same = drawn && uint16_t(loop + 1) == obj_loop && std::equal(current, current + INPUTS, inputs) &&
                      !page_refresh && !_se_dentro();
    std::copy_n(current, INPUTS, inputs);
    loop = obj_loop;
    drawn = true;
    return !same;
}

uint64_t panel_geometry() {
    return (uint64_t(uint16_t(x_x)) << 48 | uint64_t(uint16_t(y_y)) << 32 | uint64_t(uint16_t(me->width)) << 16 |
            uint16_t(me->height)) ^
           uint64_t(me->rgb_color) * 0x9e3779b97f4a7c15u;
}

void s21_traces(int n) {
    // Each sample read once: the window means see one value of it while a sweep writes.
    static float re[VNA_MAX_POINTS], im[VNA_MAX_POINTS];
    s21_derived.generation++;
    n = std::min(n, VNA_MAX_POINTS);
    for (int k = 0; k < n; k++) {
        re[k] = vna_s21_re[k].load();
        im[k] = vna_s21_im[k].load();
        const float mag = std::sqrt(re[k] * re[k] + im[k] * im[k]);
        vna_s21_mag[k] = mag;
        vna_s21_db[k] = mag > 1e-20f ? 20 * std::log10(mag) : NO_LEVEL_DB;
    }
    // The angle of the complex mean, not the mean of angles: no jump across +-180 degrees.
    for (int k = 0; k < n; k++) {
        const int first = std::max(k - 2, 0), last = std::min(k + 2, n - 1);
        float sum_re = 0, sum_im = 0;
        for (int j = first; j <= last; j++) {
            sum_re += re[j];
            sum_im += im[j];
        }
        const float count = float(last - first + 1);
        vna_s21_fase[k] = std::atan2(sum_im / count, sum_re / count) * 57.29578f;
    }
}

int32_t slider_position(int mouse_x, int x_x, int width) {
    const int32_t position = mouse_x - x_x + 20;
    if (position < 0) return 0;
    return position >= width - 11 ? width - 12 : position;
}

int32_t slider_index(int32_t position, int n, int width) {
    if (n < 1 || width <= 12) return 0;
    return (n - 1) * position / (width - 12);
}

int32_t marker_position(int32_t index, int n, int width) { return n > 0 ? (width - 8) * index / n : 0; }

float readout_value(float v, float undefined) {
    if (std::isnan(v)) return undefined;
    return std::clamp(v, -READOUT_LIMIT, READOUT_LIMIT);
}

namespace {

// The derived arrays of the samples now, recomputed only when these changed.
template <void (*derive)(int), uint64_t (*samples_of)(int)>
void derive_if_changed(Derived& d, int n) {
    const uint64_t samples = samples_of(n);
    if (samples == d.samples && n == d.n) return;
    derive(n);
    d.samples = samples;
    d.n = n;
}

// Plots trace when anything it draws from changed, or the panel was painted over.
void plot_if_changed(const Derived& d, int code, const float* trace, int32_t& cursor_index) {
    if (!trace) return;
    if (!drawn_of(me).must_draw({d.generation, uint64_t(page_points()), uint64_t(code), span_bits(),
                                 panel_geometry(), AutoPlot_cursor_key()}))
        return;
    cursor_index = plot(trace);
    // Its captions (later objects over it) draw again over the new plot in this pass.
    repaint_area_this_pass(obj_num, x_x, y_y);
}

}  // namespace

void page1_panel8_onentry() {
    me->height = MB22 == LOWER_HIDDEN ? 399 : 188;
    derive_if_changed<s11_traces, s11_fingerprint>(s11_derived, page_points());
    plot_if_changed(s11_derived, MB21, s11_trace(MB21), MD667);
}

void page1_panel9_onentry() {
    me2->visible = MB22 != LOWER_HIDDEN;
    if (!me2->visible) return drawn_of(me).forget();
    plot_if_changed(s11_derived, MB22, s11_trace(MB22), MD668);
}

void page1_panel16_onentry() {
    derive_if_changed<s21_traces, s21_fingerprint>(s21_derived, page_points());
    plot_if_changed(s21_derived, 0, vna_s21_fase, MD667);
}

void page1_panel17_onentry() {
    if (!vna_data_valid.load()) return drawn_of(me).forget();
    plot_if_changed(s21_derived, 0, vna_s21_db, MD668);
    // Continuous measuring: each completed sweep asks for the next.
    if (contin.load() && sweep_to_continue()) page1_scan_onmousedown();
}

void page1_panel8_onmousepress() { mark(MD667); }
void page1_panel16_onmousepress() { mark(MD667); }
void page1_panel9_onmousepress() { mark(MD668); }
void page1_panel17_onmousepress() { mark(MD668); }

void page1_panel11_onmousepress() {
    dove = slider_position(mouse_x, x_x, me->width);
    quale = slider_index(dove, page_points(), me->width);
}

void page1_panel12_onentry() {
    // For its first 30 drawings the thumb stays at its declared height.
    static int32_t fase = 0;
    if (++fase > 30) {
        fase = 31;
        me->top = 2;
    }
    me->left = int16_t(dove);
}

void page1_panel13_onmousedown() { MB21 = int8_t((MB21 + 1) % 4); }
void page1_panel14_onmousedown() { MB22 = int8_t((MB22 + 1) % 5); }

void page1_label2_onentry() { caption_by(MB21, PLOT_TITLES, 4); }
void page1_label3_onentry() { caption_by(MB22, PLOT_TITLES, 5); }
void page1_label5_onentry() { caption_by(MB21, CHOICE_TEXTS, 4); }
void page1_label6_onentry() { caption_by(MB22, CHOICE_TEXTS, 5); }

void page1_edit4_onentry() { ffreq = float(double(vna_frequency[marker_index()].load()) / 1000000); }
