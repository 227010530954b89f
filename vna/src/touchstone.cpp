#include "vna/touchstone.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numbers>

#include "vna/user_input.h"

namespace touchstone {
namespace {

constexpr double deg = std::numbers::pi / 180.0;
// Larger files are refused rather than read into memory.
constexpr size_t max_file_bytes = size_t(256) << 20;

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string lower(std::string_view s)
{
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return r;
}

std::vector<std::string_view> split(std::string_view line)
{
    std::vector<std::string_view> tokens;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && is_space(line[i])) ++i;
        size_t j = i;
        while (j < line.size() && !is_space(line[j])) ++j;
        if (j > i) tokens.push_back(line.substr(i, j - i));
        i = j;
    }
    return tokens;
}

// A number in "C" notation, independent of the locale; a leading '+' is allowed.
bool to_number(std::string_view token, double& value)
{
    if (!token.empty() && token[0] == '+') {
        token.remove_prefix(1);
        if (!token.empty() && token[0] == '-') return false;
    }
    const char* end = token.data() + token.size();
    auto [ptr, ec] = std::from_chars(token.data(), end, value);
    return ec == std::errc() && ptr == end && std::isfinite(value);
}

double unit_scale(Unit u)
{
    switch (u) {
    case Unit::hz: return 1.0;
    case Unit::khz: return 1e3;
    case Unit::mhz: return 1e6;
    case Unit::ghz: return 1e9;
    }
    return 1.0;
}

const char* unit_name(Unit u)
{
    switch (u) {
    case Unit::hz: return "Hz";
    case Unit::khz: return "kHz";
    case Unit::mhz: return "MHz";
    case Unit::ghz: return "GHz";
    }
    return "Hz";
}

struct Options {
    double scale = 1e9;  // the defaults of a file without option line: GHz S MA R 50
    Format format = Format::ma;
    double reference = 50;
};

std::string at_line(int line, const std::string& what) { return "line " + std::to_string(line) + ": " + what; }

bool parse_options(const std::vector<std::string_view>& tokens, int line, Options& o, std::string& error)
{
    for (size_t i = 1; i < tokens.size(); ++i) {
        std::string t = lower(tokens[i]);
        if (t == "hz") o.scale = 1.0;
        else if (t == "khz") o.scale = 1e3;
        else if (t == "mhz") o.scale = 1e6;
        else if (t == "ghz") o.scale = 1e9;
        else if (t == "s") {
        } else if (t == "y" || t == "z" || t == "h" || t == "g") {
            error = at_line(line, "only S-parameters are supported, not " + vna_printable(tokens[i]));
            return false;
        } else if (t == "ri") o.format = Format::ri;
        else if (t == "ma") o.format = Format::ma;
        else if (t == "db") o.format = Format::db;
        else if (t == "r") {
            if (i + 1 >= tokens.size() || !to_number(tokens[i + 1], o.reference) || o.reference <= 0) {
                error = at_line(line, "R needs a positive reference impedance");
                return false;
            }
            ++i;
        } else {
            error = at_line(line, "unknown option " + vna_printable(tokens[i]));
            return false;
        }
    }
    return true;
}

std::complex<double> pair_value(Format f, double a, double b)
{
    switch (f) {
    case Format::ri: return {a, b};
    case Format::ma: return std::polar(a, b * deg);
    case Format::db: return std::polar(std::pow(10.0, a / 20.0), b * deg);
    }
    return {};
}

void put(std::string& out, double v)
{
    char buf[32];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v);
    (void)ec;
    out.append(buf, ptr);
}

void put_pair(std::string& out, Format f, std::complex<double> v)
{
    double a = v.real(), b = v.imag();
    if (f != Format::ri) {
        double mag = std::abs(v);
        b = mag == 0 ? 0.0 : std::arg(v) / deg;
        a = f == Format::ma ? mag : 20.0 * std::log10(mag);
        if (f == Format::db && mag == 0) a = -400;  // far below any measurable level
    }
    out += ' ';
    put(out, a);
    out += ' ';
    put(out, b);
}

}  // namespace

bool parse(std::string_view text, int ports, Data& out, std::string& error)
{
    out = Data{};
    if (ports != 0 && ports != 1 && ports != 2) {
        error = "only one- and two-port files are supported";
        return false;
    }
    Options opt;
    bool have_options = false, have_data = false, in_noise = false;
    std::vector<double> group;  // the numbers of the record being collected
    int group_line = 0;
    int line_no = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;
        ++line_no;
        if (size_t bang = line.find('!'); bang != std::string_view::npos) line = line.substr(0, bang);
        auto tokens = split(line);
        if (tokens.empty()) continue;
        if (tokens[0][0] == '#') {
            if (have_data) {
                error = at_line(line_no, "option line after the data");
                return false;
            }
            if (have_options) continue;  // only the first option line counts
            if (tokens[0].size() > 1) tokens.insert(tokens.begin() + 1, tokens[0].substr(1));
            if (!parse_options(tokens, line_no, opt, error)) return false;
            have_options = true;
            continue;
        }
        if (tokens[0][0] == '[') {
            error = at_line(line_no, "keyword " + vna_printable(tokens[0]) + " of a newer file version is not supported");
            return false;
        }
        if (!have_data && ports == 0) {
            if (tokens.size() == 3) ports = 1;
            else if (tokens.size() == 9) ports = 2;
            else {
                error = at_line(line_no, "cannot tell the number of ports from " + std::to_string(tokens.size()) + " numbers");
                return false;
            }
        }
        have_data = true;
        for (auto t : tokens) {
            double v;
            if (!to_number(t, v)) {
                error = at_line(line_no, "not a number: " + vna_printable(t));
                return false;
            }
            if (group.empty()) {
                group_line = line_no;
                // In a two-port file a frequency that does not increase starts the noise block.
                if (!in_noise && ports == 2 && !out.points.empty() && v * opt.scale <= out.points.back().freq_hz)
                    in_noise = true;
            }
            group.push_back(v);
            size_t need = in_noise ? 5 : size_t(1 + 2 * ports * ports);
            if (group.size() < need) continue;
            double f = group[0] * opt.scale;
            if (f < 0) {
                error = at_line(group_line, "negative frequency");
                return false;
            }
            if (!std::isfinite(f)) {
                error = at_line(group_line, "frequency out of range");
                return false;
            }
            if (in_noise) {
                if (!out.noise.empty() && f <= out.noise.back().freq_hz) {
                    error = at_line(group_line, "noise frequencies do not increase");
                    return false;
                }
                out.noise.push_back({f, group[1], std::polar(group[2], group[3] * deg), group[4]});
            } else {
                if (!out.points.empty() && f <= out.points.back().freq_hz) {
                    error = at_line(group_line, "frequencies do not increase");
                    return false;
                }
                Point p;
                p.freq_hz = f;
                for (int k = 0; k < ports * ports; ++k) {
                    p.s[size_t(k)] = pair_value(opt.format, group[size_t(1 + 2 * k)], group[size_t(2 + 2 * k)]);
                    // A level above about 6150 dB has no finite magnitude.
                    if (!std::isfinite(p.s[size_t(k)].real()) || !std::isfinite(p.s[size_t(k)].imag())) {
                        error = at_line(group_line, "value out of range");
                        return false;
                    }
                }
                out.points.push_back(p);
            }
            group.clear();
        }
    }
    if (!group.empty()) {
        error = at_line(group_line, "incomplete record at the end of the file");
        return false;
    }
    if (out.points.empty()) {
        error = "no data";
        return false;
    }
    out.ports = ports;
    out.reference_ohms = opt.reference;
    return true;
}

bool read_file(const std::string& path, Data& out, std::string& error)
{
    int ports = 0;
    std::string name = lower(path);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && name.size() - dot == 4 && name[dot + 1] == 's' && name[dot + 3] == 'p' &&
        name[dot + 2] >= '0' && name[dot + 2] <= '9') {
        ports = name[dot + 2] - '0';
        if (ports != 1 && ports != 2) {
            error = vna_printable(path) + ": only one- and two-port files are supported";
            return false;
        }
    }
    std::string text;
    int err = 0;
    const UserFile read = vna_read_user_file(path.c_str(), max_file_bytes, text, err);
    if (read != UserFile::ok) {
        error = vna_printable(path) + ": " + (read == UserFile::cannot_open ? "cannot open: " : "") +
                vna_user_file_reason(read, err);
        return false;
    }
    if (text.size() >= max_file_bytes) {
        error = vna_printable(path) + ": larger than 256 MB";
        return false;
    }
    if (!parse(text, ports, out, error)) {
        error = vna_printable(path) + ": " + error;
        return false;
    }
    return true;
}

std::string format(const Data& data, Format fmt, Unit unit, std::string_view comment)
{
    std::string out;
    size_t pos = 0;
    while (pos < comment.size()) {
        size_t eol = comment.find('\n', pos);
        if (eol == std::string_view::npos) eol = comment.size();
        out += "! ";
        out += comment.substr(pos, eol - pos);
        out += '\n';
        pos = eol + 1;
    }
    out += "# ";
    out += unit_name(unit);
    out += fmt == Format::ri ? " S RI R " : fmt == Format::ma ? " S MA R " : " S DB R ";
    put(out, data.reference_ohms);
    out += '\n';
    double scale = unit_scale(unit);
    int n = data.ports == 2 ? 4 : 1;
    for (const Point& p : data.points) {
        put(out, p.freq_hz / scale);
        for (int k = 0; k < n; ++k) put_pair(out, fmt, p.s[size_t(k)]);
        out += '\n';
    }
    if (data.ports == 2 && !data.noise.empty()) {
        out += "! noise parameters: frequency, NFmin (dB), |Gamma opt|, angle of Gamma opt, Rn / R\n";
        for (const NoisePoint& p : data.noise) {
            put(out, p.freq_hz / scale);
            out += ' ';
            put(out, p.nf_min_db);
            put_pair(out, Format::ma, p.gamma_opt);
            out += ' ';
            put(out, p.rn);
            out += '\n';
        }
    }
    return out;
}

bool write_file(const std::string& path, const Data& data, Format fmt, Unit unit, std::string& error,
                std::string_view comment)
{
    const std::string text = format(data, fmt, unit, comment);
    int err = 0;
    const FileWrite written = vna_write_whole_file(path.c_str(), text, err);
    if (written == FileWrite::done) return true;
    error = vna_printable(path) + (written == FileWrite::write_failed ? ": write error: " : ": cannot create: ") +
            std::strerror(err);
    return false;
}

std::complex<double> interpolate(const Data& data, int k, double freq_hz)
{
    const auto& pts = data.points;
    if (pts.empty() || k < 0 || k > 3) return {};
    if (freq_hz <= pts.front().freq_hz) return pts.front().s[size_t(k)];
    if (freq_hz >= pts.back().freq_hz) return pts.back().s[size_t(k)];
    auto hi = std::upper_bound(pts.begin(), pts.end(), freq_hz,
                               [](double f, const Point& p) { return f < p.freq_hz; });
    auto lo = hi - 1;
    double t = (freq_hz - lo->freq_hz) / (hi->freq_hz - lo->freq_hz);
    return lo->s[size_t(k)] + (hi->s[size_t(k)] - lo->s[size_t(k)]) * t;
}

}  // namespace touchstone
