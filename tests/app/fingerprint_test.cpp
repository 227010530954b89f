// The per-pass fingerprint of the corrected samples, which decides whether the trace panels
// and the Smith chart draw: any one changed sample, in any position of the sweep, and a
// changed number of points change it; the same samples give the same value.
#include <gtest/gtest.h>

#include <bit>

#include "app/traces.h"
#include "forms/page.h"

namespace {

// The fingerprint of a new pass (within one pass it is taken once).
uint64_t s11_now(int n) {
    obj_loop++;
    return s11_fingerprint(n);
}
uint64_t s21_now(int n) {
    obj_loop++;
    return s21_fingerprint(n);
}

void fill(int n) {
    for (int k = 0; k < n; k++) {
        vna_s11_re[k] = 0.001f * float(k), vna_s11_im[k] = -0.002f * float(k);
        vna_s21_re[k] = 0.5f, vna_s21_im[k] = 0.25f;
    }
}

TEST(Fingerprint, EverySampleAndThePointCountCount) {
    constexpr int N = 2001;
    fill(N);
    const uint64_t s11 = s11_now(N), s21 = s21_now(N);
    EXPECT_EQ(s11_now(N), s11);
    EXPECT_EQ(s21_now(N), s21);
    EXPECT_NE(s11_now(N - 1), s11);
    EXPECT_NE(s11_now(N), s11_now(N - 4));
    // Each position of a group of four, the last samples after the whole groups, both parts,
    // and the smallest change of a value.
    struct Change {
        int k;
        bool imaginary;
    };
    for (const Change c : {Change{0, false}, {1, true}, {2, false}, {3, true}, {1000, true}, {1997, false},
                           {1998, true}, {1999, false}, {2000, true}}) {
        std::atomic<float>* s11_part = c.imaginary ? vna_s11_im : vna_s11_re;
        std::atomic<float>* s21_part = c.imaginary ? vna_s21_im : vna_s21_re;
        const float old11 = s11_part[c.k], old21 = s21_part[c.k];
        s11_part[c.k] = std::bit_cast<float>(std::bit_cast<uint32_t>(old11) ^ 1u);
        s21_part[c.k] = -old21;
        EXPECT_NE(s11_now(N), s11) << "S11 sample " << c.k;
        EXPECT_NE(s21_now(N), s21) << "S21 sample " << c.k;
        s11_part[c.k] = old11, s21_part[c.k] = old21;
        EXPECT_EQ(s11_now(N), s11) << c.k;
    }
    // The last sample of sweeps that end 1, 2, 3 or 4 samples after a group of four.
    for (int n : {2001, 1998, 1999, 2000}) {
        const uint64_t whole = s11_now(n);
        vna_s11_im[n - 1] = vna_s11_im[n - 1] + 1;
        EXPECT_NE(s11_now(n), whole) << "last of " << n;
        vna_s11_im[n - 1] = vna_s11_im[n - 1] - 1;
    }
    // Two samples swapped are another sweep.
    vna_s21_re[7] = 0.75f;
    const uint64_t before = s21_now(N);
    vna_s21_re[7] = 0.5f, vna_s21_re[8] = 0.75f;
    EXPECT_NE(s21_now(N), before);
    fill(N);
}

}  // namespace
