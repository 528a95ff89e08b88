#include <gtest/gtest.h>

#include <boost/math/distributions/beta.hpp>
#include <boost/math/distributions/gamma.hpp>
#include <cmath>
#include <string>
#include <vector>

#include "chain_check.hpp"
#include "model_fixture.hpp"
#include "numeric/variates.hpp"

namespace {

using namespace chain_check;
namespace ref = model_fixture::reference;

// The per-cohort value and its mean are tightly tied, so the chains are thinned widely.
constexpr int burn_in = 1000, kept = 3000, thin = 25;

// The per-cohort moves and hyperparameters of update_sigma and update_varfrac.
moves_of_update moves_of(std::vector<double> data::*values, double data::*mean, double data::*var, double data::*counter)
{
    return {[values](const data& d) {
                std::vector<std::pair<int, std::vector<double>>> m;
                for (int j = 0; j < d.n_cohorts; ++j) m.push_back({j, {(d.*values)[j]}});
                return m;
            },
            [mean, var](const data& d) { return std::vector<double>{d.*mean, d.*var}; }, counter, counter};
}

}  // namespace

// update_sigma with one cohort whose individuals are all in the null class: the chain of
// (sigma, sigma_mean, sigma_var) then targets the prior alone, so the two hyperparameters
// follow their Gamma hyperpriors exactly and sigma its prior predictive.
TEST(CovarianceChains, UpdateSigmaWithoutDataFollowsThePrior)
{
    data d;
    model_fixture::make_state(d, {{xy{0.7, 0.7}, xy{0.3, 1.0}}});
    call_all_null(d, 0);
    d.proposal_k = 20;
    d.sigma_mean_prior = {10, 10};
    d.sigma_var_prior = {10, 50};
    d.sigma_mean = 1, d.sigma_var = 0.2, d.sigma[0] = 1;
    const auto chain = run_chain([&] { d.update_sigma(); }, {[&] { return d.sigma[0]; }, [&] { return d.sigma_mean; },
                                                             [&] { return d.sigma_var; }},
                                 burn_in, kept, thin);
    const boost::math::gamma_distribution<> m_prior(10, 1.0 / 10), v_prior(10, 1.0 / 50);
    const grid_cdf sigma_cdf = predictive_cdf(log_mean_variance_gamma, [&](double p) { return boost::math::quantile(m_prior, p); },
                                              [&](double p) { return boost::math::quantile(v_prior, p); }, 0, 6);
    expect_ks(chain[0], sigma_cdf, "sigma_alone");
    expect_ks(chain[1], [&](double x) { return boost::math::cdf(m_prior, x); }, "sigma_mean_alone");
    expect_ks(chain[2], [&](double x) { return boost::math::cdf(v_prior, x); }, "sigma_var_alone");
}

// The same for update_varfrac, whose moves are Beta random walks.
TEST(CovarianceChains, UpdateVarfracWithoutDataFollowsThePrior)
{
    data d;
    model_fixture::make_state(d, {{xy{0.7, 0.7}, xy{0.3, 1.0}}});
    call_all_null(d, 0);
    d.proposal_k = 30;
    d.varfrac_var_prior = {2, 80};
    d.varfrac_mean = 0.25, d.varfrac_var = 2.0 / 82, d.varfrac[0] = 0.25;
    const auto chain = run_chain([&] { d.update_varfrac(); }, {[&] { return d.varfrac[0]; }, [&] { return d.varfrac_mean; },
                                                               [&] { return d.varfrac_var; }},
                                 burn_in, kept, thin);
    const boost::math::beta_distribution<> m_prior(d.varfrac_mean_prior[0], d.varfrac_mean_prior[1]);
    const boost::math::beta_distribution<> v_prior(d.varfrac_var_prior[0], d.varfrac_var_prior[1]);
    const grid_cdf varfrac_cdf = predictive_cdf(log_mean_spread_beta, [&](double p) { return boost::math::quantile(m_prior, p); },
                                                [&](double p) { return boost::math::quantile(v_prior, p); }, 0, 1);
    expect_ks(chain[0], varfrac_cdf, "varfrac_alone");
    expect_ks(chain[1], [&](double x) { return boost::math::cdf(m_prior, x); }, "varfrac_mean_alone");
    expect_ks(chain[2], [&](double x) { return boost::math::cdf(v_prior, x); }, "varfrac_var_alone");
}

// Draws outside the support are moves to the same value: with the likelihood flat (null
// calls) their log ratio is exactly 0, so sampling accepts and counts every one of them and
// maximising none; no value changes.
TEST(Covariance, OutOfRangeProposalsAreMovesToTheSameValue)
{
    for (bool sampling : {true, false}) {
        data d;
        model_fixture::make_state(d, model_fixture::two_small_cohorts());
        call_all_null(d, 0);
        call_all_null(d, 1);
        d.sampling = sampling;
        // Gamma proposals from values near 0 and Beta proposals from values near 1 fall outside.
        const double tiny = 1e-12, near_one = 1 - 1e-10;
        d.sigma = {tiny, tiny};
        d.sigma_mean = tiny, d.sigma_var = tiny;
        d.varfrac = {near_one, near_one};
        d.varfrac_mean = near_one, d.varfrac_var = near_one;
        const double n = sampling ? 1 : 0;
        d.update_sigma();
        d.update_varfrac();
        EXPECT_EQ(d.accept_sigma, 4 * n);
        EXPECT_EQ(d.accept_varfrac, 4 * n);
        for (double s : d.sigma) EXPECT_EQ(s, tiny);
        for (double t : d.varfrac) EXPECT_EQ(t, near_one);
        EXPECT_EQ(d.sigma_mean, tiny);
        EXPECT_EQ(d.sigma_var, tiny);
        EXPECT_EQ(d.varfrac_mean, near_one);
        EXPECT_EQ(d.varfrac_var, near_one);
        for (double data::*other : {&data::accept_r, &data::accept_mu, &data::accept_length, &data::accept_fraction})
            EXPECT_EQ(d.*other, 0.0);
    }
}

// Per cohort one proposal draw (Gamma of shape kappa*x and rate kappa for sigma, Beta with
// offsets for varfrac), then the mean's and the spread's; a uniform after each in a sampling
// phase, even for a positive log ratio, and none when maximising.
TEST(Covariance, DrawOrderAndCount)
{
    for (bool sampling : {true, false}) {
        data d;
        model_fixture::make_state(d, model_fixture::two_small_cohorts());
        d.sampling = sampling;
        d.sigma[0] = 0.5;   // far too broad for the points: most proposals raise the log ratio
        const double k = d.proposal_k;
        const std::vector<double> s = d.sigma, t = d.varfrac;
        const double sm = d.sigma_mean, sv = d.sigma_var, tm = d.varfrac_mean, tv = d.varfrac_var;
        const auto uniform = [sampling] {
            if (sampling) Uniform().Next();
        };
        const auto gamma_step = [&](double x) {
            rgamma(k * x, k);
            uniform();
        };
        const auto beta_step = [&](double x) {
            genbet(static_cast<float>(k * x + 1e-8), static_cast<float>(k * (1 - x) + 1e-8));
            uniform();
        };
        const std::string phase = sampling ? " sampling" : " maximising";
        expect_same_draws([&] { d.update_sigma(); },
                          [&] {
                              for (double x : {s[0], s[1], sm, sv}) gamma_step(x);
                          },
                          "update_sigma" + phase);
        expect_same_draws([&] { d.update_varfrac(); },
                          [&] {
                              for (double x : {t[0], t[1], tm, tv}) beta_step(x);
                          },
                          "update_varfrac" + phase);
    }
}

// Maximising on sharply peaked data: rejected moves leave sigma or varfrac bit for bit as
// they were, so the likelihood the next cohort and the next update see is the old one.
TEST(Covariance, RejectedMovesRestoreTheOldValue)
{
    for (bool varfrac : {false, true}) {
        data d;
        make_tight_state(d);
        const auto m = varfrac ? moves_of(&data::varfrac, &data::varfrac_mean, &data::varfrac_var, &data::accept_varfrac)
                               : moves_of(&data::sigma, &data::sigma_mean, &data::sigma_var, &data::accept_sigma);
        const auto [rejected, accepted] = check_maximising_moves(
            d, [&] { varfrac ? d.update_varfrac() : d.update_sigma(); }, m, 10, varfrac ? "varfrac" : "sigma");
        EXPECT_GT(rejected, 5);
        EXPECT_GT(accepted, 0);
    }
}

// "-pr": every cohort's sigma move prints "log-mh = <d>" and then, when sampling, "accept " or
// "reject "; when maximising only a rejection prints "reject ". A varfrac move prints the
// proposed and the old value. The hyperparameter moves print nothing.
TEST(Covariance, ProposalTraces)
{
    for (bool sampling : {true, false}) {
        data d;
        model_fixture::make_state(d, model_fixture::two_small_cohorts());
        d.sampling = sampling;
        d.print_proposals = true;
        const auto saved = std::cout.precision(17);
        const std::vector<double> s = d.sigma, t = d.varfrac;
        testing::internal::CaptureStdout();
        d.update_sigma();
        const std::vector<std::string> sigma_lines = lines_of(testing::internal::GetCapturedStdout());
        testing::internal::CaptureStdout();
        d.update_varfrac();
        const std::vector<std::string> varfrac_lines = lines_of(testing::internal::GetCapturedStdout());
        std::cout.precision(saved);

        std::size_t i = 0;
        for (int j = 0; j < 2; ++j) {
            ASSERT_LT(i, sigma_lines.size());
            EXPECT_EQ(labelled_values(sigma_lines[i], {"log-mh = "}).size(), 1u) << sigma_lines[i];
            ++i;
            const bool moved = d.sigma[j] != s[j];
            if (sampling || !moved) {
                ASSERT_LT(i, sigma_lines.size());
                EXPECT_EQ(sigma_lines[i], moved ? "accept " : "reject ");
                ++i;
            }
        }
        EXPECT_EQ(i, sigma_lines.size());

        ASSERT_EQ(varfrac_lines.size(), 2u);
        for (int j = 0; j < 2; ++j) {
            const std::vector<std::string> v = labelled_values(varfrac_lines[j], {"", " "});
            ASSERT_EQ(v.size(), 2u) << varfrac_lines[j];
            EXPECT_EQ(std::stod(v[1]), t[j]);
            if (d.varfrac[j] != t[j]) {
                EXPECT_EQ(std::stod(v[0]), d.varfrac[j]);
            }
        }
    }
}

// p_Var against independent densities; with no cohorts it is the ten hyperprior terms alone.
TEST(Covariance, CovariancePriorAgreesWithClosedForms)
{
    data d;
    model_fixture::make_state(d, model_fixture::two_small_cohorts());
    d.sigma = {0.12, 0.3};
    d.varfrac = {0.4, 0.2};
    d.r[1] = {0.1, 0.8, 0.3};
    double hyper = 0;
    for (int k = 0; k < 3; ++k)
        hyper += ref::log_beta(d.r_mean[k], d.r_mean_prior.a[k], d.r_mean_prior.b[k]) +
                 ref::log_beta(d.r_var[k], d.r_var_prior.a[k], d.r_var_prior.b[k]);
    hyper += ref::log_gamma(d.sigma_mean, d.sigma_mean_prior[0], d.sigma_mean_prior[1]) +
             ref::log_gamma(d.sigma_var, d.sigma_var_prior[0], d.sigma_var_prior[1]) +
             ref::log_beta(d.varfrac_mean, d.varfrac_mean_prior[0], d.varfrac_mean_prior[1]) +
             ref::log_beta(d.varfrac_var, d.varfrac_var_prior[0], d.varfrac_var_prior[1]);
    double cohorts = 0;
    for (int j = 0; j < 2; ++j) {
        const double sm = d.sigma_mean, sv = d.sigma_var;
        cohorts += ref::log_gamma(d.sigma[j], sm * sm / sv, sm / sv);
        const double tm = d.varfrac_mean, tv = d.varfrac_var;
        cohorts += ref::log_beta(d.varfrac[j], tm * (1 - tv) / tv, (1 - tm) * (1 - tv) / tv);
        for (int k = 0; k < 3; ++k) {
            const double m = d.r_mean[k], v = d.r_var[k];
            cohorts += ref::log_beta(d.r[j][k], m * (1 - v) / v, (1 - m) * (1 - v) / v);
        }
    }
    EXPECT_NEAR(d.p_Var(), hyper + cohorts, 1e-9 * std::fabs(hyper + cohorts));
    d.n_cohorts = 0;
    EXPECT_NEAR(d.p_Var(), hyper, 1e-9 * std::fabs(hyper));
}
