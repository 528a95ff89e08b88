#pragma once
#include <functional>
#include <map>
#include <vector>

#include "numeric/strip_tables.hpp"

// Gamma(shape, rate) variate (mean shape / rate); throws run_error unless the shape is finite
// and positive. The rate is not checked.
double rgamma(double shape, double rate);

// Gamma(shape[i], 1) variates for i < n <= max_gamma_batch, in that order: what n calls of
// rgamma(shape[i], 1) give, their strip tables laid together. A shape that is not finite and
// positive throws after the draws before it.
void rgammas(const double* shape, int n, double* out);

// Beta(a, b) variate as x / (x + y) with x ~ Gamma(a), y ~ Gamma(b), drawn in that order.
// The shapes are single precision on purpose: callers' doubles are rounded at the call, so
// shapes that agree to single precision give identical draws.
double genbet(float a, float b);

// Say that rgamma(shape, ...) and genbet(a, b) will soon be called (the next proposal from an
// accepted value, the next draws from a prior): their strip tables are laid ahead, alongside
// other tables (see expect_gamma_shapes). Only speed depends on these.
void expect_rgamma(double shape);
void expect_genbet(float a, float b);

// A categorical draw from the n probabilities p[0 ... n-1]: the 1-based category at which a
// uniform draw, reduced by each probability in turn, first reaches <= 0; n when it never does
// (any shortfall of the sum goes to the last category).
int rmultinom(const double* p, int n);
// The walk of `rmultinom` for a given uniform number u.
inline int rmultinom_walk(const double* p, int n, double u)
{
    for (int i = 1; i <= n; ++i) {
        u -= p[i - 1];
        if (u <= 0.0)
            return i;
    }
    return n;
}

// Chi-square variate with nu degrees of freedom.
double genchi(int nu);

// Central chi-square generator: twice a Gamma(nu / 2, 1) variate.
class ChiSq : public Random {
public:
    explicit ChiSq(double nu);
    double Next() override;
    const char* Name() const override;
    double Mean() const override;
    double Variance() const override;

private:
    double nu_;
    Gamma half_;
};

// Dirichlet(alpha) draw mixed with a 1% uniform share: g_k = rgamma(alpha_k, 1) in order,
// S = sum g_k, x_k = (g_k + 0.01 S) / (S (1 + 0.01 K)), for k < *K.
void rdirichlet(double* x, const double* alpha, const int* K);

// Uniform category 1 ... n (0 when n < 1).
int rmultinom_unif(int n);

// Weights keyed largest first, each with its value.
using weight_map = std::multimap<double, int, std::greater<double>>;
// A draw from the weights (key / total), walking the map from the largest; returns the value
// of the entry at which the uniform draw reached <= 0, or of the last entry. Throws run_error
// for an empty map.
int rmultinom(const weight_map& weights, double total);

// out[0 ... M-1] = 0 ... M-1, then p - M values drawn without replacement from M ... N-1.
// Prints "need p >= M and p <= N in samp function" when p < M or p > N and draws as many as
// there are (none when p < M).
void samp(int N, int M, int p, std::vector<int>* out);
// out[0 ... M-1] = 0 ... M-1, then (N - M) / 2 values drawn without replacement from
// M, M + 2, ... below N, each filling two slots with v and v + 1. Same message check on p.
void samp1(int N, int M, int p, std::vector<int>* out);
