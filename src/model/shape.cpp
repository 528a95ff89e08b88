// Cluster shape updates: independence proposals of each cohort's centre, fraction, length,
// gradient and departure from their current priors, judged by the class likelihoods alone.
#include <cmath>
#include <iostream>

#include "model/geometry.hpp"
#include "model/hierarchy.hpp"
#include "model/proposal.hpp"
#include "numeric/random.hpp"
#include "numeric/variates.hpp"

namespace {

// One independence step of the shape parameter held in theta[0 .. dim-1] of cohort j.
// `draw` puts a proposal in place, or leaves theta as it is when the draw is out of range;
// `log_prior` evaluates the prior at the current theta.
template <class Draw, class LogPrior>
void shape_step(data& d, int j, double* theta, int dim, Draw draw, LogPrior log_prior, double& counter, bool trace)
{
    const bool trace_accept = trace && d.cfg.print_names && !d.sampling;
    const double lp_before = trace_accept ? untraced_log_posterior(d) : 0;
    const double L_old = 0 - d.log_posterior_X_given_K(0, j) - d.log_posterior_X_given_K(1, j) -
                         d.log_posterior_X_given_K(2, j);
    const double old_theta[2] = {theta[0], dim > 1 ? theta[1] : 0};
    const double prior_old = log_prior();
    // The chip's geometry (learnt priors) is a prior factor the proposal does not draw from: it
    // stays in the ratio.
    const bool geometry = d.cfg.geometry.active;
    const double geometry_old = geometry ? geometry_log_prior(d, j) : 0;
    draw();
    d.set_mu_from_params(j);
    const double prior_new = log_prior();
    // A draw outside the range leaves theta as it was: a move to the same value, whose ratio is
    // exactly 0 (summing the unchanged likelihoods would leave a rounding remainder that could
    // count a maximising move that changes nothing).
    const bool moved = theta[0] != old_theta[0] || (dim > 1 && theta[1] != old_theta[1]);
    double mh = 0, a = 0;
    if (moved) {
        mh = L_old + d.log_posterior_X_given_K(0, j);
        mh += d.log_posterior_X_given_K(1, j);
        mh += d.log_posterior_X_given_K(2, j);
        mh = mh + prior_new - prior_old;
        // The proposal is the prior, so the two cancel and the likelihood difference decides.
        a = mh - prior_new + prior_old;
        if (geometry) {
            const double change = geometry_log_prior(d, j) - geometry_old;
            mh += change;
            a += change;
        }
    }
    if (accept_move(d.sampling, mh, a)) {
        counter += 1;
        if (trace_accept) trace_acceptance(d, lp_before, mh);
        return;
    }
    for (int c = 0; c < dim; ++c) theta[c] = old_theta[c];
    d.set_mu_from_params(j);
}

struct shape_family {
    family f;
    const char* trace;
    double data::*sampling_counter;
    double data::*maximising_counter;
    bool trace_accept;
};

// The cohort steps of a scalar shape parameter, then its mean and spread hyperparameters.
void update_shape_family(data& d, const shape_family& s)
{
    if (d.cfg.print_names) d.log() << s.trace << std::endl;
    const bool gamma = s.f == family::length || s.f == family::gradient;
    const proposal_kind support = gamma ? proposal_kind::gamma : proposal_kind::beta_plain;
    double& counter = d.*(d.sampling ? s.sampling_counter : s.maximising_counter);
    for (int j = 0; j < d.n_cohorts; ++j) {
        double& x = family_value(d, s.f, j, 0);
        const double m = family_hyper(d, s.f, hyper_role::mean, 0);
        const double v = family_hyper(d, s.f, hyper_role::var, 0);
        const auto draw = [&] {
            const double x_new = gamma ? gamma_prior_draw(m, v) : beta_prior_draw(m, v);
            if (inside_support(support, x_new)) x = x_new;
        };
        const auto log_prior = [&] { return family_log_prior(s.f, x, m, v); };
        shape_step(d, j, &x, 1, draw, log_prior, counter, s.trace_accept);
    }
    update_hyperparameter(d, s.f, hyper_role::mean, 0);
    update_hyperparameter(d, s.f, hyper_role::var, 0);
    // Next sweep's cohort steps draw from the prior as it now stands.
    expect_prior_draw(gamma, family_hyper(d, s.f, hyper_role::mean, 0), family_hyper(d, s.f, hyper_role::var, 0));
}

}  // namespace

void data::update_fractions()
{
    update_shape_family(*this, {family::fraction, "update_fractions()", &data::accept_fraction, &data::accept_fraction, true});
}

void data::update_departures()
{
    update_shape_family(*this, {family::departure, "update_departures()", &data::accept_departure, &data::accept_departure, false});
}

void data::update_lengths()
{
    update_shape_family(*this, {family::length, "update_lengths()", &data::accept_length, &data::accept_mu, true});
}

void data::update_gradients()
{
    update_shape_family(*this, {family::gradient, "update_gradients()", &data::accept_gradient, &data::accept_mu, true});
}

void data::update_centers()
{
    if (cfg.print_names) log() << "update_centers()" << std::endl;
    Normal normal;
    for (int j = 0; j < n_cohorts; ++j) {
        xy& c = center[j];
        const auto draw = [&] {
            c[0] = center_mean[0] + std::sqrt(center_var) * normal.Next();
            c[1] = center_mean[1] + std::sqrt(center_var) * normal.Next();
        };
        const auto log_prior = [&] {
            return centre_log_density(c[0], center_mean[0], center_var) + centre_log_density(c[1], center_mean[1], center_var);
        };
        shape_step(*this, j, c.data(), 2, draw, log_prior, accept_center, true);
    }

    // Conjugate steps of the centre hyperparameters given the cohort centres.
    const double n = n_cohorts;
    if (cfg.print_names) log() << "update_center_mean()" << std::endl;
    Normal hyper_normal;
    for (int dim = 0; dim < 2; ++dim) {
        double S = 0;
        for (int j = 0; j < n_cohorts; ++j) S += center[j][dim];
        const double M = S / n, V = center_var / n;
        center_mean[dim] = M;
        if (sampling) center_mean[dim] = M + std::sqrt(V) * hyper_normal.Next();
    }
    if (cfg.print_names) log() << "update_center_var()" << std::endl;
    double SS = 0;
    for (int dim = 0; dim < 2; ++dim)
        for (int j = 0; j < n_cohorts; ++j) SS += (center[j][dim] - center_mean[dim]) * (center[j][dim] - center_mean[dim]);
    const double nu = cfg.center_var_prior_df + 2 * n;
    const double s2 = (SS + cfg.center_var_prior_df * cfg.center_var_prior_mean) / nu;
    center_var = sampling ? nu * s2 / rgamma(nu / 2, 0.5) : nu * s2 / (nu + 2);
}
