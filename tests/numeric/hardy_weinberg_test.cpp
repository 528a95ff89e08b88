// The Hardy-Weinberg exact test against the exact tail sums of the probabilities
// 2^h n! nA! nB! / (nAA! h! nBB! (2n)!), computed in rational arithmetic apart from the program.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "numeric/hardy_weinberg.hpp"

TEST(HardyWeinberg, ExactTailSums)
{
    const struct {
        long long hom1, het, hom2;
        double p;
    } rows[] = {
        {0, 0, 0, 1},                          // no genotype
        {5, 0, 0, 1},                          // monomorphic
        {0, 2, 0, 1},                          // 2 hets (2/3) or 2 homozygotes (1/3)
        {1, 0, 1, 1.0 / 3},
        {100, 1, 0, 1},                        // one copy of the rare allele
        {25, 50, 25, 1},
        {10, 0, 10, 1.3403021576354265e-06},   // too few hets
        {0, 20, 0, 8.947138608114572e-06},     // too many
        {3, 10, 87, 0.01312292611592299},
        {253, 255, 79, 0.2771582224919168},
        {57, 14, 50, 5.562047311095335e-19},
    };
    std::vector<double> work;
    for (const auto& r : rows) {
        EXPECT_NEAR(hardy_weinberg_p(r.hom1, r.het, r.hom2, work), r.p, 1e-10 * r.p) << r.hom1 << " " << r.het << " " << r.hom2;
        EXPECT_NEAR(hardy_weinberg_p(r.hom2, r.het, r.hom1, work), r.p, 1e-10 * r.p) << "homozygotes swapped";
    }
}
