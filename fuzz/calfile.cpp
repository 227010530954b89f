// Calibration file loader: any file content is refused or loaded whole, and a loaded file
// saves back to the same bytes (the reserved header word is written as 0).
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "fuzz_support.h"
#include "vna/calfile.h"
#include "vna/calibration.h"
#include "vna/device.h"

namespace {

constexpr size_t CAP = 128 << 10;  // a file of 2001 points holds 80072 bytes

std::string read_back(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > CAP) return -1;
    const std::string in = fuzz::Scratch::put("in.cal", data, size);
    std::snprintf(vna_cal_file, sizeof vna_cal_file, "%s", in.c_str());
    vna_cal_valid.store(0);
    vna_points.store(401);
    const int loaded = vna_load_calibration();
    if (!loaded) {
        FUZZ_CHECK(vna_state.load() == VNA_ERROR);
        return 0;
    }
    const unsigned points = vna_points.load();
    FUZZ_CHECK(points >= 2 && points <= VNA_MAX_POINTS && size >= cal_file_size(points));
    FUZZ_CHECK(vna_cal_valid.load() == 1);
    for (unsigned i = 0; i < points; i++)
        for (const VNA_COMPLEX* a : {cal_ed, cal_es, cal_er})
            FUZZ_CHECK(std::isfinite(a[i].re) && std::isfinite(a[i].im));

    const std::string out = fuzz::Scratch::dir() + "/out.cal";
    std::snprintf(vna_cal_file, sizeof vna_cal_file, "%s", out.c_str());
    FUZZ_CHECK(vna_save_calibration() == 1);
    std::string expected(reinterpret_cast<const char*>(data), cal_file_size(points));
    expected[26] = expected[27] = 0;  // reserved
    std::memset(&expected[28], 0, 4);  // padding of the 32-byte header
    FUZZ_CHECK(read_back(out) == expected);
    return 0;
}
