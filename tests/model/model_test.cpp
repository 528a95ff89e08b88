// The model against closed forms: the log posterior term by term, the class means of a worked
// example, the genotype calls as posterior class probabilities (with the X-mode and no-null
// rules), the allele-frequency and null-share ratios as log-posterior changes, and the
// bookkeeping of moves whose proposal falls outside the support.
#include <gtest/gtest.h>

#include <boost/math/distributions/beta.hpp>
#include <boost/math/distributions/gamma.hpp>
#include <boost/math/distributions/inverse_chi_squared.hpp>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/special_functions/gamma.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <tuple>
#include <string>
#include <vector>

#include "model_state.hpp"

namespace {

namespace bm = boost::math;

double log_beta(double x, double a, double b) { return std::log(bm::pdf(bm::beta_distribution<>(a, b), x)); }
double log_gamma(double x, double shape, double rate) { return std::log(bm::pdf(bm::gamma_distribution<>(shape, 1 / rate), x)); }
double log_normal(double x, double mean, double var) { return std::log(bm::pdf(bm::normal_distribution<>(mean, std::sqrt(var)), x)); }
double spread_beta(double x, double m, double v) { return log_beta(x, m * (1 - v) / v, (1 - m) * (1 - v) / v); }
double moment_gamma(double x, double m, double v) { return log_gamma(x, m * m / v, m / v); }

// Log density of class k of cohort j at (x, y), the bivariate normal written out: class 0 has
// variances (s^2, t^2 s^2), class 1 (s^2, s^2), class 2 (t^2 s^2, s^2), correlation r; the null
// class is centred at (0.89, 0.89) with variance 100 on each axis. 2 pi as the model takes it.
double log_class_density(const data& d, int j, int k, double x, double y)
{
    const double s2 = d.sigma[j] * d.sigma[j], t2 = d.varfrac[j] * d.varfrac[j];
    const double vx = k == 3 ? 100 : k == 2 ? t2 * s2 : s2, vy = k == 3 ? 100 : k == 0 ? t2 * s2 : s2;
    const double rho = k == 3 ? 0 : d.r[j][k], mx = k == 3 ? 0.89 : d.mu[j][k][0], my = k == 3 ? 0.89 : d.mu[j][k][1];
    const double zx = (x - mx) / std::sqrt(vx), zy = (y - my) / std::sqrt(vy);
    return -std::log(6.283185308 * std::sqrt(vx * vy * (1 - rho * rho))) - (zx * zx - 2 * rho * zx * zy + zy * zy) / (2 * (1 - rho * rho));
}

// Distinct values of every parameter of two cohorts, with calls into all four classes.
void set_distinct_state(test_state& d)
{
    model_state::make_state(d, model_state::two_small_cohorts());
    d.calls = {{0, 0, 1, 2, 3}, {0, 1, 2, 2, 0}};
    for (int j = 0; j < 2; ++j) {
        d.N[j] = {0, 0, 0, 0};
        for (int c : d.calls[j]) d.N[j][c] += 1;
    }
    d.calls_changed();
    d.lambda = {{0.3, 0.4, 0.25, 0.05}, {0.2, 0.45, 0.3, 0.05}};
    d.alpha = {0.45, 0.6}, d.alpha_star = 0.52;
    d.eta = {0.02, 0.07}, d.eta_mean = 0.04, d.eta_var = 0.05;
    d.sigma = {0.08, 0.12}, d.varfrac = {0.6, 0.35};
    d.r = {{0.1, 0.5, 0.2}, {0.05, 0.3, 0.15}};
    d.r_mean = {0.03, 0.8, 0.05}, d.r_var = {0.02, 0.015, 0.03};
    d.sigma_mean = 0.2, d.sigma_var = 0.02, d.varfrac_mean = 0.3, d.varfrac_var = 0.02;
    d.center = {xy{0.71, 0.69}, xy{0.68, 0.72}};
    d.length = {1.02, 0.95}, d.gradient = {0.98, 1.1}, d.fraction = {0.48, 0.55}, d.departure = {0.15, 0.25};
    d.center_mean = {0.7, 0.71}, d.center_var = 4e-4;
    d.length_mean = 1.1, d.length_var = 0.03, d.gradient_mean = 0.9, d.gradient_var = 0.04;
    d.fraction_mean = 0.45, d.fraction_var = 0.03, d.departure_mean = 0.22, d.departure_var = 0.05;
    for (int j = 0; j < 2; ++j) d.set_mu_from_params(j);
}

}  // namespace

TEST(LogPosterior, EveryTermAgreesWithItsClosedForm)
{
    test_state d;
    set_distinct_state(d);
    std::array<double, 7> expected{};
    const double c = d.pgd;
    for (int j = 0; j < 2; ++j) {
        for (std::size_t i = 0; i < 5; ++i) {
            const xy& p = d.current.points[j][i];
            expected[0] += log_class_density(d, j, d.calls[j][i], p[0], p[1]);
        }
        const double a = d.alpha[j], e = d.eta[j];
        const double dir[] = {c * (1 - e) * a * a, c * (1 - e) * 2 * a * (1 - a), c * (1 - e) * (1 - a) * (1 - a), c * e};
        for (int k = 0; k < 4; ++k) {
            expected[1] += d.N[j][k] * std::log(d.lambda[j][k]);
            expected[2] += (dir[k] - 1) * std::log(d.lambda[j][k]) - bm::lgamma(dir[k]);
        }
        expected[3] += spread_beta(d.alpha[j], d.alpha_star, d.c_alpha_cohorts);
        expected[4] += spread_beta(d.eta[j], d.eta_mean, d.eta_var);
        expected[5] += moment_gamma(d.gradient[j], d.gradient_mean, d.gradient_var) +
                       moment_gamma(d.length[j], d.length_mean, d.length_var) +
                       spread_beta(d.fraction[j], d.fraction_mean, d.fraction_var) +
                       spread_beta(d.departure[j], d.departure_mean, d.departure_var) +
                       log_normal(d.center[j][0], d.center_mean[0], d.center_var) +
                       log_normal(d.center[j][1], d.center_mean[1], d.center_var);
        expected[6] += moment_gamma(d.sigma[j], d.sigma_mean, d.sigma_var) + spread_beta(d.varfrac[j], d.varfrac_mean, d.varfrac_var);
        for (int k = 0; k < 3; ++k) expected[6] += spread_beta(d.r[j][k], d.r_mean[k], d.r_var[k]);
    }
    expected[3] += spread_beta(60.0 / 120, d.alpha_star, 0.01);   // the reference frequency as one observation
    expected[4] += log_beta(d.eta_mean, 3, 100) + log_beta(d.eta_var, 5, 100);
    expected[5] += log_gamma(d.gradient_mean, 10, 10) + log_gamma(d.gradient_var, 1, 100) + log_gamma(d.length_mean, 20, 20) +
                   log_gamma(d.length_var, 1, 100) + log_beta(d.departure_mean, 2, 8) + log_beta(d.departure_var, 1, 100) +
                   log_beta(d.fraction_mean, 30, 30) + log_beta(d.fraction_var, 1, 100) + log_normal(d.center_mean[0], 1, 1000) +
                   log_normal(d.center_mean[1], 1, 1000) +
                   std::log(bm::pdf(bm::inverse_chi_squared_distribution<>(100, 0.0001), d.center_var));
    const double r_a[] = {1, 10, 1}, r_b[] = {50, 1, 50};
    for (int k = 0; k < 3; ++k) expected[6] += log_beta(d.r_mean[k], r_a[k], r_b[k]) + log_beta(d.r_var[k], 1, 100);
    expected[6] += log_gamma(d.sigma_mean, 1, 4) + log_gamma(d.sigma_var, 1, 100) + log_beta(d.varfrac_mean, 2.5, 7.5) +
                   log_beta(d.varfrac_var, 1, 100);
    for (int repeat = 0; repeat < 2; ++repeat) {   // terms are overwritten, never accumulated
        const double total = d.log_posterior();
        double sum = 0;
        for (int t = 0; t < 7; ++t) {
            EXPECT_NEAR(d.log_posterior_terms[t], expected[t], 1e-7 * (1 + std::fabs(expected[t]))) << "term " << t;
            sum += d.log_posterior_terms[t];
        }
        EXPECT_EQ(total, sum);
    }
    // Clumped, a clump counts its members at its cell corner: 2 x 2 cells over the range.
    d.approx_grid = 2, d.clumped = true;
    d.clump_data(d.current);
    for (auto& [x, column] : d.current.clumps[1])
        for (auto& [y, clump] : column) clump.call = 2;
    d.calls_changed();
    double clumped = 0;
    for (const auto& [x, column] : d.current.clumps[1])
        for (const auto& [row, clump] : column) clumped += clump.w * log_class_density(d, 1, 2, x, row.y);
    EXPECT_NEAR(d.log_posterior_X_given_K(2, 1), clumped, 1e-9 * std::fabs(clumped));
    EXPECT_EQ(d.log_posterior_X_given_K(0, 1), 0.0);
}

// Length sqrt 2, gradient 1, fraction 1/4, departure 1/2 about the origin: classes 0 and 2 at
// (1/2, -1/2) and (-1/2, 1/2), the foot of class 1 at (-1/4, 1/4), pushed half way along (1, 1)
// to the horizontal line through the class-2 mean. Back from the means, the departure comes
// out 0.504 (the 0.001 that keeps a mean on the segment at a positive departure).
TEST(Means, WorkedExampleBothWays)
{
    test_state d;
    model_state::make_state(d, {{}});
    d.center[0] = {0, 0}, d.length[0] = std::sqrt(2.0), d.gradient[0] = 1, d.fraction[0] = 0.25, d.departure[0] = 0.5;
    d.console.str("");
    d.set_mu_from_params(0);
    const double means[3][2] = {{0.5, -0.5}, {-0.125, 0.375}, {-0.5, 0.5}};
    for (int k = 0; k < 3; ++k)
        for (int c = 0; c < 2; ++c) EXPECT_NEAR(d.mu[0][k][c], means[k][c], 1e-12) << k << c;
    d.center[0] = {9, 9}, d.length[0] = d.gradient[0] = 9, d.fraction[0] = d.departure[0] = 0.9;
    d.set_params_from_mu(0);
    const double params[] = {d.center[0][0], d.center[0][1], d.length[0], d.gradient[0], d.fraction[0], d.departure[0]};
    const double expected[] = {0, 0, std::sqrt(2.0), 1, 0.25, 0.504};
    for (int p = 0; p < 6; ++p) EXPECT_NEAR(params[p], expected[p], 1e-12) << p;
    // Steep shape: the vertical line through the class-0 mean is reached first.
    d.center[0] = {0.7, 0.6}, d.length[0] = 1.2, d.gradient[0] = 4, d.fraction[0] = 0.5, d.departure[0] = 1;
    d.set_mu_from_params(0);
    EXPECT_NEAR(d.mu[0][1][0], d.mu[0][0][0], 1e-12);
    EXPECT_LT(d.mu[0][1][1], d.mu[0][2][1]);
    EXPECT_EQ(d.console.str(), "");
    // Departure 4 pushes class 1 to (0.75, 1.25), past the class-0 mean; back from those means
    // the departure is (0.75 + 0.25 + 0.001) / 0.75, above 1. Both are reported.
    d.center[0] = {0, 0}, d.length[0] = std::sqrt(2.0), d.gradient[0] = 1, d.fraction[0] = 0.25, d.departure[0] = 4;
    d.set_mu_from_params(0);
    d.set_params_from_mu(0);
    EXPECT_NEAR(d.departure[0], 1.001 / 0.75, 1e-12);
    EXPECT_EQ(d.console.str(), "mu[j][1][0] > mu[j][0][0] in set_mu_from_params\n4\n0.5\n-0.5\n0.75\n1.25\n-0.5\n0.5\n"
                             "departure[j] > 1 in set_params_from_mu 0\n0.5\n-0.5\n0.75\n1.25\n-0.5\n0.5\n");
}

// Class probabilities are lambda_k phi_k normalised; the maximising call is the most probable
// class (the lower one on a tie), the sampled calls follow the probabilities, counts follow
// the calls.
TEST(Calls, AreDrawnFromThePosteriorClassProbabilities)
{
    test_state d;
    set_distinct_state(d);
    d.current.points[0].back() = {3.0, 3.2};   // far from every cluster
    d.calls_changed();
    d.update_call_probs();
    for (int j = 0; j < 2; ++j)
        for (std::size_t i = 0; i < 5; ++i) {
            const xy& p = d.current.points[j][i];
            std::array<double, 4> w{};
            double total = 0;
            for (int k = 0; k < 4; ++k) total += w[k] = d.lambda[j][k] * std::exp(log_class_density(d, j, k, p[0], p[1]));
            for (int k = 0; k < 4; ++k) EXPECT_NEAR(d.call_probs[j][i][k], w[k] / total, 1e-9) << j << i << k;
        }
    d.sampling = false;
    d.update_calls();
    for (int j = 0; j < 2; ++j) {
        std::array<int, 4> n{};
        for (std::size_t i = 0; i < 5; ++i) {
            const auto& p = d.call_probs[j][i];
            EXPECT_EQ(d.calls[j][i], std::max_element(p.begin(), p.end()) - p.begin()) << j << i;
            n[d.calls[j][i]] += 1;
        }
        EXPECT_EQ(d.N[j], n);
    }
    EXPECT_EQ(d.calls[0][4], 3);
    // One point between classes 0 and 1, drawn many times.
    model_state::make_state(d, {{xy{0.9, 0.55}}});
    d.sigma[0] = 0.3;
    d.update_call_probs();
    const std::array<double, 4> p = d.call_probs[0][0];
    std::array<int, 4> seen{};
    const int n = 20000;
    for (int rep = 0; rep < n; ++rep) {
        d.update_calls();
        seen[d.calls[0][0]] += 1;
        ASSERT_EQ(d.N[0][d.calls[0][0]], 1);
    }
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(seen[k], n * p[k], 4 * std::sqrt(n * p[k] * (1 - p[k])) + 1) << k;
    // Classes 0 and 2 mirrored about the diagonal with equal proportions: a point on it ties.
    model_state::make_state(d, {{xy{0.5, 0.5}}});
    d.mu[0] = class_means{xy{1, 0}, xy{5, 5}, xy{0, 1}};
    d.sigma[0] = 0.5, d.r[0] = {0.2, 0.2, 0.2};
    d.lambda[0] = {0.45, 0.1, 0.45, 1e-12};
    d.sampling = false;
    d.update_calls();
    EXPECT_EQ(d.call_probs[0][0][0], d.call_probs[0][0][2]);
    EXPECT_EQ(d.calls[0][0], 0);
    d.lambda[0][2] = 0.4500001;
    d.update_calls();
    EXPECT_EQ(d.calls[0][0], 2);
}

// Without the null class nobody is called null; in X mode a male is never heterozygous (an
// all-male clump neither), unless -allow_male_hets, which gives the autosomal probabilities.
TEST(Calls, ClosedClasses)
{
    test_state d;
    model_state::make_state(d, {{xy{0, 0}}});
    const xy het = d.mu[0][1];
    model_state::make_state(d, {{het, het, het, het, xy{3, 3}}});
    model_state::set_sexes(d, {{1, 2, 0, 1, 2}});
    d.sampling = false;
    d.update_calls();
    EXPECT_EQ(d.calls[0], (std::vector<int>{3, 1, 1, 3, 3}));
    for (int rep = 0; rep < 200; ++rep) {
        d.sampling = rep % 2 == 0;
        d.nonull = rep >= 100;
        d.update_calls();
        for (std::size_t i = 0; i < 5; ++i) {
            if (d.point_sex[0][i] == 1) {
                ASSERT_NE(d.calls[0][i], 1) << i;
            }
            if (d.nonull) {
                ASSERT_LT(d.call_probs[0][i][3], 1e-300) << i;
            }
        }
    }
    d.nonull = false;
    d.allow_male_hets = true;
    d.update_call_probs();
    const auto with_option = d.call_probs;
    EXPECT_GT(with_option[0][0][1], 0.5);
    d.chrX = false;
    d.update_call_probs();
    EXPECT_EQ(d.call_probs, with_option);
    // Cells of 0.25 over [0, 1]: two males share the cell at (0.5, 0.5), a male and a female
    // the one at (0.75, 0.75), in clumps of their own.
    test_state e;
    model_state::make_state(e, {{xy{0, 0}, xy{1, 1}, xy{0.55, 0.55}, xy{0.6, 0.6}, xy{0.8, 0.8}, xy{0.85, 0.8}}});
    model_state::set_sexes(e, {{2, 2, 1, 1, 1, 2}});
    e.approx_grid = 4, e.clumped = true, e.sampling = false;
    e.clump_data(e.current);
    e.update_calls();
    std::vector<std::tuple<double, bool, int>> clumps;   // cell corner x, male, members
    for (const auto& [x, column] : e.current.clumps[0])
        for (const auto& [row, c] : column) {
            clumps.emplace_back(x, row.male, c.w);
            if (row.male) EXPECT_LT(c.probs[1], 1e-300);
            else EXPECT_GT(c.probs[1], 1e-300);
        }
    EXPECT_EQ(clumps, (std::vector<std::tuple<double, bool, int>>{{0, false, 1}, {0.5, true, 2}, {0.75, false, 1}, {0.75, true, 1}, {1, false, 1}}));
}

// The ratios the allele-frequency and null-share moves are judged by are the changes of the
// log posterior, autosomal and in X mode (males and females; a cohort of males only, whose
// heterozygote has no prior weight; a cohort of unknown sexes, taken as diploid).
TEST(Proportions, RatiosAreLogPosteriorChanges)
{
    const std::vector<int> second_cohort[] = {{}, {1, 1, 1, 1, 2}, {1, 1, 1, 1, 1}, {0, 0, 0, 0, 0}};
    for (int mode = 0; mode < 4; ++mode) {
        test_state d;
        set_distinct_state(d);
        if (mode > 0) model_state::set_sexes(d, {{1, 2, 1, 2, 0}, second_cohort[mode]});
        if (mode == 2) d.lambda[1] = {0.5, 0.01, 0.44, 0.05};
        for (int j = 0; j < 2; ++j)
            for (const auto& [from, to] : {std::pair<double, double>{0.45, 0.31}, {0.6, 0.62}}) {
                const auto change = [&](std::vector<double>& v, double x0, double x1) {
                    const double keep = v[j];
                    v[j] = x0;
                    const double lp0 = d.log_posterior();
                    v[j] = x1;
                    const double lp1 = d.log_posterior();
                    v[j] = keep;
                    return lp1 - lp0;
                };
                const std::string what = "mode " + std::to_string(mode) + " cohort " + std::to_string(j);
                EXPECT_NEAR(d.MH_alpha_density(j, from, to), change(d.alpha, from, to), 1e-9) << what;
                EXPECT_NEAR(d.MH_eta_density(j, from / 10, to / 10), change(d.eta, from / 10, to / 10), 1e-9) << what;
                EXPECT_EQ(d.MH_alpha_density(j, from, from), 0.0) << what;
                EXPECT_EQ(d.MH_eta_density(j, from / 10, from / 10), 0.0) << what;
            }
        // update_lambda when maximising: the Dirichlet posterior mean, floored near 1e-6.
        d.sampling = false;
        d.N[1] = {0, 0, 0, 0};
        d.update_lambda();
        const double a = d.alpha[1], e = d.eta[1], M = mode == 2 ? 1 : mode == 1 ? 0.8 : 0, F = 1 - M;   // shares of males and females
        const double w[] = {M * a + F * a * a, 2 * F * a * (1 - a), M * (1 - a) + F * (1 - a) * (1 - a)};
        const double dk[] = {10 * (1 - e) * w[0] + 1e-7, 10 * (1 - e) * w[1] + 1e-7, 10 * (1 - e) * w[2] + 1e-7, 10 * e + 1e-7};
        const double S = dk[0] + dk[1] + dk[2] + dk[3];
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(d.lambda[1][k], (dk[k] + 1e-6 * S) / (1.000004 * S), 1e-15) << mode << k;
    }
}

// A proposal outside the support is a move to the same value: its log ratio is exactly 0,
// whatever the likelihood, so a sampling phase accepts and counts it, a maximising phase never.
TEST(Proposals, OutOfSupportMovesChangeNothing)
{
    struct row {
        const char* update;
        void (data::*run)();
        std::function<void(test_state&)> squeeze;   // hyperparameters and values at the edge
        std::function<double(const data&)> counted;
        int moves;                            // per cohort move and hyperparameter, two cohorts
    };
    const double low = 1e-12, high = 1 - 1e-10;
    const row rows[] = {
        {"fractions", &data::update_fractions, [&](test_state& d) { d.fraction_mean = d.fraction_var = high; }, [](const data& d) { return d.accept_fraction; }, 4},
        {"lengths", &data::update_lengths, [&](test_state& d) { d.length_mean = d.length_var = low; }, [](const data& d) { return d.accept_length + d.accept_mu; }, 4},
        {"sigma", &data::update_sigma, [&](test_state& d) { d.sigma = {low, low}, d.sigma_mean = d.sigma_var = low; }, [](const data& d) { return d.accept_sigma; }, 4},
        {"varfrac", &data::update_varfrac, [&](test_state& d) { d.varfrac = {high, high}, d.varfrac_mean = d.varfrac_var = high; }, [](const data& d) { return d.accept_varfrac; }, 4},
        {"r", &data::update_r, [&](test_state& d) { d.r = {{high, high, high}, {high, high, high}}, d.r_mean = d.r_var = {high, high, high}; }, [](const data& d) { return d.accept_r; }, 12},
    };
    for (const row& r : rows)
        for (bool flat : {true, false})
            for (bool sampling : {true, false}) {
                test_state d;
                model_state::make_state(d, model_state::two_small_cohorts());
                if (flat) model_state::call_all_null(d, 0), model_state::call_all_null(d, 1);
                r.squeeze(d);
                d.sampling = sampling;
                const std::vector<class_means> mu = d.mu;
                for (int repeat = 0; repeat < 20; ++repeat) (d.*r.run)();
                EXPECT_EQ(r.counted(d), sampling ? 20 * r.moves : 0) << r.update << (flat ? " flat" : "") << (sampling ? " sampling" : " maximising");
                EXPECT_EQ(d.mu, mu) << r.update;
            }
}
