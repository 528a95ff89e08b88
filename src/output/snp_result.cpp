#include "output/snp_result.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <limits>

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

bool has_decimals(double printed) { return printed != 0 && printed != 1; }

double alt_allele_frequency(const std::vector<double>& alpha, const std::vector<int>& allele_copies)
{
    double weighted = 0, copies = 0;
    for (std::size_t j = 0; j < alpha.size() && j < allele_copies.size(); ++j) {
        weighted += allele_copies[j] * (1 - alpha[j]);
        copies += allele_copies[j];
    }
    return copies > 0 ? weighted / copies : std::numeric_limits<double>::quiet_NaN();
}

namespace {

using class_values = std::array<double, 4>;

// Individuals of input cohort c left out of SNP s (ascending file columns).
const std::vector<int>& missing_of(const snp& s, int c)
{
    static const std::vector<int> none;
    return static_cast<std::size_t>(c) < s.missing.size() ? s.missing[static_cast<std::size_t>(c)]
                                                           : none;
}

constexpr std::size_t left_out = static_cast<std::size_t>(-1);

// Calls f(c, column, i) for every file column of the input cohorts making up result cohort j on
// SNP `rec`, in column order; i is the individual's place among the result cohort's analysed
// individuals (of its `n_analysed` call values and points), or `left_out`. Throws when the
// analysed individuals are not `n_analysed`.
template <class F>
void for_each_individual(const cohort_description& d, const snp& rec, std::size_t n_analysed,
                         const std::vector<int>& cohorts, F f)
{
    std::size_t present = 0;
    for (int c : cohorts)
        present += static_cast<std::size_t>(d.n_file_individuals[static_cast<std::size_t>(c)]) -
                   missing_of(rec, c).size();
    if (present != n_analysed)
        inconsistent_results("SNP " + rec.SNP_ID + ": " + std::to_string(n_analysed) +
                             " call values for " + std::to_string(present) + " analysed individuals");
    std::size_t next = 0;
    for (int c : cohorts) {
        const auto& missing = missing_of(rec, c);
        std::size_t m = 0;
        for (int col = 0; col < d.n_file_individuals[static_cast<std::size_t>(c)]; ++col) {
            if (m < missing.size() && missing[m] == col) {
                ++m;
                f(c, col, left_out);
            } else {
                f(c, col, next++);
            }
        }
    }
}

void check_result_sizes(const params& p, std::size_t n, const snp& rec)
{
    bool whole = p.info1.size() == n && p.info2.size() == n;
    for_each_cohort_parameter([&](const char*, reported r, const auto& values) {
        whole = whole && (r == reported::no || values.size() == n);
    }, p);
    if (!whole)
        inconsistent_results("SNP " + rec.SNP_ID + ": result record does not hold " + std::to_string(n) +
                             " cohorts");
}

// Whether a SNP's fit has no calls to give: its log posterior or a parameter is not a finite
// number.
bool fit_failed(const params& p)
{
    bool finite = std::isfinite(p.final_log_posterior);
    for_each_reported_number(p, [&finite](const std::string&, double v) { finite = finite && std::isfinite(v); });
    return !finite;
}

// The alleles of a SNP's VCF record as its genotype classes carry them: class k has 2 - k copies
// of allele A and k of allele B; a haploid's classes 0 and 2 are A and B.
struct vcf_site {
    int a, b, n_alleles;
    std::array<std::array<int, 2>, 3> diploid;   // the alleles of class k, the lower index first
    explicit vcf_site(const snp& rec)
        : a(rec.allele_a), b(rec.allele_b), n_alleles(rec.chrom.empty() ? 2 : static_cast<int>(rec.alleles.size())),
          diploid{{{a, a}, {std::min(a, b), std::max(a, b)}, {b, b}}}
    {
    }
    // GP lists every genotype of the record's alleles in VCF order: (j, k), j <= k, at
    // k (k + 1) / 2 + j; a haploid's by allele.
    int n_genotypes() const { return n_alleles * (n_alleles + 1) / 2; }
    std::size_t slot(int k, bool haploid) const
    {
        const auto& g = diploid[static_cast<std::size_t>(k)];
        return static_cast<std::size_t>(haploid ? g[0] : g[1] * (g[1] + 1) / 2 + g[0]);
    }
};

// Appends one individual's VCF sample from its printed call values (null: not analysed) and its
// called class (-1: none); a haploid individual has the two homozygous classes only.
void add_vcf_sample(const vcf_site& site, const std::array<double, 3>* printed, bool haploid, int call,
                    vcf_values& out)
{
    vcf_sample& g = out.samples.emplace_back();
    g.ploidy = haploid ? 1 : 2;
    const std::size_t first = out.gp.size();
    out.gp.resize(first + static_cast<std::size_t>(out.n_genotypes), 0.0);
    if (!printed) return;
    g.n_gp = haploid ? site.n_alleles : out.n_genotypes;
    for (int k = 0; k < 3; k += haploid ? 2 : 1) out.gp[first + site.slot(k, haploid)] = (*printed)[static_cast<std::size_t>(k)];
    if (call >= 0)
        for (int n = 0; n < g.ploidy; ++n)
            g.gt[static_cast<std::size_t>(n)] = site.diploid[static_cast<std::size_t>(call)][static_cast<std::size_t>(n)];
}

// The call values of stored class values as printed; sampled values are counts over `scale`
// iterations.
std::array<double, 3> printed_values(const class_values& v, double scale)
{
    return {printed_call_value(v[0] / scale), printed_call_value(v[1] / scale), printed_call_value(v[2] / scale)};
}

}  // namespace

bool is_haploid(const settings& s, const cohort_description& cohorts, int c, int col)
{
    if (!s.chrX || s.allow_male_hets) return false;
    const auto& codes = cohorts.sex[static_cast<std::size_t>(c)];
    if (static_cast<std::size_t>(col) >= codes.size())
        inconsistent_results("no sex code for column " + std::to_string(col) + " of cohort " + std::to_string(c));
    return codes[static_cast<std::size_t>(col)] == 1;
}

int called_class(const std::array<double, 3>& printed, bool haploid, double threshold)
{
    int best = -1;
    for (int k = 0; k < 3; k += haploid ? 2 : 1) {
        const double v = printed[static_cast<std::size_t>(k)];
        if (v > 0 && (best < 0 || v > printed[static_cast<std::size_t>(best)])) best = k;
    }
    return best >= 0 && printed[static_cast<std::size_t>(best)] >= threshold ? best : -1;
}

void make_snp_result(const settings& s, const cohort_description& cohorts, const snp& rec, const params& p,
                     const std::vector<std::vector<class_values>>& calls,
                     const std::vector<std::vector<class_values>>& diploid, const std::string& trace, snp_result& out)
{
    const auto n_results = static_cast<std::size_t>(s.result_cohorts());
    check_result_sizes(p, n_results, rec);
    bool shaped = calls.size() == n_results && rec.points.size() == n_results &&
                  (diploid.empty() || diploid.size() == n_results);
    for (std::size_t j = 0; shaped && j < n_results; ++j)
        shaped = rec.points[j].size() == calls[j].size() && (diploid.empty() || diploid[j].size() == calls[j].size());
    if (!shaped)
        inconsistent_results("SNP " + rec.SNP_ID + ": stored calls and points do not hold " +
                             std::to_string(n_results) + " cohorts alike");
    out.identity = snp{};
    out.identity.SNP_ID = rec.SNP_ID;
    out.identity.rs = rec.rs;
    out.identity.position = rec.position;
    out.identity.allele1 = rec.allele1;
    out.identity.allele2 = rec.allele2;
    out.identity.chrom = rec.chrom;
    out.identity.alleles = rec.alleles;
    out.identity.allele_a = rec.allele_a;
    out.identity.allele_b = rec.allele_b;
    out.failed = fit_failed(p);
    out.values = p;
    out.trace = trace;

    // Sampled values are counts over the final phase's iterations after burn-in.
    const double scale = s.sampling_final_phase ? static_cast<double>(s.final_iterations()) : 1.0;
    const vcf_site site(rec);
    vcf_values& vcf = out.vcf;
    vcf.samples.clear();
    vcf.gp.clear();
    vcf.n_genotypes = site.n_genotypes();
    std::vector<int> copies(n_results, 0);   // analysed allele copies per result cohort
    snp_qc& qc = out.qc;
    qc.call.clear();
    qc.sex_check_call.clear();
    qc.xy.clear();
    out.calls.resize(n_results);
    out.decimals = false;
    for (std::size_t j = 0; j < n_results; ++j) {
        out.calls[j].clear();
        for_each_individual(cohorts, rec, calls[j].size(), input_cohorts_of(s, cohorts, static_cast<int>(j)),
                            [&](int c, int col, std::size_t i) {
            const bool called = i != left_out && !out.failed;
            std::array<double, 3>& printed = out.calls[j].emplace_back();
            if (called) {
                printed = printed_values(calls[j][i], scale);
                for (double v : printed) out.decimals = out.decimals || has_decimals(v);
            }
            const bool haploid = is_haploid(s, cohorts, c, col);
            const int call = called ? called_class(printed, haploid, s.vcf_threshold) : -1;
            qc.call.push_back(static_cast<signed char>(call));
            qc.xy.push_back(i == left_out ? std::numeric_limits<double>::quiet_NaN()
                                          : rec.points[j][i][0] + rec.points[j][i][1]);
            if (s.chrX) {
                const bool closed = haploid && called && !diploid.empty();
                qc.sex_check_call.push_back(static_cast<signed char>(
                    closed ? called_class(printed_values(diploid[j][i], 1), false, s.vcf_threshold) : call));
            }
            if (!s.write_vcf) return;
            add_vcf_sample(site, called ? &printed : nullptr, haploid, call, vcf);
            if (called) copies[j] += haploid ? 1 : 2;
        });
    }
    vcf.af.clear();
    if (!s.write_vcf) return;
    // Frequencies of the ALT alleles: B's is the estimate, A's its complement, others' 0.
    const double af = alt_allele_frequency(p.alpha, copies);
    vcf.af.assign(static_cast<std::size_t>(site.n_alleles - 1), 0.0);
    for (int x = 1; x < site.n_alleles; ++x)
        if (x == site.a || x == site.b) vcf.af[static_cast<std::size_t>(x - 1)] = x == site.b ? af : 1 - af;
}
