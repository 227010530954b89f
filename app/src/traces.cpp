// The trace panels and the marker. The panels' drawing comes with the measurement display;
// until then the handlers keep their places in the page and do nothing.
#include "app/traces.h"

float vna_s11_mag[VNA_MAX_POINTS], vna_s11_fase[VNA_MAX_POINTS], vna_s11_db[VNA_MAX_POINTS],
    vna_s11_ros[VNA_MAX_POINTS], vna_z_re[VNA_MAX_POINTS], vna_z_im[VNA_MAX_POINTS];
float vna_s21_mag[VNA_MAX_POINTS], vna_s21_fase[VNA_MAX_POINTS], vna_s21_db[VNA_MAX_POINTS];

int8_t MB21, MB22;
int32_t quale, dove, MD667, MD668;
float ffreq;

void page1_panel8_onentry() {}
void page1_panel9_onentry() {}
void page1_panel16_onentry() {}
void page1_panel17_onentry() {}
void page1_panel8_onmousepress() {}
void page1_panel9_onmousepress() {}
void page1_panel16_onmousepress() {}
void page1_panel17_onmousepress() {}
void page1_panel11_onmousepress() {}
void page1_panel12_onentry() {}
void page1_panel13_onmousedown() {}
void page1_panel14_onmousedown() {}
void page1_label2_onentry() {}
void page1_label3_onentry() {}
void page1_label5_onentry() {}
void page1_label6_onentry() {}
void page1_edit4_onentry() {}
