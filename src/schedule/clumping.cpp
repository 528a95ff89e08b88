#include <cstddef>
#include <iostream>
#include <iterator>
#include <set>

#include "schedule/grid.hpp"
#include "state/data.hpp"

namespace {

// The 1st and 99th percentile of the distinct values: positions n/100 and 99n/100.
void percentile_range(const std::set<double>& values, double& lo, double& hi)
{
    if (values.empty())
        return;
    const std::size_t n = values.size();
    lo = *std::next(values.begin(), static_cast<std::ptrdiff_t>(n / 100));
    hi = *std::next(values.begin(), static_cast<std::ptrdiff_t>(99 * n / 100));
}

}  // namespace

void data::calc_range(snp& s)
{
    log() << std::endl << " Calculating range of data ";
    s.x_lo = s.y_lo = -1000;
    s.x_hi = s.y_hi = 1000;
    std::set<double> xs;
    std::set<double> ys;
    for (const auto& cohort : s.points) {
        for (const xy& p : cohort) {
            xs.insert(p[0]);
            ys.insert(p[1]);
        }
    }
    percentile_range(xs, s.x_lo, s.x_hi);
    percentile_range(ys, s.y_lo, s.y_hi);
    log() << std::endl
              << " " << s.x_lo << "  " << s.x_hi << "  " << s.y_lo << "  " << s.y_hi;
}

// Precondition: the record holds `n_cohorts` cohorts of points and `calc_range` has run on it.
void data::clump_data(snp& s)
{
    s.clumps.clear();
    s.clumps.resize(static_cast<std::size_t>(n_cohorts));
    const clumping::cell_sizes cells = clumping::cell_sizes_of(s, cfg.approx_grid);
    log() << std::endl
              << " Clumping points as approximation " << " (delta x: " << cells.dx << " y: " << cells.dy << ")";
    if (n_cohorts < 1) {
        log() << std::endl << std::endl;
        return;
    }
    for (std::size_t j = 0; j < static_cast<std::size_t>(n_cohorts); ++j) {
        const std::vector<xy>& pts = s.points[j];
        int occupied = 0;
        for (std::size_t i = 0; i < pts.size(); ++i) {
            auto& column = s.clumps[j][clumping::cell_corner(pts[i][0], cells.dx)];
            auto [it, inserted] = column.try_emplace(cell_row{clumping::cell_corner(pts[i][1], cells.dy), is_male(j, i)});
            if (inserted)
                ++occupied;
            else
                ++it->second.w;
        }
        log() << std::endl << " " << j << " : number of non-empty points :: " << occupied;
    }
    log() << std::endl << std::endl;
    calls_changed();
}

// Precondition: `clump_data` has built the record's clumps with the present range, and
// `calls` and `call_probs` are sized for the SNP.
void data::set_calls_from_points(snp& s)
{
    log() << std::endl << " Declumping points for final round " << std::endl;
    const clumping::cell_sizes cells = clumping::cell_sizes_of(s, cfg.approx_grid);
    for (std::size_t j = 0; j < static_cast<std::size_t>(n_cohorts); ++j) {
        const std::vector<xy>& pts = s.points[j];
        for (std::size_t i = 0; i < pts.size(); ++i) {
            const point& clump = clumping::clump_of(s.clumps[j], pts[i], is_male(j, i), cells);
            calls[j][i] = clump.call;
            call_probs[j][i] = clump.probs;
        }
    }
    calls_changed();
}
