#pragma once
#include <cmath>

// The clumping grid: anchored at 0, with a cell size taken from the SNP's range box.
namespace input {

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

}  // namespace input
