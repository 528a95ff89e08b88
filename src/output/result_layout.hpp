#pragma once
#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "state/cohorts.hpp"
#include "state/parameters.hpp"
#include "state/records.hpp"
#include "state/settings.hpp"

// How the stored results map onto the individuals of the input files: the one walk over file
// columns that every per-individual result file (call files, sample files, VCF) follows.

[[noreturn]] void inconsistent_results(const std::string& what);

// Checks that `sample_ids` names every file column of every input cohort.
void check_sample_ids(const cohort_description& d);

// The input cohorts whose individuals make up result cohort j, in column order: the cohort
// itself, or every input cohort when all stay pooled into one.
std::vector<int> input_cohorts_of(const settings& s, const cohort_description& d, int j);

// Individuals of input cohort c left out of SNP s (ascending file columns).
const std::vector<int>& missing_of(const snp& s, int c);

// A call value as the call files print it, read back: 1 above 0.999, 0 below 0.001, otherwise
// rounded to 4 decimals exactly as the fixed 4-decimal notation rounds it (not a number stays so).
double printed_call_value(double v);

// Whether a SNP's fit has no calls to give: its log posterior or a parameter is not a finite
// number. Such a SNP is written with every individual missing and its numbers as NA.
bool fit_failed(const params& p);

// Calls f(c, column, values) for every file column of the input cohorts making up result cohort
// j on SNP `rec`, in column order; `values` points at the individual's class values in
// `cohort_values` (the result cohort's, in analysed order), or is null for an individual left out
// of the SNP (every individual when `failed`). Throws when the values do not match the analysed
// individuals.
template <class F>
void for_each_individual(const cohort_description& d, const snp& rec, const std::vector<std::array<double, 4>>& cohort_values,
                         bool failed, const std::vector<int>& cohorts, F f)
{
    std::size_t present = 0;
    for (int c : cohorts)
        present += static_cast<std::size_t>(d.n_file_individuals[static_cast<std::size_t>(c)]) -
                   missing_of(rec, c).size();
    if (present != cohort_values.size())
        inconsistent_results("SNP " + rec.SNP_ID + ": " + std::to_string(cohort_values.size()) +
                             " call values for " + std::to_string(present) + " analysed individuals");
    std::size_t next = 0;
    for (int c : cohorts) {
        const auto& missing = missing_of(rec, c);
        std::size_t m = 0;
        for (int col = 0; col < d.n_file_individuals[static_cast<std::size_t>(c)]; ++col) {
            if (m < missing.size() && missing[m] == col) {
                ++m;
                f(c, col, static_cast<const std::array<double, 4>*>(nullptr));
            } else {
                f(c, col, failed ? nullptr : &cohort_values[next]);
                ++next;
            }
        }
    }
}
