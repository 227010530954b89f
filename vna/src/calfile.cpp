// Saving and loading calibration files.
#include "vna/calfile.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "vna/calibration.h"
#include "vna/device.h"
#include "vna/user_input.h"

char vna_cal_file[128] = "vna.cal";
std::atomic<int> vna_cal_errno{0};

namespace {

VNA_COMPLEX* const standards[5] = {cal_open, cal_short, cal_load, cal_isol, cal_thru};

void put_u16(uint8_t* p, uint16_t v) {
    for (int i = 0; i < 2; i++) p[i] = uint8_t(v >> (8 * i));
}
void put_u32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
}
void put_u64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; i++) p[i] = uint8_t(v >> (8 * i));
}
uint16_t get_u16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t get_u32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t get_u64(const uint8_t* p) { return uint64_t(get_u32(p)) | uint64_t(get_u32(p + 4)) << 32; }
void put_float(uint8_t* p, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    put_u32(p, bits);
}
float get_float(const uint8_t* p) {
    const uint32_t bits = get_u32(p);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

// The bytes of a file for the current sweep and standards.
std::vector<uint8_t> file_bytes(uint64_t start, uint64_t stop, uint16_t points) {
    std::vector<uint8_t> out(cal_file_size(points), 0);
    put_u32(&out[0], CAL_MAGIC);
    put_u32(&out[4], CAL_VERSION);
    put_u64(&out[8], start);
    put_u64(&out[16], stop);
    put_u16(&out[24], points);
    put_u16(&out[26], 0);
    uint8_t* p = &out[CAL_HEADER_BYTES];
    for (const VNA_COMPLEX* a : standards)
        for (unsigned i = 0; i < points; i++, p += 8) {
            put_float(p, a[i].re);
            put_float(p + 4, a[i].im);
        }
    return out;
}

// True when every float of the standards is finite and so are the error terms computed
// from them: a file that passes gives finite corrected values.
bool finite_standards(const uint8_t* p, unsigned points) {
    const size_t floats = 10u * points;
    for (size_t k = 0; k < floats; k++)
        if (!std::isfinite(get_float(p + 4 * k))) return false;
    const auto at = [&](int standard, unsigned i) {
        const uint8_t* q = p + 8 * (size_t(standard) * points + i);
        return VNA_COMPLEX{get_float(q), get_float(q + 4)};
    };
    for (unsigned i = 0; i < points; i++) {
        VNA_COMPLEX es, er;
        vna_error_terms(at(0, i), at(1, i), at(2, i), es, er);
        for (float f : {es.re, es.im, er.re, er.im})
            if (!std::isfinite(f)) return false;
    }
    return true;
}

int end_in_error(const char* message, int err = 0) {
    vna_cal_errno.store(err);
    vna_status.set(message);
    vna_state.store(VNA_ERROR);
    return 0;
}

bool port_open() { return vna_com->open.load() != 0; }

}  // namespace

void remblank(char* s) {
    if (char* blank = std::strchr(s, ' ')) *blank = 0;
}

void vna_set_cal_file(const char* typed, bool for_save) {
    char name[sizeof vna_cal_file];
    std::snprintf(name, sizeof name, "%s", typed);
    remblank(name);
    if (for_save && !std::strstr(name, ".cal"))
        std::snprintf(vna_cal_file, sizeof vna_cal_file, "%.*s.cal", int(sizeof name - 5), name);
    else
        std::snprintf(vna_cal_file, sizeof vna_cal_file, "%s", name);
}

int vna_save_calibration() {
    vna_state.store(VNA_BUSY);
    vna_cal_errno.store(0);
    int result = 0;
    const uint16_t points = vna_points.load();
    // A point count outside 2 to 2001 (edited after the calibration) has no calibration
    // and could only give a file that no load accepts.
    if (!vna_cal_valid.load() || points < 2 || points > VNA_MAX_POINTS) {
        vna_status.set("No calibration to save");
    } else {
        const std::vector<uint8_t> bytes = file_bytes(vna_f_start.load(), vna_f_stop.load(), points);
        int err = 0;
        const FileWrite written = vna_write_whole_file(
            vna_cal_file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), err);
        vna_cal_errno.store(err);
        // A rename that fails means the target name cannot take the file (a folder, say).
        vna_status.set(written == FileWrite::done            ? "Calibration saved"
                       : written == FileWrite::write_failed ? "Calibration write error"
                                                             : "Calibration file open error");
        result = written == FileWrite::done;
    }
    vna_state.store(port_open() ? VNA_CONNECTED : VNA_NOT_CONNECTED);
    return result;
}

int vna_load_calibration() {
    vna_state.store(VNA_BUSY);
    std::string text;
    int err = 0;
    const UserFile read = vna_read_user_file(vna_cal_file, cal_file_size(VNA_MAX_POINTS), text, err);
    if (read == UserFile::cannot_open) return end_in_error("Calibration file not found", err);
    if (read != UserFile::ok) return end_in_error("Invalid calibration file", err);
    vna_cal_errno.store(0);
    const std::vector<uint8_t> bytes(text.begin(), text.end());
    if (bytes.size() < CAL_HEADER_BYTES) return end_in_error("Invalid calibration file");
    const uint32_t magic = get_u32(&bytes[0]), version = get_u32(&bytes[4]);
    const uint64_t start = get_u64(&bytes[8]), stop = get_u64(&bytes[16]);
    const uint16_t points = get_u16(&bytes[24]);
    if (magic != CAL_MAGIC || version != CAL_VERSION || points < 2 || points > VNA_MAX_POINTS)
        return end_in_error("Invalid calibration file");
    if (bytes.size() < cal_file_size(points)) return end_in_error("Incomplete calibration file");
    if (!finite_standards(&bytes[CAL_HEADER_BYTES], points)) return end_in_error("Invalid calibration file");

    // The file is whole: only now do the sweep and the standards change.
    vna_points.store(points);
    vna_f_start.store(start);
    vna_f_stop.store(stop);
    f_start.store(float(double(start) / 1e6));
    f_stop.store(float(double(stop) / 1e6));
    const uint8_t* p = &bytes[CAL_HEADER_BYTES];
    for (VNA_COMPLEX* a : standards)
        for (unsigned i = 0; i < points; i++, p += 8) a[i] = VNA_COMPLEX{get_float(p), get_float(p + 4)};
    for (auto* flag : {&have_open, &have_short, &have_load, &have_isol, &have_thru}) flag->store(1);
    if (!vna_compute_calibration()) {
        vna_state.store(VNA_ERROR);
        return 0;
    }
    vna_state.store(port_open() ? VNA_CONNECTED : VNA_NOT_CONNECTED);
    return 1;
}
