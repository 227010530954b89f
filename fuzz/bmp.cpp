// BMP files: any file is drawn whole or refused as a whole, and its size is known exactly
// when it can be drawn.
#include "fuzz_support.h"
#include "gfx/draw.h"
#include "gfx/image.h"
#include "platform/framebuffer.h"

namespace {

constexpr size_t CAP = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > CAP) return -1;
    // The first byte places the picture and chooses the "$" form of the name.
    const uint8_t how = data[0];
    const std::string path = fuzz::Scratch::put("in.bmp", data + 1, size - 1);
    fb_open();
    v_color(0, 255);
    v_locate(int(how & 0x3F) * 20 - 100, int(how >> 6) * 250);
    const std::string name = (how & 0x40 ? "$" : "") + path;
    int w = -1, h = -1;
    const int sized = bmp_size(name.c_str(), &w, &h);
    const int drawn = v_paint(name.c_str());
    FUZZ_CHECK(sized == drawn);
    if (sized) FUZZ_CHECK(w >= 1 && h >= 1 && int64_t(w) * h <= int64_t(size));
    return 0;
}
