#pragma once
#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "state/records.hpp"

// The parameters of the mixture model for one SNP. The analysis holds one set as its current
// state and one as the best state of the random starts (the max store); saving and restoring the
// best is a copy of the whole set.

// The values that every cohort has one of, [c] each.
struct cohort_parameters {
    std::vector<std::array<double, 4>> lambda;      // genotype proportions [c][k], null class last
    std::vector<double> alpha;                      // frequency of the first allele
    std::vector<double> eta;                        // null-class share
    std::vector<class_means> mu;                    // class means, derived from the five shape values
    std::vector<double> length, gradient, fraction, departure;
    std::vector<xy> center;
    std::vector<double> sigma, varfrac;             // covariance scale and axis ratio
    std::vector<std::array<double, 3>> r;           // correlation of each genotype class
};

// The values the cohorts share: the hyperparameters of the per-cohort values.
struct hyperparameters {
    double alpha_star = 0;
    double eta_mean = 0, eta_var = 0;
    double length_mean = 0, length_var = 0;
    double gradient_mean = 0, gradient_var = 0;
    double fraction_mean = 0, fraction_var = 0;
    double departure_mean = 0, departure_var = 0;
    xy center_mean{0, 0};
    double center_var = 0;
    double sigma_mean = 0, sigma_var = 0;
    double varfrac_mean = 0, varfrac_var = 0;
    std::array<double, 3> r_mean{}, r_var{};
};

// Every field is a vector over the cohorts, so a field added without its line in
// for_each_cohort_parameter below changes this size and stops the build.
static_assert(sizeof(cohort_parameters) == 12 * sizeof(std::vector<double>),
              "every per-cohort value must be listed in for_each_cohort_parameter");

struct parameter_set : cohort_parameters, hyperparameters {};

// One SNP's result record: the per-cohort values at the end of the final phase (the reported
// ones are written to the parameter file), the separation measures, the final log posterior and
// whether a labelled start (-label_starts) seeded the final phase.
struct params : cohort_parameters {
    std::vector<double> info1;
    std::vector<double> info2;
    double final_log_posterior = 0;
    bool labelled_start = false;
};

// Whether a per-cohort value is written to the parameter file, or stays inside the analysis.
enum class reported : bool { no, yes };

// The one list of the per-cohort values: f(name, reported, field of each set...) for every field
// of cohort_parameters, in the order the parameter file gives the reported ones. Sizing, the
// max store's recycling, the global proposal's restore, the result record and the parameter
// file all go through it.
template <class F, class... Sets>
void for_each_cohort_parameter(F&& f, Sets&... sets)
{
    f("lambda", reported::no, sets.lambda...);
    f("alpha", reported::yes, sets.alpha...);
    f("eta", reported::yes, sets.eta...);
    f("mu", reported::yes, sets.mu...);
    f("length", reported::no, sets.length...);
    f("gradient", reported::no, sets.gradient...);
    f("fraction", reported::no, sets.fraction...);
    f("departure", reported::no, sets.departure...);
    f("center", reported::no, sets.center...);
    f("sigma", reported::yes, sets.sigma...);
    f("varfrac", reported::yes, sets.varfrac...);
    f("r", reported::yes, sets.r...);
}

// Calls f(suffix, number) for every number of one cohort's value, in the order the parameter
// file writes them: the value itself (suffix as given), or for each class k of a per-class value
// suffix + "_k", and for each coordinate d of a class mean suffix + "_k_d".
template <class F>
void for_each_number(double value, const std::string& suffix, F&& f)
{
    f(suffix, value);
}
template <class T, std::size_t n, class F>
void for_each_number(const std::array<T, n>& value, const std::string& suffix, F&& f)
{
    for (std::size_t i = 0; i < n; ++i) for_each_number(value[i], suffix + '_' + std::to_string(i), f);
}

// Calls f(column name, number) for every number of the reported values of every cohort, in the
// parameter file's order: "alpha_0", "alpha_1", ..., "mu_0_0_0", ..., "r_1_2".
template <class F>
void for_each_reported_number(const cohort_parameters& p, F&& f)
{
    for_each_cohort_parameter([&f](const char* name, reported r, const auto& values) {
        if (r == reported::no) return;
        for (std::size_t j = 0; j < values.size(); ++j)
            for_each_number(values[j], name + ('_' + std::to_string(j)), f);
    }, p);
}

// Every per-cohort value of `p` for n cohorts, zero.
inline void size_cohorts(cohort_parameters& p, std::size_t n)
{
    for_each_cohort_parameter([n](const char*, reported, auto& field) { field.assign(n, {}); }, p);
}
