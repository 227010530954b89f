// The per-pass fingerprint of the corrected samples, which decides whether the trace panels
// and the Smith chart draw: any one changed sample in any lane and position and a changed
// number of points change it; the same samples give the same value.
#include <gtest/gtest.h>

#include <bit>

#include "app/traces.h"
#include "forms/page.h"

namespace {

// Both fingerprints of the first n samples, taken in a new pass.
std::pair<uint64_t, uint64_t> now(int n) {
    obj_loop++;
    return std::pair(s11_fingerprint(n), s21_fingerprint(n));
}
// Flips the lowest bit of a sample: twice gives it back.
void flip(std::atomic<float>& x) { x = std::bit_cast<float>(std::bit_cast<uint32_t>(x.load()) ^ 1u); }

TEST(Fingerprint, EverySampleAndThePointCountCount) {
    const auto same = now(2001);
    EXPECT_TRUE(now(2001) == same && now(2000).first != same.first && now(1997).first != same.first);
    for (int k : {0, 1, 2, 3, 1000, 1997, 1998, 1999, 2000}) {  // each lane, the tail after whole groups
        const bool im = k % 2;  // each part
        std::atomic<float>& a = (im ? vna_s11_im : vna_s11_re)[k];
        std::atomic<float>& b = (im ? vna_s21_im : vna_s21_re)[k];
        flip(a);
        flip(b);
        const auto changed = now(2001);
        EXPECT_TRUE(changed.first != same.first && changed.second != same.second) << k;
        flip(a);
        flip(b);
        EXPECT_EQ(now(2001), same) << k;
    }
}

}  // namespace
