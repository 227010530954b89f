// The trace panels and the marker: the derived trace arrays that the S11 and S21 panels
// compute from the corrected samples, the trace choice of the two S11 plots, and the
// marker (sample index, slider position, frequency) that the readouts show.
//
//   s11_traces(page_points());        // vna_s11_mag ... vna_z_im from vna_s11_re/im
//   quale = slider_index(dove, page_points(), page1->panel11->width);
//   edit8 shows readout_value(vna_z_re[quale], READOUT_LIMIT)
#pragma once

#include <cstdint>
#include <initializer_list>

#include "vna/device.h"

extern float vna_s11_mag[VNA_MAX_POINTS], vna_s11_fase[VNA_MAX_POINTS], vna_s11_db[VNA_MAX_POINTS],
    vna_s11_ros[VNA_MAX_POINTS], vna_z_re[VNA_MAX_POINTS], vna_z_im[VNA_MAX_POINTS];
extern float vna_s21_mag[VNA_MAX_POINTS], vna_s21_fase[VNA_MAX_POINTS], vna_s21_db[VNA_MAX_POINTS];

// Trace of panel8 (0 magnitude, 1 phase, 2 dB, 3 standing-wave ratio) and of panel9 (the
// same, 4 = hidden).
extern int8_t MB21, MB22;
// Marker: sample index, slider position in pixels, frequency in MHz; the cursor indices the
// plot engine last returned for the upper and the lower plot.
extern int32_t quale, dove, MD667, MD668;
extern float ffreq;

// The derived arrays of samples 0 .. n - 1 (n bounded to the arrays): S11 magnitude,
// phase, dB, standing-wave ratio (at most 1000) and impedance (50 ohms; Gamma = 1 gives
// 0/0, left as it is); S21 magnitude, dB, and the phase of the mean of samples k - 2 ..
// k + 2 inside the sweep.
void s11_traces(int n);
void s21_traces(int n);

// A fingerprint of the corrected samples 0 .. n - 1 of S11 (of S21): two sweeps that differ
// in any sample bit differ in it (up to a 2^-64 chance). Cheap next to deriving the traces.
uint64_t s11_fingerprint(int n);
uint64_t s21_fingerprint(int n);

// What a panel or chart was last drawn from. Its entry handler draws on every pass; when
// nothing it draws from changed since the previous pass and nothing was painted over it,
// the screen already shows what it would draw, and it may skip the drawing.
struct PanelDrawn {
    static constexpr int INPUTS = 10;
    uint64_t inputs[INPUTS] = {};
    uint16_t loop = 0;
    bool drawn = false;

    // True when the panel must draw in this pass: never drawn, not run in the previous
    // pass (a tab switch, a test calling the handler by itself), other inputs (unused
    // ones 0), the page redrawn, or a repaint region over the panel. Records the inputs
    // and the pass either way: call it from the entry handler and draw when it says so.
    bool must_draw(std::initializer_list<uint64_t> now);
    void forget() { drawn = false; }
};
// Where and how big the object being executed is (x_x, y_y, width, height) and its colour:
// an input of every panel.
uint64_t panel_geometry();

// The slider bar of width pixels whose left edge is at x_x: the slider position of a press
// at mouse_x, and the sample index of a position (0 without samples).
int32_t slider_position(int mouse_x, int x_x, int width);
int32_t slider_index(int32_t position, int n, int width);
// The slider position that shows sample index of n on a bar of width pixels.
int32_t marker_position(int32_t index, int n, int width);

// What a marker readout shows of a value: limited to +-READOUT_LIMIT, so that its text
// fits the 8-character field; not-a-number shows `undefined`. The impedance of an open is
// 0/0 in both parts: its resistance shows READOUT_LIMIT, its reactance 0.
inline constexpr float READOUT_LIMIT = 99999.0f;
float readout_value(float v, float undefined = 0);

// The impedance of a reflection re + j·im against 50 ohms, and d = |1 - reflection|², which
// is 0 for an open (the quotients then follow float division: infinite or not a number).
struct Impedance {
    float re, im, d;
};
inline Impedance impedance_of(float re, float im) {
    const float d = (1 - re) * (1 - re) + im * im;
    return {50 * (1 - re * re - im * im) / d, 50 * 2 * im / d, d};
}

void page1_panel8_onentry();
void page1_panel9_onentry();
void page1_panel16_onentry();
void page1_panel17_onentry();
void page1_panel8_onmousepress();
void page1_panel9_onmousepress();
void page1_panel16_onmousepress();
void page1_panel17_onmousepress();
void page1_panel11_onmousepress();
void page1_panel12_onentry();
void page1_panel13_onmousedown();
void page1_panel14_onmousedown();
void page1_label2_onentry();
void page1_label3_onentry();
void page1_label5_onentry();
void page1_label6_onentry();
void page1_edit4_onentry();
