// Stored images and BMP files, drawn at the output position of the active drawing context.
//
// A stored image is a byte array: 0, 0, the pixel coding (2, 16, 32 or 255), 0, then width,
// height and the number of data bytes that follow (16-bit little-endian each), then the
// run-length-coded pixels, which fill rows left to right and continue across row ends:
//   2    byte u: (u >> 1) + 1 pixels of color0 (bit 0 clear) or color1 (bit 0 set)
//   16   byte u: (u >> 4) + 1 pixels of the palette index IMAGE_COLORS16[u & 15]
//   32   word w: bit 15 set: the next word is repeated (w & 0x3FFF) + 1 times; else one
//        pixel of the 15-bit colour w (red bits 14-10, green 9-5, blue 4-0)
//   255  byte u: 33 to 63: the next byte is repeated (u & 31) + 1 times; else one pixel
//        of palette index u
// The codes 4 (not drawn) and 32 (inverts) are reserved in codings 32 and 255. While
// color0 is 4, pixels whose code equals color1 are skipped (codings 16, 32, 255).
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int IMAGE_HEADER = 10;
extern const uint8_t IMAGE_COLORS16[16];

// What a walk through a stored image found.
struct IMAGE_INFO {
    int coding;
    int width;
    int height;
    int data_bytes;      // announced number of data bytes
    int64_t pixels;      // pixels placed
    int bytes_used;      // data bytes read
    bool complete;       // every pixel of width x height was placed
};

// Walks the image exactly as the painters decode it, reading at most size bytes and never
// past the announced data; false when the header does not fit or the coding is unknown.
bool image_scan(const uint8_t* s, size_t size, IMAGE_INFO* info);

// Draws the whole image at (v_xlocate, v_ylocate); scala is the scale in 1/256 (0 and 256
// draw 1:1; only codings 32 and 255 scale). Decoding never reads past the announced data.
void v_paints(const uint8_t* s, int scala);
// The same for an image of size bytes that may be truncated or damaged (read from a file).
void v_paints_sized(const uint8_t* s, size_t size, int scala);
// Draws columns offset .. offset + dx - 1 and rows 0 .. dy - 1 of the image, shifted left
// by offset: cell g of a strip of cells dx wide is v_paintx(s, dx, dy, g * dx, scala).
// Codings 2 and 16 draw the whole image.
void v_paintx(const uint8_t* s, int dx, int dy, int offset, int scala);

// s is a stored image (first byte 0) or the name of an 8- or 24-bit BMP file (a leading
// "$" marks the name: transparent background and white foreground are set for 24-bit
// files). Returns 1 when something was drawn, 0 for a pointer value below 256, a file that
// cannot be opened, another depth, or a malformed or truncated file (nothing is drawn).
int v_paint(const void* s);

// Width and height of an 8- or 24-bit BMP file (a leading "$" is skipped), checked as
// v_paint checks it; 0 when it cannot be used.
int bmp_size(const char* name, int* width, int* height);
