// One iteration of the sampler, the per-cohort global proposal, and the console reports.
#include <cmath>
#include <iostream>

#include "model/hierarchy.hpp"
#include "model/proposal.hpp"
#include "numeric/elementary.hpp"
#include "numeric/random.hpp"
#include "numeric/variates.hpp"
#include "schedule/reports.hpp"
#include "state/data.hpp"

void data::sweep()
{
    update_alpha();
    log().flush();
    if (cfg.print_names) log() << "update_mu()" << std::endl;
    update_gradients();
    update_lengths();
    update_fractions();
    update_departures();
    update_centers();
    log().flush();
    if (cfg.print_names) log() << "update_var()" << std::endl;
    update_r();
    update_sigma();
    update_varfrac();
    log().flush();
    update_lambda();
    log().flush();
    if (!cfg.nonull) update_eta();
    log().flush();
    update_calls();
}

namespace {

double clamp_unit(double x)
{
    if (x >= support_high) return support_high;
    if (x <= support_low) return support_low;
    return x;
}

float as_shape(double x) { return static_cast<float>(x); }

void print_shape_diagnostic(const data& d, int j, const char* label)
{
    d.log() << label << std::endl << d.departure[j] << std::endl;
    for (int k = 0; k < 3; ++k)
        for (int c = 0; c < 2; ++c) d.log() << d.mu[j][k][c] << std::endl;
}

// Copies cohort j's values of every per-cohort parameter into the one-cohort set `kept`, or
// back when `restore`.
void keep_cohort(data& d, int j, bool restore)
{
    for_each_cohort_parameter([j, restore](const char*, reported, auto& current, auto& kept) {
        auto& value = current[static_cast<std::size_t>(j)];
        if (restore)
            value = kept[0];
        else
            kept[0] = value;
    }, d, d.kept_cohort);
}

}  // namespace

void data::update_all(int j)
{
    Normal normal;
    if (cfg.print_names) log() << "update_all(int j)" << std::endl;
    const double lp_old = log_posterior();
    if (departure[j] > 1) print_shape_diagnostic(*this, j, "problem_0");
    keep_cohort(*this, j, false);

    // Redraw every cohort-level value from its current hierarchical prior.
    const double cac = cfg.c_alpha_cohorts;
    alpha[j] = clamp_unit(genbet(as_shape(beta_a(alpha_star, cac) + 1e-8), as_shape(beta_b(alpha_star, cac) + 1e-8)));
    eta[j] = beta_prior_draw(eta_mean, eta_var) + 1e-8;
    const double a = alpha[j], e = eta[j];
    lambda[j] = {a * a * (1 - e), 2 * a * (1 - a) * (1 - e), (1 - a) * (1 - a) * (1 - e), e};
    gradient[j] = gamma_prior_draw(gradient_mean, gradient_var) + 1e-8;
    length[j] = gamma_prior_draw(length_mean, length_var) + 1e-8;
    fraction[j] = clamp_unit(beta_prior_draw(fraction_mean, fraction_var));
    departure[j] = clamp_unit(genbet(as_shape(beta_a(departure_mean, departure_var) + 1e-8), as_shape(beta_b(departure_mean, departure_var))) + 1e-8);
    center[j][0] = center_mean[0] + std::sqrt(center_var) * normal.Next();
    center[j][1] = center_mean[1] + std::sqrt(center_var) * normal.Next();
    set_mu_from_params(j);
    sigma[j] = gamma_prior_draw(sigma_mean, sigma_var) + 1e-8;
    varfrac[j] = beta_prior_draw(varfrac_mean, varfrac_var) + 1e-8;
    for (int k = 0; k < 3; ++k) r[j][k] = beta_prior_draw(r_mean[k], r_var[k]) + 1e-8;

    const double diff = log_posterior() - lp_old;
    // An independence proposal from the priors, judged by the posterior difference alone.
    bool accepted;
    if (sampling) {
        const double u = Uniform().Next();
        accepted = diff > 0 || portable::exp(diff) > u;
    } else {
        accepted = diff > 0;
    }
    if (accepted) {
        accept_global += 1;
    } else {
        keep_cohort(*this, j, true);
        set_mu_from_params(j);
    }
    if (mu[j][1][0] > mu[j][0][0]) print_shape_diagnostic(*this, j, "problem");
    update_calls();
}

void data::print_rates()
{
    const double T = cfg.burn_in + cfg.final_iterations();
    const double nc = n_cohorts;
    struct rate_line {
        const char* label;
        double value;
        double divisor;
    };
    const rate_line lines[] = {
        {"     alpha : ", accept_alpha, nc * T},
        {"alpha_star : ", accept_alpha_star, nc * T},
        {"       eta : ", accept_eta, (nc + 2) * T},
        {"        mu : ", accept_mu, 3 * nc * T},
        {"         r : ", accept_r, (3 * nc + 6) * T},
        {"     sigma : ", accept_sigma, (nc + 2) * T},
        {"    vafrac : ", accept_varfrac, (nc + 2) * T},
        {"  gradient : ", accept_gradient, (nc + 2) * T},
        {"    length : ", accept_length, (nc + 2) * T},
        {"  fraction : ", accept_fraction, (nc + 2) * T},
        {" departure : ", accept_departure, (nc + 2) * T},
        {"    global : ", accept_global, T / 10},
        {"    center : ", accept_center, (nc + 2) * T},
    };
    log() << "Acceptance rates : " << std::endl;
    for (const rate_line& l : lines) log() << l.label << l.value / l.divisor << std::endl;
    if (cfg.model_test != 0) log() << "     model : " << accept_model / T << std::endl;
    log() << std::endl;
}

void print_counts(const data& d, bool with_frequency)
{
    d.log() << "Genotype counts (N) :" << std::endl;
    for (int j = 0; j < d.n_cohorts; ++j) {
        const std::array<int, 4>& n = d.N[j];
        d.log() << " cohort " << j << ": ";
        for (int k = 0; k < 4; ++k) d.log() << n[k] << " ";
        if (with_frequency) d.log() << "\t" << (2.0 * n[0] + n[1]) / (2.0 * (n[0] + n[1] + n[2]));
        d.log() << std::endl;
    }
}

namespace {

void print_values(std::ostream& out, const std::vector<double>& v)
{
    out << " ";
    for (double x : v) out << x << " ";
    out << std::endl;
}

void print_family_block(std::ostream& out, const char* name, const std::vector<double>& v, double mean, double var)
{
    out << name << std::endl;
    print_values(out, v);
    out << " mean = " << mean << " variance = " << var << std::endl << std::endl;
}

}  // namespace

void data::print_all()
{
    print_counts(*this, true);
    log() << std::endl << "Genotype proportions (lambda) :" << std::endl;
    for (int j = 0; j < n_cohorts; ++j) {
        log() << " cohort " << j << ": ";
        for (int k = 0; k < 4; ++k) log() << lambda[j][k] << " ";
        log() << std::endl;
    }
    log() << std::endl << "Class mean vectors (mu)" << std::endl;
    for (int j = 0; j < n_cohorts; ++j) {
        log() << " cohort " << j << ": ";
        for (int k = 0; k < 3; ++k) log() << "(" << mu[j][k][0] << " , " << mu[j][k][1] << ") ";
        log() << std::endl;
    }
    log() << std::endl << "Components of class mean vectors" << std::endl;
    print_family_block(log(), "gradient", gradient, gradient_mean, gradient_var);
    print_family_block(log(), "length", length, length_mean, length_var);
    print_family_block(log(), "fraction", fraction, fraction_mean, fraction_var);
    print_family_block(log(), "departure", departure, departure_mean, departure_var);
    log() << "center" << std::endl;
    for (int j = 0; j < n_cohorts; ++j) log() << " (" << center[j][0] << " , " << center[j][1] << ")" << std::endl;
    log() << " mean = (" << center_mean[0] << " , " << center_mean[1] << ") variance =  " << center_var << std::endl
              << std::endl;
    log() << "alpha" << std::endl;
    print_values(log(), alpha);
    log() << " mean = " << alpha_star << std::endl << std::endl;
    log() << "eta" << std::endl;
    print_values(log(), eta);
    log() << " mean = " << eta_mean << " variance = " << eta_var << std::endl << std::endl;
    log() << "Components of class covariances" << std::endl;
    print_family_block(log(), " sigma", sigma, sigma_mean, sigma_var);
    print_family_block(log(), " varfrac", varfrac, varfrac_mean, varfrac_var);
    log() << " r" << std::endl;
    for (int j = 0; j < n_cohorts; ++j) {
        log() << " cohort " << j << ": ";
        for (int k = 0; k < 3; ++k) log() << r[j][k] << " ";
        log() << std::endl;
    }
    log() << " mean = ";
    for (int k = 0; k < 3; ++k) log() << r_mean[k] << " ";
    log() << std::endl << " variance = ";
    for (int k = 0; k < 3; ++k) log() << r_var[k] << " ";
    log() << std::endl << std::endl;
}
