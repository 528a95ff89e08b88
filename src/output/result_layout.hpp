#pragma once
#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "state/data.hpp"

// How the stored results map onto the individuals of the input files: the one walk over file
// columns that every per-individual result file (call files, sample files, VCF) follows.

[[noreturn]] void inconsistent_results(const std::string& what);

// Checks that `sample_ids` names every file column of every input cohort.
void check_sample_ids(const data& d);

// The input cohorts whose individuals make up result cohort j, in column order: the cohort
// itself, or every input cohort when all were pooled into one.
std::vector<int> input_cohorts_of(const data& d, int j);

// Individuals of input cohort c left out of SNP s (ascending file columns).
const std::vector<int>& missing_of(const snp& s, int c);

// A call value as the call files print it, read back: 1 above 0.999, 0 below 0.001, otherwise
// rounded to 4 decimals exactly as the fixed 4-decimal notation rounds it (not a number stays so).
double printed_call_value(double v);

// Whether a SNP's fit has no calls to give: its log posterior or a parameter is not a finite
// number. Such a SNP is written with every individual missing and its numbers as NA.
bool fit_failed(const params& p);

// Calls f(c, column, values) for every file column of the input cohorts making up result cohort
// j on SNP s, in column order; `values` points at the individual's stored class values, or is
// null for an individual left out of the SNP (every individual of a failed fit). Throws when the
// stored values do not match the analysed individuals.
template <class F>
void for_each_individual(const data& d, int s, int j, const std::vector<int>& cohorts, F f)
{
    const snp& rec = d.snps[static_cast<std::size_t>(s)];
    const auto& values = d.stored_calls[static_cast<std::size_t>(s)][static_cast<std::size_t>(j)];
    std::size_t present = 0;
    for (int c : cohorts)
        present += static_cast<std::size_t>(d.n_file_individuals[static_cast<std::size_t>(c)]) -
                   missing_of(rec, c).size();
    if (present != values.size())
        inconsistent_results("SNP " + rec.SNP_ID + ": cohort " + std::to_string(j) + " holds " +
                             std::to_string(values.size()) + " call values for " +
                             std::to_string(present) + " analysed individuals");
    const bool failed = fit_failed(d.results[static_cast<std::size_t>(s)]);
    std::size_t next = 0;
    for (int c : cohorts) {
        const auto& missing = missing_of(rec, c);
        std::size_t m = 0;
        for (int col = 0; col < d.n_file_individuals[static_cast<std::size_t>(c)]; ++col) {
            if (m < missing.size() && missing[m] == col) {
                ++m;
                f(c, col, static_cast<const std::array<double, 4>*>(nullptr));
            } else {
                f(c, col, failed ? nullptr : &values[next]);
                ++next;
            }
        }
    }
}
