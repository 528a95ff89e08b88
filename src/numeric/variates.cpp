#include "numeric/variates.hpp"

#include <cmath>
#include <iostream>
#include <iterator>
#include <optional>

#include "state/error.hpp"

double rgamma(double shape, double rate)
{
    Gamma g(shape);
    return g.Next() / rate;
}

void rgammas(const double* shape, int n, double* out)
{
    std::optional<Gamma> g[max_gamma_batch];
    Gamma* drawn[max_gamma_batch];
    int made = 0;
    try {
        for (; made < n; ++made) drawn[made] = &g[made].emplace(shape[made]);
    } catch (const run_error&) {
        draw_gammas(drawn, made, out);
        throw;
    }
    draw_gammas(drawn, n, out);
}

double genbet(float a, float b)
{
    Gamma ga(a);
    Gamma gb(b);
    Gamma* const g[] = {&ga, &gb};
    double xy[2];
    draw_gammas(g, 2, xy);
    return xy[0] / (xy[0] + xy[1]);
}

void expect_rgamma(double shape) { expect_gamma_shapes(&shape, 1); }

// The shapes arrive as floats, as genbet takes them, so that they are rounded to single
// precision whatever the caller's compiler folds (GCC 12's vectoriser has been seen to drop a
// double-to-float-to-double round trip).
void expect_genbet(float a, float b)
{
    const double shapes[] = {a, b};
    expect_gamma_shapes(shapes, 2);
}

int rmultinom(const double* p, int n)
{
    Uniform uniform;
    return rmultinom_walk(p, n, uniform.Next());
}

ChiSq::ChiSq(double nu) : nu_(nu), half_(nu / 2.0) {}
double ChiSq::Next() { return 2.0 * half_.Next(); }
const char* ChiSq::Name() const { return "ChiSq"; }
double ChiSq::Mean() const { return nu_; }
double ChiSq::Variance() const { return 2.0 * nu_; }

double genchi(int nu)
{
    ChiSq chi(nu);
    return chi.Next();
}

void rdirichlet(double* x, const double* alpha, const int* K)
{
    double sum = 0.0;
    for (int k = 0; k < *K; ++k) {
        x[k] = rgamma(alpha[k], 1.0);
        sum += x[k];
    }
    for (int k = 0; k < *K; ++k)
        x[k] = (x[k] + 0.01 * sum) / (sum * (1.0 + 0.01 * *K));
}

int rmultinom_unif(int n)
{
    if (n < 1)
        return 0;
    Uniform uniform;
    double u = uniform.Next();
    const double share = 1.0 / n;
    for (int i = 1; i < n; ++i) {
        u -= share;
        if (u <= 0.0)
            return i;
    }
    return n;
}

int rmultinom(const weight_map& weights, double total)
{
    if (weights.empty())
        throw run_error("rmultinom: no weights to draw from");
    Uniform uniform;
    double u = uniform.Next();
    auto it = weights.begin();
    for (;;) {
        u -= it->first / total;
        if (u <= 0.0 || std::next(it) == weights.end())
            return it->second;
        ++it;
    }
}

namespace {

// Fills out with 0 ... M-1, then draws `draws` of the candidates without replacement, each by a
// uniform category over those not yet drawn (in increasing order), and appends each drawn value
// as the `step` values v, v + 1, ...
void draw_without_replacement(int N, int M, int p, int step, int draws, std::vector<int>* out)
{
    if (p < M || p > N)
        std::cout << "need p >= M and p <= N in samp function" << std::endl;
    out->clear();
    for (int i = 0; i < M; ++i)
        out->push_back(i);
    std::vector<int> left;
    for (int v = M; v < N; v += step)
        left.push_back(v);
    for (int d = 0; d < draws && !left.empty(); ++d) {
        const int pick = rmultinom_unif(static_cast<int>(left.size())) - 1;
        for (int s = 0; s < step; ++s)
            out->push_back(left[pick] + s);
        left.erase(left.begin() + pick);
    }
}

}  // namespace

void samp(int N, int M, int p, std::vector<int>* out) { draw_without_replacement(N, M, p, 1, p - M, out); }

void samp1(int N, int M, int p, std::vector<int>* out)
{
    draw_without_replacement(N, M, p, 2, (N - M) / 2, out);
}
