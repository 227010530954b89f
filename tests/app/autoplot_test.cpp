// The plot engine's cursor on panels the size of the main page's plots (their grid, ticks,
// labels and traces are in the page's reference pictures).
#include <gtest/gtest.h>

#include "app/autoplot.h"
#include "forms/widgets.h"
#include "support/forms_driver.h"

namespace {

OBJ panel;

// 401 samples from 1 to 800 MHz in a 393 x 188 panel at (x, 50), the pointer pressed at
// (px, 100) (0: not pressed); returns the index under the cursor.
uint32_t plot(int x, int px) {
    const std::vector<float> v(401, 1);
    FormDriver::setup();
    panel = OBJ{};
    panel.width = 393;
    panel.height = 188;
    panel.color = 4;
    me = &panel;
    x_x = int16_t(x);
    y_y = 50;
    touch_premuto = px != 0;
    touch_x = px;
    touch_y = 100;
    return AutoPlot_Y2(v.data(), uint32_t(v.size()), 3, 252, 255, 146, obj_bg(), "F", 0, 0, 1, 800);
}

// The cursor index follows a press inside its panel; 0: the other panel lost its cursor.
TEST(AutoPlot, CursorFollowsThePressInItsPanel) {
    for (auto [x, px, idx] : {std::array{100, 102, 0}, {100, 280, 199}, {100, 490, 400}, {100, 600, 0},
                              {500, 600, 109}, {100, 0, 0}})
        EXPECT_EQ(plot(x, px), uint32_t(idx)) << x << " " << px;
}

}  // namespace
