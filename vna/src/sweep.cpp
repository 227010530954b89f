// The analyser's register protocol and the sweep.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/clock.h"
#include "platform/tasks.h"
#include "vna/calibration.h"
#include "vna/device.h"

std::atomic<uint64_t> vna_f_start{1000000};
std::atomic<uint64_t> vna_f_stop{1000000000};
std::atomic<uint16_t> vna_points{401};
std::atomic<float> f_start{1.0f};
std::atomic<float> f_stop{800.0f};

std::atomic<uint64_t> vna_frequency[VNA_MAX_POINTS];
std::atomic<float> vna_s11_raw_re[VNA_MAX_POINTS], vna_s11_raw_im[VNA_MAX_POINTS];
std::atomic<float> vna_s21_raw_re[VNA_MAX_POINTS], vna_s21_raw_im[VNA_MAX_POINTS];
std::atomic<float> vna_s11_re[VNA_MAX_POINTS], vna_s11_im[VNA_MAX_POINTS];
std::atomic<float> vna_s21_re[VNA_MAX_POINTS], vna_s21_im[VNA_MAX_POINTS];
std::atomic<int32_t> MD777{0};
std::atomic<int> vna_answer_timeout_ms{500};

void vna_answer_timeout_from_env() {
    if (const char* ms = std::getenv("CORVANE_ANSWER_TIMEOUT_MS"))
        vna_answer_timeout_ms = int(std::clamp(std::strtol(ms, nullptr, 10), 500L, 10000L));
}

namespace {

constexpr uint8_t REG_START = 0x00;
constexpr uint8_t REG_STEP = 0x10;
constexpr uint8_t REG_POINTS = 0x20;
constexpr uint8_t REG_MODE = 0x40;
constexpr uint8_t REG_FIFO = 0x30;
constexpr int RECORD_BYTES = 32;
constexpr int BATCH_RECORDS = 8;
constexpr uint32_t SWEEP_TIMEOUT_MS = 30000;

// Queues a message while the port is open.
int send(const uint8_t* bytes, int n) {
    if (vna_com->open.load() == 0) return 0;
    if (com_txsl(vna_com, bytes, n) != 0) return 0;
    return vna_com->open.load() != 0 ? 1 : 0;
}

int32_t le32(const uint8_t* p) {
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                   uint32_t(p[3]) << 24);
}

// x / a of integer readings, each part rounded to float; 0 for an all-zero incident wave.
void ratio(const uint8_t* x, const uint8_t* a, float& re, float& im) {
    const double p = le32(x), q = le32(x + 4);
    const double r = le32(a), s = le32(a + 4);
    const double m = r * r + s * s;
    if (m < 1e-30) {
        re = im = 0.0f;
        return;
    }
    re = float((p * r + q * s) / m);
    im = float((q * r - p * s) / m);
}

bool seen[VNA_MAX_POINTS];

unsigned record_point(const uint8_t* rec) { return unsigned(rec[24]) | unsigned(rec[25]) << 8; }

// A record as the device sends it: its point within the sweep and the six bytes after it zero.
bool plausible(const uint8_t* rec, unsigned points) {
    for (int k = 26; k < RECORD_BYTES; k++)
        if (rec[k] != 0) return false;
    return record_point(rec) < points;
}

// Records that start at rec and carry consecutive points (the device sends them in sweep
// order), so that bytes which are no records are not taken for them.
constexpr int SYNC_RECORDS = 3;
bool in_step(const uint8_t* rec, unsigned points) {
    for (int k = 0; k < SYNC_RECORDS; k++) {
        const uint8_t* r = rec + k * RECORD_BYTES;
        if (!plausible(r, points) || (k > 0 && record_point(r) != (record_point(r - RECORD_BYTES) + 1) % points))
            return false;
    }
    return true;
}

}  // namespace

int vna_write8(uint8_t addr, uint64_t value) {
    uint8_t m[10] = {0x23, addr};
    for (int i = 0; i < 8; i++) m[2 + i] = uint8_t(value >> (8 * i));
    return send(m, sizeof m);
}

int vna_write2(uint8_t addr, uint16_t value) {
    const uint8_t m[4] = {0x21, addr, uint8_t(value & 0xFF), uint8_t(value >> 8)};
    return send(m, sizeof m);
}

int vna_write1(uint8_t addr, uint8_t value) {
    const uint8_t m[3] = {0x20, addr, value};
    return send(m, sizeof m);
}

void vna_flush_rx() {
    while (!com_rx_empty(vna_com))
        if (com_rx(vna_com) < 0) break;
}

int vna_read_exact(uint8_t* dst, int len, int timeout) {
    if (len < 1) return 1;
    if (timeout < 0) timeout = 0;
    const uint32_t t0 = _time(nullptr);
    int count = 0;
    for (;;) {
        while (!com_rx_empty(vna_com)) {
            const int byte = com_rx(vna_com);
            if (byte < 0) break;
            dst[count++] = uint8_t(byte);
            if (count == len) return 1;
        }
        const uint32_t elapsed = _time(nullptr) - t0;
        if (elapsed > uint32_t(timeout) || vna_com->open.load() == 0) return 0;
        // Sleeps until the rest has arrived, not once per chunk of it: the receive pump
        // wakes this wait when the ring holds len - count bytes, or the time is up (the
        // ms after the limit, so that the look above then sees it passed).
        com_rx_wait_for(vna_com, len - count, int(uint32_t(timeout) - elapsed) + 1);
    }
}

uint64_t vna_point_frequency(uint64_t start, uint64_t stop, unsigned point, unsigned points) {
    if (points < 2) return start;
    const unsigned __int128 span = stop - start;
    return start + uint64_t(span * point / (points - 1));
}

uint64_t vna_mhz_to_hz(float mhz) {
    if (!(mhz > 0.0f)) return 0;  // negative, zero or not a number
    const double hz = double(mhz) * 1e6;
    if (hz >= 18446744073709551616.0) return std::numeric_limits<uint64_t>::max();
    return uint64_t(hz);
}

int vna_scan_raw() {
    const int state = vna_state.load();
    if (state != VNA_CONNECTED && state != VNA_BUSY) {
        vna_status.set("VNA not connected");
        return 0;
    }
    const uint16_t points = vna_points.load();
    if (uint16_t(points - 2) > 1999) {
        vna_status.set("Invalid number of points");
        return 0;
    }
    const uint64_t start = vna_f_start.load(), stop = vna_f_stop.load();
    if (stop <= start) {
        vna_status.set("Invalid frequencies");
        return 0;
    }
    // Bytes left from before (line noise, the late end of an answer after a failed sweep)
    // would shift every record of this sweep: the sweep starts with an empty ring.
    vna_flush_rx();
    std::memset(seen, 0, sizeof seen);
    vna_abort.store(0);
    vna_acquired.store(0);
    vna_data_valid.store(0);

    if (!vna_write8(REG_START, start) || !vna_write8(REG_STEP, (stop - start) / (points - 1u)) ||
        !vna_write2(REG_POINTS, points) || !vna_write1(REG_MODE, slow.load() ? 4 : 1) ||
        !vna_write1(REG_FIFO, 0)) {
        vna_status.set("Sweep setup error");
        return 0;
    }

    const uint32_t t0 = _time(nullptr);
    int received = 0;
    static const uint8_t request[3] = {0x18, REG_FIFO, BATCH_RECORDS};
    // Bytes that are no records (line noise, the rest of an earlier answer) shift every
    // record after them. A record is taken while it carries the next point in sweep order
    // with its reserved bytes zero; after one that does not, bytes are skipped until
    // SYNC_RECORDS records in step follow. Bytes not yet taken stay in `held`.
    constexpr int BATCH_BYTES = BATCH_RECORDS * RECORD_BYTES;
    uint8_t stream[SYNC_RECORDS * RECORD_BYTES + BATCH_BYTES];
    int held = 0;
    bool in_sync = true;
    unsigned expected = 0;  // the point of the next record while in step
    while (received < points) {
        if (vna_abort.load()) {
            vna_status.set("Scan aborted");
            return 0;
        }
        if (_time(nullptr) - t0 > SWEEP_TIMEOUT_MS) {
            vna_status.set("Scan timeout");
            return 0;
        }
        if (!send(request, sizeof request) ||
            !vna_read_exact(stream + held, BATCH_BYTES, vna_answer_timeout_ms.load())) {
            vna_status.set("FIFO read error");
            return 0;
        }
        held += BATCH_BYTES;
        int pos = 0;
        while (held - pos >= RECORD_BYTES) {
            const uint8_t* rec = stream + pos;
            if (!in_sync || !plausible(rec, points) || record_point(rec) != expected) {
                in_sync = false;
                if (held - pos < SYNC_RECORDS * RECORD_BYTES) break;
                if (!in_step(rec, points)) {
                    pos++;
                    continue;
                }
                in_sync = true;
            }
            pos += RECORD_BYTES;
            const unsigned point = record_point(rec);
            expected = (point + 1) % points;
            float s11_re, s11_im, s21_re, s21_im;
            ratio(rec + 8, rec, s11_re, s11_im);
            ratio(rec + 16, rec, s21_re, s21_im);
            constexpr auto relaxed = std::memory_order_relaxed;
            vna_frequency[point].store(vna_point_frequency(start, stop, point, points), relaxed);
            vna_s11_raw_re[point].store(s11_re, relaxed);
            vna_s11_raw_im[point].store(s11_im, relaxed);
            vna_s21_raw_re[point].store(s21_re, relaxed);
            vna_s21_raw_im[point].store(s21_im, relaxed);
            if (!seen[point]) {
                seen[point] = true;
                received++;
                vna_acquired.store(received);
            }
        }
        held -= pos;
        std::memmove(stream, stream + pos, size_t(held));
    }
    MD777.store(int32_t(_time(nullptr) - t0));
    vna_clear_calibration_if_requested(false);
    vna_apply_correction(points);
    vna_data_valid.store(1);
    return 1;
}
