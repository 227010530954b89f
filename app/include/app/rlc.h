// The RLC view: the value of a resistor, inductor or capacitor on port 1, judged from the
// last S11 sweep, and the SCAN button that evaluates it and asks for the next sweep.
//
//   if (do_rlc()) show(rlc, rlc_val, freq_best);   // one evaluation of the samples
//   page1_scan_onmousedown();    // evaluates, judges the agreement (rlc_ok), posts SCAN
//
// While the RLC tab is shown, bitmap3's entry handler evaluates every completed sweep and
// posts the next one, so the view measures continuously.
#pragma once

#include <cstdint>

extern int8_t rlc;        // kind of the last result: 0 resistor, 1 inductor, 2 capacitor
extern float rlc_val;     // ohms, nanohenries or picofarads by rlc
extern int8_t rlc_ok;     // 1 when the last result agrees with the one before
extern float rlc_valx;    // rlc_val scaled for the value field
extern float freq_best;   // frequency of the sample used, MHz

// Evaluates the corrected S11 samples of the sweep (impedances computed from them here, not
// taken from the trace arrays, which may still hold the sweep before): 1 with rlc, rlc_val,
// freq_best and the marker quale set to the sample used; 0 without a result (fewer than 5
// points, a resistance beyond 20 kohm, no reactance, a value below 0.5), when rlc, rlc_val
// and quale may hold intermediate values.
int do_rlc();

// True when a completed sweep waits and the device command task can take the next: the task
// marks the sweep valid a moment before it leaves its busy state, and a SCAN posted then
// would be refused and end continuous measuring.
bool sweep_to_continue();
// SCAN: evaluates, sets rlc_ok when the result is within 20 percent of the previous
// evaluation's, clears vna_data_valid and posts a sweep under the busy rule.
void page1_scan_onmousedown();
// The result picture: shown while rlc_ok; evaluates each completed sweep (vna_data_valid)
// as soon as the device command task is idle, and posts the next.
void page1_bitmap3_onentry();
// The unit beside the value: rlc_valx and the caption by kind, values from 1000 on in the
// larger unit ("ohm"/"Kohm", "nHe"/"uHe", "pF"/"nF ").
void page1_label10_onentry();
