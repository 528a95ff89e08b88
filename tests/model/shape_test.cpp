#include <gtest/gtest.h>

#include <boost/math/distributions/beta.hpp>
#include <boost/math/distributions/gamma.hpp>
#include <cmath>
#include <string>
#include <vector>

#include "chain_check.hpp"
#include "model_fixture.hpp"
#include "numeric/strip_tables.hpp"
#include "numeric/variates.hpp"

namespace {

using namespace chain_check;

constexpr int burn_in = 1000, kept = 4000, thin = 10;

// One scalar shape family: its update, per-cohort values, hyperparameters and the counters of
// its cohort moves when sampling and when maximising (the hyperparameter moves always count
// in the sampling one).
struct shape_family {
    const char* name;
    void (data::*update)();
    std::vector<double> data::*values;
    double data::*mean;
    double data::*var;
    double data::*sampling_counter;
    double data::*maximising_counter;
    bool gamma;
};

const shape_family families[] = {
    {"fractions", &data::update_fractions, &data::fraction, &data::fraction_mean, &data::fraction_var,
     &data::accept_fraction, &data::accept_fraction, false},
    {"departures", &data::update_departures, &data::departure, &data::departure_mean, &data::departure_var,
     &data::accept_departure, &data::accept_departure, false},
    {"lengths", &data::update_lengths, &data::length, &data::length_mean, &data::length_var, &data::accept_length,
     &data::accept_mu, true},
    {"gradients", &data::update_gradients, &data::gradient, &data::gradient_mean, &data::gradient_var,
     &data::accept_gradient, &data::accept_mu, true},
};

double data::*const all_counters[] = {&data::accept_alpha,    &data::accept_alpha_star, &data::accept_eta,
                                       &data::accept_mu,       &data::accept_r,          &data::accept_sigma,
                                       &data::accept_varfrac,  &data::accept_fraction,   &data::accept_gradient,
                                       &data::accept_length,   &data::accept_departure,  &data::accept_global,
                                       &data::accept_center,   &data::accept_model};

moves_of_update moves_of(const shape_family& f)
{
    return {[f](const data& d) {
                std::vector<std::pair<int, std::vector<double>>> m;
                for (int j = 0; j < d.n_cohorts; ++j) m.push_back({j, {(d.*f.values)[j]}});
                return m;
            },
            [f](const data& d) { return std::vector<double>{d.*f.mean, d.*f.var}; }, f.maximising_counter,
            f.sampling_counter};
}

moves_of_update centre_moves()
{
    return {[](const data& d) {
                std::vector<std::pair<int, std::vector<double>>> m;
                for (int j = 0; j < d.n_cohorts; ++j) m.push_back({j, {d.center[j][0], d.center[j][1]}});
                return m;
            },
            [](const data&) { return std::vector<double>{}; }, &data::accept_center, nullptr};
}

}  // namespace

// Draws outside the support are moves to the same value. With null calls the likelihood is
// flat and the log ratio of such a move is exactly 0: sampling accepts and counts each one
// (n cohort moves and the two hyperparameter moves), maximising none; nothing changes.
TEST(Shape, OutOfRangeProposalsAreMovesToTheSameValue)
{
    for (bool sampling : {true, false})
        for (const shape_family& f : families) {
            data d;
            model_fixture::make_state(d, model_fixture::two_small_cohorts());
            call_all_null(d, 0);
            call_all_null(d, 1);
            d.sampling = sampling;
            // Gamma priors and proposals squeezed to 0, Beta ones to 1: every draw falls outside.
            const double edge = f.gamma ? 1e-12 : 1 - 1e-10;
            d.*f.mean = edge;
            d.*f.var = edge;
            const std::vector<double> before = d.*f.values;
            const std::vector<class_means> mu = d.mu;
            {
                model_fixture::quiet q;
                (d.*f.update)();
            }
            const std::string what = std::string(f.name) + (sampling ? " sampling" : " maximising");
            EXPECT_EQ(d.*f.values, before) << what;
            EXPECT_EQ(d.mu, mu) << what;
            EXPECT_EQ(d.*f.mean, edge) << what;
            EXPECT_EQ(d.*f.var, edge) << what;
            for (double data::*c : all_counters)
                EXPECT_EQ(d.*c, sampling && c == f.sampling_counter ? 4.0 : 0.0) << what;
        }
}

// Draws per cohort: one proposal from the current prior (two normals for a centre), then one
// uniform in a sampling phase, even when the likelihood rises; then the hyperparameters' own
// draws (a second normal pair and a chi-square for the centre, sampling only).
TEST(Shape, DrawOrderAndCount)
{
    for (bool sampling : {true, false}) {
        const std::string phase = sampling ? " sampling" : " maximising";
        const auto uniform = [sampling] {
            if (sampling) Uniform().Next();
        };
        for (const shape_family& f : families) {
            data d;
            model_fixture::make_state(d, model_fixture::two_small_cohorts());
            d.sampling = sampling;
            const double m = d.*f.mean, v = d.*f.var, k = d.proposal_k;
            expect_same_draws([&] { (d.*f.update)(); },
                              [&] {
                                  for (int j = 0; j < 2; ++j) {
                                      if (f.gamma)
                                          rgamma(m * m / v, m / v);
                                      else
                                          genbet(static_cast<float>(m * (1 - v) / v), static_cast<float>((1 - m) * (1 - v) / v));
                                      uniform();
                                  }
                                  for (double x : {m, v}) {
                                      if (f.gamma)
                                          rgamma(k * x, k);
                                      else
                                          genbet(static_cast<float>(k * x), static_cast<float>(k * (1 - x)));
                                      uniform();
                                  }
                              },
                              f.name + phase);
        }
        data d;
        model_fixture::make_state(d, model_fixture::two_small_cohorts());
        d.sampling = sampling;
        d.center = {xy{0.2, 0.2}, xy{0.2, 0.2}};   // far from the points: every proposal is better
        const double nu = d.center_var_prior_df + 4;
        expect_same_draws([&] { d.update_centers(); },
                          [&] {
                              Normal normal;
                              for (int j = 0; j < 2; ++j) {
                                  normal.Next();
                                  normal.Next();
                                  uniform();
                              }
                              if (!sampling) return;
                              Normal hyper_normal;
                              hyper_normal.Next();
                              hyper_normal.Next();
                              rgamma(nu / 2, 0.5);
                          },
                          "centers" + phase);
        EXPECT_EQ(d.accept_center, 2.0) << phase;
    }
}

// Maximising on sharply peaked data, from shapes slightly off: accepted cohort moves are
// exactly the counted ones (lengths and gradients in accept_mu, their hyperparameters in
// their own counters), rejected ones leave the parameter, the class means and every class
// likelihood bit for bit as before, and the log posterior never falls.
TEST(Shape, RejectedMovesRestoreParameterAndMeans)
{
    for (const shape_family& f : families) {
        data d;
        make_tight_state(d);
        // Departures move the heterozygous mean little: they start further off.
        const double off = f.values == &data::departure ? 0.5 : 0.93;
        for (int j = 0; j < 2; ++j) {
            (d.*f.values)[j] *= off;
            d.set_mu_from_params(j);
        }
        const auto [rejected, accepted] =
            check_maximising_moves(d, [&] { (d.*f.update)(); }, moves_of(f), 10, f.name);
        EXPECT_GT(rejected, 5) << f.name;
        EXPECT_GT(accepted, 0) << f.name;
    }
    data d;
    make_tight_state(d);
    d.center[0][0] += 0.01;
    d.set_mu_from_params(0);
    const auto [rejected, accepted] = check_maximising_moves(d, [&] { d.update_centers(); }, centre_moves(), 10, "centers");
    EXPECT_GT(rejected, 5);
    EXPECT_GT(accepted, 0);
}

// Sampling: the class means always match the shape parameters after every update.
TEST(Shape, MeansFollowTheParametersWhenSampling)
{
    data d;
    model_fixture::make_state(d, model_fixture::two_small_cohorts());
    model_fixture::quiet q;
    for (int it = 0; it < 20; ++it) {
        d.update_centers();
        d.update_fractions();
        d.update_lengths();
        d.update_gradients();
        d.update_departures();
        for (int j = 0; j < 2; ++j) {
            const class_means mu = d.mu[j];
            d.set_mu_from_params(j);
            EXPECT_EQ(mu, d.mu[j]) << "iteration " << it << " cohort " << j;
        }
    }
    EXPECT_GT(d.accept_center + d.accept_fraction + d.accept_length + d.accept_gradient + d.accept_departure, 0);
}

// One cohort, maximising: the centre mean becomes the cohort's centre and the centre variance
// the mode nu0*s0^2/(nu0 + 4) of its conditional distribution.
TEST(Shape, OneCohortCentreHyperparametersWhenMaximising)
{
    for (double df : {100.0, 7.0}) {
        data d;
        model_fixture::make_state(d, {model_fixture::two_small_cohorts()[0]});
        d.sampling = false;
        d.center_var_prior_df = df;
        d.center_var_prior_mean = 2.5e-4;
        d.update_centers();
        EXPECT_EQ(d.center_mean[0], d.center[0][0]);
        EXPECT_EQ(d.center_mean[1], d.center[0][1]);
        EXPECT_DOUBLE_EQ(d.center_var, df * 2.5e-4 / (df + 4));
    }
}

// "-names" in a maximising phase: every operation prints its name; an accepted cohort move of
// centres, fractions, lengths or gradients prints "accept" and then one line
// "old = <log posterior before> new = <log posterior after> mh = <log ratio>"; departures
// print no such lines.
TEST(Shape, MaximisingTraceLines)
{
    for (const shape_family& f : families) {
        data d;
        make_tight_state(d);
        d.n_cohorts = 1;
        d.sampling = false;
        // The cohort's value off and its prior tightly around the right one: the move is taken.
        const double right = (d.*f.values)[0];
        (d.*f.values)[0] = right * 0.9;
        d.set_mu_from_params(0);
        d.*f.mean = right;
        d.*f.var = 1e-4;
        const auto saved = std::cout.precision(10);
        const double before = d.log_posterior();
        d.print_names = true;
        testing::internal::CaptureStdout();
        (d.*f.update)();
        const std::vector<std::string> lines = lines_of(testing::internal::GetCapturedStdout());
        d.print_names = false;
        std::cout.precision(saved);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0], "update_" + std::string(f.name) + "()");
        ASSERT_NE((d.*f.values)[0], right * 0.9) << f.name << ": the cohort move was not taken";
        const bool traced = f.values != &data::departure;
        std::size_t a = 0;
        while (a < lines.size() && lines[a] != "accept") ++a;
        if (!traced) {
            EXPECT_EQ(a, lines.size()) << f.name;
            continue;
        }
        ASSERT_LT(a + 1, lines.size()) << f.name;
        const std::vector<std::string> v = labelled_values(lines[a + 1], {"old = ", " new = ", " mh = "});
        ASSERT_EQ(v.size(), 3u) << f.name << ", line after \"accept\": " << lines[a + 1];
        const double old_lp = std::stod(v[0]), new_lp = std::stod(v[1]), mh = std::stod(v[2]);
        EXPECT_NEAR(old_lp, before, 1e-9 * std::fabs(before)) << f.name;
        EXPECT_GT(mh, 0) << f.name;
        EXPECT_NEAR(new_lp - old_lp, mh, 1e-6 * (1 + std::fabs(mh))) << f.name;
    }
}

// update_fractions and update_lengths with one cohort whose individuals are all in the null
// class: the cohort moves (independence proposals from the prior) are always taken, and the
// chain of (value, mean, spread) targets the prior alone: the hyperparameters follow their
// hyperpriors exactly and the value its prior predictive.
TEST(ShapeChains, UpdatesWithoutDataFollowThePrior)
{
    for (const shape_family& f : {families[0], families[2]}) {
        data d;
        model_fixture::make_state(d, {{xy{0.7, 0.7}, xy{0.3, 1.0}}});
        call_all_null(d, 0);
        d.proposal_k = 30;
        if (f.gamma) {
            d.length_mean_prior = {20, 20};
            d.length_var_prior = {10, 200};
            d.length_mean = 1, d.length_var = 0.05;
        } else {
            d.fraction_var_prior = {2, 80};
            d.fraction_mean = 0.5, d.fraction_var = 2.0 / 82;
        }
        const prior_pair mp = f.gamma ? d.length_mean_prior : d.fraction_mean_prior;
        const prior_pair vp = f.gamma ? d.length_var_prior : d.fraction_var_prior;
        std::vector<std::vector<double>> chain;
        {
            model_fixture::quiet q;
            chain = run_chain([&] { (d.*f.update)(); },
                              {[&] { return (d.*f.values)[0]; }, [&] { return d.*f.mean; }, [&] { return d.*f.var; }},
                              burn_in, kept, thin);
        }
        const std::string name = f.name;
        if (f.gamma) {
            const boost::math::gamma_distribution<> m_prior(mp[0], 1 / mp[1]), v_prior(vp[0], 1 / vp[1]);
            const grid_cdf value_cdf = predictive_cdf(log_mean_variance_gamma,
                                                      [&](double p) { return boost::math::quantile(m_prior, p); },
                                                      [&](double p) { return boost::math::quantile(v_prior, p); }, 0, 4);
            expect_ks(chain[0], value_cdf, name + "_alone");
            expect_ks(chain[1], [&](double x) { return boost::math::cdf(m_prior, x); }, name + "_mean_alone");
            expect_ks(chain[2], [&](double x) { return boost::math::cdf(v_prior, x); }, name + "_var_alone");
        } else {
            const boost::math::beta_distribution<> m_prior(mp[0], mp[1]), v_prior(vp[0], vp[1]);
            const grid_cdf value_cdf = predictive_cdf(log_mean_spread_beta,
                                                      [&](double p) { return boost::math::quantile(m_prior, p); },
                                                      [&](double p) { return boost::math::quantile(v_prior, p); }, 0, 1);
            expect_ks(chain[0], value_cdf, name + "_alone");
            expect_ks(chain[1], [&](double x) { return boost::math::cdf(m_prior, x); }, name + "_mean_alone");
            expect_ks(chain[2], [&](double x) { return boost::math::cdf(v_prior, x); }, name + "_var_alone");
        }
    }
}
