// links: sim
// One sweep batch through the simulator alone: a 3-byte FIFO read out and 256 bytes back
// over the pseudo-terminal, from a plain termios client, with line pacing off and a
// measuring rate that never makes the host wait. The figure is the simulator's own share
// of the per-batch overhead (median and 99th percentile over the repetitions).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "sim/server.h"

namespace {

void roundtrip(benchmark::State& state)
{
    char tmpl[] = "/tmp/sim_bench_XXXXXX";
    std::string dir = mkdtemp(tmpl);
    sim::Options o;
    o.pace = false;
    o.rate = 1e9;
    o.link = dir + "/COM1";
    sim::Server server;
    std::string error;
    if (!server.start(o, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::thread t([&] { server.run(); });
    int fd = open(o.link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio;
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    const unsigned char setup[] = {0x21, 0x20, 0x91, 0x01, 0x20, 0x30, 0x00};
    if (write(fd, setup, sizeof setup) != ssize_t(sizeof setup)) state.SkipWithError("write failed");
    const unsigned char request[] = {0x18, 0x30, 0x08};
    unsigned char buf[256];
    std::vector<double> us;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        if (write(fd, request, sizeof request) != ssize_t(sizeof request)) break;
        size_t got = 0;
        while (got < sizeof buf) {
            ssize_t n = read(fd, buf + got, sizeof buf - got);
            if (n <= 0) break;
            got += size_t(n);
        }
        us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
        if (got != sizeof buf) {
            state.SkipWithError("short answer");
            break;
        }
    }
    close(fd);
    server.stop();
    t.join();
    std::filesystem::remove_all(dir);
    if (!us.empty()) {
        std::sort(us.begin(), us.end());
        state.counters["median_us"] = us[us.size() / 2];
        state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
    }
}

BENCHMARK(roundtrip)->UseRealTime()->Iterations(5000);

}  // namespace

BENCHMARK_MAIN();
