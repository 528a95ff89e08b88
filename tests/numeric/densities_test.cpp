#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include <boost/math/distributions/gamma.hpp>
#include <boost/math/distributions/inverse_gamma.hpp>

#include "numeric/densities.hpp"

TEST(Densities, KnownValues)
{
    const double mu = 1.5, sigma = 2.0;
    struct case_ {
        const char* what;
        double got, expected;
    };
    const case_ cases[] = {
        {"log_dbeta uniform", log_dbeta(0.5, 1, 1), 0.0},
        {"log_dbeta(0.25, 2, 2)", log_dbeta(0.25, 2, 2), std::log(1.125)},
        {"log_dbeta(0.1, 0.5, 3)", log_dbeta(0.1, 0.5, 3),
         std::log(std::pow(0.1, -0.5) * std::pow(0.9, 2.0) * std::tgamma(3.5) / (std::tgamma(0.5) * std::tgamma(3.0)))},
        {"log_dnorm at the mean", log_dnorm(3.0, 3.0, 1.0), -0.5 * std::log(6.283185308)},
        {"log_dnorm variance 4", log_dnorm(1.0, 3.0, 4.0), -0.5 * (std::log(6.283185308 * 4.0) + 1.0)},
        {"dnorm", dnorm(2.5, &mu, &sigma), std::exp(-0.125) / (2.5066282747946493 * 2.0)},
        {"dgamma log", dgamma(2.0, 3.0, 0.5, 1), 3 * std::log(0.5) + 2 * std::log(2.0) - 1.0 - std::log(2.0)},
        {"dgamma", dgamma(2.0, 3.0, 0.5, 0), std::pow(0.5, 3) * 4.0 * std::exp(-1.0) / 2.0},
    };
    for (const case_& c : cases)
        EXPECT_NEAR(c.got, c.expected, 1e-12) << c.what;
    EXPECT_TRUE(std::isnan(log_dbeta(-0.1, 2, 2)));
    EXPECT_EQ(log_dbeta(0.0, 2, 2), -INFINITY);
}

TEST(Densities, GammaAndInverseChiSquareAgainstBoost)
{
    struct case_ {
        double x, a, b;
    };
    for (const case_& c : {case_{0.3, 0.5, 2.0}, case_{4.0, 7.3, 1.1}, case_{100.0, 90.0, 1.0}}) {
        const boost::math::gamma_distribution<> g(c.a, 1.0 / c.b);
        EXPECT_NEAR(log_dgamma(c.x, c.a, c.b), std::log(pdf(g, c.x)), 1e-10) << c.x;
        // Scaled inverse chi-square(nu, s2) is inverse gamma(nu / 2, nu s2 / 2).
        const double nu = c.a, s2 = c.b;
        const boost::math::inverse_gamma_distribution<> ig(nu / 2, nu * s2 / 2);
        EXPECT_NEAR(log_dscaled_Inv_Chi_Squared(c.x, nu, s2), std::log(pdf(ig, c.x)), 1e-10) << c.x;
    }
}

TEST(Densities, DirichletLogDensity)
{
    const double x[] = {0.2, 0.3, 0.5, 0.0};
    const double ones[] = {1, 1, 1, 1};
    for (int K = 1; K <= 3; ++K)
        EXPECT_NEAR(ddirichlet(x, ones, &K), std::lgamma(K), 1e-12) << K;
    const double alpha[] = {2.0, 3.0};
    const double y[] = {0.4, 0.6};
    const int two = 2;
    // Beta(2, 3) at 0.4.
    EXPECT_NEAR(ddirichlet(y, alpha, &two), log_dbeta(0.4, 2.0, 3.0), 1e-12);
}

TEST(Densities, VectorSummaries)
{
    const std::vector<double> v{1.0, 2.0, 4.0, 100.0};
    const std::vector<double> w{2.0, 1.0, 0.0, 100.0};
    EXPECT_DOUBLE_EQ(meanvec(&v, 3), 7.0 / 3.0);
    EXPECT_TRUE(std::isnan(meanvec(&v, 0)));
    EXPECT_DOUBLE_EQ(varvec(&v, 2.0, 3), (1.0 + 0.0 + 4.0) / 2.0);
    EXPECT_DOUBLE_EQ(varvec1(&v, 3), 7.0 / 3.0);
    EXPECT_DOUBLE_EQ(covvec(&v, &w, 2.0, 1.0, 3), (-1.0 + 0.0 - 2.0) / 2.0);
    EXPECT_DOUBLE_EQ(covvec1(&v, &w, 3), -1.5);
}

TEST(Densities, RunningMeanVarianceAndSd)
{
    const double obs[] = {1.0, 2.0, 3.0};
    const double var_after[] = {1.0, 0.5, 1.0};
    const double sd_after[] = {1.0, 1.0 / std::sqrt(2.0), 1.0};
    double m = 0.0, s2 = 0.0, s = 0.0;
    for (int i = 0; i < 3; ++i) {
        const double n = i + 1;
        sequential_mean(&m, &obs[i], n);
        sequential_variance(&s2, &m, &obs[i], n);
        sequential_sd(&s, &m, &obs[i], n);
        EXPECT_DOUBLE_EQ(s2, var_after[i]) << n;
        EXPECT_DOUBLE_EQ(s, sd_after[i]) << n;
    }
    EXPECT_DOUBLE_EQ(m, 2.0);
    // Other counts leave the slot alone.
    sequential_variance(&s2, &m, &obs[0], 0.0);
    EXPECT_DOUBLE_EQ(s2, 1.0);

    // The element-wise forms on a longer stream agree with the direct sample statistics.
    const std::vector<double> a{3.0, -1.0, 4.0, 1.5, 9.0, 2.6};
    const std::vector<double> b{0.5, 0.25, -2.0, 8.0, 1.0, 3.0};
    double mv[2] = {0, 0}, vv[2] = {0, 0}, sv[2] = {0, 0};
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double x[2] = {a[i], b[i]};
        const double n = static_cast<double>(i + 1);
        sequential_mean_vec(mv, x, n, 2);
        sequential_variance_vec(vv, mv, x, n, 2);
        sequential_sd_vec(sv, mv, x, n, 2);
    }
    const int n = static_cast<int>(a.size());
    EXPECT_NEAR(mv[0], meanvec(&a, n), 1e-12);
    EXPECT_NEAR(mv[1], meanvec(&b, n), 1e-12);
    EXPECT_NEAR(vv[0], varvec1(&a, n), 1e-12);
    EXPECT_NEAR(vv[1], varvec1(&b, n), 1e-12);
    EXPECT_NEAR(sv[0], std::sqrt(varvec1(&a, n)), 1e-12);
    EXPECT_NEAR(sv[1], std::sqrt(varvec1(&b, n)), 1e-12);
}
