#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "state/cohorts.hpp"
#include "state/records.hpp"
#include "state/settings.hpp"

class result_set;

// The VCF of a run: PREFIX.vcf.gz (BGZF-compressed) and its CSI index PREFIX.vcf.gz.csi.
std::string vcf_file_name(const std::string& prefix);
std::string vcf_index_name(const std::string& prefix);

// One individual's FORMAT values on one SNP.
struct vcf_genotype {
    int ploidy = 2;                 // 1 for a male in X mode whose heterozygote class is closed
    int call = -1;                  // genotype class 0, 1, 2 (haploid: 0 or 2), or -1: GT missing
    int n_gp = 0;                   // GP values: ploidy + 1, or 0 for an individual not analysed
    std::array<double, 3> gp{};     // classes 0, 1, 2 (haploid: 0, 2) as the call file prints them
};

// The FORMAT values of one individual from its stored class values (`values` null: left out of
// the SNP), divided by `scale` and rounded as the call files print them. GT is the most probable
// class (lowest class on a tie) when its printed value is positive and at least `threshold`.
vcf_genotype vcf_genotype_of(const std::array<double, 4>* values, double scale, bool haploid,
                             double threshold);

// Frequency of the second allele (VCF ALT) over all cohorts: 1 - alpha[j], alpha being the
// frequency of the first allele, averaged with the cohorts' analysed allele copies as weights.
// Not a number when no cohort has a copy.
double alt_allele_frequency(const std::vector<double>& alpha, const std::vector<int>& allele_copies);

// One SNP's VCF record, computed where the SNP is analysed and encoded where it is written.
struct vcf_values {
    std::vector<std::int32_t> gt;       // two entries per sample (a haploid's second: vector end)
    std::vector<float> gp;              // the record's genotypes per sample (missing, vector end as htslib marks them)
    std::vector<float> af;              // one per ALT allele; may be htslib's missing value
    std::vector<float> info1, info2;    // empty for a failed fit
    float log_posterior = 0;
    bool measured = false;              // INFO1, INFO2 and LOGPOST present
};

// The record values of a SNP from its class values [result cohort][analysed individual]
// (sampled counts divided by `scale`), every individual of every input cohort in cohort and
// column order.
void vcf_values_of(const settings& s, const cohort_description& cohorts, const snp& rec, const params& p,
                   const std::vector<std::vector<std::array<double, 4>>>& values, double scale, vcf_values& out);

// The VCF of a run and its index, written into their temporaries of the run's result set as the
// SNPs come. Every failure throws run_error naming the file.
class vcf_writer {
public:
    // Writes the header: one sample per individual of every input cohort.
    vcf_writer(const settings& s, const cohort_description& cohorts, result_set& set);
    ~vcf_writer();
    vcf_writer(const vcf_writer&) = delete;
    vcf_writer& operator=(const vcf_writer&) = delete;

    // Appends the record of SNP `rec`, whose position the reader has checked: a positive integer,
    // not below the one before on its contig.
    void write(const snp& rec, const vcf_values& v);
    // Saves the index and closes both files, flushed to the device.
    void finish();

private:
    struct state;
    std::unique_ptr<state> state_;
};
