// The framebuffer memory, the palette and the pixel operations.
#include "platform/framebuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

int crtx = 1024;
int crty = 600;
uint32_t* dx_surface = nullptr;
int dx_pitch = 0;
uint32_t pall[256];
std::atomic<uint64_t>* fb_dirty = nullptr;
std::atomic<bool> fb_changed{false};
std::atomic<bool> fb_ready{false};
int64_t fb_pixels = 0;

void palette(int x) {
    int level[8];
    int blue[8];
    level[0] = 0;
    blue[0] = 0;
    for (int i = 1; i < 8; i++) {
        level[i] = ((i + 1) * 255) / 8;
        blue[i] = ((x + i + 1) * 255) / (x + 8);
    }
    for (int n = 0; n < 256; n++) {
        int r = (n >> 5) & 7;
        int g = (n >> 2) & 7;
        int b = n & 3;
        int k = 2 * b + (b & 1);
        pall[n] = uint32_t(level[r]) << 16 | uint32_t(level[g]) << 8 | uint32_t(blue[k]);
    }
}

void fb_open_slow() {
    static std::once_flag once;
    std::call_once(once, [] {
        palette(2);
        fb_pixels = int64_t(crtx) * 4 * crty;
        // Zeroed pages from the system: drawing memory below the screen that is never
        // written stays out of the resident set.
        dx_surface = static_cast<uint32_t*>(std::calloc(size_t(fb_pixels), sizeof(uint32_t)));
        if (!dx_surface) std::abort();
        dx_pitch = crtx;
        fb_dirty = new std::atomic<uint64_t>[size_t(crty + 63) / 64]();
        fb_ready.store(true, std::memory_order_release);
    });
}

int dx_start() {
    fb_open();
    return 0;
}

// Rows of the whole framebuffer.
static inline int fb_rows() { return 4 * crty; }

// The pixel at a linear address, or null when its row lies beyond the last row. Marks the
// screen changed for visible rows (the caller writes the pixel).
static inline uint32_t* pixel_for_write(uint32_t address) {
    fb_open();
    uint32_t row = address / uint32_t(crtx);
    if (row > uint32_t(fb_rows() - 1)) return nullptr;
    if (row < uint32_t(crty)) fb_touch_row(int(row));
    return dx_surface + size_t(row) * size_t(dx_pitch) + address % uint32_t(crtx);
}

void v_wrpixel(uint32_t address, int color) {
    if (color == 4) return;
    uint32_t* p = pixel_for_write(address);
    if (!p) return;
    if (color == 32)
        *p ^= 0xFFFFFF;
    else if (color >> 8)
        *p = uint32_t(color >> 8) & 0xFFFFFF;
    else
        *p = pall[color];
}

void v_wrpixel32k(uint32_t address, int color) {
    if (color == 4) return;
    uint32_t* p = pixel_for_write(address);
    if (!p) return;
    if (color == 32)
        *p ^= 0xFFFFFF;
    else
        *p = (uint32_t(color << 9) & 0xF80000) | (uint32_t(color << 6) & 0xF800) |
             (uint32_t(color * 8) & 0xFF);
}

uint32_t v_rdpixel(int32_t address) {
    fb_open();
    int32_t row = address / crtx;
    int32_t col = address % crtx;
    if (uint32_t(col) > uint32_t(crtx - 1) || uint32_t(row) > uint32_t(fb_rows() - 1)) return 0;
    return dx_surface[size_t(row) * size_t(dx_pitch) + size_t(col)];
}

uint32_t fb_color(int color) {
    if (color >> 8) return uint32_t(color) >> 8;
    return pall[color & 255];
}

void v_fastfill(int x0, int y0, int dx, int dy, int color) {
    fb_open();
    uint32_t value = fb_color(color);
    int64_t xa = std::clamp<int64_t>(x0, 0, crtx - 1);
    int64_t ya = std::clamp<int64_t>(y0, 0, fb_rows() - 1);
    int64_t xb = std::min<int64_t>(xa + dx, crtx);
    int64_t yb = std::min<int64_t>(ya + dy, fb_rows());
    if (xb <= xa || yb <= ya) return;
    for (int64_t y = ya; y < yb; y++) {
        uint32_t* row = dx_surface + y * dx_pitch;
        std::fill(row + xa, row + xb, value);
    }
    fb_touch_rows(int(ya), int(yb - 1));
}

namespace {

// Columns i of a copy row for which every given framebuffer x + i lies inside the
// framebuffer: [lo, hi).
struct ColumnRange {
    int64_t lo, hi;
};

ColumnRange clip_columns(int dx, int64_t xa, int64_t xb) {
    int64_t lo = std::max<int64_t>({0, -xa, -xb});
    int64_t hi = std::min<int64_t>({int64_t(dx), int64_t(crtx) - xa, int64_t(crtx) - xb});
    return {lo, hi};
}

inline bool row_inside(int64_t y) { return y >= 0 && y < fb_rows(); }

}  // namespace

void fb_copy(int xs, int ys, int xd, int yd, int dx, int dy, int64_t key) {
    fb_open();
    if (dy < 1 || dx < 1) return;
    ColumnRange c = clip_columns(dx, xs, xd);
    if (c.lo >= c.hi) return;
    // Forward when the source lies after the destination, else backward, so that
    // overlapping rectangles copy correctly.
    bool forward = ys > yd || (ys == yd && xs > xd);
    int64_t top = INT64_MAX, bottom = -1;  // visible rows written
    for (int k = 0; k < dy; k++) {
        int j = forward ? k : dy - 1 - k;
        int64_t sy = int64_t(ys) + j, ty = int64_t(yd) + j;
        if (!row_inside(sy) || !row_inside(ty)) continue;
        // Row bases plus column offsets; the offsets are inside the row after clipping.
        const uint32_t* src = dx_surface + sy * dx_pitch;
        uint32_t* dst = dx_surface + ty * dx_pitch;
        if (key == FB_NO_KEY) {
            std::memmove(dst + xd + c.lo, src + xs + c.lo, size_t(c.hi - c.lo) * 4);
        } else if (forward) {
            for (int64_t i = c.lo; i < c.hi; i++)
                if (src[xs + i] != uint32_t(key)) dst[xd + i] = src[xs + i];
        } else {
            for (int64_t i = c.hi - 1; i >= c.lo; i--)
                if (src[xs + i] != uint32_t(key)) dst[xd + i] = src[xs + i];
        }
        top = std::min(top, ty);
        bottom = std::max(bottom, ty);
    }
    if (bottom >= 0) fb_touch_rows(int(top), int(std::min<int64_t>(bottom, crty - 1)));
}

void fb_copy_to_buffer(int xs, int ys, uint32_t* buffer, int offset, int dx, int dy,
                       int64_t key) {
    fb_open();
    if (dy < 1 || dx < 1) return;
    ColumnRange c = clip_columns(dx, xs, xs);
    for (int j = 0; j < dy; j++) {
        int64_t sy = int64_t(ys) + j;
        if (!row_inside(sy)) continue;
        const uint32_t* src = dx_surface + sy * dx_pitch;
        uint32_t* dst = buffer + offset + int64_t(j) * dx;
        for (int64_t i = c.lo; i < c.hi; i++)
            if (key == FB_NO_KEY || src[xs + i] != uint32_t(key)) dst[i] = src[xs + i];
    }
}

void fb_copy_from_buffer(const uint32_t* buffer, int offset, int xd, int yd, int dx, int dy,
                         int64_t key) {
    fb_open();
    if (dy < 1 || dx < 1) return;
    ColumnRange c = clip_columns(dx, xd, xd);
    if (c.lo >= c.hi) return;
    int64_t top = INT64_MAX, bottom = -1;  // rows written
    for (int j = 0; j < dy; j++) {
        int64_t ty = int64_t(yd) + j;
        if (!row_inside(ty)) continue;
        const uint32_t* src = buffer + offset + int64_t(j) * dx;
        uint32_t* dst = dx_surface + ty * dx_pitch;
        for (int64_t i = c.lo; i < c.hi; i++)
            if (key == FB_NO_KEY || src[i] != uint32_t(key)) dst[xd + i] = src[i];
        top = std::min(top, ty);
        bottom = std::max(bottom, ty);
    }
    if (bottom >= 0) fb_touch_rows(int(top), int(std::min<int64_t>(bottom, crty - 1)));
}
