// links: app
// One pass of the main page with 2001-point traces: the S11 tab (Smith chart and both plots)
// and the S21 tab (both plots), beside a pass of the RLC tab without a result, where
// nothing changes. Headless: no per-pass sleep.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>

#include "app/page1.h"
#include "app/start.h"
#include "app/traces.h"
#include "forms/page.h"
#include "platform/display.h"
#include "vna/device.h"

namespace {

// A capacitor-like reflection turning once round the chart, and a falling transmission.
void fill_sweep() {
    vna_points = VNA_MAX_POINTS;
    for (int k = 0; k < VNA_MAX_POINTS; k++) {
        const double t = double(k) / (VNA_MAX_POINTS - 1), angle = -2 * M_PI * t;
        vna_frequency[k] = uint64_t(1e6 + t * 799e6);
        vna_s11_re[k] = float(0.95 * std::cos(angle));
        vna_s11_im[k] = float(0.95 * std::sin(angle));
        vna_s21_re[k] = float((1 - 0.9 * t) * std::cos(3 * angle));
        vna_s21_im[k] = float((1 - 0.9 * t) * std::sin(3 * angle));
    }
    vna_acquired = VNA_MAX_POINTS;
    vna_data_valid = 1;
}

void start() {
    static bool started = false;
    if (started) return;
    started = true;
    headless_start();
    start_program();
    fill_sweep();
    page_address = form_page1;
    page_reset = 0;
    edit_page_init();
    for (int i = 0; i < 20; i++) edit_page_loop();
}

// Passes on one tab, with both S11 plots shown (the second is hidden at start).
void run_tab(benchmark::State& state, int tab) {
    start();
    page1_switch34 = int16_t(tab);
    MB22 = 0;
    vna_data_valid = 0;  // the RLC view would evaluate a completed sweep and ask for the next
    for (int i = 0; i < 5; i++) edit_page_loop();
    if (const char* png = std::getenv("CORVANE_BENCH_PNG")) headless_write_png(png);
    double declaration = 0;
    for (auto _ : state) {
        if (tab == 2) vna_data_valid = 1;  // the S21 level plot draws after a completed sweep
        edit_page_loop();
        declaration += _t_page;
    }
    state.counters["do_page_us"] = benchmark::Counter(declaration * 1e6, benchmark::Counter::kAvgIterations);
}

void BM_PassS11Tab(benchmark::State& state) { run_tab(state, 1); }
BENCHMARK(BM_PassS11Tab)->Unit(benchmark::kMillisecond);
void BM_PassS21Tab(benchmark::State& state) { run_tab(state, 2); }
BENCHMARK(BM_PassS21Tab)->Unit(benchmark::kMillisecond);
void BM_PassNothingChanged(benchmark::State& state) { run_tab(state, 3); }
BENCHMARK(BM_PassNothingChanged)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
