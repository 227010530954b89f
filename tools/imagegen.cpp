// Draws the program's compiled-in images and writes them in the stored image format as C++
// source (assets/src/images.cpp), with PNG previews on request.
//
//   image-generator OUTPUT.cpp [PREVIEW_DIR]
//   image-generator --icon DIR SIZE...    the desktop icon as DIR/corvane-SIZE.png
//
// Shapes are drawn with 4 x 4 supersampling on a floating-point RGBA canvas; text comes
// from the DejaVu faces (Debian fonts-dejavu-core). Colour images are coded as 15-bit
// colour runs (coding 32); the small icons as palette indices (coding 255) with a
// transparent background (index 4). The reserved 15-bit codes 4 and 32 never occur.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#define STB_TRUETYPE_IMPLEMENTATION
#include <stb/stb_truetype.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace {

struct Rgb {
    float r, g, b;
};

Rgb hex(uint32_t v) { return {float(v >> 16 & 255), float(v >> 8 & 255), float(v & 255)}; }

struct Canvas {
    int w, h;
    std::vector<float> r, g, b, a;
    bool keyed = false;  // coding 32: pixels left undrawn are transparent (code 4)
    Canvas(int w_, int h_) : w(w_), h(h_), r(size_t(w_ * h_)), g(size_t(w_ * h_)), b(size_t(w_ * h_)), a(size_t(w_ * h_)) {}
    void blend(int x, int y, Rgb c, float cover) {
        if (x < 0 || y < 0 || x >= w || y >= h || cover <= 0) return;
        size_t i = size_t(y * w + x);
        cover = std::min(cover, 1.0f);
        r[i] += (c.r - r[i]) * cover;
        g[i] += (c.g - g[i]) * cover;
        b[i] += (c.b - b[i]) * cover;
        a[i] += (1 - a[i]) * cover;
    }
};

using Shape = std::function<bool(float, float)>;

// Paints the part of the box (x0, y0) - (x1, y1) inside the shape, 16 samples a pixel.
void fill(Canvas& cv, float x0, float y0, float x1, float y1, const Shape& inside, Rgb c, float opacity = 1) {
    int ia = std::max(0, int(std::floor(x0))), ib = std::min(cv.w - 1, int(std::ceil(x1)));
    int ja = std::max(0, int(std::floor(y0))), jb = std::min(cv.h - 1, int(std::ceil(y1)));
    for (int y = ja; y <= jb; y++)
        for (int x = ia; x <= ib; x++) {
            int n = 0;
            for (int sy = 0; sy < 4; sy++)
                for (int sx = 0; sx < 4; sx++) n += inside(x + (sx + 0.5f) / 4, y + (sy + 0.5f) / 4);
            if (n) cv.blend(x, y, c, opacity * n / 16.0f);
        }
}

void rect(Canvas& cv, float x, float y, float w, float h, Rgb c) {
    fill(cv, x, y, x + w, y + h, [=](float px, float py) { return px >= x && px < x + w && py >= y && py < y + h; }, c);
}

void rounded(Canvas& cv, float x, float y, float w, float h, float rad, Rgb c) {
    fill(cv, x, y, x + w, y + h,
         [=](float px, float py) {
             if (px < x || px >= x + w || py < y || py >= y + h) return false;
             float cx = std::clamp(px, x + rad, x + w - rad), cy = std::clamp(py, y + rad, y + h - rad);
             return (px - cx) * (px - cx) + (py - cy) * (py - cy) <= rad * rad;
         },
         c);
}

void disc(Canvas& cv, float cx, float cy, float rad, Rgb c) {
    fill(cv, cx - rad, cy - rad, cx + rad, cy + rad,
         [=](float px, float py) { return (px - cx) * (px - cx) + (py - cy) * (py - cy) <= rad * rad; }, c);
}

// A ring of the given width around a circle, limited to where `keep` holds.
void ring(Canvas& cv, float cx, float cy, float rad, float width, Rgb c, const Shape& keep = nullptr,
          float opacity = 1) {
    float o = rad + width / 2 + 1;
    fill(cv, cx - o, cy - o, cx + o, cy + o,
         [=](float px, float py) {
             float d = std::hypot(px - cx, py - cy);
             return std::abs(d - rad) <= width / 2 && (!keep || keep(px, py));
         },
         c, opacity);
}

float segment_distance(float px, float py, float x0, float y0, float x1, float y1) {
    float dx = x1 - x0, dy = y1 - y0;
    float len2 = dx * dx + dy * dy;
    float t = len2 > 0 ? std::clamp(((px - x0) * dx + (py - y0) * dy) / len2, 0.0f, 1.0f) : 0;
    return std::hypot(px - (x0 + t * dx), py - (y0 + t * dy));
}

void line(Canvas& cv, float x0, float y0, float x1, float y1, float width, Rgb c) {
    float o = width / 2 + 1;
    fill(cv, std::min(x0, x1) - o, std::min(y0, y1) - o, std::max(x0, x1) + o, std::max(y0, y1) + o,
         [=](float px, float py) { return segment_distance(px, py, x0, y0, x1, y1) <= width / 2; }, c);
}

void polyline(Canvas& cv, const std::vector<std::pair<float, float>>& pts, float width, Rgb c) {
    float o = width / 2 + 1;
    float xa = 1e9, ya = 1e9, xb = -1e9, yb = -1e9;
    for (auto [x, y] : pts) {
        xa = std::min(xa, x), ya = std::min(ya, y), xb = std::max(xb, x), yb = std::max(yb, y);
    }
    fill(cv, xa - o, ya - o, xb + o, yb + o,
         [&](float px, float py) {
             for (size_t i = 1; i < pts.size(); i++)
                 if (segment_distance(px, py, pts[i - 1].first, pts[i - 1].second, pts[i].first, pts[i].second) <=
                     width / 2)
                     return true;
             return false;
         },
         c);
}

void polygon(Canvas& cv, const std::vector<std::pair<float, float>>& pts, Rgb c) {
    float xa = 1e9, ya = 1e9, xb = -1e9, yb = -1e9;
    for (auto [x, y] : pts) {
        xa = std::min(xa, x), ya = std::min(ya, y), xb = std::max(xb, x), yb = std::max(yb, y);
    }
    fill(cv, xa, ya, xb, yb,
         [&](float px, float py) {
             bool in = false;
             for (size_t i = 0, j = pts.size() - 1; i < pts.size(); j = i++) {
                 auto [xi, yi] = pts[i];
                 auto [xj, yj] = pts[j];
                 if ((yi > py) != (yj > py) && px < (xj - xi) * (py - yi) / (yj - yi) + xi) in = !in;
             }
             return in;
         },
         c);
}

// Text in one of the DejaVu faces.
struct Font {
    std::vector<unsigned char> data;
    stbtt_fontinfo info;
};

Font load_font(const char* path) {
    Font f;
    FILE* file = std::fopen(path, "rb");
    if (!file) {
        std::fprintf(stderr, "image-generator: cannot open %s (install fonts-dejavu-core)\n", path);
        std::exit(1);
    }
    std::fseek(file, 0, SEEK_END);
    f.data.resize(size_t(std::ftell(file)));
    std::fseek(file, 0, SEEK_SET);
    if (std::fread(f.data.data(), 1, f.data.size(), file) != f.data.size()) std::exit(1);
    std::fclose(file);
    stbtt_InitFont(&f.info, f.data.data(), stbtt_GetFontOffsetForIndex(f.data.data(), 0));
    return f;
}

float text_width(const Font& f, float px, const std::u32string& s) {
    float scale = stbtt_ScaleForPixelHeight(&f.info, px), w = 0;
    for (size_t i = 0; i < s.size(); i++) {
        int adv, lsb;
        stbtt_GetCodepointHMetrics(&f.info, int(s[i]), &adv, &lsb);
        w += adv * scale;
        if (i + 1 < s.size()) w += scale * stbtt_GetCodepointKernAdvance(&f.info, int(s[i]), int(s[i + 1]));
    }
    return w;
}

// Draws s with its baseline at y; align -1 left at x, 0 centred on x, 1 right at x.
void text(Canvas& cv, const Font& f, float px, float x, float y, const std::u32string& s, Rgb c, int align = -1) {
    float scale = stbtt_ScaleForPixelHeight(&f.info, px);
    float pen = x - (align + 1) * text_width(f, px, s) / 2;
    for (size_t i = 0; i < s.size(); i++) {
        int cp = int(s[i]), adv, lsb, x0, y0, x1, y1;
        stbtt_GetCodepointHMetrics(&f.info, cp, &adv, &lsb);
        float shift = pen - std::floor(pen);
        stbtt_GetCodepointBitmapBoxSubpixel(&f.info, cp, scale, scale, shift, 0, &x0, &y0, &x1, &y1);
        int gw = x1 - x0, gh = y1 - y0;
        if (gw > 0 && gh > 0) {
            std::vector<unsigned char> bm(size_t(gw * gh));
            stbtt_MakeCodepointBitmapSubpixel(&f.info, bm.data(), gw, gh, gw, scale, scale, shift, 0, cp);
            int bx = int(std::floor(pen)) + x0, by = int(std::lround(y)) + y0;
            for (int j = 0; j < gh; j++)
                for (int k = 0; k < gw; k++) cv.blend(bx + k, by + j, c, bm[size_t(j * gw + k)] / 255.0f);
        }
        pen += adv * scale;
        if (i + 1 < s.size()) pen += scale * stbtt_GetCodepointKernAdvance(&f.info, cp, int(s[i + 1]));
    }
}

Font sans, bold;

// ---------------------------------------------------------------------------------------
// The images.

const Rgb PANEL = hex(0x1C2833), PANEL_EDGE = hex(0x3E5266), INK = hex(0xEEEEEE), AMBER = hex(0xFFC850),
          DIM = hex(0x9AA8B4), BLACK = hex(0x000000);

// Smith chart on black: unit circle centred at (198, 197) with radius 191.
Canvas smith() {
    Canvas cv(400, 400);
    const float cx = 198.5f, cy = 197.5f, R = 191;  // pixel (198, 197) is the centre pixel
    const Rgb res = hex(0x3C8CC0), rea = hex(0xC08C3C), axis = hex(0xA0A0A0), edge = hex(0xE6E6E6),
              label = hex(0xB4B4B4);
    auto inside = [=](float px, float py) { return std::hypot(px - cx, py - cy) <= R; };
    const float values[] = {0.2f, 0.5f, 1, 2, 5};
    for (float v : values) {
        // Constant resistance v: centre (v / (1 + v), 0), radius 1 / (1 + v).
        ring(cv, cx + R * v / (1 + v), cy, R / (1 + v), 1.0f, res);
        // Constant reactance +-v: centre (1, +-1 / v), radius 1 / v, inside the unit circle.
        ring(cv, cx + R, cy - R / v, R / v, 1.0f, rea, inside);
        ring(cv, cx + R, cy + R / v, R / v, 1.0f, rea, inside);
    }
    line(cv, cx - R, cy, cx + R, cy, 1.0f, axis);
    ring(cv, cx, cy, R, 1.6f, edge);
    // Resistance labels just above the axis at the left crossing of each circle.
    const char32_t* names[] = {U"0.2", U"0.5", U"1", U"2", U"5"};
    for (int i = 0; i < 5; i++) {
        float v = values[i];
        float x = cx + R * (v - 1) / (v + 1);
        text(cv, sans, 10, x - 2, cy - 3, names[i], label, 1);
    }
    text(cv, sans, 10, cx - R + 3, cy - 3, U"0", label);
    text(cv, sans, 12, cx + R - 4, cy - 3, U"\u221E", label, 1);
    // Reactance labels inside the unit circle where each arc meets it.
    for (int i = 0; i < 5; i++) {
        float v = values[i];
        float gr = (v * v - 1) / (v * v + 1), gi = 2 * v / (v * v + 1);
        for (int s : {1, -1}) {
            float x = cx + 0.87f * R * gr, y = cy - s * 0.87f * R * gi;
            std::u32string t = (s > 0 ? U"+j" : U"-j") + std::u32string(names[i]);
            text(cv, sans, 9, x, y + 3, t, label, 0);
        }
    }
    return cv;
}

// Component symbol cells: resistor, inductor, capacitor, each 120 x 120.
Canvas rlc_cells() {
    Canvas cv(360, 120);
    const char32_t* letters[] = {U"R", U"L", U"C"};
    const char32_t* names[] = {U"resistor", U"inductor", U"capacitor"};
    for (int k = 0; k < 3; k++) {
        float ox = 120.0f * k, my = 68;
        rect(cv, ox, 0, 120, 120, PANEL);
        rounded(cv, ox + 2, 2, 116, 116, 8, PANEL_EDGE);
        rounded(cv, ox + 4, 4, 112, 112, 6, PANEL);
        text(cv, bold, 30, ox + 60, 36, letters[k], AMBER, 0);
        text(cv, sans, 12, ox + 60, 108, names[k], DIM, 0);
        if (k == 0) {
            std::vector<std::pair<float, float>> z = {{ox + 10, my}, {ox + 32, my}};
            for (int i = 0; i < 6; i++) z.push_back({ox + 37 + 10 * i, my + (i % 2 ? 12.0f : -12.0f)});
            z.push_back({ox + 92, my});
            z.push_back({ox + 110, my});
            polyline(cv, z, 3, INK);
        } else if (k == 1) {
            line(cv, ox + 10, my, ox + 30, my, 3, INK);
            line(cv, ox + 90, my, ox + 110, my, 3, INK);
            for (int i = 0; i < 4; i++) {
                float hx = ox + 37.5f + 15 * i;
                ring(cv, hx, my, 7.5f, 3, INK, [=](float, float py) { return py <= my + 0.5f; });
            }
        } else {
            line(cv, ox + 10, my, ox + 54, my, 3, INK);
            line(cv, ox + 66, my, ox + 110, my, 3, INK);
            rect(cv, ox + 52, my - 20, 4, 40, INK);
            rect(cv, ox + 64, my - 20, 4, 40, INK);
        }
    }
    return cv;
}

// Coaxial connector seen from above, its pin pointing along dir (+1 right, -1 left).
void connector(Canvas& cv, float x, float y, int dir) {
    const Rgb gold = hex(0xD4AF37), gold_dark = hex(0x8C7020), pin = hex(0xF0E6C0);
    float body = dir > 0 ? x : x - 44;
    rect(cv, body, y - 14, 44, 28, gold);
    for (int i = 0; i < 5; i++) rect(cv, body + 4 + 8 * i, y - 14, 3, 28, gold_dark);  // thread
    float nut = dir > 0 ? x + 44 : x - 60;
    polygon(cv, {{nut, y - 22}, {nut + 16, y - 22}, {nut + 16, y + 22}, {nut, y + 22}}, gold_dark);
    rect(cv, nut + 2, y - 20, 12, 40, gold);
    float tip = dir > 0 ? x + 60 : x - 60;
    line(cv, tip, y, tip + dir * 12, y, 4, pin);
}

Canvas rlc_bridge() {
    Canvas cv(300, 261);
    const Rgb board = hex(0x1E6B3C), board_edge = hex(0x134A28), copper = hex(0xD09A48), via = hex(0x0C2E18),
              chip = hex(0x262626), cap = hex(0xC8C8C8);
    rect(cv, 0, 0, 300, 261, PANEL);
    rounded(cv, 2, 2, 296, 257, 10, PANEL_EDGE);
    rounded(cv, 4, 4, 292, 253, 8, PANEL);
    text(cv, bold, 15, 150, 26, U"RLC bridge fixture", INK, 0);
    rounded(cv, 40, 60, 220, 150, 8, board_edge);
    rounded(cv, 43, 63, 214, 144, 6, board);
    for (int i = 0; i < 12; i++) {
        disc(cv, 56 + 17 * i, 74, 3, via);
        disc(cv, 56 + 17 * i, 196, 3, via);
    }
    const float my = 135;
    connector(cv, 4, my, 1);
    connector(cv, 296, my, -1);
    rect(cv, 74, my - 5, 62, 10, copper);    // lines to the pads
    rect(cv, 164, my - 5, 62, 10, copper);
    rect(cv, 128, my - 10, 14, 20, copper);  // pads
    rect(cv, 158, my - 10, 14, 20, copper);
    rect(cv, 138, my - 8, 24, 16, chip);  // the part under test across the gap
    rect(cv, 134, my - 8, 6, 16, cap);
    rect(cv, 160, my - 8, 6, 16, cap);
    text(cv, bold, 13, 150, my - 26, U"DUT", AMBER, 0);
    line(cv, 150, my - 22, 150, my - 12, 2, AMBER);
    polygon(cv, {{145, my - 15}, {155, my - 15}, {150, my - 10}}, AMBER);
    text(cv, sans, 12, 52, 236, U"PORT 1", INK, 0);
    text(cv, sans, 12, 248, 236, U"PORT 2", INK, 0);
    text(cv, sans, 11, 150, 192, U"1 \u03A9 \u2013 10 k\u03A9", DIM, 0);
    return cv;
}

Canvas panels() {
    Canvas cv(54, 56);
    const Rgb frame = hex(0x2A3644), screen = hex(0x06080A), grid = hex(0x24303C);
    rounded(cv, 0, 0, 54, 56, 5, frame);
    for (int p = 0; p < 2; p++) {
        float y0 = 4 + 26.0f * p;
        rect(cv, 4, y0, 46, 22, screen);
        for (int i = 1; i < 4; i++) rect(cv, 4 + 11.5f * i, y0, 1, 22, grid);
        rect(cv, 4, y0 + 11, 46, 1, grid);
        std::vector<std::pair<float, float>> pts;
        for (int i = 0; i <= 46; i++) {
            float t = i / 46.0f;
            float v = p == 0 ? std::sin(t * 6.283f * 1.5f) * 7 : 8 - 16 * std::exp(-4 * t) * std::cos(t * 12);
            pts.push_back({4.0f + i, y0 + 11 - v});
        }
        polyline(cv, pts, 1.4f, p == 0 ? hex(0xFFE040) : hex(0x40E0F0));
    }
    return cv;
}

Canvas probe() {
    Canvas cv(122, 76);
    const Rgb handle = hex(0x3A3F46), grip = hex(0x2F6FD0), steel = hex(0xD8DCE0), cable = hex(0x141414);
    rect(cv, 0, 0, 122, 76, PANEL);
    line(cv, 0, 4, 16, 14, 5, cable);
    line(cv, 14, 13, 56, 36, 16, handle);
    for (int i = 0; i < 3; i++) line(cv, 24 + 9 * i, 16 + 5 * i, 27 + 9 * i, 29 + 5 * i - 8, 3, grip);
    line(cv, 56, 32, 82, 58, 3, steel);  // two needles converging on the part
    line(cv, 62, 26, 100, 56, 3, steel);
    rect(cv, 80, 56, 22, 10, hex(0x262626));
    rect(cv, 78, 56, 5, 10, hex(0xC8C8C8));
    rect(cv, 99, 56, 5, 10, hex(0xC8C8C8));
    rect(cv, 66, 66, 50, 3, hex(0x1E6B3C));  // the board it sits on
    return cv;
}

// The SMD test fixture. The page shows it in a 224 x 156 box with its caption over the
// band y 92 to 125 and the probe picture below the box, so the picture fills that box,
// keeps the band plain, and leaves the rest of the image transparent.
Canvas smd_fixture() {
    Canvas cv(324, 225);
    cv.keyed = true;
    const Rgb board = hex(0x1E6B3C), brass = hex(0xC9A23A), brass_dark = hex(0x8A6C1E), chip = hex(0x262626),
              cap = hex(0xC8C8C8), knob = hex(0x505860);
    rounded(cv, 0, 0, 224, 156, 10, hex(0x3A1C05));
    rounded(cv, 4, 4, 216, 148, 8, board);
    // The clamp: a fixed jaw, a sliding jaw and the screw that pushes it.
    rect(cv, 36, 30, 56, 44, brass_dark);
    rect(cv, 38, 32, 52, 40, brass);
    rect(cv, 124, 30, 56, 44, brass_dark);
    rect(cv, 126, 32, 52, 40, brass);
    rect(cv, 180, 46, 16, 10, hex(0xB0B4B8));
    rounded(cv, 196, 36, 14, 30, 4, knob);
    for (int i = 0; i < 3; i++) rect(cv, 198, 42 + 8 * i, 10, 2, hex(0x394047));
    // The part between the jaws, and the arrows that clamp it.
    rect(cv, 98, 44, 20, 16, chip);
    rect(cv, 92, 44, 7, 16, cap);
    rect(cv, 117, 44, 7, 16, cap);
    for (int s : {-1, 1}) {
        float x = 108 + s * 30.0f;
        line(cv, x + s * 22, 84, x, 84, 3, INK);
        polygon(cv, {{x, 78}, {x, 90}, {x - s * 9, 84}}, INK);
    }
    // Connector at the bottom left with its line to the fixed jaw.
    rect(cv, 14, 130, 30, 14, brass);
    rect(cv, 44, 134, 26, 6, hex(0xD09A48));
    rect(cv, 64, 74, 6, 66, hex(0xD09A48));
    return cv;
}

Canvas button_face() {
    Canvas cv(76, 21);
    rect(cv, 0, 0, 76, 21, hex(0x404040));
    rect(cv, 0, 0, 75, 20, hex(0xFFFFFF));
    rect(cv, 1, 1, 74, 19, hex(0x808080));
    rect(cv, 1, 1, 73, 18, hex(0xC8C8C8));
    // Folder glyph and caption.
    rect(cv, 8, 6, 6, 3, hex(0xC89A28));
    rect(cv, 8, 8, 14, 9, hex(0xE8BE48));
    text(cv, sans, 12, 47, 15, U"Open", BLACK, 0);
    return cv;
}

// Icons: pixel art on a transparent background.
struct Icon {
    Canvas cv;
    explicit Icon(int w, int h) : cv(w, h) {}
    void box(int x, int y, int w, int h, uint32_t c) { rect(cv, float(x), float(y), float(w), float(h), hex(c)); }
};

void page(Icon& ic) {
    ic.box(3, 1, 11, 17, 0x000000);
    ic.box(4, 2, 9, 15, 0xFFFFFF);
    ic.box(13, 5, 3, 13, 0x000000);
    ic.box(13, 6, 2, 11, 0xFFFFFF);
    ic.box(11, 1, 1, 1, 0x000000);
    for (int i = 0; i < 3; i++) ic.box(12 + i, 2 + i, 1, 1, 0x000000);
    ic.box(12, 2, 1, 4, 0x000000);
    ic.box(12, 5, 4, 1, 0x000000);
}

Canvas folder(int w, int h, bool open) {
    Icon ic(w, h);
    int top = h / 5;
    ic.box(1, top, w / 2 - 1, 3, 0x9F7F00);
    ic.box(1, top + 2, w - 2, h - top - 3, 0x9F7F00);
    ic.box(2, top + 3, w - 4, h - top - 5, 0xFFDF00);
    if (open) {
        ic.box(2, top + 3, w - 4, 2, 0xFFFFFF);
        polygon(ic.cv, {{float(w) / 5, float(h) * 0.55f}, {float(w) - 1, float(h) * 0.55f}, {float(w) - 4, float(h) - 2},
                        {1, float(h) - 2}},
                hex(0xDFBF00));
    }
    return ic.cv;
}

Canvas file_icon(int kind) {
    Icon ic(19, 19);
    page(ic);
    switch (kind) {
    case 0:  // plain file
        break;
    case 1:  // batch: a prompt
        ic.box(5, 7, 8, 7, 0x000000);
        ic.box(6, 9, 2, 1, 0xFFFFFF);
        ic.box(8, 10, 1, 1, 0xFFFFFF);
        ic.box(6, 11, 2, 1, 0xFFFFFF);
        ic.box(9, 12, 3, 1, 0xFFFFFF);
        break;
    case 2:  // picture: sky, sun and hills
        ic.box(5, 7, 8, 8, 0x5FBFFF);
        ic.box(10, 8, 2, 2, 0xFFFF00);
        polygon(ic.cv, {{5, 15}, {8, 10}, {11, 15}}, hex(0x009F00));
        polygon(ic.cv, {{8, 15}, {11, 12}, {13, 15}}, hex(0x007F00));
        break;
    case 3:  // command file: a small console
        ic.box(5, 6, 8, 8, 0x00009F);
        ic.box(6, 8, 2, 1, 0x00FFFF);
        ic.box(6, 10, 4, 1, 0x00FFFF);
        break;
    case 4:  // document: heading and lines
        ic.box(5, 4, 7, 2, 0x0000FF);
        for (int i = 0; i < 5; i++) ic.box(5, 8 + 2 * i, i == 4 ? 5 : 8, 1, 0x3F3F9F);
        break;
    case 5: {  // program: a window
        Icon w(19, 19);
        w.box(1, 3, 17, 13, 0x000000);
        w.box(2, 4, 15, 3, 0x0000BF);
        w.box(14, 5, 2, 1, 0xFFFFFF);
        w.box(2, 7, 15, 8, 0xBFBFB2);
        w.box(4, 9, 6, 1, 0x9F9F99);
        w.box(4, 11, 9, 1, 0x9F9F99);
        return w.cv;
    }
    case 6:  // text: grey lines
        for (int i = 0; i < 6; i++) ic.box(5, 5 + 2 * i, i % 3 == 2 ? 5 : 7, 1, 0x9F9F99);
        break;
    }
    return ic.cv;
}

// The application icon for the desktop: a Smith chart on a dark rounded tile with a
// measured trace spiralling in to a marker. Drawn at each size rather than scaled, so
// the lines stay crisp; the smallest sizes leave out the finer grid.
Canvas app_icon(int size) {
    Canvas cv(size, size);
    const float s = float(size), u = s / 256;  // u: one pixel of the 256 x 256 drawing
    const float cx = s / 2, cy = s / 2, R = 100 * u;
    const float thin = std::max(1.0f, 3 * u), bold_line = std::max(1.6f, 9 * u);
    const Rgb tile = hex(0x1C2833), tile_edge = hex(0x3E5266), face = hex(0x0E151C), res = hex(0x3C8CC0),
              rea = hex(0xC08C3C), edge = hex(0xE6E6E6), trace = hex(0xFFC850);
    rounded(cv, 8 * u, 8 * u, s - 16 * u, s - 16 * u, 44 * u, tile_edge);
    rounded(cv, 14 * u, 14 * u, s - 28 * u, s - 28 * u, 38 * u, tile);
    disc(cv, cx, cy, R, face);
    auto inside = [=](float px, float py) { return std::hypot(px - cx, py - cy) <= R; };
    std::vector<float> values = {1};
    if (size >= 64) values = {0.3f, 1, 3};
    for (float v : values) {
        ring(cv, cx + R * v / (1 + v), cy, R / (1 + v), thin, res);
        ring(cv, cx + R, cy - R / v, R / v, thin, rea, inside);
        ring(cv, cx + R, cy + R / v, R / v, thin, rea, inside);
    }
    line(cv, cx - R, cy, cx + R, cy, thin, res);
    ring(cv, cx, cy, R, std::max(1.4f, 6 * u), edge);
    // A reflection that turns clockwise with frequency and shrinks towards the match, as
    // through a length of lossy line.
    std::vector<std::pair<float, float>> pts;
    const int n = 200;
    for (int i = 0; i <= n; i++) {
        const float t = float(i) / n, turn = 0.9f - 7.2f * t, radius = 0.9f * std::exp(-1.5f * t);
        pts.push_back({cx + R * radius * std::cos(turn), cy - R * radius * std::sin(turn)});
    }
    polyline(cv, pts, bold_line, trace);
    disc(cv, pts.back().first, pts.back().second, bold_line * 1.25f, edge);
    disc(cv, pts.back().first, pts.back().second, bold_line * 0.8f, trace);
    return cv;
}

// Writes cv as an RGBA PNG; the canvas holds colour times coverage.
bool write_rgba_png(const std::string& path, const Canvas& cv) {
    std::vector<unsigned char> px;
    for (size_t i = 0; i < size_t(cv.w * cv.h); i++) {
        const float a = cv.a[i], k = a > 0 ? 1 / a : 0;
        for (float v : {cv.r[i] * k, cv.g[i] * k, cv.b[i] * k, 255 * a})
            px.push_back(uint8_t(std::clamp(std::lround(v), 0L, 255L)));
    }
    return stbi_write_png(path.c_str(), cv.w, cv.h, 4, px.data(), cv.w * 4) != 0;
}

// ---------------------------------------------------------------------------------------
// Coding.

// The display palette (0x00RRGGBB per index) as the framebuffer computes it.
uint32_t palette_entry(int n) {
    static const int level[8] = {0, 63, 95, 127, 159, 191, 223, 255};
    static const int blue[4] = {0, 153, 178, 255};
    return uint32_t(level[n >> 5 & 7] << 16 | level[n >> 2 & 7] << 8 | blue[n & 3]);
}

// 15-bit colour of a canvas pixel; the reserved codes 4 and 32 are moved to a neighbour, and
// on a keyed canvas a mostly undrawn pixel becomes 4, which the program does not draw.
int code15(const Canvas& cv, size_t i) {
    if (cv.keyed && cv.a[i] < 0.5f) return 4;
    auto q = [](float v) { return std::clamp(int(std::lround(v / 8.22f)), 0, 31); };
    int c = q(cv.r[i]) << 10 | q(cv.g[i]) << 5 | q(cv.b[i]);
    if (c == 4) c = 5;
    if (c == 32) c = 33;
    return c;
}

std::vector<uint8_t> header(int coding, int w, int h) {
    return {0, 0, uint8_t(coding), 0, uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8), 0, 0};
}

void finish(std::vector<uint8_t>& out, const char* name) {
    size_t n = out.size() - 10;
    if (n > 65535) {
        std::fprintf(stderr, "image-generator: %s needs %zu data bytes, more than the format holds\n", name, n);
        std::exit(1);
    }
    out[8] = uint8_t(n);
    out[9] = uint8_t(n >> 8);
}

std::vector<uint8_t> encode32(const Canvas& cv, const char* name) {
    std::vector<uint8_t> out = header(32, cv.w, cv.h);
    auto word = [&](int w) {
        out.push_back(uint8_t(w));
        out.push_back(uint8_t(w >> 8));
    };
    size_t total = size_t(cv.w * cv.h);
    for (size_t i = 0; i < total;) {
        int c = code15(cv, i);
        size_t n = 1;
        while (i + n < total && n < 0x4000 && code15(cv, i + n) == c) n++;
        if (n > 1) word(0x8000 | int(n - 1));
        word(c);
        i += n;
    }
    finish(out, name);
    return out;
}

// Nearest palette index outside 33..63 (those cannot stand alone) and the reserved 4 and
// 32; a mostly transparent pixel becomes 4.
int code255(const Canvas& cv, size_t i) {
    if (cv.a[i] < 0.5f) return 4;
    int best = 0;
    float best_d = 1e30f;
    for (int n = 0; n < 256; n++) {
        if (n == 4 || (n >= 32 && n <= 63)) continue;
        uint32_t p = palette_entry(n);
        float dr = cv.r[i] - float(p >> 16), dg = cv.g[i] - float(p >> 8 & 255), db = cv.b[i] - float(p & 255);
        float d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        if (d < best_d) best_d = d, best = n;
    }
    return best;
}

std::vector<uint8_t> encode255(const Canvas& cv, const char* name) {
    std::vector<uint8_t> out = header(255, cv.w, cv.h);
    size_t total = size_t(cv.w * cv.h);
    for (size_t i = 0; i < total;) {
        int c = code255(cv, i);
        size_t n = 1;
        while (i + n < total && n < 32 && code255(cv, i + n) == c) n++;
        if (n > 1) out.push_back(uint8_t(32 + n - 1));
        out.push_back(uint8_t(c));
        i += n;
    }
    finish(out, name);
    return out;
}

// The pixels as the program shows them (transparent as a grey checker), for previews.
void preview(const std::string& path, const Canvas& cv, int coding) {
    std::vector<unsigned char> rgb;
    for (size_t i = 0; i < size_t(cv.w * cv.h); i++) {
        uint32_t p;
        if (coding == 32) {
            int c = code15(cv, i);
            p = uint32_t((c >> 10 & 31) << 19 | (c >> 5 & 31) << 11 | (c & 31) << 3);
        } else {
            int c = code255(cv, i);
            int x = int(i) % cv.w, y = int(i) / cv.w;
            p = c == 4 ? ((x / 4 + y / 4) % 2 ? 0x909090 : 0xB0B0B0) : palette_entry(c);
        }
        rgb.push_back(uint8_t(p >> 16));
        rgb.push_back(uint8_t(p >> 8));
        rgb.push_back(uint8_t(p));
    }
    stbi_write_png(path.c_str(), cv.w, cv.h, 3, rgb.data(), cv.w * 3);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "--icon") {
        for (int i = 3; i < argc; i++) {
            const int size = std::atoi(argv[i]);
            const std::string path = std::string(argv[2]) + "/corvane-" + std::to_string(size) + ".png";
            if (size < 16 || size > 1024 || !write_rgba_png(path, app_icon(size))) {
                std::fprintf(stderr, "image-generator: cannot write %s\n", path.c_str());
                return 1;
            }
        }
        return argc > 3 ? 0 : 2;
    }
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: image-generator OUTPUT.cpp [PREVIEW_DIR]\n"
                     "       image-generator --icon DIR SIZE...   (DIR/corvane-SIZE.png)\n");
        return 2;
    }
    sans = load_font("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    bold = load_font("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf");

    struct Item {
        const char* name;
        int coding;
        Canvas cv;
    };
    std::vector<Item> items;
    items.push_back({"SMITHBLACK400", 32, smith()});
    items.push_back({"RLC1", 32, rlc_cells()});
    items.push_back({"RLC_BRIDGE", 32, rlc_bridge()});
    items.push_back({"PANELS", 32, panels()});
    items.push_back({"CCC", 32, probe()});
    items.push_back({"AAAA", 32, smd_fixture()});
    items.push_back({"BC1", 32, button_face()});
    items.push_back({"ICON1", 255, folder(29, 28, true)});
    items.push_back({"BDIR", 255, folder(19, 19, false)});
    const char* files[] = {"BFILE", "BATCH", "BMP", "COM", "DOC", "EXE", "TXT"};
    for (int k = 0; k < 7; k++) items.push_back({files[k], 255, file_icon(k)});

    FILE* out = std::fopen(argv[1], "w");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(out,
                 "// Written by the image generator (tools/imagegen.cpp); do not edit by hand.\n"
                 "// The program's compiled-in images in the stored image format.\n"
                 "#include \"assets/images.h\"\n");
    for (const Item& it : items) {
        std::vector<uint8_t> data = it.coding == 32 ? encode32(it.cv, it.name) : encode255(it.cv, it.name);
        std::fprintf(out, "\n// %d x %d, coding %d, %zu data bytes\nconst uint8_t %s_ICO[%zu] = {", it.cv.w, it.cv.h,
                     it.coding, data.size() - 10, it.name, data.size());
        for (size_t i = 0; i < data.size(); i++) std::fprintf(out, "%s%u,", i % 24 ? "" : "\n    ", data[i]);
        std::fprintf(out, "\n};\nuint32_t %s_ICO_ram;\n", it.name);
        if (argc > 2) preview(std::string(argv[2]) + "/" + it.name + ".png", it.cv, it.coding);
        std::printf("%-14s %3d x %3d  coding %3d  %6zu data bytes\n", it.name, it.cv.w, it.cv.h, it.coding,
                    data.size() - 10);
    }
    std::fprintf(out, "\nconst ASSET_IMAGE allicone[] = {\n");
    for (const Item& it : items)
        std::fprintf(out, "    {\"%s\", %s_ICO, sizeof %s_ICO, %d, %d, %d},\n", it.name, it.name, it.name, it.coding,
                     it.cv.w, it.cv.h);
    std::fprintf(out, "};\nconst int allicone_count = %zu;\n", items.size());
    std::fclose(out);
    return 0;
}
