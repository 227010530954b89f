// The Smith chart: the S11 curve over the chart image of bitmap1, redrawn over a clean copy
// of the chart, and the press that moves the marker to the nearest point of the curve.
#include "app/smith.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <vector>

#include "app/page1.h"
#include "app/rlc.h"
#include "app/traces.h"
#include "forms/page.h"
#include "gfx/draw.h"

int32_t MD10, MD11, MD12;
int32_t MD1, MD2, MD3, MD4, MD5;
int32_t px[VNA_MAX_POINTS], py[VNA_MAX_POINTS];

namespace {

constexpr int CURVE = 252;          // yellow
constexpr int MARKER = 224;         // red
constexpr int64_t REACH = 1000000;  // squared distance: a press farther from every point selects 0

// The clean chart as the screen showed it, saved once, and its size.
std::vector<uint32_t> store;
int store_w = 0, store_h = 0;
// The marker index at the last redraw.
int32_t quale_old = 0;
// The image was painted; something was drawn over it; the image was painted over that.
bool image_shown = false, curve_drawn = false, curve_covered = false;
// What the curve on the screen was drawn from.
PanelDrawn curve_inputs;

SmithPoint sample_point(int k, int32_t xc, int32_t yc, int32_t r) {
    return smith_map(vna_s11_re[k].load(), vna_s11_im[k].load(), xc, yc, r);
}

// Rectangle copies take every pixel: the context's transparent key is off while they run.
void copy_opaque(bool to_screen) {
    const int32_t paper = vid[perif].color0;
    vid[perif].color0 = 0;
    if (to_screen)
        v_copy(store.data(), 0, MD1, MD2, store_w, store_h);
    else
        v_copy(MD1, MD2, store.data(), 0, store_w, store_h);
    vid[perif].color0 = paper;
}

void save_chart() {
    if (MD3 <= 0 || MD4 <= 0) return;
    store.assign(size_t(MD3 + 16) * size_t(MD4 + 16), 0);
    store_w = MD3;
    store_h = MD4;
    copy_opaque(false);
}

// The clean chart back (once it was saved), then the curve and the marker over it.
void redraw() {
    if (!store.empty()) copy_opaque(true);
    draw_s11_smith(MD10, MD11, MD12);
    curve_drawn = true;
}

}  // namespace

SmithPoint smith_map(float re, float im, int32_t xc, int32_t yc, int32_t r) {
    if (std::isnan(re) || std::isnan(im)) re = im = 0;
    r = std::clamp<int32_t>(r, -INT16_MAX, INT16_MAX);  // a screen's size: the product stays an int
    double x = std::clamp<double>(re, -FLT_MAX, FLT_MAX), y = std::clamp<double>(im, -FLT_MAX, FLT_MAX);
    const double m = std::hypot(x, y);
    if (m > 1) {
        x /= m;
        y /= m;
    }
    return {xc + int32_t(float(x) * float(r)), yc - int32_t(float(y) * float(r))};
}

void draw_s11_smith(int32_t xc, int32_t yc, int32_t radius) {
    const int n = std::min(vna_acquired.load(), page_points());
    SmithPoint a = sample_point(0, xc, yc, radius);
    for (int k = 1; k < n; k++) {
        const SmithPoint b = sample_point(k, xc, yc, radius);
        px[k - 1] = a.x;
        py[k - 1] = a.y;
        v_linec_antialias(float(a.x), float(a.y), float(b.x - a.x), float(b.y - a.y), CURVE, 2.0f);
        if (k == 1) v_rectfillc(a.x - 2, a.y - 2, 5, 5, CURVE);
        a = b;
    }
    const SmithPoint m = sample_point(marker_index(), xc, yc, radius);
    v_linec_antialias(float(m.x - 7), float(m.y), 15, 0, MARKER, 3.0f);
    v_linec_antialias(float(m.x), float(m.y - 7), 0, 15, MARKER, 3.0f);
}

int32_t smith_nearest(int32_t x, int32_t y) {
    int64_t best = REACH;
    int32_t found = 0;
    for (int j = 0; j <= page_points() - 2; j++) {
        const int64_t dx = x - px[j], dy = y - py[j], d = dx * dx + dy * dy;
        if (d < best) {
            best = d;
            found = j;
        }
    }
    return found;
}

void page1_panel7_onentry() {
    MD10 = x_x;
    MD11 = y_y;
    MD12 = me->width;
    // The panel only marks the chart's centre and radius. Shown, its frame would lie over
    // the chart, and in the clean copy that every redraw of the curve restores.
    me2->visible = 0;
}

void page1_bitmap1_onentry() {
    MD1 = x_x;
    MD2 = y_y;
    MD3 = me->width;
    MD4 = me->height;
    if (MD5 < INT32_MAX) MD5++;
    // The image is painted after this handler when the bitmap redraws in this pass (a tab
    // switch, a closed list or dialog): what is drawn now is covered, so it is drawn again
    // on the next pass. The clean chart is saved from the fifth drawing on, once the image
    // is on the screen (painted in an earlier pass, not in this one).
    const bool repainting = _se_dentro() || _extchanged;
    if (store.empty() && MD5 >= 5 && image_shown && !repainting) save_chart();
    image_shown |= repainting;
    if (repainting) {
        curve_covered = curve_drawn;
    } else if (curve_covered && !store.empty()) {
        curve_covered = false;
        redraw();
    }
    if (MD5 > 8 && vna_data_valid.load()) {
        // Redrawn when the samples, the marker or the chart's place changed, or the image
        // was painted: the curve on the screen is otherwise the one it would draw.
        const int n = page_points();
        const bool changed = curve_inputs.must_draw(
            {s11_fingerprint(n), uint64_t(n), uint64_t(uint32_t(vna_acquired.load())), uint64_t(marker_index()),
             uint64_t(uint32_t(MD10)) << 32 | uint32_t(MD11), uint64_t(uint32_t(MD12)),
             uint64_t(uint32_t(MD1)) << 32 | uint32_t(MD2), uint64_t(store.empty()), uint64_t(repainting)});
        if (changed || repainting) redraw();
        if (contin.load()) {
            if (sweep_to_continue()) page1_scan_onmousedown();
            return;
        }
    } else if (contin.load()) {
        return;
    }
    // A marker moved before the clean chart is saved waits for it: drawn earlier, the
    // cross would be saved with the chart.
    if (quale == quale_old || store.empty()) return;
    quale_old = quale;
    vna_data_valid = 1;
    redraw();
}

void page1_bitmap1_onmousepress() {
    quale = smith_nearest(mouse_x + x_x, mouse_y + y_y);
    const int n = page_points();
    const int bar = page1 && page1->panel11 ? page1->panel11->width - 8 : 0;
    dove = n > 0 ? quale * bar / n : 0;
}
