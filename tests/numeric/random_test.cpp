#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "numeric/random.hpp"
#include "state/error.hpp"

namespace {

double scaled(std::uint32_t y) { return (static_cast<double>(y) + 0.5) / 4294967296.0; }

}  // namespace

TEST(MersenneTwister, SeedingFromADouble)
{
    struct case_ {
        double seed;
        std::uint32_t word;
    };
    const case_ cases[] = {
        {0.12345, 530213712U},
        {1.0, 0U},
        {0.0, 0U},
        {0.5, 2147483648U},
        {0.999999999999, 4294967295U},   // truncated toward zero, not rounded
    };
    for (const case_& c : cases) {
        MT g(c.seed);
        EXPECT_EQ(MT::seed_word(c.seed), c.word) << c.seed;
        EXPECT_EQ(MT::state_word(0), c.word) << c.seed;
        EXPECT_EQ(MT::state_index(), 624);
        // The standard initialisation: mt[1] from mt[0].
        EXPECT_EQ(MT::state_word(1), 1812433253U * (c.word ^ (c.word >> 30)) + 1U);
    }
}

TEST(MersenneTwister, SeedsThatCannotBeConvertedAreRejected)
{
    for (double s : {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(), 3e9})
        EXPECT_THROW(MT g(s), run_error) << s;
}

TEST(MersenneTwister, StreamEqualsStandardMt19937AcrossRegenerations)
{
    for (double seed : {0.12345, 1.0, 0.73}) {
        MT g(seed);
        Random::Set(g);
        std::mt19937 reference(MT::seed_word(seed));
        Uniform u;
        for (int i = 0; i < 3000; ++i) {   // several regenerations of the 624 words
            const double expected = scaled(reference());
            ASSERT_EQ(i % 2 == 0 ? g.Next() : u.Next(), expected) << "seed " << seed << " draw " << i;
        }
    }
}

TEST(MersenneTwister, NeverSeededStateStartsFrom5489)
{
    MT g(0.3);
    MT::reset_unseeded();
    EXPECT_EQ(MT::state_index(), 625);
    std::mt19937 reference(5489U);
    for (int i = 0; i < 700; ++i)
        ASSERT_EQ(g.Next(), scaled(reference())) << i;
}

TEST(MersenneTwister, DrawsLieOnTheHalfOffsetGridInsideTheUnitInterval)
{
    MT g(0.12345);
    for (int i = 0; i < 2000000; ++i) {
        const double u = g.Next();
        ASSERT_GT(u, 0.0);
        ASSERT_LT(u, 1.0);
        ASSERT_NE(u, 0.5);
        const double y = u * 4294967296.0 - 0.5;   // exact
        ASSERT_EQ(y, std::floor(y)) << u;
    }
}

TEST(MersenneTwister, InstallationEndsWithTheGenerator)
{
    {
        MT g(0.12345);
        Random::Set(g);
        EXPECT_EQ(Random::RNG, &g);
        EXPECT_STREQ(g.Name(), "MT");
        EXPECT_DOUBLE_EQ(g.Mean(), 0.5);
        EXPECT_DOUBLE_EQ(g.Variance(), 1.0 / 12.0);
    }
    EXPECT_EQ(Random::RNG, nullptr);
    Uniform u;
    EXPECT_THROW(u.Next(), run_error);
}
