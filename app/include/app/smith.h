// The Smith chart of the S11 tab: the chart image bitmap1 with the S11 curve and the
// marker drawn over it, and a press on the chart that moves the marker.
//
//   page1_panel7_onentry();               // MD10, MD11: centre of the unit circle, MD12 radius
//   draw_s11_smith(MD10, MD11, MD12);     // curve, start square and marker cross
//   SmithPoint p = smith_map(0.5f, 0.5f, 300, 300, 191);   // {395, 205}
//
// bitmap1's entry handler saves the clean chart from the screen once (from its fifth
// drawing on, when the image is on the screen) and copies it back before each redraw of
// the curve: after a valid sweep when its samples, the marker or the chart's place changed,
// when the marker moved, and after the image was painted over the curve.
#pragma once

#include <cstdint>

#include "vna/device.h"

// Chart centre (absolute screen x, y) and radius of the unit circle in pixels.
extern int32_t MD10, MD11, MD12;
// bitmap1's x, y, width and height at its last drawing, and how often it was drawn.
extern int32_t MD1, MD2, MD3, MD4, MD5;
// Screen position of every curve point drawn, by sample number (the last sample's is not
// stored: it starts no segment).
extern int32_t px[VNA_MAX_POINTS], py[VNA_MAX_POINTS];

struct SmithPoint {
    int32_t x, y;
};
// The screen position of the reflection re + j im on a chart of centre (xc, yc) and radius
// r: positive imaginary parts go up, fractions of a pixel are cut toward the centre. A
// reflection outside the unit circle (a near-singular calibration, garbage from the device)
// is pulled onto the circle in its own direction; a not-a-number one has no direction and
// lies at the centre.
SmithPoint smith_map(float re, float im, int32_t xc, int32_t yc, int32_t r);
// Draws the curve of the S11 samples of the last sweep (yellow, the first sample marked by
// a square) and a red cross at the marker sample; stores the points in px, py.
void draw_s11_smith(int32_t xc, int32_t yc, int32_t radius);
// The sample whose stored point lies nearest to the screen point (x, y), the lower index on
// a tie; only samples that start a segment count. 0 when none lies within 1000 pixels.
int32_t smith_nearest(int32_t x, int32_t y);

void page1_panel7_onentry();
void page1_bitmap1_onentry();
void page1_bitmap1_onmousepress();
