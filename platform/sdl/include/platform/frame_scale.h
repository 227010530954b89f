// Scaling of the framebuffer to the window's client size: bilinear filtering with sample
// points at pixel centres and edges clamped, and which window rows a set of changed
// framebuffer rows reaches, so that only those are scaled again. Header-only and free of SDL
// calls, so that it is tested without a display.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

class FrameScaler {
public:
    // From sw x sh framebuffer pixels to dw x dh window pixels.
    void set_size(int sw, int sh, int dw, int dh) {
        sw_ = sw;
        cols_ = taps(sw, dw);
        rows_ = taps(sh, dh);
    }
    int width() const { return int(cols_.size()); }
    int height() const { return int(rows_.size()); }

    // True when window row y is made from a framebuffer row flagged in changed (one flag
    // a framebuffer row).
    bool reads_changed(int y, const std::vector<uint8_t>& changed) const {
        return changed[size_t(rows_[size_t(y)].a)] || changed[size_t(rows_[size_t(y)].b)];
    }

    // Writes window row y (width() pixels of 0x00RRGGBB) from the framebuffer src.
    void scale_row(const uint32_t* src, int y, uint32_t* out) const {
        const Tap& r = rows_[size_t(y)];
        const uint32_t* upper = src + size_t(r.a) * size_t(sw_);
        const uint32_t* lower = src + size_t(r.b) * size_t(sw_);
        for (size_t x = 0; x < cols_.size(); x++) {
            const Tap& c = cols_[x];
            out[x] = mix(mix(upper[c.a], upper[c.b], c.w), mix(lower[c.a], lower[c.b], c.w), r.w);
        }
    }

private:
    // A window pixel from framebuffer samples a and b, b weighing w / 256.
    struct Tap {
        int a, b;
        uint32_t w;
    };

    // Window pixel i samples the framebuffer at (i + 0.5) * s / d - 0.5, in 1/256 steps.
    static std::vector<Tap> taps(int s, int d) {
        std::vector<Tap> out(size_t(std::max(d, 0)));
        for (int i = 0; i < d; i++) {
            const int64_t pos = (int64_t(2 * i + 1) * s * 256) / (int64_t(2) * d) - 128;
            int a = int(pos >> 8);
            uint32_t w = uint32_t(pos & 255);
            if (a < 0) {
                a = 0;
                w = 0;
            }
            if (a >= s - 1) {
                a = s - 1;
                w = 0;
            }
            out[size_t(i)] = {a, std::min(a + 1, s - 1), w};
        }
        return out;
    }

    // Channel-wise p + (q - p) * w / 256 of two 0x00RRGGBB pixels, w in 0 .. 256.
    static uint32_t mix(uint32_t p, uint32_t q, uint32_t w) {
        const uint32_t rb = (((p & 0xFF00FF) * (256 - w) + (q & 0xFF00FF) * w) >> 8) & 0xFF00FF;
        const uint32_t g = (((p & 0xFF00) * (256 - w) + (q & 0xFF00) * w) >> 8) & 0xFF00;
        return rb | g;
    }

    int sw_ = 0;
    std::vector<Tap> cols_, rows_;
};
