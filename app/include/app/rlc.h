// The RLC view: the value of a resistor, inductor or capacitor on port 1, evaluated from
// the last S11 sweep, and the SCAN button that evaluates and asks for the next sweep.
#pragma once

#include <cstdint>

extern int8_t rlc;        // kind of the last result: 0 resistor, 1 inductor, 2 capacitor
extern float rlc_val;     // ohms, nanohenries or picofarads by rlc
extern int8_t rlc_ok;     // 1 when the last result agrees with the one before
extern float rlc_valx;    // rlc_val scaled for the value field
extern float freq_best;   // frequency of the sample used, MHz

// SCAN: clears vna_data_valid and posts a sweep under the busy rule.
void page1_scan_onmousedown();
void page1_bitmap3_onentry();
void page1_label10_onentry();
