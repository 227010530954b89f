// Stored-image decoding and painting, and BMP files.
#include "gfx/image.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "gfx/draw.h"

const uint8_t IMAGE_COLORS16[16] = {0,  2,   128, 130, 16,  18,  144, 218,
                                    73, 3,   224, 227, 28,  31,  252, 255};

namespace {

inline int u16(const uint8_t* p) { return p[0] | p[1] << 8; }

struct Header {
    int coding, width, height, count;
};

inline Header header_of(const uint8_t* s) { return {s[2], u16(s + 4), u16(s + 6), u16(s + 8)}; }

// Decodes the pixel data into put(x, y, code) calls, row by row, runs crossing row ends.
// Reads at most `limit` bytes of the array and never past the announced data. Returns the
// walk's findings; pixels of an unknown coding are not decoded.
template <class Put>
IMAGE_INFO decode(const uint8_t* s, size_t limit, Put put) {
    Header h = header_of(s);
    IMAGE_INFO info{h.coding, h.width, h.height, h.count, 0, 0, false};
    size_t end = IMAGE_HEADER + size_t(h.count);
    if (end > limit) end = limit;
    size_t at = IMAGE_HEADER;
    int x = 0, y = 0;
    bool done = h.width == 0 || h.height == 0;
    auto run = [&](int n, int code) {
        for (; n > 0 && !done; n--) {
            put(x, y, code);
            info.pixels++;
            if (++x == h.width) {
                x = 0;
                if (++y == h.height) done = true;
            }
        }
    };
    switch (h.coding) {
    case 2:
        while (!done && at < end) {
            int u = s[at++];
            run((u >> 1) + 1, u & 1);
        }
        break;
    case 16:
        while (!done && at < end) {
            int u = s[at++];
            run((u >> 4) + 1, IMAGE_COLORS16[u & 15]);
        }
        break;
    case 32:
        while (!done && at + 2 <= end) {
            int w = u16(s + at);
            at += 2;
            if (w & 0x8000) {
                if (at + 2 > end) break;
                int c = u16(s + at);
                at += 2;
                run((w & 0x3FFF) + 1, c);
            } else {
                run(1, w);
            }
        }
        break;
    case 255:
        while (!done && at < end) {
            int u = s[at++];
            if ((u & 0xE0) == 32 && u != 32) {
                if (at >= end) break;
                run((u & 31) + 1, s[at++]);
            } else {
                run(1, u);
            }
        }
        break;
    default:
        break;
    }
    info.bytes_used = int(at - IMAGE_HEADER);
    info.complete = done && info.pixels == int64_t(h.width) * h.height;
    return info;
}

inline uint32_t address(int64_t x, int64_t y) { return uint32_t(y * crtx + x); }

// Draws a stored image; with cell_dx > 0 only the window of columns offset .. offset +
// cell_dx - 1 and rows 0 .. cell_dy - 1 (codings 32 and 255), shifted left by offset.
void paint(const uint8_t* s, size_t limit, int scala, int cell_dx, int cell_dy, int offset) {
    if (limit < IMAGE_HEADER) return;
    fb_open();
    const vid_vect& v = vid[perif];
    const int xl = v.v_xlocate, yl = v.v_ylocate;
    const int c0 = v.color0, c1 = v.color1;
    const bool keyed = c0 == 4;
    const int coding = s[2];
    const bool windowed = cell_dx > 0 && (coding == 32 || coding == 255);
    const bool scaled = scala != 0 && scala != 256 && (coding == 32 || coding == 255);
    const double k = scala / 256.0;

    auto write = [coding](uint32_t a, int code) {
        if (coding == 32)
            v_wrpixel32k(a, code);
        else
            v_wrpixel(a, code);
    };

    decode(s, limit, [&](int x, int y, int code) {
        if (coding == 2) {
            v_wrpixel(address(xl + x, yl + y), code ? c1 : c0);
            return;
        }
        if (keyed && code == c1) return;
        if (windowed && (x < offset || x >= offset + cell_dx || y >= cell_dy)) return;
        if (!scaled) {
            write(address(int64_t(xl) + x - (windowed ? offset : 0), int64_t(yl) + y), code);
            return;
        }
        // Source pixel (x, y) covers the destination pixels from trunc(x * k) while below
        // (x + 1) * k; with k below 1 the last source pixel drawn on a place stays.
        double shift = windowed ? offset * k : 0.0;
        for (int Y = int(y * k); Y < (y + 1) * k; Y++)
            for (int X = int(x * k); X < (x + 1) * k; X++)
                write(address(int64_t(xl + X - shift), int64_t(yl) + Y), code);
    });
}

}  // namespace

bool image_scan(const uint8_t* s, size_t size, IMAGE_INFO* info) {
    if (size < IMAGE_HEADER || s[0] != 0) return false;
    *info = decode(s, size, [](int, int, int) {});
    int c = info->coding;
    return c == 2 || c == 16 || c == 32 || c == 255;
}

void v_paints(const uint8_t* s, int scala) { paint(s, SIZE_MAX, scala, 0, 0, 0); }

void v_paints_sized(const uint8_t* s, size_t size, int scala) { paint(s, size, scala, 0, 0, 0); }

void v_paintx(const uint8_t* s, int dx, int dy, int offset, int scala) {
    if (dx <= 0) return;
    paint(s, SIZE_MAX, scala, dx, dy, offset);
}

namespace {

// A BMP file read whole and checked: the header fields lie inside the file, the depth is
// 8 or 24 bits, and every row of pixels lies inside the file.
struct Bmp {
    std::vector<uint8_t> bytes;
    int64_t data, width, height, bpp, stride;
};

inline int64_t u32(const uint8_t* p) { return int64_t(p[0] | p[1] << 8 | p[2] << 16) | int64_t(p[3]) << 24; }
inline int64_t s32(const uint8_t* p) { return int32_t(uint32_t(u32(p))); }

constexpr int64_t BMP_MAX_FILE = 64 << 20;
constexpr int64_t BMP_MAX_SIDE = 32767;

const char* bmp_name(const char* name) { return name[0] == '$' ? name + 1 : name; }

bool bmp_load(const char* name, Bmp* bmp) {
    FILE* f = std::fopen(name, "rb");
    if (!f) return false;
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    long size = ok ? std::ftell(f) : -1;
    ok = ok && size >= 38 && size <= BMP_MAX_FILE && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        bmp->bytes.resize(size_t(size));
        ok = std::fread(bmp->bytes.data(), 1, size_t(size), f) == size_t(size);
    }
    std::fclose(f);
    if (!ok) return false;
    const uint8_t* b = bmp->bytes.data();
    bmp->data = u32(b + 10);
    bmp->width = s32(b + 18);
    bmp->height = s32(b + 22);
    bmp->bpp = b[28] | b[29] << 8;
    if (bmp->bpp != 8 && bmp->bpp != 24) return false;
    if (bmp->width < 1 || bmp->height < 1 || bmp->width > BMP_MAX_SIDE || bmp->height > BMP_MAX_SIDE)
        return false;
    bmp->stride = bmp->bpp == 8 ? (bmp->width + 3) & ~int64_t(3) : ((24 * bmp->width + 31) >> 5) * 4;
    return bmp->data + bmp->stride * bmp->height <= size;
}

// 8 bits per pixel: the byte is a darkness from color0 (255) to color1 (0), in 16 steps.
void bmp_draw8(const Bmp& bmp, int xl, int yl) {
    const vid_vect& v = vid[perif];
    const int c0 = v.color0, c1 = v.color1;
    const int32_t f = ToRGB(c1);
    for (int64_t r = 0; r < bmp.height; r++) {
        const uint8_t* row = bmp.bytes.data() + bmp.data + r * bmp.stride;
        int y = int(yl + bmp.height - 1 - r);
        for (int64_t i = 0; i < bmp.width; i++) {
            int x = int(xl + i);
            int a = (255 - row[i]) >> 4;
            if (a == 0) {
                v_wrpixel_xy(x, y, c0);
            } else if (a == 15) {
                v_wrpixel_xy(x, y, c1);
            } else {
                int32_t b = c0 == 4 ? ToRGB(int(v_rdpixel_xyz(x, y) << 8)) : ToRGB(c0);
                int32_t out = 0;
                for (int shift = 0; shift <= 16; shift += 8) {
                    int bc = (b >> shift) & 255, fc = (f >> shift) & 255;
                    out |= (((16 - a) * bc + a * fc) >> 4) << shift;
                }
                v_wrpixel_xy(x, y, int(uint32_t(out) << 8));
            }
        }
    }
}

// 24 bits per pixel: direct colours, skipping those that match the key in the top three
// bits of each channel.
void bmp_draw24(const Bmp& bmp, int xl, int yl) {
    const vid_vect& v = vid[perif];
    const uint32_t key = v.color0 == 4 ? uint32_t(v.color1) : 0xFF00FF00u;
    for (int64_t r = 0; r < bmp.height; r++) {
        const uint8_t* row = bmp.bytes.data() + bmp.data + r * bmp.stride;
        int y = int(yl + bmp.height - 1 - r);
        for (int64_t i = 0; i < bmp.width; i++) {
            const uint8_t* p = row + 3 * i;
            uint32_t c = uint32_t(p[2]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[0]) << 8;
            if (((c ^ key) & 0xE0E0E000u) == 0) continue;
            v_wrpixel_xy(int(xl + i), y, int(c));
        }
    }
}

}  // namespace

int v_paint(const void* s) {
    if (reinterpret_cast<uintptr_t>(s) < 256) return 0;
    const char* text = static_cast<const char*>(s);
    if (text[0] == 0) {
        v_paints(static_cast<const uint8_t*>(s), 0);
        return 1;
    }
    Bmp bmp;
    if (!bmp_load(bmp_name(text), &bmp)) return 0;
    if (bmp.bpp == 24 && text[0] == '$') v_color(4, -256);
    const vid_vect& v = vid[perif];
    if (bmp.bpp == 8)
        bmp_draw8(bmp, v.v_xlocate, v.v_ylocate);
    else
        bmp_draw24(bmp, v.v_xlocate, v.v_ylocate);
    return 1;
}

int bmp_size(const char* name, int* width, int* height) {
    Bmp bmp;
    if (!name || !bmp_load(bmp_name(name), &bmp)) return 0;
    *width = int(bmp.width);
    *height = int(bmp.height);
    return 1;
}
