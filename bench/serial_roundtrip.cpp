// links: platform
//
// Round trip of one sweep batch through the serial layer: a 3-byte FIFO request (0x18,
// 0x30, 8) out through com_txsl and the transmit pump, and the 256-byte answer back in
// through the receive pump and com_rx, against vna-sim without line pacing and with a
// measurement rate high enough that the answer never waits for the instrument. What is
// left is the per-batch overhead of the layer on top of the line time.
//
// Reports the median and 99th percentile of the single round trips as counters.
// vna-sim is taken from $VNA_SIM, else from ../sim/vna-sim beside this program's folder.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/serial.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int RECORD = 32;
constexpr int BATCH = 8;
constexpr uint16_t POINTS = 401;

// The simulator as a child process, linked as ports/COM1 in a folder of its own.
class Simulator {
public:
    bool start() {
        const char* env = std::getenv("VNA_SIM");
        const fs::path exe =
            env ? fs::path(env) : fs::read_symlink("/proc/self/exe").parent_path() / "../sim/vna-sim";
        if (!fs::exists(exe)) {
            error_ = "vna-sim not found at " + exe.string() + " (set VNA_SIM)";
            return false;
        }
        dir_ = fs::temp_directory_path() / ("serial_bench." + std::to_string(getpid()));
        fs::create_directories(dir_);
        const std::string link = (dir_ / "ports" / "COM1").string();
        const std::string exe_s = exe.string();
        std::vector<const char*> argv = {exe_s.c_str(), "--no-pace", "--rate", "1000000000",
                                         "--link", link.c_str(), nullptr};
        int out[2];
        if (pipe(out) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        const int spawned = posix_spawn(&pid_, exe_s.c_str(), &actions, nullptr,
                                        const_cast<char**>(argv.data()), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        if (spawned != 0) {
            close(out[0]);
            error_ = "cannot start vna-sim";
            return false;
        }
        // The first line is the terminal's path; the link exists once it is printed.
        std::string line;
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
        close(out[0]);
        if (line.empty() || !fs::exists(link)) {
            error_ = "vna-sim printed no terminal";
            return false;
        }
        return true;
    }

    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        if (!dir_.empty()) fs::remove_all(dir_);
    }

    const fs::path& dir() const { return dir_; }
    const std::string& error() const { return error_; }

private:
    pid_t pid_ = -1;
    fs::path dir_;
    std::string error_;
};

Simulator simulator;

int send(const std::vector<uint8_t>& bytes) {
    return com_txsl(&com3, bytes.data(), int(bytes.size()));
}

// Takes n bytes from the receive ring, yielding while it is empty; false after 2 s.
bool take(uint8_t* dst, int n) {
    const auto end = Clock::now() + std::chrono::seconds(2);
    for (int got = 0; got < n;) {
        const int b = com_rx(&com3);
        if (b >= 0) {
            dst[got++] = uint8_t(b);
        } else {
            if (Clock::now() > end) return false;
            std::this_thread::yield();
        }
    }
    return true;
}

std::string connect() {
    const fs::path start = fs::current_path();
    fs::current_path(simulator.dir());
    assign_com(&com3, "COM1");
    const int opened = com_open(&com3, 115200);
    fs::current_path(start);
    if (opened != 0) return "com_open failed";
    protocol_mode(&com3, 0);
    uint8_t answer = 0;
    if (send({0x0D}) != 0 || !take(&answer, 1) || answer != '2') return "no device check answer";
    // 401 points from 1 MHz in 1 MHz steps, sweep restarted at point 0.
    const std::vector<uint8_t> setup = {0x23, 0x00, 0x40, 0x42, 0x0F, 0, 0, 0, 0, 0,
                                        0x23, 0x10, 0x40, 0x42, 0x0F, 0, 0, 0, 0, 0,
                                        0x21, 0x20, POINTS & 0xFF, POINTS >> 8,
                                        0x20, 0x40, 1,
                                        0x20, 0x30, 0};
    if (send(setup) != 0) return "set-up not queued";
    return "";
}

void BM_BatchRoundTrip(benchmark::State& state) {
    static const std::string failure = connect();
    if (!failure.empty()) {
        state.SkipWithError(failure.c_str());
        return;
    }
    const std::vector<uint8_t> request = {0x18, 0x30, BATCH};
    uint8_t answer[BATCH * RECORD];
    std::vector<double> us;
    us.reserve(size_t(state.max_iterations));
    for (auto _ : state) {
        const auto t0 = Clock::now();
        if (send(request) != 0 || !take(answer, sizeof answer)) {
            state.SkipWithError("batch not answered");
            return;
        }
        const double dt = std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(dt);
        us.push_back(dt * 1e6);
        // The records of one batch are consecutive points of the sweep (between batches
        // the instrument's FIFO overflows at this rate, so later batches skip ahead).
        for (int r = 0, expect_point = -1; r < BATCH; r++) {
            const int point = answer[r * RECORD + 24] | (answer[r * RECORD + 25] << 8);
            if (point >= POINTS || (expect_point >= 0 && point != expect_point)) {
                state.SkipWithError("records out of order");
                return;
            }
            expect_point = (point + 1) % POINTS;
        }
    }
    std::sort(us.begin(), us.end());
    state.counters["median_us"] = us[us.size() / 2];
    state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
    state.counters["max_us"] = us.back();
    state.counters["errors"] = double(com3.errors.load());
    state.SetBytesProcessed(int64_t(state.iterations()) * (3 + BATCH * RECORD));
}
BENCHMARK(BM_BatchRoundTrip)->UseManualTime()->Iterations(20000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!simulator.start()) {
        std::fprintf(stderr, "serial_roundtrip: %s\n", simulator.error().c_str());
        simulator.stop();
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    com_close(&com3);
    simulator.stop();
    benchmark::Shutdown();
    return 0;
}
