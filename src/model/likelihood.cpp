#include "model/likelihood.hpp"

#include <cmath>
#include <cstring>
#include <iostream>

#include "model/hierarchy.hpp"
#include "numeric/densities.hpp"
#include "numeric/elementary.hpp"
#include "numeric/simd.hpp"

namespace {
constexpr double null_centre = 0.89;
constexpr double null_precision = 0.01;   // each coordinate has variance 100
constexpr double null_determinant = 10000;

// The sum of log phi over the n points (x[i], y[i]), added in point order; the terms are
// formed four at a time.
[[gnu::always_inline]] inline double sum_of_log_phi(const class_density& cd, const double* x, const double* y,
                                                    std::size_t n)
{
    double sum = 0;
    std::size_t i = 0;
#pragma GCC unroll 2
    for (; i + 4 <= n; i += 4) {
        vec4 xs, ys;
        std::memcpy(&xs, x + i, sizeof xs);
        std::memcpy(&ys, y + i, sizeof ys);
        const vec4 t = cd.log_phi(xs, ys);
        sum += t[0];
        sum += t[1];
        sum += t[2];
        sum += t[3];
    }
    for (; i < n; ++i) sum += cd.log_phi(x[i], y[i]);
    return sum;
}

double sum_of_log_phi_baseline(const class_density& cd, const double* x, const double* y, std::size_t n)
{
    return sum_of_log_phi(cd, x, y, n);
}

WIDE_LANES_TARGET double sum_of_log_phi_wide(const class_density& cd, const double* x, const double* y, std::size_t n)
{
    return sum_of_log_phi(cd, x, y, n);
}

}  // namespace

class_density density_of_class(const data& d, int k, int j)
{
    if (k == 3) {
        return {null_centre, null_centre, null_precision, 0, null_precision,
                portable::log(two_pi * std::sqrt(null_determinant))};
    }
    const double s = d.sigma[j];
    const double t = d.varfrac[j];
    const double rho = d.r[j][k];
    const double s2 = s * s;
    double vx = s2, vy = s2, c = -rho * s2;
    if (k == 0) {
        vy = t * t * s2;
        c = -rho * s2 * t;
    } else if (k == 2) {
        vx = t * t * s2;
        c = -rho * s2 * t;
    }
    const double det = vx * vy - c * c;
    return {d.mu[j][k][0], d.mu[j][k][1], vy / det, 2 * (c / det), vx / det, portable::log(two_pi * std::sqrt(det)),
            d.cfg.class_dof};
}

double data::log_posterior_X_given_K(int k, int j)
{
    if (cfg.print_names) log() << "log_posterior_X_given_K()" << std::endl;
    // Most moves judge a proposal against the likelihood of the unchanged state, computed the
    // move before: the memo returns that sum without walking the points again. The class
    // density, and so the sum, is a function of these parameters alone.
    likelihood_memo& memo = likelihood_memos[j][k];
    const std::array<double, 5> key = k == 3 ? std::array<double, 5>{0, 0, 0, 0, 0}
                                             : std::array<double, 5>{sigma[j], varfrac[j], r[j][k], mu[j][k][0], mu[j][k][1]};
    for (const likelihood_memo::entry& e : memo.entries)
        if (e.calls_version == calls_version && e.clumped == clumped &&
            std::memcmp(e.parameters.data(), key.data(), sizeof key) == 0)
            return e.value;

    const class_density cd = density_of_class(*this, k, j);
    double sum = 0;
    if (!clumped) {
        const class_members& m = members[j][k];
        auto* const run = wide_lanes_active() ? sum_of_log_phi_wide : sum_of_log_phi_baseline;
        sum = run(cd, m.x.data(), m.y.data(), m.size);
    } else {
        for (const auto& [x, column] : current.clumps[j])
            for (const auto& [row, c] : column)
                if (c.call != k) continue;
                else if (cd.nu > 0) sum += c.w * cd.log_phi(x, row.y);
                else sum += c.w * (-0.5 * cd.quad(x, row.y)) - c.w * cd.log_norm;
    }
    memo.newest = 1 - memo.newest;
    memo.entries[memo.newest] = {calls_version, clumped, key, sum};
    return sum;
}

double data::log_posterior()
{
    std::array<double, 7>& t = log_posterior_terms;
    t.fill(0);
    for (int j = 0; j < n_cohorts; ++j)
        for (int k = 0; k < 4; ++k) t[0] += log_posterior_X_given_K(k, j);
    for (int j = 0; j < n_cohorts; ++j)
        for (int k = 0; k < 4; ++k) t[1] += N[j][k] * portable::log(lambda[j][k]);
    for (int j = 0; j < n_cohorts; ++j) t[2] += p_lambda(j);

    const double ac = cfg.c_alpha_cohorts, ap = c_alpha_prior_snp;
    for (int j = 0; j < n_cohorts; ++j)
        t[3] += log_dbeta(alpha[j], beta_a(alpha_star, ac), beta_b(alpha_star, ac));
    t[3] += log_dbeta(alpha_prior[0] / cfg.alpha_prior_strength, beta_a(alpha_star, ap), beta_b(alpha_star, ap));
    t[3] += log_dbeta(alpha_star, cfg.alpha_star_prior[0], cfg.alpha_star_prior[1]);

    for (int j = 0; j < n_cohorts; ++j)
        t[4] += log_dbeta(eta[j], beta_a(eta_mean, eta_var), beta_b(eta_mean, eta_var));
    t[4] += log_dbeta(eta_mean, cfg.eta_mean_prior[0], cfg.eta_mean_prior[1]);
    t[4] += log_dbeta(eta_var, cfg.eta_var_prior[0], cfg.eta_var_prior[1]);

    t[5] = p_mu();
    t[6] = p_Var();

    double total = 0;
    for (double term : t) total += term;
    return total;
}
