// The percentile range of a SNP's points, grid clumping and declumping.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "input/grid.hpp"
#include "input_test_files.hpp"
#include "state/data.hpp"

using input_test::console_capture;
using testing::HasSubstr;

namespace {

snp record_of(const std::vector<std::vector<xy>>& points)
{
    snp s;
    s.points = points;
    for (std::size_t j = 0; j < points.size(); ++j)
        s.cohort_index.emplace_back(points[j].size(), static_cast<int>(j));
    return s;
}

}  // namespace

TEST(Range, DistinctValuePercentiles)
{
    data d;
    // 1000 points with three distinct x values; y takes 200 distinct values 0..199.
    std::vector<xy> many;
    for (int i = 0; i < 1000; ++i)
        many.push_back({static_cast<double>(i % 3) - 1, static_cast<double>(i % 200)});
    snp s = record_of({many});
    {
        console_capture console;
        d.calc_range(s);
        EXPECT_EQ(console.out(), "\n Calculating range of data \n -1  1  2  198");
    }
    EXPECT_EQ(s.x_lo, -1);
    EXPECT_EQ(s.x_hi, 1);
    EXPECT_EQ(s.y_lo, 2);     // position 200/100
    EXPECT_EQ(s.y_hi, 198);   // position 99*200/100

    // Values of all cohorts pool; fewer than 100 distinct values: the low end is the smallest.
    snp pooled = record_of({{{5, 0.5}, {3, 0.25}}, {{4, 0.5}, {3, 0.125}}});
    // One distinct value: both ends coincide. No point at all: the starting box stays.
    snp single = record_of({{{2, 7}, {2, 7}}});
    snp empty = record_of({{}, {}});
    {
        console_capture console;
        d.calc_range(pooled);
        d.calc_range(single);
        d.calc_range(empty);
    }
    EXPECT_EQ(pooled.x_lo, 3);
    EXPECT_EQ(pooled.x_hi, 5);   // 99*3/100 = 2
    EXPECT_EQ(pooled.y_lo, 0.125);
    EXPECT_EQ(pooled.y_hi, 0.5);
    EXPECT_EQ(single.x_lo, 2);
    EXPECT_EQ(single.x_hi, 2);
    EXPECT_EQ(single.y_lo, 7);
    EXPECT_EQ(single.y_hi, 7);
    EXPECT_EQ(empty.x_lo, -1000);
    EXPECT_EQ(empty.y_lo, -1000);
    EXPECT_EQ(empty.x_hi, 1000);
    EXPECT_EQ(empty.y_hi, 1000);
}

TEST(Range, CellCorners)
{
    struct corner_case {
        double v, size, corner;
    };
    const corner_case cases[] = {
        {0.3, 0.1, 0.2},        // 0.3 / 0.1 = 2.9999999999999996: the grid line falls to the cell below
        {-0.01, 0.1, -0.1},     // negative values snap downwards
        {0.25, 0.1, 0.2},
        {0.5, 0.1, 0.5},        // 0.5 / 0.1 is exactly 5
        {0, 0.1, 0},
        {-0.5, 0.25, -0.5},
        {7.9, 2, 6},
    };
    for (const corner_case& c : cases)
        EXPECT_EQ(input::cell_corner(c.v, c.size), c.corner) << c.v << " / " << c.size;
    EXPECT_EQ(input::cell_size(0, 1, 10), 0.1);
    EXPECT_EQ(input::cell_size(1, -1, 4), 0.5);
    // Zero width: the value itself becomes a corner, or the cell size is 1 around 0.
    EXPECT_EQ(input::cell_size(0.75, 0.75, 10), 0.75);
    EXPECT_EQ(input::cell_size(-2, -2, 10), 2);
    EXPECT_EQ(input::cell_size(0, 0, 10), 1);
}

TEST(Range, ClumpingAndDeclumping)
{
    data d;
    d.n_cohorts = 2;
    d.approx_grid = 10;
    // Cohort 0: two points share the cell (3*0.1, 5*0.1); 0.3 sits on a grid line and falls to the
    // cell below; a negative point; cohort 1: one point and one far outside the box.
    snp s = record_of({{{0.31, 0.52}, {0.39, 0.58}, {0.3, 0.5}, {-0.01, 0.05}, {0.35, 0.55}}, {{0.95, 0.05}, {12.34, -3}}});
    s.x_lo = s.y_lo = 0;
    s.x_hi = s.y_hi = 1;
    std::string out;
    {
        console_capture console;
        d.clump_data(s);
        out = console.out();
    }
    EXPECT_EQ(out, "\n Clumping points as approximation  (delta x: 0.1 y: 0.1)\n 0 : number of non-empty points :: 3"
                   "\n 1 : number of non-empty points :: 2\n\n");
    ASSERT_EQ(s.clumps.size(), 2u);
    // Keys are the corners as the shared expression computes them (3*0.1 is 0.30000000000000004).
    const std::vector<std::pair<std::pair<double, double>, int>> want0 = {
        {{-0.1, 0.0}, 1}, {{2 * 0.1, 5 * 0.1}, 1}, {{3 * 0.1, 5 * 0.1}, 3}};
    std::vector<std::pair<std::pair<double, double>, int>> got0;
    for (const auto& [gx, column] : s.clumps[0])
        for (const auto& [gy, clump] : column) {
            got0.push_back({{gx, gy}, clump.w});
            EXPECT_EQ(clump.call, 3);
            EXPECT_EQ(clump.probs, (std::array<double, 4>{0, 0, 0, 0}));
            EXPECT_FALSE(clump.all_male);
        }
    EXPECT_EQ(got0, want0);   // ascending gx, then gy
    EXPECT_EQ(s.clumps[1].size(), 2u);
    EXPECT_EQ(s.clumps[1].count(9 * 0.1), 1u);
    EXPECT_EQ(s.clumps[1].at(std::floor(12.34 / 0.1) * 0.1).at(-3.0).w, 1);

    // Declumping: every member receives its clump's call and all four probabilities.
    d.n_individuals = {5, 2};
    {
        console_capture console;
        d.set_storage();
        point& shared = s.clumps[0].at(3 * 0.1).at(5 * 0.1);
        shared.call = 2;
        shared.probs = {0.125, 0.25, 0.5, 0.125};
        point& lone = s.clumps[0].at(2 * 0.1).at(5 * 0.1);
        lone.call = 1;
        lone.probs = {0, 1, 0, 0};
        s.clumps[0].at(-0.1).at(0.0).call = 0;
        s.clumps[1].at(9 * 0.1).at(0.0).call = 3;
        s.clumps[1].at(std::floor(12.34 / 0.1) * 0.1).at(-3.0).call = 1;
        d.set_calls_from_points(s);
        EXPECT_EQ(console.out(), " setting storage...done\n\n Declumping points for final round \n");
    }
    EXPECT_EQ(d.calls[0], (std::vector<int>{2, 2, 1, 0, 2}));
    EXPECT_EQ(d.calls[1], (std::vector<int>{3, 1}));
    for (int i : {0, 1, 4})
        EXPECT_EQ(d.call_probs[0][i], (std::array<double, 4>{0.125, 0.25, 0.5, 0.125}));
    EXPECT_EQ(d.call_probs[0][2], (std::array<double, 4>{0, 1, 0, 0}));
}

TEST(Range, ZeroWidthCoordinate)
{
    data d;
    d.n_cohorts = 1;
    d.approx_grid = 20;
    // Every x is 0.6 while y is spread: x has no width, y has cells of 0.05.
    std::vector<xy> pts;
    for (int i = 0; i < 200; ++i)
        pts.push_back({0.6, i / 200.0});
    snp s = record_of({pts});
    snp negative = record_of({{{-2, 1}, {-2, 2}}});
    snp zero = record_of({{{0, 0}, {0, 0}, {0, 0}}});
    std::string out;
    {
        console_capture console;
        for (snp* r : {&s, &negative, &zero}) {
            d.calc_range(*r);
            d.clump_data(*r);
        }
        out = console.out();
    }
    ASSERT_EQ(s.x_lo, 0.6);
    ASSERT_EQ(s.x_hi, 0.6);
    ASSERT_EQ(s.clumps[0].size(), 1u);
    EXPECT_EQ(s.clumps[0].begin()->first, 0.6);
    int members = 0;
    for (const auto& [gy, clump] : s.clumps[0].begin()->second) {
        EXPECT_TRUE(std::isfinite(gy));
        members += clump.w;
    }
    EXPECT_EQ(members, 200);
    EXPECT_THAT(out, HasSubstr("(delta x: 0.6 y: "));
    ASSERT_EQ(negative.clumps[0].size(), 1u);
    EXPECT_EQ(negative.clumps[0].begin()->first, -2);
    // Both coordinates without width at 0: cell size 1, one clump at the origin.
    ASSERT_EQ(zero.clumps[0].size(), 1u);
    EXPECT_EQ(zero.clumps[0].at(0).at(0).w, 3);
    EXPECT_THAT(out, HasSubstr("(delta x: 1 y: 1)"));
}

TEST(Range, AllMaleClumps)
{
    // Cells: A = {0, 1} (both male), B = {2, 3} (male and female), C = {4} (unknown sex).
    const std::vector<xy> pts = {{0.11, 0.11}, {0.12, 0.12}, {0.51, 0.51}, {0.52, 0.52}, {0.81, 0.81}};
    struct sex_case {
        bool chrX;
        std::vector<std::vector<int>> point_sex;
        bool a, b, c;
    };
    const sex_case cases[] = {
        {true, {{1, 1, 1, 2, 0}}, true, false, false},
        {true, {{1, 1, 2, 1, 1}}, true, false, true},
        {false, {{1, 1, 1, 1, 1}}, false, false, false},
        {true, {{1, 1, 1}}, false, false, false},   // not sized for this SNP
        {true, {}, false, false, false},
    };
    for (const sex_case& c : cases) {
        data d;
        d.n_cohorts = 1;
        d.approx_grid = 10;
        d.chrX = c.chrX;
        d.point_sex = c.point_sex;
        snp s = record_of({pts});
        s.x_lo = s.y_lo = 0;
        s.x_hi = s.y_hi = 1;
        {
            console_capture console;
            d.clump_data(s);
        }
        ASSERT_EQ(s.clumps[0].size(), 3u);
        auto it = s.clumps[0].begin();
        EXPECT_EQ(it->second.begin()->second.all_male, c.a);
        EXPECT_EQ((++it)->second.begin()->second.all_male, c.b);
        EXPECT_EQ((++it)->second.begin()->second.all_male, c.c);
    }
}
