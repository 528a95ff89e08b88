// Densities, summary statistics and matrix functions against closed forms and Boost.Math.
#include <gtest/gtest.h>

#include <boost/math/distributions/beta.hpp>
#include <boost/math/distributions/gamma.hpp>
#include <boost/math/distributions/inverse_gamma.hpp>
#include <boost/math/distributions/normal.hpp>

#include <cmath>
#include <vector>

#include "numeric/densities.hpp"
#include "numeric/matrix.hpp"
#include "numeric/random.hpp"

namespace {

namespace bm = boost::math;

NEWMAT::SymmetricMatrix sym2(double a11, double a12, double a22)
{
    NEWMAT::SymmetricMatrix m(2);
    m(1, 1) = a11, m(2, 1) = a12, m(2, 2) = a22;
    return m;
}

}  // namespace

TEST(Densities, KnownValues)
{
    const double mu = 1.5, sigma = 2.0;
    const double alpha3[] = {2.0, 3.0, 0.5}, x3[] = {0.3, 0.6, 0.1}, y2[] = {0.4, 0.6};
    const int two = 2, three = 3;
    const struct {
        const char* what;
        double got, expected;
    } rows[] = {
        {"log_dbeta", log_dbeta(0.1, 0.5, 3), std::log(bm::pdf(bm::beta_distribution<>(0.5, 3), 0.1))},
        {"log_dbeta", log_dbeta(0.7, 30, 12), std::log(bm::pdf(bm::beta_distribution<>(30, 12), 0.7))},
        {"log_dnorm (variance)", log_dnorm(1.0, 3.0, 4.0), -0.5 * (std::log(6.283185308 * 4.0) + 1.0)},
        {"dnorm (sd)", dnorm(2.5, &mu, &sigma), bm::pdf(bm::normal_distribution<>(1.5, 2.0), 2.5)},
        {"dgamma", dgamma(2.0, 3.0, 0.5, 0), bm::pdf(bm::gamma_distribution<>(3.0, 2.0), 2.0)},
        {"dgamma log", dgamma(4.0, 7.3, 1.1, 1), std::log(bm::pdf(bm::gamma_distribution<>(7.3, 1 / 1.1), 4.0))},
        {"log_dgamma", log_dgamma(0.3, 0.5, 2.0), std::log(bm::pdf(bm::gamma_distribution<>(0.5, 0.5), 0.3))},
        // Scaled inverse chi-square(nu, s2) is the inverse gamma(nu / 2, nu s2 / 2).
        {"scaled inverse chi-square", log_dscaled_Inv_Chi_Squared(0.7, 5.0, 0.4),
         std::log(bm::pdf(bm::inverse_gamma_distribution<>(2.5, 1.0), 0.7))},
        {"Dirichlet of two is Beta", ddirichlet(y2, alpha3, &two), log_dbeta(0.4, 2.0, 3.0)},
        {"Dirichlet", ddirichlet(x3, alpha3, &three),
         std::lgamma(5.5) - std::lgamma(2) - std::lgamma(3) - std::lgamma(0.5) + std::log(0.3) + 2 * std::log(0.6) -
             0.5 * std::log(0.1)},
    };
    for (const auto& r : rows) EXPECT_NEAR(r.got, r.expected, 1e-10 * (1 + std::fabs(r.expected))) << r.what;
    EXPECT_TRUE(std::isnan(log_dbeta(-0.1, 2, 2)));
    EXPECT_EQ(log_dbeta(0.0, 2, 2), -INFINITY);
}

TEST(Densities, BatchAndRunningSummaries)
{
    const std::vector<double> v{1.0, 2.0, 4.0, 100.0}, w{2.0, 1.0, 0.0, 100.0};
    EXPECT_DOUBLE_EQ(meanvec(&v, 3), 7.0 / 3.0);
    EXPECT_DOUBLE_EQ(varvec(&v, 2.0, 3), 2.5);
    EXPECT_DOUBLE_EQ(varvec1(&v, 3), 7.0 / 3.0);
    EXPECT_DOUBLE_EQ(covvec(&v, &w, 2.0, 1.0, 3), -1.5);
    EXPECT_DOUBLE_EQ(covvec1(&v, &w, 3), -1.5);
    // The running forms after each observation: the first slot holds the observation itself,
    // later ones the sample variance (or sd) with divisor n - 1.
    const std::vector<double> a{3.0, -1.0, 4.0, 1.5, 9.0, 2.6}, b{0.5, 0.25, -2.0, 8.0, 1.0, 3.0};
    double m = 0, s2 = 0, s = 0, mv[2] = {0, 0}, vv[2] = {0, 0}, sv[2] = {0, 0};
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double n = static_cast<double>(i + 1), x[2] = {a[i], b[i]};
        sequential_mean(&m, &a[i], n);
        sequential_variance(&s2, &m, &a[i], n);
        sequential_sd(&s, &m, &a[i], n);
        sequential_mean_vec(mv, x, n, 2);
        sequential_variance_vec(vv, mv, x, n, 2);
        sequential_sd_vec(sv, mv, x, n, 2);
        const int k = static_cast<int>(i + 1);
        EXPECT_NEAR(m, meanvec(&a, k), 1e-12) << k;
        EXPECT_NEAR(s2, k == 1 ? a[0] : varvec1(&a, k), 1e-12) << k;
        EXPECT_NEAR(s, k == 1 ? a[0] : std::sqrt(varvec1(&a, k)), 1e-12) << k;
        EXPECT_NEAR(vv[1], k == 1 ? b[0] : varvec1(&b, k), 1e-12) << k;
        EXPECT_NEAR(sv[1], k == 1 ? b[0] : std::sqrt(varvec1(&b, k)), 1e-12) << k;
        EXPECT_NEAR(mv[0], m, 1e-12);
    }
    sequential_variance(&s2, &m, &a[0], 0.0);   // other counts leave the slot alone
    EXPECT_NEAR(s2, varvec1(&a, 6), 1e-12);
}

TEST(MatrixFunctions, ClosedForms)
{
    NEWMAT::ColumnVector x(2), mu(2);
    x << 1.0 << 2.0;
    mu << 0.0 << 1.0;
    // det 1.75, difference (1, 1), quadratic form 2 / 1.75.
    const NEWMAT::SymmetricMatrix sigma = sym2(2.0, 0.5, 1.0);
    EXPECT_NEAR(log_mvt_norm_density(&x, &mu, &sigma), -0.5 * (2 * std::log(2 * M_PI) + std::log(1.75) + 2 / 1.75), 1e-12);
    const NEWMAT::SymmetricMatrix w = sym2(1.3, -0.4, 0.8), s = sym2(2.0, 0.3, 1.1);
    const std::vector<double> w3{1.3, -0.4, 0.8}, s3{2.0, 0.3, 1.1};
    for (double nu : {3.0, 12.0})
        EXPECT_NEAR(log_inverse_Wishart_density(&w, nu, &s), log_inverse_Wishart_density_2D(&w3, &s3, nu), 1e-10);
    // One-dimensional inverse Wishart(nu, s) is the inverse gamma(nu / 2, s / 2).
    NEWMAT::SymmetricMatrix w1(1), s1(1);
    w1(1, 1) = 0.7, s1(1, 1) = 1.9;
    EXPECT_NEAR(log_inverse_Wishart_density(&w1, 4.0, &s1), std::log(bm::pdf(bm::inverse_gamma_distribution<>(2, 0.95), 0.7)),
                1e-10);
    // exp(t (A - I)): a diagonal A, and a nilpotent A - I, whose series ends after one term.
    const double t = 0.7;
    std::vector<std::vector<double>> diagonal{{0.5, 0, 0}, {0, 2.0, 0}, {0, 0, -1.0}}, shear{{1, 1}, {0, 1}};
    matrix_exp(&diagonal, t);
    matrix_exp(&shear, t);
    for (int r = 0; r < 3; ++r) EXPECT_NEAR(diagonal[r][r], std::exp(t * ((r == 0 ? 0.5 : r == 1 ? 2 : -1) - 1)), 1e-13);
    EXPECT_NEAR(diagonal[0][1], 0, 1e-13);
    const double sheared[2][2] = {{1, t}, {0, 1}};
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c) EXPECT_NEAR(shear[r][c], sheared[r][c], 1e-13) << r << c;
}

// Wishart draws have mean nu S; inverse-Wishart draws S / (nu - p - 1).
TEST(MatrixFunctions, WishartDrawsHaveTheirMeans)
{
    MT base(0.8642);
    Random::Set(base);
    const NEWMAT::SymmetricMatrix s = sym2(2.0, 0.5, 1.0);
    const int draws = 4000;
    for (bool inverse : {false, true}) {
        const int nu = inverse ? 10 : 5;
        NEWMAT::SymmetricMatrix sum(2), one;
        sum = 0.0;
        for (int i = 0; i < draws; ++i) {
            rwish(&one, nu, &s, inverse);
            sum += one;
        }
        for (int i = 1; i <= 2; ++i)
            for (int j = 1; j <= i; ++j) {
                const double sij = s(i, j), sii = s(i, i), sjj = s(j, j), k = nu - 3.0;
                const double mean = inverse ? sij / k : nu * sij;
                const double var = inverse ? ((nu - 1) * sij * sij + k * sii * sjj) / ((nu - 2) * k * k * (nu - 5))
                                           : nu * (sij * sij + sii * sjj);
                EXPECT_NEAR(sum(i, j) / draws, mean, 4 * std::sqrt(var / draws)) << inverse << i << j;
            }
    }
}
