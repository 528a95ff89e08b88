#pragma once
#include "numeric/elementary.hpp"
#include "numeric/simd.hpp"
#include "state/data.hpp"

// The bivariate normal density of one class of one cohort, reduced to what the inner loops
// need: the centre, the precision entries a, b (kept doubled, as the quadratic form takes it),
// e and the log normaliser log(2*pi*sqrt(D)), each per lane of T (double, or the same value in
// every lane of a vector, so that a loop over points forms them once). Its correlation
// coefficient is +r (the off-diagonal covariance entry is -c). With `nu` > 0 it is instead the
// bivariate Student-t of nu degrees of freedom with that centre and scale matrix, whose
// normaliser is the same: log phi = -(nu + 2)/2 log(1 + Q/nu) - log(2*pi*sqrt(D)).
template <class T>
struct class_density_in {
    T mx, my;
    T a, two_b, e;
    T log_norm;
    double nu = 0;

    // Quadratic form Q of the point (x, y) about the centre, per lane of U (double or vec4).
    template <class U>
    [[gnu::always_inline]] U quad(U x, U y) const
    {
        const U dx = x - mx;
        const U dy = y - my;
        return a * dx * dx + two_b * dx * dy + e * dy * dy;
    }
    // log phi_k(x, y).
    template <class U>
    [[gnu::always_inline]] U log_phi(U x, U y) const
    {
        if (nu > 0) return -(0.5 * nu + 1) * portable::log_lanes(1.0 + quad(x, y) / nu) - log_norm;
        return -0.5 * quad(x, y) - log_norm;
    }
};
using class_density = class_density_in<double>;

// The density with its constants in every lane of T.
template <class T>
[[gnu::always_inline]] inline class_density_in<T> in_lanes(const class_density& d)
{
    return {splat<T>(d.mx), splat<T>(d.my), splat<T>(d.a), splat<T>(d.two_b), splat<T>(d.e), splat<T>(d.log_norm), d.nu};
}

// Density of class k (0, 1, 2 genotype classes; 3 the fixed null class) of cohort j, from the
// current sigma, varfrac, r and mu.
class_density density_of_class(const data& d, int k, int j);
