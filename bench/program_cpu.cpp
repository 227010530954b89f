// links: platform
// CPU of the real program in a real X window: corvane connected to a paced vna-sim, first
// with nothing changing (beside a bare thread that sleeps 1 ms in a loop, the floor of a
// page loop that passes every millisecond, and two bare threads that sleep on the shared
// 1 ms grid, the floor of a page loop and a control cycle), then sweeping 2001 points
// continuously.
//
//   bench_program_cpu [benchmark flags]
//   CORVANE=path VNA_SIM=path bench_program_cpu    other programs than the build's
//   CORVANE_BENCH_PNG=shot.png bench_program_cpu    keeps the window during the sweep
//
// It starts Xvfb (-displayfd), vna-sim linked as ports/COM1 and corvane in a fresh folder
// with FONTS links, moves the window to 0,0 and presses CONNECT with xdotool, as the
// acceptance test does. CPU is the sum of the threads' run time (/proc/PID/task/*/schedstat).
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"

namespace {

constexpr double IDLE_GOAL_RATIO = 1.5;     // program / bare 1 ms sleeper
constexpr double SWEEP_GOAL_PERCENT = 10.0;  // of one core while sweeping
constexpr int IDLE_SECONDS = 12;
constexpr int SWEEP_SECONDS = 15;

std::string run_dir;
pid_t xvfb_pid = 0, sim_pid = 0, prog_pid = 0;
std::string window_id;

[[noreturn]] void die(const std::string& why) {
    std::fprintf(stderr, "bench_program_cpu: %s\n", why.c_str());
    for (pid_t p : {prog_pid, sim_pid, xvfb_pid})
        if (p > 0) kill(p, SIGTERM);
    std::exit(1);
}

// Starts argv in dir with stdout and stderr to log; keep_fd stays open in the child.
pid_t spawn(const std::vector<std::string>& args, const std::string& log, int keep_fd = -1) {
    const pid_t pid = fork();
    if (pid < 0) die("fork failed");
    if (pid == 0) {
        if (chdir(run_dir.c_str()) != 0) _exit(127);
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        for (int fd = 3; fd < 256; fd++)
            if (fd != keep_fd) close(fd);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

std::string output_of(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

void xdo(const std::string& args) {
    const std::string cmd = "xdotool " + args + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) die("xdotool " + args + " failed");
}
void click(int x, int y) {
    xdo("mousemove --window " + window_id + " " + std::to_string(x) + " " + std::to_string(y) + " click 1");
}

// Run time of one thread in ns and the number of times it was put on a CPU (about its
// wake-ups), from its schedstat (the first and the third field).
struct ThreadUse {
    uint64_t ns = 0, runs = 0;
};
ThreadUse thread_use(const std::string& task_dir) {
    std::ifstream in(task_dir + "/schedstat");
    ThreadUse u;
    uint64_t waited = 0;
    in >> u.ns >> waited >> u.runs;
    return u;
}
uint64_t thread_ns(const std::string& task_dir) { return thread_use(task_dir).ns; }

// Use of every live thread of pid, by thread name and number.
std::map<std::string, ThreadUse> threads_ns(pid_t pid) {
    std::map<std::string, ThreadUse> by_name;
    const std::string base = "/proc/" + std::to_string(pid) + "/task";
    DIR* d = opendir(base.c_str());
    if (!d) return by_name;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.') continue;
        const std::string dir = base + "/" + e->d_name;
        std::string name;
        std::ifstream(dir + "/comm") >> name;
        by_name[name + "#" + e->d_name] = thread_use(dir);
    }
    closedir(d);
    return by_name;
}

uint64_t total(const std::map<std::string, ThreadUse>& m) {
    uint64_t t = 0;
    for (auto& [name, use] : m) t += use.ns;
    return t;
}

// Prints each thread's share of one core over the window and its runs per second.
void print_threads(const char* what, const std::map<std::string, ThreadUse>& a,
                   const std::map<std::string, ThreadUse>& b, double wall) {
    std::fprintf(stderr, "%s, per thread (%% of one core, runs a second):", what);
    for (auto& [name, use] : b) {
        const auto it = a.find(name);
        const ThreadUse before = it == a.end() ? ThreadUse{} : it->second;
        const double pct = 100.0 * double(use.ns - before.ns) * 1e-9 / wall;
        if (pct >= 0.01)
            std::fprintf(stderr, " %s %.2f (%.0f/s)", name.c_str(), pct, double(use.runs - before.runs) / wall);
    }
    std::fprintf(stderr, "\n");
}

void start_environment() {
    char tmpl[] = "/tmp/corvane-bench.XXXXXX";
    if (!mkdtemp(tmpl)) die("no temporary folder");
    run_dir = tmpl;
    mkdir((run_dir + "/ports").c_str(), 0755);
    mkdir((run_dir + "/FONTS").c_str(), 0755);
    (void)!symlink("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", (run_dir + "/FONTS/default.ttf").c_str());
    (void)!symlink("/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc", (run_dir + "/FONTS/notobd.ttf").c_str());
    for (int n = 2; n <= 15; n++)
        (void)!symlink("/nonexistent", (run_dir + "/ports/COM" + std::to_string(n)).c_str());

    char self[4096];
    const ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
    if (len <= 0) die("no /proc/self/exe");
    self[len] = 0;
    std::string build = self;
    build = build.substr(0, build.rfind('/'));
    build = build.substr(0, build.rfind('/'));
    const char* corvane_env = std::getenv("CORVANE");
    const char* sim_env = std::getenv("VNA_SIM");
    const std::string corvane = corvane_env ? corvane_env : build + "/app/corvane";
    const std::string sim = sim_env ? sim_env : build + "/sim/vna-sim";

    int fds[2];
    if (pipe(fds) != 0) die("pipe failed");
    xvfb_pid = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x800x24", "-nolisten", "tcp"},
                     run_dir + "/xvfb.log", fds[1]);
    close(fds[1]);
    // Xvfb writes the display number and a newline once it accepts connections.
    std::string display;
    for (char ch; read(fds[0], &ch, 1) == 1 && ch != '\n';) display += ch;
    close(fds[0]);
    if (display.empty()) die("Xvfb did not start");
    setenv("DISPLAY", (":" + display).c_str(), 1);

    sim_pid = spawn({sim, "--link", "ports/COM1", "--dut", "c 10p", "--noise", "0"}, run_dir + "/sim.log");
    for (int i = 0; i < 200 && access((run_dir + "/ports/COM1.ctl").c_str(), F_OK) != 0; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (access((run_dir + "/ports/COM1.ctl").c_str(), F_OK) != 0) die("vna-sim did not start");

    setenv("CORVANE_FILE_DIALOG", "builtin", 1);
    // On a machine loaded by other work the analyser's answers may come late; a sweep that
    // failed for it would leave the sweep figure without a sweep.
    setenv("CORVANE_ANSWER_TIMEOUT_MS", "5000", 1);
    prog_pid = spawn({corvane}, run_dir + "/corvane.log");
    window_id = output_of("timeout 20 xdotool search --sync --onlyvisible --pid " + std::to_string(prog_pid) +
                          " --name '^Corvane' | head -1");
    if (window_id.empty()) die("no window of " + corvane);
    xdo("windowmove --sync " + window_id + " 0 0");
    std::this_thread::sleep_for(std::chrono::seconds(1));
    click(212, 24);  // CONNECT
    std::this_thread::sleep_for(std::chrono::seconds(3));
}

void stop_environment() {
    for (pid_t p : {prog_pid, sim_pid, xvfb_pid}) {
        if (p <= 0) continue;
        kill(p, SIGTERM);
        waitpid(p, nullptr, 0);
    }
    (void)!std::system(("rm -rf " + run_dir).c_str());
}

// A bare thread that sleeps 1 ms in a loop on absolute deadlines with the page loop's 5 µs
// timer slack: what a page loop that does nothing else would cost.
std::atomic<bool> sleeper_run{false};
std::atomic<pid_t> sleeper_tid{0};
void bare_sleeper() {
    prctl(PR_SET_TIMERSLACK, 5000UL, 0, 0, 0);
    sleeper_tid.store(gettid());
    while (sleeper_run.load()) {
        timespec t;
        clock_gettime(CLOCK_MONOTONIC, &t);
        t.tv_nsec += 1000000;
        if (t.tv_nsec >= 1000000000) {
            t.tv_nsec -= 1000000000;
            t.tv_sec++;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr);
    }
}

// Two bare threads that sleep on the whole milliseconds of the clock with the same slack, as
// the page loop and the control cycle do: the floor of a program with both, doing nothing.
std::atomic<pid_t> grid_tid[2];
void grid_sleeper(int k) {
    prctl(PR_SET_TIMERSLACK, 5000UL, 0, 0, 0);
    grid_tid[k].store(gettid());
    ClockSource& clock = real_clock();
    while (sleeper_run.load()) clock.sleep_until_ns(next_ms_tick_ns(clock.now_ns()));
}

std::string task_dir(pid_t tid) { return "/proc/self/task/" + std::to_string(tid); }

// The connected program with nothing changing, beside the bare sleepers in the same window
// of time.
void IdleProgram(benchmark::State& state) {
    for (auto _ : state) {
        sleeper_run.store(true);
        std::thread sleeper(bare_sleeper), grid0(grid_sleeper, 0), grid1(grid_sleeper, 1);
        while (!sleeper_tid.load() || !grid_tid[0].load() || !grid_tid[1].load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const std::string dirs[3] = {task_dir(sleeper_tid.load()), task_dir(grid_tid[0].load()),
                                     task_dir(grid_tid[1].load())};
        uint64_t s0[3], s1[3];
        const auto p0 = threads_ns(prog_pid);
        for (int i = 0; i < 3; i++) s0[i] = thread_ns(dirs[i]);
        const auto t0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(IDLE_SECONDS));
        const auto p1 = threads_ns(prog_pid);
        for (int i = 0; i < 3; i++) s1[i] = thread_ns(dirs[i]);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        sleeper_run.store(false);
        sleeper.join();
        grid0.join();
        grid1.join();
        sleeper_tid.store(0);
        grid_tid[0].store(0);
        grid_tid[1].store(0);
        const auto pct = [wall](uint64_t ns) { return 100.0 * double(ns) * 1e-9 / wall; };
        const double prog = pct(total(p1) - total(p0));
        const double bare = pct(s1[0] - s0[0]);
        const double grid = pct(s1[1] - s0[1] + s1[2] - s0[2]);
        print_threads("idle program", p0, p1, wall);
        std::fprintf(stderr,
                     "idle program: %.2f %% of a core = %.2f x the bare 1 ms sleeper (%.2f %%), goal at most "
                     "%.1f x; two bare threads on the 1 ms grid: %.2f %% = %.2f x\n",
                     prog, bare > 0 ? prog / bare : 0, bare, IDLE_GOAL_RATIO, grid, bare > 0 ? grid / bare : 0);
        state.counters["program_cpu_pct"] = prog;
        state.counters["sleeper_cpu_pct"] = bare;
        state.counters["ratio"] = bare > 0 ? prog / bare : 0;
        state.counters["goal_ratio"] = IDLE_GOAL_RATIO;
        state.counters["two_grid_sleepers_ratio"] = bare > 0 ? grid / bare : 0;
    }
}
BENCHMARK(IdleProgram)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// 2001 points swept again and again at the line's real rate ("continue" and SCAN).
void ContinuousSweep2001(benchmark::State& state) {
    for (auto _ : state) {
        click(887, 86);  // the points field
        xdo("type --delay 40 2001");
        xdo("key Return");
        click(541, 24);  // continue
        click(464, 24);  // SCAN
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const auto p0 = threads_ns(prog_pid);
        const auto m0 = threads_ns(sim_pid);
        const auto t0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(SWEEP_SECONDS));
        const auto p1 = threads_ns(prog_pid);
        const auto m1 = threads_ns(sim_pid);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (const char* png = std::getenv("CORVANE_BENCH_PNG"))
            (void)!std::system(("import -window " + window_id + " " + png).c_str());
        click(680, 24);  // STOP
        print_threads("sweeping program", p0, p1, wall);
        const double sim = 100.0 * double(total(m1) - total(m0)) * 1e-9 / wall;
        // A paced simulator serving 2001 points spends some CPU; next to none: no sweep ran
        // (the status line says why: CORVANE_BENCH_PNG keeps the window).
        if (sim < 0.2) std::fprintf(stderr, "bench_program_cpu: the simulator was idle, no sweep ran\n");
        const double prog = 100.0 * double(total(p1) - total(p0)) * 1e-9 / wall;
        std::fprintf(stderr, "sweeping program: %.2f %% of a core, goal at most %.0f %% (%s)\n", prog,
                     SWEEP_GOAL_PERCENT, prog <= SWEEP_GOAL_PERCENT ? "reached" : "not reached");
        state.counters["program_cpu_pct"] = prog;
        state.counters["sim_cpu_pct"] = sim;
        state.counters["goal_pct"] = SWEEP_GOAL_PERCENT;
    }
}
BENCHMARK(ContinuousSweep2001)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    start_environment();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    stop_environment();
    return 0;
}
