// Touchstone reader: any text is refused or read into increasing frequencies, and what was
// read, written again as RI in Hz, reads back bit for bit.
#include <cmath>
#include <cstring>

#include "fuzz_support.h"
#include "vna/touchstone.h"

namespace {

constexpr size_t CAP = 1 << 20;

bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > CAP) return -1;
    const int ports = data[0] % 3;  // 0: from the first data line
    touchstone::Data d;
    std::string error;
    if (!touchstone::parse(fuzz::text(data + 1, size - 1), ports, d, error)) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    FUZZ_CHECK(d.ports == 1 || d.ports == 2);
    FUZZ_CHECK(ports == 0 || d.ports == ports);
    for (size_t i = 1; i < d.points.size(); i++) FUZZ_CHECK(d.points[i].freq_hz > d.points[i - 1].freq_hz);

    const std::string written = touchstone::format(d, touchstone::Format::ri, touchstone::Unit::hz);
    touchstone::Data back;
    FUZZ_CHECK(touchstone::parse(written, d.ports, back, error));
    FUZZ_CHECK(back.points.size() == d.points.size() && back.noise.size() == d.noise.size());
    FUZZ_CHECK(same(back.reference_ohms, d.reference_ohms));
    for (size_t i = 0; i < d.points.size(); i++) {
        FUZZ_CHECK(same(back.points[i].freq_hz, d.points[i].freq_hz));
        for (int k = 0; k < 4; k++) {
            FUZZ_CHECK(same(back.points[i].s[k].real(), d.points[i].s[k].real()));
            FUZZ_CHECK(same(back.points[i].s[k].imag(), d.points[i].s[k].imag()));
        }
    }
    if (!d.points.empty()) {
        const double f = d.points.front().freq_hz;
        for (int k = 0; k < 4; k++) {
            const std::complex<double> v = touchstone::interpolate(d, k, f);
            FUZZ_CHECK(same(v.real(), d.points.front().s[k].real()));
        }
    }
    return 0;
}
