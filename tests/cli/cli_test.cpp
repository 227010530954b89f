// vna-cli run against vna-sim (linked as ports/COM1 in the folder it starts in): a full
// calibration answered at the prompts, calibration files, Touchstone output, sweeps, then
// the usage errors and the failures.
#include <gtest/gtest.h>

#include <numbers>

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
        for (std::string l; !(l = simproc::read_line(err, 60000)).empty();) {
            lines.push_back(l);
            if (l == text) return true;
        }
        return false;
    }
    // The exit status, with the rest of the output read.
    int finish() {
        until("");
        return Child::finish();
    }
    std::string last() const { return lines.empty() ? "" : lines.back(); }
    std::pair<int, std::string> result() { return {finish(), last()}; }
    Texts lines;
};

touchstone::Data parse(const std::string& text, int ports) {
    touchstone::Data d;
    std::string error;
    EXPECT_TRUE(touchstone::parse(text, ports, d, error)) << error;
    return d;
}

cd gamma_z(cd z) { return (z - 50.0) / (z + 50.0); }

}  // namespace

TEST(CliRun, CalibrateSaveLoadWriteTouchstoneThenUsageErrorsAndFailures) {
    ASSERT_EQ(access(cli_program.c_str(), X_OK), 0) << cli_program << " is not built";
    // A loaded machine passes the simulator's answers on seconds late.
    setenv("CORVANE_ANSWER_TIMEOUT_MS", "10000", 1);
    simproc::SimProcess sim;
    ASSERT_TRUE(sim.ok());
    const auto path = [&](const std::string& name) { return sim.dir() + "/" + name; };
    Cli bench(sim.dir(), {"--points", "101", "--start", "1", "--stop", "3001", "--calibrate",
                           "--save-cal", "bench.cal", "--out", "r22.s2p"});
    for (std::string prompt : {"OPEN", "SHORT", "LOAD", "ISOLATION", "THRU", "DUT"}) {
        ASSERT_TRUE(bench.until("Connect " + prompt + " and press Enter")) << prompt << ": " << bench.last();
        std::transform(prompt.begin(), prompt.end(), prompt.begin(), ::tolower);
        ASSERT_EQ(sim.ctl("dut " + (prompt == "dut" ? "r 22" : prompt)), "ok");
        EXPECT_EQ(::write(bench.in, "\n", 1), 1);
    }
    ASSERT_EQ(bench.finish(), 0) << bench.last();
    const std::string text = slurp(path("r22.s2p"));
    EXPECT_NE(text.find("! calibration: applied\n"), std::string::npos);
    const touchstone::Data d = parse(text, 2);
    ASSERT_EQ(d.points.size(), 101u);
    for (const auto& p : d.points) {
        const double others = std::abs(p.s[1]) + std::abs(p.s[2]) + std::abs(p.s[3]);
        EXPECT_LT(std::abs(p.s[0] - gamma_z(22)) + others, 1e-5) << p.freq_hz;
    }
    // A later run loads the file: its sweep replaces the one asked for on the line.
    ASSERT_EQ(sim.ctl("dut c 10p"), "ok");
    Cli again(sim.dir(), {"--points", "7", "--load-cal", "bench.cal", "--out", "c.s1p"});
    ASSERT_EQ(again.finish(), 0) << again.last();
    const touchstone::Data c = parse(slurp(path("c.s1p")), 1);
    ASSERT_EQ(std::pair(c.points.size(), c.points.back().freq_hz), std::pair(101ul, 3001e6));
    EXPECT_LT(std::abs(c.points[50].s[0] - gamma_z(1.0 / (cd(0, 1) * 2.0 * std::numbers::pi * 1501e6 * 10e-12))), 1e-5);
    // --raw writes the uncorrected readings: the test set shows. Each sweep is reported.
    Cli raw(sim.dir(), {"--load-cal", "bench.cal", "--raw", "--sweeps", "2", "--out", "raw.s1p"});
    ASSERT_EQ(raw.finish(), 0) << raw.last();
    for (std::string& l : raw.lines)
        if (l.starts_with("Sweep: 101 points in ") && l.ends_with(" ms")) l = "Sweep: N";
    EXPECT_EQ(raw.lines, (Texts{"Opening port...", "Corvane connected", "Calibration active", "Scanning...",
                                "Scan completed", "Sweep: N", "Scanning...", "Scan completed", "Sweep: N",
                                "Not connected"}));
    const std::string raw_text = slurp(path("raw.s1p"));
    const std::string head = "! vna-cli sweep: 101 points, 1000000 Hz to 3001000000 Hz\n"
                             "! calibration: none, uncorrected values\n# Hz S RI R 50\n";
    ASSERT_EQ(raw_text.substr(0, head.size() + 8), head + "1000000 ");  // whole hertz
    EXPECT_GT(std::abs(parse(raw_text, 1).points[50].s[0] - c.points[50].s[0]), 0.01);
    // Usage errors and failures; the calibration file is the one saved above.
    std::ofstream(path("big.cal")) << "old";  // a failed save leaves it as it was
    // A full file system: the file size limit, with SIGXFSZ ignored so that writes fail with EFBIG.
    const std::string full = "trap '' XFSZ; ulimit -f 0; exec " + cli_program + " --load-cal bench.cal ";
    const std::string frequency = "needs a frequency in MHz of 0 or more, not ", whole = "needs a whole number, not ",
                      usage = "usage: vna-cli [--port NAME] [--start MHZ] [--stop MHZ] [--points N] [--slow]";
    // The arguments (of /bin/sh when the first is "-c"), the exit status and the last line
    // (status 1) or the first (status 2: followed by the usage text).
    const std::tuple<Texts, int, std::string> cases[] = {
        {{"--help"}, 0, usage},
        {{"--bogus"}, 2, "unknown argument --bogus"},
        {{"--points"}, 2, "--points needs a value"},
        {{"--points", "12x"}, 2, "--points " + whole + "12x"},
        {{"--points", "70000"}, 2, "--points " + whole + "70000"},
        {{"--start", "nan"}, 2, "--start " + frequency + "nan"},
        {{"--out", "file.txt"}, 2, "--out needs a file name ending in .s1p or .s2p"},
        {{"--sweeps", "0", "--out", "a.s1p"}, 2, "--out needs at least one sweep"},
        {{"--port", ""}, 2, "--port needs a name of 1 to 63 characters"},
        {{"--save-cal", std::string(128, 'x')}, 2, "--save-cal needs a file name of 1 to 127 characters"},
        {{"--\x1b]0;t\x07"}, 2, "unknown argument --\\x1b]0;t\\x07"},  // escaped (and cut: UserInput)
        {{"--points", "2002"}, 1, "Invalid number of points"},
        {{"--points", "11", "--out", "no/x.s1p"}, 1, "vna-cli: cannot write no/x.s1p: No such file or directory"},
        {{"-c", full + "--save-cal big.cal --sweeps 0"}, 1, "Calibration write error: File too large"},
        {{"-c", full + "--points 11 --out big.s1p"}, 1, "vna-cli: cannot write big.s1p: File too large"},
        {{"--load-cal", "bench.cal", "--sweeps", "0"}, 0, "Opening port..."},
    };
    for (const auto& [args, status, line] : cases) {
        Cli cli(sim.dir(), args, args[0] == "-c" ? "/bin/sh" : cli_program);
        if (args[0] == "--help") cli.err = std::exchange(cli.out, cli.err);
        EXPECT_EQ(cli.finish(), status) << line;
        ASSERT_GE(cli.lines.size(), 1u + (status == 2)) << line;
        EXPECT_EQ(status == 1 ? cli.last() : cli.lines[0], (status == 2 ? "vna-cli: " : "") + line);
        EXPECT_TRUE(status != 2 || cli.lines[1] == usage) << line;
    }
    for (const auto& e : std::filesystem::directory_iterator(sim.dir())) {
        const std::string name = e.path().filename();
        EXPECT_TRUE(name.find(".tmp") == std::string::npos && name != "big.s1p") << name;
    }
    EXPECT_EQ(slurp(path("big.cal")), "old");
    // End of input at a prompt ends the run, and so does a device that does not answer in time.
    Cli prompt(sim.dir(), {"--calibrate", "--points", "11"});
    ASSERT_TRUE(prompt.until("Connect OPEN and press Enter"));
    prompt.close_input();
    EXPECT_EQ(prompt.result(), std::pair(1, std::string("vna-cli: end of input, run aborted")));
    ASSERT_EQ(sim.ctl("fault silent"), "ok");
    setenv("CORVANE_ANSWER_TIMEOUT_MS", "700", 1);
    Cli silent(sim.dir(), {});
    EXPECT_EQ(silent.result(), std::pair(1, std::string("Corvane not responding")));
}
