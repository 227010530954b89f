// The port selector on a page that embeds it as the main page does (tag 1).
#include <gtest/gtest.h>

#include <cstring>

#include "app/combo_box.h"
#include "app/style.h"
#include "forms/widgets.h"
#include "support/forms_driver.h"

namespace {

FORM_HEAD* page_ptr = nullptr;
const FORM_OBJECT page_table[] = {
    form_head(TPage, "page", sizeof(FORM_HEAD)).size(1024, 600).colours(PAGE_GREY, BLACK, BLACK),
    form_line(1, TPanel, "Co1", 0).at(16, 12).caption("object1").tag(1)
        .component(&combo_box_form, reinterpret_cast<void**>(&Co1)),
};
const FORM page_form(page_table);

// The page after the start-up scan found COM1 .. COM3 (COM4 .. COM20 lie beyond the list).
class ComboBox : public ::testing::Test, public FormDriver {
protected:
    void SetUp() override {
        start([] { form_run(page_form, reinterpret_cast<void**>(&page_ptr)); },
              [] { form_release(page_form, reinterpret_cast<void**>(&page_ptr)); });
        for (int i = 0; i < COMBO_ITEMS; i++) snprintf(Co1->items[i], COMBO_TEXT, "COM%d", i + 1);
        Co1->numitems = 3;
        Co1->val = -1;
        passes(2);
    }
    void TearDown() override { stop(); }
};

TEST_F(ComboBox, ChoiceCountAndTextStayInTheirFields) {
    for (auto [n, val, want] : {std::tuple(3, 7, std::tuple(3, 0, "COM1")), {0, -1, {0, 0, ""}},
                                {25, 19, {20, 19, "COM20"}}, {-4, 1, {0, 0, ""}}}) {
        Co1->numitems = int8_t(n);
        Co1->val = int8_t(val);
        pass();
        EXPECT_EQ(std::tuple(int(Co1->numitems), int(Co1->val), std::string(Co1->text)), want) << n;
    }
    std::memset(Co1->items[0], 'Y', COMBO_TEXT);  // a field filled to its end
    Co1->numitems = 1;
    Co1->val = -1;
    pass();
    char small[5];
    combo_text(Co1, small, sizeof small);
    EXPECT_EQ(std::tuple(std::strlen(Co1->text), std::string(small)), std::tuple(size_t(COMBO_TEXT - 1), "YYYY"));
}

}  // namespace
