// Stored-image decoder: damaged images of each coding, drawn at any place, whole or as a
// cell of a strip, 1:1 and scaled; decoding stays inside the bytes it was given.
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "gfx/draw.h"
#include "gfx/image.h"
#include "platform/framebuffer.h"

namespace {

constexpr size_t CAP = 64 << 10;
constexpr uint8_t CODINGS[4] = {32, 255, 2, 16};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > CAP) return -1;
    fuzz::Bytes in(data, size);
    const uint8_t how = in.u8();
    const int x = int(in.u16() % 1400) - 200, y = int(in.u16() % 1000) - 200;
    // Scale in 1/256: 1:1 (0 or 256) or from 1/256 up to 4 times, now and then mirrored.
    const uint16_t scale_bits = in.u16();
    const int scala = (how & 4) ? 0 : (how & 8) ? 256 : int(scale_bits % 1024) * ((how & 16) ? -1 : 1);
    // The image: the coding chosen by the first byte, the rest as it came.
    std::vector<uint8_t> s(in.rest(), in.rest() + in.left());
    if (s.size() >= 3) {
        s[0] = 0;
        s[2] = CODINGS[how & 3];
    }
    fb_open();
    v_color(how & 32 ? 4 : 0, int(scale_bits & 0xFF));  // background 4: pixels of the foreground code are skipped

    IMAGE_INFO info{};
    const bool known = image_scan(s.data(), s.size(), &info);
    if (s.size() < IMAGE_HEADER) {
        FUZZ_CHECK(!known);
        return 0;
    }
    FUZZ_CHECK(known == (s[0] == 0));
    FUZZ_CHECK(info.bytes_used >= 0 && info.bytes_used <= info.data_bytes);
    FUZZ_CHECK(size_t(info.bytes_used) <= s.size() - IMAGE_HEADER);
    FUZZ_CHECK(info.pixels <= int64_t(info.width) * info.height);

    // Drawing costs per pixel: pictures larger than the program's own (the Smith chart is
    // 400 x 400) are only scanned, so that the fuzzer spends its time on the decoding.
    if (int64_t(info.width) * info.height > 512 * 512) return 0;
    v_locate(x, y);
    v_paints_sized(s.data(), s.size(), scala);
    // The unsized painters trust the announced length: only for images that hold it, in a
    // buffer of exactly that many bytes so that one more read is caught.
    const size_t whole = IMAGE_HEADER + size_t(info.data_bytes);
    if (whole <= s.size()) {
        const std::vector<uint8_t> exact(s.begin(), s.begin() + long(whole));
        v_locate(x, y);
        v_paints(exact.data(), scala);
        const int dx = 1 + (scale_bits >> 10) % 64, dy = 1 + (scale_bits >> 4) % 64;
        v_locate(x, y);
        v_paintx(exact.data(), dx, dy, dx * (how >> 6), scala);
    }
    return 0;
}
