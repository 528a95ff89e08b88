#pragma once
#include <array>
#include <map>
#include <string>
#include <vector>

// An intensity point: first and second allele intensity, as read.
using xy = std::array<double, 2>;
// The three genotype class means of one cohort: mean[k][d], k = 0, 1, 2, d = 0, 1.
using class_means = std::array<xy, 3>;

// One clump of approximation mode: the individuals of one cohort whose points share a grid cell
// (and, in X mode, whether they are males).
struct point {
    int w = 1;                           // multiplicity
    int call = 3;                        // current class 0..3
    std::array<double, 4> probs{};       // class probabilities (scores while being computed)
};

// The second key of a clump: its cell corner y, and whether its members are males of X mode.
// A cell's males and its other individuals form clumps of their own, so that a male never takes
// a heterozygous call and the likelihood of the clumps stays that of their members.
struct cell_row {
    double y;
    bool male;
    bool operator<(const cell_row& o) const { return y < o.y || (y == o.y && !male && o.male); }
};

// Cell corner x -> (cell row -> clump), both ascending: the order in which the model visits clumps.
using clump_map = std::map<double, std::map<cell_row, point>>;

struct snp {
    std::string position;
    std::string SNP_ID;
    std::string rs;
    std::string allele1, allele2;
    double prior_allele_freq = -1;            // -1 when unknown
    std::vector<std::vector<int>> cohort_index;   // [c][i]: input cohort of each analysed point
    std::vector<std::vector<xy>> points;          // [c][i]: analysed points only (missing ones left out)
    std::vector<clump_map> clumps;                // [c]
    double x_lo = -1000, y_lo = -1000, x_hi = 1000, y_hi = 1000;
    // [input cohort]: ascending file columns of the individuals whose intensities are missing
    // ("NaN"/"NA") on this SNP line; they are absent from `points` and written "0 0 0".
    std::vector<std::vector<int>> missing;
    // Read from VCF/BCF: the record's CHROM and alleles (REF, then ALT), allele1 and allele2
    // being alleles[allele_a] and alleles[allele_b]. Empty `chrom` for text input.
    std::string chrom;
    std::vector<std::string> alleles;
    int allele_a = 0, allele_b = 1;
};
