#pragma once
#include <algorithm>
#include <array>
#include <string>
#include <vector>

// Prior or hyperprior pair: (shape, rate) of a Gamma or (a, b) of a Beta.
using prior_pair = std::array<double, 2>;
// Beta hyperprior of the three per-class correlation parameters: a[k] and b[k].
struct class_prior {
    std::array<double, 3> a;
    std::array<double, 3> b;
};

// A prior learnt from a chip for where one quantity of a SNP's cluster geometry lies: a
// two-piece Student-t, `mid` its median, `below` and `above` the scales of its two halves and
// `dof` its degrees of freedom (the chip's homozygotes lie skewed near the axes, and a few SNPs
// have clusters where no other SNP has them).
struct two_piece_t {
    double mid = 0, below = 1, above = 1, dof = 1;
};
// The chip's cluster geometry, a prior factor on the class means besides the shape priors: per
// genotype class the share y / (x + y) of its mean, and the log of the heterozygote mean's x + y
// over the geometric mean of the two homozygotes'. Off unless learnt or read from a priors file.
struct geometry_prior {
    bool active = false;
    std::array<two_piece_t, 3> share;
    two_piece_t het_brightness;
};

// What a run shares and never changes once the options are read: every setting of the command
// line with its default. Every SNP's analysis reads it; none writes it.
struct settings {
    // ------------------------------------------------------------ input
    std::vector<std::string> input_files;
    bool gz = false, bz2 = false;
    std::string snp_info_file;                      // empty: none
    int first_snp = -1, last_snp = -1;              // 1-based range; below 1: from the start, to the end
    std::vector<std::string> regions;               // -r, each CHR[:FROM-TO] as given; empty: the whole files
    double scale = 1;                               // every intensity is divided by it as read
    bool raw_intensities = false;                   // VCF/BCF input: X and Y rather than NORMX and NORMY
    std::vector<std::string> sex_files;
    bool chrX = false;

    // ------------------------------------------------------------ schedule and reporting
    std::string output_prefix = "out";
    int n_starts = 4;
    int fancy = 10;
    int model_test = 0;
    bool sampling_start_phase = true;
    bool sampling_final_phase = true;
    bool print_names = false;
    bool print_proposals = false;
    bool print_params = false;
    bool watch_counts = false;
    int single = 0;
    int approx_grid = 0;
    int approx_mode = 0;
    bool allow_male_hets = false;
    int n_iter = 1000;
    int burn_in = 200;
    int n_max = 40;
    bool label_starts = false;                      // a start for every plausible labelling (stage 3)
    double proposal_k = 500;
    double alpha_proposal_k = 500;
    bool write_vcf = false;
    std::string chromosome = ".";
    double vcf_threshold = 0.9;
    double seed = 0.12345;                          // of the run's generator (-seed, -nrs or the clock)
    int threads = 1;                                // SNPs analysed at once
    bool snp_seeds = false;                         // every SNP draws from a generator of its own (driver/analysis)
    bool verbose = false;                           // every SNP's detailed console output
    std::string command_line = "tarvix++";          // as the VCF header records it (driver/options)

    // ------------------------------------------------------------ priors
    double c_alpha_prior = 0.01;
    double c_alpha_cohorts = 0.005;
    prior_pair alpha_star_prior{1, 1};
    bool paf_set = false;
    double pgd = 10;
    double paf = 0.5;
    double alpha_prior_strength = 120;
    prior_pair eta_mean_prior{3, 100}, eta_var_prior{5, 100};
    bool nonull = false;
    prior_pair length_mean_prior{20, 20}, length_var_prior{1, 100};
    prior_pair gradient_mean_prior{10, 10}, gradient_var_prior{1, 100};
    prior_pair fraction_mean_prior{30, 30}, fraction_var_prior{1, 100};
    prior_pair departure_mean_prior{2, 8}, departure_var_prior{1, 100};
    double center_var_prior_mean = 0.0001, center_var_prior_df = 100;
    prior_pair sigma_mean_prior{1, 4}, sigma_var_prior{1, 100};
    prior_pair varfrac_mean_prior{2.5, 7.5}, varfrac_var_prior{1, 100};
    class_prior r_mean_prior{{1, 10, 1}, {50, 1, 50}};
    class_prior r_var_prior{{1, 1, 1}, {100, 100, 100}};
    geometry_prior geometry;
    // Degrees of freedom of the genotype classes' Student-t densities; 0: normal densities.
    double class_dof = 0;

    // ------------------------------------------------------------ priors learnt from the chip
    bool learn_priors = false;                      // learn the priors from the run's SNPs before calling (-learn)
    bool learn_only = false;                        // write the learnt priors and call nothing (-learn_only)
    std::string priors_file;                        // read the priors from this file (-priors); empty: none

    // The final phase's iterations after burn-in: with clumps declumped before it (-approx 1),
    // at least 10, so that the calls of the individuals are counted often enough.
    int final_iterations() const { return approx_mode == 1 ? std::max(n_iter, 10) : n_iter; }
    // Whether the run learns its priors from its SNPs before calling (rather than reading them).
    bool learns_priors() const { return learn_priors && priors_file.empty(); }
    // Cohorts of the results: the input cohorts, or one when all stay pooled to the end.
    int result_cohorts() const { return single != 0 && single != 1 ? 1 : static_cast<int>(input_files.size()); }
};
