#pragma once
#include <vector>

#include <newmat.h>

// Small dense-matrix functions on newmat (1-based element access). Matrices are not
// validated; a covariance or scale matrix that is not positive definite gives what newmat
// gives (NaN, infinities or its own exception).

// Multivariate normal log density of x with mean mu and covariance sigma.
double log_mvt_norm_density(const NEWMAT::ColumnVector* x, const NEWMAT::ColumnVector* mu,
                            const NEWMAT::SymmetricMatrix* sigma);

// Replaces the square matrix a (a vector of rows) by exp(t (a - I)), summed as
// e^-t * sum over i = 0 ... 99 of (t a)^i / i!.
void matrix_exp(std::vector<std::vector<double>>* a, double t);

// A Wishart(nu, s) draw by the Bartlett decomposition (mean nu * s), or an inverse-Wishart
// draw with scale s when `inverse` is set.
void rwish(NEWMAT::SymmetricMatrix* result, int nu, const NEWMAT::SymmetricMatrix* s, bool inverse);

// Inverse-Wishart(nu, s) log density at w (pi taken as 3.141592654).
double log_inverse_Wishart_density(const NEWMAT::SymmetricMatrix* w, double nu, const NEWMAT::SymmetricMatrix* s);

// The same for 2 x 2 matrices given by their entries (11, 12, 22).
double log_inverse_Wishart_density_2D(const std::vector<double>* w, const std::vector<double>* s, double nu);
