#pragma once
#include <cstdint>
#include <variant>

#include "numeric/random.hpp"
#include "numeric/simd.hpp"

// Normal and gamma variates by rejection over a table of equal-area strips: each strip is a
// rectangle whose height is the target density at its inner edge (the edge nearer the mode)
// and whose area is fixed, so a uniform strip index, a uniform point along the strip and a
// uniform height give a draw that is accepted when it falls under the density.
//
// Building a table (build_one_sided; Gamma2::table builds the two-sided ones) draws no random
// numbers and depends only on the density, so a table can be built once and reused for any
// number of draws (the draw_* functions); every draw takes three base draws per attempt, in
// the order: strip, position, height. Building throws run_error when the density needs more
// strips than a table holds or fewer than the method needs.

// A table of strips running from 0 upwards; a symmetric table mirrors it about 0.
struct PosTable {
    static constexpr int capacity = 60;
    static constexpr int min_strips = 50;
    int strips = 0;          // strips of one side; edges 0 ... strips are filled
    double xi = 0;           // strip index scale: strips, or 2 * strips when symmetric
    bool symmetric = false;
    double sx[capacity] = {};   // strip edges
    double sfx[capacity] = {};  // density at each edge
};

// A table of strips running outwards from the mode on both sides, the two sides laid side by
// side: row s holds edge s of the right-hand side in column 0 and edge s of the left-hand side in
// column 1, edge 0 being the mode in both. Strip k < right lies between right-hand edges k and
// k + 1, strip right + m between left-hand edges m and m + 1; the outer edge of each side's last
// strip has density 0.
struct AsymTable {
    static constexpr int rows = 120;
    static constexpr int min_strips = 100;
    int strips = 0;
    int right = 0;           // strips right of the mode
    double xi = 0;           // strips, as the strip index scale
    double x[rows][2];       // strip edges
    double f[rows][2];       // density at each edge
};

// What a table is built for, named in error messages: a distribution and, for gamma tables,
// its shape (NaN otherwise).
struct table_label {
    const char* distribution;
    double shape;
};

// Builds the one-sided table of target.Density from 0 with strips of the given area.
PosTable build_one_sided(const Random& target, double area, bool symmetric, table_label label);
// One draw from a built table; target.Density must be the density the table was built for.
double draw_one_sided(const PosTable& table, const Random& target);
double draw_two_sided(const AsymTable& table, const Random& target);

// One-sided table method. The table is found (or built) at each draw by the concrete
// generator: shared, static or cached per shape.
class PosGen : public Random {
public:
    double Next() override;
    const char* Name() const override;
    // The table the generator draws from; valid until the next draw of any gamma generator.
    virtual const PosTable& table() = 0;

protected:
    PosGen(double area, bool symmetric);
    PosTable build(table_label label) const;

private:
    double area_;
    bool symmetric_;
};

// Table method for a density symmetric about 0 (strips of area 0.01 on each side).
class SymGen : public PosGen {
public:
    const char* Name() const override;

protected:
    SymGen();
};

// Standard normal variates. Every Normal object draws from one table, built by the first.
class Normal : public SymGen {
public:
    Normal();
    const PosTable& table() override;
    const char* Name() const override;
    double Density(double x) const override;
    double Mean() const override;
    double Variance() const override;
};

// Two-sided table method about a mode; the concrete generator finds (or builds) the table.
class AsymGen : public Random {
public:
    double Next() override;
    const char* Name() const override;
    // The table the generator draws from; valid until the next draw of any gamma generator.
    virtual const AsymTable& table() = 0;
};

// Gamma(alpha, 1) for alpha < 1: Y^alpha for Y ~ Gamma(alpha, 1) has a bounded density on
// [0, ~1], which the one-sided table handles; the draw is raised to the power 1/alpha.
class Gamma1 : public PosGen {
public:
    explicit Gamma1(double alpha);
    double Next() override;
    const PosTable& table() override;   // cached per shape
    const char* Name() const override;
    double Density(double x) const override;
    double Mean() const override;
    double Variance() const override;

private:
    double alpha_, inv_alpha_;
    // lnGamma(1 + alpha), computed at the first density evaluation: a draw from a cached table
    // is mostly decided by the table alone.
    mutable double log_gamma_1_plus_alpha_ = 0;
    mutable bool log_gamma_known_ = false;
};

// Unit exponential, Gamma(1, 1).
class Exponential : public PosGen {
public:
    Exponential();
    const PosTable& table() override;   // built once
    const char* Name() const override;
    double Density(double x) const override;
    double Mean() const override;
    double Variance() const override;
};

// Gamma(alpha, 1) for alpha > 1, two-sided about the mode alpha - 1.
class Gamma2 : public AsymGen {
public:
    explicit Gamma2(double alpha);
    const AsymTable& table() override;   // cached per shape
    const char* Name() const override;
    double Density(double x) const override;
    double Mean() const override;
    double Variance() const override;
    double shape() const { return alpha_; }
    // lnGamma(alpha), computed at the first use.
    double log_gamma() const;

private:
    double alpha_;
    mutable double log_gamma_alpha_ = 0;
    mutable bool log_gamma_known_ = false;
};

// Gamma(shape, 1) by the generator that suits the shape: Gamma1 below 1, Exponential at
// exactly 1, Gamma2 above. Throws run_error unless the shape is finite and positive.
class Gamma : public Random {
public:
    explicit Gamma(double shape);
    double Next() override;
    const char* Name() const override;
    double Mean() const override;
    double Variance() const override;
    // The generator chosen for the shape.
    Random& generator();
    // Whether the shape is drawn from a two-sided table (Gamma2): above 1 and finite.
    static bool two_sided(double shape);

private:
    using choice = std::variant<Gamma1, Exponential, Gamma2>;
    static choice choose(double shape);
    double shape_;
    choice chosen_;
    Random* active_;
};

// Draws from each of n = 1 ... max_gamma_batch gamma generators in turn: what g[0]->Next(), ...,
// g[n - 1]->Next() give. The two-sided tables that are not cached are laid together first, the
// sides of two tables in the four lanes of a vector.
constexpr int max_gamma_batch = 4;
void draw_gammas(Gamma* const* g, int n, double* out);

// Shapes whose gamma tables will soon be needed (the next proposal from an accepted value): the
// two-sided ones are laid alongside the next tables laid, in lanes that would otherwise wait for
// them, and cached. Only speed depends on this: a table is the same whenever it is laid.
void expect_gamma_shapes(const double* shapes, int n);

// Builds and reuses of the per-shape gamma tables since the start of the process.
struct table_cache_counts {
    std::uint64_t hits, misses;
};
table_cache_counts gamma_table_cache_counts();
