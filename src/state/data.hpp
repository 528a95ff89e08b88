#pragma once
#include <array>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "state/records.hpp"

class result_set;

// Prior or hyperprior pair: (shape, rate) of a Gamma or (a, b) of a Beta.
using prior_pair = std::array<double, 2>;
// Beta hyperprior of the three per-class correlation parameters: a[k] and b[k].
struct class_prior {
    std::array<double, 3> a;
    std::array<double, 3> b;
};

// The points of one class of one cohort, in ascending individual order, coordinates apart:
// entries 0 ... size - 1 of x and y, which keep room for every point of the cohort.
struct class_members {
    std::vector<double> x, y;
    std::size_t size = 0;
    // Empties the class, with room for n points.
    void clear(std::size_t n)
    {
        if (x.size() < n) {
            x.resize(n);
            y.resize(n);
        }
        size = 0;
    }
    // Appends p; at most n points after clear(n).
    void add(const xy& p)
    {
        x[size] = p[0];
        y[size] = p[1];
        ++size;
    }
};

// The last two class log likelihoods of one class of one cohort with what they were computed
// from: the same calls (by version) and the same class parameters give the same sum, bit for
// bit. Two, because after a rejected move the state before the proposal is current again.
struct likelihood_memo {
    struct entry {
        std::uint64_t calls_version = 0;   // 0: nothing remembered
        bool clumped = false;
        std::array<double, 5> parameters{};   // sigma, varfrac, r, class mean (zeros: null class)
        double value = 0;
    };
    std::array<entry, 2> entries;
    int newest = 0;
};

// Parameter families that share the hierarchical update machinery.
enum class family { fraction, departure, length, gradient, sigma, varfrac, r, eta };
enum class hyper_role { mean, var };

// The run state: every setting, the SNP records, the current SNP's parameters, the max store,
// the MCMC bookkeeping and the per-SNP results. Every operation of the caller is a method.
class data {
public:
    data();
    data(const data&) = delete;
    data& operator=(const data&) = delete;

    // ---------------------------------------------------------------- settings and input
    int n_snps = 0;
    std::vector<int> n_individuals;                 // [c] of the current SNP (analysed points)
    std::vector<std::array<int, 3>> sex_counts;     // [input cohort][code], as read
    int n_cohorts = 0;
    int current_snp = 0;
    int first_snp = -1, last_snp = -1;
    std::string output_prefix = "out";
    std::string snp_info_file;                      // empty: none
    int n_starts = 4;
    std::vector<std::string> input_files;
    int fancy = 10;
    int model_test = 0;
    bool sampling_start_phase = true;
    bool sampling_final_phase = true;
    bool sampling = true;
    bool print_names = false;
    bool print_proposals = false;
    bool print_params = false;
    bool watch_counts = false;
    int single = 0;
    bool gz = false, bz2 = false;
    int approx_grid = 0;
    int approx_mode = 0;
    bool clumped = false;
    std::vector<std::string> sex_files;
    std::vector<std::vector<int>> sex;              // [input cohort][file column], as read
    bool chrX = false;
    bool allow_male_hets = false;
    int n_iter = 1000;
    int burn_in = 200;
    int n_max = 40;
    bool label_starts = false;                      // a start for every plausible labelling (stage 3)
    double scale = 1;                               // every intensity is divided by it as read
    double proposal_k = 500;
    double alpha_proposal_k = 500;
    std::vector<int> n_file_individuals;            // [input cohort] from the header: columns of the call file
    // [input cohort][file column]: identifier of each individual, unique over all cohorts.
    std::vector<std::vector<std::string>> sample_ids;
    bool write_vcf = false;
    std::string chromosome = ".";
    double vcf_threshold = 0.9;

    // ---------------------------------------------------------------- current SNP
    std::vector<std::vector<int>> calls;            // [c][i]; code that writes it must call calls_changed()
    std::vector<std::array<int, 4>> N;              // [c][k]
    std::vector<std::vector<int>> point_sex;        // [c][i] sex code of each analysed point (X mode)
    // Whether analysed point i of cohort j is a male of X mode, haploid.
    bool is_male(std::size_t j, std::size_t i) const { return chrX && point_sex[j][i] == 1; }
    std::vector<std::array<int, 3>> point_sex_counts;   // [c][code] over the analysed points (X mode)

    std::vector<std::array<double, 4>> lambda, lambda_max;
    std::vector<double> alpha, alpha_max;
    double alpha_star = 0, alpha_star_max = 0;
    double c_alpha_prior = 0.01;                    // the option's value
    double c_alpha_prior_snp = 0.01;                // spread W in force for the current SNP
    double c_alpha_cohorts = 0.005;
    prior_pair alpha_prior{1, 1};
    prior_pair alpha_star_prior{1, 1};
    bool paf_set = false;
    double pgd = 10;
    double paf = 0.5;
    double alpha_prior_strength = 120;
    std::vector<double> eta, eta_max;
    double eta_mean = 0, eta_mean_max = 0, eta_var = 0, eta_var_max = 0;
    prior_pair eta_mean_prior{3, 100}, eta_var_prior{5, 100};
    bool nonull = false;
    std::vector<class_means> mu, mu_max;

    std::vector<double> length, length_max;
    double length_mean = 0, length_mean_max = 0, length_var = 0, length_var_max = 0;
    prior_pair length_mean_prior{20, 20}, length_var_prior{1, 100};
    std::vector<double> gradient, gradient_max;
    double gradient_mean = 0, gradient_mean_max = 0, gradient_var = 0, gradient_var_max = 0;
    prior_pair gradient_mean_prior{10, 10}, gradient_var_prior{1, 100};
    std::vector<double> fraction, fraction_max;
    double fraction_mean = 0, fraction_mean_max = 0, fraction_var = 0, fraction_var_max = 0;
    prior_pair fraction_mean_prior{30, 30}, fraction_var_prior{1, 100};
    std::vector<double> departure, departure_max;
    double departure_mean = 0, departure_mean_max = 0, departure_var = 0, departure_var_max = 0;
    prior_pair departure_mean_prior{2, 8}, departure_var_prior{1, 100};
    std::vector<xy> center, center_max;
    xy center_mean{0, 0}, center_mean_max{0, 0};
    double center_var = 0, center_var_max = 0;
    double center_var_prior_mean = 0.0001, center_var_prior_df = 100;
    std::vector<double> sigma, sigma_max;
    double sigma_mean = 0, sigma_mean_max = 0, sigma_var = 0, sigma_var_max = 0;
    prior_pair sigma_mean_prior{1, 4}, sigma_var_prior{1, 100};
    std::vector<double> varfrac, varfrac_max;
    double varfrac_mean = 0, varfrac_mean_max = 0, varfrac_var = 0, varfrac_var_max = 0;
    prior_pair varfrac_mean_prior{2.5, 7.5}, varfrac_var_prior{1, 100};
    std::vector<std::array<double, 3>> r, r_max;
    std::array<double, 3> r_mean{}, r_mean_max{}, r_var{}, r_var_max{};
    class_prior r_mean_prior{{1, 10, 1}, {50, 1, 50}};
    class_prior r_var_prior{{1, 1, 1}, {100, 100, 100}};

    std::vector<double> bayes_factors;              // nothing computes one: written as NA
    std::vector<params> results;

    double accept_alpha = 0, accept_alpha_star = 0, accept_eta = 0, accept_mu = 0, accept_r = 0,
           accept_sigma = 0, accept_varfrac = 0, accept_fraction = 0, accept_gradient = 0,
           accept_length = 0, accept_departure = 0, accept_global = 0, accept_center = 0,
           accept_model = 0;

    double best_log_posterior = -1e100;
    bool max_store_set = false;                     // some start of this SNP entered the max store
    std::array<double, 7> log_posterior_terms{};
    std::vector<std::vector<std::array<double, 4>>> call_probs;    // [c][i][k]
    std::vector<std::vector<std::array<double, 4>>> call_counts;   // [c][i][k]
    std::vector<std::vector<std::vector<std::array<double, 4>>>> stored_calls;  // [snp][c][i][k]
    std::vector<double> stored_log_posterior;
    // With -print_params: the current SNP's block of the trace file, a line naming the SNP and
    // the log-posterior terms of each sampled final-phase iteration, for the driver to write.
    std::ostringstream params_trace;
    std::vector<snp> snps;
    params current_result;

    // Derived from the calls: the class members (unclumped mode) and the class likelihood memos.
    // `calls_version` grows with every change of the calls, clump calls, points or clumps.
    std::vector<std::array<class_members, 4>> members;     // [c][k]
    std::vector<std::array<likelihood_memo, 4>> likelihood_memos;   // [c][k]
    std::uint64_t calls_version = 1;

    // ---------------------------------------------------------------- run state (state/)
    void set_storage();
    // Rebuilds what derives from `calls`; needed after any change of calls, clumps or points.
    void calls_changed();

    // ---------------------------------------------------------------- input (input/)
    void read_data();
    void calc_range(snp& s);
    void clump_data(snp& s);
    void set_calls_from_points(snp& s);

    // ---------------------------------------------------------------- model (model/)
    double log_posterior_X_given_K(int k, int j);
    double log_posterior();
    void update_calls();
    void update_call_probs();
    void set_mu_from_params(int j);
    void set_params_from_mu(int j);
    double p_mu(int j);
    double p_mu();
    void update_centers();
    void update_fractions();
    void update_lengths();
    void update_gradients();
    void update_departures();
    void update_sigma();
    void update_varfrac();
    double p_Var();
    void update_lambda();
    double p_lambda(int j);
    void update_alpha();
    double MH_alpha_density(int j, double old_value, double new_value);
    void update_alpha_star();
    void update_eta();
    double MH_eta_density(int j, double old_value, double new_value);
    void update_fraction_mean();
    void update_fraction_var();
    void update_departure_mean();
    void update_departure_var();
    void update_length_mean();
    void update_length_var();
    void update_gradient_mean();
    void update_gradient_var();
    void update_r();
    void update_r_mean();
    void update_r_var();

    // ---------------------------------------------------------------- schedule (schedule/)
    void initialize(int stage, int start);
    // Every parameter of every cohort from the prior, with the given starting means [cohort].
    void initialize(const std::vector<class_means>& means);
    void recycle_max_params(int cohort);
    void v1();
    void sweep();
    void update_all(int j);
    void print_rates();
    void print_all();

    // ---------------------------------------------------------------- output (output/)
    void output_mcmc(result_set& set);
    double info_calc1(int j);
    double info_calc2(int j);
};
