// links: vna platform
// Whole sweeps through the measurement core against vna-sim at the real line rate
// (115200 baud 8N1): SCAN posted, the command task sweeping, the time until it is done.
// The figure that matters is `line_ratio`: sweep time over the time the answer bytes need
// on the line (batches × 256 bytes / 11520 bytes/s); 1.00 is the line's own limit.
// Batches are counted on the device's side (its trace of FIFO reads). The simulator
// measures 1000 points a second, a little more than the line can carry, so records are
// always ready and its FIFO never overflows: every batch brings eight new points.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/tasks.h"
#include "vna/device.h"
#include "vna/handlers.h"

namespace {

// vna-sim, paced, beside this program's folder in the build tree.
class Simulator {
public:
    Simulator() {
        char self[PATH_MAX] = {};
        if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return;
        const std::string program =
            (std::filesystem::path(self).parent_path().parent_path() / "sim" / "vna-sim").string();
        char tmpl[] = "/tmp/vna_bench_XXXXXX";
        if (!mkdtemp(tmpl)) return;
        dir_ = tmpl;
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            const std::string link = dir_ + "/COM1";
            const std::string trace = dir_ + "/trace.txt";
            if (!freopen(trace.c_str(), "w", stderr)) _exit(127);
            execl(program.c_str(), program.c_str(), "--link", link.c_str(), "--dut", "r 22", "--rate",
                  "1000", "--trace", static_cast<char*>(nullptr));
            _exit(127);
        }
        ::close(out[1]);
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n') tty_ += c;
        ::close(out[0]);
    }
    ~Simulator() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }
    const std::string& tty() const { return tty_; }
    // FIFO reads the device has answered so far.
    long fifo_reads() const {
        FILE* f = std::fopen((dir_ + "/trace.txt").c_str(), "r");
        if (!f) return 0;
        long n = 0;
        char line[256];
        while (std::fgets(line, sizeof line, f))
            if (std::strstr(line, "read FIFO")) n++;
        std::fclose(f);
        return n;
    }

private:
    std::string dir_, tty_;
    pid_t pid_ = -1;
};

// Posts code and waits until the task has done it; the command's result.
int run(int code) {
    const uint32_t before = vna_commands_done.load();
    if (!vna_post(code)) return 0;
    while (vna_commands_done.load() == before) std::this_thread::sleep_for(std::chrono::microseconds(200));
    return vna_last_result.load();
}

void sweep(benchmark::State& state) {
    Simulator sim;
    if (sim.tty().rfind("/dev/", 0) != 0) {
        state.SkipWithError("vna-sim did not start");
        return;
    }
    std::snprintf(vna_port_name, sizeof vna_port_name, "%s", sim.tty().c_str());
    const unsigned task = exec_task_hidden(vna_task, nullptr, 0);
    const uint16_t points = uint16_t(state.range(0));
    vna_points.store(points);
    if (run(VNA_CMD_CONNECT) != 1) {
        state.SkipWithError("connect failed");
    } else {
        double total_s = 0;
        long md777 = 0;
        const long reads_before = sim.fifo_reads();
        for (auto _ : state) {
            const auto t0 = std::chrono::steady_clock::now();
            if (run(VNA_CMD_SCAN) != 1) {
                state.SkipWithError("sweep failed");
                break;
            }
            const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            state.SetIterationTime(s);
            total_s += s;
            md777 = MD777.load();
        }
        const double sweeps = double(state.iterations() ? state.iterations() : 1);
        const double batches = double(sim.fifo_reads() - reads_before) / sweeps;
        const double line_s = batches * 256.0 / 11520.0;
        const double mean_s = total_s / sweeps;
        state.counters["batches"] = batches;
        state.counters["line_s"] = line_s;
        state.counters["line_ratio"] = mean_s / line_s;
        state.counters["MD777_ms"] = double(md777);
    }
    vna_command.store(VNA_CMD_QUIT);
    while (vna_command.load() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    remove_task_hidden(task);
}

}  // namespace

BENCHMARK(sweep)->Arg(401)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(sweep)->Arg(2001)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
