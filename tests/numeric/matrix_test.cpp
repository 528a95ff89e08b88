#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include <boost/math/distributions/inverse_gamma.hpp>

#include "numeric/matrix.hpp"
#include "numeric/random.hpp"

using NEWMAT::ColumnVector;
using NEWMAT::SymmetricMatrix;

namespace {

SymmetricMatrix sym2(double a11, double a12, double a22)
{
    SymmetricMatrix m(2);
    m(1, 1) = a11;
    m(2, 1) = a12;
    m(2, 2) = a22;
    return m;
}

}  // namespace

TEST(MatrixFunctions, MultivariateNormalLogDensity)
{
    ColumnVector x(2), mu(2);
    x << 1.0 << 2.0;
    mu << 0.0 << 1.0;
    const SymmetricMatrix sigma = sym2(2.0, 0.5, 1.0);
    // det = 1.75; difference (1, 1); quadratic form (1 - 0.5 - 0.5 + 2) / 1.75.
    const double expected = -0.5 * (2 * std::log(2 * M_PI) + std::log(1.75) + 2.0 / 1.75);
    EXPECT_NEAR(log_mvt_norm_density(&x, &mu, &sigma), expected, 1e-12);
}

TEST(MatrixFunctions, InverseWishartLogDensity)
{
    const SymmetricMatrix w = sym2(1.3, -0.4, 0.8);
    const SymmetricMatrix s = sym2(2.0, 0.3, 1.1);
    const std::vector<double> w3{1.3, -0.4, 0.8}, s3{2.0, 0.3, 1.1};
    for (double nu : {3.0, 5.5, 12.0})
        EXPECT_NEAR(log_inverse_Wishart_density(&w, nu, &s), log_inverse_Wishart_density_2D(&w3, &s3, nu), 1e-10) << nu;

    // In one dimension the inverse Wishart(nu, s) is the inverse gamma(nu / 2, s / 2).
    SymmetricMatrix w1(1), s1(1);
    w1(1, 1) = 0.7;
    s1(1, 1) = 1.9;
    const boost::math::inverse_gamma_distribution<> ig(4.0 / 2, 1.9 / 2);
    EXPECT_NEAR(log_inverse_Wishart_density(&w1, 4.0, &s1), std::log(pdf(ig, 0.7)), 1e-10);
}

TEST(MatrixFunctions, TruncatedMatrixExponential)
{
    const double t = 0.7;
    std::vector<std::vector<double>> diagonal{{0.5, 0.0, 0.0}, {0.0, 2.0, 0.0}, {0.0, 0.0, -1.0}};
    matrix_exp(&diagonal, t);
    const double d[] = {0.5, 2.0, -1.0};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(diagonal[r][c], r == c ? std::exp(t * (d[r] - 1.0)) : 0.0, 1e-13) << r << c;

    // exp(t (A - I)) for A - I nilpotent is I + t (A - I).
    std::vector<std::vector<double>> shear{{1.0, 1.0}, {0.0, 1.0}};
    matrix_exp(&shear, t);
    EXPECT_NEAR(shear[0][0], 1.0, 1e-13);
    EXPECT_NEAR(shear[0][1], t, 1e-13);
    EXPECT_NEAR(shear[1][0], 0.0, 1e-13);
    EXPECT_NEAR(shear[1][1], 1.0, 1e-13);
}

TEST(MatrixFunctions, WishartDrawsHaveTheRightMean)
{
    MT base(0.8642);
    Random::Set(base);
    const SymmetricMatrix s = sym2(2.0, 0.5, 1.0);
    const int draws = 4000;
    const int p = 2;
    for (bool inverse : {false, true}) {
        const int nu = inverse ? 10 : 5;
        SymmetricMatrix sum(2);
        sum = 0.0;
        SymmetricMatrix w;
        for (int i = 0; i < draws; ++i) {
            rwish(&w, nu, &s, inverse);
            sum += w;
        }
        for (int i = 1; i <= 2; ++i)
            for (int j = 1; j <= i; ++j) {
                const double sij = s(i, j), sii = s(i, i), sjj = s(j, j);
                double mean, variance;
                if (!inverse) {
                    mean = nu * sij;
                    variance = nu * (sij * sij + sii * sjj);
                } else {
                    const double k = nu - p - 1.0;
                    mean = sij / k;
                    variance = ((nu - p + 1) * sij * sij + k * sii * sjj) / ((nu - p) * k * k * (nu - p - 3));
                }
                EXPECT_NEAR(sum(i, j) / draws, mean, 4 * std::sqrt(variance / draws))
                    << (inverse ? "inverse " : "") << i << j;
            }
    }
}
