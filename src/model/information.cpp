// The separation measures info1 and info2 of a SNP's final fit: how far apart its neighbouring
// genotype classes lie along the line through their means, per cohort.
#include <cmath>
#include <cstddef>
#include <iostream>
#include <vector>

#include "state/data.hpp"

namespace {

// Signed position of point p's projection onto the line through the class means a and b,
// measured from a and positive towards larger first coordinates. Not a number when the two
// means share their first or their second coordinate (the projection divides by zero).
double signed_position(const xy& a, const xy& b, const xy& p)
{
    // Slope and intercept of the line through the two means, then the first coordinate of the
    // foot of the perpendicular from p; kept in this exact form so results are reproducible.
    const double m = (b[1] - a[1]) / (b[0] - a[0]);
    const double c = a[1] - m * a[0];
    const double t = (p[0] / m + p[1] - c) / (1 / m + m);
    const double dx = t - a[0];
    const double dy = c + m * t - a[1];
    const double d = std::sqrt(dx * dx + dy * dy);
    return a[0] > t ? -d : d;
}

enum class measure { from_points, from_means };

double mean_of(const std::vector<double>& v)
{
    double sum = 0;
    for (double x : v) sum += x;
    return sum / static_cast<double>(v.size());
}

// Sum of squared deviations from `centre` divided by n - 1; 0 for a class with at most one member.
double spread(const std::vector<double>& v, double centre)
{
    if (v.size() <= 1) return 0;
    double sum = 0;
    for (double x : v) sum += (x - centre) * (x - centre);
    return sum / static_cast<double>(v.size() - 1);
}

// Fisher-like separation of classes a and b of cohort j along the line through their means:
// squared distance of the centres over the sum of the spreads; -1 when it cannot be measured.
// May be not a number (means sharing a coordinate).
double compare(const data& d, int j, int a, int b, measure kind, std::vector<double>& A,
               std::vector<double>& B)
{
    const auto& points = d.current.points[j];
    const auto& calls = d.calls[j];
    const xy& mu_a = d.mu[j][a];
    const xy& mu_b = d.mu[j][b];
    A.clear();
    B.clear();
    for (int i = 0; i < d.n_individuals[j]; ++i) {
        const int k = calls[i];
        if (k != a && k != b) continue;
        const double pos = signed_position(mu_a, mu_b, points[i]);
        (k == a ? A : B).push_back(pos);
    }
    if (kind == measure::from_points) {
        if (A.size() <= 1 || B.size() <= 1) return -1;
        const double mA = mean_of(A);
        const double mB = mean_of(B);
        const double sA = spread(A, mA);
        const double sB = spread(B, mB);
        return (mA - mB) * (mA - mB) / (sA + sB);
    }
    const double cA = signed_position(mu_a, mu_b, mu_a);
    const double cB = signed_position(mu_a, mu_b, mu_b);
    double sA = spread(A, cA);
    double sB = spread(B, cB);
    // A class with a single member (or none) borrows the other class's spread.
    if (sA == 0) sA = sB;
    if (sB == 0) sB = sA;
    if (sA == 0 && sB == 0) return -1;
    return (cA - cB) * (cA - cB) / (sA + sB);
}

// Compares classes 0 with 1 and 1 with 2, prints the console line and returns the smaller
// positive value (the first on a tie), or -1 when neither is positive.
double information(const data& d, int j, measure kind, const char* label)
{
    std::vector<double> A, B;
    A.reserve(static_cast<std::size_t>(d.n_individuals[j]));
    B.reserve(static_cast<std::size_t>(d.n_individuals[j]));
    const double v1 = compare(d, j, 0, 1, kind, A, B);
    const double v2 = compare(d, j, 1, 2, kind, A, B);
    // A value that is not a number fails `> 0` and so never counts as positive.
    double result = -1;
    if (v1 > 0 && v2 > 0) result = v2 < v1 ? v2 : v1;
    else if (v1 > 0) result = v1;
    else if (v2 > 0) result = v2;
    d.log() << label << "(" << j << ") : " << v1 << " " << v2 << " " << result << std::endl;
    return result;
}

}  // namespace

double data::info_calc1(int j)
{
    return information(*this, j, measure::from_points, "info_calc1");
}

double data::info_calc2(int j)
{
    return information(*this, j, measure::from_means, "info_calc2");
}
