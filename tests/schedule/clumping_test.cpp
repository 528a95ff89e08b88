// The robust range of a SNP's points, the clumping grid, and clumping and declumping.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "../support.hpp"
#include "schedule/grid.hpp"
#include "../model/model_state.hpp"

namespace {

snp record_of(const std::vector<std::vector<xy>>& points)
{
    snp s;
    s.points = points;
    for (std::size_t j = 0; j < points.size(); ++j) s.cohort_index.emplace_back(points[j].size(), static_cast<int>(j));
    return s;
}

}  // namespace

// The 1st and 99th percentile of the distinct values of each coordinate, over all cohorts.
TEST(Range, DistinctValuePercentiles)
{
    std::vector<xy> many;   // three distinct x values; y takes 200 values 0..199
    for (int i = 0; i < 1000; ++i) many.push_back({static_cast<double>(i % 3) - 1, static_cast<double>(i % 200)});
    struct row {
        snp s;
        std::array<double, 4> box;   // x_lo, x_hi, y_lo, y_hi
    } rows[] = {
        {record_of({many}), {-1, 1, 2, 198}},
        {record_of({{{5, 0.5}, {3, 0.25}}, {{4, 0.5}, {3, 0.125}}}), {3, 5, 0.125, 0.5}},
        {record_of({{{2, 7}, {2, 7}}}), {2, 2, 7, 7}},
        {record_of({{}, {}}), {-1000, 1000, -1000, 1000}},   // no point: the starting box stays
    };
    test_state d;
    for (row& r : rows) {
        d.calc_range(r.s);
        EXPECT_EQ((std::array<double, 4>{r.s.x_lo, r.s.x_hi, r.s.y_lo, r.s.y_hi}), r.box);
    }
    EXPECT_EQ(support::lines_of(d.console.str())[2], " -1  1  2  198");
}

TEST(Range, CellCornersAndSizes)
{
    // 0.3 / 0.1 is 2.9999999999999996: the grid line falls to the cell below.
    const double corners[][3] = {{0.3, 0.1, 0.2}, {-0.01, 0.1, -0.1}, {0.5, 0.1, 0.5}, {0, 0.1, 0}, {-0.5, 0.25, -0.5}, {7.9, 2, 6}};
    for (const auto& c : corners) EXPECT_EQ(clumping::cell_corner(c[0], c[1]), c[2]) << c[0] << " / " << c[1];
    // A range of zero width makes the shared value a corner (cell size 1 about 0).
    const double sizes[][4] = {{0, 1, 10, 0.1}, {1, -1, 4, 0.5}, {0.75, 0.75, 10, 0.75}, {-2, -2, 10, 2}, {0, 0, 10, 1}};
    for (const auto& c : sizes) EXPECT_EQ(clumping::cell_size(c[0], c[1], static_cast<int>(c[2])), c[3]) << c[0] << " " << c[1];
}

// Points snap to the lower-left corner of their cell, X-mode males and the others of a cell
// apart; declumping gives every member its clump's call and probabilities.
TEST(Range, ClumpingAndDeclumping)
{
    test_state d;
    d.n_cohorts = 2, d.approx_grid = 10, d.chrX = true;
    d.point_sex = {{1, 1, 1, 2, 1}, {1, 0}};
    snp s = record_of({{{0.31, 0.52}, {0.39, 0.58}, {0.3, 0.5}, {0.35, 0.55}, {-0.01, 0.05}}, {{0.95, 0.05}, {12.34, -3}}});
    s.x_lo = s.y_lo = 0, s.x_hi = s.y_hi = 1;
    d.clump_data(s);
    EXPECT_EQ(d.console.str(), "\n Clumping points as approximation  (delta x: 0.1 y: 0.1)\n 0 : number of non-empty points :: 4"
                             "\n 1 : number of non-empty points :: 2\n\n");
    // Keys as the shared expression computes them (3 * 0.1 is 0.30000000000000004), ascending,
    // the others of a cell before its males.
    std::vector<std::tuple<double, double, bool, int>> got;
    for (const auto& [gx, column] : s.clumps[0])
        for (const auto& [row, c] : column) {
            got.emplace_back(gx, row.y, row.male, c.w);
            EXPECT_EQ(c.call, 3);
        }
    EXPECT_EQ(got, (std::vector<std::tuple<double, double, bool, int>>{
                       {-0.1, 0.0, true, 1}, {2 * 0.1, 5 * 0.1, true, 1}, {3 * 0.1, 5 * 0.1, false, 1}, {3 * 0.1, 5 * 0.1, true, 2}}));
    EXPECT_EQ(s.clumps[1].at(9 * 0.1).count({0.0, true}), 1u);
    EXPECT_EQ(s.clumps[1].at(std::floor(12.34 / 0.1) * 0.1).count({-3.0, false}), 1u);   // unknown sex
    d.n_individuals = {5, 2};
    d.set_storage();
    auto& cell = s.clumps[0].at(3 * 0.1);
    point& males = cell.at({5 * 0.1, true});
    males.call = 2, males.probs = {0.125, 0.25, 0.5, 0.125};
    cell.at({5 * 0.1, false}).call = 0;
    s.clumps[0].at(2 * 0.1).at({5 * 0.1, true}).call = 1;
    s.clumps[0].at(-0.1).at({0.0, true}).call = 0;
    s.clumps[1].at(std::floor(12.34 / 0.1) * 0.1).at({-3.0, false}).call = 1;
    d.set_calls_from_points(s);
    EXPECT_EQ(d.calls, (std::vector<std::vector<int>>{{2, 2, 1, 0, 0}, {3, 1}}));
    for (int i : {0, 1}) EXPECT_EQ(d.call_probs[0][i], males.probs) << i;
    // A coordinate without width: its shared value is the corner, every point in one column.
    std::vector<xy> column;
    for (int i = 0; i < 200; ++i) column.push_back({0.6, i / 200.0});
    snp flat = record_of({column}), origin = record_of({{{0, 0}, {0, 0}, {0, 0}}});
    d.n_cohorts = 1, d.approx_grid = 20, d.chrX = false;
    for (snp* r : {&flat, &origin}) {
        d.calc_range(*r);
        d.clump_data(*r);
    }
    ASSERT_EQ(flat.clumps[0].size(), 1u);
    EXPECT_EQ(flat.clumps[0].begin()->first, 0.6);
    int members = 0;
    for (const auto& [gy, c] : flat.clumps[0].begin()->second) members += c.w;
    EXPECT_EQ(members, 200);
    EXPECT_EQ(origin.clumps[0].at(0).at({0, false}).w, 3);
}
