// links: platform
// Cost of the refresh hand-over: nothing changed (no copy) and a whole changed screen.
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
