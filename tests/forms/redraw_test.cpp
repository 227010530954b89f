// Redraw rules: nothing changed draws nothing, value polling, hidden objects repainting their
// container, the periodic slot and checksums.
#include <atomic>
#include <functional>
#include <map>
#include <thread>

#include "assets/images.h"
#include "forms_fixture.h"
#include "gfx/draw.h"

namespace {

std::map<std::string, int> draws;
void count_draw() { draws[me->decl->name]++; }
bool hide_first = false;
uint8_t glyph_value = 0;
char text_value[64] = "text";
std::atomic<int32_t> polled{0};  // written by other threads while the page runs
int32_t written_mid_pass = 0;     // stored into `polled` after the label loaded it

const FORM_OBJECT redraw_table[] = {
    test_page("page"),
    label(1, "early", 10, 10, 60).on_draw(count_draw),
    form_line(1, TPanel, "panel", 0).at(100, 100).size(300, 200).colours(0xE0, 0, 0).frame(0).on_draw([] {
        count_draw();
        v_rectfillc(x_x - 1, y_y - 1, dx + 1, dy + 1, obj_bg());
    }),
    label(2, "first", 10, 10, 80).on_draw(count_draw).on_entry([] {
        if (hide_first) *me->visible = 0;
    }),
    label(2, "second", 10, 150, 80).on_draw(count_draw),
    // Declared after the panel and overlapping it.
    label(1, "over", 350, 120, 100).on_draw(count_draw),
    label(1, "poll", 600, 10, 60).bind(&polled, VT_DWORD).every(3).on_draw(count_draw).on_entry([] {
        if (written_mid_pass) polled = written_mid_pass;
    }),
    label(1, "fast", 600, 30, 60).every(1).on_draw(count_draw),
    label(1, "periodic", 600, 50, 60).flagged(OF_AUTOREFRESH).on_draw(count_draw),
    button("radio", 600, 70, 60, 16).frame(1).bind(&glyph_value, VT_BYTE).tag(3)
        .flagged(OF_AUTOREFRESH).on_draw(count_draw),
    form_line(1, TCheckbox, "box", 0).at(600, 100).size(16, 16).colours(255, 0, 0).font(0, 1, 1)
        .caption("box").bind(&glyph_value, VT_BYTE).enable().on_draw(count_draw),
    form_line(1, TBitmap, "pic", 0).at(600, 130).size(120, 120).colours(4, 0, 0).frame(6)
        .image(RLC1_ICO, 3).bind(&glyph_value, VT_BYTE).enable().on_draw(count_draw),
    form_line(1, TEdit, "field", 0).at(600, 300).size(80, 20).colours(255, 0, 0).frame(2).font(0, 1, 1)
        .caption("field").bind(text_value, VT_STRING).number(0, 9).flagged(OF_FOCUS | OF_EDIT).enable()
        .on_draw(count_draw),
};
TEST_FORM(redraw_form, redraw_table)

using Drawn = std::map<std::string, int>;
using Redraw = FormsTest;
OBJ* rec(const char* name) { return record(redraw_form_ptr, name); }

// Quiet passes draw only frequency 1 (every pass) and the periodic slot (one pass in 32,
// never for buttons); without them, nothing at all. Then each change redraws what it
// concerns within two passes, and nothing else; an object hidden by its handler is not drawn
// again. Then a value changed elsewhere redraws its label within frequency + 1 passes,
// whatever the pass it changes in. Another thread writing the word while the page runs: the
// label follows it and the page never writes back its loaded copy (a lost increment would
// show in the total), polled or not on a pass, redrawn or not.
TEST_F(Redraw, QuietPassesChangesAndWordsWrittenElsewhere) {
    hide_first = false;
    polled = written_mid_pass = glyph_value = 0;
    std::strcpy(text_value, "text");
    open(redraw_form, redraw_form_release);
    // The objects drawn in n passes.
    auto drawn_in = [&](int n) {
        draws.clear();
        passes(n);
        return std::exchange(draws, {});
    };
    // Passes until the page is quiet again (only the objects that redraw on their own).
    auto settle = [&] { drawn_in(3); };
    settle();
    EXPECT_EQ(drawn_in(64), (Drawn{{"fast", 64}, {"periodic", 2}}));
    rec("fast")->frequency = 0;  // the frequency is geometry: one page repaint
    rec("periodic")->autorefresh = 0;
    settle();
    EXPECT_EQ(passes(70), 0);
    struct Case { const char* what; std::function<void()> change; Drawn want; } const cases[] = {
        {"appearance: the object itself", [] { rec("second")->fontcolor = 3; }, {{"second", 1}}},
        {"a label's text is geometry: the parent and what lies on it",
         [] { rec("second")->caption = "changed"; }, {{"panel", 1}, {"first", 1}, {"second", 1}, {"over", 1}}},
        {"a button's frame style is not checked", [] { rec("radio")->align = 0; }, {}},
        // The bitmap's value, then its cell in the appearance checksum.
        {"bound value", [] { glyph_value = 2; }, {{"pic", 2}, {"box", 1}, {"radio", 1}}},
        {"bound text", [] { std::strcpy(text_value, "other"); }, {{"field", 1}}},
        {"bound text, letters swapped", [] { std::strcpy(text_value, "ohter"); }, {{"field", 1}}},
        {"bound text, one longer", [] { std::strcpy(text_value, "ohter "); }, {{"field", 1}}},
        // The container registers its own area and redraws on the next pass with the later
        // overlapping objects.
        {"hidden: its container and what lies on it", [] { hide_first = true; },
         {{"panel", 1}, {"second", 1}, {"over", 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        settle();
        c.change();
        EXPECT_EQ(drawn_in(2), c.want);
    }
    for (int offset = 0; offset < 8; offset++) {
        settle();
        passes(offset);
        draws.clear();
        std::thread([] { polled++; }).join();
        int n = 0;
        for (; draws["poll"] == 0 && n < 10; n++) pass();
        EXPECT_LE(n, 3 + 1) << "offset " << offset;
    }
    polled = 0;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 500; i++, std::this_thread::yield()) polled.fetch_add(1);
        done = true;
    });
    while (!done.load()) pass();
    writer.join();
    EXPECT_EQ(polled.load(), 500);
    for (int32_t i = 0; i < 8; i++) {
        polled = 100 + 2 * i;
        written_mid_pass = 101 + 2 * i;
        rec("poll")->fontcolor ^= 1;  // in a repaint region on every pass
        pass();
        EXPECT_EQ(polled.load(), written_mid_pass) << "pass " << i;
    }
}

}  // namespace
