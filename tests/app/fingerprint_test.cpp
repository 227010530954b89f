// The per-pass fingerprint of the corrected samples, which decides whether the trace panels
// and the Smith chart draw: any one changed sample, in any position of the sweep, and a
// changed number of points change it; the same samples give the same value.
#include <gtest/gtest.h>

#include <bit>

#include "app/traces.h"
#include "forms/page.h"

namespace {

// The fingerprints of a new pass (within one pass each is taken once).
std::pair<uint64_t, uint64_t> now(int n) {
    obj_loop++;
    return {s11_fingerprint(n), s21_fingerprint(n)};
}

TEST(Fingerprint, EverySampleAndThePointCountCount) {
    constexpr int N = 2001;
    for (int k = 0; k < N; k++)
        vna_s11_re[k] = 0.001f * float(k), vna_s11_im[k] = -0.002f * float(k), vna_s21_re[k] = 0.5f, vna_s21_im[k] = 0.25f;
    const auto same = now(N);
    EXPECT_EQ(now(N), same);
    EXPECT_NE(now(N - 1).first, same.first);
    EXPECT_NE(now(N - 4).first, same.first);
    // Each position of a group of four, the last samples after the whole groups, both parts,
    // and the smallest change of a value.
    for (const auto& [k, im] : {std::pair(0, false), {1, true}, {2, false}, {3, true}, {1000, true}, {1997, false},
                               {1998, true}, {1999, false}, {2000, true}}) {
        std::atomic<float>&a = (im ? vna_s11_im : vna_s11_re)[k], &b = (im ? vna_s21_im : vna_s21_re)[k];
        const float old_a = a, old_b = b;
        a = std::bit_cast<float>(std::bit_cast<uint32_t>(old_a) ^ 1u), b = -old_b;
        const auto changed = now(N);
        EXPECT_TRUE(changed.first != same.first && changed.second != same.second) << k;
        a = old_a, b = old_b;
        EXPECT_EQ(now(N), same) << k;
    }
    // The last sample of sweeps that end 1, 2, 3 or 4 samples after a group of four.
    for (int n : {2001, 1998, 1999, 2000}) {
        const uint64_t whole = now(n).first;
        vna_s11_im[n - 1] = vna_s11_im[n - 1] + 1;
        EXPECT_NE(now(n).first, whole) << "last of " << n;
        vna_s11_im[n - 1] = vna_s11_im[n - 1] - 1;
    }
    // Two samples swapped are another sweep.
    vna_s21_re[7] = 0.75f;
    const uint64_t before = now(N).second;
    vna_s21_re[7] = 0.5f, vna_s21_re[8] = 0.75f;
    EXPECT_NE(now(N).second, before);
    vna_s21_re[8] = 0.5f;
}

}  // namespace
