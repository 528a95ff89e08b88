// Genotype proportions, cohort allele frequencies, their shared mean and the null share.
#include <iostream>

#include "model/hierarchy.hpp"
#include "model/proposal.hpp"
#include "numeric/densities.hpp"
#include "numeric/elementary.hpp"
#include "numeric/variates.hpp"

namespace {

// Prior weights of the genotype classes 0, 1, 2 of cohort j at allele frequency a: Hardy–Weinberg,
// or in X mode a mixture in which males (haploid) contribute only to the homozygous classes.
// A cohort without a known sex is treated as diploid.
std::array<double, 3> genotype_weights(const data& d, int j, double a)
{
    if (d.cfg.chrX) {
        const double males = d.point_sex_counts[j][1], females = d.point_sex_counts[j][2];
        if (males + females > 0) {
            const double M = males / (males + females), F = females / (males + females);
            return {M * a + F * a * a, 2 * F * a * (1 - a), M * (1 - a) + F * (1 - a) * (1 - a)};
        }
    }
    return {a * a, 2 * a * (1 - a), (1 - a) * (1 - a)};
}

// lnGamma(old) - lnGamma(new) of a Dirichlet parameter; a class whose parameter is exactly 0 on
// both sides (the heterozygote of an all-male cohort) is absent and contributes nothing.
double dirichlet_change(double old_param, double new_param, double log_lambda)
{
    if (old_param == 0 && new_param == 0) return 0;
    return (new_param - old_param) * log_lambda + portable::lgamma(old_param) - portable::lgamma(new_param);
}

}  // namespace

void data::update_lambda()
{
    if (cfg.print_names) log() << "update_lambda" << std::endl;
    for (int j = 0; j < n_cohorts; ++j) {
        const double c = cfg.pgd, e = eta[j];
        const std::array<double, 3> p = genotype_weights(*this, j, alpha[j]);
        std::array<double, 4> dk;
        for (int k = 0; k < 3; ++k) dk[k] = N[j][k] + 1e-7 + c * (1 - e) * p[k];
        dk[3] = N[j][3] + 1e-7 + c * e;
        std::array<double, 4>& l = lambda[j];
        if (sampling)
            rgammas(dk.data(), 4, l.data());
        else
            l = dk;
        if (cfg.nonull) l[3] = 1e-7;
        double S = 0;
        for (int k = 0; k < 4; ++k) S += l[k];
        // Floor every proportion near 1e-6 so that the logarithms stay finite.
        for (int k = 0; k < 4; ++k) l[k] = (l[k] + 1e-6 * S) / (1.000004 * S);
        if (cfg.print_proposals) {
            for (int k = 0; k < 4; ++k) log() << l[k] << " ";
            log() << std::endl;
        }
    }
}

double data::p_lambda(int j)
{
    const double c = cfg.pgd, e = eta[j];
    const std::array<double, 3> p = genotype_weights(*this, j, alpha[j]);
    double total = 0;
    for (int k = 0; k < 3; ++k) {
        const double param = c * (1 - e) * p[k];
        if (param == 0) continue;   // a class the cohort cannot have
        total += (param - 1) * portable::log(lambda[j][k]) - portable::lgamma(param);
    }
    if (c * e == 0) return total;
    return total + (c * e - 1) * portable::log(lambda[j][3]) - portable::lgamma(c * e);
}

double data::MH_alpha_density(int j, double old_value, double new_value)
{
    if (cfg.print_names) log() << "MH_alpha_density()" << std::endl;
    const double ce = cfg.pgd * (1 - eta[j]);
    const std::array<double, 3> p_old = genotype_weights(*this, j, old_value);
    const std::array<double, 3> p_new = genotype_weights(*this, j, new_value);
    double R = 0;
    for (int k = 0; k < 3; ++k) R += dirichlet_change(ce * p_old[k], ce * p_new[k], portable::log(lambda[j][k]));
    const double A = beta_a(alpha_star, cfg.c_alpha_cohorts), B = beta_b(alpha_star, cfg.c_alpha_cohorts);
    return R + log_dbeta(new_value, A, B) - log_dbeta(old_value, A, B);
}

double data::MH_eta_density(int j, double old_value, double new_value)
{
    if (cfg.print_names) log() << "MH_eta_density()" << std::endl;
    const double c = cfg.pgd;
    const std::array<double, 3> p = genotype_weights(*this, j, alpha[j]);
    double R = 0;
    for (int k = 0; k < 3; ++k)
        R += dirichlet_change(c * p[k] * (1 - old_value), c * p[k] * (1 - new_value), portable::log(lambda[j][k]));
    R += dirichlet_change(c * old_value, c * new_value, portable::log(lambda[j][3]));
    const double A = beta_a(eta_mean, eta_var), B = beta_b(eta_mean, eta_var);
    return R + log_dbeta(new_value, A, B) - log_dbeta(old_value, A, B);
}

void data::update_alpha()
{
    if (cfg.print_proposals) log() << "update_alpha" << std::endl;
    if (cfg.print_names) log() << "update_alpha()" << std::endl;
    for (int j = 0; j < n_cohorts; ++j) {
        const double a = alpha[j];
        const double a_new = propose(proposal_kind::beta_offset, a, cfg.alpha_proposal_k);
        const double R = MH_alpha_density(j, a, a_new);
        if (cfg.print_proposals) log() << a << " " << a_new << std::endl;
        if (accept_move(sampling, R, with_hastings(R, proposal_kind::beta_offset, a, a_new, cfg.alpha_proposal_k))) {
            alpha[j] = a_new;
            accept_alpha += 1;
        }
    }
    update_alpha_star();
}

void data::update_alpha_star()
{
    if (cfg.print_names) log() << "update_alpha_star()" << std::endl;
    const double s = alpha_star;
    const double s_new = propose(proposal_kind::beta_offset, s, cfg.alpha_proposal_k);
    const double V = cfg.c_alpha_cohorts, W = c_alpha_prior_snp;
    const double f_hat = alpha_prior[0] / cfg.alpha_prior_strength;   // the reference frequency as one observation
    double R = 0;
    for (int j = 0; j < n_cohorts; ++j)
        R += log_dbeta(alpha[j], beta_a(s_new, V), beta_b(s_new, V)) - log_dbeta(alpha[j], beta_a(s, V), beta_b(s, V));
    R = R + log_dbeta(f_hat, beta_a(s_new, W), beta_b(s_new, W)) - log_dbeta(f_hat, beta_a(s, W), beta_b(s, W)) +
        log_dbeta(s_new, cfg.alpha_star_prior[0], cfg.alpha_star_prior[1]) - log_dbeta(s, cfg.alpha_star_prior[0], cfg.alpha_star_prior[1]);
    if (accept_move(sampling, R, with_hastings(R, proposal_kind::beta_offset, s, s_new, cfg.alpha_proposal_k))) {
        alpha_star = s_new;
        accept_alpha_star += 1;
    }
}

void data::update_eta()
{
    if (cfg.print_names) log() << "update_eta" << std::endl;
    const bool trace_accept = cfg.print_names && !sampling;
    for (int j = 0; j < n_cohorts; ++j) {
        const double e = eta[j];
        const double e_new = propose(proposal_kind::beta_offset, e, cfg.proposal_k);
        const double R = MH_eta_density(j, e, e_new);
        if (cfg.print_proposals) log() << e << " " << e_new << std::endl;
        const double lp_before = trace_accept ? untraced_log_posterior(*this) : 0;
        if (!accept_move(sampling, R, with_hastings(R, proposal_kind::beta_offset, e, e_new, cfg.proposal_k))) continue;
        eta[j] = e_new;
        accept_eta += 1;
        if (trace_accept) trace_acceptance(*this, lp_before, R);
    }
    update_hyperparameter(*this, family::eta, hyper_role::mean, 0);
    update_hyperparameter(*this, family::eta, hyper_role::var, 0);
}
