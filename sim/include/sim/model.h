// What the simulated analyser measures: the device under test, the test set between it
// and the receivers, and the incident wave.
//
// Readings of one point are a1 (incident wave), b1 = a1 × raw S11 and b2 = a1 × raw S21.
// By default raw S11 follows the three-term one-port model and raw S21 leakage plus
// tracking, exactly the model that the program's calibration removes:
//     raw S11 = Ed + Er·S11 / (1 − Es·S11)        raw S21 = Ex + Et·S21
// so a calibrated measurement gives back the device's S11 and S21. The realistic model
// adds the load match El of port 2 (the forward twelve-term model) and non-ideal
// standards (an open with fringing capacitance, a short with inductance, a load of 51 Ω,
// a thru with delay and loss), which that calibration does not remove.
#pragma once

#include <complex>
#include <memory>
#include <string>
#include <string_view>

#include "vna/touchstone.h"

namespace sim {

using cplx = std::complex<double>;

inline constexpr double z0 = 50.0;
inline constexpr double incident_counts = 1048576.0;  // 2^20

struct SParams {
    cplx s11, s21, s12, s22;
};

struct Dut {
    enum Kind { open, short_, load, isolation, thru, resistor, capacitor, inductor, series, parallel, file, raw };
    Kind kind = load;
    double r = 0, l = 0, c = 0;  // ohms, henries, farads; 0 leaves an element of series/parallel out
    std::shared_ptr<const touchstone::Data> data;  // file and raw
    std::string device;  // as given, for messages
};

// A value with an optional SI suffix: f p n u m k M G (as "10p", "100n", "2.2k", "1e-9").
bool parse_value(std::string_view text, double& value);

// "open", "short", "load", "isolation", "thru", "r OHMS", "c FARADS", "l HENRIES",
// "series R L C", "parallel R L C", "file PATH", "raw PATH". Files are read here.
bool parse_dut(std::string_view device, Dut& dut, std::string& error);

// The device's own S-parameters at freq_hz (realistic: the standards as built).
SParams dut_sparams(const Dut& dut, double freq_hz, bool realistic);

struct ErrorTerms {
    cplx ed, es, er;  // directivity, source match, reflection tracking (with the cable delay)
    cplx ex, et;      // leakage, transmission tracking
    cplx el;          // load match of port 2 (used by the realistic model only)
};

ErrorTerms error_terms(double freq_hz);

// The incident wave in counts: about 2^20, its phase turning with frequency.
cplx incident(double freq_hz);

struct RawRatios {
    cplx s11, s21;  // b1 / a1 and b2 / a1
};

// What the receivers see for the device, before noise and rounding. A raw device is
// served as its file holds it, without the test set.
RawRatios raw_ratios(const Dut& dut, double freq_hz, bool realistic);

}  // namespace sim
