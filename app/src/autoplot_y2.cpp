// The trace plot engine: frame, autoscaled Y grid and labels, frequency grid and labels, the
// trace and the touch cursor, all redrawn on every call.
#include "app/autoplot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "forms/object.h"
#include "gfx/draw.h"
#include "gfx/text.h"
#include "platform/input.h"
#include "vna/device.h"

namespace {

// The last pointer position seen pressed by any plot: the cursor of every plot follows it.
int32_t touch_x_old = 0, touch_y_old = 0;

// Samples beyond this magnitude count as this for autoscaling, so that max - min and the
// tick steps stay finite whatever garbage a sweep delivers.
constexpr float RANGE_LIMIT = 1e30f;
// More grid lines than any tick step gives; a cap for the float accumulation, which stops
// advancing when the step falls below the precision of the values.
constexpr int MAX_LINES = 64;
constexpr int LABEL_FONT = 7, READOUT_FONT = 10;

// The plot area inside the panel: 4 pixels left, 36 right for the Y labels, 8 above and 20
// below for the X labels.
struct Area {
    int x0, y0, dxh, dyh;
};

// The Y axis: range, tick step and the mapping of a value to a pixel row.
struct Axis {
    float min, max, py, scalay, offy;
    int bottom;  // y0 + dyh, the row of min
    float row(float v) const { return float(bottom) + offy - v * scalay; }
};

// A pixel coordinate from a float, truncated toward zero; anything non-finite or far off the
// screen becomes a coordinate far off the screen instead of an undefined conversion.
int pixel(float v) {
    constexpr float FAR = 100000.f;
    if (!(v > -FAR)) return -int(FAR);
    return v < FAR ? int(v) : int(FAR);
}

float tick_step(float r, int dyh) {
    static const float table[][2] = {
        {1000000, 200000}, {500000, 100000}, {250000, 50000}, {100000, 20000}, {50000, 10000},
        {25000, 5000},     {10000, 2000},    {5000, 1000},    {2500, 500},     {1000, 200},
        {500, 100},        {250, 50},        {100, 20},       {50, 10},        {25, 5},
        {10, 2},           {5, 1},           {2.5f, 0.5f},    {1, 0.2f},       {0.5f, 0.1f},
        {0.25f, 0.05f},    {0.1f, 0.02f},    {0.05f, 0.01f},  {0.025f, 0.005f}, {0.01f, 0.002f},
    };
    float py = 1;
    for (const auto& t : table)
        if (r > t[0]) {
            py = t[1];
            break;
        }
    // Above the table the steps go on in the same 1-2-5 order (5e5 from 2.5e6, 1e6 from 5e6,
    // 2e6 from 1e7, ...), so that a huge range still gets 5 to 13 divisions, not thousands.
    static const float grow[3] = {2.5f, 2, 2};
    float above = 1000000;
    for (int k = 0; k < 200 && r > above * grow[k % 3]; k++) {
        above *= grow[k % 3];
        py *= grow[k % 3];
    }
    return dyh < 140 ? py * 2 : py;
}

// Autoscaled (or fixed when miny < maxy) and widened to whole numbers: the range -0.4 .. 0.3
// becomes -1 .. 1, -35.2 .. -0.4 becomes -36 .. 1. Non-finite samples do not count.
Axis y_axis(const Area& a, const float* v, int n, float miny, float maxy) {
    Axis ax{};
    ax.min = 10000000;
    ax.max = -10000000;
    if (std::isfinite(miny) && std::isfinite(maxy) && miny < maxy) {
        ax.min = std::max(miny, -RANGE_LIMIT);
        ax.max = std::min(maxy, RANGE_LIMIT);
    } else {
        for (int i = 0; i < n; i++) {
            if (!std::isfinite(v[i])) continue;
            const float y = std::clamp(v[i], -RANGE_LIMIT, RANGE_LIMIT);
            if (y < ax.min) ax.min = y;
            if (y > ax.max) ax.max = y;
        }
    }
    ax.max = std::trunc(ax.max) + 1;
    ax.min = std::trunc(ax.min) - 1;
    // Beyond 2^24 adding 1 may change nothing: keep the range from collapsing to nothing.
    if (ax.max == ax.min) {
        ax.max = std::nextafter(ax.max, RANGE_LIMIT * 2);
        ax.min = std::nextafter(ax.min, -RANGE_LIMIT * 2);
    }
    const float r = ax.max - ax.min;
    ax.py = tick_step(r, a.dyh);
    ax.scalay = float(a.dyh) / r;
    ax.offy = ax.min * ax.scalay;
    ax.bottom = a.y0 + a.dyh;
    return ax;
}

void y_grid(const Area& a, const Axis& ax, int color3) {
    float ii = ax.min;
    for (int k = 0; k < MAX_LINES && ii <= ax.max; k++, ii += ax.py)
        v_linec(a.x0, pixel(ax.row(ii)), a.dxh, 0, color3);
    v_linec(a.x0, pixel(ax.row(ax.max)), a.dxh, 0, color3);
}

// An axis label: its text's baseline row at y, over whatever is there.
void label(int x, int y, const char* text, int color2) {
    v_locate(x, y);
    v_setfont(LABEL_FONT, 1, 1);
    v_color(4, color2);
    v_printf("%s", text);
}

// Labels right of the area, at most 6 characters, with an exact 0 where the accumulation
// passes near it.
void y_labels(const Area& a, const Axis& ax, int color2) {
    float iii = ax.min;
    for (int k = 0; k < MAX_LINES && iii <= ax.max; k++, iii += ax.py) {
        if (-0.000001f < iii && iii < 0.000001f) iii = 0;
        char text[32];
        std::snprintf(text, sizeof text, "%g", double(iii));
        text[6] = 0;
        label(a.x0 + a.dxh + 2, pixel(ax.row(iii) + 8), text, color2);
    }
}

// A frequency label: whole numbers, with "M." for six trailing zeros or else "K." for three
// (1000 is "1K.", 2000000 "2M.", 1500 stays "1500").
void x_label_text(float value, char* out, size_t size) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f&", double(std::trunc(value) + 0.0f));  // + 0: no "-0"
    if (char* m = std::strstr(text, "000000&"))
        std::strcpy(m, "M.&");
    else if (char* k = std::strstr(text, "000&"))
        std::strcpy(k, "K.&");
    text[std::strlen(text) - 1] = 0;
    std::snprintf(out, size, "%s", text);
}

// Width of a text in the label font.
int label_width(const char* text) {
    const uint8_t* f = v_fontpntvect[LABEL_FONT];
    int w = 0;
    for (const auto* p = reinterpret_cast<const unsigned char*>(text); f && *p; p++)
        if (*p >= 32 && *p < 128) w += f[PROP_WIDTHS + *p - 32];
    return w;
}

// The frequency grid: lines at the multiples of a unit of 1, 2, 10, 20, 100, ... (at most 15
// of them) over minx .. maxx; the first is at x0 + offset, unit * first_index.
struct XTicks {
    float ppu, offset, unit, first_index;
    int count;
    float value(int k) const { return unit * first_index + unit * float(k); }
};

XTicks x_ticks(const Area& a, float minx, float maxx) {
    float rx = maxx - minx;
    if (!std::isfinite(rx) || !std::isfinite(minx) || !(rx > 0)) return XTicks{};
    float ppu = float(a.dxh) / rx, s = minx, unit = 1;
    auto coarser = [&](float d) {
        rx /= d;
        ppu *= d;
        s /= d;
        unit *= d;
    };
    while (rx > 15) {
        coarser(2);
        if (rx > 15) coarser(5);
    }
    // floor, not trunc: a span starting below 0 is labelled where its values lie.
    return XTicks{ppu, ppu * (1 - (s - std::floor(s))), unit, std::floor(minx / unit + 1), int(rx)};
}

// Every line is labelled while the labels fit between the lines; when the widest would touch
// its neighbour, only every m-th multiple of the unit is.
int label_stride(const XTicks& t) {
    int widest = 0;
    for (int k = 0; k < t.count; k++) {
        char text[64];
        x_label_text(t.value(k), text, sizeof text);
        widest = std::max(widest, label_width(text));
    }
    int m = 1;
    while (m < t.count && float(m) * t.ppu < float(widest + 4)) m++;
    return m;
}

void x_grid(const Area& a, float minx, float maxx, int color2, int color3) {
    const XTicks t = x_ticks(a, minx, maxx);
    const int stride = label_stride(t);
    for (int k = 0; k < t.count; k++) {
        v_linec(pixel(float(a.x0) + t.offset + float(k) * t.ppu), a.y0, 0, a.dyh - 1, color3);
        if (std::fmod(t.first_index + float(k), float(stride)) != 0) continue;
        char text[64];
        x_label_text(t.value(k), text, sizeof text);
        label(pixel(t.ppu * float(k) + t.offset + float(a.x0 - 8)), a.y0 + a.dyh + 18, text, color2);
    }
}

// Segment i - 1 .. i for every i whose sample lies inside the range; a sample outside is held
// at the edge it passed, and the next segment starts there. A NaN sample leaves a gap.
void trace(const Area& a, const Axis& ax, const float* v, int n, uint32_t size, int color1) {
    const float scalax = float(a.dxh) / float(n - 1);
    const int sx = std::max(0, pixel(scalax - 1));
    float yold = 0;
    bool have_old = false;
    for (int i = 0; i < n; i++) {
        float ynew = ax.row(v[i]);
        if (std::isnan(ynew)) {
            have_old = false;
            continue;
        }
        bool fuori = true;
        if (ynew < float(a.y0))
            ynew = float(a.y0);
        else if (ynew > float(ax.bottom))
            ynew = float(ax.bottom);
        else
            fuori = false;
        if (i > 0 && !fuori && have_old) {
            const int xs = pixel(float(i - 1) * scalax + float(a.x0));
            v_linec(xs, pixel(yold), sx + 1, pixel(ynew - yold), color1);
            if (size == 0) v_linec(xs, pixel(yold + 1), sx + 1, pixel(ynew - yold), color1);
        }
        yold = ynew;
        have_old = true;
    }
}

// The cursor line and the value under it, at the last pressed position when that lies in
// this panel; returns the sample index, else 0.
uint32_t cursor(const Area& a, const float* v, int n, int color1) {
    if (touch_premuto) {
        touch_x_old = touch_x;
        touch_y_old = touch_y;
    }
    const bool inside = x_x < touch_x_old && touch_x_old < x_x + me->width && y_y < touch_y_old &&
                        touch_y_old < y_y + me->height;
    if (!inside || n == 0 || a.dxh <= 0) return 0;
    const int idx = std::clamp((touch_x_old - 4 - x_x) * n / a.dxh, 0, n - 1);
    v_locate(a.x0 + a.dxh / 2, y_y + 34);
    v_setfont(READOUT_FONT, 1, 1);
    v_color(0, color1);
    v_printf("%g", double(v[idx]));
    v_linec(touch_x_old, y_y, 0, me->height - 2, 252);
    return uint32_t(idx);
}

}  // namespace

uint64_t AutoPlot_cursor_key() {
    const int32_t x = touch_premuto ? touch_x : touch_x_old, y = touch_premuto ? touch_y : touch_y_old;
    return uint64_t(uint32_t(x)) << 32 | uint32_t(y);
}

uint32_t AutoPlot_Y2(const void* vect, uint32_t n, uint32_t size, int32_t color1, int32_t color2, int32_t color3,
                     int32_t color4, const char* flags, float miny, float maxy, float minx, float maxx) {
    (void)flags;  // the samples are always floats ("F")
    const float* v = static_cast<const float*>(vect);
    const int count = v ? int(std::min<uint32_t>(n, VNA_MAX_POINTS)) : 0;
    const Area a{x_x + 4, y_y + 8, me->width - 40, me->height - 28};
    v_rectfillc(x_x, y_y, me->width, me->height, int(me->rgb_color));
    if (a.dxh > 0 && a.dyh > 0) {
        v_rectfillc(a.x0, a.y0, a.dxh, a.dyh, color4);
        const Axis ax = y_axis(a, v, count, miny, maxy);
        y_grid(a, ax, color3);
        y_labels(a, ax, color2);
        x_grid(a, minx, maxx, color2, color3);
        v_linec(a.x0, a.y0, 0, a.dyh - 1, color3);
        v_linec(a.x0 + a.dxh, a.y0, 0, a.dyh - 1, color3);
        if (count >= 2) trace(a, ax, v, count, size, color1);
    }
    return cursor(a, v, count, color1);
}
