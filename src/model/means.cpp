#include <cmath>
#include <iostream>

#include "model/geometry.hpp"
#include "model/hierarchy.hpp"
#include "numeric/densities.hpp"
#include "numeric/elementary.hpp"
#include "state/data.hpp"

namespace {

void print_means(std::ostream& out, const class_means& m)
{
    for (int k = 0; k < 3; ++k)
        for (int c = 0; c < 2; ++c) out << m[k][c] << std::endl;
}

}  // namespace

void data::set_mu_from_params(int j)
{
    const double g = gradient[j], f = fraction[j], dep = departure[j];
    const double cx = center[j][0], cy = center[j][1];
    const double a = length[j] / std::sqrt(1 + g * g);   // extent of the 0–2 segment along x
    class_means& m = mu[j];
    m[0] = {cx + 0.5 * a, cy - 0.5 * a * g};
    m[2] = {cx - 0.5 * a, cy + 0.5 * a * g};
    const double px = m[2][0] + a * f;
    const double py = m[2][1] - a * f * g;
    const double h = m[2][1] - py;   // room up to the horizontal line through the class-2 mean
    const double w = m[0][0] - px;   // room right to the vertical line through the class-0 mean
    // Step along (g, 1) at which the push first reaches either line; an undefined comparison
    // takes the vertical line.
    const double step = (1 / g > h / w) ? h : w / g;
    m[1] = {px + g * dep * step, py + dep * step};
    if (m[1][0] > m[0][0]) {
        log() << "mu[j][1][0] > mu[j][0][0] in set_mu_from_params" << std::endl;
        log() << departure[j] << std::endl;
        print_means(log(), m);
    }
}

void data::set_params_from_mu(int j)
{
    const class_means& m = mu[j];
    const double dx = m[0][0] - m[2][0], dy = m[0][1] - m[2][1];
    length[j] = std::sqrt(dx * dx + dy * dy);
    gradient[j] = -dy / dx;
    fraction[j] = (dx * (m[1][0] - m[2][0]) + dy * (m[1][1] - m[2][1])) / (dx * dx + dy * dy);
    const double px = m[2][0] + fraction[j] * dx;
    const double py = m[2][1] + fraction[j] * dy;
    const double q = (m[2][1] - m[1][1]) / (m[0][0] - m[1][0]);
    // The 0.001 keeps a class-1 mean on the segment at a small positive departure.
    if (1 / gradient[j] > q)
        departure[j] = (m[1][1] - py + 0.001) / (m[2][1] - py);
    else
        departure[j] = (m[1][0] - px + 0.001) / (m[0][0] - px);
    if (departure[j] > 1) {
        log() << "departure[j] > 1 in set_params_from_mu " << j << std::endl;
        print_means(log(), m);
    }
    center[j] = {(m[0][0] + m[2][0]) / 2, (m[0][1] + m[2][1]) / 2};
}

double data::p_mu(int j)
{
    const double p_gradient = family_log_prior(family::gradient, gradient[j], gradient_mean, gradient_var);
    const double p_length = family_log_prior(family::length, length[j], length_mean, length_var);
    const double p_fraction = family_log_prior(family::fraction, fraction[j], fraction_mean, fraction_var);
    const double p_departure = family_log_prior(family::departure, departure[j], departure_mean, departure_var);
    const double p_center = centre_log_density(center[j][0], center_mean[0], center_var) +
                            centre_log_density(center[j][1], center_mean[1], center_var);
    const double shape = p_gradient + p_length + p_fraction + p_departure + p_center;
    return cfg.geometry.active ? shape + geometry_log_prior(*this, j) : shape;
}

double data::p_mu()
{
    double total = 0;
    for (int j = 0; j < n_cohorts; ++j) total += p_mu(j);
    total += gamma_log_density(gradient_mean, cfg.gradient_mean_prior[0], cfg.gradient_mean_prior[1]);
    total += gamma_log_density(gradient_var, cfg.gradient_var_prior[0], cfg.gradient_var_prior[1]);
    total += gamma_log_density(length_mean, cfg.length_mean_prior[0], cfg.length_mean_prior[1]);
    total += gamma_log_density(length_var, cfg.length_var_prior[0], cfg.length_var_prior[1]);
    total += log_dbeta(departure_mean, cfg.departure_mean_prior[0], cfg.departure_mean_prior[1]);
    total += log_dbeta(departure_var, cfg.departure_var_prior[0], cfg.departure_var_prior[1]);
    total += log_dbeta(fraction_mean, cfg.fraction_mean_prior[0], cfg.fraction_mean_prior[1]);
    total += log_dbeta(fraction_var, cfg.fraction_var_prior[0], cfg.fraction_var_prior[1]);
    // Normal(1, 1000) hyperprior of each centre-mean coordinate.
    total += -0.5 * (portable::log(6283.185308) + (center_mean[0] - 1) * (center_mean[0] - 1) / 1000);
    total += -0.5 * (portable::log(6283.185308) + (center_mean[1] - 1) * (center_mean[1] - 1) / 1000);
    // Scaled inverse chi-square of the centre variance.
    const double nu = cfg.center_var_prior_df, s2 = cfg.center_var_prior_mean;
    total += (nu / 2) * portable::log(nu * s2 / 2) - portable::lgamma(nu / 2) - (1 + nu / 2) * portable::log(center_var) -
             nu * s2 / (2 * center_var);
    return total;
}
