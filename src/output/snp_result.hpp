#pragma once
#include <array>
#include <string>
#include <vector>

#include "state/cohorts.hpp"
#include "state/parameters.hpp"
#include "state/records.hpp"
#include "state/settings.hpp"

// A SNP's results as the result files give them, computed once where the SNP was analysed (on a
// worker thread with -threads: it reads the settings and the cohorts and changes nothing shared),
// so that the writers (output/output_files.hpp, output/vcf_file.hpp) only format and write them,
// in file order.

[[noreturn]] void inconsistent_results(const std::string& what);

// Checks that `sample_ids` names every file column of every input cohort.
void check_sample_ids(const cohort_description& d);

// The input cohorts whose individuals make up result cohort j, in column order: the cohort
// itself, or every input cohort when all stay pooled into one.
std::vector<int> input_cohorts_of(const settings& s, const cohort_description& d, int j);

// A genotype call value as the call files print it and the VCF's GP gives it: 1 above 0.999, 0
// below 0.001, otherwise (thresholds included) rounded to 4 decimals exactly as the fixed
// 4-decimal notation rounds it; a value that is not a number stays so.
double printed_call_value(double v);

// Whether a printed call value is written with decimals: every value but 0 and 1.
bool has_decimals(double printed);

// Whether input cohort c's individual in file column col is haploid: a male in X mode without
// -allow_male_hets, whose heterozygous class the model closes.
bool is_haploid(const settings& s, const cohort_description& cohorts, int c, int col);

// The genotype class called from an individual's printed call values: the most probable class
// (the lowest on a tie; of a haploid's classes 0 and 2 only) when its value is positive and at
// least `threshold` (-vcf_threshold); -1: no call. The VCF's GT and the QC tables give these.
int called_class(const std::array<double, 3>& printed, bool haploid, double threshold);

// Frequency of the second allele (VCF ALT) over all cohorts: 1 - alpha[j], alpha being the
// frequency of the first allele, averaged with the cohorts' analysed allele copies as weights.
// Not a number when no cohort has a copy.
double alt_allele_frequency(const std::vector<double>& alpha, const std::vector<int>& allele_copies);

// One sample of a SNP's VCF record.
struct vcf_sample {
    int ploidy = 2;                  // 1 for a male in X mode whose heterozygote class is closed
    std::array<int, 2> gt{-1, -1};   // GT: the first `ploidy` are allele indices of the record, -1: missing
    int n_gp = 0;                    // GP values: 0 for an individual not analysed, else as many as
                                     // its ploidy has genotypes
};

// The genotype fields and allele frequencies of a SNP's VCF record (with -vcf).
struct vcf_values {
    std::vector<vcf_sample> samples;   // every individual of every input cohort, in cohort and column order
    int n_genotypes = 0;               // genotypes of the record's alleles
    // [sample * n_genotypes + genotype]: GP in VCF genotype order (a haploid's: by allele), the
    // call values as printed, 0 for a genotype of other alleles; not a number: missing.
    std::vector<double> gp;
    std::vector<double> af;            // [ALT allele]: estimated frequency; not a number: unknown
};

// What a SNP adds to the QC tables (output/qc_tables.hpp), per individual of every input cohort
// in cohort and column order.
struct snp_qc {
    std::vector<signed char> call;        // called_class of the printed values; -1: none, or not analysed
    // X mode: the call the sex check counts, `call` except for an individual whose heterozygous
    // class the model closed (a declared male): his called class at the final parameters with
    // it open, as if he were diploid. Empty outside X mode.
    std::vector<signed char> sex_check_call;
    std::vector<double> xy;               // x + y as analysed (after -scale); not a number: missing
};

// Everything one SNP adds to the result files.
struct snp_result {
    snp identity;                      // SNP_ID, rs, position, alleles, VCF site (no points)
    // The fit gave numbers that are not finite: the calls are written missing, the parameters
    // and information measures NA, and the VCF has no INFO1, INFO2, LOGPOST.
    bool failed = false;
    params values;                     // parameters, information measures, final log posterior
    // [result cohort][file column of its input cohorts, in column order][class 0, 1, 2]: the
    // call values as printed; 0 0 0 for an individual not analysed on this SNP.
    std::vector<std::vector<std::array<double, 3>>> calls;
    bool decimals = false;             // some call value is written with decimals
    vcf_values vcf;                    // with -vcf
    snp_qc qc;
    std::string trace;                 // with -print_params
};

// The result of SNP `rec` (with its analysed points) from its fit `p` and its stored class values
// `calls` [result cohort][analysed individual] (sampled counts over the final phase's iterations
// after burn-in, or probabilities), `diploid` the class probabilities with the heterozygote open
// to every individual (same shape, or empty; data::diploid_probs), `trace` being its
// log-posterior trace. Throws when they do not match the cohorts.
void make_snp_result(const settings& s, const cohort_description& cohorts, const snp& rec, const params& p,
                     const std::vector<std::vector<std::array<double, 4>>>& calls,
                     const std::vector<std::vector<std::array<double, 4>>>& diploid, const std::string& trace,
                     snp_result& out);
