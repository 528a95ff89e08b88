// The separation measures info1 and info2 against their definition.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "../support.hpp"
#include "model_state.hpp"

namespace {

// The separation of classes a and b of one cohort by its definition: positions along the line
// through the two class means (signed, positive towards larger first coordinates, measured
// from mean a; undefined when the means share a coordinate), then the squared distance of the
// two centres over the sum of the spreads (divisor n - 1). From the points: the centres are the
// classes' mean positions, -1 unless both classes have two members. From the means: the centres
// are the means' positions, a spread of 0 borrows the other's, -1 when both are 0.
double separation(const std::vector<xy>& pts, const std::vector<int>& calls, const class_means& mu, int a, int b, bool from_means)
{
    const double ux = mu[b][0] - mu[a][0], uy = mu[b][1] - mu[a][1], len = std::hypot(ux, uy);
    if (ux == 0 || uy == 0) return NAN;
    const auto pos = [&](const xy& p) { return ((p[0] - mu[a][0]) * ux + (p[1] - mu[a][1]) * uy) / len * (ux > 0 ? 1 : -1); };
    std::vector<double> A, B;
    for (std::size_t i = 0; i < pts.size(); ++i)
        if (calls[i] == a || calls[i] == b) (calls[i] == a ? A : B).push_back(pos(pts[i]));
    const auto mean = [](const std::vector<double>& v) { double s = 0; for (double x : v) s += x; return s / v.size(); };
    const auto spread = [](const std::vector<double>& v, double c) {
        double s = 0;
        for (double x : v) s += (x - c) * (x - c);
        return v.size() > 1 ? s / (v.size() - 1) : 0.0;
    };
    if (!from_means) {
        if (A.size() < 2 || B.size() < 2) return -1;
        const double mA = mean(A), mB = mean(B);
        return (mA - mB) * (mA - mB) / (spread(A, mA) + spread(B, mB));
    }
    const double cA = 0, cB = pos(mu[b]);
    double sA = spread(A, cA), sB = spread(B, cB);
    if (sA == 0) sA = sB;
    if (sB == 0) sB = sA;
    return sA == 0 ? -1 : (cA - cB) * (cA - cB) / (sA + sB);
}

}  // namespace

// info1 and info2: the smaller positive separation of classes 0/1 and 1/2, -1 when neither is
// positive; null-class individuals play no part.
TEST(Information, SeparationOfNeighbouringClasses)
{
    const class_means diagonal{{{2, 0}, {1, 1}, {0, 2}}};
    const std::vector<xy> regular{{2.1, 0.1}, {1.9, -0.2}, {1.0, 1.1}, {2.2, 0.0}, {1.2, 0.9}, {5.0, 5.0}, {0.9, 1.0}, {0.1, 2.0}, {-0.1, 1.8}};
    const std::vector<int> calls{0, 0, 1, 0, 1, 3, 1, 2, 2};
    std::vector<xy> wide = regular;
    wide[7] = {0.7, 1.9}, wide[8] = {-0.6, 1.4};
    const struct {
        std::vector<xy> pts;
        std::vector<int> calls;
        class_means mu;
    } rows[] = {
        {regular, calls, diagonal},
        {wide, calls, diagonal},
        {{{2.1, 0.1}, {1.0, 1.1}, {1.2, 0.9}, {0.1, 2.0}, {-0.1, 1.8}}, {0, 1, 1, 2, 2}, diagonal},   // one member of class 0
        {{{2.1, 0.1}, {1.0, 1.1}, {1.2, 0.9}, {0.9, 1.0}}, {0, 1, 1, 1}, diagonal},                    // no class 2
        {{{2.5, -0.5}, {1.5, 0.5}, {2.25, -0.25}, {1.75, 0.25}, {0.1, 2.0}, {-0.1, 1.8}}, {0, 0, 1, 1, 2, 2}, diagonal},
        {regular, calls, {{{1, 0}, {1, 1}, {0, 2}}}},   // means 0 and 1 share a coordinate
        {regular, calls, {{{1, 0}, {1, 1}, {1, 3}}}},
        {{{2, 2}, {2, 2}, {1, 1}}, {0, 0, 1}, diagonal},   // no spread at all
    };
    test_state d;
    for (const auto& r : rows) {
        d.current.points = {r.pts}, d.calls = {r.calls}, d.mu = {r.mu};
        d.n_individuals = {static_cast<int>(r.pts.size())};
        for (bool from_means : {false, true}) {
            const double v1 = separation(r.pts, r.calls, r.mu, 0, 1, from_means), v2 = separation(r.pts, r.calls, r.mu, 1, 2, from_means);
            const double expected = v1 > 0 && v2 > 0 ? std::min(v1, v2) : v1 > 0 ? v1 : v2 > 0 ? v2 : -1;
            const double got = from_means ? d.info_calc2(0) : d.info_calc1(0);
            EXPECT_NEAR(got, expected, 1e-12 * std::fabs(expected)) << (from_means ? "info2 " : "info1 ") << r.pts.size();
        }
    }
    EXPECT_EQ(support::lines_of(d.console.str())[0].substr(0, 16), "info_calc1(0) : ");
}
