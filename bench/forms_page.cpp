// links: forms
// One pass of a page of about 120 objects laid out like the main page (top row of buttons
// and fields, calibration panel, tabbed measurement area with a 400 x 400 chart, marker bar
// with readouts, status bar, a closed drop-down list): with nothing changed, with one bound
// label changing (and the same with the whole screen handed over, as before only changed
// rows were), and with the whole page redrawn. Headless: no per-pass sleep.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <vector>

#include "assets/fonts.h"
#include "assets/images.h"
#include "forms/edit.h"
#include "forms/object.h"
#include "forms/page.h"
#include "forms/table.h"
#include "forms/widgets.h"
#include "platform/display.h"
#include "platform/framebuffer.h"
#include "platform/input.h"

namespace {

constexpr int MEMBERS = 160;
struct BenchStruct {
    FORM_HEAD head;
    OBJ* o[MEMBERS];
};
BenchStruct* bench_ptr = nullptr;

uint8_t tab = 1, bytes[32];
float f_start = 1.0f, f_stop = 800.0f, readouts[2001];
uint16_t points = 401;
int32_t counter = 0, quale = 0;
char status[128] = "Not connected";
char list_items[20][32];

std::vector<FORM_OBJECT> lines;
int next_member = 0;

FORM_OBJECT& add(int depth, obj_kind_fn kind) {
    lines.push_back(form_line(depth, kind, "o", uint32_t(offsetof(BenchStruct, o) + sizeof(OBJ*) * size_t(next_member++))));
    return lines.back();
}
FORM_OBJECT& add_last() { return lines.back(); }
void set(const FORM_OBJECT& l) { lines.back() = l; }
void button(int depth, int x, int y, int w, int h, const char* caption) {
    add(depth, TButton);
    set(add_last().at(x, y).size(w, h).colours(146, 0, 0).frame(3).font(33, 2, 8, T_Arial_Unicode_MS_12)
            .caption(caption).bind(&bytes[next_member % 32], VT_BYTE).tag(1).enable());
}
void label(int depth, int x, int y, int w, int h, const char* caption, uint32_t colour = 4) {
    add(depth, TLabel);
    set(add_last().at(x, y).size(w, h).colours(colour, 0, 0xFFFF00FC).font(33, 2, 8, T_Arial_Unicode_MS_12)
            .caption(caption));
}
void panel(int depth, int x, int y, int w, int h, uint32_t colour, int align = 0) {
    add(depth, TPanel);
    set(add_last().at(x, y).size(w, h).colours(colour, 0, 0).frame(align).flagged(OF_FOCUS));
}
void edit(int depth, int x, int y, void* var, uint8_t type, int dec, int dig, bool enabled = true) {
    add(depth, TEdit);
    set(add_last().at(x, y).size(63, 22).colours(255, 0, 0).frame(2).font(33, 2, 8, T_Arial_Unicode_MS_12)
            .caption("unit").bind(var, type).number(dec, dig).flagged(OF_FOCUS | OF_EDIT).enable(enabled));
}
void check(int depth, int x, int y, const char* caption) {
    add(depth, TCheckbox);
    set(add_last().at(x, y).size(20, 20).colours(255, 0, 0).font(0, 1, 1).caption(caption)
            .bind(&bytes[next_member % 32], VT_BYTE).enable());
}
void bitmap(int depth, int x, int y, int w, int h, const uint8_t* image, int cells) {
    add(depth, TBitmap);
    set(add_last().at(x, y).size(w, h).colours(4, 0, 0).frame(6).image(image, cells).bind(&bytes[1], VT_BYTE).enable());
}
void* readout(int) { return &readouts[quale]; }

void build() {
    if (!lines.empty()) return;
    lines.reserve(200);
    lines.push_back(form_head(TPage, "page1", sizeof(BenchStruct)).size(1024, 600).colours(0xC0C0C0DB, 0, 0)
                        .font(0, 1, 1));
    label(1, 8, 8, 40, 8, "page1");
    button(1, 156, 12, 112, 24, "CONNECT");
    button(1, 280, 12, 116, 24, "DISCONNECT");
    panel(1, 15, 560, 996, 32, 0xC0C0C0DB);
    label(2, 264, 1, 416, 28, status, 0xC0C0C0DB);
    set(add_last().bind(&counter, VT_DWORD));
    edit(2, 8, 4, &counter, VT_DWORD, 0, 5, false);
    edit(2, 148, 4, &counter, VT_DWORD, 0, 5);
    edit(1, 856, 12, &f_start, VT_REAL, 2, 7);
    edit(1, 856, 44, &f_stop, VT_REAL, 2, 7);
    edit(1, 856, 76, &points, VT_UWORD, 0, 7);
    panel(1, 852, 208, 157, 336, 0xC0C0C0DB);
    for (int i = 0; i < 8; i++) button(2, 8, 8 + 40 * i, 72, 32, "CAL");
    for (int i = 0; i < 5; i++) check(2, 96, 12 + 40 * i, " ");
    button(1, 408, 12, 112, 24, "SCAN");
    button(1, 636, 12, 88, 24, "STOP");
    panel(1, 16, 48, 816, 501, 0x005E2F08);
    panel(2, 4, 4, 807, 432, 0x005E2F08, 6);
    for (int t = 0; t < 5; t++) {
        add(3, TButton);
        set(add_last().at(1 + 162 * t, 1).size(158, 16).colours(0x005E2F08, 0, 0xFFFF00FC).frame(1).font(10, 10, 24)
                .caption("TAB").bind(&tab, VT_BYTE).tag(t + 1).flagged(OF_AUTOREFRESH).enable(t < 3));
        panel(3, 1, 21, 805, 410, 4, 6);
        set(add_last().bind(&tab, VT_BYTE).tag(t + 1).on_entry(switch_page));
        if (t == 0) {
            bitmap(4, 4, 7, 400, 400, SMITHBLACK400_ICO, 1);
            panel(5, 198, 197, 191, 36, 4, 4);
            panel(4, 408, 8, 393, 188, 4);
            label(5, 9, 10, 56, 21, "PHASE");
            panel(4, 409, 208, 391, 199, 4);
            label(5, 8, 8, 35, 21, "ROS");
        } else if (t == 1) {
            panel(4, 4, 8, 796, 141, 4);
            label(5, 12, 8, 56, 21, "PHASE");
            panel(4, 4, 160, 796, 244, 4);
            label(5, 16, 16, 0, 18, " ");
            label(5, 12, 12, 40, 21, "GAIN");
        } else if (t == 2) {
            bitmap(4, 66, 76, 120, 120, RLC1_ICO, 3);
            edit(4, 48, 188, &readouts[0], VT_REAL, 1, 5, false);
            label(4, 164, 190, 51, 37, "???");
            bitmap(4, 484, 92, 300, 261, RLC_BRIDGE_ICO, 1);
            for (int i = 0; i < 5; i++) label(4, 44, 292 + 24 * i, 125, 21, "limits");
            edit(4, 124, 232, &readouts[1], VT_REAL, 2, 7, false);
            panel(4, 24, 20, 756, 48, 0x33753C2C, 6);
            label(5, 24, -4, 589, 50, "RLC bridge");
            panel(4, 28, 80, 236, 320, 0x005E2F08, 6);
            bitmap(5, 84, 172, 122, 76, CCC_ICO, 1);
            label(5, 88, 260, 108, 28, "SMD probe");
            bitmap(5, 4, 4, 224, 156, AAAA_ICO, 1);
            label(5, 84, 96, 115, 33, "SMD Test");
        }
    }
    panel(3, 1, 435, 800, 55, 0x006F370C);
    panel(4, 132, 16, 6, 6, 0xFFFF00FC, 6);
    for (int i = 0; i < 8; i++) {
        add(4, TEdit);
        set(add_last().at(168 * (i / 2), 10 + 20 * (i % 2)).size(72, 22).colours(0x006F370C, 0xFFFF00FC, 0xFFFF00FC)
                .frame(6).font(33, 2, 8, T_Arial_Unicode_MS_12).caption("MHz.").bind_at(readout, VT_REAL).number(3, 8)
                .flagged(OF_FOCUS | OF_EDIT));
    }
    check(4, 748, 20, "ok");
    // The port selector: a closed list of 20 rows declared from one clone line.
    panel(1, 16, 12, 84, 18, 4, 6);
    panel(2, 2, 2, 84, 18, 4, 6);
    edit(3, 1, 1, list_items[0], VT_STRING, 0, 9);
    button(3, 66, 2, 17, 15, "t");
    panel(3, 2, 21, 64, 376, 4, 6);
    set(add_last().on_entry([] { *me->visible = 0; }));
    edit(4, -1, 1, list_items[0], VT_STRING, 0, 9);
    set(add_last().flagged(OF_CLONE | OF_FOCUS | OF_EDIT).repeated(20, 0, 19));
    button(1, 740, 12, 84, 24, "EXIT");
    check(1, 533, 14, "continue");
    label(1, 108, 13, 37, 21, "COM");
    panel(1, 856, 143, 64, 21, 0x005E2F08, 2);
    label(2, 8, 4, 40, 18, "FASE");
    panel(1, 856, 175, 64, 21, 0x005E2F08, 2);
    label(2, 8, 1, 40, 18, "FASE");
    bitmap(1, 930, 142, 54, 56, PANELS_ICO, 1);
    panel(1, 172, 608, 380, 188, 4);
    label(2, 9, 10, 35, 18, "FASE");
    check(1, 856, 108, "slow");
    for (int i = 0; i < 4; i++) label(1, 24 + 270 * i, 170, 0, 0, "hidden");
}

double benchmark_now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void bench_form() { form_run(FORM(lines.data(), int(lines.size())), reinterpret_cast<void**>(&bench_ptr)); }

void start() {
    static bool started = false;
    if (started) return;
    started = true;
    build();
    headless_start();
    fonts_install();
    _tastiera = 1;
    _doubleclick = 1;
    Loadpage(bench_form);
    page_address = bench_form;
    page_reset = 0;
    edit_page_init();
    for (int i = 0; i < 40; i++) edit_page_loop();
    // CORVANE_BENCH_PNG=file saves the page as the benchmark draws it.
    if (const char* png = std::getenv("CORVANE_BENCH_PNG")) headless_write_png(png);
}

// Runs passes with a change made before each. Besides the whole pass it reports the
// declaration pass alone (do_page) and the frame hand-over alone (dx_refresh, which copies
// the rows drawn since the hand-over before). The hand-over is called here just ahead of the
// pass, which then finds nothing left to hand over: the same work, timed apart.
template <class Change>
void run_passes(benchmark::State& state, Change change) {
    start();
    double declaration = 0, refresh = 0;
    for (auto _ : state) {
        change();
        const double t0 = benchmark_now();
        dx_refresh();
        refresh += benchmark_now() - t0;
        edit_page_loop();
        declaration += _t_page;
    }
    state.counters["objects"] = num_cam;
    state.counters["do_page_us"] = benchmark::Counter(declaration * 1e6, benchmark::Counter::kAvgIterations);
    state.counters["refresh_us"] = benchmark::Counter(refresh * 1e6, benchmark::Counter::kAvgIterations);
}

void BM_PassNothingChanged(benchmark::State& state) {
    run_passes(state, [] {});
}
BENCHMARK(BM_PassNothingChanged);

void BM_PassOneLabelChanges(benchmark::State& state) {
    run_passes(state, [] { counter++; });
}
BENCHMARK(BM_PassOneLabelChanges);

// The same pass with the whole screen handed over, as every hand-over did before only the
// changed rows were: the difference is what the row tracking saves.
void BM_PassOneLabelChangesWholeScreenHandOver(benchmark::State& state) {
    run_passes(state, [] {
        counter++;
        fb_touch();
    });
}
BENCHMARK(BM_PassOneLabelChangesWholeScreenHandOver);

void BM_PassFullRedraw(benchmark::State& state) {
    // The page registers its whole area on every pass: everything redraws.
    run_passes(state, [] { obj_stat[1].vishold = 0; });
}
BENCHMARK(BM_PassFullRedraw);

}  // namespace

BENCHMARK_MAIN();
