#pragma once
#include "numeric/elementary.hpp"
#include "numeric/simd.hpp"
#include "state/data.hpp"

// The bivariate normal density of one class of one cohort, reduced to what the inner loops
// need: the centre, the precision entries a, b, e and the log normaliser log(2*pi*sqrt(D)).
// Its correlation coefficient is +r (the off-diagonal covariance entry is -c). With `nu` > 0 it
// is instead the bivariate Student-t of nu degrees of freedom with that centre and scale matrix,
// whose normaliser is the same: log phi = -(nu + 2)/2 log(1 + Q/nu) - log(2*pi*sqrt(D)).
struct class_density {
    double mx, my;
    double a, b, e;
    double log_norm;
    double nu = 0;

    // Quadratic form Q of the point (x, y) about the centre, per lane of T (double or vec4).
    template <class T>
    [[gnu::always_inline]] T quad(T x, T y) const
    {
        const T dx = x - mx;
        const T dy = y - my;
        return a * dx * dx + 2 * b * dx * dy + e * dy * dy;
    }
    // log phi_k(x, y).
    template <class T>
    [[gnu::always_inline]] T log_phi(T x, T y) const
    {
        if (nu > 0) return -(0.5 * nu + 1) * portable::log_lanes(1.0 + quad(x, y) / nu) - log_norm;
        return -0.5 * quad(x, y) - log_norm;
    }
};

// Density of class k (0, 1, 2 genotype classes; 3 the fixed null class) of cohort j, from the
// current sigma, varfrac, r and mu.
class_density density_of_class(const data& d, int k, int j);
