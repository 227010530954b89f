// The plot engine on panels the size of the main page's plots.
#include <gtest/gtest.h>

#include <cmath>

#include "app/autoplot.h"
#include "forms/widgets.h"
#include "gfx/text.h"
#include "support/forms_driver.h"
#include "support/framebuffer_helpers.h"

namespace {

OBJ panel;
int x0, y0, dxh, dyh;  // the plot area of the last panel drawn

// Samples v in a w x h panel at (x, 50), the pointer pressed at (px, 100) (0: not pressed);
// returns the index under the cursor.
uint32_t plot(const std::vector<float>& v, int h = 188, float minx = 1, float maxx = 800, int x = 100,
              int px = -1) {
    FormDriver::setup();
    panel = OBJ{}, panel.width = 393, panel.height = int16_t(h), panel.color = 4;
    me = &panel, x_x = int16_t(x), y_y = 50, x0 = x + 4, y0 = 58, dxh = 353, dyh = h - 28;
    touch_premuto = px != 0, touch_x = px, touch_y = 100;
    return AutoPlot_Y2(v.data(), uint32_t(v.size()), 3, 252, 255, 146, obj_bg(), "F", 0, 0, minx, maxx);
}
// Grid rows from the bottom up, or inner grid columns from the left: more than half grey.
std::vector<int> grid(bool rows) {
    std::vector<int> out;
    for (int at = rows ? y0 + dyh : x0 + 1; rows ? at >= y0 : at < x0 + dxh; at += rows ? -1 : 1) {
        int grey = 0;
        for (int k = 0; k < (rows ? dxh : dyh); k++)
            grey += (rows ? fb_at(x0 + k, at) : fb_at(at, y0 + k)) == pall[146];
        if (grey > (rows ? dxh : dyh) / 2) out.push_back(at);
    }
    return out;
}
// Whether the band right of (or below) the area shows exactly these labels, one at each grid
// line from the bottom (or the left; "" for none): printed again on the cleared band, it
// looks the same.
bool labels(bool y_axis, const std::vector<std::string>& want) {
    const std::vector<int> at = grid(y_axis);
    if (at.size() < want.size() || (!y_axis && at.size() != want.size())) return false;
    const std::vector<uint32_t> shown = fb_snapshot();
    v_rectfillc(y_axis ? x0 + dxh + 1 : x0 - 8, y_axis ? y0 - 8 : y0 + dyh + 1, y_axis ? 60 : dxh + 9,
                y_axis ? dyh + 20 : 19, 0);  // each band clear of the other
    for (size_t i = 0; i < want.size(); i++) {
        v_locate(y_axis ? x0 + dxh + 2 : at[i] - 8, y_axis ? at[i] + 8 : y0 + dyh + 18);
        v_setfont(7, 1, 1), v_color(4, 255), v_printf("%s", want[i].c_str());
    }
    return fb_changes(shown).empty();
}
// Trace pixels (yellow) in a rectangle.
int yellow(int x, int y, int w, int h) {
    int n = 0;
    for (const uint32_t* row = &dx_surface[y * crtx + x]; row < &dx_surface[(y + h) * crtx]; row += crtx)
        n += int(std::count(row, row + w, pall[252]));
    return n;
}

// Ticks and labels for data ranges and frequency spans; fewer than 2 samples draw no trace
// (none not even a Y grid), non-finite samples do not count, n is bounded to the arrays.
TEST(AutoPlot, TicksLabelsAndCursor) {
    using Texts = std::vector<std::string>;
    const Texts tenths = {"-1", "-0.8", "-0.6", "-0.4", "-0.2", "0", "0.2", "0.4", "0.6", "0.8", "1"};
    std::vector<float> many(5000, 2.5f);
    many[0] = -3.5f, many[3000] = 1e6f;  // beyond the 2001 samples of a sweep
    struct Case { bool y; std::vector<float> v; int h; float minx, maxx; Texts want; } const cases[] = {
        {true, {-0.4f, 0.3f}, 188, 1, 800, tenths},  // with an exact 0
        {true, {-35.2f, -0.4f}, 188, 1, 800, {"-36", "-31", "-26", "-21", "-16", "-11", "-6", "-1"}},
        {true, {-35.2f, -0.4f}, 160, 1, 800, {"-36", "-26", "-16", "-6"}},  // doubled below 140 pixels
        {true, {-123456.5f, -23457}, 188, 1, 800, {"-12345", "-10345", "-83457", "-63457", "-43457", "-23457"}},
        {true, {0, 1e9f}, 188, 1, 800,
         {"-1", "1e+08", "2e+08", "3e+08", "4e+08", "5e+08", "6e+08", "7e+08", "8e+08", "9e+08", "1e+09"}},
        {true, {NAN, -0.4f, INFINITY, 0.3f, -INFINITY}, 188, 1, 800, tenths},
        {true, {}, 188, 1, 800, {}},
        {true, {0.5f}, 188, 1, 800, tenths},
        {true, many, 188, 1, 800, {"-4", "-3", "-2", "-1", "0", "1", "2", "3"}},
        {false, {}, 188, 1, 2000, {"200", "400", "600", "800", "1K.", "1200", "1400", "1600", "1800"}},
        {false, {}, 188, 1000, 1950, {"1100", "1200", "1300", "1400", "1500", "1600", "1700", "1800", "1900"}},
        {false, {}, 188, -5000, 99999, {"0", "10K.", "20K.", "30K.", "40K.", "50K.", "60K.", "70K.", "80K.", "90K."}},
        {false, {}, 188, 1, 4e6f, {"1M.", "2M.", "3M."}},
        {false, {}, 188, 1, 3000, {"", "400", "", "800", "", "1200", "", "1600", "", "2K.", "", "2400", "", "2800"}},
        {false, {}, 188, 800, 1, {}},
        {false, {}, 188, 0, INFINITY, {}},
    };
    for (const Case& c : cases) {
        fb_fill_all(0);
        plot(c.v, c.h, c.minx, c.maxx);
        const int inside = yellow(x0, y0, dxh + 1, dyh + 1), outside = yellow(x_x, y_y, 393, c.h) - inside;
        EXPECT_TRUE(grid(true).back() == y0 && labels(c.y, c.want)) << c.maxx << " " << c.want.size();
        EXPECT_EQ(std::pair(inside > 0, outside), std::pair(c.v.size() >= 2, 0)) << c.v.size();
    }
    EXPECT_EQ((plot({}, 188, -5000, 99999), grid(false).front()), x0 + 16);  // 0 at 5000 / 104999 of the width
    // The cursor index follows a press inside its panel; 0: the other panel lost its cursor.
    const std::vector<float> v(401, 1);
    for (auto [x, px, idx] : {std::array{100, 102, 0}, {100, 280, 199}, {100, 490, 400}, {100, 600, 0},
                              {500, 600, 109}, {100, 0, 0}})
        EXPECT_EQ(plot(v, 188, 1, 800, x, px), uint32_t(idx)) << x << " " << px;
}

}  // namespace
