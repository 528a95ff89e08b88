#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "state/cohorts.hpp"
#include "state/settings.hpp"

class result_set;
struct snp_result;

// The quality-control tables of every run, files of its result set (the same temporaries and
// commit as the others):
//   PREFIX_snps.tsv     a line per SNP as it comes: call rate, allele frequency, genotype counts
//                       and the Hardy-Weinberg exact test (females only in X mode), the
//                       separation measures, whether a labelled start won;
//   PREFIX_samples.tsv  a line per individual of every input cohort, at the end, from counts
//                       added up SNP by SNP (memory per individual, none per SNP): call rate,
//                       homozygosity and heterozygosity, mean x + y; in X mode the sex check.
// Tab-separated with a header line beginning "#"; columns are named as plink2's --missing,
// --freq, --hardy and --het reports and plink's --check-sex report name them, where they have
// one; NA marks a value that cannot be computed. A call is the VCF's GT (called_class at
// -vcf_threshold).
//
// Every sum of the sample table is an integer (E(HOM) and XY_SUM in millionths, written with six
// decimals), so that the tables of SNP ranges add up exactly to those of one run: the workflow
// merges chunks' sample tables by adding their columns (workflow/merge_chunks.py, which derives
// the other columns as samples_table_line does).
std::string snps_table_name(const std::string& prefix);
std::string samples_table_name(const std::string& prefix);

class qc_tables {
public:
    // Writes the header of the SNP table.
    qc_tables(const settings& s, const cohort_description& cohorts, result_set& set);
    // One SNP, in file order: its line of the SNP table, its calls into the individuals' counts.
    void add(const snp_result& r);
    // Writes what is held back and the sample table.
    void finish();

private:
    // What the sample table adds up for one individual.
    struct individual_counts {
        long long missing = 0;            // SNPs without a call
        long long hom = 0, het = 0;       // homozygous and heterozygous calls (X mode: sex-check calls)
        long long expected_hom = 0;       // millionths: sum over those SNPs of 1 - 2 p (1 - p)
        long long xy_count = 0;           // SNPs with intensities
        long long xy_sum = 0;             // millionths: sum of their x + y
        bool xy_beyond = false;           // some |x + y| beyond xy_limit: no mean
    };
    void append(const std::string& text);

    const settings& cfg_;
    const cohort_description& cohorts_;
    result_set& set_;
    std::size_t snps_file_ = 0, samples_file_ = 0;
    std::string pending_;                  // SNP lines not yet written
    std::vector<int> cohort_, column_, sex_;   // [individual] input cohort, file column, declared sex (X mode)
    std::vector<bool> haploid_;            // [individual] one allele copy per call
    std::vector<individual_counts> counts_;
    long long n_snps_ = 0;
    std::vector<double> work_;             // of the Hardy-Weinberg test
};
