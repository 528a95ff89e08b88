#pragma once
// A hand-made run state for the model tests: one SNP whose cohorts hold the given points, every
// parameter at the documented values below (the priors' means, as a fresh start has them), the
// calls made by maximising, and a seeded generator installed. A test that writes calls, clump
// calls or points itself calls `calls_changed()` after.
#include <cmath>
#include <memory>
#include <sstream>
#include <vector>

#include "../support.hpp"
#include "numeric/random.hpp"
#include "state/data.hpp"

// A run's settings, its cohort description and the analysis state of one SNP over them in one
// object, so that a test sets all alike (d.chrX, d.sex, d.calls); the console output is kept,
// not shown.
struct console_text {
    std::ostringstream console;
};
struct test_state : settings, cohort_description, console_text, data {
    test_state() : data(static_cast<const settings&>(*this), static_cast<const cohort_description&>(*this), console) {}
};

namespace model_state {

// The generator every model test draws from, freshly seeded.
inline void install_generator(double seed = 0.12345)
{
    static std::unique_ptr<MT> generator;
    generator = std::make_unique<MT>(seed);
    Random::Set(*generator);
}

// Two cohorts of five points near the class means of the parameters below: (1.05, 0.35) for
// class 0, (0.75, 0.75) for class 1 and (0.35, 1.05) for class 2.
inline std::vector<std::vector<xy>> two_small_cohorts()
{
    return {{xy{1.05, 0.35}, xy{1.00, 0.30}, xy{0.75, 0.78}, xy{0.36, 1.04}, xy{0.80, 0.72}},
            {xy{1.10, 0.40}, xy{0.70, 0.74}, xy{0.33, 1.00}, xy{0.30, 1.08}, xy{1.02, 0.33}}};
}

inline void make_state(test_state& d, const std::vector<std::vector<xy>>& cohorts)
{
    install_generator();
    const std::size_t nc = cohorts.size();
    snp s;
    s.rs = "rs1";
    s.points = cohorts;
    s.cohort_index.assign(nc, {});
    s.missing.assign(nc, {});
    d.current = s;
    d.n_cohorts = static_cast<int>(nc);
    d.n_individuals.clear();
    for (std::size_t j = 0; j < nc; ++j) {
        d.current.cohort_index[j].assign(cohorts[j].size(), static_cast<int>(j));
        d.n_individuals.push_back(static_cast<int>(cohorts[j].size()));
    }
    d.n_file_individuals = d.n_individuals;
    d.input_files.assign(nc, "cohort");
    d.sex_counts.assign(nc, {0, 0, 0});
    d.point_sex_counts.assign(nc, {0, 0, 0});
    d.point_sex.assign(nc, {});
    d.set_storage();
    d.calc_range(d.current);

    d.alpha_prior = {60, 60};
    d.alpha_star = 0.5;
    d.eta_mean = 3.0 / 103, d.eta_var = 5.0 / 105;
    d.length_mean = 1, d.length_var = 0.02;
    d.gradient_mean = 1, d.gradient_var = 0.02;
    d.fraction_mean = 0.5, d.fraction_var = 2.0 / 101;
    d.departure_mean = 0.2, d.departure_var = 2.0 / 101;
    d.center_mean = {0.7, 0.7};
    d.center_var = 3e-4;
    d.sigma_mean = 0.25, d.sigma_var = 0.01;
    d.varfrac_mean = 0.25, d.varfrac_var = 1.0 / 101;
    d.r_mean = {1.0 / 51, 10.0 / 11, 1.0 / 51};
    d.r_var = {1.0 / 101, 1.0 / 101, 1.0 / 101};
    for (std::size_t j = 0; j < nc; ++j) {
        d.alpha[j] = 0.5, d.eta[j] = 0.03;
        d.lambda[j] = {0.25 * 0.97, 0.5 * 0.97, 0.25 * 0.97, 0.03};
        d.center[j] = {0.7, 0.7};
        d.length[j] = 1, d.gradient[j] = 1, d.fraction[j] = 0.5, d.departure[j] = 0.2;
        d.sigma[j] = 0.1, d.varfrac[j] = 0.5;
        d.r[j] = d.r_mean;
        d.set_mu_from_params(static_cast<int>(j));
    }
    d.sampling = false;
    d.update_calls();
    d.sampling = true;
}

// X mode with the given sex code of every point (0 unknown, 1 male, 2 female).
inline void set_sexes(test_state& d, const std::vector<std::vector<int>>& codes)
{
    d.chrX = true;
    d.sex = d.point_sex = codes;
    for (std::size_t j = 0; j < codes.size(); ++j)
        for (int c : codes[j]) d.point_sex_counts[j][c] += 1;
    d.sex_counts = d.point_sex_counts;
}

// Every individual of cohort j in the null class: the cohort's genotype class likelihoods are
// then exactly 0, and its parameters feel their priors alone.
inline void call_all_null(data& d, int j)
{
    for (int& c : d.calls[j]) c = 3;
    d.N[j] = {0, 0, 0, d.n_individuals[j]};
    d.calls_changed();
}

}  // namespace model_state
