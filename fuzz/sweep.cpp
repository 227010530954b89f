// The sweep's record stream: the device's answers to the sweep's FIFO requests are any
// bytes (whole batches, short answers, silence, well-formed records at any point), served
// through an in-memory port on a manual clock, so that a timeout costs no real time. A
// sweep either completes with every point or fails with nothing marked valid.
#include <cmath>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "platform/clock.h"
#include "platform/memory_port.h"
#include "vna/calibration.h"
#include "vna/device.h"

namespace {

constexpr size_t CAP = 96 << 10;  // 2001 points of 32 bytes, with room for noise
constexpr int RECORD = 32, BATCH = 8 * RECORD;
constexpr uint64_t START = 1000000, STOP = 900000000;

ManualClock manual_clock(1000000000ull);
MemoryPort port;

// The device: each FIFO request is answered by the next chunk of the input, chosen by its
// first byte c: below 0x80 a whole batch of raw bytes; 0x80 to 0xBF a short answer of
// 4 (c & 0x3F) raw bytes; 0xC0 to 0xDF eight well-formed records from point (c & 0x1F)
// after the last one sent; from 0xE0, or when the input is used up, no answer.
struct Device {
    fuzz::Bytes in{nullptr, 0};
    unsigned points = 2, next = 0;
    int requests = 0;

    void record(unsigned point, uint8_t* r) {
        std::memset(r, 0, RECORD);
        const int32_t v[6] = {int32_t(1000 + point), -7, int32_t(point), 3, -int32_t(point), 1};
        for (int k = 0; k < 6; k++)
            for (int b = 0; b < 4; b++) r[4 * k + b] = uint8_t(uint32_t(v[k]) >> (8 * b));
        r[24] = uint8_t(point);
        r[25] = uint8_t(point >> 8);
    }
    void answer(MemoryPort& p) {
        requests++;
        if (in.left() == 0) return;
        const uint8_t c = in.u8();
        if (c < 0xC0) {
            const std::string_view raw = in.take(c < 0x80 ? BATCH : 4 * (c & 0x3F));
            memory_port_answer(p, reinterpret_cast<const uint8_t*>(raw.data()), raw.size());
        } else if (c < 0xE0) {
            uint8_t batch[BATCH];
            next = (next + (c & 0x1F)) % points;
            for (int i = 0; i < 8; i++, next = (next + 1) % points) record(next, batch + i * RECORD);
            memory_port_answer(p, batch, sizeof batch);
        }
    }
} device;

bool is_request(const uint8_t* b, int n) { return n == 3 && b[0] == 0x18 && b[1] == 0x30 && b[2] == 8; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    set_clock_source(&manual_clock);
    port.on_write = [](MemoryPort& p, const uint8_t* b, int n) {
        if (is_request(b, n)) device.answer(p);
    };
    if (memory_port_attach(vna_com, &port) != 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > CAP) return -1;
    manual_clock.set_ns(1000000000ull);  // every input starts at the same time
    fuzz::Bytes in(data, size);
    const uint16_t p = in.u16();
    const uint8_t flags = in.u8();
    const unsigned points = 2 + ((p & 0x8000) ? p % 2000u : p % 40u);
    device = Device{in, points, 0, 0};
    vna_points.store(uint16_t(points));
    vna_f_start.store(START);
    vna_f_stop.store(STOP);
    slow.store(flags & 1);
    vna_cal_valid.store(0);
    FUZZ_CHECK(com_open(vna_com, 115200) == 0);
    vna_state.store(VNA_CONNECTED);

    const int done = vna_scan_raw();

    FUZZ_CHECK(vna_data_valid.load() == done);
    // The setup messages (start, step, points, mode, restart), then only FIFO requests.
    const std::vector<uint8_t>& w = port.written;
    FUZZ_CHECK(w.size() == 30 + 3 * size_t(device.requests));
    FUZZ_CHECK(w[0] == 0x23 && w[10] == 0x23 && w[20] == 0x21 && w[24] == 0x20 && w[27] == 0x20);
    for (size_t i = 30; i < w.size(); i += 3) FUZZ_CHECK(is_request(&w[i], 3));
    if (done) {
        FUZZ_CHECK(unsigned(vna_acquired.load()) == points);
        for (unsigned i = 0; i < points; i++) {
            FUZZ_CHECK(vna_frequency[i].load() == vna_point_frequency(START, STOP, i, points));
            FUZZ_CHECK(std::isfinite(vna_s11_re[i].load()) && std::isfinite(vna_s21_im[i].load()));
        }
    }
    com_close(vna_com);
    vna_state.store(VNA_NOT_CONNECTED);
    return 0;
}
