#pragma once
#include <array>
#include <string>
#include <vector>

class data;
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

// Writes the VCF and its index from the stored results (sampled counts divided by `scale`) into
// their temporaries of the run's result set: one record per SNP, every individual of every input
// cohort as a sample in cohort and column order. Throws run_error naming the file on any failure.
void write_vcf(const data& d, double scale, result_set& set);
