// The trace plot engine: one framed, autoscaled line plot of a sample array in the
// rectangle of the object being executed (me at x_x, y_y), with Y labels on the right, X
// labels (the frequency span) below, and a cursor line with the value at the last place
// the operator pressed the plot.
//
//   MD667 = AutoPlot_Y2(vna_s11_ros, n, 3, 252, 255, 146, obj_bg(), "F", 0, 0, f_start, f_stop);
#pragma once

#include <cstdint>

// Draws the plot of n samples (floats with flags "F"); miny == maxy selects autoscaling;
// minx .. maxx is the X span of the labels. size 0 draws the trace two pixels thick. The
// result is the sample index under the cursor line when the remembered press lies inside
// the panel, else 0.
//
// At most VNA_MAX_POINTS samples are read. Non-finite samples do not count for the scale and
// leave a gap in the trace; fewer than 2 samples draw no trace. Frequency labels that would
// touch each other are shown on every second (third, ...) line only.
uint32_t AutoPlot_Y2(const void* vect, uint32_t n, uint32_t size, int32_t color1, int32_t color2, int32_t color3,
                     int32_t color4, const char* flags, float miny, float maxy, float minx, float maxx);

// Where the cursor line of the next AutoPlot_Y2 call lies: the pointer while it is pressed,
// else the last pressed position (x in the upper 32 bits). A plot that was drawn with the
// same cursor and the same samples would draw the same pixels.
uint64_t AutoPlot_cursor_key();
