// Hyperparameter updates: the shared means and spreads of every hierarchical family.
#include <array>
#include <iostream>

#include "model/hierarchy.hpp"
#include "model/proposal.hpp"
#include "numeric/densities.hpp"
#include "numeric/variates.hpp"

namespace {

struct family_traits {
    const char* mean_trace;    // line printed with "-names" before a mean step, or nullptr
    const char* var_trace;     // the same before a spread step
    bool gamma;                // positive values with mean–variance Gamma priors (else mean–spread Beta)
    proposal_kind proposal;    // proposal of the hyperparameters
    double data::*counter;
    bool trace_accept;         // a maximising-phase acceptance prints the log posterior with "-names"
};

const family_traits& traits(family f)
{
    static const family_traits table[] = {
        {"update_fraction_mean()", "update_fraction_var()", false, proposal_kind::beta_plain, &data::accept_fraction, true},
        {"update_departure_mean()", "update_departure_var()", false, proposal_kind::beta_plain, &data::accept_departure, true},
        {"update_length_mean()", "update_length_var()", true, proposal_kind::gamma, &data::accept_length, true},
        {"update_gradient_mean()", "update_gradient_var()", true, proposal_kind::gamma, &data::accept_gradient, true},
        {nullptr, nullptr, true, proposal_kind::gamma, &data::accept_sigma, false},
        {nullptr, nullptr, false, proposal_kind::beta_offset, &data::accept_varfrac, false},
        {nullptr, nullptr, false, proposal_kind::beta_offset, &data::accept_r, false},
        {"update_mean", "update_eta_var", false, proposal_kind::beta_offset, &data::accept_eta, false},
    };
    return table[static_cast<int>(f)];
}

// The hyperprior pair of the mean or spread of family f (class k for r).
prior_pair hyperprior(const settings& s, family f, hyper_role role, int k)
{
    const bool m = role == hyper_role::mean;
    switch (f) {
    case family::fraction: return m ? s.fraction_mean_prior : s.fraction_var_prior;
    case family::departure: return m ? s.departure_mean_prior : s.departure_var_prior;
    case family::length: return m ? s.length_mean_prior : s.length_var_prior;
    case family::gradient: return m ? s.gradient_mean_prior : s.gradient_var_prior;
    case family::sigma: return m ? s.sigma_mean_prior : s.sigma_var_prior;
    case family::varfrac: return m ? s.varfrac_mean_prior : s.varfrac_var_prior;
    case family::eta: return m ? s.eta_mean_prior : s.eta_var_prior;
    case family::r: break;
    }
    const class_prior& cp = m ? s.r_mean_prior : s.r_var_prior;
    return {cp.a[k], cp.b[k]};
}

double hyperprior_log_density(const data& d, family f, hyper_role role, int k, double x)
{
    const prior_pair p = hyperprior(d.cfg, f, role, k);
    return traits(f).gamma ? gamma_log_density(x, p[0], p[1]) : log_dbeta(x, p[0], p[1]);
}

}  // namespace

bool gamma_family(family f) { return traits(f).gamma; }

std::pair<double, double> starting_hyperparameters(const settings& s, family f, int k)
{
    const bool shape = f == family::fraction || f == family::departure || f == family::length || f == family::gradient;
    const auto start = [&](hyper_role role, double scale) {
        const prior_pair p = hyperprior(s, f, role, k);
        return traits(f).gamma ? scale * p[0] / p[1] : scale * p[0] / (p[0] + p[1]);
    };
    return {start(hyper_role::mean, 1), start(hyper_role::var, shape ? 2 : 1)};
}

namespace {

// The shapes a draw from the mean–spread Beta takes, in single precision as genbet takes them,
// and the shape of a draw from the mean–variance Gamma.
std::array<float, 2> beta_prior_shapes(double m, double v)
{
    return {static_cast<float>(beta_a(m, v)), static_cast<float>(beta_b(m, v))};
}
double gamma_prior_shape(double m, double v) { return m * m / v; }

}  // namespace

double beta_prior_draw(double m, double v)
{
    const std::array<float, 2> s = beta_prior_shapes(m, v);
    return genbet(s[0], s[1]);
}

double gamma_prior_draw(double m, double v) { return rgamma(gamma_prior_shape(m, v), m / v); }

void expect_prior_draw(bool gamma, double m, double v)
{
    if (gamma) {
        expect_rgamma(gamma_prior_shape(m, v));
    } else {
        const std::array<float, 2> s = beta_prior_shapes(m, v);
        expect_genbet(s[0], s[1]);
    }
}

double untraced_log_posterior(data& d)
{
    if (!d.cfg.print_names) return d.log_posterior();
    // The names of the updates it passes through are not shown.
    struct quiet_console {
        data& d;
        std::ostream& was;
        std::ostream null{nullptr};
        explicit quiet_console(data& target) : d(target), was(target.log()) { d.set_console(null); }
        ~quiet_console() { d.set_console(was); }
    } quiet(d);
    return d.log_posterior();
}

void trace_acceptance(data& d, double lp_before, double log_ratio)
{
    const double lp_after = d.log_posterior();
    d.log() << "accept" << std::endl
              << "old = " << lp_before << " new = " << lp_after << " mh = " << log_ratio << std::endl;
}

double family_log_prior(family f, double x, double mean, double var)
{
    if (traits(f).gamma) return gamma_log_density(x, mean * mean / var, mean / var);
    return log_dbeta(x, beta_a(mean, var), beta_b(mean, var));
}

double& family_value(data& d, family f, int j, int k)
{
    switch (f) {
    case family::fraction: return d.fraction[j];
    case family::departure: return d.departure[j];
    case family::length: return d.length[j];
    case family::gradient: return d.gradient[j];
    case family::sigma: return d.sigma[j];
    case family::varfrac: return d.varfrac[j];
    case family::r: return d.r[j][k];
    case family::eta: break;
    }
    return d.eta[j];
}

double& family_hyper(data& d, family f, hyper_role role, int k)
{
    const bool m = role == hyper_role::mean;
    switch (f) {
    case family::fraction: return m ? d.fraction_mean : d.fraction_var;
    case family::departure: return m ? d.departure_mean : d.departure_var;
    case family::length: return m ? d.length_mean : d.length_var;
    case family::gradient: return m ? d.gradient_mean : d.gradient_var;
    case family::sigma: return m ? d.sigma_mean : d.sigma_var;
    case family::varfrac: return m ? d.varfrac_mean : d.varfrac_var;
    case family::r: return m ? d.r_mean[k] : d.r_var[k];
    case family::eta: break;
    }
    return m ? d.eta_mean : d.eta_var;
}

void update_hyperparameter(data& d, family f, hyper_role role, int k)
{
    const family_traits& t = traits(f);
    const bool is_mean = role == hyper_role::mean;
    const char* trace = is_mean ? t.mean_trace : t.var_trace;
    if (d.cfg.print_names && trace) d.log() << trace << std::endl;

    double& x = family_hyper(d, f, role, k);
    const double other = family_hyper(d, f, is_mean ? hyper_role::var : hyper_role::mean, k);
    const double x_new = propose(t.proposal, x, d.cfg.proposal_k);

    double sum = 0;
    for (int j = 0; j < d.n_cohorts; ++j) {
        const double v = family_value(d, f, j, k);
        const double lp_new = is_mean ? family_log_prior(f, v, x_new, other) : family_log_prior(f, v, other, x_new);
        const double lp_old = is_mean ? family_log_prior(f, v, x, other) : family_log_prior(f, v, other, x);
        sum += lp_new - lp_old;
    }
    const double R = sum + hyperprior_log_density(d, f, role, k, x_new) - hyperprior_log_density(d, f, role, k, x);

    const bool trace_accept = t.trace_accept && d.cfg.print_names && !d.sampling;
    const double lp_before = trace_accept ? untraced_log_posterior(d) : 0;
    if (!accept_move(d.sampling, R, with_hastings(R, t.proposal, x, x_new, d.cfg.proposal_k))) return;
    x = x_new;
    d.*(t.counter) += 1;
    if (trace_accept) trace_acceptance(d, lp_before, R);
}

void data::update_fraction_mean() { update_hyperparameter(*this, family::fraction, hyper_role::mean, 0); }
void data::update_fraction_var() { update_hyperparameter(*this, family::fraction, hyper_role::var, 0); }
void data::update_departure_mean() { update_hyperparameter(*this, family::departure, hyper_role::mean, 0); }
void data::update_departure_var() { update_hyperparameter(*this, family::departure, hyper_role::var, 0); }
void data::update_length_mean() { update_hyperparameter(*this, family::length, hyper_role::mean, 0); }
void data::update_length_var() { update_hyperparameter(*this, family::length, hyper_role::var, 0); }
void data::update_gradient_mean() { update_hyperparameter(*this, family::gradient, hyper_role::mean, 0); }
void data::update_gradient_var() { update_hyperparameter(*this, family::gradient, hyper_role::var, 0); }

void data::update_r_mean()
{
    for (int k = 0; k < 3; ++k) update_hyperparameter(*this, family::r, hyper_role::mean, k);
}

void data::update_r_var()
{
    for (int k = 0; k < 3; ++k) update_hyperparameter(*this, family::r, hyper_role::var, k);
}
