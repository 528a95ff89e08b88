#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model_fixture.hpp"

namespace {

namespace ref = model_fixture::reference;

int count_sum(const std::array<int, 4>& n) { return n[0] + n[1] + n[2] + n[3]; }

// Twelve points: the fixture's two small cohorts plus points far away and between the clusters.
std::vector<std::vector<xy>> mixed_cohorts()
{
    std::vector<std::vector<xy>> c = model_fixture::two_small_cohorts();
    c[0].push_back(xy{3.0, 3.2});
    c[1].push_back(xy{0.7, 0.5});
    return c;
}

}  // namespace

TEST(Calls, CountsMatchCalls)
{
    data d;
    model_fixture::make_state(d, mixed_cohorts());
    for (bool sampling : {true, false})
        for (int rep = 0; rep < 20; ++rep) {
            d.sampling = sampling;
            d.update_calls();
            for (int j = 0; j < d.n_cohorts; ++j) {
                std::array<int, 4> n{};
                for (int c : d.calls[j]) {
                    ASSERT_GE(c, 0);
                    ASSERT_LE(c, 3);
                    n[c] += 1;
                }
                EXPECT_EQ(d.N[j], n);
                EXPECT_EQ(count_sum(d.N[j]), d.n_individuals[j]);
            }
        }
    // The maximising calls follow the clusters; the far point is null.
    EXPECT_EQ(d.calls[0], (std::vector<int>{0, 0, 1, 2, 1, 3}));

    // Clumped: every clump counts with its multiplicity.
    model_fixture::make_clumped(d, 3);
    for (bool sampling : {true, false}) {
        d.sampling = sampling;
        d.update_calls();
        for (int j = 0; j < d.n_cohorts; ++j) {
            std::array<int, 4> n{};
            int members = 0;
            for (const auto& [x, column] : d.snps[0].clumps[j])
                for (const auto& [y, c] : column) {
                    n[c.call] += c.w;
                    members += c.w;
                }
            EXPECT_EQ(d.N[j], n);
            EXPECT_EQ(members, d.n_individuals[j]);
            EXPECT_EQ(count_sum(d.N[j]), d.n_individuals[j]);
        }
    }
}

TEST(Calls, ProbabilitiesAreThePosteriorClassProbabilities)
{
    data d;
    model_fixture::make_state(d, mixed_cohorts());
    d.lambda[1] = {0.3, 0.3, 0.3, 0.1};
    d.r[1] = {0.2, 0.4, 0.3};
    d.update_call_probs();
    for (int j = 0; j < d.n_cohorts; ++j)
        for (std::size_t i = 0; i < d.call_probs[j].size(); ++i) {
            const xy& p = d.snps[0].points[j][i];
            std::array<double, 4> w;
            double total = 0;
            for (int k = 0; k < 4; ++k) total += w[k] = d.lambda[j][k] * std::exp(ref::log_class_density(d, j, k, p[0], p[1]));
            for (int k = 0; k < 4; ++k) EXPECT_NEAR(d.call_probs[j][i][k], w[k] / total, 1e-9) << j << " " << i << " " << k;
        }
}

TEST(Calls, SamplingDrawsFromTheProbabilities)
{
    // One individual between the class-0 and class-1 means: its calls over many draws follow its
    // class probabilities (4-sigma binomial bounds, fixed seed).
    data d;
    model_fixture::make_state(d, {{xy{0.9, 0.55}}});
    d.sigma[0] = 0.3;
    d.update_call_probs();
    const std::array<double, 4> p = d.call_probs[0][0];
    ASSERT_GT(p[0], 0.1);
    ASSERT_GT(p[1], 0.1);
    const int n = 20000;
    std::array<int, 4> seen{};
    for (int rep = 0; rep < n; ++rep) {
        d.update_calls();
        seen[d.calls[0][0]] += 1;
    }
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(seen[k], n * p[k], 4 * std::sqrt(n * p[k] * (1 - p[k])) + 1) << k;
}

TEST(Calls, MaximisingTiesGoToTheLowerClass)
{
    // Classes 0 and 2 mirror each other about the diagonal with equal proportions, so a point on
    // the diagonal scores exactly the same for both.
    data d;
    model_fixture::make_state(d, {{xy{0.5, 0.5}, xy{0.5, 0.5}}});
    d.mu[0] = class_means{xy{1, 0}, xy{5, 5}, xy{0, 1}};
    d.sigma[0] = 0.5;
    d.r[0] = {0.2, 0.2, 0.2};
    d.lambda[0] = {0.45, 0.1, 0.45, 1e-12};
    d.sampling = false;
    d.update_calls();
    EXPECT_EQ(d.call_probs[0][0][0], d.call_probs[0][0][2]);
    EXPECT_EQ(d.calls[0], (std::vector<int>{0, 0}));
    // A slightly larger class-2 proportion wins: the tie rule, not an ordering bias, decided.
    d.lambda[0][2] = 0.4500001;
    d.update_calls();
    EXPECT_EQ(d.calls[0], (std::vector<int>{2, 2}));

    // Classes 1 and 2 tied: class-1 mean placed as the mirror image of the class-0 one.
    d.mu[0] = class_means{xy{5, -5}, xy{1, 0}, xy{0, 1}};
    d.varfrac[0] = 1;   // class 2 then has the circular covariance of class 1
    d.r[0] = {0, 0, 0};
    d.lambda[0] = {0.1, 0.45, 0.45, 1e-12};
    d.update_calls();
    EXPECT_EQ(d.call_probs[0][0][1], d.call_probs[0][0][2]);
    EXPECT_EQ(d.calls[0], (std::vector<int>{1, 1}));
}

TEST(Calls, NoNullNeverCallsThree)
{
    data d;
    model_fixture::make_state(d, mixed_cohorts());
    d.sampling = false;
    d.update_calls();
    ASSERT_EQ(d.calls[0][5], 3);   // the far point is null when the class is open
    d.nonull = true;
    for (bool sampling : {false, true})
        for (int rep = 0; rep < 200; ++rep) {
            d.sampling = sampling;
            d.update_calls();
            for (int j = 0; j < d.n_cohorts; ++j) {
                EXPECT_EQ(d.N[j][3], 0);
                for (const auto& p : d.call_probs[j]) EXPECT_LT(p[3], 1e-300);
            }
        }
    d.update_call_probs();
    for (int j = 0; j < d.n_cohorts; ++j)
        for (const auto& p : d.call_probs[j]) EXPECT_LT(p[3], 1e-300);

    // Clumped as well.
    model_fixture::make_clumped(d, 3);
    for (bool sampling : {false, true})
        for (int rep = 0; rep < 50; ++rep) {
            d.sampling = sampling;
            d.update_calls();
            for (int j = 0; j < d.n_cohorts; ++j) EXPECT_EQ(d.N[j][3], 0);
        }
}

TEST(Calls, XModeMalesAreNotHeterozygous)
{
    // Every point sits on the class-1 mean (0.7 + pushed), where class 1 wins by far.
    data d;
    model_fixture::make_state(d, {{xy{0, 0}}});
    const xy het = d.mu[0][1];
    std::vector<xy> pts(6, het);
    model_fixture::make_state(d, {pts});
    const std::vector<int> sexes{1, 2, 0, 1, 2, 0};
    model_fixture::set_sexes(d, {sexes});
    d.sampling = false;
    d.update_calls();
    EXPECT_EQ(d.calls[0][1], 1);
    EXPECT_EQ(d.calls[0][2], 1);
    EXPECT_NE(d.calls[0][0], 1);
    EXPECT_NE(d.calls[0][3], 1);
    for (int rep = 0; rep < 300; ++rep) {
        d.sampling = rep % 2 == 0;
        d.update_calls();
        for (std::size_t i = 0; i < sexes.size(); ++i)
            if (sexes[i] == 1) {
                EXPECT_NE(d.calls[0][i], 1) << i;
                EXPECT_LT(d.call_probs[0][i][1], 1e-300) << i;
            }
    }
    d.update_call_probs();
    EXPECT_LT(d.call_probs[0][0][1], 1e-300);
    EXPECT_GT(d.call_probs[0][1][1], 0.5);
    EXPECT_GT(d.call_probs[0][2][1], 0.5);

    // With "-allow_male_hets" the class is open to males, with the autosomal probabilities.
    d.allow_male_hets = true;
    d.sampling = false;
    d.update_calls();
    EXPECT_EQ(d.calls[0], std::vector<int>(6, 1));
    const auto with_option = d.call_probs;
    d.chrX = false;
    d.update_call_probs();
    EXPECT_EQ(d.call_probs, with_option);
}

TEST(Calls, XModeClumps)
{
    // Cell size 0.25 on [0, 1]: two points in the cell at (0.5, 0.5), two in the one at (0.75, 0.75).
    data d;
    model_fixture::make_state(d, {{xy{0, 0}, xy{1, 1}, xy{0.55, 0.55}, xy{0.6, 0.6}, xy{0.8, 0.8}, xy{0.85, 0.8}}});
    model_fixture::set_sexes(d, {{2, 2, 1, 1, 1, 2}});
    model_fixture::make_clumped(d, 4);
    clump_map& clumps = d.snps[0].clumps[0];
    point& males = clumps.at(0.5).at(0.5);
    point& mixed = clumps.at(0.75).at(0.75);
    ASSERT_EQ(males.w, 2);
    ASSERT_EQ(mixed.w, 2);
    EXPECT_TRUE(males.all_male);
    EXPECT_FALSE(mixed.all_male);
    // The class-1 mean right inside both cells makes class 1 the best open class there.
    d.mu[0] = class_means{xy{1.2, 0.2}, xy{0.65, 0.65}, xy{0.2, 1.2}};
    d.sampling = false;
    d.update_calls();
    EXPECT_LT(males.probs[1], 1e-300);
    EXPECT_NE(males.call, 1);
    EXPECT_EQ(mixed.call, 1);
    EXPECT_GT(mixed.probs[1], 0.5);
    d.allow_male_hets = true;
    d.update_calls();
    EXPECT_EQ(males.call, 1);
}

TEST(Calls, CallProbsChangeNoCallAndIgnoreSampling)
{
    data d;
    model_fixture::make_state(d, mixed_cohorts());
    d.update_calls();   // sampling calls, some away from the most probable class
    const auto calls = d.calls;
    const auto counts = d.N;
    d.sampling = true;
    model_fixture::install_generator(0.5);
    d.update_call_probs();
    const auto probs_sampling = d.call_probs;
    // No base draw was taken: the next draw is the first of the fresh sequence.
    const double next = Random::base_draw();
    model_fixture::install_generator(0.5);
    EXPECT_EQ(next, Random::base_draw());

    d.sampling = false;
    d.update_call_probs();
    EXPECT_EQ(d.call_probs, probs_sampling);
    EXPECT_EQ(d.calls, calls);
    EXPECT_EQ(d.N, counts);
    // They are the probabilities that update_calls works with.
    d.update_calls();
    EXPECT_EQ(d.call_probs, probs_sampling);
    for (const auto& cohort : probs_sampling)
        for (const auto& p : cohort) EXPECT_NEAR(p[0] + p[1] + p[2] + p[3], 1, 1e-12);
}
