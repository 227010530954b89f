// The framebuffer: plain memory of crtx columns by 4 * crty rows of 0x00RRGGBB pixels, the
// 256-colour palette, and the pixel writers, reader, rectangle fill and rectangle copies on
// which all drawing rests.
//
// A linear pixel address is y * crtx + x. Rows 0 .. crty - 1 are the visible screen; the
// rows below are drawing memory that never reaches the window.
//
// Colour values (32-bit signed): 0 to 255 a palette index in 3-3-2 layout; any value with a
// bit above bit 7 set a direct colour 0xRRGGBB00. Where single pixels are written, 4 leaves
// the pixel unchanged and 32 inverts it; the rectangle fill takes 4 and 32 as plain indices.
//
// Drawing happens on one thread at a time (the page loop, or holders of the drawing lock).
#pragma once

#include <atomic>
#include <cstdint>

// Framebuffer width and visible height in pixels (1024 and 600). crt_exec sets them from
// its arguments before the main loop starts; nothing may change them after the first draw.
extern int crtx;
extern int crty;

// Start of the pixel memory and the distance between rows in pixels (equal to crtx).
// Null until the first drawing call (or dx_start) creates the display.
extern uint32_t* dx_surface;
extern int dx_pitch;

// The display palette, 0x00RRGGBB per colour index.
extern uint32_t pall[256];

// Fills pall; every caller passes 2.
void palette(int x);

// Creates the framebuffer once (zeroed) and computes the palette; later calls do nothing.
// Returns 0.
int dx_start();

// Makes sure the framebuffer exists. Every pixel operation calls it; drawing code that
// writes dx_surface itself calls it first and then fb_touch_rows() for the visible rows.
extern std::atomic<bool> fb_ready;
void fb_open_slow();
inline void fb_open() {
    if (!fb_ready.load(std::memory_order_acquire)) fb_open_slow();
}

// Which visible rows changed since the last hand-over: bit y % 64 of word y / 64 for row y,
// (crty + 63) / 64 words, made with the framebuffer. The drawing thread sets bits,
// dx_refresh takes them; fb_changed is set with them, so that a refresh with nothing drawn
// reads a single word.
extern std::atomic<uint64_t>* fb_dirty;
extern std::atomic<bool> fb_changed;

// Marks visible rows first .. last (inclusive, cut to the screen) as changed, so that the
// next dx_refresh hands them to the window. The pixel operations below call it for the
// visible rows they write.
inline void fb_touch_rows(int first, int last) {
    if (first < 0) first = 0;
    if (last > crty - 1) last = crty - 1;
    if (first > last) return;
    fb_open();
    const int w0 = first >> 6, w1 = last >> 6;
    for (int w = w0; w <= w1; w++) {
        uint64_t mask = ~uint64_t(0);
        if (w == w0) mask &= ~uint64_t(0) << (first & 63);
        if (w == w1) mask &= ~uint64_t(0) >> (63 - (last & 63));
        // Rows drawn again before the hand-over cost a load, not a read-modify-write.
        if ((fb_dirty[w].load(std::memory_order_relaxed) & mask) != mask)
            fb_dirty[w].fetch_or(mask, std::memory_order_release);
    }
    fb_changed.store(true, std::memory_order_release);
}
// Marks visible row y (0 .. crty - 1, framebuffer open) as changed: the pixel writers' path.
inline void fb_touch_row(int y) {
    const uint64_t bit = uint64_t(1) << (y & 63);
    std::atomic<uint64_t>& word = fb_dirty[y >> 6];
    if (!(word.load(std::memory_order_relaxed) & bit)) word.fetch_or(bit, std::memory_order_release);
    fb_changed.store(true, std::memory_order_release);
}
// Marks the whole visible screen as changed (for code that writes dx_surface itself).
inline void fb_touch() { fb_touch_rows(0, crty - 1); }

// Total number of pixels (crtx * 4 * crty) once the framebuffer exists.
extern int64_t fb_pixels;

// Writes one pixel at a linear address: 4 skipped, 32 inverts, an index through pall, a
// direct colour from bits 31-8. Addresses whose row lies beyond the last row are ignored.
void v_wrpixel(uint32_t address, int color);
// Writes one pixel of a 15-bit 5-5-5 colour (4 skipped, 32 inverts); each 5-bit field
// becomes the top bits of an 8-bit channel.
void v_wrpixel32k(uint32_t address, int color);
// The pixel at a linear address as 0x00RRGGBB; 0 outside the framebuffer (negative
// addresses included).
uint32_t v_rdpixel(int32_t address);
// Fills dx columns by dy rows from (x0, y0). A start left of or above the framebuffer is
// moved onto it (the size is kept); the end is cut at the framebuffer's edges.
void v_fastfill(int x0, int y0, int dx, int dy, int color);

// The pixel value of a colour as the rectangle fill converts it (no special 4 or 32).
uint32_t fb_color(int color);

// Rectangle copies of dy rows of dx pixels. key is a pixel value (0x00RRGGBB) that is not
// copied, or FB_NO_KEY. Framebuffer positions outside the framebuffer are skipped (their
// buffer places are left as they are), so no copy writes outside the framebuffer.
inline constexpr int64_t FB_NO_KEY = -1;
// Framebuffer to framebuffer; overlapping rectangles copy correctly (forward when the source
// lies after the destination, else backward).
void fb_copy(int xs, int ys, int xd, int yd, int dx, int dy, int64_t key);
// Framebuffer rectangle into buffer + offset, dx pixels a row, rows one after another.
void fb_copy_to_buffer(int xs, int ys, uint32_t* buffer, int offset, int dx, int dy,
                       int64_t key);
// Buffer + offset (dx pixels a row) onto the framebuffer at (xd, yd).
void fb_copy_from_buffer(const uint32_t* buffer, int offset, int xd, int yd, int dx, int dy,
                         int64_t key);
