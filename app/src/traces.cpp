// The trace panels and the marker. The S11 and S21 panels recompute their derived arrays
// from the corrected samples each time they are drawn and plot the chosen one; a press on
// a plot or on the slider bar moves the marker, whose values the readouts show.
#include "app/traces.h"

#include <algorithm>
#include <cmath>

#include "app/autoplot.h"
#include "app/page1.h"
#include "app/rlc.h"
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

// A press on a plot: the marker takes the plot's cursor index, the slider follows.
void mark(int32_t index) {
    quale = index;
    quale = marker_index();
    dove = marker_position(quale, page_points(), page1->panel11->width);
}

}  // namespace

void s11_traces(int n) {
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

void s21_traces(int n) {
    // Each sample read once: the window means see one value of it while a sweep writes.
    static float re[VNA_MAX_POINTS], im[VNA_MAX_POINTS];
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

void page1_panel8_onentry() {
    me->height = MB22 == LOWER_HIDDEN ? 399 : 188;
    s11_traces(page_points());
    if (const float* trace = s11_trace(MB21)) MD667 = plot(trace);
}

void page1_panel9_onentry() {
    me2->visible = MB22 != LOWER_HIDDEN;
    if (!me2->visible) return;
    if (const float* trace = s11_trace(MB22)) MD668 = plot(trace);
}

void page1_panel16_onentry() {
    s21_traces(page_points());
    MD667 = plot(vna_s21_fase);
}

void page1_panel17_onentry() {
    if (!vna_data_valid.load()) return;
    MD668 = plot(vna_s21_db);
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
