// vna-cli: its options and usage errors in process, and the program run against vna-sim
// (linked as ports/COM1 in the folder it starts in): sweeps, a full calibration answered
// at the prompts, calibration files, Touchstone output and the failures.
#include <gtest/gtest.h>

#include <charconv>
#include <fstream>
#include <iterator>
#include <sstream>

#include "cli/cli.h"
#include "support/sim_process.h"
#include "vna/touchstone.h"

namespace {

using cd = std::complex<double>;

const std::string cli_program = std::string(CORVANE_BINARY_DIR) + "/cli/vna-cli";

// vna-cli started in `dir` with pipes on its standard streams.
class Cli {
public:
    Cli(const std::string& dir, std::vector<std::string> args) {
        int in[2], err[2];
        if (pipe2(in, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) return;
        pid_ = fork();
        if (pid_ == 0) {
            simproc::die_with_parent();
            dup2(in[0], 0);
            dup2(err[1], 2);
            int null = ::open("/dev/null", O_WRONLY);
            if (null >= 0) dup2(null, 1);
            if (chdir(dir.c_str()) != 0) _exit(127);
            std::vector<char*> argv{const_cast<char*>(cli_program.c_str())};
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(cli_program.c_str(), argv.data());
            _exit(127);
        }
        ::close(in[0]);
        ::close(err[1]);
        in_ = in[1];
        err_ = err[0];
    }
    ~Cli() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close_input();
        if (err_ >= 0) ::close(err_);
    }
    // The next line of standard error ("" at its end).
    std::string line() {
        std::string l = simproc::read_line(err_, 20000);
        lines_.push_back(l);
        return l;
    }
    // Reads lines until `text` comes; false at the end of the output.
    bool until(const std::string& text) {
        for (;;) {
            const std::string l = line();
            if (l == text) return true;
            if (l.empty()) return false;
        }
    }
    void enter() { EXPECT_EQ(::write(in_, "\n", 1), 1); }
    void close_input() {
        if (in_ >= 0) ::close(in_);
        in_ = -1;
    }
    // Waits for the end: the exit status (-1 when killed), with the rest of the output read.
    int finish() {
        std::string rest;
        char buf[4096];
        pollfd p{err_, POLLIN, 0};
        for (;;) {
            if (poll(&p, 1, 20000) <= 0) break;
            const ssize_t n = ::read(err_, buf, sizeof buf);
            if (n <= 0) break;
            rest.append(buf, size_t(n));
        }
        std::istringstream in(rest);
        for (std::string l; std::getline(in, l);) lines_.push_back(l);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Every line read so far, without empty ones.
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        for (const auto& l : lines_)
            if (!l.empty()) out.push_back(l);
        return out;
    }
    std::string last() const {
        const auto all = lines();
        return all.empty() ? "" : all.back();
    }

private:
    pid_t pid_ = -1;
    int in_ = -1, err_ = -1;
    std::vector<std::string> lines_;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

touchstone::Data parse(const std::string& text, int ports) {
    touchstone::Data d;
    std::string error;
    EXPECT_TRUE(touchstone::parse(text, ports, d, error)) << error;
    return d;
}

cd gamma_z(double z) { return (z - 50.0) / (z + 50.0); }

// The in-process program with a usage error: status 2, the reason and the usage text.
int usage_error(std::vector<std::string> args, std::string* text = nullptr) {
    std::vector<char*> argv{const_cast<char*>("vna-cli")};
    for (auto& a : args) argv.push_back(a.data());
    FILE* err = std::tmpfile();
    const int status = cli_main(int(argv.size()), argv.data(), stdin, stdout, err);
    if (text) {
        std::rewind(err);
        char buf[4096];
        const size_t n = std::fread(buf, 1, sizeof buf, err);
        *text = std::string(buf, n);
    }
    std::fclose(err);
    return status;
}

}  // namespace

TEST(CliOptions, UsageErrors) {
    std::string text;
    EXPECT_EQ(usage_error({"--bogus"}, &text), 2);
    EXPECT_NE(text.find("unknown argument --bogus"), std::string::npos) << text;
    EXPECT_NE(text.find("usage: vna-cli"), std::string::npos) << text;
    for (std::vector<std::string> args : {std::vector<std::string>{"--points"}, {"--points", "12x"},
                                          {"--points", "-1"}, {"--points", "70000"}, {"--start", "abc"},
                                          {"--stop", "-5"}, {"--start", "nan"}, {"--sweeps", "1.5"},
                                          {"--out", "file.txt"}, {"--out", ".s1p"}, {"--port", ""},
                                          {"--sweeps", "0", "--out", "a.s1p"}, {"stray"},
                                          {"--save-cal", std::string(128, 'x')}}) {
        SCOPED_TRACE(args[0] + (args.size() > 1 ? " " + args[1] : ""));
        EXPECT_EQ(usage_error(args), 2);
    }
}

class CliRun : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim_.ok()); }
    std::string path(const std::string& name) const { return sim_.dir() + "/" + name; }
    simproc::SimProcess sim_{{"--no-pace"}};
};

TEST_F(CliRun, SweepsAndWritesTouchstone) {
    Cli cli(sim_.dir(), {"--points", "51", "--start", "10", "--stop", "510", "--sweeps", "2", "--out", "m.s1p"});
    ASSERT_EQ(cli.finish(), 0) << cli.last();
    const std::vector<std::string> lines = cli.lines();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], "Opening port...");
    EXPECT_EQ(lines[1], "Corvane connected");
    EXPECT_EQ(lines[2], "Scanning...");
    EXPECT_EQ(lines[3], "Scan completed");
    EXPECT_EQ(lines[4].rfind("Sweep: 51 points in ", 0), 0u) << lines[4];
    EXPECT_EQ(lines[4].substr(lines[4].size() - 3), " ms");
    EXPECT_EQ(lines[7].rfind("Sweep: 51 points in ", 0), 0u) << lines[7];
    EXPECT_EQ(lines[8], "Not connected");

    const std::string text = slurp(path("m.s1p"));
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "! vna-cli sweep: 51 points, 10000000 Hz to 510000000 Hz");
    std::getline(in, line);
    EXPECT_EQ(line, "! calibration: none");
    std::getline(in, line);
    EXPECT_EQ(line, "# Hz S RI R 50");
    std::getline(in, line);
    EXPECT_EQ(line.rfind("10000000 ", 0), 0u) << line;  // whole hertz
    const touchstone::Data d = parse(text, 1);
    ASSERT_EQ(d.points.size(), 51u);
    EXPECT_EQ(d.points.back().freq_hz, 510000000.0);
    // Each value is a float written with 9 significant digits, the shortest that always
    // gives the float back.
    for (int n = 0; std::getline(in, line); n++) {
        std::istringstream fields(line);
        std::string hz, token;
        fields >> hz;
        while (fields >> token) {
            const float f = std::strtof(token.c_str(), nullptr);
            char buf[32];
            auto [end, ec] = std::to_chars(buf, buf + sizeof buf, double(f), std::chars_format::general, 9);
            ASSERT_EQ(std::string(buf, end), token) << line;
        }
    }
    // Nothing but the output in the folder besides what the simulator made.
    for (const auto& e : std::filesystem::directory_iterator(sim_.dir()))
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
}

TEST_F(CliRun, CalibrateAtThePromptsSaveAndLoad) {
    {
        Cli cli(sim_.dir(), {"--points", "101", "--start", "1", "--stop", "3001", "--calibrate", "--save-cal",
                             "bench.cal", "--out", "r22.s2p"});
        for (auto [prompt, dut] : {std::pair<const char*, const char*>{"OPEN", "open"}, {"SHORT", "short"},
                                   {"LOAD", "load"}, {"ISOLATION", "isolation"}, {"THRU", "thru"},
                                   {"DUT", "r 22"}}) {
            ASSERT_TRUE(cli.until(std::string("Connect ") + prompt + " and press Enter")) << prompt;
            ASSERT_EQ(sim_.ctl(std::string("dut ") + dut), "ok");
            cli.enter();
        }
        ASSERT_EQ(cli.finish(), 0) << cli.last();
        const std::vector<std::string> lines = cli.lines();
        for (const char* text : {"Acquisition OPEN...", "OPEN acquised", "ISOLATION acquised", "THRU acquised",
                                 "Calibration active", "Calibration saved"})
            EXPECT_NE(std::find(lines.begin(), lines.end(), text), lines.end()) << text;
    }
    EXPECT_EQ(slurp(path("bench.cal")).size(), 32u + 40u * 101u);
    const std::string text = slurp(path("r22.s2p"));
    EXPECT_NE(text.find("! calibration: applied\n"), std::string::npos);
    const touchstone::Data d = parse(text, 2);
    ASSERT_EQ(d.points.size(), 101u);
    for (const auto& p : d.points) {
        EXPECT_LT(std::abs(p.s[touchstone::S11] - gamma_z(22)), 1e-5) << p.freq_hz;
        EXPECT_LT(std::abs(p.s[touchstone::S21]), 1e-5) << p.freq_hz;
        EXPECT_EQ(p.s[touchstone::S12], cd(0));
        EXPECT_EQ(p.s[touchstone::S22], cd(0));
    }

    // A later run loads the file: its sweep replaces the one asked for on the line.
    ASSERT_EQ(sim_.ctl("dut c 10p"), "ok");
    Cli again(sim_.dir(), {"--points", "7", "--load-cal", "bench.cal", "--out", "c.s1p"});
    ASSERT_EQ(again.finish(), 0) << again.last();
    const touchstone::Data c = parse(slurp(path("c.s1p")), 1);
    ASSERT_EQ(c.points.size(), 101u);
    EXPECT_EQ(c.points.back().freq_hz, 3001e6);
    for (const auto& p : c.points) {
        const cd z = 1.0 / (cd(0, 1) * 2.0 * std::numbers::pi * p.freq_hz * 10e-12);
        EXPECT_LT(std::abs(p.s[touchstone::S11] - (z - 50.0) / (z + 50.0)), 1e-5) << p.freq_hz;
    }
    // --raw writes the uncorrected readings: the test set shows.
    Cli raw(sim_.dir(), {"--load-cal", "bench.cal", "--raw", "--out", "raw.s1p"});
    ASSERT_EQ(raw.finish(), 0) << raw.last();
    const std::string raw_text = slurp(path("raw.s1p"));
    EXPECT_NE(raw_text.find("! calibration: none, uncorrected values\n"), std::string::npos);
    EXPECT_GT(std::abs(parse(raw_text, 1).points[50].s[touchstone::S11] - c.points[50].s[touchstone::S11]), 0.01);
}

TEST_F(CliRun, Failures) {
    {
        // End of input at a prompt ends the run.
        Cli cli(sim_.dir(), {"--calibrate", "--points", "11"});
        ASSERT_TRUE(cli.until("Connect OPEN and press Enter"));
        cli.close_input();
        EXPECT_EQ(cli.finish(), 1);
        EXPECT_EQ(cli.last(), "vna-cli: end of input, run aborted");
    }
    // The core's message is the last line.
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"--points", "2002"}, "Invalid number of points"},
        {{"--start", "5", "--stop", "5"}, "Invalid frequencies"},
        {{"--load-cal", "missing.cal"}, "Calibration file not found"},
        {{"--port", "/dev/null/tty"}, "Port open error"},
        {{"--save-cal", "x.cal"}, "No calibration to save"},
    };
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(message);
        Cli cli(sim_.dir(), args);
        EXPECT_EQ(cli.finish(), 1);
        EXPECT_EQ(cli.last(), message);
    }
    ASSERT_EQ(sim_.ctl("fault silent"), "ok");
    Cli silent(sim_.dir(), {});
    EXPECT_EQ(silent.finish(), 1);
    EXPECT_EQ(silent.last(), "Corvane not responding");
    ASSERT_EQ(sim_.ctl("fault none"), "ok");

    // An output file that cannot be written: no partial file, status 1.
    Cli out(sim_.dir(), {"--points", "11", "--out", "no/such/dir/x.s1p"});
    EXPECT_EQ(out.finish(), 1);
    EXPECT_EQ(out.last().rfind("vna-cli: cannot write no/such/dir/x.s1p: ", 0), 0u) << out.last();
}

TEST(CliProgram, HelpAndUsageStatus) {
    ASSERT_EQ(access(cli_program.c_str(), X_OK), 0) << cli_program << " is not built";
    simproc::TempDir dir;
    Cli help(dir.path(), {"--help"});
    EXPECT_EQ(help.finish(), 0);
    Cli bad(dir.path(), {"--points", "many"});
    EXPECT_EQ(bad.finish(), 2);
    EXPECT_EQ(bad.lines().front(), "vna-cli: --points needs a whole number, not many");
}
