#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>
#include <vector>

#include <boost/math/distributions/beta.hpp>

#include "../numeric/numeric_test_support.hpp"
#include "model_fixture.hpp"
#include "numeric/variates.hpp"

namespace {

namespace ref = model_fixture::reference;

constexpr double floor_share = 1e-6 / 1.000004;

// Lag-1 autocorrelation of a series.
double lag1_autocorrelation(const std::vector<double>& v)
{
    double mean = 0;
    for (double x : v) mean += x;
    mean /= static_cast<double>(v.size());
    double num = 0, den = 0;
    for (std::size_t i = 0; i < v.size(); ++i) {
        den += (v[i] - mean) * (v[i] - mean);
        if (i + 1 < v.size()) num += (v[i] - mean) * (v[i + 1] - mean);
    }
    return num / den;
}

// KS critical value at significance 0.001 for a thinned Markov chain: the sample size is
// reduced to its effective size under a first-order autoregression with the observed lag-1
// autocorrelation (never taken below 0).
double chain_ks_critical(const std::vector<double>& v)
{
    const double rho = std::max(0.0, lag1_autocorrelation(v));
    const double n_eff = static_cast<double>(v.size()) * (1 - rho) / (1 + rho);
    return 1.95 / std::sqrt(n_eff);
}

// Runs `burn` steps, then keeps the value after every `thin`-th of `kept * thin` further steps.
std::vector<double> run_chain(int burn, int thin, int kept, const std::function<void()>& step,
                              const std::function<double()>& value)
{
    for (int i = 0; i < burn; ++i) step();
    std::vector<double> out;
    out.reserve(static_cast<std::size_t>(kept));
    for (int i = 0; i < kept; ++i) {
        for (int t = 0; t < thin; ++t) step();
        out.push_back(value());
    }
    return out;
}

// Distribution function of a density known up to a constant on (lo, hi), by midpoint
// integration on n cells and linear interpolation within a cell.
class grid_cdf {
public:
    grid_cdf(const std::function<double(double)>& log_density, double lo, double hi, int n)
        : lo_(lo), width_((hi - lo) / n), cum_(static_cast<std::size_t>(n) + 1, 0.0)
    {
        std::vector<double> lf(static_cast<std::size_t>(n));
        double top = -INFINITY;
        for (int i = 0; i < n; ++i) top = std::max(top, lf[i] = log_density(lo + (i + 0.5) * width_));
        for (int i = 0; i < n; ++i) cum_[i + 1] = cum_[i] + std::exp(lf[i] - top);
        for (double& c : cum_) c /= cum_.back();
    }
    double operator()(double x) const
    {
        const double u = (x - lo_) / width_;
        if (u <= 0) return 0;
        const std::size_t i = static_cast<std::size_t>(u);
        if (i + 1 >= cum_.size()) return 1;
        return cum_[i] + (u - static_cast<double>(i)) * (cum_[i + 1] - cum_[i]);
    }

private:
    double lo_, width_;
    std::vector<double> cum_;
};

double beta_cdf(double x, double a, double b) { return boost::math::cdf(boost::math::beta_distribution<>(a, b), x); }

// Mean–spread Beta log density of x with mean m and variance m(1 - m)v.
double spread_beta(double x, double m, double v) { return ref::log_beta(x, m * (1 - v) / v, (1 - m) * (1 - v) / v); }

}  // namespace

TEST(Proportions, LambdaFloors)
{
    data d;
    model_fixture::make_state(d, {{}});
    d.sampling = false;
    d.N[0] = {0, 0, 0, 0};
    d.eta[0] = 0;
    d.alpha[0] = 0.5;
    d.update_lambda();
    const std::array<double, 4> l = d.lambda[0];
    const std::array<double, 4> near{0.25, 0.5, 0.25, 0};
    double sum = 0;
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(l[k], near[k], 1e-5) << k;
        EXPECT_GE(l[k], floor_share) << k;
        sum += l[k];
    }
    EXPECT_NEAR(sum, 1, 1e-15);
    // The posterior mean with the pseudo-counts, then the floor: exact values.
    const double dk[] = {2.5 + 1e-7, 5 + 1e-7, 2.5 + 1e-7, 1e-7};
    const double S = dk[0] + dk[1] + dk[2] + dk[3];
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(l[k], (dk[k] + 1e-6 * S) / (1.000004 * S), 1e-15) << k;

    // "-nonull": the null value is 1e-7 before the floor, whatever the counts and eta.
    d.nonull = true;
    d.N[0] = {7, 3, 2, 5};
    d.eta[0] = 0.2;
    d.update_lambda();
    const double dn[] = {7 + 1e-7 + 10 * 0.8 * 0.25, 3 + 1e-7 + 10 * 0.8 * 0.5, 2 + 1e-7 + 10 * 0.8 * 0.25, 1e-7};
    const double Sn = dn[0] + dn[1] + dn[2] + dn[3];
    EXPECT_NEAR(d.lambda[0][3], (1e-7 + 1e-6 * Sn) / (1.000004 * Sn), 1e-18);
    EXPECT_NEAR(d.lambda[0][3], 1e-6, 2e-8);

    // Sampling: the four Gamma draws in class order, then the same floor.
    for (bool nonull : {false, true}) {
        d.nonull = nonull;
        d.sampling = true;
        model_fixture::install_generator(0.777);
        d.update_lambda();
        model_fixture::install_generator(0.777);
        std::array<double, 4> g;
        for (int k = 0; k < 3; ++k) g[k] = rgamma(dn[k], 1.0);
        g[3] = rgamma(d.N[0][3] + 1e-7 + 10 * 0.2, 1.0);
        if (nonull) g[3] = 1e-7;
        const double Sg = g[0] + g[1] + g[2] + g[3];
        for (int k = 0; k < 4; ++k) {
            EXPECT_NEAR(d.lambda[0][k], (g[k] + 1e-6 * Sg) / (1.000004 * Sg), 1e-15) << nonull << " " << k;
            EXPECT_GE(d.lambda[0][k], floor_share);
        }
    }
}

TEST(Proportions, RatiosAreLogPosteriorChanges)
{
    data d;
    model_fixture::make_state(d, model_fixture::two_small_cohorts());
    d.lambda[1] = {0.2, 0.5, 0.25, 0.05};
    d.N[1] = {2, 1, 1, 1};
    d.alpha = {0.4, 0.55};
    d.alpha_star = 0.47;
    d.eta = {0.03, 0.06};
    // Autosomal, X mode with both sexes, X mode with males only in cohort 1.
    for (int mode = 0; mode < 3; ++mode) {
        if (mode == 1) model_fixture::set_sexes(d, {{1, 2, 2, 1, 0}, {2, 1, 1, 2, 2}});
        if (mode == 2) model_fixture::set_sexes(d, {{1, 2, 2, 1, 0}, {1, 1, 1, 1, 1}});
        for (int j = 0; j < 2; ++j) {
            for (double x : {0.01, 0.3, 0.5, 0.97}) {
                EXPECT_EQ(d.MH_alpha_density(j, x, x), 0.0) << mode << " " << j << " " << x;
                EXPECT_EQ(d.MH_eta_density(j, x * 0.5, x * 0.5), 0.0) << mode << " " << j << " " << x;
            }
            const double a = d.alpha[j], e = d.eta[j];
            const double before = d.log_posterior();
            ASSERT_TRUE(std::isfinite(before)) << mode;
            d.alpha[j] = 0.62;
            EXPECT_NEAR(d.MH_alpha_density(j, a, 0.62), d.log_posterior() - before, 1e-9) << mode << " " << j;
            d.alpha[j] = a;
            d.eta[j] = 0.011;
            EXPECT_NEAR(d.MH_eta_density(j, e, 0.011), d.log_posterior() - before, 1e-9) << mode << " " << j;
            d.eta[j] = e;
        }
    }
}

TEST(Proportions, XModeMalesOnlyCohortIsMended)
{
    // Cohort 0: males only, on the two homozygous clusters.
    data d;
    model_fixture::make_state(d, {{xy{1.05, 0.35}, xy{1.0, 0.3}, xy{0.36, 1.04}, xy{1.1, 0.4}, xy{0.3, 1.08}}});
    model_fixture::set_sexes(d, {{1, 1, 1, 1, 1}});
    d.update_calls();
    d.update_lambda();
    const double c = d.pgd, a = d.alpha[0], e = d.eta[0];
    // The heterozygous Dirichlet component (parameter 0) is absent.
    EXPECT_NEAR(d.p_lambda(0), ref::log_dirichlet_kernel(d.lambda[0], {c * (1 - e) * a, 0, c * (1 - e) * (1 - a), c * e}),
                1e-9);
    EXPECT_TRUE(std::isfinite(d.log_posterior()));

    std::set<double> alphas{d.alpha[0]}, etas{d.eta[0]};
    for (int it = 0; it < 300; ++it) {
        d.update_alpha();
        d.update_lambda();
        d.update_eta();
        d.update_calls();
        alphas.insert(d.alpha[0]);
        etas.insert(d.eta[0]);
        ASSERT_TRUE(std::isfinite(d.log_posterior())) << it;
        ASSERT_EQ(d.N[0][1], 0) << "a male was called heterozygous";
    }
    EXPECT_GT(d.accept_alpha, 30);
    EXPECT_GT(alphas.size(), 30u);
    EXPECT_GT(etas.size(), 30u);
}

TEST(Proportions, XModeUnknownSexesUseAutosomalWeights)
{
    data d;
    model_fixture::make_state(d, model_fixture::two_small_cohorts());
    d.lambda[0] = {0.2, 0.5, 0.25, 0.05};
    d.alpha[0] = 0.35;
    const double autosomal = d.p_lambda(0);
    const double ratio_alpha = d.MH_alpha_density(0, 0.35, 0.4);
    const double ratio_eta = d.MH_eta_density(0, 0.03, 0.05);
    d.sampling = false;
    d.update_lambda();
    const auto lambda_autosomal = d.lambda;

    model_fixture::set_sexes(d, {{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}});
    d.lambda[0] = {0.2, 0.5, 0.25, 0.05};
    EXPECT_EQ(d.p_lambda(0), autosomal);
    EXPECT_EQ(d.MH_alpha_density(0, 0.35, 0.4), ratio_alpha);
    EXPECT_EQ(d.MH_eta_density(0, 0.03, 0.05), ratio_eta);
    d.update_lambda();
    EXPECT_EQ(d.lambda, lambda_autosomal);

    // Females only are diploid too; males and females mix the haploid and diploid weights.
    model_fixture::set_sexes(d, {{2, 2, 2, 2, 2}, {0, 0, 0, 0, 0}});
    d.lambda[0] = {0.2, 0.5, 0.25, 0.05};
    EXPECT_EQ(d.p_lambda(0), autosomal);
    model_fixture::set_sexes(d, {{1, 2, 0, 2, 2}, {0, 0, 0, 0, 0}});
    const double M = 0.25, F = 0.75, al = 0.35, ce = d.pgd * (1 - d.eta[0]);
    EXPECT_NEAR(d.p_lambda(0),
                ref::log_dirichlet_kernel(d.lambda[0], {ce * (M * al + F * al * al), ce * 2 * F * al * (1 - al),
                                                        ce * (M * (1 - al) + F * (1 - al) * (1 - al)), d.pgd * d.eta[0]}),
                1e-9);
}

TEST(Proportions, MaximisingStepsNeverLowerTheLogPosterior)
{
    data d;
    model_fixture::make_state(d, model_fixture::two_small_cohorts());
    d.alpha = {0.2, 0.8};
    d.eta = {0.2, 0.01};
    d.sampling = false;
    double last = d.log_posterior();
    const double start = last;
    for (int it = 0; it < 200; ++it) {
        d.update_alpha();
        const double after_alpha = d.log_posterior();
        EXPECT_GE(after_alpha, last) << it;
        d.update_eta();
        last = d.log_posterior();
        EXPECT_GE(last, after_alpha) << it;
    }
    EXPECT_GT(last, start + 1);
    EXPECT_GT(d.accept_alpha, 0);
    EXPECT_GT(d.accept_eta, 0);
}

TEST(Proportions, ReferenceFrequencyTerm)
{
    // A flat allele-frequency prior (1, 1) enters as the observation 1/120.
    data d;
    model_fixture::make_state(d, {{xy{0.7, 0.7}}});
    d.alpha_prior = {1, 1};
    d.alpha[0] = 0.4;
    d.alpha_star = 0.3;
    d.log_posterior();
    EXPECT_NEAR(d.log_posterior_terms[3],
                spread_beta(0.4, 0.3, d.c_alpha_cohorts) + spread_beta(1.0 / 120, 0.3, d.c_alpha_prior_snp) +
                    ref::log_beta(0.3, 1, 1),
                1e-9);
}

TEST(Proportions, EtaHyperparametersSampleTheirHyperpriors)
{
    // Without cohorts the null-share hyperparameters see only their hyperpriors.
    data d;
    model_fixture::make_state(d, {});
    d.eta_mean = 0.5;
    d.eta_var = 0.5;
    // A broad proposal mixes fast and leans hardest on the Hastings correction of its asymmetry.
    d.proposal_k = 50;
    std::vector<double> vars;
    const std::vector<double> means = run_chain(
        500, 5, 3000, [&] { d.update_eta(); }, [&] {
            vars.push_back(d.eta_var);
            return d.eta_mean;
        });
    const auto mean_cdf = [](double x) { return beta_cdf(x, 3, 100); };
    const auto var_cdf = [](double x) { return beta_cdf(x, 5, 100); };
    EXPECT_LT(lag1_autocorrelation(means), 0.5);
    EXPECT_LT(ks_statistic(means, mean_cdf), chain_ks_critical(means));
    EXPECT_LT(ks_statistic(vars, var_cdf), chain_ks_critical(vars));
    EXPECT_GT(d.accept_eta, 0);

    // The same check rejects a slightly different target.
    const auto wrong_cdf = [](double x) { return beta_cdf(x, 3.5, 100); };
    EXPECT_GT(ks_statistic(means, wrong_cdf), chain_ks_critical(means));
}

TEST(Proportions, AlphaStarSamplesItsConditional)
{
    // One cohort with a fixed allele frequency: alpha_star alone moves, and its target is
    // Beta(alpha; A(s, V), B(s, V)) * Beta(f; A(s, W), B(s, W)) * Beta(s; 1, 1), f = 60/120.
    data d;
    model_fixture::make_state(d, {{}});
    d.alpha[0] = 0.3;
    d.alpha_star = 0.9;
    d.alpha_proposal_k = 100;
    const double V = d.c_alpha_cohorts, W = d.c_alpha_prior_snp, f = d.alpha_prior[0] / d.alpha_prior_strength;
    ASSERT_EQ(f, 0.5);
    const std::vector<double> sample =
        run_chain(500, 4, 4000, [&] { d.update_alpha_star(); }, [&] { return d.alpha_star; });
    const grid_cdf target(
        [&](double s) { return spread_beta(0.3, s, V) + spread_beta(f, s, W) + ref::log_beta(s, 1, 1); }, 0.001, 0.999,
        20000);
    EXPECT_LT(lag1_autocorrelation(sample), 0.5);
    EXPECT_LT(ks_statistic(sample, std::cref(target)), chain_ks_critical(sample));
    EXPECT_EQ(d.alpha[0], 0.3);

    // Leaving out the reference-frequency term is detected.
    const grid_cdf without_reference([&](double s) { return spread_beta(0.3, s, V) + ref::log_beta(s, 1, 1); }, 0.001,
                                     0.999, 20000);
    EXPECT_GT(ks_statistic(sample, std::cref(without_reference)), chain_ks_critical(sample));
}
