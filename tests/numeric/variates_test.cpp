#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include <boost/math/distributions/beta.hpp>
#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/gamma.hpp>

#include "numeric/variates.hpp"
#include "numeric_test_support.hpp"
#include "state/error.hpp"

TEST(Variates, RgammaWithARatePassesKolmogorovSmirnov)
{
    MT base(0.2468);
    Random::Set(base);
    struct case_ {
        double shape, rate;
    };
    for (const case_& c : {case_{0.3, 2.0}, case_{1.0, 0.5}, case_{3.7, 10.0}, case_{250.0, 4.0}}) {
        const auto sample = draws([&] { return rgamma(c.shape, c.rate); }, 10000);
        const boost::math::gamma_distribution<> reference(c.shape, 1.0 / c.rate);
        const double d = ks_statistic(sample, [&](double x) { return cdf(reference, x); });
        EXPECT_LT(d, ks_critical(sample.size())) << c.shape << ", " << c.rate;
    }
    EXPECT_THROW(rgamma(0.0, 1.0), run_error);
}

TEST(Variates, GenbetPassesKolmogorovSmirnov)
{
    MT base(0.97531);
    Random::Set(base);
    struct case_ {
        float a, b;
    };
    for (const case_& c : {case_{0.05f, 0.05f}, case_{0.3f, 2.0f}, case_{1.0f, 1.0f}, case_{2.5f, 7.0f}, case_{60.0f, 0.8f}}) {
        const auto sample = draws([&] { return genbet(c.a, c.b); }, 10000);
        const boost::math::beta_distribution<> reference(c.a, c.b);
        const double d = ks_statistic(sample, [&](double x) { return cdf(reference, x); });
        EXPECT_LT(d, ks_critical(sample.size())) << c.a << ", " << c.b;
    }
}

TEST(Variates, GenbetDrawsTheFirstShapeFirst)
{
    // Shape 1 draws from the exponential table, shape 0.5 from the Gamma1 table (squared);
    // each takes one accepted attempt of three base draws, a's first.
    Exponential e;
    Gamma1 g(0.5);
    const PosTable& te = e.table();
    const PosTable& tg = g.table();
    scripted_base base({0.1, 0.5, 0.0, 0.7, 0.5, 0.0});
    const double x = te.sx[5] + 0.5 * (te.sx[6] - te.sx[5]);                    // floor(0.1 * 54)
    const double y = std::pow(tg.sx[37] + 0.5 * (tg.sx[38] - tg.sx[37]), 2.0);  // floor(0.7 * 54)
    ASSERT_EQ(tg.strips, 54);
    EXPECT_EQ(genbet(1.0f, 0.5f), x / (x + y));
    EXPECT_EQ(base.used(), 6u);
}

TEST(Variates, GenbetShapesCountOnlyToSinglePrecision)
{
    const double a1 = 2.3, a2 = 2.3 + 1e-12, b1 = 0.7, b2 = 0.7 - 1e-12;
    ASSERT_NE(a1, a2);
    std::vector<double> first, second;
    {
        MT base(0.5555);
        Random::Set(base);
        for (int i = 0; i < 200; ++i)
            first.push_back(genbet(static_cast<float>(a1), static_cast<float>(b1)));
    }
    {
        MT base(0.5555);
        Random::Set(base);
        for (int i = 0; i < 200; ++i)
            second.push_back(genbet(static_cast<float>(a2), static_cast<float>(b2)));
    }
    EXPECT_EQ(first, second);
}

TEST(Variates, RmultinomWalk)
{
    const double p3[] = {0.2, 0.3, 0.5};
    const double p2[] = {0.2, 0.3};
    struct case_ {
        const double* p;
        int n;
        double u;
        int expected;
    };
    const case_ cases[] = {
        {p3, 3, 0.01, 1}, {p3, 3, 0.2, 1},  {p3, 3, 0.2000001, 2}, {p3, 3, 0.5, 2},
        {p3, 3, 0.5000001, 3}, {p3, 3, 0.99, 3}, {p2, 2, 0.9, 2}, {p2, 2, 0.1, 1},
    };
    for (const case_& c : cases)
        EXPECT_EQ(rmultinom_walk(c.p, c.n, c.u), c.expected) << c.u;

    // One base draw per call.
    scripted_base base({0.1, 0.45, 0.9, 0.9});
    EXPECT_EQ(rmultinom(p3, 3), 1);
    EXPECT_EQ(rmultinom(p3, 3), 2);
    EXPECT_EQ(rmultinom(p3, 3), 3);
    EXPECT_EQ(rmultinom(p2, 2), 2);
    EXPECT_EQ(base.used(), 4u);
}

TEST(Variates, GenchiPassesKolmogorovSmirnov)
{
    MT base(0.1357);
    Random::Set(base);
    for (int nu : {1, 2, 5}) {
        const auto sample = draws([&] { return genchi(nu); }, 10000);
        const boost::math::chi_squared_distribution<> reference(nu);
        const double d = ks_statistic(sample, [&](double x) { return cdf(reference, x); });
        EXPECT_LT(d, ks_critical(sample.size())) << nu;
    }
    ChiSq chi(4.0);
    EXPECT_EQ(chi.Mean(), 4.0);
    EXPECT_EQ(chi.Variance(), 8.0);
}

TEST(Variates, UncalledHelpers)
{
    MT base(0.4242);
    Random::Set(base);

    // Dirichlet with a 1% uniform share: entries sum to 1 and none falls below 0.01 / (1 + 0.01 K).
    const double alpha[] = {0.5, 2.0, 5.0};
    const int K = 3;
    double x[3];
    double mean0 = 0.0;
    for (int i = 0; i < 2000; ++i) {
        rdirichlet(x, alpha, &K);
        EXPECT_NEAR(x[0] + x[1] + x[2], 1.0, 1e-12);
        EXPECT_GE(*std::min_element(x, x + 3), 0.01 / 1.03);
        mean0 += x[0] / 2000;
    }
    EXPECT_NEAR(mean0, (0.5 / 7.5 + 0.01) / 1.03, 0.01);

    // Uniform category.
    EXPECT_EQ(rmultinom_unif(0), 0);
    std::vector<int> counts(5, 0);
    for (int i = 0; i < 10000; ++i)
        ++counts.at(rmultinom_unif(4));
    EXPECT_EQ(counts[0], 0);
    for (int c = 1; c <= 4; ++c)
        EXPECT_NEAR(counts[c], 2500, 200) << c;

    // Weighted map, largest key first.
    const weight_map empty;
    EXPECT_THROW(rmultinom(empty, 1.0), run_error);
    {
        const weight_map weights{{1.0, 10}, {3.0, 30}, {6.0, 60}};
        scripted_base script({0.5, 0.7, 0.95});
        EXPECT_EQ(rmultinom(weights, 10.0), 60);
        EXPECT_EQ(rmultinom(weights, 10.0), 30);
        EXPECT_EQ(rmultinom(weights, 10.0), 10);
    }
    Random::Set(base);

    // Sampling without replacement.
    std::vector<int> out;
    samp(10, 3, 7, &out);
    ASSERT_EQ(out.size(), 7u);
    EXPECT_EQ(std::vector<int>(out.begin(), out.begin() + 3), (std::vector<int>{0, 1, 2}));
    std::vector<int> rest(out.begin() + 3, out.end());
    std::sort(rest.begin(), rest.end());
    EXPECT_TRUE(std::adjacent_find(rest.begin(), rest.end()) == rest.end());
    EXPECT_GE(rest.front(), 3);
    EXPECT_LE(rest.back(), 9);

    testing::internal::CaptureStdout();
    samp(5, 2, 9, &out);   // asks for more than there are
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "need p >= M and p <= N in samp function\n");
    std::vector<int> all = out;
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, (std::vector<int>{0, 1, 2, 3, 4}));

    samp1(10, 2, 10, &out);
    ASSERT_EQ(out.size(), 10u);
    for (int i = 2; i < 10; i += 2) {
        EXPECT_EQ(out[i] % 2, 0);
        EXPECT_EQ(out[i + 1], out[i] + 1);
    }
    all = out;
    std::sort(all.begin(), all.end());
    std::vector<int> iota(10);
    std::iota(iota.begin(), iota.end(), 0);
    EXPECT_EQ(all, iota);
}
