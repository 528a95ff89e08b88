// The Metropolis–Hastings updates sample what they should: with every individual in the null
// class the likelihood is flat, so a long chain of one update must reproduce the prior alone
// (its hyperparameters their hyperpriors exactly, a per-cohort value its prior predictive).
// Kolmogorov–Smirnov at significance 0.001, the sample size corrected for the autocorrelation
// left after thinning.
#include <gtest/gtest.h>

#include <boost/math/special_functions/beta.hpp>
#include <boost/math/special_functions/gamma.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model_state.hpp"

namespace {

namespace bm = boost::math;

// Distribution function of an unnormalised log density on [lo, hi]: the midpoint rule on
// equal cells (an integrable singularity at an end does no harm), linear in between.
class grid_cdf {
public:
    grid_cdf(const std::function<double(double)>& log_density, double lo, double hi, int cells)
        : lo_(lo), h_((hi - lo) / cells), F_(cells + 1, 0.0)
    {
        std::vector<double> lf(cells);
        double top = -INFINITY;
        for (int i = 0; i < cells; ++i) top = std::max(top, lf[i] = log_density(lo + (i + 0.5) * h_));
        for (int i = 0; i < cells; ++i) F_[i + 1] = F_[i] + (std::isfinite(lf[i]) ? std::exp(lf[i] - top) : 0.0);
        for (double& f : F_) f /= F_.back();
    }
    double operator()(double x) const
    {
        const double t = (x - lo_) / h_;
        if (t <= 0) return 0;
        const auto i = static_cast<std::size_t>(t);
        return i + 1 >= F_.size() ? 1 : F_[i] + (t - i) * (F_[i + 1] - F_[i]);
    }

private:
    double lo_, h_;
    std::vector<double> F_;
};

double log_beta(double x, double a, double b)
{
    return (a - 1) * std::log(x) + (b - 1) * std::log1p(-x) + std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b);
}
// The hierarchical priors: mean–spread Beta and mean–variance Gamma.
double log_spread_beta(double x, double m, double v) { return log_beta(x, m * (1 - v) / v, (1 - m) * (1 - v) / v); }

using cdf = std::function<double(double)>;
cdf beta_cdf(prior_pair p) { return [p](double x) { return bm::ibeta(p[0], p[1], x); }; }
cdf gamma_cdf(prior_pair p) { return [p](double x) { return bm::gamma_p(p[0], p[1] * x); }; }

// Prior predictive of a per-cohort value: its prior averaged over 48 x 48 quantile nodes of the
// hyperpriors of its mean and spread. Each node's prior is a Beta or Gamma density in x, so it
// is (p - 1) log x + q log(1 - x) (Beta) or (p - 1) log x - q x (Gamma) plus a constant.
cdf predictive(bool gamma, prior_pair mean_prior, prior_pair var_prior, double hi)
{
    struct node {
        double p, q, constant;
    };
    std::vector<node> nodes;
    for (int i = 0; i < 48; ++i)
        for (int k = 0; k < 48; ++k) {
            const double u = (i + 0.5) / 48, w = (k + 0.5) / 48;
            if (gamma) {
                const double m = bm::gamma_p_inv(mean_prior[0], u) / mean_prior[1];
                const double v = bm::gamma_p_inv(var_prior[0], w) / var_prior[1];
                const double shape = m * m / v, rate = m / v;
                nodes.push_back({shape, rate, shape * std::log(rate) - std::lgamma(shape)});
            } else {
                const double m = bm::ibeta_inv(mean_prior[0], mean_prior[1], u);
                const double v = bm::ibeta_inv(var_prior[0], var_prior[1], w);
                const double a = m * (1 - v) / v, b = (1 - m) * (1 - v) / v;
                nodes.push_back({a, b - 1, std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b)});
            }
        }
    const auto log_mixture = [=](double x) {
        const double lx = std::log(x), second = gamma ? -x : std::log1p(-x);
        double total = 0;
        for (const node& n : nodes) total += std::exp((n.p - 1) * lx + n.q * second + n.constant);
        return std::log(total);
    };
    return grid_cdf(log_mixture, 0, hi, 3000);
}

// The same, integrated only when first needed.
cdf lazy_predictive(bool gamma, prior_pair mean_prior, prior_pair var_prior, double hi)
{
    auto made = std::make_shared<cdf>();
    return [=](double x) {
        if (!*made) *made = predictive(gamma, mean_prior, var_prior, hi);
        return (*made)(x);
    };
}

struct tracked {
    std::string name;
    std::function<double(const data&)> value;
    cdf target;
};

struct chain_case {
    const char* update;
    std::function<void(test_state&)> setup, step;
    int kept, thin;
    std::vector<tracked> values;
};

// A cohort of two points, both in the null class, with the given proposal concentration.
void one_flat_cohort(test_state& d, double kappa)
{
    model_state::make_state(d, {{xy{0.7, 0.7}, xy{0.3, 1.0}}});
    model_state::call_all_null(d, 0);
    d.proposal_k = kappa;
}

// The value of family `values` in cohort 0, and its mean and spread, against the priors.
std::vector<tracked> family(const std::string& name, std::vector<double> data::*values, double data::*mean,
                            double data::*var, bool gamma, prior_pair mp, prior_pair vp, double hi)
{
    return {{name, [=](const data& d) { return (d.*values)[0]; }, lazy_predictive(gamma, mp, vp, hi)},
            {name + "_mean", [=](const data& d) { return d.*mean; }, gamma ? gamma_cdf(mp) : beta_cdf(mp)},
            {name + "_var", [=](const data& d) { return d.*var; }, gamma ? gamma_cdf(vp) : beta_cdf(vp)}};
}

std::vector<chain_case> cases()
{
    std::vector<chain_case> c = {
        {"update_sigma",
         [](test_state& d) {
             one_flat_cohort(d, 20);
             d.sigma_mean_prior = {10, 10}, d.sigma_var_prior = {10, 50};
             d.sigma_mean = 1, d.sigma_var = 0.2, d.sigma[0] = 1;
         },
         [](test_state& d) { d.update_sigma(); }, 3000, 25,
         family("sigma", &data::sigma, &data::sigma_mean, &data::sigma_var, true, {10, 10}, {10, 50}, 6)},
        {"update_varfrac",
         [](test_state& d) {
             one_flat_cohort(d, 30);
             d.varfrac_var_prior = {2, 80};
             d.varfrac_var = 2.0 / 82;
         },
         [](test_state& d) { d.update_varfrac(); }, 3000, 25,
         family("varfrac", &data::varfrac, &data::varfrac_mean, &data::varfrac_var, false, {2.5, 7.5}, {2, 80}, 1)},
        {"update_fractions",
         [](test_state& d) {
             one_flat_cohort(d, 30);
             d.fraction_var_prior = {2, 80};
             d.fraction_var = 2.0 / 82;
         },
         [](test_state& d) { d.update_fractions(); }, 4000, 10,
         family("fraction", &data::fraction, &data::fraction_mean, &data::fraction_var, false, {30, 30}, {2, 80}, 1)},
        {"update_lengths",
         [](test_state& d) {
             one_flat_cohort(d, 30);
             d.length_var_prior = {10, 200};
             d.length_var = 0.05;
         },
         [](test_state& d) { d.update_lengths(); }, 4000, 10,
         family("length", &data::length, &data::length_mean, &data::length_var, true, {20, 20}, {10, 200}, 4)},
        // No cohort: the null-share hyperparameters see their hyperpriors alone.
        {"update_eta",
         [](test_state& d) {
             model_state::make_state(d, {});
             d.eta_mean = d.eta_var = 0.5;
             d.proposal_k = 50;
         },
         [](test_state& d) { d.update_eta(); }, 3000, 5,
         {{"eta_mean", [](const data& d) { return d.eta_mean; }, beta_cdf({3, 100})},
          {"eta_var", [](const data& d) { return d.eta_var; }, beta_cdf({5, 100})}}},
        // One cohort at a fixed allele frequency 0.3: the reference term (f = 60/120) and the
        // cohort's term pull alpha_star, which has a flat hyperprior.
        {"update_alpha_star",
         [](test_state& d) {
             model_state::make_state(d, {{}});
             d.alpha[0] = 0.3, d.alpha_star = 0.9, d.alpha_proposal_k = 100;
         },
         [](test_state& d) { d.update_alpha_star(); }, 4000, 4,
         {{"alpha_star", [](const data& d) { return d.alpha_star; },
           [](double x) {
               static const grid_cdf target([](double s) { return log_spread_beta(0.3, s, 0.005) + log_spread_beta(0.5, s, 0.01); },
                                            0.001, 0.999, 20000);
               return target(x);
           }}}},
    };
    // The correlations, every class in one update, with hyperpriors that keep the prior's
    // shapes above 1, away from the sticky edges.
    chain_case r{"update_r",
                 [](test_state& d) {
                     one_flat_cohort(d, 30);
                     d.r_mean_prior = {{6, 10, 8}, {10, 6, 8}};
                     d.r_var_prior = {{2, 2, 2}, {80, 80, 80}};
                     d.r_mean = {6.0 / 16, 10.0 / 16, 0.5};
                     d.r_var = {2.0 / 82, 2.0 / 82, 2.0 / 82};
                     d.r[0] = d.r_mean;
                 },
                 [](test_state& d) { d.update_r(); }, 3000, 20, {}};
    const prior_pair mean_priors[] = {{6, 10}, {10, 6}, {8, 8}};
    for (int k = 0; k < 3; ++k) {
        const std::string name = "r" + std::to_string(k);
        r.values.push_back({name, [k](const data& d) { return d.r[0][k]; }, lazy_predictive(false, mean_priors[k], {2, 80}, 1)});
        r.values.push_back({name + "_mean", [k](const data& d) { return d.r_mean[k]; }, beta_cdf(mean_priors[k])});
        r.values.push_back({name + "_var", [k](const data& d) { return d.r_var[k]; }, beta_cdf({2, 80})});
    }
    c.push_back(r);
    return c;
}

// Lag-1 autocorrelation of a series.
double lag1(const std::vector<double>& x)
{
    double mean = 0, num = 0, den = 0;
    for (double v : x) mean += v / x.size();
    for (std::size_t i = 0; i < x.size(); ++i) {
        den += (x[i] - mean) * (x[i] - mean);
        if (i + 1 < x.size()) num += (x[i] - mean) * (x[i + 1] - mean);
    }
    return num / den;
}

}  // namespace

class Chains : public testing::TestWithParam<std::size_t> {};

TEST_P(Chains, UpdateWithoutDataSamplesThePrior)
{
    const chain_case c = cases()[GetParam()];
    test_state d;
    c.setup(d);
    std::vector<std::vector<double>> samples(c.values.size());
    for (int i = 0; i < 1000; ++i) c.step(d);
    for (int i = 0; i < c.kept; ++i) {
        for (int t = 0; t < c.thin; ++t) c.step(d);
        for (std::size_t q = 0; q < c.values.size(); ++q) samples[q].push_back(c.values[q].value(d));
    }
    for (std::size_t q = 0; q < c.values.size(); ++q) {
        const double rho = std::max(lag1(samples[q]), 0.0);
        const double n_eff = c.kept * (1 - rho) / (1 + rho);
        const double D = support::ks_statistic(samples[q], c.values[q].target);
        EXPECT_LT(rho, 0.6) << c.values[q].name << " hardly moves";
        EXPECT_LT(D, support::ks_critical(n_eff)) << c.values[q].name << ", rho " << rho;
    }
}

INSTANTIATE_TEST_SUITE_P(Updates, Chains, testing::Range<std::size_t>(0, cases().size()),
                         [](const testing::TestParamInfo<std::size_t>& info) { return std::string(cases()[info.param].update); });
