// The generator: MT19937 seeded from a double, the strip-table variates against their exact
// distributions, the strip counts the method gives, and the categorical helpers.
#include <gtest/gtest.h>

#include <boost/math/distributions/beta.hpp>
#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/gamma.hpp>
#include <boost/math/distributions/normal.hpp>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include "../support.hpp"
#include "numeric/elementary.hpp"
#include "numeric/strip_tables.hpp"
#include "numeric/variates.hpp"
#include "state/error.hpp"

namespace {

double scaled(std::uint32_t y) { return (static_cast<double>(y) + 0.5) / 4294967296.0; }

// A base generator that returns a fixed script of uniform numbers while it is installed.
class scripted_base : public Random {
public:
    explicit scripted_base(std::vector<double> script) : script_(std::move(script)) { Random::Set(*this); }
    ~scripted_base() override { Random::RNG = nullptr; }
    double Next() override { return script_.at(used++); }
    const char* Name() const override { return "scripted"; }
    std::size_t used = 0;

private:
    std::vector<double> script_;
};

}  // namespace

TEST(MersenneTwister, SeedWordsAndTheStandardStream)
{
    const std::pair<double, std::uint32_t> seeds[] = {
        {0.12345, 530213712U}, {1.0, 0U}, {0.5, 2147483648U}, {0.999999999999, 4294967295U}};
    for (const auto& [seed, word] : seeds) {
        MT g(seed);
        EXPECT_EQ(MT::seed_word(seed), word) << seed;
        Random::Set(g);
        std::mt19937 reference(word);
        Uniform u;
        for (int i = 0; i < 1500; ++i)   // across two regenerations of the 624 words
            ASSERT_EQ(i % 2 ? g.Next() : u.Next(), scaled(reference())) << seed << " draw " << i;
        // Blocks of draws continue the same stream, across regenerations too.
        std::vector<double> block(700);
        for (std::size_t n : {1, 2, 3, 4, 5, 7, 64, 623, 625, 700, 9}) {
            Random::base_draws(block.data(), n);
            for (std::size_t i = 0; i < n; ++i)
                ASSERT_EQ(block[i], scaled(reference())) << seed << " block of " << n << ", draw " << i;
            ASSERT_EQ(g.Next(), scaled(reference())) << seed << " after a block of " << n;
        }
    }
    MT g(0.3);
    Random::Set(g);
    g.reset_unseeded();
    std::mt19937 reference(5489U);
    double first[3];
    Random::base_draws(first, 3);
    for (double v : first) ASSERT_EQ(v, scaled(reference())) << "never seeded, block";
    for (int i = 0; i < 700; ++i) ASSERT_EQ(g.Next(), scaled(reference())) << "never seeded, draw " << i;
    // Draws lie strictly inside (0, 1) on the grid (y + 1/2) 2^-32, so never 0.5 either.
    for (int i = 0; i < 200000; ++i) {
        const double y = g.Next() * 4294967296.0 - 0.5;
        ASSERT_TRUE(y == std::floor(y) && y >= 0 && y < 4294967296.0 && y != 2147483647.5) << y;
    }
    for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(), 3e9}) EXPECT_THROW(MT{bad}, run_error);
    {
        MT installed(0.7);
        Random::Set(installed);
    }
    EXPECT_EQ(Random::RNG, nullptr);   // the installed generator is gone with its object
    EXPECT_THROW(Uniform().Next(), run_error);
}

// Every variate against its exact distribution function, and the mean and variance each
// generator states against the draws.
TEST(Variates, DrawsFollowTheirDistributions)
{
    namespace bm = boost::math;
    MT base(0.12345);
    Random::Set(base);
    struct row {
        const char* name;
        std::function<double()> draw;
        std::function<double(double)> cdf;
        Random* stated;   // generator whose Mean() and Variance() describe the draws, if any
    };
    Normal normal;
    Exponential exponential;
    Gamma1 gamma1(0.3);
    Gamma2 gamma2(4.5);
    ChiSq chi(4);
    std::vector<row> rows = {
        {"normal", [&] { return normal.Next(); }, [](double x) { return bm::cdf(bm::normal_distribution<>(), x); }, &normal},
        {"exponential", [&] { return exponential.Next(); }, [](double x) { return 1 - std::exp(-x); }, &exponential},
        {"Gamma1(0.3)", [&] { return gamma1.Next(); }, [](double x) { return bm::gamma_p(0.3, x); }, &gamma1},
        {"Gamma2(4.5)", [&] { return gamma2.Next(); }, [](double x) { return bm::gamma_p(4.5, x); }, &gamma2},
        {"chi-square 4", [&] { return chi.Next(); }, [](double x) { return bm::gamma_p(2, x / 2); }, &chi},
        {"genchi 1", [] { return genchi(1); }, [](double x) { return bm::gamma_p(0.5, x / 2); }, nullptr},
        {"rgamma(2.5, rate 4)", [] { return rgamma(2.5, 4); }, [](double x) { return bm::gamma_p(2.5, 4 * x); }, nullptr},
        {"rgamma(0.2, rate 0.5)", [] { return rgamma(0.2, 0.5); }, [](double x) { return bm::gamma_p(0.2, 0.5 * x); }, nullptr},
    };
    for (double shape : {0.05, 0.999, 1.0, 1.0000001, 2.0, 7.3, 1e4}) {
        auto g = std::make_shared<Gamma>(shape);
        rows.push_back({"Gamma", [g] { return g->Next(); }, [shape](double x) { return bm::gamma_p(shape, x); }, g.get()});
    }
    for (const auto& [a, b] : {std::pair<float, float>{0.5f, 0.5f}, {2, 5}, {30, 0.7f}})
        rows.push_back({"genbet", [a = a, b = b] { return genbet(a, b); },
                        [a = a, b = b](double x) { return bm::ibeta(a, b, x); }, nullptr});
    const double n = 10000;
    for (const row& r : rows) {
        std::vector<double> sample(static_cast<std::size_t>(n));
        for (double& v : sample) v = r.draw();
        EXPECT_LT(support::ks_statistic(sample, r.cdf), support::ks_critical(n)) << r.name;
        if (!r.stated) continue;
        const double mean = std::accumulate(sample.begin(), sample.end(), 0.0) / n;
        double ss = 0;
        for (double v : sample) ss += (v - mean) * (v - mean);
        const double sd = std::sqrt(r.stated->Variance());
        EXPECT_NEAR(mean, r.stated->Mean(), 5 * sd / std::sqrt(n)) << r.name;
        EXPECT_NEAR(std::sqrt(ss / (n - 1)), sd, 0.2 * sd) << r.name;
    }
    // The same test turns away a slightly different shape.
    std::vector<double> sample(10000);
    for (double& v : sample) v = Gamma(2.0).Next();
    EXPECT_GT(support::ks_statistic(sample, [](double x) { return bm::gamma_p(2.2, x); }), support::ks_critical(n));
    // Shapes that differ only beyond single precision give the same Beta draws.
    std::vector<double> first(50), second(50);
    MT again(0.5555);
    Random::Set(again);
    for (double& v : first) v = genbet(static_cast<float>(2.3), static_cast<float>(0.7));
    MT once_more(0.5555);
    Random::Set(once_more);
    for (double& v : second) v = genbet(static_cast<float>(2.3 + 1e-12), static_cast<float>(0.7 - 1e-12));
    EXPECT_EQ(first, second);
}

// The strip counts of the method: normal 53 a side (last edges 3.283 and 8.777), exponential
// 54, gamma 2 78 right and 28 left, every Gamma1 table 51 to 54 and Gamma2 table 105 to 107.
TEST(StripTables, StripCountsByDensity)
{
    MT base(0.2);
    Random::Set(base);
    Normal normal;
    const PosTable& t = normal.table();
    EXPECT_EQ(t.strips, 53);
    EXPECT_EQ(t.xi, 106.0);
    EXPECT_NEAR(t.sx[52], 3.283246, 1e-6);
    EXPECT_NEAR(t.sx[53], 8.777056, 1e-6);
    for (int k = 0; k < 53; ++k) EXPECT_NEAR((t.sx[k + 1] - t.sx[k]) * t.sfx[k], 0.01, 1e-15) << k;
    EXPECT_EQ(Exponential().table().strips, 54);
    const auto two_sided = [](Gamma& g) -> const AsymTable& { return dynamic_cast<AsymGen&>(g.generator()).table(); };
    Gamma two(2.0);
    EXPECT_EQ(two_sided(two).right, 78);
    EXPECT_EQ(two_sided(two).strips - two_sided(two).right, 28);
    Gamma barely(1.0000001);
    EXPECT_EQ(two_sided(barely).strips - two_sided(barely).right, 1);
    const std::pair<double, const char*> chosen[] = {{0.999, "Gamma1"}, {1.0, "Exponential"}, {1.0000001, "Gamma2"}};
    for (const auto& [shape, name] : chosen) EXPECT_STREQ(Gamma(shape).generator().Name(), name) << shape;
    int lo1 = 1000, hi1 = 0, lo2 = 1000, hi2 = 0;
    for (double shape = 1e-5; shape <= 0.999; shape *= 1.05) {
        Gamma g(shape);
        const int strips = dynamic_cast<PosGen&>(g.generator()).table().strips;
        lo1 = std::min(lo1, strips), hi1 = std::max(hi1, strips);
    }
    for (double shape = 1.0001; shape <= 1e8; shape *= 1.05) {
        Gamma g(shape);
        const int strips = two_sided(g).strips;
        lo2 = std::min(lo2, strips), hi2 = std::max(hi2, strips);
    }
    EXPECT_EQ(std::make_pair(lo1, hi1), std::make_pair(51, 54));
    EXPECT_EQ(std::make_pair(lo2, hi2), std::make_pair(105, 107));
    // A shape seen just before draws from its cached table.
    Gamma(2.5).Next();
    const table_cache_counts before = gamma_table_cache_counts();
    Gamma(2.5).Next();
    EXPECT_EQ(gamma_table_cache_counts().hits, before.hits + 1);
    EXPECT_EQ(gamma_table_cache_counts().misses, before.misses);
    for (double bad : {0.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity()})
        EXPECT_THROW(Gamma{bad}, run_error) << bad;
    EXPECT_THROW(Gamma(1e16).Next(), run_error);   // the table would overflow
}

// Every gamma and Beta variate is the strip method's own number, however its table is found: a
// digest of the bits of 30000 draws (single gamma draws, Beta draws as gamma pairs, runs of four
// gamma draws laid together; shapes from 1e-3 to 1e5, exactly 1, and shapes seen before, whose
// tables come from the cache) is that of the method as first written, on every processor, and
// running the same draws again, with the caches now full, gives it once more.
TEST(StripTables, DrawsAreTheMethodsOwnNumbers)
{
    const auto digest = [] {
        MT base(0.31);
        Random::Set(base);
        std::mt19937_64 g(5);
        std::vector<double> seen{1.0};
        const auto shape = [&] {
            const std::uint64_t r = g();
            if (r % 4 == 0) return seen[(r >> 8) % seen.size()];
            seen.push_back(portable::exp(-7 + 18.5 * static_cast<double>(r >> 11) * 0x1p-53));
            return seen.back();
        };
        std::uint64_t h = 14695981039346656037ULL;
        const auto mix = [&h](double v) {
            // A Beta draw from two gamma draws of 0 is 0/0, a NaN whose sign the processor picks.
            if (v != v) v = std::numeric_limits<double>::quiet_NaN();
            std::uint64_t b;
            std::memcpy(&b, &v, sizeof b);
            h = (h ^ b) * 1099511628211ULL;
        };
        for (int i = 0; i < 10000; ++i) {
            switch (g() % 3) {
            case 0: mix(rgamma(shape(), 1.0)); break;
            case 1: {
                const float a = static_cast<float>(shape()), b = static_cast<float>(shape());
                mix(genbet(a, b));
                break;
            }
            default: {
                const double a[4] = {shape(), shape(), shape(), shape()};
                double x[4];
                rgammas(a, 4, x);
                for (double v : x) mix(v);
            }
            }
        }
        return h;
    };
    EXPECT_EQ(digest(), 1287792735531627070ULL);
    EXPECT_EQ(digest(), 1287792735531627070ULL);
}

TEST(Variates, CategoricalDraws)
{
    const double p[] = {0.2, 0.3, 0.5};
    const std::pair<double, int> walk[] = {{0.1, 1}, {0.2, 1}, {0.2000001, 2}, {0.5, 2}, {0.50001, 3}, {0.99, 3}};
    for (const auto& [u, k] : walk) EXPECT_EQ(rmultinom_walk(p, 3, u), k) << u;
    EXPECT_EQ(rmultinom_walk(p, 2, 0.9), 2);   // a shortfall goes to the last category
    {
        scripted_base script({0.1, 0.45, 0.9, 0.9, 0.5, 0.7, 0.95, 0.3, 0.8});
        EXPECT_EQ(rmultinom(p, 3), 1);
        EXPECT_EQ(rmultinom(p, 3), 2);
        EXPECT_EQ(rmultinom(p, 3), 3);
        EXPECT_EQ(rmultinom_unif(4), 4);
        const weight_map weights{{1.0, 10}, {3.0, 30}, {6.0, 60}};   // largest key first
        EXPECT_EQ(rmultinom(weights, 10.0), 60);
        EXPECT_EQ(rmultinom(weights, 10.0), 30);
        EXPECT_EQ(rmultinom(weights, 10.0), 10);
        EXPECT_EQ(rmultinom_unif(4), 2);
        EXPECT_EQ(script.used, 8u);
        EXPECT_EQ(rmultinom_unif(0), 0);
        EXPECT_THROW(rmultinom(weight_map{}, 1.0), run_error);
    }
    MT base(0.4242);
    Random::Set(base);
    // A Dirichlet draw mixed with a 1% uniform share.
    const double alpha[] = {0.5, 2.0, 5.0};
    const int K = 3;
    double x[3], mean0 = 0;
    for (int i = 0; i < 2000; ++i) {
        rdirichlet(x, alpha, &K);
        ASSERT_NEAR(x[0] + x[1] + x[2], 1.0, 1e-12);
        ASSERT_GE(*std::min_element(x, x + 3), 0.01 / 1.03);
        mean0 += x[0] / 2000;
    }
    EXPECT_NEAR(mean0, (0.5 / 7.5 + 0.01) / 1.03, 0.01);
    // Sampling without replacement: 0 ... M-1 first, then distinct values (pairs for samp1).
    std::vector<int> out;
    samp(10, 3, 7, &out);
    ASSERT_EQ(out.size(), 7u);
    EXPECT_EQ(std::vector<int>(out.begin(), out.begin() + 3), (std::vector<int>{0, 1, 2}));
    std::sort(out.begin(), out.end());
    EXPECT_TRUE(std::adjacent_find(out.begin(), out.end()) == out.end() && out.back() <= 9);
    support::console_capture console;
    samp(5, 2, 9, &out);
    EXPECT_EQ(console.out(), "need p >= M and p <= N in samp function\n");
    samp1(10, 2, 10, &out);
    for (int i = 2; i < 10; i += 2) {
        EXPECT_EQ(out[i] % 2, 0) << i;
        EXPECT_EQ(out[i + 1], out[i] + 1) << i;
    }
    std::sort(out.begin(), out.end());
    std::vector<int> all(10);
    std::iota(all.begin(), all.end(), 0);
    EXPECT_EQ(out, all);
}
