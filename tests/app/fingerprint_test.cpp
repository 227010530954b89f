// The per-pass fingerprint of the corrected samples, which decides whether the trace panels
// and the Smith chart draw: any one changed sample in any lane and position, a changed number
// of points and two swapped samples change it; the same samples give the same value.
#include <gtest/gtest.h>

#include <bit>

#include "app/traces.h"
#include "forms/page.h"

namespace {

std::pair<uint64_t, uint64_t> now(int n) {
    return obj_loop++, std::pair(s11_fingerprint(n), s21_fingerprint(n));
}

TEST(Fingerprint, EverySampleAndThePointCountCount) {
    for (int k = 0; k < 2001; k++)
        vna_s11_re[k] = 0.001f * float(k), vna_s11_im[k] = -0.002f * float(k),
        vna_s21_re[k] = 0.5f, vna_s21_im[k] = 0.25f;
    const auto same = now(2001);
    EXPECT_TRUE(now(2001) == same && now(2000).first != same.first && now(1997).first != same.first);
    for (int k : {0, 1, 2, 3, 1000, 1997, 1998, 1999, 2000}) {  // each lane, the tail after whole groups
        const bool im = k % 2;  // each part
        std::atomic<float>&a = (im ? vna_s11_im : vna_s11_re)[k], &b = (im ? vna_s21_im : vna_s21_re)[k];
        const float old_a = a, old_b = b;
        a = std::bit_cast<float>(std::bit_cast<uint32_t>(old_a) ^ 1u);
        b = -old_b;
        const auto changed = now(2001);
        EXPECT_TRUE(changed.first != same.first && changed.second != same.second) << k;
        a = old_a;
        b = old_b;
        EXPECT_EQ(now(2001), same) << k;
        if (k < 1997) continue;  // the last sample of sweeps that end 1 to 4 samples after a group
        const uint64_t whole = now(k + 1).first;
        vna_s11_im[k] = vna_s11_im[k] + 1;
        EXPECT_NE(now(k + 1).first, whole) << k;
        vna_s11_im[k] = vna_s11_im[k] - 1;
    }
    vna_s21_re[7] = 0.75f;
    const uint64_t before = now(2001).second;
    vna_s21_re[7] = 0.5f, vna_s21_re[8] = 0.75f;
    EXPECT_NE(now(2001).second, before);
}

}  // namespace
