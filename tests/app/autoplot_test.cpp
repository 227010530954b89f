// The plot engine on panels the size of the main page's plots (their ticks and labels are in
// the page's reference pictures).
#include <gtest/gtest.h>

#include <cmath>

#include "app/autoplot.h"
#include "forms/widgets.h"
#include "support/forms_driver.h"
#include "support/framebuffer_helpers.h"

namespace {

OBJ panel;
int x0, y0, dxh, dyh;  // the plot area of the last panel drawn

// Samples v from 1 to 800 MHz in a 393 x 188 panel at (x, 50), the pointer pressed at
// (px, 100) (0: not pressed); returns the index under the cursor.
uint32_t plot(const std::vector<float>& v, int x = 100, int px = -1) {
    FormDriver::setup();
    panel = OBJ{};
    panel.width = 393;
    panel.height = 188;
    panel.color = 4;
    me = &panel;
    x_x = int16_t(x);
    y_y = 50;
    x0 = x + 4;
    y0 = 58;
    dxh = 353;
    dyh = 160;
    touch_premuto = px != 0;
    touch_x = px;
    touch_y = 100;
    return AutoPlot_Y2(v.data(), uint32_t(v.size()), 3, 252, 255, 146, obj_bg(), "F", 0, 0, 1, 800);
}
// Grid rows of the plot area: more than half of the row grey.
int grid_rows() {
    int rows = 0;
    for (int y = y0; y <= y0 + dyh; y++) {
        int grey = 0;
        for (int x = x0; x < x0 + dxh; x++) grey += fb_at(x, y) == pall[146];
        rows += grey > dxh / 2;
    }
    return rows;
}
// Trace pixels (yellow) in a rectangle.
int yellow(int x, int y, int w, int h) {
    int n = 0;
    for (const uint32_t* row = &dx_surface[y * crtx + x]; row < &dx_surface[(y + h) * crtx]; row += crtx)
        n += int(std::count(row, row + w, pall[252]));
    return n;
}

// The Y grid, one row at each tick: non-finite samples do not count; fewer than 2 samples
// draw no trace (none no ticks), and nothing is drawn outside the plot area.
TEST(AutoPlot, GridTraceAndCursor) {
    struct Case { std::vector<float> v; int rows; } const cases[] = {
        {{NAN, -0.4f, INFINITY, 0.3f, -INFINITY}, 11},  // -1 to 1 in tenths
        {{0.5f}, 11},
        {{}, 1},  // the top line alone
    };
    for (const Case& c : cases) {
        fb_fill_all(0);
        plot(c.v);
        const int inside = yellow(x0, y0, dxh + 1, dyh + 1);
        const int outside = yellow(x_x, y_y, 393, 188) - inside;
        const bool high = yellow(x0, y0, dxh + 1, 70) > 0;  // 0.3 of -1 to 1
        EXPECT_EQ(std::tuple(grid_rows(), high, outside), std::tuple(c.rows, c.v.size() >= 2, 0)) << c.v.size();
    }
    // The cursor index follows a press inside its panel; 0: the other panel lost its cursor.
    const std::vector<float> v(401, 1);
    for (auto [x, px, idx] : {std::array{100, 102, 0}, {100, 280, 199}, {100, 490, 400}, {100, 600, 0},
                              {500, 600, 109}, {100, 0, 0}})
        EXPECT_EQ(plot(v, x, px), uint32_t(idx)) << x << " " << px;
}

}  // namespace
