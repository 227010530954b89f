// links: platform
// Cost of the refresh hand-over: nothing changed (no copy), the rows of one label changed
// (only they are copied), and a whole changed screen (what every hand-over copied before
// only changed rows were handed over).
#include <benchmark/benchmark.h>

#include "platform/display.h"
#include "platform/framebuffer.h"

static void BM_RefreshUnchanged(benchmark::State& state) {
    headless_start();
    fb_touch();
    dx_refresh();
    uint64_t frames = display_frames();
    for (auto _ : state) benchmark::DoNotOptimize(dx_refresh());
    if (display_frames() != frames) state.SkipWithError("a frame was handed over without a change");
}
BENCHMARK(BM_RefreshUnchanged);

// A status label's text: 28 rows of the status bar.
static void BM_RefreshOneLabel(benchmark::State& state) {
    headless_start();
    int k = 0;
    for (auto _ : state) {
        v_fastfill(279, 561, 416, 28, (k++ & 1) ? 255 : 0);
        benchmark::DoNotOptimize(dx_refresh());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * crtx * 28 * 4);
}
BENCHMARK(BM_RefreshOneLabel);

static void BM_RefreshWholeScreen(benchmark::State& state) {
    headless_start();
    for (auto _ : state) {
        fb_touch();
        benchmark::DoNotOptimize(dx_refresh());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * crtx * crty * 4);
}
BENCHMARK(BM_RefreshWholeScreen);

BENCHMARK_MAIN();
