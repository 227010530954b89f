// The RLC view and the SCAN button. The evaluation of a sweep comes with the measurement
// display; SCAN already asks for the sweep.
#include "app/rlc.h"

#include "vna/device.h"
#include "vna/handlers.h"

int8_t rlc, rlc_ok;
float rlc_val, rlc_valx, freq_best;

namespace {
float rlc_valold = 0;  // rlc_val at the previous evaluation
}

void page1_scan_onmousedown() {
    vna_data_valid = 0;
    rlc_valold = rlc_val;
    vna_post(VNA_CMD_SCAN);
}

void page1_bitmap3_onentry() {}
void page1_label10_onentry() {}
