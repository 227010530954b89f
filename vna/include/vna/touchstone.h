// Touchstone (version 1) files of one- and two-port S-parameters: reading and writing.
//
// Reading accepts the option line "# <unit> S <format> R <ohms>" with its fields in any
// order and any case (unit Hz, kHz, MHz or GHz; format RI, MA or DB), "!" comments
// anywhere, any white space and line ends (LF or CR LF), and the noise-parameter block
// that may follow the data of a two-port file. Numbers are read and written in the "C"
// notation (decimal point) whatever the process locale is.
#pragma once

#include <array>
#include <complex>
#include <string>
#include <string_view>
#include <vector>

namespace touchstone {

enum class Format { ri, ma, db };
enum class Unit { hz, khz, mhz, ghz };

// One frequency point. Parameters in file order: S11, S21, S12, S22; a one-port file
// fills only S11 and leaves the others 0.
struct Point {
    double freq_hz = 0;
    std::array<std::complex<double>, 4> s{};
};

inline constexpr int S11 = 0, S21 = 1, S12 = 2, S22 = 3;

// One line of a two-port file's noise block.
struct NoisePoint {
    double freq_hz = 0;
    double nf_min_db = 0;
    std::complex<double> gamma_opt;
    double rn = 0;  // effective noise resistance, normalised to the reference impedance
};

struct Data {
    int ports = 1;
    double reference_ohms = 50;
    std::vector<Point> points;  // strictly increasing frequencies
    std::vector<NoisePoint> noise;
};

// Parses the text of a file. ports is 1 or 2, or 0 to take it from the first data line
// (3 numbers: one port, 9: two ports). Returns false with a message in error (naming the
// line) when the text is not a valid file; out is then unspecified.
bool parse(std::string_view text, int ports, Data& out, std::string& error);

// Reads a regular file (a FIFO, folder or device is refused without waiting, as is a file
// of 256 MB or more); the port count comes from the name (".s1p", ".s2p", any case), else
// from the content. Messages show the path and tokens escaped and cut (vna_printable).
bool read_file(const std::string& path, Data& out, std::string& error);

// The text of a file: an option line for the given unit and format, reference
// data.reference_ohms, then one line per point (and the noise block, if any). comment,
// when not empty, is written first as "!" lines. Values are written so that RI files
// read back bit for bit.
std::string format(const Data& data, Format fmt, Unit unit, std::string_view comment = {});

// Writes the file whole or not at all (a temporary file renamed over path).
bool write_file(const std::string& path, const Data& data, Format fmt, Unit unit,
                std::string& error, std::string_view comment = {});

// Parameter k (S11, S21, S12 or S22) at freq_hz, interpolated linearly in frequency
// between the two nearest points (real and imaginary parts separately) and clamped to
// the first and last points outside the file's range. 0 for a file without points.
std::complex<double> interpolate(const Data& data, int k, double freq_hz);

}  // namespace touchstone
