// Touchstone files: every format and unit, a measured file (tests/data/touchstone/README.md
// says what each is), comments and defaults, the errors with their line, the writer and
// the interpolation; the numbers in the "C" notation also under a locale with a decimal
// comma.
#include "vna/touchstone.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <clocale>
#include <locale>
#include <numbers>

#include "core_harness.h"

using namespace touchstone;
using cd = std::complex<double>;

namespace {

cd degrees(double magnitude, double angle) { return std::polar(magnitude, angle * std::numbers::pi / 180); }

Data parse_ok(std::string_view text, int ports = 0) {
    Data d;
    std::string error;
    EXPECT_TRUE(parse(text, ports, d, error)) << error << "\n" << text;
    return d;
}

void expect_near(cd got, cd want, double tol = 1e-12) { EXPECT_LE(std::abs(got - want), tol) << got << " " << want; }

// The same two points, S11 = 0.5∠-90° and S21 = 2∠45°, in each format and unit (fields in
// another order, tabs, '+' signs, comments, CR LF ends, blank lines, a second option line
// that does not count, none at all); a measured file; and the writer's text in every
// format and unit read back.
void check_all() {
    const std::string texts[] = {
        "# hz s ri r 50\n1e6 0 -0.5 1.4142135623730951 1.4142135623730951 0 0 0 0\n"
        "2000000 0 -0.5 1.4142135623730951 1.4142135623730951 0 0 0 0\n",
        "! head\r\n# KHZ S MA R 50\r\n\r\n1000 0.5 -90 2 45 0 0 0 0 ! trailing\r\n"
        "! between\r\n2000.0 .5 -90.0 2.0 45 0 0 0 0\r\n",
        "#MHz S DB R 50\n# GHz S RI R 75\n1 -6.020599913279624 -90 6.020599913279624 45 -400 0 -400 0\n"
        "2 -6.020599913279624 -90 6.020599913279624 45 -400 0 -400 0\n",
        "#\tR 50.0 MA GhZ S ! comment\n0.001 +0.5 -90 2 +45 0 0 0 0\n+2e-3 0.5 -90 2 45 0 0 0 0\n",
        "0.001 0.5 -90 2 45 0 0 0 0\n0.002 0.5 -90 2 45 0 0 0 0\n",  // no option line: GHz, MA, 50 ohms
    };
    for (const std::string& text : texts) {
        Data d = parse_ok(text);
        ASSERT_EQ(std::tuple(d.points.size(), d.ports, d.points[0].freq_hz, d.points[1].freq_hz),
                  std::tuple(2u, 2, 1e6, 2e6)) << text;
        for (const Point& p : d.points) {
            const double error = std::abs(p.s[S11] - degrees(0.5, -90)) + std::abs(p.s[S21] - degrees(2, 45));
            EXPECT_LT(error + std::abs(p.s[S12]), 2e-15) << text;
        }
    }
    // A measured file in MA and MHz whose noise block ends the S-parameters (no program
    // uses the noise values): the last point before it.
    const Data d = coretest::read_data("bfu520_5v_10ma.s2p");
    ASSERT_EQ(std::tuple(d.ports, d.reference_ohms, d.points.size(), d.noise.size()), std::tuple(2, 50.0, 37u, 37u));
    expect_near(d.points.back().s[S11], degrees(0.46792, 162.95));
    // The writer (no program writes through it: the sweeps have their own text) in the "C"
    // notation, with its comment lines.
    EXPECT_EQ(format(Data{1, 50, {{1e9, {cd(0.5, -0.25)}}}, {}}, Format::ri, Unit::ghz, "by a test"),
              "! by a test\n# GHz S RI R 50\n1 0.5 -0.25\n");
}

}  // namespace

// The same again with the C and C++ locales switched to one with a decimal comma.
TEST(Touchstone, ReadsAndWritesEveryFormatAndAMeasuredFileAlsoUnderADecimalComma) {
    check_all();
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "it_IT.UTF-8"}) {
        if (!std::setlocale(LC_ALL, name) || std::localeconv()->decimal_point[0] != ',') continue;
        SCOPED_TRACE(name);
        const std::locale saved_cpp = std::locale::global(std::locale(name));
        check_all();
        std::locale::global(saved_cpp);
        std::setlocale(LC_ALL, saved.c_str());
        return;
    }
    std::setlocale(LC_ALL, saved.c_str());
    GTEST_SKIP() << "no locale with a decimal comma is installed (generate de_DE.UTF-8 with locale-gen)";
}

TEST(Touchstone, RejectsMalformedFilesWithTheLine) {
    ScratchDir dir;
    // Short names: not cut in the message.
    const std::string fifo = dir.path() + "/fifo.s1p", none = dir.path() + "/none.s1p";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    // Text, or a file name as "@name" (a FIFO without a writer blocked), and the error.
    const std::tuple<std::string, int, std::string> cases[] = {
        {"# Hz S RI\n1 0 0\n2 0 0,5\n", 1, "line 3: not a number: 0,5"},
        {"# Hz S RI\n1 0 0\n2 0\n", 1, "line 3: incomplete record at the end of the file"},
        {"# Hz S RI\n2 0 0\n2 0 0\n", 1, "line 3: frequencies do not increase"},
        {"# Hz Y RI\n1 0 0\n", 1, "line 1: only S-parameters are supported, not Y"},
        {"# Hz S RI R\n1 0 0\n", 1, "line 1: R needs a positive reference impedance"},
        {"# Hz S XY\n", 1, "line 1: unknown option XY"},
        {"1 0 0\n# Hz S RI\n", 1, "line 2: option line after the data"},
        {"[Version] 2.0\n", 1, "line 1: keyword [Version] of a newer file version is not supported"},
        {"1 0 0 0 0\n", 0, "line 1: cannot tell the number of ports from 5 numbers"},
        {"! nothing\n", 1, "no data"},
        {"1 0 0\n", 3, "only one- and two-port files are supported"},
        {"# Hz S RI\n1 +-5 0\n", 1, "line 2: not a number: +-5"},
        {"# Hz S RI\n1 nan 0\n", 1, "line 2: not a number: nan"},
        {"# Hz S RI\n1 1e999 0\n", 1, "line 2: not a number: 1e999"},
        {"# Hz S DB\n1 7000 0\n", 1, "line 2: value out of range"},
        {"# GHz S RI\n1e300 0 0\n", 1, "line 2: frequency out of range"},
        {"# Hz S RI\n1 \x1b[2J\xff 0\n", 1, "line 2: not a number: \\x1b[2J\\xff"},  // escaped
        {"@" + none, 0, none + ": cannot open: No such file or directory"},
        {"@device.s3p", 0, "device.s3p: only one- and two-port files are supported"},
        {"@" + fifo, 0, fifo + ": not a regular file"},
    };
    Data d;
    std::string error;
    for (const auto& [text, ports, message] : cases) {
        EXPECT_FALSE(text[0] == '@' ? read_file(text.substr(1), d, error) : parse(text, ports, d, error)) << text;
        EXPECT_EQ(error, message);
    }
}

TEST(Touchstone, InterpolatesLinearlyAndClampsAtTheEnds) {
    Data d = parse_ok("# Hz S RI\n100 1 0 0 2 0 0 0 0\n200 3 -2 0 4 0 0 0 0\n400 -1 0 0 0 0 0 0 0\n", 2);
    const std::tuple<int, double, cd> cases[] = {
        {S11, 50, {1, 0}}, {S11, 150, {2, -1}}, {S21, 175, {0, 3.5}}, {S11, 300, {1, -1}}, {S11, 1e9, {-1, 0}}};
    for (auto [k, f, want] : cases) expect_near(interpolate(d, k, f), want);
    EXPECT_EQ(interpolate(Data{}, S11, 100), cd(0));
}
