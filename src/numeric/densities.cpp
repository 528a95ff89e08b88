#include "numeric/densities.hpp"

#include <cmath>

#include "numeric/elementary.hpp"

double log_dbeta(double x, double a, double b)
{
    // ln x and ln(1 - x) in the two lanes of one vector when both are positive, as log gives them.
    const double y = 1.0 - x;
    double log_x, log_y;
    if (x > 0 && y > 0) {
        const vec2 l = portable::log_lanes(vec2{x, y});
        log_x = l[0], log_y = l[1];
    } else {
        log_x = portable::log(x), log_y = portable::log(y);
    }
    return (a - 1.0) * log_x + (b - 1.0) * log_y + portable::lgamma(a + b) - portable::lgamma(a) - portable::lgamma(b);
}

double meanvec(const std::vector<double>* v, int n)
{
    double sum = 0.0;
    for (int i = 0; i < n; ++i)
        sum += (*v)[i];
    return sum / n;
}

double covvec(const std::vector<double>* x, const std::vector<double>* y, double mx, double my, int n)
{
    double sum = 0.0;
    for (int i = 0; i < n; ++i)
        sum += ((*x)[i] - mx) * ((*y)[i] - my);
    return sum / (n - 1);
}

double varvec(const std::vector<double>* v, double mean, int n) { return covvec(v, v, mean, mean, n); }
double varvec1(const std::vector<double>* v, int n) { return varvec(v, meanvec(v, n), n); }

double covvec1(const std::vector<double>* x, const std::vector<double>* y, int n)
{
    return covvec(x, y, meanvec(x, n), meanvec(y, n), n);
}

void sequential_mean(double* m, const double* x, double n) { *m = ((n - 1.0) * *m + *x) / n; }

void sequential_mean_vec(double* m, const double* x, double n, int d)
{
    for (int i = 0; i < d; ++i)
        sequential_mean(m + i, x + i, n);
}

namespace {

// The variance of n > 2 observations from that of the first n - 1, the new observation x and
// the mean m of all n.
double grown_variance(double s2, double m, double x, double n)
{
    return ((n - 2.0) / (n - 1.0)) * s2 + n * (x - m) * (x - m) / ((n - 1.0) * (n - 1.0));
}

}  // namespace

void sequential_variance(double* s2, const double* m, const double* x, double n)
{
    if (n == 1.0)
        *s2 = *x;
    else if (n == 2.0)
        *s2 = (*s2 - *x) * (*s2 - *x) / 2.0;
    else if (n > 2.0)
        *s2 = grown_variance(*s2, *m, *x, n);
}

void sequential_variance_vec(double* s2, const double* m, const double* x, double n, int d)
{
    for (int i = 0; i < d; ++i)
        sequential_variance(s2 + i, m + i, x + i, n);
}

void sequential_sd(double* s, const double* m, const double* x, double n)
{
    if (n == 1.0)
        *s = *x;
    else if (n == 2.0)
        *s = std::fabs(*s - *x) / std::sqrt(2.0);
    else if (n > 2.0)
        *s = std::sqrt(grown_variance(*s * *s, *m, *x, n));
}

void sequential_sd_vec(double* s, const double* m, const double* x, double n, int d)
{
    for (int i = 0; i < d; ++i)
        sequential_sd(s + i, m + i, x + i, n);
}

double dnorm(double x, const double* mu, const double* sigma)
{
    return portable::exp(-(x - *mu) * (x - *mu) / (2.0 * *sigma * *sigma)) / (2.5066282747946493 * *sigma);
}

double log_dnorm(double x, double mu, double v)
{
    return -0.5 * (portable::log(6.283185308 * v) + (x - mu) * (x - mu) / v);
}

double log_dgamma(double x, double a, double b)
{
    return a * portable::log(b) + (a - 1.0) * portable::log(x) - b * x - portable::lgamma(a);
}

double dgamma(double x, double a, double b, int log_flag)
{
    const double l = log_dgamma(x, a, b);
    return log_flag != 0 ? l : portable::exp(l);
}

double log_dscaled_Inv_Chi_Squared(double x, double nu, double s2)
{
    return (nu / 2.0) * portable::log(nu * s2 / 2.0) - portable::lgamma(nu / 2.0) -
           (nu / 2.0 + 1.0) * portable::log(x) - nu * s2 / (2.0 * x);
}

double ddirichlet(const double* x, const double* alpha, const int* K)
{
    double alpha_sum = 0.0;
    double terms = 0.0;
    for (int k = 0; k < *K; ++k) {
        alpha_sum += alpha[k];
        terms += (alpha[k] - 1.0) * portable::log(x[k]) - portable::lgamma(alpha[k]);
    }
    return portable::lgamma(alpha_sum) + terms;
}
