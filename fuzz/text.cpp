// Text output: any bytes (UTF-8, byte-order marks, Latin-1, control codes, "@" and "$LA"
// image words naming BMP files of the start directory) printed in every kind of font,
// plain and through v_printf, also outlined.
#include <cstring>
#include <string>

#include "assets/fonts.h"
#include "fuzz_support.h"
#include "gfx/draw.h"
#include "gfx/text.h"
#include "platform/display.h"
#include "platform/framebuffer.h"

namespace {

constexpr size_t CAP = 4096;

// A 2 x 2 pixel BMP of 24 bits and one of 8 bits, named LA1 and LA2 in the start directory.
std::string bmp(int bpp) {
    const int stride = bpp == 8 ? 4 : 8, palette = bpp == 8 ? 1024 : 0, data = 54 + palette;
    std::string b(size_t(data + 2 * stride), '\0');
    auto put = [&](int at, uint32_t v, int n) {
        for (int i = 0; i < n; i++) b[size_t(at + i)] = char(v >> (8 * i));
    };
    b[0] = 'B', b[1] = 'M';
    put(2, uint32_t(b.size()), 4);
    put(10, uint32_t(data), 4);
    put(14, 40, 4);
    put(18, 2, 4);
    put(22, 2, 4);
    put(26, 1, 2);
    put(28, uint32_t(bpp), 2);
    for (size_t i = size_t(data); i < b.size(); i++) b[i] = char(0x40 + i);
    return b;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fonts_install();
    const std::string& dir = fuzz::Scratch::dir();
    for (int bpp : {24, 8}) {
        const std::string b = bmp(bpp);
        fuzz::Scratch::put(bpp == 24 ? "LA1" : "LA2", b.data(), b.size());
    }
    std::snprintf(MyDir, sizeof MyDir, "%s", dir.c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > CAP) return -1;
    fuzz::Bytes in(data, size);
    const uint8_t font = in.u8(), how = in.u8();
    const std::string text = fuzz::text(in.rest(), in.left());
    fb_open();
    v_color(how & 1 ? 4 : 0, 255);
    v_locate(int(how >> 2) * 16 - 64, int(font % 7) * 100);
    // Every installed font, fixed ones scaled up to 4 x 4, or a font number from the byte.
    const ASSET_FONT& f = allfonts[font % allfonts_count];
    const int sx = 1 + (font >> 5) % 4, sy = 1 + (how >> 4) % 4;
    if (font >= 0xF0)
        v_setfont(font - 0xF4, sx, sy);  // -4 .. 11: no font, fixed and proportional ones
    else if (f.kind == FONT_KIND_UNICODE)
        v_setfontall(FONT_UNICODE_NUM, 1, 1, f.data);
    else
        v_setfont(f.number, sx, sy);
    if (how & 2) {
        v_print(text.c_str());
    } else {
        if (how & 0x80) v_outlined(2);
        v_printf("%s", text.c_str());
        FUZZ_CHECK(OUTLINED == -1);
    }
    return 0;
}
