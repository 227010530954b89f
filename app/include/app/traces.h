// The trace panels and the marker: the derived trace arrays that the S11 and S21 panels
// compute from the corrected samples, the trace choice of the two S11 plots, and the
// marker (sample index, slider position, frequency) that the readouts show.
#pragma once

#include <cstdint>

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
