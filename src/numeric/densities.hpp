#pragma once
#include <vector>

// Probability densities and summary statistics in double precision; nothing is validated,
// and out-of-range arguments give what IEEE arithmetic gives for the formula (NaN, -inf,
// division by zero for n = 1 in the divisors n - 1). Logarithms are natural.

// Log density of Beta(a, b) at x.
double log_dbeta(double x, double a, double b);

// Mean of the first n entries of v (0 / n for n <= 0).
double meanvec(const std::vector<double>* v, int n);
// Sample variance (divisor n - 1) of the first n entries of v about the given mean.
double varvec(const std::vector<double>* v, double mean, int n);
// Sample variance (divisor n - 1) of the first n entries of v about their own mean.
double varvec1(const std::vector<double>* v, int n);
// Sample covariance (divisor n - 1) of the first n entries of x and y about the given means.
double covvec(const std::vector<double>* x, const std::vector<double>* y, double mx, double my, int n);
// Sample covariance (divisor n - 1) of the first n entries of x and y about their own means.
double covvec1(const std::vector<double>* x, const std::vector<double>* y, int n);

// Running mean: m <- ((n - 1) m + x) / n, n counting x.
void sequential_mean(double* m, const double* x, double n);
void sequential_mean_vec(double* m, const double* x, double n, int d);
// Running sample variance, called after the running mean with n counting x and m the updated
// mean. After the first observation the slot holds the observation itself; from the second
// on it holds the sample variance with divisor n - 1.
void sequential_variance(double* s2, const double* m, const double* x, double n);
void sequential_variance_vec(double* s2, const double* m, const double* x, double n, int d);
// The same rule for a standard deviation slot.
void sequential_sd(double* s, const double* m, const double* x, double n);
void sequential_sd_vec(double* s, const double* m, const double* x, double n, int d);

// Normal density with mean *mu and standard deviation *sigma.
double dnorm(double x, const double* mu, const double* sigma);
// Normal log density with mean mu and VARIANCE v (2 pi taken as 6.283185308).
double log_dnorm(double x, double mu, double v);
// Gamma(a, rate b) density at x; its logarithm when log_flag is non-zero.
double dgamma(double x, double a, double b, int log_flag);
// Gamma(a, rate b) log density at x.
double log_dgamma(double x, double a, double b);
// Scaled inverse chi-square(nu, s2) log density at x.
double log_dscaled_Inv_Chi_Squared(double x, double nu, double s2);
// Dirichlet(alpha) LOG density at x, over the first *K entries.
double ddirichlet(const double* x, const double* alpha, const int* K);
