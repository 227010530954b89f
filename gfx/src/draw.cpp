// Drawing primitives.
#include "gfx/draw.h"

#include <algorithm>
#include <cmath>

#include "pixel.h"

vid_vect vid[VID_CONTEXTS];
int32_t perif = 0;
int32_t OUTLINED = -1;

void v_color(int c1, int c2) {
    vid[perif].color0 = c1;
    vid[perif].color1 = c2;
}

void v_locate(int x, int y) {
    vid_vect& v = vid[perif];
    v.v_xlocate = v.v_xstart = x;
    v.v_ylocate = v.v_ystart = y;
}

void v_llocate(int y, int x) { v_locate((x - 1) * 8, y * 8); }

void v_outlined(int i) { OUTLINED = i; }

void v_pixel(uint32_t address, int color) { v_wrpixel(address, color); }

void v_wrpixel_xy(int x, int y, int c) {
    if (c == 4) return;
    v_wrpixel(uint32_t(y * crtx + x), c);
}

uint32_t v_rdpixel_xyz(int x, int y) { return v_rdpixel(x + crtx * y); }

void v_hline(int x0, int y0, int dx, int color) {
    if (dx < 0) {
        x0 += dx;
        dx = -dx;
    }
    Ink ink = ink_of(color);
    if (ink.op == Ink::SKIP) return;
    int64_t a = int64_t(crtx) * y0 + x0;
    int64_t b = a + dx;
    if (a < 0) a = 0;
    if (b >= fb_pixels) b = fb_pixels - 1;
    for (int64_t p = a; p <= b; p++) put_pixel(p, ink);
    if (a <= b && a < visible_pixels())
        fb_touch_rows(int(a / crtx), int(std::min(b, visible_pixels() - 1) / crtx));
}

void v_vline(int x0, int y0, int dy, int color) {
    if (dy < 0) {
        y0 += dy;
        dy = -dy;
    }
    Ink ink = ink_of(color);
    if (ink.op == Ink::SKIP) return;
    int64_t a = int64_t(crtx) * y0 + x0;
    WrittenSpan written;
    for (int64_t k = 0; k <= dy; k++) {
        int64_t p = a + k * crtx;
        if (p < 0) continue;
        if (p >= fb_pixels) break;
        put_pixel(p, ink);
        written.add(p);
    }
    written.mark();
}

void v_linec(int x0, int y0, int dx, int dy, int color) {
    if (dy == 0) {
        v_hline(x0, y0, dx, color);
        return;
    }
    if (dx == 0) {
        v_vline(x0, y0, dy, color);
        return;
    }
    Ink ink = ink_of(color);
    if (ink.op == Ink::SKIP) return;
    int64_t sx = 1, sy = crtx;
    int64_t adx = dx, ady = dy;
    if (adx < 0) {
        sx = -1;
        adx = -adx;
    }
    if (ady < 0) {
        sy = -sy;
        ady = -ady;
    }
    // A stepping line over a + b ticks: each tick adds a and b to the accumulators and
    // steps along an axis when its accumulator passes n; the pixel is written once for
    // the moves of a tick, so a tick that steps both ways makes a diagonal step.
    int64_t a = adx + 1, b = ady + 1, n = a + b;
    int64_t p = int64_t(crtx) * y0 + x0;
    int64_t ex = 0, ey = 0;
    int moved = 1;
    WrittenSpan written;
    for (int64_t t = 0; t < n; t++) {
        if (moved) {
            if (p >= 0 && p < fb_pixels) {
                put_pixel(p, ink);
                written.add(p);
            }
            moved = 0;
        }
        ex += a;
        ey += b;
        if (ex >= n) {
            p += sx;
            ex -= n;
            moved++;
        }
        if (ey >= n) {
            p += sy;
            ey -= n;
            moved++;
        }
    }
    written.mark();
}

namespace {

inline int trunc_int(float v) { return int(v); }
inline float frac(float v) { return v - std::floor(v); }

struct Rgb {
    int r, g, b;
};

inline Rgb split(int32_t c) { return {(c >> 16) & 255, (c >> 8) & 255, c & 255}; }

inline int direct(int r, int g, int b) { return int(uint32_t(r << 16 | g << 8 | b) << 8); }

// One anti-aliased line as walk_steps takes it: u is the major and v the minor coordinate,
// and `swap` says that u is y.
struct Walk {
    float u0, v0, du, dv;  // V = (U - u0) / du * dv + v0
    float end;             // steps run while U < end
    float w;               // thickness
    int32_t color;
    bool swap;
    int ulimit, vlimit;    // framebuffer size along u and v
};

// A minor coordinate truncated, or -1 when it lies off the framebuffer.
int cell(float v, int limit) { return v > -1 && v < float(limit) ? trunc_int(v) : -1; }

// Steps along the major axis. At each whole step U (the end excluded) the line lies at V;
// the first edge pixel is at trunc(V) and blends from the line colour toward the background
// by frac(V), the second at trunc(V + w) blends from the background toward the line colour
// by frac(V + w); both blend against the background read at the first edge pixel. Whole
// pixels of the line colour fill trunc(V + k) for k = 1 .. w - 1. Only pixels on the
// framebuffer are written (and read): nothing wraps around an edge.
void walk_steps(const Walk& line) {
    Rgb c = split(line.color);
    int solid = direct(c.r, c.g, c.b);
    auto plot = [&line](int u, int v, int value) {
        if (v < 0) return;
        if (line.swap)
            v_wrpixel_xy(v, u, value);
        else
            v_wrpixel_xy(u, v, value);
    };
    auto read = [&line](int u, int v) {
        if (v < 0) return 0u;
        return line.swap ? v_rdpixel_xyz(v, u) : v_rdpixel_xyz(u, v);
    };
    const float w = line.w;
    const int vlimit = line.vlimit;
    for (float U = line.u0; U < line.end; U += 1) {
        float V = (U - line.u0) / line.du * line.dv + line.v0;
        if (!(std::max(V, V + w) > -1 && std::min(V, V + w) < float(vlimit))) continue;  // all off
        int u = trunc_int(U);
        Rgb bg = split(int32_t(read(u, cell(V, vlimit))));
        float f = frac(V) * 255;
        float g = frac(V + w) * 255;
        auto first = [&](int cc, int bb) { return trunc_int((cc * (255 - f) + bb * f) / 255); };
        auto second = [&](int cc, int bb) { return trunc_int((bb * (255 - g) + cc * g) / 255); };
        plot(u, cell(V, vlimit), direct(first(c.r, bg.r), first(c.g, bg.g), first(c.b, bg.b)));
        plot(u, cell(V + w, vlimit), direct(second(c.r, bg.r), second(c.g, bg.g), second(c.b, bg.b)));
        const int k_first = std::max(1, trunc_int(-V));  // rows above the framebuffer skipped
        for (int k = k_first; w >= 2 && k <= w - 1 && V + float(k) < float(vlimit); k++)
            plot(u, trunc_int(V + float(k)), solid);
    }
}

}  // namespace

static void antialias_walk(float u0, float v0, float du, float dv, float w, int32_t color, bool swap) {
    if (du < 0) {
        u0 += du;
        v0 += dv;
        du = -du;
        dv = -dv;
    }
    fb_open();
    const int rows = int(fb_pixels / crtx);
    // Thicker than any framebuffer counts as 65536, which keeps V + w an int.
    Walk line{u0, v0, du, dv, 0, std::clamp(w, -65536.f, 65536.f), color, swap, swap ? rows : crtx,
              swap ? crtx : rows};
    // Only the steps whose column trunc(U) lies on the framebuffer (-1 < U < ulimit) are
    // taken, so a far-off line costs at most one step per column. A start before that moves,
    // in double precision, to the first step on it; a line that starts on it keeps its
    // float values, and so its pixels.
    const double end = std::min(double(u0) + du, double(line.ulimit));
    double start = u0;
    if (!(u0 > -1)) start = u0 + std::floor(-1.0 - u0) + 1;
    if (!(start < end)) return;
    if (start != u0) {
        line.u0 = float(start);
        line.v0 = float(v0 + (start - u0) / du * dv);
    }
    line.end = float(end);
    walk_steps(line);
}

void v_linec_antialias(float x0, float y0, float dx, float dy, uint32_t color, float spessore) {
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(dx) || !std::isfinite(dy) ||
        !std::isfinite(spessore))
        return;
    int32_t c = ToRGB(int(color));
    if (std::fabs(std::trunc(dx)) > std::fabs(std::trunc(dy)))
        antialias_walk(x0, y0, dx, dy, spessore, c, false);
    else
        antialias_walk(y0, x0, dy, dx, spessore, c, true);
}

// A negative size counts from the other corner: x0 + dx + 1 .. x0.
static void normalise(int& x0, int& dx) {
    if (dx < 0) {
        x0 = x0 + dx + 1;
        dx = -dx;
    }
}

void v_rectc(int x0, int y0, int dx, int dy, int color) {
    normalise(x0, dx);
    normalise(y0, dy);
    v_hline(x0, y0, dx, color);
    v_vline(x0 + dx, y0, dy, color);
    v_vline(x0, y0, dy, color);
    v_hline(x0, y0 + dy, dx, color);
}

void v_rectfillc(int x0, int y0, int dx, int dy, int color) {
    normalise(x0, dx);
    normalise(y0, dy);
    v_fastfill(x0, y0, dx, dy, color);
}

void v_cls() { v_fastfill(0, 0, crtx, crty, vid[perif].color0); }

int32_t ToRGB(int color) {
    if (color & ~0xFF) return color >> 8;
    return ((color & 0xE0) << 16) | ((color & 0x1C) << 11) | ((color << 6) & 0xFF);
}

static int64_t copy_key() {
    const vid_vect& v = vid[perif];
    return v.color0 == 4 ? int64_t(fb_color(v.color1)) : FB_NO_KEY;
}

void v_copy(int xs, int ys, int xd, int yd, int dx, int dy) {
    fb_copy(xs, ys, xd, yd, dx, dy, copy_key());
}

void v_copy(int xs, int ys, uint32_t* buffer, int offset, int dx, int dy) {
    fb_copy_to_buffer(xs, ys, buffer, offset, dx, dy, copy_key());
}

void v_copy(const uint32_t* buffer, int offset, int xd, int yd, int dx, int dy) {
    fb_copy_from_buffer(buffer, offset, xd, yd, dx, dy, copy_key());
}
