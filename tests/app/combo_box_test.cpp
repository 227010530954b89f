// The port selector on a page that embeds it as the main page does (tag 1).
#include <gtest/gtest.h>

#include <cstring>

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
void page() { form_run(page_form, reinterpret_cast<void**>(&page_ptr)); }
void page_release() { form_release(page_form, reinterpret_cast<void**>(&page_ptr)); }

constexpr int ROW_Y = 36, PITCH = 19;  // row i of the open list at (19, 36 + 19 i), 63 x 17

// The page after the start-up scan found COM1 .. COM3 (COM4 .. COM20 lie beyond the list).
class ComboBox : public ::testing::Test, public FormDriver {
protected:
    void SetUp() override {
        start(page, page_release);
        for (int i = 0; i < COMBO_ITEMS; i++) snprintf(Co1->items[i], COMBO_TEXT, "COM%d", i + 1);
        Co1->numitems = 3, Co1->val = -1;
        passes(2);
    }
    void TearDown() override { stop(); }
    void toggle() { click(90, 22), passes(2); }  // the drop button
    // True when screen rows y .. y + h - 1 show nothing but the page.
    static bool bare(int y, int h) {
        const uint32_t* row = &dx_surface[y * dx_pitch];
        return std::all_of(row, row + h * dx_pitch, [](uint32_t p) { return p == 0xC0C0C0; });
    }
};

TEST_F(ComboBox, PickedRowClosesTheListAndShowsItsPortOnThePassAfter) {
    toggle();
    EXPECT_EQ(passes(5), 0);  // an open list redraws nothing while nothing changes
    expect_reference("app/combo_open", 0, 0, 120, 420);  // rows 0 .. 2 shown, 3 .. 19 not
    click(40, ROW_Y + 2 * PITCH + 8);
    EXPECT_EQ(std::tuple(int(Co1->active), int(Co1->val), std::string(Co1->text)), std::tuple(0, 2, "COM1"));
    pass();
    EXPECT_STREQ(Co1->text, "COM3");
    passes(2);
    expect_reference("app/combo_closed", 0, 0, 120, 420);
}

TEST_F(ComboBox, RowsLeavingAnOpenListAreErasedAndKeepTheirPorts) {
    toggle();
    press(40, ROW_Y + PITCH + 8);  // a key typed while picking row 1 is not typed into it
    pass();
    key('7');
    release();
    toggle();
    EXPECT_STREQ(Co1->items[1], "COM2");
    Co1->numitems = 0;
    passes(2);
    EXPECT_TRUE(bare(ROW_Y - 1, COMBO_ITEMS * PITCH));
    EXPECT_EQ(xcampi_dx[FormDriver::number_of(Co1->edit2) - 17], 0);  // nor can row 2 be picked
    EXPECT_EQ(passes(3), 0);
}

TEST_F(ComboBox, ChoiceCountAndWidthStayInTheirFields) {
    struct { int numitems, val, want_numitems, want_val; const char* want_text; } cases[] = {
        {3, -1, 3, 0, "COM1"}, {3, 7, 3, 0, "COM1"}, {0, -1, 0, 0, ""}, {25, 19, 20, 19, "COM20"}, {-4, 1, 0, 0, ""},
    };
    for (const auto& c : cases) {
        Co1->numitems = int8_t(c.numitems), Co1->val = int8_t(c.val);
        pass();
        EXPECT_EQ(std::tuple(int(Co1->numitems), int(Co1->val), std::string(Co1->text)),
                  std::tuple(c.want_numitems, c.want_val, c.want_text));
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
    combo_text(Co1, small, sizeof small);
    combo_text(nullptr, none, sizeof none);  // the page has not built the component yet
    EXPECT_EQ(std::tuple(std::strlen(Co1->text), std::string(small), std::string(none)),
              std::tuple(size_t(COMBO_TEXT - 1), "YYYY", ""));
}

}  // namespace
