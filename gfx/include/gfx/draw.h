// Drawing primitives over the framebuffer: the drawing context, colours and output
// position, pixels, runs, lines, an anti-aliased thick line, rectangles, screen clear,
// rectangle copies and the colour conversion used for blending.
//
// Every operation acts on vid[perif]. Coordinates are pixels from the top-left corner.
// Runs and lines step a linear address y * crtx + x, so a run that passes the right edge
// continues on the next row; nothing is ever written outside the framebuffer.
#pragma once

#include <cstdint>

#include "platform/framebuffer.h"

// One drawing context.
struct vid_vect {
    const uint8_t* v_fontpnt;  // current bitmap font data (read-only)
    int32_t v_fontsize;  // font cell height in pixels
    int32_t v_fontx;     // horizontal font scale
    int32_t v_fonty;     // vertical font scale
    int32_t color0;      // background (paper); 4 makes text and image backgrounds transparent
    int32_t color1;      // foreground (ink); with color0 4 also the transparent key of images
    int32_t v_x0, v_y0;  // pen position
    int32_t v_xcurs, v_ycurs;
    int32_t v_xlocate, v_ylocate;  // output position (top-left of the next glyph or image)
    int32_t v_xstart, v_ystart;    // line start position
    int32_t fontnum;
    int32_t monospaced;
    int32_t fase;
    int16_t index;
    int16_t mode;
    int16_t HDX;  // size of the last measured bitmap file
    int16_t HDY;
};

inline constexpr int VID_CONTEXTS = 8;
extern vid_vect vid[VID_CONTEXTS];
extern int32_t perif;  // index of the active context
// Outline colour for the next formatted text output; -1 none.
extern int32_t OUTLINED;

// color0 = c1 (background), color1 = c2 (foreground).
void v_color(int c1, int c2);
// Output and line-start position.
void v_locate(int x, int y);
// Position in 8-pixel cells: row y from 0, column x from 1 (note the order: row first).
void v_llocate(int y, int x);
void v_outlined(int i);

void v_pixel(uint32_t address, int color);
// Writes c at (x, y) unless c is 4.
void v_wrpixel_xy(int x, int y, int c);
// The pixel at (x, y) as 0x00RRGGBB; 0 outside the framebuffer.
uint32_t v_rdpixel_xyz(int x, int y);

// dx + 1 pixels from (x0, y0) (a negative dx runs to the left).
void v_hline(int x0, int y0, int dx, int color);
// dy + 1 pixels down from (x0, y0) (a negative dy runs upwards).
void v_vline(int x0, int y0, int dy, int color);
// Line from (x0, y0) to (x0 + dx, y0 + dy), both ends drawn.
void v_linec(int x0, int y0, int dx, int dy, int color);
// Anti-aliased line of thickness spessore, thickened toward increasing y (mostly
// horizontal lines) or increasing x (mostly vertical lines); the end point is excluded.
void v_linec_antialias(float x0, float y0, float dx, float dy, uint32_t color, float spessore);
// Outline covering dx + 1 by dy + 1 pixels.
void v_rectc(int x0, int y0, int dx, int dy, int color);
// Filled rectangle covering dx by dy pixels.
void v_rectfillc(int x0, int y0, int dx, int dy, int color);
// Fills the visible screen with color0.
void v_cls();
// A colour value as 0x00RRGGBB: direct colours exactly, palette indices spread without
// scaling (255 gives 0xE0E0C0).
int32_t ToRGB(int color);

// Rectangle copies of dy rows of dx pixels. While color0 is 4, pixels equal to color1 (as
// the rectangle fill converts it) are not copied. A buffer holds the rows one after
// another, dx pixels each, from buffer + offset.
void v_copy(int xs, int ys, int xd, int yd, int dx, int dy);
void v_copy(int xs, int ys, uint32_t* buffer, int offset, int dx, int dy);
void v_copy(const uint32_t* buffer, int offset, int xd, int yd, int dx, int dy);
