#pragma once
// Tools for checking the Metropolis–Hastings updates: a base generator that counts its draws,
// the check that an update consumes exactly the draws of a hand-written replay, the
// Kolmogorov–Smirnov check of a long chain against a one-dimensional target known up to a
// constant (integrated on a fine grid) or given by its distribution function, two hand-made
// states (sharply peaked data; a cohort without genotype calls), and the check of what a
// maximising update leaves behind after its accepted and rejected moves.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "../numeric/numeric_test_support.hpp"
#include "model_fixture.hpp"
#include "numeric/random.hpp"

namespace chain_check {

// The lines of a captured output, without their line ends.
inline std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// Splits a trace line made of literal labels each followed by one value without spaces, e.g.
// {"old = ", " new = ", " mh = "}; returns the values, or nothing when the line is not of
// that form.
inline std::vector<std::string> labelled_values(const std::string& line, const std::vector<std::string>& labels)
{
    std::vector<std::string> values;
    std::size_t pos = 0;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        if (line.compare(pos, labels[i].size(), labels[i]) != 0) return {};
        pos += labels[i].size();
        const std::size_t end = i + 1 < labels.size() ? line.find(labels[i + 1], pos) : line.size();
        if (end == std::string::npos || end == pos) return {};
        const std::string value = line.substr(pos, end - pos);
        if (value.find(' ') != std::string::npos) return {};
        values.push_back(value);
        pos = end;
    }
    return values;
}

// Counts the draws of the base generator while installed; restores the previous one on exit.
class counting_generator : public Random {
public:
    counting_generator() : base_(Random::RNG) { Random::Set(*this); }
    ~counting_generator() override { Random::Set(*base_); }
    double Next() override
    {
        ++count;
        return base_->Next();
    }
    const char* Name() const override { return "counting"; }
    long count = 0;

private:
    Random* base_;
};

// The next few base draws: a fingerprint of the generator's position in its stream.
inline std::array<double, 4> next_draws()
{
    std::array<double, 4> out{};
    for (double& v : out) v = Random::base_draw();
    return out;
}

// Runs `update` and, from the same seed, `replay` (the draws the update must make, written
// out by hand); both must consume the same number of base draws and leave the stream at the
// same position.
inline void expect_same_draws(const std::function<void()>& update, const std::function<void()>& replay,
                              const std::string& what)
{
    long n_update, n_replay;
    std::array<double, 4> after_update, after_replay;
    model_fixture::install_generator();
    {
        counting_generator c;
        {
            model_fixture::quiet q;
            update();
        }
        n_update = c.count;
        after_update = next_draws();
    }
    model_fixture::install_generator();
    {
        counting_generator c;
        replay();
        n_replay = c.count;
        after_replay = next_draws();
    }
    EXPECT_EQ(n_update, n_replay) << what;
    EXPECT_EQ(after_update, after_replay) << what;
}

// Textbook log densities (natural log): Gamma by shape and rate, Beta(a, b).
inline double log_gamma_pdf(double x, double shape, double rate)
{
    return (shape - 1) * std::log(x) + shape * std::log(rate) - std::lgamma(shape) - rate * x;
}
inline double log_beta_pdf(double x, double a, double b)
{
    return (a - 1) * std::log(x) + (b - 1) * std::log1p(-x) + std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b);
}
// The mean–spread Beta and the mean–variance Gamma of the hierarchical priors.
inline double log_mean_spread_beta(double x, double m, double v)
{
    return log_beta_pdf(x, m * (1 - v) / v, (1 - m) * (1 - v) / v);
}
inline double log_mean_variance_gamma(double x, double m, double v) { return log_gamma_pdf(x, m * m / v, m / v); }

// Distribution function of an unnormalised log density on [lo, hi], by the midpoint rule on
// `cells` equal cells (so an integrable singularity at an end does no harm), linear between
// cell edges. The density must be negligible outside [lo, hi].
class grid_cdf {
public:
    grid_cdf(const std::function<double(double)>& log_density, double lo, double hi, int cells = 200000)
        : lo_(lo), h_((hi - lo) / cells), F_(cells + 1, 0.0)
    {
        std::vector<double> lf(cells);
        double top = -INFINITY;
        for (int i = 0; i < cells; ++i) {
            lf[i] = log_density(lo + (i + 0.5) * h_);
            if (lf[i] > top) top = lf[i];
        }
        for (int i = 0; i < cells; ++i) F_[i + 1] = F_[i] + (std::isfinite(lf[i]) ? std::exp(lf[i] - top) : 0.0);
        const double total = F_.back();
        for (double& f : F_) f /= total;
        edge_mass_ = std::max(F_[1], 1 - F_[cells - 1]);
    }
    double operator()(double x) const
    {
        const double t = (x - lo_) / h_;
        if (t <= 0) return 0;
        const auto i = static_cast<std::size_t>(t);
        if (i + 1 >= F_.size()) return 1;
        return F_[i] + (t - i) * (F_[i + 1] - F_[i]);
    }
    // Mass of the outermost cell on either side: large values mean the range is too narrow.
    double edge_mass() const { return edge_mass_; }

private:
    double lo_, h_;
    std::vector<double> F_;
    double edge_mass_;
};

// Distribution function of the prior predictive of a per-cohort value: the prior's log
// density `prior_log_pdf(x, m, v)` averaged over the hyperpriors of m and v (whose quantile
// functions are given) by the midpoint rule in probability on n × n nodes, then integrated
// on `cells` cells of [lo, hi].
inline grid_cdf predictive_cdf(const std::function<double(double, double, double)>& prior_log_pdf,
                               const std::function<double(double)>& m_quantile,
                               const std::function<double(double)>& v_quantile, double lo, double hi, int n = 48,
                               int cells = 3000)
{
    std::vector<double> ms(n), vs(n);
    for (int i = 0; i < n; ++i) {
        ms[i] = m_quantile((i + 0.5) / n);
        vs[i] = v_quantile((i + 0.5) / n);
    }
    const auto log_mixture = [&](double x) {
        std::vector<double> terms;
        terms.reserve(ms.size() * vs.size());
        double top = -INFINITY;
        for (double m : ms)
            for (double v : vs) {
                terms.push_back(prior_log_pdf(x, m, v));
                top = std::max(top, terms.back());
            }
        if (!std::isfinite(top)) return top;
        double s = 0;
        for (double t : terms) s += std::exp(t - top);
        return top + std::log(s);
    };
    return grid_cdf(log_mixture, lo, hi, cells);
}

// A chain's samples: `step` is run `burn_in` times, then `kept` × `thin` times, keeping the
// value of each tracked quantity after every `thin`-th step.
inline std::vector<std::vector<double>> run_chain(const std::function<void()>& step,
                                                  const std::vector<std::function<double()>>& tracked, int burn_in,
                                                  int kept, int thin)
{
    std::vector<std::vector<double>> out(tracked.size());
    for (auto& o : out) o.reserve(kept);
    for (int i = 0; i < burn_in; ++i) step();
    for (int i = 0; i < kept; ++i) {
        for (int t = 0; t < thin; ++t) step();
        for (std::size_t q = 0; q < tracked.size(); ++q) out[q].push_back(tracked[q]());
    }
    return out;
}

// Lag-1 autocorrelation of a series.
inline double lag1_autocorrelation(const std::vector<double>& x)
{
    const double n = static_cast<double>(x.size());
    double mean = 0;
    for (double v : x) mean += v;
    mean /= n;
    double num = 0, den = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        den += (x[i] - mean) * (x[i] - mean);
        if (i + 1 < x.size()) num += (x[i] - mean) * (x[i + 1] - mean);
    }
    return num / den;
}

// Outcome of one Kolmogorov–Smirnov check of a thinned chain.
struct ks_outcome {
    double D;       // the statistic
    double rho;     // lag-1 autocorrelation left after thinning
    double n_eff;   // sample size corrected for that autocorrelation (AR(1) approximation)
    double limit;   // critical value at significance 0.001 for n_eff independent draws
};

// The thinned chain must still move (autocorrelation below 0.6), and its statistic must lie
// below the critical value for its effective size. The outcome is recorded as a test property
// named after `what`.
inline ks_outcome expect_ks(const std::vector<double>& sample, const std::function<double(double)>& cdf,
                            const std::string& what)
{
    ks_outcome o;
    o.D = ks_statistic(sample, cdf);
    o.rho = lag1_autocorrelation(sample);
    const double r = std::max(o.rho, 0.0);
    o.n_eff = sample.size() * (1 - r) / (1 + r);
    o.limit = 1.95 / std::sqrt(o.n_eff);
    EXPECT_LT(o.rho, 0.6) << what << ": the thinned chain hardly moves";
    EXPECT_LT(o.D, o.limit) << what << ": D = " << o.D << ", n_eff = " << o.n_eff << ", rho = " << o.rho;
    ::testing::Test::RecordProperty("ks_" + what, "D=" + std::to_string(o.D) + " limit=" + std::to_string(o.limit) +
                                                      " rho=" + std::to_string(o.rho));
    return o;
}

}  // namespace chain_check

namespace chain_check {

// Two cohorts of 30 points, ten tightly around each genotype class mean of the fixture's
// cluster shape (offsets up to 0.009 on each axis), called into their classes, with sigma
// 0.008: every class likelihood is sharply peaked, so most proposals make it much worse.
inline void make_tight_state(data& d)
{
    model_fixture::make_state(d, {std::vector<xy>(30, xy{0.7, 0.7}), std::vector<xy>(30, xy{0.7, 0.7})});
    static const xy offsets[10] = {{0.006, 0.006}, {-0.006, 0.006}, {0.006, -0.006}, {-0.006, -0.006}, {0.009, 0},
                                   {-0.009, 0},    {0, 0.009},      {0, -0.009},     {0.003, -0.003}, {-0.003, 0.003}};
    for (int j = 0; j < 2; ++j) {
        d.sigma[j] = 0.008;
        d.varfrac[j] = 0.9;
        d.N[j] = {10, 10, 10, 0};
        for (int i = 0; i < 30; ++i) {
            const int k = i / 10;
            d.calls[j][i] = k;
            d.snps[0].points[j][i] = {d.mu[j][k][0] + offsets[i % 10][0], d.mu[j][k][1] + offsets[i % 10][1]};
        }
    }
    d.calls_changed();
}

// Every individual of cohort j called into the null class: the genotype class likelihoods of
// the cohort are then exactly 0 and the per-cohort values feel their priors alone.
inline void call_all_null(data& d, int j)
{
    for (int& c : d.calls[j]) c = 3;
    d.N[j] = {0, 0, 0, d.n_individuals[j]};
    d.calls_changed();
}

}  // namespace chain_check

namespace chain_check {

// What one update moves: its per-cohort moves (the cohort and the values each move changes)
// and its hyperparameters, with the counters they are counted in when maximising.
struct moves_of_update {
    std::function<std::vector<std::pair<int, std::vector<double>>>(const data&)> cohort_moves;
    std::function<std::vector<double>(const data&)> hypers;
    double data::*cohort_counter;
    double data::*hyper_counter;   // null: the hyperparameters are not counted
};

inline bool same_bits(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// Runs `update` `sweeps` times in a maximising phase. After each call: a move whose values
// did not change was rejected, and then every class likelihood of its cohort is bit for bit
// the old one; the counted acceptances are exactly the changed moves; every cohort's class
// means are those its shape parameters give; with counted hyperparameters the log posterior
// never falls. Returns the number of rejected and accepted cohort moves.
inline std::pair<int, int> check_maximising_moves(data& d, const std::function<void()>& update,
                                                  const moves_of_update& m, int sweeps, const std::string& what)
{
    d.sampling = false;
    int rejected = 0, accepted = 0;
    for (int s = 0; s < sweeps; ++s) {
        const auto moves = m.cohort_moves(d);
        const auto hypers = m.hypers(d);
        std::vector<std::array<double, 4>> L(d.n_cohorts);
        for (int j = 0; j < d.n_cohorts; ++j)
            for (int k = 0; k < 4; ++k) L[j][k] = d.log_posterior_X_given_K(k, j);
        const double lp = d.log_posterior();
        const double cohort_counted = d.*(m.cohort_counter);
        const double hyper_counted = m.hyper_counter ? d.*(m.hyper_counter) : 0;
        {
            model_fixture::quiet q;
            update();
        }
        const auto moves_after = m.cohort_moves(d);
        std::vector<bool> cohort_changed(d.n_cohorts, false);
        int changed = 0;
        for (std::size_t i = 0; i < moves.size(); ++i)
            if (!same_bits(moves[i].second, moves_after[i].second)) {
                ++changed;
                cohort_changed[moves[i].first] = true;
            }
        rejected += static_cast<int>(moves.size()) - changed;
        accepted += changed;
        const auto hypers_after = m.hypers(d);
        int hyper_changed = 0;
        for (std::size_t i = 0; i < hypers.size(); ++i) hyper_changed += !same_bits({hypers[i]}, {hypers_after[i]});
        if (m.hyper_counter == m.cohort_counter) {
            EXPECT_EQ(d.*(m.cohort_counter) - cohort_counted, changed + hyper_changed) << what << " sweep " << s;
        } else {
            EXPECT_EQ(d.*(m.cohort_counter) - cohort_counted, changed) << what << " sweep " << s;
            if (m.hyper_counter) {
                EXPECT_EQ(d.*(m.hyper_counter) - hyper_counted, hyper_changed) << what << " sweep " << s;
            }
        }
        for (int j = 0; j < d.n_cohorts; ++j) {
            const class_means mu = d.mu[j];
            {
                model_fixture::quiet q;
                d.set_mu_from_params(j);
            }
            EXPECT_EQ(std::memcmp(&mu, &d.mu[j], sizeof mu), 0) << what << " cohort " << j << " sweep " << s;
            if (cohort_changed[j]) continue;
            for (int k = 0; k < 4; ++k)
                EXPECT_EQ(d.log_posterior_X_given_K(k, j), L[j][k]) << what << " cohort " << j << " class " << k;
        }
        if (m.hyper_counter) {
            EXPECT_GE(d.log_posterior(), lp) << what << " sweep " << s;
        }
    }
    return {rejected, accepted};
}

}  // namespace chain_check
