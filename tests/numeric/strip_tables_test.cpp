#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include <boost/math/distributions/gamma.hpp>
#include <boost/math/distributions/normal.hpp>

#include "numeric/strip_tables.hpp"
#include "numeric_test_support.hpp"
#include "state/error.hpp"

namespace {

const AsymTable& two_sided_table(Gamma& g) { return dynamic_cast<AsymGen&>(g.generator()).table(); }
const PosTable& one_sided_table(Gamma& g) { return dynamic_cast<PosGen&>(g.generator()).table(); }

}  // namespace

TEST(StripTables, NormalAndExponentialStripCounts)
{
    Normal normal;
    const PosTable& t = normal.table();
    EXPECT_EQ(t.strips, 53);
    EXPECT_EQ(t.xi, 106.0);
    EXPECT_NEAR(t.sx[52], 3.2832, 1e-4);
    EXPECT_NEAR(t.sx[53], 8.777, 1e-3);
    EXPECT_EQ(t.sfx[53], 0.0);
    // Every strip has area 0.01 (height at the inner edge).
    for (int k = 0; k < 53; ++k)
        EXPECT_NEAR((t.sx[k + 1] - t.sx[k]) * t.sfx[k], 0.01, 1e-15) << k;

    Exponential e;
    EXPECT_EQ(e.table().strips, 54);
    EXPECT_EQ(e.table().xi, 54.0);
    EXPECT_NEAR((e.table().sx[1] - e.table().sx[0]) * e.table().sfx[0], 0.02, 1e-15);
}

TEST(StripTables, GammaTablesByShape)
{
    {
        Gamma g(2.0);
        EXPECT_STREQ(g.generator().Name(), "Gamma2");
        const AsymTable& t = two_sided_table(g);
        EXPECT_EQ(t.last_right + 1, 78);
        EXPECT_EQ(t.strips - t.last_right - 1, 28);
        EXPECT_EQ(t.sx[0], 1.0);                         // mode
        EXPECT_EQ(t.sx[t.last_right + 1], 1.0);          // left side starts at the mode again
        EXPECT_EQ(t.sfx[AsymTable::end_slot], 0.0);
        EXPECT_GT(t.sx[AsymTable::end_slot], t.sx[t.last_right]);
    }
    {
        Gamma g(1.0);
        EXPECT_STREQ(g.generator().Name(), "Exponential");
        EXPECT_EQ(one_sided_table(g).strips, 54);
    }
    {
        Gamma g(1.0000001);
        EXPECT_STREQ(g.generator().Name(), "Gamma2");
        const AsymTable& t = two_sided_table(g);
        EXPECT_EQ(t.strips - t.last_right - 1, 1);
    }
    {
        Gamma g(0.999);
        EXPECT_STREQ(g.generator().Name(), "Gamma1");
    }
    int low = 1000, high = 0;
    for (double shape = 1.0001; shape <= 1e8; shape *= 1.05) {
        Gamma g(shape);
        const int strips = two_sided_table(g).strips;
        low = std::min(low, strips);
        high = std::max(high, strips);
    }
    EXPECT_EQ(low, 105);
    EXPECT_EQ(high, 107);
    low = 1000;
    high = 0;
    for (double shape = 1e-5; shape <= 0.999; shape *= 1.05) {
        Gamma g(shape);
        const int strips = one_sided_table(g).strips;
        low = std::min(low, strips);
        high = std::max(high, strips);
    }
    EXPECT_EQ(low, 51);
    EXPECT_EQ(high, 54);
}

TEST(StripTables, BadShapesAndOversizedTablesThrow)
{
    const double inf = std::numeric_limits<double>::infinity();
    for (double shape : {0.0, -0.0, -1.0, std::nan(""), inf, -inf}) {
        try {
            Gamma g(shape);
            ADD_FAILURE() << "no error for shape " << shape;
        } catch (const run_error& e) {
            EXPECT_EQ(std::string(e.what()).rfind("gamma shape must be finite and positive, got ", 0), 0u) << e.what();
        }
    }
    // Beyond about 4e13 the log density loses all precision and the table would overflow
    // (or come out too short); the build reports it instead of writing past the table.
    for (double shape : {1e14, 1e16, 1e30}) {
        Gamma g(shape);
        EXPECT_THROW(g.Next(), run_error) << shape;
    }
}

TEST(StripTables, DrawUsesThreeBaseDrawsInOrder)
{
    Normal normal;
    const PosTable& t = normal.table();
    {
        // u1 = 0.25 picks strip 26; u2 places x; u3 = 0.1 lies under the far-edge value.
        scripted_base base({0.25, 0.4, 0.1});
        const double x = normal.Next();
        EXPECT_EQ(x, t.sx[26] + 0.4 * (t.sx[27] - t.sx[26]));
        EXPECT_EQ(base.used(), 3u);
    }
    {
        // u1 above one half folds to 1 - u1 and negates.
        scripted_base base({0.75, 0.4, 0.1});
        EXPECT_EQ(normal.Next(), -(t.sx[26] + 0.4 * (t.sx[27] - t.sx[26])));
    }
    {
        // A height above the density near the far edge is rejected; the next attempt draws
        // three more.
        scripted_base base({0.25, 0.999, 0.9999, 0.01, 0.5, 0.5});
        const double x = normal.Next();
        EXPECT_EQ(x, t.sx[1] + 0.5 * (t.sx[2] - t.sx[1]));
        EXPECT_EQ(base.used(), 6u);
    }
    {
        // The last right-hand strip of a two-sided table ends at the reserved end point, far
        // out where the density is 0, so a zero height is rejected there; were the strip to
        // end at the next entry (the mode again) it would be accepted.
        Gamma g(2.0);
        const AsymTable& a = two_sided_table(g);
        const double u1 = (a.last_right + 0.5) / a.xi;
        ASSERT_EQ(g.generator().Density(a.sx[a.last_right] + 0.5 * (a.sx[AsymTable::end_slot] - a.sx[a.last_right])), 0.0);
        ASSERT_GT(g.generator().Density(0.5 * (a.sx[a.last_right] + a.mode)), 0.0);
        scripted_base base({u1, 0.5, 0.0, u1, 0.0, 0.0});
        EXPECT_EQ(g.Next(), a.sx[a.last_right]);
        EXPECT_EQ(base.used(), 6u);
    }
    {
        // Left-hand strips run downwards from the mode.
        Gamma g(2.0);
        const AsymTable& a = two_sided_table(g);
        const int k = a.last_right + 2;
        scripted_base base({(k + 0.5) / a.xi, 0.5, 0.0});
        const double x = g.Next();
        EXPECT_EQ(x, a.sx[k] + 0.5 * (a.sx[k + 1] - a.sx[k]));
        EXPECT_LT(x, a.mode);
    }
}

TEST(StripTables, NormalTableIsSharedByLiveObjects)
{
    EXPECT_EQ(Normal::live_count(), 0);
    {
        Normal a;
        EXPECT_EQ(Normal::live_count(), 1);
        {
            Normal b;
            EXPECT_EQ(Normal::live_count(), 2);
            EXPECT_EQ(&a.table(), &b.table());
        }
        EXPECT_EQ(Normal::live_count(), 1);
    }
    EXPECT_EQ(Normal::live_count(), 0);
    Normal c;
    EXPECT_EQ(c.table().strips, 53);
}

TEST(StripTables, NormalPassesKolmogorovSmirnov)
{
    MT base(0.12345);
    Random::Set(base);
    Normal normal;
    const auto sample = draws([&] { return normal.Next(); }, 20000);
    const boost::math::normal_distribution<> reference;
    const double d = ks_statistic(sample, [&](double x) { return cdf(reference, x); });
    EXPECT_LT(d, ks_critical(sample.size()));
}

TEST(StripTables, GammaPassesKolmogorovSmirnovAcrossShapes)
{
    MT base(0.12345);
    Random::Set(base);
    for (double shape : {0.05, 0.5, 0.999, 1.0, 1.0000001, 1.5, 2.0, 7.3, 1e4, 1e5}) {
        const auto sample = draws([&] { return Gamma(shape).Next(); }, 10000);
        const boost::math::gamma_distribution<> reference(shape, 1.0);
        const double d = ks_statistic(sample, [&](double x) { return cdf(reference, x); });
        EXPECT_LT(d, ks_critical(sample.size())) << "shape " << shape;
    }
}

TEST(StripTables, KolmogorovSmirnovRejectsAWrongReference)
{
    MT base(0.12345);
    Random::Set(base);
    const auto sample = draws([] { return Gamma(2.0).Next(); }, 10000);
    const boost::math::gamma_distribution<> wrong(2.2, 1.0);
    EXPECT_GT(ks_statistic(sample, [&](double x) { return cdf(wrong, x); }), ks_critical(sample.size()));
    const boost::math::gamma_distribution<> right(2.0, 1.0);
    EXPECT_LT(ks_statistic(sample, [&](double x) { return cdf(right, x); }), ks_critical(sample.size()));
}

TEST(StripTables, MomentsOfTheGenerators)
{
    Normal n;
    Exponential e;
    Gamma1 g1(0.3);
    Gamma2 g2(4.5);
    Gamma g(2.5);
    struct case_ {
        const Random& gen;
        double mean, variance;
    };
    const case_ cases[] = {{n, 0, 1}, {e, 1, 1}, {g1, 0.3, 0.3}, {g2, 4.5, 4.5}, {g, 2.5, 2.5}};
    for (const case_& c : cases) {
        EXPECT_EQ(c.gen.Mean(), c.mean) << c.gen.Name();
        EXPECT_EQ(c.gen.Variance(), c.variance) << c.gen.Name();
    }
}
