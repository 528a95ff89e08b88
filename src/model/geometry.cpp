#include "model/geometry.hpp"

#include <limits>

#include "numeric/elementary.hpp"
#include "state/data.hpp"

bool geometry_of(const class_means& m, cluster_geometry& g)
{
    std::array<double, 3> sum{};
    for (int k = 0; k < 3; ++k) {
        sum[k] = m[k][0] + m[k][1];
        if (!(sum[k] > 0)) return false;
        g.share[k] = m[k][1] / sum[k];
    }
    g.het_brightness = portable::log(sum[1]) - 0.5 * (portable::log(sum[0]) + portable::log(sum[2]));
    return true;
}

double two_piece_log_density(const two_piece_t& p, double x)
{
    const double z = (x - p.mid) / (x < p.mid ? p.below : p.above);
    return -0.5 * (p.dof + 1) * portable::log(1 + z * z / p.dof);
}

double geometry_log_prior(const data& d, int j)
{
    const geometry_prior& prior = d.cfg.geometry;
    if (!prior.active) return 0;
    cluster_geometry g;
    if (!geometry_of(d.mu[j], g)) return -std::numeric_limits<double>::infinity();
    double sum = two_piece_log_density(prior.het_brightness, g.het_brightness);
    for (int k = 0; k < 3; ++k) sum += two_piece_log_density(prior.share[k], g.share[k]);
    return sum / d.n_cohorts;
}
