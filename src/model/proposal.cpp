#include "model/proposal.hpp"

#include "model/hierarchy.hpp"
#include "numeric/densities.hpp"
#include "numeric/elementary.hpp"
#include "numeric/random.hpp"
#include "numeric/variates.hpp"

namespace {
constexpr double shape_offset = 1e-8;

double offset_of(proposal_kind kind) { return kind == proposal_kind::beta_offset ? shape_offset : 0.0; }

// The gamma shapes a proposal from x draws with: kappa x for the Gamma proposal; for the Beta
// ones the two shapes in single precision, as genbet takes them.
struct proposal_shapes {
    proposal_kind kind;
    double gamma;
    float beta[2];
};

proposal_shapes shapes_of(proposal_kind kind, double x, double kappa)
{
    const double o = offset_of(kind);
    return {kind, kappa * x, {static_cast<float>(kappa * x + o), static_cast<float>(kappa * (1 - x) + o)}};
}

// The shapes of the next proposal from the value the last one returned, should it be accepted;
// none when there is no such proposal.
thread_local proposal_shapes next_if_accepted{};
thread_local bool next_pending = false;
}  // namespace

bool inside_support(proposal_kind kind, double x)
{
    if (kind == proposal_kind::gamma) return x > support_low;
    return x > support_low && x < support_high;
}

double propose(proposal_kind kind, double x, double kappa)
{
    const proposal_shapes s = shapes_of(kind, x, kappa);
    double x_new = kind == proposal_kind::gamma ? rgamma(s.gamma, kappa) : genbet(s.beta[0], s.beta[1]);
    if (!inside_support(kind, x_new)) x_new = x;
    next_if_accepted = shapes_of(kind, x_new, kappa);
    next_pending = true;
    return x_new;
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
    bool accepted = log_ratio > 0;
    if (sampling) {
        const double u = Uniform().Next();
        accepted = log_ratio_mh > 0 || portable::exp(log_ratio_mh) > u;
    }
    // An accepted proposal is next sweep's starting value: the tables of the proposal from it
    // are laid ahead, alongside the next tables laid.
    if (accepted && next_pending) {
        const proposal_shapes& s = next_if_accepted;
        if (s.kind == proposal_kind::gamma)
            expect_rgamma(s.gamma);
        else
            expect_genbet(s.beta[0], s.beta[1]);
    }
    next_pending = false;
    return accepted;
}

double with_hastings(double log_ratio, proposal_kind kind, double x, double x_new, double kappa)
{
    return log_ratio - log_proposal_density(kind, x_new, x, kappa) +
           log_proposal_density(kind, x, x_new, kappa);
}
