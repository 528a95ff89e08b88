#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "model_fixture.hpp"

namespace {

namespace ref = model_fixture::reference;

void set_shape(data& d, double cx, double cy, double length, double gradient, double fraction, double departure)
{
    d.center[0] = {cx, cy};
    d.length[0] = length;
    d.gradient[0] = gradient;
    d.fraction[0] = fraction;
    d.departure[0] = departure;
}

// The eleven hyperprior terms of the cluster shape, from independent densities.
double shape_hyperprior(const data& d)
{
    return ref::log_gamma(d.gradient_mean, d.gradient_mean_prior[0], d.gradient_mean_prior[1]) +
           ref::log_gamma(d.gradient_var, d.gradient_var_prior[0], d.gradient_var_prior[1]) +
           ref::log_gamma(d.length_mean, d.length_mean_prior[0], d.length_mean_prior[1]) +
           ref::log_gamma(d.length_var, d.length_var_prior[0], d.length_var_prior[1]) +
           ref::log_beta(d.departure_mean, d.departure_mean_prior[0], d.departure_mean_prior[1]) +
           ref::log_beta(d.departure_var, d.departure_var_prior[0], d.departure_var_prior[1]) +
           ref::log_beta(d.fraction_mean, d.fraction_mean_prior[0], d.fraction_mean_prior[1]) +
           ref::log_beta(d.fraction_var, d.fraction_var_prior[0], d.fraction_var_prior[1]) +
           ref::log_normal(d.center_mean[0], 1, 1000) + ref::log_normal(d.center_mean[1], 1, 1000) +
           ref::log_scaled_inv_chi2(d.center_var, d.center_var_prior_df, d.center_var_prior_mean);
}

// Log prior of cohort j's shape parameters, from independent densities.
double shape_prior(const data& d, int j)
{
    const auto spread_beta = [](double x, double m, double v) { return ref::log_beta(x, m * (1 - v) / v, (1 - m) * (1 - v) / v); };
    const auto moment_gamma = [](double x, double m, double v) { return ref::log_gamma(x, m * m / v, m / v); };
    return moment_gamma(d.gradient[j], d.gradient_mean, d.gradient_var) +
           moment_gamma(d.length[j], d.length_mean, d.length_var) +
           spread_beta(d.fraction[j], d.fraction_mean, d.fraction_var) +
           spread_beta(d.departure[j], d.departure_mean, d.departure_var) +
           ref::log_normal(d.center[j][0], d.center_mean[0], d.center_var) +
           ref::log_normal(d.center[j][1], d.center_mean[1], d.center_var);
}

}  // namespace

TEST(Means, WorkedExampleBothWays)
{
    data d;
    model_fixture::make_state(d, {{}});
    set_shape(d, 0, 0, std::sqrt(2.0), 1, 0.25, 0.5);
    testing::internal::CaptureStdout();
    d.set_mu_from_params(0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    const class_means& m = d.mu[0];
    EXPECT_NEAR(m[0][0], 0.5, 1e-12);
    EXPECT_NEAR(m[0][1], -0.5, 1e-12);
    EXPECT_NEAR(m[1][0], -0.125, 1e-12);
    EXPECT_NEAR(m[1][1], 0.375, 1e-12);
    EXPECT_NEAR(m[2][0], -0.5, 1e-12);
    EXPECT_NEAR(m[2][1], 0.5, 1e-12);

    d.mu[0] = class_means{xy{0.5, -0.5}, xy{-0.125, 0.375}, xy{-0.5, 0.5}};
    set_shape(d, 9, 9, 9, 9, 0.9, 0.9);
    testing::internal::CaptureStdout();
    d.set_params_from_mu(0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_NEAR(d.length[0], std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(d.gradient[0], 1, 1e-12);
    EXPECT_NEAR(d.fraction[0], 0.25, 1e-12);
    EXPECT_NEAR(d.departure[0], 0.504, 1e-12);
    EXPECT_NEAR(d.center[0][0], 0, 1e-12);
    EXPECT_NEAR(d.center[0][1], 0, 1e-12);
}

TEST(Means, SpecialPositionsOfClassOne)
{
    data d;
    model_fixture::make_state(d, {{}});
    // fraction 0: the class-1 mean is the class-2 mean whatever the departure.
    for (double dep : {0.0, 0.3, 1.0}) {
        set_shape(d, 0.7, 0.6, 1.2, 0.8, 0, dep);
        d.set_mu_from_params(0);
        EXPECT_NEAR(d.mu[0][1][0], d.mu[0][2][0], 1e-12) << dep;
        EXPECT_NEAR(d.mu[0][1][1], d.mu[0][2][1], 1e-12) << dep;
    }
    // The segment runs with slope -gradient; departure 0 keeps class 1 on it at `fraction` from
    // the class-2 end, departure 1 puts it on the nearer box line and never beyond.
    const double gradients[] = {0.3, 0.8, 1.0, 1.7, 4.0};
    const double fractions[] = {0.1, 0.25, 0.5, 0.75, 0.95};
    for (double g : gradients)
        for (double f : fractions) {
            set_shape(d, 0.7, 0.6, 1.2, g, f, 0);
            d.set_mu_from_params(0);
            const class_means& m = d.mu[0];
            EXPECT_NEAR(m[0][1] - m[2][1], -g * (m[0][0] - m[2][0]), 1e-12);
            EXPECT_NEAR(std::hypot(m[0][0] - m[2][0], m[0][1] - m[2][1]), 1.2, 1e-12);
            EXPECT_NEAR(m[1][0], m[2][0] + f * (m[0][0] - m[2][0]), 1e-12) << g << " " << f;
            EXPECT_NEAR(m[1][1], m[2][1] + f * (m[0][1] - m[2][1]), 1e-12) << g << " " << f;

            set_shape(d, 0.7, 0.6, 1.2, g, f, 1);
            testing::internal::CaptureStdout();
            d.set_mu_from_params(0);
            EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << g << " " << f;
            const double to_horizontal = m[2][1] - m[1][1], to_vertical = m[0][0] - m[1][0];
            EXPECT_GE(to_horizontal, -1e-12);
            EXPECT_GE(to_vertical, -1e-12);
            EXPECT_NEAR(std::min(to_horizontal, to_vertical), 0, 1e-12) << g << " " << f;
            // Which line is reached: the horizontal one when 1/g > h/w at the foot point.
            const double px = m[2][0] + f * (m[0][0] - m[2][0]), py = m[2][1] + f * (m[0][1] - m[2][1]);
            const bool horizontal = 1 / g > (m[2][1] - py) / (m[0][0] - px);
            EXPECT_NEAR(horizontal ? to_horizontal : to_vertical, 0, 1e-12) << g << " " << f;
        }
    // At the tie h/w = 1/g both lines are reached at once.
    set_shape(d, 0, 0, std::sqrt(2.0), 1, 0.5, 1);
    d.set_mu_from_params(0);
    EXPECT_NEAR(d.mu[0][1][0], 0.5, 1e-12);
    EXPECT_NEAR(d.mu[0][1][1], 0.5, 1e-12);
}

TEST(Means, Warnings)
{
    data d;
    model_fixture::make_state(d, {{}});
    // departure 4 pushes class 1 to (0.75, 1.25), past the class-0 mean's first coordinate.
    set_shape(d, 0, 0, std::sqrt(2.0), 1, 0.25, 4);
    testing::internal::CaptureStdout();
    d.set_mu_from_params(0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "mu[j][1][0] > mu[j][0][0] in set_mu_from_params\n4\n0.5\n-0.5\n0.75\n1.25\n-0.5\n0.5\n");
    EXPECT_NEAR(d.mu[0][1][0], 0.75, 1e-12);   // kept as computed

    // Back from those means: q = 3 >= 1/g, so departure = (0.75 + 0.25 + 0.001) / 0.75 > 1.
    testing::internal::CaptureStdout();
    d.set_params_from_mu(0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "departure[j] > 1 in set_params_from_mu 0\n0.5\n-0.5\n0.75\n1.25\n-0.5\n0.5\n");
    EXPECT_NEAR(d.departure[0], 1.001 / 0.75, 1e-12);
}

TEST(Means, ShapePriorAgreesWithClosedForms)
{
    data d;
    model_fixture::make_state(d, {{xy{0.7, 0.7}}});
    set_shape(d, 0.71, 0.69, 1.05, 0.9, 0.45, 0.3);
    d.center_mean = {0.72, 0.68};
    d.center_var = 5e-4;
    d.gradient_mean = 1.1, d.gradient_var = 0.05;
    d.length_mean = 0.95, d.length_var = 0.03;
    d.fraction_mean = 0.52, d.fraction_var = 0.04;
    d.departure_mean = 0.25, d.departure_var = 0.06;
    EXPECT_NEAR(d.p_mu(0), shape_prior(d, 0), 1e-8);
    EXPECT_NEAR(d.p_mu(), shape_prior(d, 0) + shape_hyperprior(d), 1e-8);

    // Non-default hyperprior constants are honoured.
    d.gradient_mean_prior = {4, 3};
    d.length_var_prior = {2, 50};
    d.fraction_mean_prior = {10, 12};
    d.departure_var_prior = {2, 40};
    d.center_var_prior_mean = 0.0004;
    d.center_var_prior_df = 20;
    EXPECT_NEAR(d.p_mu(), shape_prior(d, 0) + shape_hyperprior(d), 1e-8);

    // Without cohorts only the eleven hyperprior terms remain.
    data none;
    model_fixture::make_state(none, {});
    EXPECT_NEAR(none.p_mu(), shape_hyperprior(none), 1e-8);
}
