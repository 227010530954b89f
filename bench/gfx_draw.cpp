// links: platform gfx assets
// Decoding and drawing the Smith chart image, and the throughput of the stepping line.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "assets/images.h"
#include "gfx/draw.h"
#include "gfx/image.h"
#include "platform/display.h"

static void BM_SmithChartPaint(benchmark::State& state) {
    headless_start();
    v_color(4, 4);
    v_locate(20, 55);
    for (auto _ : state) v_paints(SMITHBLACK400_ICO, 0);
    state.SetItemsProcessed(int64_t(state.iterations()) * 400 * 400);
}
BENCHMARK(BM_SmithChartPaint);

// Lines of every direction up to 200 pixels long inside the visible screen; items are
// pixels drawn.
static void BM_Linec(benchmark::State& state) {
    headless_start();
    std::srand(1);
    struct Line {
        int x, y, dx, dy;
    };
    std::vector<Line> lines(1024);
    int64_t pixels = 0;
    for (Line& l : lines) {
        l = {200 + std::rand() % 600, 200 + std::rand() % 200, std::rand() % 401 - 200, std::rand() % 401 - 200};
        pixels += std::max(std::abs(l.dx), std::abs(l.dy)) + 1;
    }
    for (auto _ : state)
        for (const Line& l : lines) v_linec(l.x, l.y, l.dx, l.dy, 252);
    state.SetItemsProcessed(int64_t(state.iterations()) * pixels);
}
BENCHMARK(BM_Linec);

static void BM_LinecAntialias(benchmark::State& state) {
    headless_start();
    for (auto _ : state) v_linec_antialias(100.f, 100.f, 300.f, 120.5f, 252, 2.0f);
    state.SetItemsProcessed(int64_t(state.iterations()) * 300);
}
BENCHMARK(BM_LinecAntialias);

BENCHMARK_MAIN();
