#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// What reading the input files' headers and side files finds about the cohorts of a run: the
// individuals of every file column, their identifiers and sexes, and the kind of input. Made
// once by the reader before the first SNP; the analysis and the writers read it, none changes it.
struct cohort_description {
    std::vector<int> n_file_individuals;            // [input cohort] from the header: columns of the call file
    // [input cohort][file column]: identifier of each individual, unique over all cohorts.
    std::vector<std::vector<std::string>> sample_ids;
    std::vector<std::vector<int>> sex;              // [input cohort][file column] (X mode)
    std::vector<std::array<int, 3>> sex_counts;     // [input cohort][code] (X mode)
    bool vcf_input = false;                         // the intensity files are VCF/BCF
    // VCF/BCF input: the contigs of the first cohort's header with their lengths (0: unknown).
    std::vector<std::pair<std::string, std::uint64_t>> vcf_contigs;
};
