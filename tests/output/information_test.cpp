#include "output/information.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <vector>

#include "state/data.hpp"

namespace {

// Class means on the line x + y = 2, where the signed position from a mean a is simply the
// coordinate along the unit direction (1, -1)/sqrt(2).
const class_means diagonal_means{{{2, 0}, {1, 1}, {0, 2}}};

double along_diagonal(const xy& a, const xy& p)
{
    return ((p[0] - a[0]) - (p[1] - a[1])) / std::sqrt(2.0);
}

void set_cohort(data& d, const std::vector<xy>& points, const std::vector<int>& calls,
                const class_means& mu)
{
    d.current_snp = 0;
    d.snps.assign(1, snp{});
    d.snps[0].points = {points};
    d.calls = {calls};
    d.mu = {mu};
    d.n_individuals = {static_cast<int>(points.size())};
}

// Captures standard output for the lifetime of the object.
class console_capture {
public:
    console_capture() : old_(std::cout.rdbuf(text_.rdbuf())), old_precision_(std::cout.precision(10)) {}
    ~console_capture()
    {
        std::cout.rdbuf(old_);
        std::cout.precision(old_precision_);
    }
    std::string str() const { return text_.str(); }
    void clear() { text_.str(std::string()); }

private:
    std::ostringstream text_;
    std::streambuf* old_;
    std::streamsize old_precision_;
};

// Positions of the points of classes a and b along the line of their means.
void positions(const std::vector<xy>& points, const std::vector<int>& calls, int a, int b,
               std::vector<double>& A, std::vector<double>& B)
{
    A.clear();
    B.clear();
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (calls[i] == a) A.push_back(along_diagonal(diagonal_means[a], points[i]));
        if (calls[i] == b) B.push_back(along_diagonal(diagonal_means[a], points[i]));
    }
}

double sample_mean(const std::vector<double>& v)
{
    double s = 0;
    for (double x : v) s += x;
    return s / v.size();
}

double sum_sq(const std::vector<double>& v, double centre)
{
    double s = 0;
    for (double x : v) s += (x - centre) * (x - centre);
    return s;
}

std::string console_line(const char* label, int j, double v1, double v2, double result)
{
    std::ostringstream s;
    s.precision(10);
    s << label << "(" << j << ") : " << v1 << " " << v2 << " " << result << "\n";
    return s.str();
}

// A cohort with three well separated classes on the diagonal and one null-class point.
const std::vector<xy> cohort_points{{2.1, 0.1}, {1.9, -0.2}, {1.0, 1.1}, {2.2, 0.0}, {1.2, 0.9},
                                    {5.0, 5.0}, {0.9, 1.0},  {0.1, 2.0}, {-0.1, 1.8}};
const std::vector<int> cohort_calls{0, 0, 1, 0, 1, 3, 1, 2, 2};

}  // namespace

TEST(SignedPosition, KnownValues)
{
    struct case_t {
        xy a, b, p;
        double expected;
    };
    const double r2 = std::sqrt(2.0);
    const case_t cases[] = {
        // The foot (0.85, 0.15) lies 0.15*sqrt(2) from a, towards smaller first coordinates.
        {{1, 0}, {0, 1}, {0.8, 0.1}, -0.15 * r2},
        // Same line measured from the other end: positive, towards larger first coordinates.
        {{0, 1}, {1, 0}, {0.8, 0.1}, 0.85 * r2},
        // A point on the line beyond b.
        {{0, 0}, {1, 2}, {2, 4}, 2 * std::sqrt(5.0)},
        // A point off the line y = x/2 projects to (2, 1).
        {{0, 0}, {2, 1}, {1.5, 2}, std::sqrt(5.0)},
        // The means themselves: 0 at a, the signed distance at b.
        {{3, 1}, {1, 2}, {3, 1}, 0},
        {{3, 1}, {1, 2}, {1, 2}, -std::sqrt(5.0)},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(signed_position(c.a, c.b, c.p), c.expected, 1e-12)
            << c.a[0] << "," << c.a[1] << " " << c.b[0] << "," << c.b[1];
    EXPECT_NEAR(signed_position({1, 0}, {0, 1}, {0.8, 0.1}), -0.212132, 1e-6);

    // Means sharing a coordinate: the projection is not defined.
    EXPECT_TRUE(std::isnan(signed_position({1, 0}, {1, 1}, {0.5, 0.5})));
    EXPECT_TRUE(std::isnan(signed_position({0, 1}, {2, 1}, {0.5, 0.5})));
}

TEST(InfoCalc1, HandComputedCohort)
{
    // In the cohort above the first comparison gives the smaller value; in its variant with a
    // spread-out class 2 the second one does.
    std::vector<xy> wide_points = cohort_points;
    wide_points[7] = {0.7, 1.9};
    wide_points[8] = {-0.6, 1.4};
    bool first_smaller = false, second_smaller = false;
    data d;
    double result = 0;
    const std::vector<const std::vector<xy>*> cohorts{&cohort_points, &wide_points};
    for (const auto* pts : cohorts) {
        std::vector<double> A, B;
        positions(*pts, cohort_calls, 0, 1, A, B);
        ASSERT_EQ(A.size(), 3u);
        ASSERT_EQ(B.size(), 3u);
        double mA = sample_mean(A), mB = sample_mean(B);
        const double v1 = (mA - mB) * (mA - mB) / (sum_sq(A, mA) / 2 + sum_sq(B, mB) / 2);
        positions(*pts, cohort_calls, 1, 2, A, B);
        ASSERT_EQ(B.size(), 2u);
        mA = sample_mean(A);
        mB = sample_mean(B);
        const double v2 = (mA - mB) * (mA - mB) / (sum_sq(A, mA) / 2 + sum_sq(B, mB) / 1);
        ASSERT_GT(v1, 0);
        ASSERT_GT(v2, 0);
        first_smaller |= v1 < v2;
        second_smaller |= v2 < v1;

        set_cohort(d, *pts, cohort_calls, diagonal_means);
        // The console line carries both comparison values and the result.
        console_capture out;
        result = d.info_calc1(0);
        std::istringstream line(out.str());
        std::string label, colon;
        double got1, got2, got;
        line >> label >> colon >> got1 >> got2 >> got;
        EXPECT_EQ(label, "info_calc1(0)");
        EXPECT_EQ(colon, ":");
        EXPECT_NEAR(got1, v1, 1e-8 * v1);
        EXPECT_NEAR(got2, v2, 1e-8 * v2);
        EXPECT_EQ(out.str(), console_line("info_calc1", 0, got1, got2, got));
        EXPECT_NEAR(result, std::min(v1, v2), 1e-12 * std::min(v1, v2));
    }
    EXPECT_TRUE(first_smaller && second_smaller);
    set_cohort(d, cohort_points, cohort_calls, diagonal_means);
    {
        console_capture quiet;
        result = d.info_calc1(0);
    }

    // Individuals called into the null class change nothing, wherever they lie.
    std::vector<xy> more_points = cohort_points;
    std::vector<int> more_calls = cohort_calls;
    for (const xy& p : {xy{2, 0}, xy{1, 1}, xy{-3, 7}}) {
        more_points.push_back(p);
        more_calls.push_back(3);
    }
    set_cohort(d, more_points, more_calls, diagonal_means);
    console_capture quiet;
    EXPECT_EQ(d.info_calc1(0), result);
}

TEST(InfoCalc1, UndefinedAndNonPositiveComparisons)
{
    console_capture out;
    data d;

    // Only one individual in class 0: the first value is -1, the result the second value.
    const std::vector<xy> pts{{2.1, 0.1}, {1.0, 1.1}, {1.2, 0.9}, {0.1, 2.0}, {-0.1, 1.8}};
    const std::vector<int> calls{0, 1, 1, 2, 2};
    std::vector<double> A, B;
    positions(pts, calls, 1, 2, A, B);
    const double mA = sample_mean(A), mB = sample_mean(B);
    const double v2 = (mA - mB) * (mA - mB) / (sum_sq(A, mA) + sum_sq(B, mB));
    set_cohort(d, pts, calls, diagonal_means);
    EXPECT_NEAR(d.info_calc1(0), v2, 1e-12 * v2);
    EXPECT_EQ(out.str().substr(0, 19), "info_calc1(0) : -1 ");

    // No class 2 at all as well: neither value is positive.
    set_cohort(d, {{2.1, 0.1}, {1.0, 1.1}, {1.2, 0.9}}, {0, 1, 1}, diagonal_means);
    EXPECT_EQ(d.info_calc1(0), -1);

    // Classes 0 and 1 with coinciding centres give exactly 0, which does not count as positive.
    const std::vector<xy> centred{{2.5, -0.5}, {1.5, 0.5}, {2.25, -0.25}, {1.75, 0.25}, {0.1, 2.0},
                                  {-0.1, 1.8}};
    const std::vector<int> centred_calls{0, 0, 1, 1, 2, 2};
    positions(centred, centred_calls, 1, 2, A, B);
    const double cA = sample_mean(A), cB = sample_mean(B);
    const double w2 = (cA - cB) * (cA - cB) / (sum_sq(A, cA) + sum_sq(B, cB));
    set_cohort(d, centred, centred_calls, diagonal_means);
    out.clear();
    EXPECT_NEAR(d.info_calc1(0), w2, 1e-12 * w2);
    EXPECT_EQ(out.str().substr(0, 18), "info_calc1(0) : 0 ");

    // Class means 0 and 1 sharing their first coordinate: that comparison is not a number and the
    // result is decided by the other one.
    class_means shared = diagonal_means;
    shared[0] = {1, 0};
    set_cohort(d, cohort_points, cohort_calls, shared);
    positions(cohort_points, cohort_calls, 1, 2, A, B);
    const double nA = sample_mean(A), nB = sample_mean(B);
    const double u2 = (nA - nB) * (nA - nB) / (sum_sq(A, nA) / 2 + sum_sq(B, nB));
    EXPECT_NEAR(d.info_calc1(0), u2, 1e-12 * u2);
    shared[2] = {1, 3};
    set_cohort(d, cohort_points, cohort_calls, shared);
    EXPECT_EQ(d.info_calc1(0), -1);
}

TEST(InfoCalc2, CentresFromMeansAndBorrowedSpreads)
{
    console_capture out;
    data d;
    const double r2 = std::sqrt(2.0);

    // Regular cohort: centres are the positions of the means, 0 and -sqrt(2) for both pairs.
    std::vector<double> A, B;
    positions(cohort_points, cohort_calls, 0, 1, A, B);
    double sA = sum_sq(A, 0) / 2, sB = sum_sq(B, -r2) / 2;
    const double v1 = 2 / (sA + sB);
    positions(cohort_points, cohort_calls, 1, 2, A, B);
    sA = sum_sq(A, 0) / 2;
    sB = sum_sq(B, -r2) / 1;
    const double v2 = 2 / (sA + sB);
    set_cohort(d, cohort_points, cohort_calls, diagonal_means);
    EXPECT_NEAR(d.info_calc2(0), std::min(v1, v2), 1e-12 * v1);

    // A single member of class 0 borrows class 1's spread.
    const std::vector<xy> pts{{2.1, 0.1}, {1.0, 1.1}, {1.2, 0.9}, {0.9, 1.0}};
    const std::vector<int> calls{0, 1, 1, 1};
    positions(pts, calls, 0, 1, A, B);
    const double s1 = sum_sq(B, -r2) / 2;
    set_cohort(d, pts, calls, diagonal_means);
    // Class 2 is empty, so the second pair has class 1's spread (around mean 1) on both sides.
    positions(pts, calls, 1, 2, A, B);
    const double s2 = sum_sq(A, 0) / 2;
    const double w1 = 2 / (s1 + s1), w2 = 2 / (s2 + s2);
    out.clear();
    EXPECT_NEAR(d.info_calc2(0), std::min(w1, w2), 1e-12 * w1);
    std::istringstream line(out.str());
    std::string label, colon;
    double got1 = 0, got2 = 0;
    line >> label >> colon >> got1 >> got2;
    EXPECT_NEAR(got1, w1, 1e-8 * w1);
    EXPECT_NEAR(got2, w2, 1e-8 * w2);

    // Two single-member classes have no spread at all: -1 for both pairs.
    set_cohort(d, {{2.1, 0.1}, {1.0, 1.1}}, {0, 1}, diagonal_means);
    EXPECT_EQ(d.info_calc2(0), -1);
    EXPECT_EQ(out.str().substr(out.str().rfind("info_calc2")), "info_calc2(0) : -1 -1 -1\n");

    // Null-class individuals are ignored.
    std::vector<xy> more_points = cohort_points;
    std::vector<int> more_calls = cohort_calls;
    more_points.push_back({1.5, 0.5});
    more_calls.push_back(3);
    set_cohort(d, more_points, more_calls, diagonal_means);
    EXPECT_NEAR(d.info_calc2(0), std::min(v1, v2), 1e-12 * v1);

    // Means 1 and 2 sharing their first coordinate: only the first pair counts.
    class_means shared = diagonal_means;
    shared[2] = {1, 2};
    set_cohort(d, cohort_points, cohort_calls, shared);
    out.clear();
    EXPECT_NEAR(d.info_calc2(0), v1, 1e-12 * v1);
    // The undefined second comparison is printed as not a number (its sign is immaterial).
    EXPECT_NE(out.str().find("nan "), std::string::npos) << out.str();
}
