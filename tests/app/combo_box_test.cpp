// The port selector on a page that embeds it as the main page does (tag 1).
#include <gtest/gtest.h>

#include "app/combo_box.h"
#include "app/style.h"
#include "forms/widgets.h"
#include "support/forms_driver.h"
#include "support/reference_image.h"

namespace {

FORM_HEAD* page_ptr = nullptr;
const FORM_OBJECT page_table[] = {
    form_head(TPage, "page", sizeof(FORM_HEAD)).size(1024, 600).colours(PAGE_GREY, BLACK, BLACK),
    form_line(1, TPanel, "Co1", 0).at(16, 12).caption("object1").tag(1)
        .component(&combo_box_form, reinterpret_cast<void**>(&Co1)),
};
const FORM page_form(page_table);

constexpr int ROW_Y = 36, PITCH = 19;  // row i of the open list at (19, 36 + 19 i), 63 x 17
constexpr uint32_t PAGE = 0xC0C0C0;

// The page after the start-up scan found COM1 .. COM3 (COM4 .. COM20 lie beyond the list).
class ComboBox : public ::testing::Test, public FormDriver {
protected:
    void SetUp() override {
        start([] { form_run(page_form, reinterpret_cast<void**>(&page_ptr)); },
              [] { form_release(page_form, reinterpret_cast<void**>(&page_ptr)); });
        for (int i = 0; i < COMBO_ITEMS; i++) snprintf(Co1->items[i], COMBO_TEXT, "COM%d", i + 1);
        Co1->numitems = 3, Co1->val = -1;
        passes(2);
    }
    void TearDown() override { stop(); }
    void toggle() { click(90, 22), passes(2); }  // the drop button
    std::tuple<int, int, std::string> choice() { return {Co1->numitems, Co1->val, Co1->text}; }
};

// A picked row closes the list and shows its port on the pass after; rows that leave an open
// list are erased, keep their ports and cannot be picked; a key typed while picking is not typed.
TEST_F(ComboBox, PickedAndLeavingRows) {
    toggle();
    EXPECT_EQ(passes(5), 0);  // an open list redraws nothing while nothing changes
    expect_reference("app/combo_open", 0, 0, 120, 420);  // rows 0 .. 2 shown, 3 .. 19 not
    click(40, ROW_Y + 2 * PITCH + 8);
    EXPECT_EQ(std::tuple(int(Co1->active), std::string(Co1->text)), std::tuple(0, "COM1"));
    pass();
    EXPECT_EQ(choice(), std::tuple(3, 2, "COM3"));
    passes(2);
    expect_reference("app/combo_closed", 0, 0, 120, 420);
    toggle();
    press(40, ROW_Y + PITCH + 8), pass(), key('7'), release();
    toggle();
    Co1->numitems = 0;
    passes(2);
    const uint32_t* rows = &dx_surface[(ROW_Y - 1) * dx_pitch];
    EXPECT_TRUE(std::all_of(rows, rows + COMBO_ITEMS * PITCH * dx_pitch, [](uint32_t p) { return p == PAGE; }));
    EXPECT_EQ((std::tuple{std::string(Co1->items[1]), xcampi_dx[FormDriver::number_of(Co1->edit2) - 17],
                          passes(3)}),
              std::tuple("COM2", 0, 0));
}

TEST_F(ComboBox, ChoiceCountAndWidthStayInTheirFields) {
    for (auto [n, val, want] : {std::tuple(3, 7, std::tuple(3, 0, "COM1")), {0, -1, {0, 0, ""}},
                                {25, 19, {20, 19, "COM20"}}, {-4, 1, {0, 0, ""}}}) {
        Co1->numitems = int8_t(n), Co1->val = int8_t(val);
        pass();
        EXPECT_EQ(choice(), want) << n;
    }
    for (auto [tag, w] : {std::pair{0, 9}, {12, 12}, {200, 31}}) {  // tag 1 is the reference pictures'
        Co1->Form->tag = uint16_t(tag);
        passes(2);
        EXPECT_EQ(std::tuple(int(Co1->Form->tag), int(Co1->edit1->width), int(Co1->edit1->digits),
                             int(Co1->panel1->width), int(Co1->button1->left)),
                  std::tuple(w, 7 * w, w, 7 * w + 21, 7 * w + 3));
    }
    std::memset(Co1->items[0], 'Y', COMBO_TEXT);  // a field filled to its end
    Co1->numitems = 1, Co1->val = -1;
    pass();
    char small[5], none[5] = "x";
    combo_text(Co1, small, sizeof small), combo_text(nullptr, none, sizeof none);  // none: not built yet
    EXPECT_EQ(std::tuple(std::strlen(Co1->text), std::string(small), std::string(none)),
              std::tuple(size_t(COMBO_TEXT - 1), "YYYY", ""));
}

}  // namespace
