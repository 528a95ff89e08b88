#include "model/proposal.hpp"

#include "model/hierarchy.hpp"
#include "numeric/densities.hpp"
#include "numeric/elementary.hpp"
#include "numeric/random.hpp"
#include "numeric/variates.hpp"

namespace {
constexpr double shape_offset = 1e-8;

double offset_of(proposal_kind kind) { return kind == proposal_kind::beta_offset ? shape_offset : 0.0; }
}  // namespace

bool inside_support(proposal_kind kind, double x)
{
    if (kind == proposal_kind::gamma) return x > support_low;
    return x > support_low && x < support_high;
}

double propose(proposal_kind kind, double x, double kappa)
{
    double x_new;
    if (kind == proposal_kind::gamma) {
        x_new = rgamma(kappa * x, kappa);
    } else {
        const double o = offset_of(kind);
        x_new = genbet(static_cast<float>(kappa * x + o), static_cast<float>(kappa * (1 - x) + o));
    }
    return inside_support(kind, x_new) ? x_new : x;
}

double log_proposal_density(proposal_kind kind, double to, double from, double kappa)
{
    if (kind == proposal_kind::gamma) {
        return gamma_log_density(to, kappa * from, kappa);
    }
    const double o = offset_of(kind);
    return log_dbeta(to, kappa * from + o, kappa * (1 - from) + o);
}

bool accept_move(bool sampling, double log_ratio, double log_ratio_mh)
{
    if (!sampling) return log_ratio > 0;
    const double u = Uniform().Next();
    return log_ratio_mh > 0 || portable::exp(log_ratio_mh) > u;
}

double with_hastings(double log_ratio, proposal_kind kind, double x, double x_new, double kappa)
{
    return log_ratio - log_proposal_density(kind, x_new, x, kappa) +
           log_proposal_density(kind, x, x_new, kappa);
}
