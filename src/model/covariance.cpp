// Covariance updates: the per-cohort scale sigma, axis ratio varfrac and class correlations r,
// each a random-walk Metropolis–Hastings move, followed by their hyperparameters.
#include <iostream>

#include "model/hierarchy.hpp"
#include "model/proposal.hpp"
#include "numeric/densities.hpp"

namespace {

enum class move_trace { log_ratio, values, none };

struct covariance_move {
    family f;
    std::array<bool, 3> classes;   // genotype classes whose likelihood depends on the value
    proposal_kind proposal;
    double kappa;
    move_trace before;             // what "-pr" prints before the decision
    bool decision;                 // "-pr" prints "accept " (sampling) and "reject "
    double data::*counter;
};

// One move of the value of family m.f in cohort j (class k for r).
void covariance_step(data& d, const covariance_move& m, int j, int k)
{
    double L_old = 0;
    for (int c = 0; c < 3; ++c)
        if (m.classes[c]) L_old -= d.log_posterior_X_given_K(c, j);
    double& x = family_value(d, m.f, j, k);
    const double x_old = x;
    // The likelihood reads the value from the run state, so the proposal is put in place first.
    x = propose(m.proposal, x_old, m.kappa);
    // A proposal outside the support is a move to the same value, whose ratio is exactly 0.
    double R = 0;
    if (x != x_old) {
        R = L_old;
        for (int c = 0; c < 3; ++c)
            if (m.classes[c]) R += d.log_posterior_X_given_K(c, j);
        const double mean = family_hyper(d, m.f, hyper_role::mean, k);
        const double var = family_hyper(d, m.f, hyper_role::var, k);
        R = R + family_log_prior(m.f, x, mean, var) - family_log_prior(m.f, x_old, mean, var);
    }

    if (d.cfg.print_proposals) {
        if (m.before == move_trace::log_ratio) d.log() << "log-mh = " << R << std::endl;
        if (m.before == move_trace::values) d.log() << x << " " << x_old << std::endl;
    }
    if (accept_move(d.sampling, R, with_hastings(R, m.proposal, x_old, x, m.kappa))) {
        d.*(m.counter) += 1;
        if (m.decision && d.cfg.print_proposals && d.sampling) d.log() << "accept " << std::endl;
    } else {
        if (m.decision && d.cfg.print_proposals) d.log() << "reject " << std::endl;
        x = x_old;
    }
}

}  // namespace

void data::update_sigma()
{
    const covariance_move m{family::sigma, {true, true, true}, proposal_kind::gamma, cfg.proposal_k,
                            move_trace::log_ratio, true, &data::accept_sigma};
    for (int j = 0; j < n_cohorts; ++j) covariance_step(*this, m, j, 0);
    update_hyperparameter(*this, family::sigma, hyper_role::mean, 0);
    update_hyperparameter(*this, family::sigma, hyper_role::var, 0);
}

void data::update_varfrac()
{
    // Class 1 has equal variances on both axes and does not depend on varfrac.
    const covariance_move m{family::varfrac, {true, false, true}, proposal_kind::beta_offset, cfg.proposal_k,
                            move_trace::values, false, &data::accept_varfrac};
    for (int j = 0; j < n_cohorts; ++j) covariance_step(*this, m, j, 0);
    update_hyperparameter(*this, family::varfrac, hyper_role::mean, 0);
    update_hyperparameter(*this, family::varfrac, hyper_role::var, 0);
}

void data::update_r()
{
    // The correlations move with a fixed, broad proposal concentration.
    constexpr double r_kappa = 10;
    for (int j = 0; j < n_cohorts; ++j)
        for (int k = 0; k < 3; ++k) {
            covariance_move m{family::r, {k == 0, k == 1, k == 2}, proposal_kind::beta_offset, r_kappa,
                              move_trace::none, true, &data::accept_r};
            covariance_step(*this, m, j, k);
        }
    update_r_mean();
    update_r_var();
}

double data::p_Var()
{
    double total = 0;
    for (int j = 0; j < n_cohorts; ++j) {
        double p_r = 0;
        for (int k = 0; k < 3; ++k) p_r += family_log_prior(family::r, r[j][k], r_mean[k], r_var[k]);
        if (cfg.print_names) log() << "p_sigma" << std::endl;
        const double p_sigma = family_log_prior(family::sigma, sigma[j], sigma_mean, sigma_var);
        if (cfg.print_names) log() << "p_varfrac" << std::endl;
        const double p_varfrac = family_log_prior(family::varfrac, varfrac[j], varfrac_mean, varfrac_var);
        total += p_varfrac + p_sigma + p_r;
    }
    for (int k = 0; k < 3; ++k) {
        total += log_dbeta(r_mean[k], cfg.r_mean_prior.a[k], cfg.r_mean_prior.b[k]);
        total += log_dbeta(r_var[k], cfg.r_var_prior.a[k], cfg.r_var_prior.b[k]);
    }
    total += gamma_log_density(sigma_mean, cfg.sigma_mean_prior[0], cfg.sigma_mean_prior[1]);
    total += gamma_log_density(sigma_var, cfg.sigma_var_prior[0], cfg.sigma_var_prior[1]);
    total += log_dbeta(varfrac_mean, cfg.varfrac_mean_prior[0], cfg.varfrac_mean_prior[1]);
    total += log_dbeta(varfrac_var, cfg.varfrac_var_prior[0], cfg.varfrac_var_prior[1]);
    return total;
}
