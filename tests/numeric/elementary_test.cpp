// The program's own exp, log, pow and lnGamma against the C library's long double functions
// (64-bit significands on x86-64, 113 on arm64: errors far below a double's last place) on
// millions of arguments over every range the program meets: model scores and densities down
// to the underflow and up to the overflow threshold, subnormals, powers x^(1/alpha) of the
// gamma tables, and gamma shapes from 1e-8 through the zeros at 1 and 2 to the strip-table
// bounds and beyond.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "numeric/elementary.hpp"

namespace {

// |got - ref| in units of the last place of ref as a double (the subnormal spacing below the
// normal range).
double ulps(double got, long double ref)
{
    if (got == static_cast<double>(ref)) return 0;
    int e;
    std::frexp(static_cast<double>(ref), &e);
    return static_cast<double>(std::fabs(got - ref) / std::ldexp(1.0L, std::max(e - 53, -1074)));
}

struct span {
    double lo, hi;
    bool log_spaced;
};

struct accuracy_case {
    const char* name;
    std::function<double(double, double)> f;
    std::function<long double(double, double)> reference;
    std::vector<span> x_spans;   // the argument (or base)
    span y_span;                 // the exponent of pow; unused otherwise
    double bound;                // largest error allowed for normal results, in ulps (1 for subnormal ones)
};

double draw(std::mt19937_64& g, const span& s)
{
    const double u = std::uniform_real_distribution<double>(0, 1)(g);
    return s.log_spaced ? s.lo * std::pow(s.hi / s.lo, u) : s.lo + (s.hi - s.lo) * u;
}

}  // namespace

TEST(Elementary, WithinTheirErrorBoundsOnMillionsOfArguments)
{
    const double tiny = DBL_TRUE_MIN, least_normal = DBL_MIN, big = DBL_MAX;
    const std::vector<accuracy_case> cases{
        {"exp", [](double x, double) { return portable::exp(x); }, [](double x, double) { return std::exp(static_cast<long double>(x)); },
         {{-40, 40, false}, {-745.2, 709.78, false}, {-745.2, -708.4, false}, {1e-300, 1, true}, {-1, -1e-300, false}, {-1e-6, 1e-6, false}}, {}, 0.6},
        {"log", [](double x, double) { return portable::log(x); }, [](double x, double) { return std::log(static_cast<long double>(x)); },
         {{tiny, big, true}, {tiny, least_normal, true}, {0.5, 2, false}, {1e-8, 1e14, true}}, {}, 0.6},
        {"log near 1", [](double x, double y) { return portable::log(1 + std::copysign(x, y)); },
         [](double x, double y) { return std::log(static_cast<long double>(1 + std::copysign(x, y))); }, {{1e-16, 0.01, true}},
         {-1, 1, false}, 0.6},
        {"pow", [](double x, double y) { return portable::pow(x, y); },
         [](double x, double y) { return std::pow(static_cast<long double>(x), static_cast<long double>(y)); },
         {{1e-12, 1, true}, {0.01, 40, false}}, {1, 1e3, true}, 0.6},
        {"pow (large exponents)", [](double x, double y) { return portable::pow(x, y); },
         [](double x, double y) { return std::pow(static_cast<long double>(x), static_cast<long double>(y)); },
         {{0.999, 1.001, false}}, {1, 5e5, true}, 0.6},
        {"lgamma", [](double x, double) { return portable::lgamma(x); }, [](double x, double) { return std::lgamma(static_cast<long double>(x)); },
         {{1e-8, 4e13, true}, {tiny, 1e-8, true}, {0, 8, false}, {4e13, 1e306, true}}, {}, 1.2},
        {"lgamma near 1 and 2", [](double x, double y) { return portable::lgamma(1.5 + std::copysign(0.5, y) + std::copysign(x, y * y - 0.25)); },
         [](double x, double y) { return std::lgamma(static_cast<long double>(1.5 + std::copysign(0.5, y) + std::copysign(x, y * y - 0.25))); },
         {{1e-15, 0.25, true}}, {-1, 1, false}, 1.2},
    };
    std::mt19937_64 g(17);
    for (const accuracy_case& c : cases) {
        double worst[2] = {0, 0}, worst_x[2] = {0, 0}, worst_y[2] = {0, 0};   // normal, subnormal results
        for (const span& s : c.x_spans)
            for (int i = 0; i < 200000; ++i) {
                const double x = draw(g, s), y = draw(g, c.y_span);
                const long double ref = c.reference(x, y);
                const int sub = std::fabs(ref) < DBL_MIN;
                const double e = ulps(c.f(x, y), ref);
                if (e > worst[sub]) worst[sub] = e, worst_x[sub] = x, worst_y[sub] = y;
            }
        std::cout << c.name << ": largest error " << worst[0] << " ulp (at " << worst_x[0] << "), " << worst[1] << " ulp for subnormal results\n";
        EXPECT_LE(worst[0], c.bound) << c.name << " at " << worst_x[0] << ", " << worst_y[0];
        EXPECT_LE(worst[1], 1.0) << c.name << " at " << worst_x[1] << ", " << worst_y[1];
    }
}

TEST(Elementary, ExactValuesAndEdges)
{
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char* what;
        double got, expected;
    } rows[] = {
        {"exp(0)", portable::exp(0), 1},         {"exp(-0)", portable::exp(-0.0), 1},
        {"exp overflow", portable::exp(709.79), inf}, {"exp(+inf)", portable::exp(inf), inf},
        {"exp underflow", portable::exp(-745.14), 0}, {"exp(-inf)", portable::exp(-inf), 0},
        {"exp least subnormal", portable::exp(-745.13), DBL_TRUE_MIN},
        {"log(1)", portable::log(1), 0},         {"log(0)", portable::log(0), -inf},
        {"log(+inf)", portable::log(inf), inf},  {"pow(2, 10)", portable::pow(2, 10), 1024},
        {"pow(x, 0)", portable::pow(0.3, 0), 1}, {"pow(1, nan)", portable::pow(1, nan), 1},
        {"pow(0, 2)", portable::pow(0, 2), 0},   {"pow(0, -1)", portable::pow(0, -1), inf},
        {"pow(+inf, 2)", portable::pow(inf, 2), inf}, {"pow(0.5, 1e5)", portable::pow(0.5, 1e5), 0},
        {"pow(0.5, inf)", portable::pow(0.5, inf), 0},
        {"lgamma(1)", portable::lgamma(1), 0},   {"lgamma(2)", portable::lgamma(2), 0},
        {"lgamma(0)", portable::lgamma(0), inf}, {"lgamma(+inf)", portable::lgamma(inf), inf},
        {"lgamma overflow", portable::lgamma(DBL_MAX), inf},
    };
    for (const auto& r : rows) EXPECT_EQ(r.got, r.expected) << r.what;
    for (double v : {portable::exp(nan), portable::log(-1), portable::log(nan), portable::pow(-2, 2), portable::pow(2, nan),
                     portable::lgamma(-0.5), portable::lgamma(nan)})
        EXPECT_TRUE(std::isnan(v));
}

TEST(Elementary, VectorLanesGiveTheScalarBits)
{
    std::mt19937_64 g(3);
    std::uniform_real_distribution<double> u(-760, 720);
    for (int i = 0; i < 100000; ++i) {
        const vec4 x{u(g), u(g) / 1000, -u(g) * 1e-9, i % 7 == 0 ? std::numeric_limits<double>::quiet_NaN() : u(g)};
        const vec4 positive{std::exp(x[0] / 2), std::exp(x[1]), 1 - x[2], std::ldexp(1 + x[1], -1060)};
        const vec4 e = portable::exp_lanes(x, vec4{}), l = portable::log_lanes(positive);
        for (int k = 0; k < 4; ++k) {
            ASSERT_EQ(bits_of(e[k]), bits_of(portable::exp(x[k]))) << x[k];
            ASSERT_EQ(bits_of(l[k]), bits_of(portable::log(positive[k]))) << positive[k];
        }
    }
}
