#pragma once
#include <array>
#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "state/cohorts.hpp"
#include "state/parameters.hpp"
#include "state/records.hpp"
#include "state/settings.hpp"

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

// The analysis of one SNP at a time: the SNP under analysis, its parameters (the current ones are
// the object's own parameter_set), calls, max store, bookkeeping and results, and the operations
// that turn the one into the other. It reads the run's settings and cohort description and
// changes neither; each thread that analyses SNPs has its own.
class data : public parameter_set {
public:
    // `console` receives the SNP's console output (progress, traces, parameter reports).
    data(const settings& cfg, const cohort_description& cohorts, std::ostream& console);
    data(const data&) = delete;
    data& operator=(const data&) = delete;

    const settings& cfg;
    const cohort_description& cohorts;
    std::ostream& log() const { return *console_; }
    void set_console(std::ostream& console) { console_ = &console; }

    // ---------------------------------------------------------------- the SNP under analysis
    snp current;                                    // its record; pooling and clumping change it
    int snp_number = 0;                             // 1-based position of its line among the file's SNP lines
    std::vector<int> n_individuals;                 // [c] analysed points
    int n_cohorts = 0;
    bool sampling = true;
    bool clumped = false;
    std::vector<std::vector<int>> calls;            // [c][i]; code that writes it must call calls_changed()
    std::vector<std::array<int, 4>> N;              // [c][k]
    std::vector<std::vector<int>> point_sex;        // [c][i] sex code of each analysed point (X mode)
    // Whether analysed point i of cohort j is a male of X mode, haploid.
    bool is_male(std::size_t j, std::size_t i) const { return cfg.chrX && point_sex[j][i] == 1; }
    std::vector<std::array<int, 3>> point_sex_counts;   // [c][code] over the analysed points (X mode)

    double c_alpha_prior_snp = 0.01;                // spread W in force for the current SNP
    prior_pair alpha_prior{1, 1};
    parameter_set max_store;                        // the best start's parameters
    cohort_parameters kept_cohort;                  // one cohort's values while a global proposal is judged

    double accept_alpha = 0, accept_alpha_star = 0, accept_eta = 0, accept_mu = 0, accept_r = 0,
           accept_sigma = 0, accept_varfrac = 0, accept_fraction = 0, accept_gradient = 0,
           accept_length = 0, accept_departure = 0, accept_global = 0, accept_center = 0,
           accept_model = 0;

    double best_log_posterior = -1e100;
    bool max_store_set = false;                     // some start of this SNP entered the max store
    bool max_store_labelled = false;                // ... and the start it holds was a labelled one
    std::array<double, 7> log_posterior_terms{};
    std::vector<std::vector<std::array<double, 4>>> call_probs;    // [c][i][k]
    std::vector<std::vector<std::array<double, 4>>> call_counts;   // [c][i][k]

    // Derived from the calls: the class members (unclumped mode) and the class likelihood memos.
    // `calls_version` grows with every change of the calls, clump calls, points or clumps.
    std::vector<std::array<class_members, 4>> members;     // [c][k]
    std::vector<std::array<likelihood_memo, 4>> likelihood_memos;   // [c][k]
    std::uint64_t calls_version = 1;

    // ---------------------------------------------------------------- the SNP's results
    params current_result;
    // [c][i][k]: call_counts (sampling) or call_probs (maximising) at the end of v1.
    std::vector<std::vector<std::array<double, 4>>> result_calls;
    // [c][i][k]: in X mode without -allow_male_hets, the class probabilities at the final
    // parameters with the heterozygote open to males too: a declared male's call were he diploid,
    // for the sex check; empty otherwise.
    std::vector<std::vector<std::array<double, 4>>> diploid_probs;
    // With -print_params: the SNP's block of the trace file, a line naming the SNP and the
    // log-posterior terms of each sampled final-phase iteration.
    std::ostringstream params_trace;

    // ---------------------------------------------------------------- run state (state/)
    void set_storage();
    // Rebuilds what derives from `calls`; needed after any change of calls, clumps or points.
    void calls_changed();


    // ---------------------------------------------------------------- model (model/)
    double log_posterior_X_given_K(int k, int j);
    double log_posterior();
    void update_calls();
    void update_call_probs();
    void update_diploid_probs();
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
    void calc_range(snp& s);
    void clump_data(snp& s);
    void set_calls_from_points(snp& s);
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
    double info_calc1(int j);
    double info_calc2(int j);

private:
    std::ostream* console_;
};
