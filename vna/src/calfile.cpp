// Saving and loading calibration files.
#include "vna/calfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "vna/calibration.h"
#include "vna/device.h"

char vna_cal_file[128] = "vna.cal";

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

bool write_all(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

// Reads up to max bytes of the file; false when it cannot be opened.
bool read_file(const char* name, size_t max, std::vector<uint8_t>& out) {
    FILE* f = std::fopen(name, "rb");
    if (!f) return false;
    out.resize(max);
    const size_t got = std::fread(out.data(), 1, max, f);
    std::fclose(f);
    out.resize(got);
    return true;
}

int end_in_error(const char* message) {
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
    int result = 0;
    const uint16_t points = vna_points.load();
    // A point count outside 2 to 2001 (edited after the calibration) has no calibration
    // and could only give a file that no load accepts.
    if (!vna_cal_valid.load() || points < 2 || points > VNA_MAX_POINTS) {
        vna_status.set("No calibration to save");
    } else {
        const std::vector<uint8_t> bytes = file_bytes(vna_f_start.load(), vna_f_stop.load(), points);
        // A temporary file beside the target, renamed over it once complete.
        static std::atomic<unsigned> serial{0};
        char temp[sizeof vna_cal_file + 32];
        std::snprintf(temp, sizeof temp, "%s.%d.%u.tmp", vna_cal_file, int(getpid()),
                      serial.fetch_add(1));
        const int fd = ::open(temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            vna_status.set("Calibration file open error");
        } else {
            const bool written = write_all(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
            const bool closed = ::close(fd) == 0;
            if (!written || !closed) {
                ::unlink(temp);
                vna_status.set("Calibration write error");
            } else if (std::rename(temp, vna_cal_file) != 0) {
                // The target name cannot take the file (a folder, say).
                ::unlink(temp);
                vna_status.set("Calibration file open error");
            } else {
                vna_status.set("Calibration saved");
                result = 1;
            }
        }
    }
    vna_state.store(port_open() ? VNA_CONNECTED : VNA_NOT_CONNECTED);
    return result;
}

int vna_load_calibration() {
    vna_state.store(VNA_BUSY);
    std::vector<uint8_t> bytes;
    if (!read_file(vna_cal_file, cal_file_size(VNA_MAX_POINTS), bytes))
        return end_in_error("Calibration file not found");
    if (bytes.size() < CAL_HEADER_BYTES) return end_in_error("Invalid calibration file");
    const uint32_t magic = get_u32(&bytes[0]), version = get_u32(&bytes[4]);
    const uint64_t start = get_u64(&bytes[8]), stop = get_u64(&bytes[16]);
    const uint16_t points = get_u16(&bytes[24]);
    if (magic != CAL_MAGIC || version != CAL_VERSION || points < 2 || points > VNA_MAX_POINTS)
        return end_in_error("Invalid calibration file");
    if (bytes.size() < cal_file_size(points)) return end_in_error("Incomplete calibration file");

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
