#pragma once
// The chip's cluster geometry as a prior factor on the class means (learnt priors): where the
// clusters of a SNP lie, told by quantities that do not depend on the SNP's brightness.
#include <array>

#include "state/records.hpp"
#include "state/settings.hpp"

class data;

// The brightness-free geometry of one cohort's three class means.
struct cluster_geometry {
    std::array<double, 3> share;   // [k] y / (x + y) of the class-k mean: 0 on the first axis, 1 on the second
    double het_brightness;         // log of the class-1 mean's x + y over the geometric mean of the others'
};

// The geometry of `m`; false when some class mean has no positive x + y, where it means nothing.
bool geometry_of(const class_means& m, cluster_geometry& g);

// Log density, up to a constant (the same on both halves), of the two-piece Student-t `p` at x.
double two_piece_log_density(const two_piece_t& p, double x);

// The factor's log value for cohort j's class means, weighted by 1 / n_cohorts so that the
// cohorts of a SNP together count as one SNP of the chip: 0 when the factor is off, -inf when
// the means have no geometry.
double geometry_log_prior(const data& d, int j);
