#include <gtest/gtest.h>

#include <boost/math/distributions/beta.hpp>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "chain_check.hpp"
#include "model/hierarchy.hpp"
#include "model/proposal.hpp"
#include "model_fixture.hpp"
#include "numeric/variates.hpp"

namespace {

using namespace chain_check;

constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();

// One hyperparameter whose chain is checked with every governed value held fixed; its target
// is the hyperprior times the priors of the three cohorts' values.
struct hyper_case {
    const char* name;
    std::function<void(data&)> update;
    double data::*x;                  // the hyperparameter moved
    double data::*other;              // its partner, held fixed
    std::vector<double> data::*values;
    prior_pair data::*hyperprior;
    bool gamma;                       // mean–variance Gamma family (else mean–spread Beta)
    bool is_mean;
    double kappa;                     // proposal concentration ("-pk")
    double start, other_value;
    std::array<double, 3> governed;
    double hi;                        // upper end of the target's grid
};

double family_prior(bool gamma, double y, double m, double v)
{
    return gamma ? log_mean_variance_gamma(y, m, v) : log_mean_spread_beta(y, m, v);
}

const std::vector<hyper_case>& hyper_cases()
{
    using d_ = data;
    static const std::vector<hyper_case> cases = {
        {"fraction_mean", &d_::update_fraction_mean, &d_::fraction_mean, &d_::fraction_var, &d_::fraction, &d_::fraction_mean_prior, false, true, 100, 0.5, 0.02, {0.45, 0.52, 0.6}, 1},
        {"fraction_var", &d_::update_fraction_var, &d_::fraction_var, &d_::fraction_mean, &d_::fraction, &d_::fraction_var_prior, false, false, 50, 0.02, 0.5, {0.45, 0.52, 0.6}, 1},
        {"departure_mean", &d_::update_departure_mean, &d_::departure_mean, &d_::departure_var, &d_::departure, &d_::departure_mean_prior, false, true, 50, 0.2, 0.05, {0.15, 0.25, 0.3}, 1},
        {"departure_var", &d_::update_departure_var, &d_::departure_var, &d_::departure_mean, &d_::departure, &d_::departure_var_prior, false, false, 50, 0.05, 0.2, {0.15, 0.25, 0.3}, 1},
        {"length_mean", &d_::update_length_mean, &d_::length_mean, &d_::length_var, &d_::length, &d_::length_mean_prior, true, true, 200, 1, 0.02, {0.9, 1.0, 1.2}, 3},
        {"length_var", &d_::update_length_var, &d_::length_var, &d_::length_mean, &d_::length, &d_::length_var_prior, true, false, 50, 0.02, 1, {0.9, 1.0, 1.2}, 0.6},
        {"gradient_mean", &d_::update_gradient_mean, &d_::gradient_mean, &d_::gradient_var, &d_::gradient, &d_::gradient_mean_prior, true, true, 100, 1, 0.05, {0.8, 1.1, 1.3}, 3},
        {"gradient_var", &d_::update_gradient_var, &d_::gradient_var, &d_::gradient_mean, &d_::gradient, &d_::gradient_var_prior, true, false, 50, 0.05, 1, {0.8, 1.1, 1.3}, 0.8},
        {"sigma_mean", [](data& d) { update_hyperparameter(d, family::sigma, hyper_role::mean, 0); }, &d_::sigma_mean, &d_::sigma_var, &d_::sigma, &d_::sigma_mean_prior, true, true, 100, 0.25, 0.01, {0.2, 0.25, 0.35}, 2},
        {"sigma_var", [](data& d) { update_hyperparameter(d, family::sigma, hyper_role::var, 0); }, &d_::sigma_var, &d_::sigma_mean, &d_::sigma, &d_::sigma_var_prior, true, false, 50, 0.01, 0.25, {0.2, 0.25, 0.35}, 0.4},
        {"varfrac_mean", [](data& d) { update_hyperparameter(d, family::varfrac, hyper_role::mean, 0); }, &d_::varfrac_mean, &d_::varfrac_var, &d_::varfrac, &d_::varfrac_mean_prior, false, true, 100, 0.25, 0.02, {0.2, 0.3, 0.25}, 1},
        {"varfrac_var", [](data& d) { update_hyperparameter(d, family::varfrac, hyper_role::var, 0); }, &d_::varfrac_var, &d_::varfrac_mean, &d_::varfrac, &d_::varfrac_var_prior, false, false, 50, 0.02, 0.25, {0.2, 0.3, 0.25}, 1},
    };
    return cases;
}

// A state of three cohorts (one point each; the hyperparameter updates never look at points).
void make_three_cohorts(data& d)
{
    model_fixture::make_state(d, {{xy{0.7, 0.7}}, {xy{0.7, 0.7}}, {xy{0.7, 0.7}}});
}

constexpr int burn_in = 1000, kept = 4000, thin = 10;

}  // namespace

// The shared pieces: which values a proposal may move to, the acceptance rule and its draws,
// and the Hastings correction of each proposal kind.
TEST(HyperProposal, SupportAcceptanceAndHastings)
{
    const double lo = 1e-8, hi = 0.99999999;
    for (proposal_kind kind : {proposal_kind::beta_offset, proposal_kind::beta_plain, proposal_kind::gamma}) {
        const bool beta = kind != proposal_kind::gamma;
        EXPECT_FALSE(inside_support(kind, lo));
        EXPECT_TRUE(inside_support(kind, std::nextafter(lo, 1.0)));
        EXPECT_TRUE(inside_support(kind, 0.5));
        EXPECT_EQ(inside_support(kind, hi), !beta);
        EXPECT_TRUE(inside_support(kind, std::nextafter(hi, 0.0)));
        EXPECT_EQ(inside_support(kind, 1.0), !beta);
        EXPECT_EQ(inside_support(kind, 1e6), !beta);
        EXPECT_FALSE(inside_support(kind, 0.0));
        EXPECT_FALSE(inside_support(kind, -1.0));
        EXPECT_FALSE(inside_support(kind, not_a_number));
    }

    // Proposals from values at the edge of the support land outside it and return the value.
    model_fixture::install_generator();
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(propose(proposal_kind::gamma, 1e-12, 500), 1e-12);
        EXPECT_EQ(propose(proposal_kind::beta_offset, 1e-12, 500), 1e-12);
        EXPECT_EQ(propose(proposal_kind::beta_plain, 1 - 1e-10, 500), 1 - 1e-10);
    }

    // Acceptance: sampling always draws one uniform and takes the Hastings-corrected ratio;
    // maximising draws none and takes a strict increase of the log posterior.
    struct decision {
        bool sampling;
        double log_ratio, log_ratio_mh;
        bool accepted;
    };
    const decision table[] = {
        {true, 0.0, 0.0, true},    {true, -1e300, 5.0, true},  {true, 5.0, -1e300, false}, {true, not_a_number, not_a_number, false},
        {true, 0.0, not_a_number, false},   {true, -INFINITY, -INFINITY, false},
        {false, 0.0, 0.0, false},  {false, -0.0, 9.0, false},  {false, 1e-300, -9.0, true}, {false, not_a_number, 1.0, false},
        {false, -1e-300, 9.0, false},
    };
    for (const decision& t : table) {
        model_fixture::install_generator();
        counting_generator c;
        EXPECT_EQ(accept_move(t.sampling, t.log_ratio, t.log_ratio_mh), t.accepted)
            << t.sampling << " " << t.log_ratio << " " << t.log_ratio_mh;
        EXPECT_EQ(c.count, t.sampling ? 1 : 0);
    }
    // A positive Hastings-corrected ratio still consumes the uniform.
    model_fixture::install_generator();
    const double first = Random::base_draw();
    model_fixture::install_generator();
    accept_move(true, 3.0, 3.0);
    EXPECT_NE(Random::base_draw(), first);

    // with_hastings adds log q(x | x') - log q(x' | x) of each proposal's own density.
    struct hastings {
        proposal_kind kind;
        double x, x_new, kappa;
    };
    const hastings moves[] = {
        {proposal_kind::gamma, 0.3, 0.45, 20},      {proposal_kind::gamma, 2.0, 1.2, 500},
        {proposal_kind::beta_plain, 0.2, 0.35, 10}, {proposal_kind::beta_plain, 0.9, 0.7, 500},
        {proposal_kind::beta_offset, 0.2, 0.35, 10}, {proposal_kind::beta_offset, 1e-6, 3e-6, 10},
    };
    for (const hastings& m : moves) {
        const auto q = [&](double to, double from) {
            const double o = m.kind == proposal_kind::beta_offset ? 1e-8 : 0.0;
            if (m.kind == proposal_kind::gamma) return log_gamma_pdf(to, m.kappa * from, m.kappa);
            return log_beta_pdf(to, m.kappa * from + o, m.kappa * (1 - from) + o);
        };
        const double expected = -1.5 - q(m.x_new, m.x) + q(m.x, m.x_new);
        EXPECT_NEAR(with_hastings(-1.5, m.kind, m.x, m.x_new, m.kappa), expected, 1e-10 * (1 + std::fabs(expected)))
            << static_cast<int>(m.kind) << " " << m.x << " -> " << m.x_new;
        EXPECT_EQ(with_hastings(-1.5, m.kind, m.x, m.x, m.kappa), -1.5);
    }
}

// Each hyperparameter's chain, every governed value fixed, reproduces hyperprior × priors.
TEST(HyperChains, EachHyperparameterReproducesItsTarget)
{
    for (const hyper_case& c : hyper_cases()) {
        data d;
        make_three_cohorts(d);
        d.proposal_k = c.kappa;
        d.*(c.x) = c.start;
        d.*(c.other) = c.other_value;
        for (int j = 0; j < 3; ++j) (d.*(c.values))[j] = c.governed[j];
        const prior_pair hp = d.*(c.hyperprior);
        const auto target = [&](double x) {
            double t = c.gamma ? log_gamma_pdf(x, hp[0], hp[1]) : log_beta_pdf(x, hp[0], hp[1]);
            for (double y : c.governed)
                t += c.is_mean ? family_prior(c.gamma, y, x, c.other_value) : family_prior(c.gamma, y, c.other_value, x);
            return t;
        };
        const grid_cdf cdf(target, 0, c.hi);
        EXPECT_LT(cdf.edge_mass(), 1e-6) << c.name;
        const auto chain = run_chain([&] { c.update(d); }, {[&] { return d.*(c.x); }}, burn_in, kept, thin);
        expect_ks(chain[0], cdf, c.name);
        EXPECT_EQ(d.*(c.other), c.other_value) << c.name;
    }
}

// The correlation hyperparameters: every class k in one call, each against its own target.
TEST(HyperChains, CorrelationHyperparametersReproduceTheirTargets)
{
    const std::array<std::array<double, 3>, 3> r_values = {{{0.02, 0.9, 0.1}, {0.05, 0.85, 0.05}, {0.03, 0.95, 0.2}}};
    for (bool is_mean : {true, false}) {
        data d;
        make_three_cohorts(d);
        d.proposal_k = is_mean ? 100 : 50;
        d.r_mean = {0.03, 0.9, 0.1};
        d.r_var = {0.05, 0.02, 0.05};
        for (int j = 0; j < 3; ++j) d.r[j] = r_values[j];
        const std::array<double, 3> fixed = is_mean ? d.r_var : d.r_mean;
        std::vector<std::function<double()>> tracked;
        for (int k = 0; k < 3; ++k) tracked.push_back([&d, k, is_mean] { return is_mean ? d.r_mean[k] : d.r_var[k]; });
        const auto chain = run_chain([&] { is_mean ? d.update_r_mean() : d.update_r_var(); }, tracked, burn_in, kept, thin);
        for (int k = 0; k < 3; ++k) {
            const class_prior& hp = is_mean ? d.r_mean_prior : d.r_var_prior;
            const auto target = [&](double x) {
                double t = log_beta_pdf(x, hp.a[k], hp.b[k]);
                for (int j = 0; j < 3; ++j)
                    t += is_mean ? log_mean_spread_beta(r_values[j][k], x, fixed[k])
                                 : log_mean_spread_beta(r_values[j][k], fixed[k], x);
                return t;
            };
            const grid_cdf cdf(target, 0, 1);
            expect_ks(chain[k], cdf, std::string(is_mean ? "r_mean" : "r_var") + std::to_string(k));
        }
        EXPECT_EQ(is_mean ? d.r_var : d.r_mean, fixed);
    }
}

// update_r with one cohort whose individuals are all in the null class: the chain of
// (r, r_mean, r_var) then targets the prior alone, so r_mean and r_var follow their
// hyperpriors exactly and r its prior predictive.
TEST(HyperChains, UpdateRWithoutDataFollowsThePrior)
{
    data d;
    model_fixture::make_state(d, {{xy{0.7, 0.7}, xy{0.3, 1.0}}});
    call_all_null(d, 0);
    d.proposal_k = 30;
    // Hyperpriors that keep both shapes of the r prior above 1, away from the sticky edges.
    d.r_mean_prior = {{6, 10, 8}, {10, 6, 8}};
    d.r_var_prior = {{2, 2, 2}, {80, 80, 80}};
    for (int k = 0; k < 3; ++k) {
        d.r_mean[k] = d.r_mean_prior.a[k] / (d.r_mean_prior.a[k] + d.r_mean_prior.b[k]);
        d.r_var[k] = 2.0 / 82;
        d.r[0][k] = d.r_mean[k];
    }
    std::vector<std::function<double()>> tracked;
    for (int k = 0; k < 3; ++k) {
        tracked.push_back([&d, k] { return d.r[0][k]; });
        tracked.push_back([&d, k] { return d.r_mean[k]; });
        tracked.push_back([&d, k] { return d.r_var[k]; });
    }
    // The three values of a class are strongly tied: a longer thinning keeps the draws apart.
    const auto chain = run_chain([&] { d.update_r(); }, tracked, burn_in, 3000, 20);
    using boost::math::beta_distribution;
    for (int k = 0; k < 3; ++k) {
        const beta_distribution<> m_prior(d.r_mean_prior.a[k], d.r_mean_prior.b[k]);
        const beta_distribution<> v_prior(d.r_var_prior.a[k], d.r_var_prior.b[k]);
        const grid_cdf r_cdf = predictive_cdf(log_mean_spread_beta, [&](double p) { return boost::math::quantile(m_prior, p); },
                                              [&](double p) { return boost::math::quantile(v_prior, p); }, 0, 1);
        const std::string cls = std::to_string(k);
        expect_ks(chain[3 * k], r_cdf, "r" + cls + "_alone");
        expect_ks(chain[3 * k + 1], [&](double x) { return boost::math::cdf(m_prior, x); }, "r_mean" + cls + "_alone");
        expect_ks(chain[3 * k + 2], [&](double x) { return boost::math::cdf(v_prior, x); }, "r_var" + cls + "_alone");
    }
}

// Proposals outside the support become moves to the same value: accepted and counted when
// sampling (the log ratio is exactly 0), never accepted when maximising.
TEST(Hyper, OutOfRangeProposalsAreMovesToTheSameValue)
{
    for (bool sampling : {true, false}) {
        data d;
        make_three_cohorts(d);
        d.sampling = sampling;
        // Gamma proposals from values near 0, Beta proposals from values near 1 or 0.
        d.length_mean = 1e-12;
        d.length_var = 1e-12;
        d.fraction_mean = 1 - 1e-10;
        d.fraction_var = 1 - 1e-10;
        d.r_mean = {1e-12, 1e-12, 1e-12};
        d.r_var = {1 - 1e-10, 1 - 1e-10, 1 - 1e-10};
        const double n = sampling ? 1 : 0;
        d.update_length_mean();
        d.update_length_var();
        EXPECT_EQ(d.accept_length, 2 * n);
        d.update_fraction_mean();
        d.update_fraction_var();
        EXPECT_EQ(d.accept_fraction, 2 * n);
        d.update_r_mean();
        d.update_r_var();
        EXPECT_EQ(d.accept_r, 6 * n);
        EXPECT_EQ(d.length_mean, 1e-12);
        EXPECT_EQ(d.length_var, 1e-12);
        EXPECT_EQ(d.fraction_mean, 1 - 1e-10);
        EXPECT_EQ(d.fraction_var, 1 - 1e-10);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(d.r_mean[k], 1e-12);
            EXPECT_EQ(d.r_var[k], 1 - 1e-10);
        }
        for (double data::*other : {&data::accept_gradient, &data::accept_departure, &data::accept_mu,
                                    &data::accept_sigma, &data::accept_varfrac, &data::accept_center})
            EXPECT_EQ(d.*other, 0.0);
    }
}

// One proposal draw per step, then one uniform in a sampling phase and none when maximising,
// with the proposal of the table: Beta without offsets for fraction and departure, Gamma for
// length and gradient, Beta with offsets (concentration 10 for r itself) for the correlations.
TEST(Hyper, DrawOrderAndCount)
{
    for (bool sampling : {true, false}) {
        const auto uniform = [sampling] {
            if (sampling) Uniform().Next();
        };
        data d;
        make_three_cohorts(d);
        d.sampling = sampling;
        const double k = d.proposal_k;
        const auto beta_plain = [&](double x) { genbet(static_cast<float>(k * x), static_cast<float>(k * (1 - x))); };
        const auto beta_offset = [](double x, double c) {
            genbet(static_cast<float>(c * x + 1e-8), static_cast<float>(c * (1 - x) + 1e-8));
        };
        const std::string phase = sampling ? " sampling" : " maximising";
        const double fm = d.fraction_mean, fv = d.fraction_var, lm = d.length_mean, lv = d.length_var;
        const double dm = d.departure_mean, gv = d.gradient_var;
        expect_same_draws(
            [&] {
                d.update_fraction_mean();
                d.update_fraction_var();
                d.update_length_mean();
                d.update_length_var();
                d.update_departure_mean();
                d.update_gradient_var();
            },
            [&] {
                beta_plain(fm);
                uniform();
                beta_plain(fv);
                uniform();
                rgamma(k * lm, k);
                uniform();
                rgamma(k * lv, k);
                uniform();
                beta_plain(dm);
                uniform();
                rgamma(k * gv, k);
                uniform();
            },
            "shape hyperparameters" + phase);

        data e;
        make_three_cohorts(e);
        e.sampling = sampling;
        const std::vector<std::array<double, 3>> r = e.r;
        const std::array<double, 3> rm = e.r_mean, rv = e.r_var;
        expect_same_draws([&] { e.update_r(); },
                          [&] {
                              const auto step = [&](double x, double c) {
                                  beta_offset(x, c);
                                  uniform();
                              };
                              for (int j = 0; j < 3; ++j)
                                  for (int c = 0; c < 3; ++c) step(r[j][c], 10);
                              for (int c = 0; c < 3; ++c) step(rm[c], k);
                              for (int c = 0; c < 3; ++c) step(rv[c], k);
                          },
                          "update_r" + phase);
    }
}

// A maximising update_r on sharply peaked data: a rejected move leaves r[j][k] bit for bit at
// its old value, so the class likelihood the next class and cohort see is the old one;
// accepted moves are exactly the counted ones, and the log posterior never falls.
TEST(Hyper, RejectedCorrelationMovesRestoreTheOldValue)
{
    data d;
    make_tight_state(d);
    const moves_of_update moves{[](const data& e) {
                                    std::vector<std::pair<int, std::vector<double>>> m;
                                    for (int j = 0; j < e.n_cohorts; ++j)
                                        for (int k = 0; k < 3; ++k) m.push_back({j, {e.r[j][k]}});
                                    return m;
                                },
                                [](const data& e) {
                                    std::vector<double> h(e.r_mean.begin(), e.r_mean.end());
                                    h.insert(h.end(), e.r_var.begin(), e.r_var.end());
                                    return h;
                                },
                                &data::accept_r, &data::accept_r};
    const auto [rejected, accepted] = check_maximising_moves(d, [&] { d.update_r(); }, moves, 10, "r");
    EXPECT_GT(rejected, 10);
    EXPECT_GT(accepted, 0);
}

// "-names" in a maximising phase: an accepted hyperparameter move prints "accept" and then one
// line "old = <log posterior before> new = <log posterior after> mh = <log ratio>".
TEST(Hyper, MaximisingTraceLines)
{
    data d;
    make_three_cohorts(d);
    d.sampling = false;
    for (int j = 0; j < 3; ++j) d.length[j] = 1.0;
    d.length_mean = 0.6;   // far below the governed values: most upward moves are improvements
    const auto saved = std::cout.precision(10);
    std::string out;
    double before = 0;
    for (int attempt = 0; attempt < 50 && d.accept_length == 0; ++attempt) {
        before = d.log_posterior();
        d.print_names = true;
        testing::internal::CaptureStdout();
        d.update_length_mean();
        out = testing::internal::GetCapturedStdout();
        d.print_names = false;
    }
    const double after = d.log_posterior();
    std::cout.precision(saved);
    ASSERT_EQ(d.accept_length, 1.0);

    const std::vector<std::string> lines = lines_of(out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "update_length_mean()");
    std::size_t a = 0;
    while (a < lines.size() && lines[a] != "accept") ++a;
    ASSERT_LT(a + 1, lines.size()) << out;
    const std::vector<std::string> v = labelled_values(lines[a + 1], {"old = ", " new = ", " mh = "});
    ASSERT_EQ(v.size(), 3u) << "line after \"accept\": " << lines[a + 1];
    const double old_lp = std::stod(v[0]), new_lp = std::stod(v[1]), mh = std::stod(v[2]);
    EXPECT_NEAR(old_lp, before, 1e-9 * std::fabs(before));
    EXPECT_NEAR(new_lp, after, 1e-9 * std::fabs(after));
    EXPECT_GT(mh, 0);
    EXPECT_NEAR(new_lp - old_lp, mh, 1e-6 * (1 + std::fabs(mh)));
}
