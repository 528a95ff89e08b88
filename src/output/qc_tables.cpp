#include "output/qc_tables.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "numeric/hardy_weinberg.hpp"
#include "output/result_set.hpp"
#include "output/snp_result.hpp"

namespace {

constexpr std::size_t block_size = 1 << 16;

// Sums in millionths: an |x + y| beyond this (far off any array's scale, about 1.2 on the
// priors') leaves the individual without a mean rather than risk the sum's range.
constexpr double xy_limit = 1000;

// plink's --check-sex thresholds of F on X: above it male, below it female.
constexpr double male_f = 0.8, female_f = 0.2;

// A number with 6 significant digits, or NA when it is not finite.
std::string general(double v)
{
    if (!std::isfinite(v)) return "NA";
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// An integer count of millionths, written with six decimals.
std::string millionths(long long v)
{
    const unsigned long long a = v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    char text[40];
    std::snprintf(text, sizeof text, "%s%llu.%06llu", v < 0 ? "-" : "", a / 1000000, a % 1000000);
    return text;
}

double ratio(long long a, long long b) { return b > 0 ? static_cast<double>(a) / static_cast<double>(b) : NAN; }

}  // namespace

std::string snps_table_name(const std::string& prefix) { return prefix + "_snps.tsv"; }
std::string samples_table_name(const std::string& prefix) { return prefix + "_samples.tsv"; }

qc_tables::qc_tables(const settings& s, const cohort_description& cohorts, result_set& set)
    : cfg_(s), cohorts_(cohorts), set_(set)
{
    snps_file_ = set.index_of(snps_table_name(s.output_prefix));
    samples_file_ = set.index_of(samples_table_name(s.output_prefix));
    for (std::size_t c = 0; c < cohorts.n_file_individuals.size(); ++c)
        for (int col = 0; col < cohorts.n_file_individuals[c]; ++col) {
            cohort_.push_back(static_cast<int>(c));
            column_.push_back(col);
            sex_.push_back(s.chrX ? cohorts.sex[c][static_cast<std::size_t>(col)] : 0);
            haploid_.push_back(is_haploid(s, cohorts, static_cast<int>(c), col));
        }
    counts_.resize(cohort_.size());

    // The Hardy-Weinberg counts of X are the females' (plink2's .hardy.x names them so).
    const std::string f = s.chrX ? "FEMALE_" : "";
    std::string header = "#CHROM\tPOS\tID\tSNP_ID\tA1\tAX\tMISSING_CT\tOBS_CT\tF_MISS\tA1_FREQ\tMAF\t" + f + "HOM_A1_CT\t" +
                         f + "HET_A1_CT\t" + f + "TWO_AX_CT\tO(" + f + "HET_A1)\tE(" + f + "HET_A1)\tP";
    for (const char* measure : {"info1_", "info2_"})
        for (int j = 0; j < s.result_cohorts(); ++j) header += '\t' + (measure + std::to_string(j));
    append(header + "\tLABELLED_START\n");
}

void qc_tables::append(const std::string& text)
{
    pending_ += text;
    if (pending_.size() < block_size) return;
    set_.write(snps_file_, pending_);
    pending_.clear();
}

void qc_tables::add(const snp_result& r)
{
    const snp_qc& qc = r.qc;
    const std::size_t n = counts_.size();
    if (qc.call.size() != n || qc.xy.size() != n || qc.sex_check_call.size() != (cfg_.chrX ? n : 0))
        inconsistent_results("SNP " + r.identity.SNP_ID + ": QC values of " + std::to_string(qc.call.size()) +
                             " individuals for " + std::to_string(n));
    ++n_snps_;
    long long missing = 0, a1_copies = 0, copies = 0;
    long long genotypes[3] = {0, 0, 0};   // of the Hardy-Weinberg test: every individual, or X's females
    for (std::size_t i = 0; i < n; ++i) {
        const int call = qc.call[i];
        if (call < 0) {
            ++missing;
            continue;
        }
        // A haploid call is class 0 or 2: one copy of A1 or of AX.
        copies += haploid_[i] ? 1 : 2;
        a1_copies += haploid_[i] ? (call == 0) : 2 - call;
        if (!haploid_[i] && (!cfg_.chrX || sex_[i] == 2)) ++genotypes[call];
    }
    const double a1_freq = ratio(a1_copies, copies);
    // Every individual's expected homozygosity at this SNP (as plink2's --het and plink's
    // --check-sex take it: p from every call, a haploid one counting one copy), in millionths.
    const long long expected_hom = copies > 0 ? std::llround((1 - 2 * a1_freq * (1 - a1_freq)) * 1e6) : 0;
    for (std::size_t i = 0; i < n; ++i) {
        individual_counts& c = counts_[i];
        c.missing += qc.call[i] < 0;
        const int sex_check = cfg_.chrX ? qc.sex_check_call[i] : qc.call[i];
        if (sex_check >= 0 && copies > 0) {
            (sex_check == 1 ? c.het : c.hom) += 1;
            c.expected_hom += expected_hom;
        }
        const double xy = qc.xy[i];
        if (std::isnan(xy)) continue;
        ++c.xy_count;
        if (std::fabs(xy) <= xy_limit)
            c.xy_sum += std::llround(xy * 1e6);
        else
            c.xy_beyond = true;
    }

    const snp& id = r.identity;
    const long long typed = genotypes[0] + genotypes[1] + genotypes[2];
    const double p = ratio(2 * genotypes[0] + genotypes[1], 2 * typed);
    std::string line = (id.chrom.empty() ? cfg_.chromosome : id.chrom) + '\t' + id.position + '\t' + id.rs + '\t' +
                       id.SNP_ID + '\t' + id.allele1 + '\t' + id.allele2 + '\t' + std::to_string(missing) + '\t' +
                       std::to_string(n) + '\t' + general(ratio(missing, static_cast<long long>(n))) + '\t' +
                       general(a1_freq) + '\t' + general(std::fmin(a1_freq, 1 - a1_freq));
    for (long long g : genotypes) line += '\t' + std::to_string(g);
    line += '\t' + general(ratio(genotypes[1], typed)) + '\t' + general(2 * p * (1 - p)) + '\t' +
            (typed > 0 ? general(hardy_weinberg_p(genotypes[0], genotypes[1], genotypes[2], work_)) : "NA");
    for (const auto* measure : {&r.values.info1, &r.values.info2})
        for (double v : *measure) line += '\t' + (r.failed ? "NA" : general(v));
    append(line + '\t' + (r.values.labelled_start ? "1" : "0") + '\n');
}

void qc_tables::finish()
{
    if (!pending_.empty()) set_.write(snps_file_, pending_);
    pending_.clear();
    std::string text = "#IID\tCOHORT\tMISSING_CT\tOBS_CT\tF_MISS\tO(HOM)\tHET_CT\tE(HOM)\tF\tHET_RATE\tXY_CT\tXY_SUM\tMEAN_XY";
    text += cfg_.chrX ? "\tPEDSEX\tSNPSEX\tSTATUS\n" : "\n";
    for (std::size_t i = 0; i < counts_.size(); ++i) {
        const individual_counts& c = counts_[i];
        const auto cohort = static_cast<std::size_t>(cohort_[i]);
        const long long n = c.hom + c.het;
        const double expected = static_cast<double>(c.expected_hom) / 1e6;
        // The inbreeding coefficient of plink2's --het: (O(HOM) - E(HOM)) / (calls - E(HOM)).
        const double f = n > 0 ? (static_cast<double>(c.hom) - expected) / (static_cast<double>(n) - expected) : NAN;
        const bool mean = c.xy_count > 0 && !c.xy_beyond;
        text += cohorts_.sample_ids[cohort][static_cast<std::size_t>(column_[i])] + '\t' + std::to_string(cohort) + '\t' + std::to_string(c.missing) + '\t' + std::to_string(n_snps_) + '\t' +
                general(ratio(c.missing, n_snps_)) + '\t' + std::to_string(c.hom) + '\t' + std::to_string(c.het) + '\t' +
                millionths(c.expected_hom) + '\t' + general(f) + '\t' + general(ratio(c.het, n)) + '\t' +
                std::to_string(c.xy_count) + '\t' + (c.xy_beyond ? "NA" : millionths(c.xy_sum)) + '\t' +
                general(mean ? static_cast<double>(c.xy_sum) / (1e6 * static_cast<double>(c.xy_count)) : NAN);
        if (cfg_.chrX) {
            const int suggested = f > male_f ? 1 : f < female_f ? 2 : 0;
            text += '\t' + std::to_string(sex_[i]) + '\t' + std::to_string(suggested) + '\t' +
                    (suggested != 0 && suggested == sex_[i] ? "OK" : "PROBLEM");
        }
        text += '\n';
        if (text.size() < block_size) continue;
        set_.write(samples_file_, text);
        text.clear();
    }
    set_.write(samples_file_, text);
}
