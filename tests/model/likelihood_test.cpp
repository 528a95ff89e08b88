#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model_fixture.hpp"

namespace {

namespace ref = model_fixture::reference;

// Every individual of cohort 0 called into class k, the counts rebuilt to match.
void call_all(data& d, int k)
{
    for (int& c : d.calls[0]) c = k;
    d.N[0] = {0, 0, 0, 0};
    d.N[0][k] = d.n_individuals[0];
    d.calls_changed();
}

// The class log likelihood of cohort 0 when its only individual is at (x, y) and called k.
double single_point(data& d, int k, double x, double y)
{
    d.snps[0].points[0][0] = {x, y};
    call_all(d, k);
    return d.log_posterior_X_given_K(k, 0);
}

}  // namespace

TEST(Likelihood, WorkedExamples)
{
    data d;
    model_fixture::make_state(d, {{xy{0, 0}}});
    d.sigma[0] = 1;
    d.r[0] = {0, 0, 0};
    d.mu[0][1] = {0.3, 0.4};
    const double two_pi = 2 * 3.141592654;
    EXPECT_EQ(single_point(d, 1, 0.3, 0.4), -std::log(two_pi));
    EXPECT_NEAR(single_point(d, 1, 0.3, 0.4), -1.837877, 1e-6);

    // The null class is fixed: centre (0.89, 0.89), variance 100 on each axis.
    EXPECT_NEAR(single_point(d, 3, 0.89, 0.89), -std::log(two_pi * 100), 1e-12);
    EXPECT_NEAR(single_point(d, 3, 0.89, 0.89), -6.443047, 1e-6);
    EXPECT_NEAR(single_point(d, 3, 10.89, 0.89), -std::log(two_pi * 100) - 0.5, 1e-12);
    EXPECT_NEAR(single_point(d, 3, 0.89, 10.89), -std::log(two_pi * 100) - 0.5, 1e-12);

    // Only the members of the class count: a class nobody is called into gives 0.
    call_all(d, 2);
    for (int k : {0, 1, 3}) EXPECT_EQ(d.log_posterior_X_given_K(k, 0), 0.0) << k;
}

TEST(Likelihood, EmptyCohortGivesZero)
{
    data d;
    model_fixture::make_state(d, {{}, {xy{0.5, 0.5}}});
    for (int k = 0; k < 4; ++k) EXPECT_EQ(d.log_posterior_X_given_K(k, 0), 0.0) << k;
}

TEST(Likelihood, Orientation)
{
    data d;
    model_fixture::make_state(d, {{xy{0, 0}}});
    d.sigma[0] = 0.5;
    d.varfrac[0] = 0.4;
    d.mu[0] = class_means{xy{1, 0.2}, xy{0.6, 0.6}, xy{0.2, 1}};

    // Positive correlation: the density rises along (1, 1) more than along (1, -1).
    d.r[0] = {0.3, 0.5, 0.7};
    for (int k = 0; k < 3; ++k) {
        const double mx = d.mu[0][k][0], my = d.mu[0][k][1];
        EXPECT_GT(single_point(d, k, mx + 1, my + 1), single_point(d, k, mx + 1, my - 1)) << k;
    }

    // varfrac < 1: class 0 spreads along x, class 2 along y, class 1 is circular without correlation.
    d.r[0] = {0, 0, 0};
    const double step = 0.3;
    const auto along_x = [&](int k) { return single_point(d, k, d.mu[0][k][0] + step, d.mu[0][k][1]); };
    const auto along_y = [&](int k) { return single_point(d, k, d.mu[0][k][0], d.mu[0][k][1] + step); };
    EXPECT_GT(along_x(0), along_y(0));
    EXPECT_LT(along_x(2), along_y(2));
    EXPECT_EQ(along_x(1), along_y(1));
}

TEST(Likelihood, AgreesWithBivariateNormal)
{
    struct row {
        int k;
        double s, t, rho, x, y;
    };
    const row table[] = {
        {0, 0.2, 0.5, 0.3, 1.1, 0.25}, {0, 0.1, 0.9, -0.4, 0.8, 0.5},  {1, 0.3, 0.2, 0.6, 0.5, 0.9},
        {1, 0.05, 0.7, 0.0, 0.74, 0.7}, {2, 0.2, 0.5, 0.3, 0.3, 1.2},  {2, 0.15, 0.3, 0.8, 0.1, 0.9},
        {3, 0.2, 0.5, 0.3, -5.0, 20.0},
    };
    data d;
    model_fixture::make_state(d, {{xy{0, 0}}});
    d.mu[0] = class_means{xy{1, 0.3}, xy{0.7, 0.7}, xy{0.3, 1}};
    for (const row& w : table) {
        d.sigma[0] = w.s;
        d.varfrac[0] = w.t;
        d.r[0] = {w.rho, w.rho, w.rho};
        EXPECT_NEAR(single_point(d, w.k, w.x, w.y), ref::log_class_density(d, 0, w.k, w.x, w.y), 1e-8)
            << "class " << w.k << " s " << w.s << " t " << w.t << " rho " << w.rho;
    }
}

TEST(Likelihood, Clumped)
{
    // x and y ranges are [0, 1]; a grid of 4 gives cells of 0.25. Four points share the cell at
    // (0, 0); (0.5, 0.5) lies exactly on its cell corner; (1, 1) is alone.
    const std::vector<xy> pts{xy{0, 0}, xy{0.1, 0.1}, xy{0.05, 0.2}, xy{0.2, 0.05}, xy{0.5, 0.5}, xy{1, 1}};
    data d;
    model_fixture::make_state(d, {pts});
    d.sigma[0] = 0.3;
    d.varfrac[0] = 0.6;
    d.r[0] = {0.2, 0.4, 0.1};

    // Unclumped value of the individual at (0.5, 0.5) alone in each class.
    std::vector<double> alone(4);
    for (int k = 0; k < 4; ++k) {
        for (int& c : d.calls[0]) c = (k + 1) % 4;
        d.calls[0][4] = k;
        d.calls_changed();
        alone[k] = d.log_posterior_X_given_K(k, 0);
    }

    model_fixture::make_clumped(d, 4);
    clump_map& clumps = d.snps[0].clumps[0];
    ASSERT_EQ(clumps.size(), 3u);
    point& big = clumps.at(0.0).at(0.0);
    point& exact = clumps.at(0.5).at(0.5);
    point& lone = clumps.at(1.0).at(1.0);
    ASSERT_EQ(big.w, 4);
    ASSERT_EQ(exact.w, 1);
    for (int k = 0; k < 4; ++k) {
        big.call = k;
        lone.call = exact.call = (k + 1) % 4;
        d.calls_changed();
        EXPECT_NEAR(d.log_posterior_X_given_K(k, 0), 4 * ref::log_class_density(d, 0, k, 0, 0), 1e-8) << k;
        big.call = lone.call = (k + 1) % 4;
        exact.call = k;
        d.calls_changed();
        EXPECT_DOUBLE_EQ(d.log_posterior_X_given_K(k, 0), alone[k]) << k;
        big.call = exact.call = lone.call = k;
        d.calls_changed();
        EXPECT_NEAR(d.log_posterior_X_given_K(k, 0),
                    4 * ref::log_class_density(d, 0, k, 0, 0) + ref::log_class_density(d, 0, k, 0.5, 0.5) +
                        ref::log_class_density(d, 0, k, 1, 1),
                    1e-8)
            << k;
    }
}

TEST(Likelihood, LogPosteriorTermsAgreeWithClosedForms)
{
    data d;
    model_fixture::make_state(d, model_fixture::two_small_cohorts());
    // Distinct parameter values per cohort, fixed calls (including the null class).
    d.calls = {{0, 0, 1, 2, 3}, {0, 1, 2, 2, 0}};
    for (int j = 0; j < 2; ++j) {
        d.N[j] = {0, 0, 0, 0};
        for (int c : d.calls[j]) d.N[j][c] += 1;
    }
    d.calls_changed();
    d.lambda = {{0.3, 0.4, 0.25, 0.05}, {0.2, 0.45, 0.3, 0.05}};
    d.alpha = {0.45, 0.6};
    d.alpha_star = 0.52;
    d.eta = {0.02, 0.07};
    d.eta_mean = 0.04;
    d.eta_var = 0.05;
    d.sigma = {0.08, 0.12};
    d.varfrac = {0.6, 0.35};
    d.r = {{0.1, 0.5, 0.2}, {0.05, 0.3, 0.15}};
    d.r_mean = {0.03, 0.8, 0.05};
    d.r_var = {0.02, 0.015, 0.03};
    d.sigma_mean = 0.2, d.sigma_var = 0.02;
    d.varfrac_mean = 0.3, d.varfrac_var = 0.02;
    d.center = {xy{0.71, 0.69}, xy{0.68, 0.72}};
    d.length = {1.02, 0.95};
    d.gradient = {0.98, 1.1};
    d.fraction = {0.48, 0.55};
    d.departure = {0.15, 0.25};
    d.center_mean = {0.7, 0.71};
    d.center_var = 4e-4;
    d.length_mean = 1.1, d.length_var = 0.03;
    d.gradient_mean = 0.9, d.gradient_var = 0.04;
    d.fraction_mean = 0.45, d.fraction_var = 0.03;
    d.departure_mean = 0.22, d.departure_var = 0.05;
    for (int j = 0; j < 2; ++j) d.set_mu_from_params(j);

    std::array<double, 7> expected{};
    const std::vector<std::vector<xy>>& pts = d.snps[0].points;
    const double c = d.pgd;
    for (int j = 0; j < 2; ++j) {
        for (std::size_t i = 0; i < pts[j].size(); ++i)
            expected[0] += ref::log_class_density(d, j, d.calls[j][i], pts[j][i][0], pts[j][i][1]);
        for (int k = 0; k < 4; ++k) expected[1] += d.N[j][k] * std::log(d.lambda[j][k]);
        const double a = d.alpha[j], e = d.eta[j];
        expected[2] += ref::log_dirichlet_kernel(
            d.lambda[j], {c * (1 - e) * a * a, c * (1 - e) * 2 * a * (1 - a), c * (1 - e) * (1 - a) * (1 - a), c * e});
    }
    // Mean–spread Beta with mean m and variance m(1 - m)v.
    const auto spread_beta = [](double x, double m, double v) { return ref::log_beta(x, m * (1 - v) / v, (1 - m) * (1 - v) / v); };
    // Mean–variance Gamma.
    const auto moment_gamma = [](double x, double m, double v) { return ref::log_gamma(x, m * m / v, m / v); };
    for (int j = 0; j < 2; ++j) expected[3] += spread_beta(d.alpha[j], d.alpha_star, d.c_alpha_cohorts);
    expected[3] += spread_beta(60.0 / 120, d.alpha_star, 0.01) + ref::log_beta(d.alpha_star, 1, 1);
    for (int j = 0; j < 2; ++j) expected[4] += spread_beta(d.eta[j], d.eta_mean, d.eta_var);
    expected[4] += ref::log_beta(d.eta_mean, 3, 100) + ref::log_beta(d.eta_var, 5, 100);
    for (int j = 0; j < 2; ++j) {
        expected[5] += moment_gamma(d.gradient[j], d.gradient_mean, d.gradient_var) +
                       moment_gamma(d.length[j], d.length_mean, d.length_var) +
                       spread_beta(d.fraction[j], d.fraction_mean, d.fraction_var) +
                       spread_beta(d.departure[j], d.departure_mean, d.departure_var) +
                       ref::log_normal(d.center[j][0], d.center_mean[0], d.center_var) +
                       ref::log_normal(d.center[j][1], d.center_mean[1], d.center_var);
        expected[6] += moment_gamma(d.sigma[j], d.sigma_mean, d.sigma_var) +
                       spread_beta(d.varfrac[j], d.varfrac_mean, d.varfrac_var);
        for (int k = 0; k < 3; ++k) expected[6] += spread_beta(d.r[j][k], d.r_mean[k], d.r_var[k]);
    }
    expected[5] += ref::log_gamma(d.gradient_mean, 10, 10) + ref::log_gamma(d.gradient_var, 1, 100) +
                   ref::log_gamma(d.length_mean, 20, 20) + ref::log_gamma(d.length_var, 1, 100) +
                   ref::log_beta(d.departure_mean, 2, 8) + ref::log_beta(d.departure_var, 1, 100) +
                   ref::log_beta(d.fraction_mean, 30, 30) + ref::log_beta(d.fraction_var, 1, 100) +
                   ref::log_normal(d.center_mean[0], 1, 1000) + ref::log_normal(d.center_mean[1], 1, 1000) +
                   ref::log_scaled_inv_chi2(d.center_var, 100, 0.0001);
    const double r_a[] = {1, 10, 1}, r_b[] = {50, 1, 50};
    for (int k = 0; k < 3; ++k)
        expected[6] += ref::log_beta(d.r_mean[k], r_a[k], r_b[k]) + ref::log_beta(d.r_var[k], 1, 100);
    expected[6] += ref::log_gamma(d.sigma_mean, 1, 4) + ref::log_gamma(d.sigma_var, 1, 100) +
                   ref::log_beta(d.varfrac_mean, 2.5, 7.5) + ref::log_beta(d.varfrac_var, 1, 100);

    const double total = d.log_posterior();
    double sum = 0;
    for (int t = 0; t < 7; ++t) {
        EXPECT_NEAR(d.log_posterior_terms[t], expected[t], 1e-7 * (1 + std::fabs(expected[t]))) << "term " << t;
        sum += d.log_posterior_terms[t];
    }
    EXPECT_EQ(total, sum);
    EXPECT_TRUE(std::isfinite(total));

    // The terms are overwritten by the next evaluation, not accumulated.
    EXPECT_EQ(d.log_posterior(), total);
    for (int t = 0; t < 7; ++t) EXPECT_NEAR(d.log_posterior_terms[t], expected[t], 1e-7 * (1 + std::fabs(expected[t])));
}
