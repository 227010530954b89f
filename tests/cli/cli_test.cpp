// vna-cli run against vna-sim (linked as ports/COM1 in the folder it starts in): usage
// errors, sweeps, a full calibration answered at the prompts, calibration files,
// Touchstone output and the failures.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <bit>
#include <charconv>
#include <fstream>
#include <iterator>
#include <numbers>
#include <sstream>

#include "support/sim_process.h"
#include "vna/touchstone.h"

namespace {

using cd = std::complex<double>;
using Texts = std::vector<std::string>;

const std::string cli_program = std::string(CORVANE_BINARY_DIR) + "/cli/vna-cli";

// vna-cli (or `program`) started in `dir`; its lines of standard error are read as they come.
struct Cli : simproc::Child {
    Cli(const std::string& dir, std::vector<std::string> args, const std::string& program = cli_program)
        : Child(program, std::move(args), dir) {}
    // Reads lines until `text` comes; false at the end of the output.
    bool until(const std::string& text) {
        for (std::string l; !(l = simproc::read_line(err, 60000)).empty();)
            if (lines.push_back(l), l == text) return true;
        return false;
    }
    void enter() { EXPECT_EQ(::write(in, "\n", 1), 1); }
    // The exit status, with the rest of the output read.
    int finish() { return until(""), Child::finish(); }
    std::string last() const { return lines.empty() ? "" : lines.back(); }
    Texts lines;
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

cd gamma_z(cd z) { return (z - 50.0) / (z + 50.0); }

// A calibration file of two points, 1 to 2 MHz, with ideal standards.
void write_cal(const std::string& path) {
    std::string b = "CANV";
    auto put = [&](uint64_t v, int n) {
        for (int i = 0; i < n; i++) b += char(v >> (8 * i));
    };
    for (auto [v, n] : {std::pair<uint64_t, int>{2, 4}, {1000000, 8}, {2000000, 8}, {2, 2}, {0, 6}}) put(v, n);
    for (float re : {1, 1, -1, -1, 0, 0, 0, 0, 1, 1}) put(std::bit_cast<uint32_t>(re), 4), put(0, 4);  // re of 2 points
    std::ofstream(path, std::ios::binary) << b;
}

}  // namespace

class CliRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(access(cli_program.c_str(), X_OK), 0) << cli_program << " is not built";
        // A loaded machine passes the simulator's answers on seconds late.
        setenv("CORVANE_ANSWER_TIMEOUT_MS", "10000", 1);
        ASSERT_TRUE(sim_.ok());
    }
    std::string path(const std::string& name) const { return sim_.dir() + "/" + name; }
    // No temporary or partly written file left in the folder.
    void expect_no_leftovers() {
        for (const auto& e : std::filesystem::directory_iterator(sim_.dir())) {
            const std::string name = e.path().filename().string();
            EXPECT_TRUE(name.find(".tmp") == std::string::npos && name != "big.s1p") << name;
        }
    }
    simproc::SimProcess sim_{{"--no-pace"}};
};

TEST_F(CliRun, HelpAndUsageErrors) {
    Cli help(sim_.dir(), {"--help"});
    EXPECT_EQ(help.finish(), 0);
    // Status 2, the reason and the usage text.
    const std::string frequency = "needs a frequency in MHz of 0 or more, not ", whole = "needs a whole number, not ";
    const std::pair<Texts, std::string> cases[] = {
        {{"--bogus"}, "unknown argument --bogus"},
        {{"--points"}, "--points needs a value"},
        {{"--points", "12x"}, "--points " + whole + "12x"},
        {{"--points", "70000"}, "--points " + whole + "70000"},
        {{"--start", "nan"}, "--start " + frequency + "nan"},
        {{"--out", "file.txt"}, "--out needs a file name ending in .s1p or .s2p"},
        {{"--sweeps", "0", "--out", "a.s1p"}, "--out needs at least one sweep"},
        {{"--port", ""}, "--port needs a name of 1 to 63 characters"},
        {{"--save-cal", std::string(128, 'x')}, "--save-cal needs a file name of 1 to 127 characters"},
        // What the user typed comes back escaped and cut.
        {{"--\x1b]0;t\x07"}, "unknown argument --\\x1b]0;t\\x07"},
        {{std::string(400, 'y')}, "unknown argument " + std::string(60, 'y') + "..."},
    };
    for (const auto& [args, reason] : cases) {
        Cli cli(sim_.dir(), args);
        EXPECT_EQ(cli.finish(), 2) << reason;
        ASSERT_GE(cli.lines.size(), 2u) << reason;
        EXPECT_EQ(cli.lines[0], "vna-cli: " + reason);
        EXPECT_EQ(cli.lines[1].rfind("usage: vna-cli", 0), 0u) << reason;
    }
}

TEST_F(CliRun, SweepsAndWritesTouchstone) {
    Cli cli(sim_.dir(), {"--points", "51", "--start", "10", "--stop", "510", "--sweeps", "2", "--out", "m.s1p"});
    ASSERT_EQ(cli.finish(), 0) << cli.last();
    for (std::string& l : cli.lines)
        if (l.starts_with("Sweep: 51 points in ") && l.ends_with(" ms")) l = "Sweep: 51 points in N ms";
    EXPECT_EQ(cli.lines, (Texts{"Opening port...", "Corvane connected", "Scanning...", "Scan completed",
                            "Sweep: 51 points in N ms", "Scanning...", "Scan completed", "Sweep: 51 points in N ms",
                            "Not connected"}));
    const std::string text = slurp(path("m.s1p"));
    EXPECT_EQ(text.rfind("! vna-cli sweep: 51 points, 10000000 Hz to 510000000 Hz\n! calibration: none\n"
                         "# Hz S RI R 50\n10000000 ", 0), 0u)  // whole hertz
        << text;
    EXPECT_EQ(parse(text, 1).points.size(), 51u);
    // Each value is a float written with 9 significant digits, the shortest that always
    // gives the float back.
    std::istringstream in(text);
    for (std::string line, token; std::getline(in, line);) {
        if (line[0] == '!' || line[0] == '#') continue;
        std::istringstream fields(line);
        for (fields >> token; fields >> token;) {
            char buf[32];
            const double f = std::strtof(token.c_str(), nullptr);
            ASSERT_EQ(std::string(buf, std::to_chars(buf, buf + sizeof buf, f, std::chars_format::general, 9).ptr), token)
                << line;
        }
    }
    expect_no_leftovers();
}

TEST_F(CliRun, CalibrateAtThePromptsSaveAndLoad) {
    {
        Cli cli(sim_.dir(), {"--points", "101", "--start", "1", "--stop", "3001", "--calibrate", "--save-cal",
                             "bench.cal", "--out", "r22.s2p"});
        for (std::string prompt : {"OPEN", "SHORT", "LOAD", "ISOLATION", "THRU", "DUT"}) {
            ASSERT_TRUE(cli.until("Connect " + prompt + " and press Enter")) << prompt;
            std::string dut = prompt == "DUT" ? "r 22" : prompt;
            std::transform(dut.begin(), dut.end(), dut.begin(), ::tolower);
            ASSERT_EQ(sim_.ctl("dut " + dut), "ok");
            cli.enter();
        }
        ASSERT_EQ(cli.finish(), 0) << cli.last();
        for (const char* text : {"Acquisition OPEN...", "ISOLATION acquised", "THRU acquised", "Calibration saved"})
            EXPECT_NE(std::find(cli.lines.begin(), cli.lines.end(), text), cli.lines.end()) << text;
    }
    EXPECT_EQ(slurp(path("bench.cal")).size(), 32u + 40u * 101u);
    const std::string text = slurp(path("r22.s2p"));
    EXPECT_NE(text.find("! calibration: applied\n"), std::string::npos);
    const touchstone::Data d = parse(text, 2);
    ASSERT_EQ(d.points.size(), 101u);
    for (const auto& p : d.points) {
        EXPECT_LT(std::abs(p.s[touchstone::S11] - gamma_z(22)), 1e-5) << p.freq_hz;
        EXPECT_LT(std::abs(p.s[touchstone::S21]), 1e-5) << p.freq_hz;
        EXPECT_TRUE(p.s[touchstone::S12] == cd(0) && p.s[touchstone::S22] == cd(0));
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
        EXPECT_LT(std::abs(p.s[touchstone::S11] - gamma_z(z)), 1e-5) << p.freq_hz;
    }
    // --raw writes the uncorrected readings: the test set shows.
    Cli raw(sim_.dir(), {"--load-cal", "bench.cal", "--raw", "--out", "raw.s1p"});
    ASSERT_EQ(raw.finish(), 0) << raw.last();
    const std::string raw_text = slurp(path("raw.s1p"));
    EXPECT_NE(raw_text.find("! calibration: none, uncorrected values\n"), std::string::npos);
    EXPECT_GT(std::abs(parse(raw_text, 1).points[50].s[touchstone::S11] - c.points[50].s[touchstone::S11]), 0.01);
}

TEST_F(CliRun, FailuresEndWithTheReasonAndNoPartialFile) {
    {
        // End of input at a prompt ends the run.
        Cli cli(sim_.dir(), {"--calibrate", "--points", "11"});
        ASSERT_TRUE(cli.until("Connect OPEN and press Enter"));
        cli.close_input();
        EXPECT_EQ(cli.finish(), 1);
        EXPECT_EQ(cli.last(), "vna-cli: end of input, run aborted");
    }
    write_cal(path("good.cal"));
    std::ofstream(path("big.cal")) << "old";  // a failed save leaves it as it was
    // A full file system: the file size limit, with SIGXFSZ ignored so that writes fail
    // with EFBIG.
    const std::string full = "trap '' XFSZ; ulimit -f 0; exec " + cli_program + " --load-cal good.cal ";
    // The program ("" for vna-cli), its arguments and the last line; status 1.
    const std::tuple<std::string, Texts, std::string> cases[] = {
        {"", {"--points", "2002"}, "Invalid number of points"},
        {"", {"--points", "11", "--out", "no/such/dir/x.s1p"}, "vna-cli: cannot write no/such/dir/x.s1p: No such file or directory"},
        {"/bin/sh", {"-c", full + "--save-cal big.cal --sweeps 0"}, "Calibration write error: File too large"},
        {"/bin/sh", {"-c", full + "--points 11 --out big.s1p"}, "vna-cli: cannot write big.s1p: File too large"},
    };
    for (const auto& [program, args, message] : cases) {
        Cli cli(sim_.dir(), args, program.empty() ? cli_program : program);
        EXPECT_EQ(cli.finish(), 1) << message;
        EXPECT_EQ(cli.last(), message);
    }
    expect_no_leftovers();
    EXPECT_EQ(slurp(path("big.cal")), "old");
    Cli good(sim_.dir(), {"--load-cal", "good.cal", "--sweeps", "0"});
    EXPECT_EQ(good.finish(), 0) << good.last();
    // A device that does not answer, within the time allowed.
    ASSERT_EQ(sim_.ctl("fault silent"), "ok");
    setenv("CORVANE_ANSWER_TIMEOUT_MS", "700", 1);
    Cli silent(sim_.dir(), {});
    EXPECT_EQ(silent.finish(), 1);
    EXPECT_EQ(silent.last(), "Corvane not responding");
}
