#pragma once
// A hand-made run state for the model tests: one SNP whose cohorts hold the given points, every
// parameter and hyperparameter at a fixed, documented value, and a seeded generator installed.
// A test that writes calls, clump calls or points directly must call `calls_changed()` after.
#include <array>
#include <cmath>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <boost/math/distributions/beta.hpp>
#include <boost/math/distributions/gamma.hpp>
#include <boost/math/distributions/inverse_chi_squared.hpp>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/special_functions/gamma.hpp>

#include "numeric/random.hpp"
#include "state/data.hpp"

namespace model_fixture {

constexpr double seed = 0.12345;

// The generator every model test draws from. Re-seeding restarts the process-wide MT19937
// state, so each test that calls `install_generator` sees the same draw sequence.
inline void install_generator(double s = seed)
{
    static MT generator(s);
    { MT reseed(s); }   // seeds the shared state; its destruction leaves the installed one alone
    Random::Set(generator);
}

// Silences std::cout while alive (the state set-up prints progress lines).
class quiet {
public:
    quiet() : old_(std::cout.rdbuf(sink_.rdbuf())) {}
    ~quiet() { std::cout.rdbuf(old_); }
    quiet(const quiet&) = delete;
    quiet& operator=(const quiet&) = delete;

private:
    std::ostringstream sink_;
    std::streambuf* old_;
};

// Two cohorts of five points on the scale of the fixture's cluster shape: the class-0, class-2
// and class-1 means lie near (1.05, 0.35), (0.35, 1.05) and (0.75, 0.75).
inline std::vector<std::vector<xy>> two_small_cohorts()
{
    return {{xy{1.05, 0.35}, xy{1.00, 0.30}, xy{0.75, 0.78}, xy{0.36, 1.04}, xy{0.80, 0.72}},
            {xy{1.10, 0.40}, xy{0.70, 0.74}, xy{0.33, 1.00}, xy{0.30, 1.08}, xy{1.02, 0.33}}};
}

// Sets the per-cohort and shared parameters of every family to the values below (the priors'
// means, as a fresh start has them), the class means from the shape parameters, lambda from
// Hardy–Weinberg with eta, and the calls by maximising. `sampling` is left true.
inline void set_parameters(data& d)
{
    d.alpha_prior = {60, 60};                 // reference allele frequency 0.5, strength 120
    d.c_alpha_prior_snp = d.c_alpha_prior;    // 0.01
    d.alpha_star = 0.5;
    d.eta_mean = d.eta_mean_prior[0] / (d.eta_mean_prior[0] + d.eta_mean_prior[1]);
    d.eta_var = d.eta_var_prior[0] / (d.eta_var_prior[0] + d.eta_var_prior[1]);
    d.length_mean = 1, d.length_var = 0.02;
    d.gradient_mean = 1, d.gradient_var = 0.02;
    d.fraction_mean = 0.5, d.fraction_var = 2.0 / 101;
    d.departure_mean = 0.2, d.departure_var = 2.0 / 101;
    d.center_mean = {0.7, 0.7};
    d.center_var = 3e-4;
    d.sigma_mean = 0.25, d.sigma_var = 0.01;
    d.varfrac_mean = 0.25, d.varfrac_var = 1.0 / 101;
    for (int k = 0; k < 3; ++k) {
        d.r_mean[k] = d.r_mean_prior.a[k] / (d.r_mean_prior.a[k] + d.r_mean_prior.b[k]);
        d.r_var[k] = d.r_var_prior.a[k] / (d.r_var_prior.a[k] + d.r_var_prior.b[k]);
    }
    for (int j = 0; j < d.n_cohorts; ++j) {
        d.alpha[j] = 0.5;
        d.eta[j] = 0.03;
        const double a = d.alpha[j], e = d.eta[j];
        d.lambda[j] = {a * a * (1 - e), 2 * a * (1 - a) * (1 - e), (1 - a) * (1 - a) * (1 - e), e};
        d.center[j] = {0.7, 0.7};
        d.length[j] = 1;
        d.gradient[j] = 1;
        d.fraction[j] = 0.5;
        d.departure[j] = 0.2;
        d.sigma[j] = 0.1;
        d.varfrac[j] = 0.5;
        d.r[j] = d.r_mean;
        d.set_mu_from_params(j);
    }
    d.sampling = false;
    d.update_calls();
    d.sampling = true;
}

// One SNP with the given cohorts (no missing individuals, unknown sexes, autosomal), storage
// sized, the range of the points computed, parameters set as in `set_parameters`, and the
// fixture generator installed. An empty list gives a state with no cohorts.
inline void make_state(data& d, const std::vector<std::vector<xy>>& cohorts)
{
    quiet q;
    install_generator();
    const int nc = static_cast<int>(cohorts.size());
    snp s;
    s.position = "1";
    s.SNP_ID = "snp1";
    s.rs = "rs1";
    s.allele1 = "A";
    s.allele2 = "G";
    s.prior_allele_freq = 0.5;
    s.points = cohorts;
    s.cohort_index.assign(cohorts.size(), {});
    s.missing.assign(cohorts.size(), {});
    for (int j = 0; j < nc; ++j) s.cohort_index[j].assign(cohorts[j].size(), j);
    d.snps = {s};
    d.n_snps = 1;
    d.current_snp = 0;
    d.n_cohorts = nc;
    d.n_individuals.assign(cohorts.size(), 0);
    d.n_file_individuals.assign(cohorts.size(), 0);
    d.input_files.clear();
    for (int j = 0; j < nc; ++j) {
        d.n_individuals[j] = static_cast<int>(cohorts[j].size());
        d.n_file_individuals[j] = d.n_individuals[j];
        d.input_files.push_back("cohort" + std::to_string(j + 1) + ".txt");
    }
    d.sex_counts.assign(cohorts.size(), {0, 0, 0});
    d.point_sex.assign(cohorts.size(), {});
    d.point_sex_counts.assign(cohorts.size(), {0, 0, 0});
    for (int j = 0; j < nc; ++j) d.point_sex[j].assign(cohorts[j].size(), 0);
    d.set_storage();
    d.calc_range(d.snps[0]);
    set_parameters(d);
}

// X mode with the given sex code (0 unknown, 1 male, 2 female) of every point: chrX on,
// point_sex and point_sex_counts filled. Call after `make_state`; the calls are not redone.
inline void set_sexes(data& d, const std::vector<std::vector<int>>& codes)
{
    d.chrX = true;
    d.sex = codes;
    d.point_sex = codes;
    d.point_sex_counts.assign(codes.size(), {0, 0, 0});
    for (std::size_t j = 0; j < codes.size(); ++j)
        for (int c : codes[j]) d.point_sex_counts[j][c] += 1;
    d.sex_counts = d.point_sex_counts;
}

// Approximation mode: the points of each cohort clumped on a grid of `grid` cells per axis.
// Call after `make_state` (and after `set_sexes` for X mode); every clump starts in class 3.
inline void make_clumped(data& d, int grid)
{
    quiet q;
    d.approx_grid = grid;
    d.approx_mode = 1;
    d.clumped = true;
    d.clump_data(d.snps[0]);
}

// Independent log densities for checking the model, from Boost.Math and textbook forms (true pi).
namespace reference {

inline double log_beta(double x, double a, double b)
{
    return std::log(boost::math::pdf(boost::math::beta_distribution<>(a, b), x));
}
// Gamma by shape and rate.
inline double log_gamma(double x, double shape, double rate)
{
    return std::log(boost::math::pdf(boost::math::gamma_distribution<>(shape, 1 / rate), x));
}
inline double log_normal(double x, double mean, double var)
{
    return std::log(boost::math::pdf(boost::math::normal_distribution<>(mean, std::sqrt(var)), x));
}
// Scaled inverse chi-square with nu degrees of freedom and scale s2.
inline double log_scaled_inv_chi2(double x, double nu, double s2)
{
    return std::log(boost::math::pdf(boost::math::inverse_chi_squared_distribution<>(nu, s2), x));
}
// Bivariate normal with variances vx, vy and correlation coefficient rho.
inline double log_bivariate_normal(double x, double y, double mx, double my, double vx, double vy, double rho)
{
    const double zx = (x - mx) / std::sqrt(vx), zy = (y - my) / std::sqrt(vy);
    const double one_minus = 1 - rho * rho;
    return -std::log(2 * M_PI * std::sqrt(vx * vy * one_minus)) -
           (zx * zx - 2 * rho * zx * zy + zy * zy) / (2 * one_minus);
}
// Dirichlet log density of the proportions l with parameters a (entries with a = 0 left out),
// without the normaliser lnGamma(sum of a).
inline double log_dirichlet_kernel(const std::array<double, 4>& l, const std::array<double, 4>& a)
{
    double total = 0;
    for (int k = 0; k < 4; ++k)
        if (a[k] > 0) total += (a[k] - 1) * std::log(l[k]) - boost::math::lgamma(a[k]);
    return total;
}
// Log density of class k (0, 1, 2; 3 the null class) of cohort j at (x, y), from the class
// variances: class 0 has variances (s^2, t^2 s^2), class 1 (s^2, s^2), class 2 (t^2 s^2, s^2).
inline double log_class_density(const data& d, int j, int k, double x, double y)
{
    if (k == 3) return log_bivariate_normal(x, y, 0.89, 0.89, 100, 100, 0);
    const double s2 = d.sigma[j] * d.sigma[j], t2 = d.varfrac[j] * d.varfrac[j];
    const double vx = k == 2 ? t2 * s2 : s2, vy = k == 0 ? t2 * s2 : s2;
    return log_bivariate_normal(x, y, d.mu[j][k][0], d.mu[j][k][1], vx, vy, d.r[j][k]);
}

}  // namespace reference

}  // namespace model_fixture
