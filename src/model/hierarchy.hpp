#pragma once
#include <utility>

#include "numeric/elementary.hpp"
#include "state/data.hpp"

// Shared pieces of the hierarchical model: the mean–spread Beta and mean–variance Gamma
// parametrisations, the Gamma log density, and the one hyperparameter update that every
// family uses. All densities are on the natural log scale.

// 2*pi as the model's normal densities take it.
constexpr double two_pi = 6.283185308;

// Beta(beta_a(m, v), beta_b(m, v)) has mean m and variance m(1 - m)v; m, v in (0, 1).
inline double beta_a(double m, double v) { return m * (1 - v) / v; }
inline double beta_b(double m, double v) { return (1 - m) * (1 - v) / v; }

// Draws from the mean–spread Beta and the mean–variance Gamma (genbet takes single-precision shapes).
double beta_prior_draw(double m, double v);
double gamma_prior_draw(double m, double v);
// Says that draws from the Gamma (gamma) or Beta prior of mean m and spread v will come, so
// that their strip tables are laid ahead (speed only).
void expect_prior_draw(bool gamma, double m, double v);

// Log density at x of Normal(mean, var), the prior of one centre coordinate.
inline double centre_log_density(double x, double mean, double var)
{
    return -0.5 * (portable::log(two_pi * var) + (x - mean) * (x - mean) / var);
}

// Gamma log density by shape and rate. Non-positive x gives NaN or -inf, which no
// acceptance test takes.
inline double gamma_log_density(double x, double shape, double rate)
{
    return (shape - 1) * portable::log(x) + shape * portable::log(rate) - portable::lgamma(shape) - rate * x;
}

// Log prior of one per-cohort value of `f` given its mean and spread hyperparameters
// (mean–spread Beta for the bounded families, mean–variance Gamma for the positive ones).
double family_log_prior(family f, double x, double mean, double var);

// The per-cohort value of family `f` in cohort j (class k for r; k is ignored otherwise).
double& family_value(data& d, family f, int j, int k);
// The mean or spread hyperparameter of `f` (class k for r).
double& family_hyper(data& d, family f, hyper_role role, int k);

// Whether the values of family `f` are positive with mean–variance Gamma priors (length,
// gradient, sigma) rather than in (0, 1) with mean–spread Beta priors.
bool gamma_family(family f);

// The mean and spread hyperparameters of family `f` (class k for r) at the start of a chain: the
// means of their hyperpriors, the spread of the cluster-shape families twice that.
std::pair<double, double> starting_hyperparameters(const settings& s, family f, int k);

// One Metropolis–Hastings step (or, when maximising, one improvement step) of the mean or
// spread hyperparameter of `f`, class k for r. Draws one proposal and, when sampling, one uniform.
void update_hyperparameter(data& d, family f, hyper_role role, int k);

// The log posterior without the "-names" trace lines of its parts: the value a maximising-phase
// trace reports as "old".
double untraced_log_posterior(data& d);

// The "-names" trace of an accepted maximising-phase move: "accept", then the log posterior
// before and after the move and the move's log ratio.
void trace_acceptance(data& d, double lp_before, double log_ratio);
