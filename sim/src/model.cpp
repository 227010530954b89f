#include "sim/model.h"

#include <charconv>
#include <cmath>
#include <numbers>
#include <vector>

#include "vna/user_input.h"

namespace sim {
namespace {

constexpr double two_pi = 2.0 * std::numbers::pi;
constexpr cplx j{0.0, 1.0};

// exp(j·phase) of a delay of tau seconds at f, plus a fixed phase.
cplx turn(double freq_hz, double tau_s, double phase = 0.0) { return std::polar(1.0, phase - two_pi * freq_hz * tau_s); }

// A smooth rise from 0 at DC towards 1 above a few GHz.
double rise(double freq_hz)
{
    double g = freq_hz / 1e9;
    return g / (1.0 + g);
}

cplx gamma_of_z(cplx z) { return (z - z0) / (z + z0); }
cplx gamma_of_y(cplx y) { return (1.0 - z0 * y) / (1.0 + z0 * y); }

std::vector<std::string_view> words(std::string_view s)
{
    std::vector<std::string_view> w;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        size_t k = i;
        while (k < s.size() && s[k] != ' ' && s[k] != '\t') ++k;
        if (k > i) w.push_back(s.substr(i, k - i));
        i = k;
    }
    return w;
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

}  // namespace

bool parse_value(std::string_view text, double& value)
{
    if (text.empty()) return false;
    double scale = 1.0;
    switch (text.back()) {
    case 'f': scale = 1e-15; break;
    case 'p': scale = 1e-12; break;
    case 'n': scale = 1e-9; break;
    case 'u': scale = 1e-6; break;
    case 'm': scale = 1e-3; break;
    case 'k': scale = 1e3; break;
    case 'M': scale = 1e6; break;
    case 'G': scale = 1e9; break;
    default: break;
    }
    if (scale != 1.0) text.remove_suffix(1);
    const char* end = text.data() + text.size();
    double v;
    auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || ptr != end || !std::isfinite(v)) return false;
    value = v * scale;
    return true;
}

bool parse_dut(std::string_view device, Dut& dut, std::string& error)
{
    device = trim(device);
    auto w = words(device);
    if (w.empty()) {
        error = "no device given";
        return false;
    }
    Dut d;
    d.device = std::string(device);
    std::string_view kind = w[0];
    auto simple = [&](Dut::Kind k) {
        d.kind = k;
        if (w.size() != 1) {
            error = std::string(kind) + " takes no values";
            return false;
        }
        return true;
    };
    auto values = [&](Dut::Kind k, size_t n, double* out[]) {
        d.kind = k;
        if (w.size() != n + 1) {
            error = std::string(kind) + " needs " + std::to_string(n) + (n == 1 ? " value" : " values");
            return false;
        }
        for (size_t i = 0; i < n; ++i) {
            if (!parse_value(w[i + 1], *out[i]) || *out[i] < 0) {
                error = "not a value of zero or more: " + vna_printable(w[i + 1]);
                return false;
            }
        }
        return true;
    };
    bool ok = false;
    double* r[] = {&d.r};
    double* c[] = {&d.c};
    double* l[] = {&d.l};
    double* rlc[] = {&d.r, &d.l, &d.c};
    if (kind == "open") ok = simple(Dut::open);
    else if (kind == "short") ok = simple(Dut::short_);
    else if (kind == "load") ok = simple(Dut::load);
    else if (kind == "isolation") ok = simple(Dut::isolation);
    else if (kind == "thru") ok = simple(Dut::thru);
    else if (kind == "r") ok = values(Dut::resistor, 1, r);
    else if (kind == "c") ok = values(Dut::capacitor, 1, c);
    else if (kind == "l") ok = values(Dut::inductor, 1, l);
    else if (kind == "series") ok = values(Dut::series, 3, rlc);
    else if (kind == "parallel") ok = values(Dut::parallel, 3, rlc);
    else if (kind == "file" || kind == "raw") {
        d.kind = kind == "file" ? Dut::file : Dut::raw;
        std::string path(trim(device.substr(kind.size())));
        if (path.empty()) {
            error = std::string(kind) + " needs a file name";
            return false;
        }
        auto data = std::make_shared<touchstone::Data>();
        ok = touchstone::read_file(path, *data, error);
        d.data = std::move(data);
    } else {
        error = "unknown device: " + vna_printable(kind);
    }
    if (ok) dut = std::move(d);
    return ok;
}

SParams dut_sparams(const Dut& dut, double f, bool realistic)
{
    const double w = two_pi * f;
    SParams s{};
    switch (dut.kind) {
    case Dut::open:
        // As built: a fringing capacitance of 40 fF.
        s.s11 = realistic ? gamma_of_y(j * w * 40e-15) : 1.0;
        break;
    case Dut::short_:
        // As built: 25 pH of inductance.
        s.s11 = realistic ? gamma_of_z(j * w * 25e-12) : -1.0;
        break;
    case Dut::load:
    case Dut::isolation:
        s.s11 = realistic ? gamma_of_z(51.0) : 0.0;
        break;
    case Dut::thru:
        // As built: 15 ps of line with 0.1 dB of loss at 1 GHz, growing with the root of f.
        s.s21 = s.s12 = realistic ? std::pow(10.0, -0.005 * std::sqrt(f / 1e9)) * turn(f, 15e-12) : 1.0;
        break;
    case Dut::resistor: s.s11 = gamma_of_z(dut.r); break;
    case Dut::capacitor: s.s11 = gamma_of_y(j * w * dut.c); break;
    case Dut::inductor: s.s11 = gamma_of_z(j * w * dut.l); break;
    case Dut::series: {
        if (dut.c > 0 && w == 0) {
            s.s11 = 1.0;  // a capacitor in series blocks DC
            break;
        }
        cplx z = dut.r + j * w * dut.l;
        if (dut.c > 0) z += 1.0 / (j * w * dut.c);
        s.s11 = gamma_of_z(z);
        break;
    }
    case Dut::parallel: {
        if (dut.l > 0 && w == 0) {
            s.s11 = -1.0;  // an inductor in parallel shorts DC
            break;
        }
        cplx y = j * w * dut.c;
        if (dut.r > 0) y += 1.0 / dut.r;
        if (dut.l > 0) y += 1.0 / (j * w * dut.l);
        s.s11 = gamma_of_y(y);
        break;
    }
    case Dut::file:
    case Dut::raw:
        if (dut.data) {
            s.s11 = touchstone::interpolate(*dut.data, touchstone::S11, f);
            s.s21 = touchstone::interpolate(*dut.data, touchstone::S21, f);
            s.s12 = touchstone::interpolate(*dut.data, touchstone::S12, f);
            s.s22 = touchstone::interpolate(*dut.data, touchstone::S22, f);
        }
        break;
    }
    return s;
}

ErrorTerms error_terms(double f)
{
    const double g = rise(f);
    ErrorTerms e;
    e.ed = 0.09 * (1.0 + 0.5 * g) * turn(f, 0.35e-9, 1.1);
    e.es = 0.16 * (1.0 + 0.4 * g) * turn(f, 0.6e-9, -0.7);
    e.er = 0.82 * (1.0 - 0.15 * g) * turn(f, 2.4e-9, 0.2);  // 1.2 ns of cable, there and back
    e.ex = 0.004 * (1.0 + g) * turn(f, -1.0e-9, 2.0);
    e.et = 0.71 * (1.0 - 0.2 * g) * turn(f, 3.1e-9, -0.4);
    e.el = 0.12 * (1.0 + 0.3 * g) * turn(f, 0.9e-9, 0.8);
    return e;
}

cplx incident(double f)
{
    return incident_counts * (1.0 + 0.05 * std::cos(two_pi * f / 500e6)) * turn(f, 1.7e-9, 0.3);
}

RawRatios raw_ratios(const Dut& dut, double f, bool realistic)
{
    SParams s = dut_sparams(dut, f, realistic);
    if (dut.kind == Dut::raw) return {s.s11, s.s21};
    ErrorTerms e = error_terms(f);
    if (!realistic) return {e.ed + e.er * s.s11 / (1.0 - e.es * s.s11), e.ex + e.et * s.s21};
    // Forward twelve-term model: the source match and the load match of port 2 interact
    // with the device's own reflections.
    cplx det = s.s11 * s.s22 - s.s21 * s.s12;
    cplx d = (1.0 - e.es * s.s11) * (1.0 - e.el * s.s22) - e.es * e.el * s.s21 * s.s12;
    return {e.ed + e.er * (s.s11 - e.el * det) / d, e.ex + e.et * s.s21 / d};
}

}  // namespace sim
