// The analysis of one SNP: pooling, random starts in three stages, the final phase, results.
#include <fstream>
#include <iostream>
#include <tuple>

#include "schedule/grid.hpp"
#include "model/hierarchy.hpp"
#include "numeric/variates.hpp"
#include "schedule/label_starts.hpp"
#include "schedule/reports.hpp"
#include "state/data.hpp"
#include "state/error.hpp"

namespace {

// The stage of the labelled starts, after the three stages of random starts.
constexpr int labelled_stage = 3;

// Keeps the current parameters as the best start's; `labelled`: they come from a labelled start.
void save_max_store(data& d, bool labelled)
{
    d.max_store = d;
    d.max_store_set = true;
    d.max_store_labelled = labelled;
}

void restore_max_store(data& d) { static_cast<parameter_set&>(d) = d.max_store; }

void print_terms(std::ostream& out, const std::array<double, 7>& terms)
{
    for (double t : terms) out << t << " ";
    out << std::endl;
}

// Pools every cohort of the SNP into cohort 0, keeping each point's cohort of origin.
void pool_cohorts(snp& s)
{
    for (std::size_t c = 1; c < s.points.size(); ++c) {
        s.points[0].insert(s.points[0].end(), s.points[c].begin(), s.points[c].end());
        s.cohort_index[0].insert(s.cohort_index[0].end(), s.cohort_index[c].begin(), s.cohort_index[c].end());
    }
    s.points.resize(1);
    s.cohort_index.resize(1);
}

// Moves every pooled point back to its cohort of origin, in order.
void split_cohorts(snp& s, int n_cohorts)
{
    const std::vector<xy> pooled = s.points[0];
    const std::vector<int> origin = s.cohort_index[0];
    s.points.assign(static_cast<std::size_t>(n_cohorts), {});
    s.cohort_index.assign(static_cast<std::size_t>(n_cohorts), {});
    for (std::size_t i = 0; i < pooled.size(); ++i) {
        s.points[origin[i]].push_back(pooled[i]);
        s.cohort_index[origin[i]].push_back(origin[i]);
    }
}

void set_cohort_sizes(data& d)
{
    const snp& s = d.current;
    d.n_cohorts = static_cast<int>(s.points.size());
    d.n_individuals.assign(s.points.size(), 0);
    for (std::size_t j = 0; j < s.points.size(); ++j) d.n_individuals[j] = static_cast<int>(s.points[j].size());
}

// The sex of every analysed point, following the points through pooling: a pooled cohort holds
// input cohort 0's analysed individuals, then cohort 1's, and so on, in column order.
void set_point_sex(data& d)
{
    d.point_sex.assign(static_cast<std::size_t>(d.n_cohorts), {});
    d.point_sex_counts.assign(static_cast<std::size_t>(d.n_cohorts), {0, 0, 0});
    if (!d.cfg.chrX) return;
    const snp& s = d.current;
    const int n_inputs = static_cast<int>(d.cfg.input_files.size());
    const bool pooled = d.n_cohorts != n_inputs;
    for (int j = 0; j < d.n_cohorts; ++j) {
        const int first = pooled ? 0 : j, last = pooled ? n_inputs - 1 : j;
        for (int c = first; c <= last; ++c) {
            std::size_t next_missing = 0;
            for (int col = 0; col < d.cohorts.n_file_individuals[c]; ++col) {
                if (next_missing < s.missing[c].size() && s.missing[c][next_missing] == col) {
                    ++next_missing;
                    continue;
                }
                const int code = d.cohorts.sex[c][col];
                d.point_sex[j].push_back(code);
                d.point_sex_counts[j][code] += 1;
            }
        }
    }
}

}  // namespace

void data::recycle_max_params(int cohort)
{
    log() << " setting maximium for all cohorts from one..." << std::flush;
    const auto n = static_cast<std::size_t>(n_cohorts);
    for_each_cohort_parameter([n, cohort](const char*, reported, auto& values) {
        const auto source = values[static_cast<std::size_t>(cohort)];
        values.resize(n, source);
    }, max_store);
    log() << "done" << std::endl;
}

void data::initialize(int stage, int start)
{
    const snp& s = current;
    class_means m;
    const double xm = (s.x_lo + s.x_hi) / 2, ym = (s.y_lo + s.y_hi) / 2;
    if (stage == 0) {
        const double sc = 0.5 * (start + 1);
        m = {xy{0.62 * sc, 0.15 * sc}, xy{0.45 * sc, 0.45 * sc}, xy{0.15 * sc, 0.62 * sc}};
    } else if (stage == 1) {
        const double c = (s.x_lo + s.x_hi + s.y_lo + s.y_hi) / 4 + 1e-8;
        if (s.x_lo + s.x_hi > s.y_lo + s.y_hi)
            m = {xy{xm, ym}, xy{c, c}, xy{ym, xm}};
        else
            m = {xy{ym, xm}, xy{c, c}, xy{xm, ym}};
    } else {
        m = {xy{s.x_lo + 0.9 * (s.x_hi - s.x_lo), s.y_lo + 0.1 * (s.y_hi - s.y_lo)}, xy{xm, ym},
             xy{s.x_lo + 0.1 * (s.x_hi - s.x_lo), s.y_lo + 0.9 * (s.y_hi - s.y_lo)}};
    }
    initialize(std::vector<class_means>(static_cast<std::size_t>(n_cohorts), m));
}

void data::initialize(const std::vector<class_means>& means)
{
    if (cfg.print_proposals) log() << "initialize..." << std::flush;
    const double S = cfg.alpha_prior_strength;
    const double p = current.prior_allele_freq;
    double a, b;
    c_alpha_prior_snp = cfg.c_alpha_prior;
    if (cfg.paf_set) {
        a = cfg.paf * S;
        b = (1 - cfg.paf) * S;
    } else if (p < 0) {
        // No reference frequency: a flat prior, and the reference term loosened for this SNP only.
        a = 1;
        b = 1;
        c_alpha_prior_snp = 0.5;
    } else if (p == 0) {
        a = 0.00001 * S;
        b = 0.99999 * S;
    } else if (p == 1) {
        a = 0.99999 * S;
        b = (1 - 0.99999) * S;
    } else {
        a = p * S;
        b = (1 - p) * S;
    }
    alpha_prior = {a, b};
    log() << "Allele frequency prior : alpha ~ Beta(" << a << ", " << b << ")" << std::endl;

    alpha_star = a / (a + b);
    for (int j = 0; j < n_cohorts; ++j) alpha[j] = a / (a + b);

    std::tie(eta_mean, eta_var) = starting_hyperparameters(cfg, family::eta, 0);
    for (int j = 0; j < n_cohorts; ++j)
        eta[j] = beta_prior_draw(eta_mean, eta_var);
    for (int j = 0; j < n_cohorts; ++j) {
        const double al = alpha[j], e = eta[j];
        lambda[j] = {al * al * (1 - e), 2 * al * (1 - al) * (1 - e), (1 - al) * (1 - al) * (1 - e), e};
    }

    for (int j = 0; j < n_cohorts; ++j) {
        mu[j] = means[static_cast<std::size_t>(j)];
        set_params_from_mu(j);
    }

    for (family f : {family::length, family::gradient, family::fraction, family::departure, family::sigma, family::varfrac})
        std::tie(family_hyper(*this, f, hyper_role::mean, 0), family_hyper(*this, f, hyper_role::var, 0)) =
            starting_hyperparameters(cfg, f, 0);
    center_mean = {0.7, 0.7};
    center_var = 3 * cfg.center_var_prior_mean;
    for (int j = 0; j < n_cohorts; ++j) sigma[j] = sigma_mean;
    for (int j = 0; j < n_cohorts; ++j) varfrac[j] = varfrac_mean;

    for (int k = 0; k < 3; ++k) {
        for (int j = 0; j < n_cohorts; ++j)
            r[j][k] = genbet(static_cast<float>(cfg.r_mean_prior.a[k]), static_cast<float>(cfg.r_mean_prior.b[k]));
        std::tie(r_mean[k], r_var[k]) = starting_hyperparameters(cfg, family::r, k);
    }

    update_calls();
    if (cfg.print_proposals) log() << "done" << std::endl;
}

namespace {

void run_iteration(data& d, int it, bool global_moves)
{
    d.sweep();
    if (global_moves && it % d.cfg.fancy == 0)
        for (int j = 0; j < d.n_cohorts; ++j) d.update_all(j);
}

// Runs the short chain of one start from the values just set and keeps it in the max store when
// it beats every earlier start.
void run_start(data& d, int stage, int start)
{
    for (int it = 1; it <= d.cfg.n_max; ++it) {
        if (it % 10 == 0)
            d.log() << "\rranstart " << stage << "-" << start << " : iteration [" << it << "/" << d.cfg.n_max << "]"
                      << std::flush;
        run_iteration(d, it, true);
    }
    const double lp = d.log_posterior();
    d.log() << " Final Log Posterior = " << lp;
    if (lp > d.best_log_posterior) {
        d.log() << "*";
        d.best_log_posterior = lp;
        save_max_store(d, stage == labelled_stage);
    }
    d.log() << std::endl;
    print_terms(d.log(), d.log_posterior_terms);
    print_counts(d, true);
}

void random_starts(data& d)
{
    for (int stage = 0; stage < 3; ++stage)
        for (int start = 0; start < d.cfg.n_starts; ++start) {
            d.initialize(stage, start);
            run_start(d, stage, start);
        }
    // Stage 3: one start for every plausible labelling of the clusters the angles show.
    bool last_labelled = false;
    if (d.cfg.label_starts) {
        const std::vector<labels::labelled_start> starts = labels::labelled_starts(d);
        for (std::size_t l = 0; l < starts.size(); ++l) {
            d.log() << "labelled start " << l << ": " << starts[l].description << std::endl;
            d.initialize(starts[l].means);
            run_start(d, labelled_stage, static_cast<int>(l));
            last_labelled = true;
        }
    }
    if (!d.max_store_set) {
        d.log() << "no random start scored above -1e100: the final phase starts from the last start"
                  << std::endl;
        save_max_store(d, last_labelled);
    }
}

// The clump of every individual; the clump maps must not change while it is in use.
using clump_of_point = std::vector<std::vector<const point*>>;

clump_of_point find_clumps(const data& d, const snp& s)
{
    clump_of_point found(static_cast<std::size_t>(d.n_cohorts));
    if (!d.clumped) return found;
    const clumping::cell_sizes cells = clumping::cell_sizes_of(s, d.cfg.approx_grid);
    for (int j = 0; j < d.n_cohorts; ++j)
        for (std::size_t i = 0; i < s.points[j].size(); ++i)
            found[j].push_back(&clumping::clump_of(s.clumps[j], s.points[j][i], d.is_male(j, i), cells));
    return found;
}

// One sampled iteration's calls into the counts; while clumped, an individual is in the class
// of its clump.
void count_calls(data& d, const clump_of_point& clumps)
{
    for (int j = 0; j < d.n_cohorts; ++j)
        for (std::size_t i = 0; i < d.calls[j].size(); ++i) {
            const int call = d.clumped ? clumps[j][i]->call : d.calls[j][i];
            d.call_counts[j][i][call] += 1;
        }
}

void final_phase(data& d)
{
    const clump_of_point clumps = find_clumps(d, d.current);
    const int total = d.cfg.burn_in + d.cfg.final_iterations();
    for (int it = 0; it < total; ++it) {
        d.log() << "\riteration [" << it + 1 << "/" << total << "]" << std::flush;
        run_iteration(d, it + 1, d.cfg.model_test == 0);
        if (!d.sampling) continue;
        const double lp = d.log_posterior();
        if (it >= d.cfg.burn_in) count_calls(d, clumps);
        if (d.cfg.watch_counts) {
            d.log() << std::endl;
            print_counts(d, false);
            d.log() << " Log Posterior = " << lp << std::endl;
        }
        if (d.cfg.print_params) print_terms(d.params_trace, d.log_posterior_terms);
    }
}

}  // namespace

void data::v1()
{
    snp& s = current;
    best_log_posterior = -1e100;
    max_store_set = false;
    max_store_labelled = false;
    if (cfg.single != 0) {
        log() << std::endl << "running all cohorts together" << std::endl;
        pool_cohorts(s);
    }
    set_cohort_sizes(*this);
    set_storage();
    set_point_sex(*this);

    sampling = cfg.sampling_start_phase;
    calc_range(s);
    if (cfg.approx_mode != 0) {
        clumped = true;
        clump_data(s);
    }

    random_starts(*this);

    if (cfg.single == 1) {
        split_cohorts(s, static_cast<int>(cfg.input_files.size()));
        set_cohort_sizes(*this);
        set_point_sex(*this);
        if (cfg.approx_mode != 0) {
            calc_range(s);
            clump_data(s);
        }
        set_storage();
        recycle_max_params(0);
    }

    restore_max_store(*this);
    log() << " set parameters from store " << std::endl;
    update_calls();
    log() << std::endl << "Stage 2 initial parameters" << std::endl;
    log() << " Initial Log Posterior = " << log_posterior() << std::endl;

    sampling = cfg.sampling_final_phase;
    log() << " Approx " << (clumped ? 1 : 0) << std::endl;
    if (cfg.approx_mode == 1) {
        // Leave clumped mode before calling again, so that the calls and counts of the final
        // phase both belong to the individual points.
        set_calls_from_points(s);
        clumped = false;
        update_calls();
    }

    accept_alpha = accept_alpha_star = accept_eta = accept_mu = accept_r = accept_sigma = accept_varfrac = 0;
    accept_fraction = accept_gradient = accept_length = accept_departure = accept_global = accept_center = 0;
    accept_model = 0;
    if (sampling)
        for (auto& cohort : call_counts)
            for (auto& c : cohort) c = {0, 0, 0, 0};
    // Each SNP's block of the trace begins with a line naming it.
    params_trace.str(std::string());
    if (cfg.print_params) params_trace << "# " << s.SNP_ID << " " << s.rs << std::endl;
    print_all();

    final_phase(*this);

    if (clumped) {
        set_calls_from_points(s);
        clumped = false;
        update_calls();
    }

    log() << std::endl << std::endl << "Final parameters" << std::endl;
    const double lp = log_posterior();
    log() << " Final Log Posterior = " << lp << std::endl;
    print_all();
    if (sampling) print_rates();

    current_result = params{};
    static_cast<cohort_parameters&>(current_result) = *this;
    current_result.final_log_posterior = lp;
    current_result.labelled_start = max_store_labelled;
    log() << "information measure : " << std::endl;
    for (int j = 0; j < n_cohorts; ++j) current_result.info1.push_back(info_calc1(j));
    for (int j = 0; j < n_cohorts; ++j) current_result.info2.push_back(info_calc2(j));
    log() << std::endl;

    if (!sampling) update_call_probs();
    result_calls = sampling ? call_counts : call_probs;
    if (cfg.chrX && !cfg.allow_male_hets)
        update_diploid_probs();
    else
        diploid_probs.clear();
}
