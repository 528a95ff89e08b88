// The angle grouping of the labelled starts against exhaustive search over every set of cuts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "../support.hpp"
#include "schedule/label_starts.hpp"

namespace {

double within_squares(const std::vector<double>& v, const std::vector<std::size_t>& first)
{
    double total = 0;
    for (std::size_t g = 0; g < first.size(); ++g) {
        const std::size_t end = g + 1 < first.size() ? first[g + 1] : v.size();
        double mean = 0;
        for (std::size_t i = first[g]; i < end; ++i) mean += v[i] / static_cast<double>(end - first[g]);
        for (std::size_t i = first[g]; i < end; ++i) total += (v[i] - mean) * (v[i] - mean);
    }
    return total;
}

// The least within-group sum of squares over every partition into k non-empty runs.
double exhaustive_least(const std::vector<double>& v, int k)
{
    if (k == 1) return within_squares(v, {0});
    double best = std::numeric_limits<double>::infinity();
    for (std::size_t a = 1; a < v.size(); ++a) {
        if (k == 2) best = std::min(best, within_squares(v, {0, a}));
        for (std::size_t b = a + 1; k == 3 && b < v.size(); ++b) best = std::min(best, within_squares(v, {0, a, b}));
    }
    return best;
}

}  // namespace

// Random sets of 3 to 40 angles, clustered or not, with ties: the groups found are contiguous,
// non-empty and as good as the best of all cuts.
TEST(LabelStarts, AngleGroupsAreOptimal)
{
    std::mt19937 engine(16);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int trial = 0; trial < 300; ++trial) {
        const std::size_t n = 3 + engine() % 38;
        std::vector<double> v(n);
        for (double& x : v) x = trial % 3 == 0 ? std::round(unit(engine) * 4) / 4 : 0.5 * (engine() % 3) + 0.1 * unit(engine);
        std::sort(v.begin(), v.end());
        for (int k = 1; k <= 3; ++k) {
            const std::vector<std::size_t> first = labels::optimal_groups(v, k);
            ASSERT_EQ(first.size(), static_cast<std::size_t>(k));
            EXPECT_EQ(first[0], 0u);
            for (int g = 1; g < k; ++g) EXPECT_LT(first[g - 1], first[g]);
            EXPECT_LT(first.back(), n);
            EXPECT_NEAR(within_squares(v, first), exhaustive_least(v, k), 1e-12) << "trial " << trial << " k " << k;
        }
    }
}

// The expected output of the two-cluster runs of tests/golden/runs.txt against the simulated
// truth: without -label_starts the heterozygotes are called homozygous, with it they are called
// heterozygous, in both orientations.
TEST(LabelStarts, TwoClusterRunsFindTheHeterozygotes)
{
    const struct {
        const char* run;
        int truth_line;   // of the SNP in two_cluster_truth.txt, after the comment
        bool labelled;
    } rows[] = {{"two_cluster", 0, false}, {"two_cluster_labelled", 0, true},
                {"two_cluster_flipped", 1, false}, {"two_cluster_flipped_labelled", 1, true}};
    std::vector<std::vector<std::string>> truth;
    for (const std::string& line : support::lines_of(support::read_file(support::source_file("tests/golden/inputs/two_cluster_truth.txt"))))
        if (!line.empty() && line[0] != '#') truth.push_back(support::fields_of(line));
    for (const auto& r : rows) {
        const std::vector<std::string> calls = support::fields_of(support::read_file(
            support::source_file(std::string("tests/golden/expected/") + r.run + "/golden_0_mcmc")));
        const std::vector<std::string>& t = truth[static_cast<std::size_t>(r.truth_line)];
        ASSERT_EQ(calls[0], t[0]) << r.run;
        ASSERT_EQ(calls.size(), 5 + 3 * (t.size() - 4)) << r.run;
        int hets = 0, called_het = 0;
        for (std::size_t i = 0; i + 4 < t.size(); ++i) {
            if (t[4 + i] != "1") continue;
            ++hets;
            called_het += std::stod(calls[5 + 3 * i + 1]) >= 0.9;
        }
        ASSERT_GE(hets, 10) << r.run;
        if (r.labelled)
            EXPECT_GT(called_het, 0.9 * hets) << r.run;
        else
            EXPECT_LT(called_het, 0.1 * hets) << r.run;
    }
}
