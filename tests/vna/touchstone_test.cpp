#include "vna/touchstone.h"

#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <locale>
#include <numbers>
#include <string>
#include <unistd.h>

using namespace touchstone;

namespace {

// Real measured files (tests/data/touchstone/README.md says what each is).
std::string shared_data(const char* name)
{
    return std::string(CORVANE_SOURCE_DIR) + "/tests/data/touchstone/" + name;
}

// Switches the C and C++ locales to one with a decimal comma for the life of the object.
class DecimalCommaLocale {
public:
    DecimalCommaLocale()
    {
        saved_ = std::setlocale(LC_ALL, nullptr);
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "it_IT.UTF-8"}) {
            if (std::setlocale(LC_ALL, name) && std::localeconv()->decimal_point[0] == ',') {
                name_ = name;
                saved_cpp_ = std::locale::global(std::locale(name));
                return;
            }
        }
        std::setlocale(LC_ALL, saved_.c_str());
    }
    ~DecimalCommaLocale()
    {
        if (name_.empty()) return;
        std::locale::global(saved_cpp_);
        std::setlocale(LC_ALL, saved_.c_str());
    }
    bool active() const { return !name_.empty(); }

private:
    std::string saved_, name_;
    std::locale saved_cpp_;
};

#define REQUIRE_DECIMAL_COMMA(loc)                                                                     \
    DecimalCommaLocale loc;                                                                            \
    if (!loc.active())                                                                                 \
    GTEST_SKIP() << "no locale with a decimal comma is installed (generate de_DE.UTF-8 with locale-gen)"

Data parse_ok(std::string_view text, int ports = 0)
{
    Data d;
    std::string error;
    EXPECT_TRUE(parse(text, ports, d, error)) << error << "\n" << text;
    return d;
}

std::string parse_error(std::string_view text, int ports = 0)
{
    Data d;
    std::string error;
    EXPECT_FALSE(parse(text, ports, d, error)) << text;
    return error;
}

void expect_near(std::complex<double> got, std::complex<double> want, double tol = 1e-12)
{
    EXPECT_NEAR(got.real(), want.real(), tol);
    EXPECT_NEAR(got.imag(), want.imag(), tol);
}

// A number as the test's own text, in "C" notation whatever the locale.
std::string c_number(double v)
{
    char buf[32];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, ptr);
}

// The same two points, S11 = 0.5∠-90° and S21 = 2∠45°, in each format and unit.
void check_format_and_unit_variants()
{
    const std::complex<double> s11 = std::polar(0.5, -std::numbers::pi / 2);
    const std::complex<double> s21 = std::polar(2.0, std::numbers::pi / 4);
    const std::string db_half = c_number(20 * std::log10(0.5));
    const std::string db_two = c_number(20 * std::log10(2.0));
    struct Case {
        std::string text;
        double tol;
    };
    const Case cases[] = {
        {"# hz s ri r 50\n1e6 0 -0.5 1.4142135623730951 1.4142135623730951 0 0 0 0\n"
         "2000000 0 -0.5 1.4142135623730951 1.4142135623730951 0 0 0 0\n", 1e-15},
        {"# KHZ S MA R 50\n1000 0.5 -90 2 45 0 0 0 0\n2000.0 .5 -90.0 2.0 45 0 0 0 0\n", 1e-15},
        {"#MHz S DB R 50\n1 " + db_half + " -90 " + db_two + " 45 -400 0 -400 0\n2 " + db_half + " -90 " +
             db_two + " 45 -400 0 -400 0\n", 1e-15},
        // Fields in another order, tabs, a comment on the option line, a '+' sign.
        {"#\tR 50.0 MA GhZ S ! comment\n0.001 +0.5 -90 2 +45 0 0 0 0\n+2e-3 0.5 -90 2 45 0 0 0 0\n", 1e-15},
    };
    for (const Case& c : cases) {
        Data d = parse_ok(c.text);
        ASSERT_EQ(d.points.size(), 2u) << c.text;
        EXPECT_EQ(d.ports, 2);
        EXPECT_DOUBLE_EQ(d.points[0].freq_hz, 1e6) << c.text;
        EXPECT_DOUBLE_EQ(d.points[1].freq_hz, 2e6) << c.text;
        for (const Point& p : d.points) {
            expect_near(p.s[S11], s11, c.tol);
            expect_near(p.s[S21], s21, c.tol);
            EXPECT_LT(std::abs(p.s[S12]), 1e-19);
        }
    }
}

struct SharedFile {
    const char* name;
    int ports;
    size_t points, noise;
    double first_hz, last_hz;
    std::complex<double> last_s11;
};

const SharedFile shared_files[] = {
    {"bfu520_5v_10ma.s2p", 2, 37, 37, 400e6, 2000e6, std::polar(0.46792, 162.95 * std::numbers::pi / 180)},
    {"msl_P1-MSL_Open_50.s1p", 1, 10000, 0, 1e6, 10e9, {0.5601422, -0.1083778}},
    {"msl_P1-MSL_Stepped_140-P2.s2p", 2, 10000, 0, 1e6, 10e9, {-0.5155143, 0.2977892}},
    {"msl_P1-MSL_Thru_100-P2.s2p", 2, 10000, 0, 1e6, 10e9, {-0.1422821, 0.0875771}},
    {"splitter_cal_match_raw.s2p", 2, 4400, 0, 1e6, 4.4e9, {0.11388358473777771, 0.09304314106702805}},
    {"splitter_cal_open_raw.s2p", 2, 4400, 0, 1e6, 4.4e9, {-0.5146259069442749, 0.4662729799747467}},
    {"splitter_cal_short_raw.s2p", 2, 4400, 0, 1e6, 4.4e9, {0.6852343082427979, -0.23136289417743683}},
    {"splitter_cal_thru_raw.s2p", 2, 4400, 0, 1e6, 4.4e9, {0.1390078216791153, 0.06395510584115982}},
    {"splitter_dut_raw_12.s2p", 2, 4400, 0, 1e6, 4.4e9, {0.15884998440742493, -0.14873051643371582}},
    {"splitter_dut_raw_13.s2p", 2, 4400, 0, 1e6, 4.4e9, {0.14434224367141724, -0.1657348871231079}},
};

void check_shared_files()
{
    for (const SharedFile& f : shared_files) {
        SCOPED_TRACE(f.name);
        Data d;
        std::string error;
        ASSERT_TRUE(read_file(shared_data(f.name), d, error)) << error;
        EXPECT_EQ(d.ports, f.ports);
        EXPECT_EQ(d.reference_ohms, 50.0);
        ASSERT_EQ(d.points.size(), f.points);
        EXPECT_EQ(d.noise.size(), f.noise);
        EXPECT_NEAR(d.points.front().freq_hz, f.first_hz, 1e-3);
        EXPECT_NEAR(d.points.back().freq_hz, f.last_hz, 1e-3);
        expect_near(d.points.back().s[S11], f.last_s11, 1e-15);
    }
    // Two spot checks of the MA file: the first S21 and the last noise line.
    Data d;
    std::string error;
    ASSERT_TRUE(read_file(shared_data("bfu520_5v_10ma.s2p"), d, error)) << error;
    expect_near(d.points[0].s[S21], std::polar(15.544, 120.57 * std::numbers::pi / 180));
    const NoisePoint& n = d.noise.back();
    EXPECT_DOUBLE_EQ(n.freq_hz, 2000e6);
    EXPECT_DOUBLE_EQ(n.nf_min_db, 1.0811);
    expect_near(n.gamma_opt, std::polar(0.18377, -175.16 * std::numbers::pi / 180));
    EXPECT_DOUBLE_EQ(n.rn, 0.0906);
}

}  // namespace

TEST(Touchstone, ReadsEveryFormatAndUnit) { check_format_and_unit_variants(); }

TEST(Touchstone, ReadsEveryFormatAndUnitUnderDecimalComma)
{
    REQUIRE_DECIMAL_COMMA(loc);
    ASSERT_EQ(std::localeconv()->decimal_point[0], ',');
    check_format_and_unit_variants();
}

TEST(Touchstone, ReadsTheMeasuredFiles) { check_shared_files(); }

TEST(Touchstone, ReadsTheMeasuredFilesUnderDecimalComma)
{
    REQUIRE_DECIMAL_COMMA(loc);
    check_shared_files();
}

TEST(Touchstone, CommentsWhiteSpaceAndDefaults)
{
    // No option line: GHz, MA, 50 ohms. CR LF ends, blank lines, comments everywhere.
    Data d = parse_ok("! head\r\n\r\n  0.5\t1 180 ! trailing\r\n! between\r\n1.5 0.25 0\r\n", 1);
    ASSERT_EQ(d.points.size(), 2u);
    EXPECT_EQ(d.ports, 1);
    EXPECT_DOUBLE_EQ(d.points[0].freq_hz, 0.5e9);
    expect_near(d.points[0].s[S11], {-1, 0});
    expect_near(d.points[1].s[S11], {0.25, 0});

    // A two-port record may be wrapped over several lines; only the first option line counts.
    d = parse_ok("# MHz S RI R 75\n# GHz S MA\n10 1 2 3 4\n 5 6\n7 8\n", 2);
    ASSERT_EQ(d.points.size(), 1u);
    EXPECT_DOUBLE_EQ(d.points[0].freq_hz, 10e6);
    EXPECT_EQ(d.reference_ohms, 75.0);
    expect_near(d.points[0].s[S22], {7, 8});

    // The port count comes from the first data line when the caller does not know it.
    EXPECT_EQ(parse_ok("# Hz S RI\n1 0 0\n").ports, 1);
    EXPECT_EQ(parse_ok("# Hz S RI\n1 0 0 0 0 0 0 0 0\n").ports, 2);
}

TEST(Touchstone, RejectsMalformedFilesWithTheLine)
{
    EXPECT_EQ(parse_error("# Hz S RI\n1 0 0\n2 0 x\n", 1), "line 3: not a number: x");
    EXPECT_EQ(parse_error("# Hz S RI\n1 0 0\n2 0\n", 1), "line 3: incomplete record at the end of the file");
    EXPECT_EQ(parse_error("# Hz S RI\n2 0 0\n2 0 0\n", 1), "line 3: frequencies do not increase");
    EXPECT_EQ(parse_error("# Hz Y RI\n1 0 0\n", 1), "line 1: only S-parameters are supported, not Y");
    EXPECT_EQ(parse_error("# Hz S RI R\n1 0 0\n", 1), "line 1: R needs a positive reference impedance");
    EXPECT_EQ(parse_error("# Hz S XY\n", 1), "line 1: unknown option XY");
    EXPECT_EQ(parse_error("1 0 0\n# Hz S RI\n", 1), "line 2: option line after the data");
    EXPECT_EQ(parse_error("[Version] 2.0\n", 1).find("line 1: keyword [Version]"), 0u);
    EXPECT_EQ(parse_error("1 0 0 0 0\n"), "line 1: cannot tell the number of ports from 5 numbers");
    EXPECT_EQ(parse_error("! nothing\n", 1), "no data");
    EXPECT_EQ(parse_error("1 0 0\n", 3), "only one- and two-port files are supported");
    // Numbers that a lenient reader would half-take.
    EXPECT_FALSE(parse_error("# Hz S RI\n1 0,5 0\n", 1).empty());
    EXPECT_FALSE(parse_error("# Hz S RI\n1 +-5 0\n", 1).empty());
    EXPECT_FALSE(parse_error("# Hz S RI\n1 nan 0\n", 1).empty());
    EXPECT_FALSE(parse_error("# Hz S RI\n1 1e999 0\n", 1).empty());

    Data d;
    std::string error;
    EXPECT_FALSE(read_file(shared_data("no-such-file.s1p"), d, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
    EXPECT_FALSE(read_file("device.s3p", d, error));
    EXPECT_NE(error.find("one- and two-port"), std::string::npos);
}

TEST(Touchstone, PortCountFromTheFileName)
{
    // Nine numbers in a ".s1p" file are three one-port records, not one two-port record.
    char path[] = "/tmp/touchstone_test_XXXXXX.S1P";
    int fd = mkstemps(path, 4);
    ASSERT_GE(fd, 0);
    const char text[] = "# Hz S RI\n1 0.1 0 2 0.2 0 3 0.3 0\n";
    ASSERT_EQ(write(fd, text, sizeof text - 1), ssize_t(sizeof text - 1));
    close(fd);
    Data d;
    std::string error;
    EXPECT_TRUE(read_file(path, d, error)) << error;
    unlink(path);
    EXPECT_EQ(d.ports, 1);
    ASSERT_EQ(d.points.size(), 3u);
    expect_near(d.points[2].s[S11], {0.3, 0});
}

namespace {

Data sample_two_port()
{
    Data d;
    d.ports = 2;
    d.reference_ohms = 50;
    for (int i = 0; i < 5; ++i) {
        Point p;
        p.freq_hz = 1e6 + 1234567.0 * i;
        for (int k = 0; k < 4; ++k)
            p.s[size_t(k)] = std::polar(0.1 + 0.2 * k + 0.01 * i, -3.0 + 1.4 * k + 0.3 * i);
        d.points.push_back(p);
    }
    d.noise.push_back({2e6, 0.9, std::polar(0.1, 2.0), 0.11});
    d.noise.push_back({3e6, 1.1, std::polar(0.2, -1.0), 0.09});
    return d;
}

void check_round_trip()
{
    const Data d = sample_two_port();
    for (Format fmt : {Format::ri, Format::ma, Format::db}) {
        for (Unit unit : {Unit::hz, Unit::khz, Unit::mhz, Unit::ghz}) {
            std::string text = format(d, fmt, unit, "written by a test\nsecond line");
            SCOPED_TRACE(text);
            for (size_t c = text.find(','); c != std::string::npos; c = text.find(',', c + 1))
                EXPECT_FALSE(c > 0 && std::isdigit((unsigned char)text[c - 1])) << "decimal comma written";
            EXPECT_EQ(text.rfind("! written by a test\n! second line\n#", 0), 0u);
            Data back = parse_ok(text, 2);
            ASSERT_EQ(back.points.size(), d.points.size());
            ASSERT_EQ(back.noise.size(), d.noise.size());
            for (size_t i = 0; i < d.points.size(); ++i) {
                EXPECT_NEAR(back.points[i].freq_hz, d.points[i].freq_hz, 1e-6);
                for (int k = 0; k < 4; ++k) {
                    if (fmt == Format::ri && unit == Unit::hz) {
                        EXPECT_EQ(back.points[i].s[size_t(k)], d.points[i].s[size_t(k)]);
                        EXPECT_EQ(back.points[i].freq_hz, d.points[i].freq_hz);
                    } else {
                        expect_near(back.points[i].s[size_t(k)], d.points[i].s[size_t(k)], 1e-14);
                    }
                }
            }
            expect_near(back.noise[1].gamma_opt, d.noise[1].gamma_opt, 1e-14);
            EXPECT_DOUBLE_EQ(back.noise[1].rn, 0.09);
        }
    }
    // A one-port file has one pair per line.
    Data one;
    one.points.push_back({1e9, {std::complex<double>(0.5, -0.25)}});
    EXPECT_EQ(format(one, Format::ri, Unit::ghz), "# GHz S RI R 50\n1 0.5 -0.25\n");
}

}  // namespace

TEST(Touchstone, WritesWhatItReads) { check_round_trip(); }

TEST(Touchstone, WritesWhatItReadsUnderDecimalComma)
{
    REQUIRE_DECIMAL_COMMA(loc);
    check_round_trip();
}

TEST(Touchstone, WriteFileReportsFailure)
{
    std::string error;
    EXPECT_FALSE(write_file("/nonexistent-dir/x.s2p", sample_two_port(), Format::ri, Unit::hz, error));
    EXPECT_NE(error.find("cannot create"), std::string::npos);
}

TEST(Touchstone, InterpolatesLinearlyAndClampsAtTheEnds)
{
    Data d = parse_ok("# Hz S RI\n100 1 0 0 2 0 0 0 0\n200 3 -2 0 4 0 0 0 0\n400 -1 0 0 0 0 0 0 0\n", 2);
    expect_near(interpolate(d, S11, 50), {1, 0});
    expect_near(interpolate(d, S11, 100), {1, 0});
    expect_near(interpolate(d, S11, 150), {2, -1});
    expect_near(interpolate(d, S21, 175), {0, 3.5});
    expect_near(interpolate(d, S11, 300), {1, -1});
    expect_near(interpolate(d, S11, 400), {-1, 0});
    expect_near(interpolate(d, S11, 1e9), {-1, 0});
    expect_near(interpolate(Data{}, S11, 100), {0, 0});
}
