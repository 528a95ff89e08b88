#pragma once
#include <cmath>

#include "state/records.hpp"

// The clumping grid: anchored at 0, with a cell size taken from the SNP's range box.
namespace clumping {

// Cell size of one coordinate whose range [lo, hi] is cut into `grid` (> 0) equal steps.
// A range of zero width (all points share one value in this coordinate) would give size 0
// and a division by zero; the cell size is then |lo|, or 1 when lo is 0, so that the shared
// value is itself a cell corner and all points lie in one cell of this coordinate.
inline double cell_size(double lo, double hi, int grid)
{
    const double size = std::fabs(lo - hi) / grid;
    if (size > 0)
        return size;
    const double magnitude = std::fabs(lo);
    return magnitude > 0 ? magnitude : 1.0;
}

// Lower corner of the cell holding v. Clumping and declumping both call this one expression,
// so the keys they compute are bitwise equal.
inline double cell_corner(double v, double size)
{
    return std::floor(v / size) * size;
}

// Cell sizes of both coordinates of a SNP's grid, from its range box.
struct cell_sizes {
    double dx, dy;
};

inline cell_sizes cell_sizes_of(const snp& s, int grid)
{
    return {cell_size(s.x_lo, s.x_hi, grid), cell_size(s.y_lo, s.y_hi, grid)};
}

// The clump whose cell holds p (of a male of X mode or not), in clumps built from the same
// points with the same cell sizes.
inline const point& clump_of(const clump_map& clumps, const xy& p, bool male, cell_sizes cells)
{
    return clumps.at(cell_corner(p[0], cells.dx)).at(cell_row{cell_corner(p[1], cells.dy), male});
}

}  // namespace clumping
