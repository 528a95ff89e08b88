#include "output/result_layout.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "state/error.hpp"

void inconsistent_results(const std::string& what)
{
    throw run_error("output: inconsistent results: " + what);
}

void check_sample_ids(const cohort_description& d)
{
    bool ok = d.sample_ids.size() == d.n_file_individuals.size();
    for (std::size_t c = 0; ok && c < d.sample_ids.size(); ++c)
        ok = static_cast<int>(d.sample_ids[c].size()) == d.n_file_individuals[c];
    if (!ok) inconsistent_results("the sample identifiers do not match the file columns");
}

std::vector<int> input_cohorts_of(const settings& s, const cohort_description& d, int j)
{
    const int n_inputs = static_cast<int>(s.input_files.size());
    if (static_cast<int>(d.n_file_individuals.size()) != n_inputs)
        inconsistent_results(std::to_string(n_inputs) + " input files but " +
                             std::to_string(d.n_file_individuals.size()) + " column counts");
    if (s.result_cohorts() == n_inputs) return {j};
    std::vector<int> all(static_cast<std::size_t>(n_inputs));
    for (int c = 0; c < n_inputs; ++c) all[static_cast<std::size_t>(c)] = c;
    return all;
}

const std::vector<int>& missing_of(const snp& s, int c)
{
    static const std::vector<int> none;
    return static_cast<std::size_t>(c) < s.missing.size() ? s.missing[static_cast<std::size_t>(c)]
                                                           : none;
}

double printed_call_value(double v)
{
    if (v > 0.999) return 1;
    if (v < 0.001) return 0;
    if (std::isnan(v)) return v;
    // The stream's fixed notation formats through the C library's "%.4f", so this is the same
    // decimal rounding, read back.
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", v);
    return std::strtod(text, nullptr);
}

bool fit_failed(const params& p)
{
    bool finite = std::isfinite(p.final_log_posterior);
    const auto check = [&finite](double v) { finite = finite && std::isfinite(v); };
    for (std::size_t j = 0; j < p.alpha.size(); ++j) {
        for (double v : {p.alpha[j], p.eta[j], p.sigma[j], p.varfrac[j]}) check(v);
        for (const xy& m : p.mu[j]) check(m[0]), check(m[1]);
        for (double v : p.r[j]) check(v);
    }
    return !finite;
}
