#include "numeric/matrix.hpp"

#include <cmath>

#include <newmatap.h>

#include "numeric/elementary.hpp"
#include "numeric/strip_tables.hpp"
#include "numeric/variates.hpp"

using NEWMAT::ColumnVector;
using NEWMAT::IdentityMatrix;
using NEWMAT::LowerTriangularMatrix;
using NEWMAT::Matrix;
using NEWMAT::SymmetricMatrix;
using NEWMAT::UpperTriangularMatrix;

namespace {

constexpr double pi_model = 3.141592654;

// Inverse-Wishart log density from the dimension, ln det w, ln det s and trace(s w^-1).
double log_inverse_wishart(int p, double nu, double log_det_w, double log_det_s, double trace_s_winv)
{
    double value = (nu / 2.0) * log_det_s - (nu * p / 2.0) * portable::log(2.0) -
                   (p * (p - 1) / 4.0) * portable::log(pi_model);
    for (int i = 0; i < p; ++i)
        value -= portable::lgamma((nu - i) / 2.0);
    return value - ((nu + p + 1) / 2.0) * log_det_w - 0.5 * trace_s_winv;
}

}  // namespace

double log_mvt_norm_density(const ColumnVector* x, const ColumnVector* mu, const SymmetricMatrix* sigma)
{
    const int n = mu->Nrows();
    const ColumnVector d = *x - *mu;
    const double quadratic = (d.t() * sigma->i() * d).AsScalar();
    return -0.5 * (n * portable::log(6.283185307179586) + portable::log(sigma->Determinant()) + quadratic);
}

void matrix_exp(std::vector<std::vector<double>>* a, double t)
{
    const int n = static_cast<int>(a->size());
    Matrix base(n, n);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            base(r + 1, c + 1) = (*a)[r][c];
    Matrix sum = IdentityMatrix(n);
    Matrix power = base;
    double coefficient = 1.0;   // t^i / i!
    for (int i = 1; i <= 99; ++i) {
        coefficient *= t / i;
        sum += coefficient * power;
        power = power * base;
    }
    sum *= portable::exp(-t);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            (*a)[r][c] = sum(r + 1, c + 1);
}

void rwish(SymmetricMatrix* result, int nu, const SymmetricMatrix* s, bool inverse)
{
    const int p = s->Nrows();
    SymmetricMatrix scale;
    if (inverse)
        scale << s->i();
    else
        scale = *s;
    const UpperTriangularMatrix u = NEWMAT::Cholesky(scale).t();
    UpperTriangularMatrix bartlett(p);
    Normal normal;
    for (int i = 1; i <= p; ++i) {
        bartlett(i, i) = std::sqrt(genchi(nu - i + 1));
        for (int j = i + 1; j <= p; ++j)
            bartlett(i, j) = normal.Next();
    }
    const Matrix tu = bartlett * u;
    SymmetricMatrix w;
    w << tu.t() * tu;
    if (inverse)
        *result << w.i();
    else
        *result = w;
}

double log_inverse_Wishart_density(const SymmetricMatrix* w, double nu, const SymmetricMatrix* s)
{
    const double trace_s_winv = (*s * w->i()).Trace();
    return log_inverse_wishart(w->Nrows(), nu, w->LogDeterminant().LogValue(), s->LogDeterminant().LogValue(),
                               trace_s_winv);
}

double log_inverse_Wishart_density_2D(const std::vector<double>* w, const std::vector<double>* s, double nu)
{
    const double w11 = (*w)[0], w12 = (*w)[1], w22 = (*w)[2];
    const double s11 = (*s)[0], s12 = (*s)[1], s22 = (*s)[2];
    const double det_w = w11 * w22 - w12 * w12;
    const double det_s = s11 * s22 - s12 * s12;
    const double trace_s_winv = (s11 * w22 + s22 * w11 - 2.0 * s12 * w12) / det_w;
    return log_inverse_wishart(2, nu, portable::log(det_w), portable::log(det_s), trace_s_winv);
}
