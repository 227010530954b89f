// links: gfx assets
// Time to draw one 40-character line: the Unicode bitmap font T_Arial_Unicode_MS_12 over a
// transparent background (every anti-aliased pixel reads the screen), the same font on an
// opaque background, and the same line through TrueType (DejaVu Sans at the font's pixel
// size, rasterised anew for every glyph as the widgets do).
#include <benchmark/benchmark.h>

#include <cstring>

#include "assets/fonts.h"
#include "gfx/text.h"
#include "gfx/ttf.h"
#include "platform/framebuffer.h"

namespace {

const char* const LINE = "S11 -12.345 dB  phase 123.4 at 150 MHz.";  // 40 characters
const char* const DEJAVU = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

void ground() {
    dx_start();
    v_color(0, 0);
    v_rectfillc(0, 0, 600, 100, 0x33753C00);
}

void BM_UnicodeLine(benchmark::State& state, int background) {
    ground();
    v_setfontall(33, 1, 1, T_Arial_Unicode_MS_12);
    v_color(background, 0xFFFFFF00);
    for (auto _ : state) {
        v_locate(10, 40);
        v_print(LINE);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(strlen(LINE)));
}
BENCHMARK_CAPTURE(BM_UnicodeLine, transparent, 4);
BENCHMARK_CAPTURE(BM_UnicodeLine, opaque, 0x006F370C);

void BM_TrueTypeLine(benchmark::State& state) {
    ground();
    if (!get_font_for_path(DEJAVU)) {
        state.SkipWithError("DejaVu Sans is not installed");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(draw_text_ttf_font(10, 20, LINE, DEJAVU, 21.f, 0xFFFFFF00));
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(strlen(LINE)));
}
BENCHMARK(BM_TrueTypeLine);

}  // namespace

BENCHMARK_MAIN();
