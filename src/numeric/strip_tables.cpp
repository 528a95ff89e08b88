#include "numeric/strip_tables.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "numeric/elementary.hpp"
#include "numeric/format.hpp"
#include "numeric/table_cache.hpp"
#include "state/error.hpp"

namespace {

constexpr double one_sided_area = 0.02;
constexpr double symmetric_area = 0.01;
constexpr double two_sided_area = 0.01;
// Densities below exp(-40) count as zero: the strips end there.
constexpr double log_density_floor = -40.0;

std::string describe(table_label label)
{
    std::string text = label.distribution;
    if (!std::isnan(label.shape)) text += " " + format_number(label.shape);
    return text;
}

[[noreturn]] void too_large(table_label label, int capacity)
{
    throw run_error("strip table for " + describe(label) + " would need more than " +
                    std::to_string(capacity - 1) + " strips");
}

void check_enough(table_label label, int strips, int min_strips)
{
    if (strips < min_strips)
        throw run_error("strip table for " + describe(label) + " has only " + std::to_string(strips) +
                        " strips, at least " + std::to_string(min_strips) + " needed");
}

// Per thread: a table is built and read by the thread that draws from it.
table_cache<PosTable>& gamma1_tables()
{
    static thread_local table_cache<PosTable> cache;
    return cache;
}

// A batch of gamma draws needs no more tables than a set of the cache holds (see draw_gammas).
static_assert(max_gamma_batch <= table_cache<AsymTable>::set_size);

table_cache<AsymTable>& gamma2_tables()
{
    static thread_local table_cache<AsymTable> cache;
    return cache;
}

double floored_exp(double e) { return e < log_density_floor ? 0.0 : portable::exp(e); }

// Lays strips of the given area upwards from 0: edge i goes to sx[i], its density to sfx[i],
// until the density is 0. Returns the index of that last edge; an index reaching `limit` throws.
int lay_strips(const Random& target, double area, double* sx, double* sfx, int limit, table_label label)
{
    double x = 0.0;
    int i = 0;
    for (;;) {
        const double f = target.Density(x);
        sx[i] = x;
        sfx[i] = f;
        if (f <= 0.0)
            return i;
        if (++i >= limit)
            too_large(label, limit);
        x = x + area / f;
    }
}

// Gamma(alpha) density at each lane of x (double, vec2 or vec4), the shape given per lane as
// alpha - 1 and lnGamma(alpha): 0 for x <= 0, else exp((alpha - 1) ln x - x - lnGamma(alpha)),
// 0 below exp(-40). Loads reads the tables of log and exp.
template <class T, class Loads = element_loads>
[[gnu::always_inline]] inline T gamma_density(T x, T alpha_less_one, T log_gamma)
{
    const auto inside = x > 0.0;
    const T e = alpha_less_one * portable::log_lanes<T, Loads>(pick(inside, x, splat<T>(1.0))) - x - log_gamma;
    const T f = pick(e < log_density_floor, splat<T>(0.0), portable::exp_lanes<T, Loads>(e, splat<T>(0.0)));
    return pick(inside, f, splat<T>(0.0));
}

// The sides of one or two two-sided gamma tables in the lanes of a vector V (vec2: one table,
// vec4: two): lane 2t the right-hand side of table t, lane 2t + 1 its left-hand side, each laid
// from the mode alpha - 1 in steps of +-0.01 / density (as lay_strips lays them).
template <class V, class Loads>
struct gamma_sides {
    static constexpr int lanes = sizeof(V) / sizeof(double), tables = lanes / 2;
    using mask = decltype(V{} == V{});
    V x, step, alpha_less_one, log_gamma;
    mask open, laid;   // laid: edges with a positive density, per lane

    [[gnu::always_inline]] explicit gamma_sides(const Gamma2* const* gens)
    {
        for (int l = 0; l < lanes; ++l) {
            const Gamma2& g = *gens[l / 2];
            x[l] = alpha_less_one[l] = g.shape() - 1.0;
            step[l] = (l % 2 == 0 ? 1.0 : -1.0) * two_sided_area;
            log_gamma[l] = g.log_gamma();
        }
        open = x == x;
        laid = open & 0;
    }

    // Lays row `row` of every table and steps on; whether some side is still open. A finished
    // side keeps its place, so its later rows repeat its last edge.
    [[gnu::always_inline]] bool lay_row(int row, AsymTable* const* t)
    {
        const V f = gamma_density<V, Loads>(x, alpha_less_one, log_gamma);
        for (int i = 0; i < tables; ++i) {
            const vec2 xt{x[2 * i], x[2 * i + 1]}, ft{f[2 * i], f[2 * i + 1]};
            std::memcpy(t[i]->x[row], &xt, sizeof xt);
            std::memcpy(t[i]->f[row], &ft, sizeof ft);
        }
        open &= ~(f <= 0.0);
        laid -= open;
        x = pick(open, x + step / f, x);
        return any_of(open);
    }

    // Each table's strips right and left of the mode (a side that does not fit counts all its
    // rows); check_gamma_table judges them.
    [[gnu::always_inline]] void count(AsymTable* const* t) const
    {
        for (int i = 0; i < tables; ++i) {
            t[i]->right = static_cast<int>(laid[2 * i]);
            t[i]->strips = static_cast<int>(laid[2 * i] + laid[2 * i + 1]);
            t[i]->xi = t[i]->strips;
        }
    }
};

// Lays the tables of the generators one vector of sides V after the other, or two vectors V, W
// in the same steps: their chains of operations are independent, so the processor overlaps
// them.
template <class V, class Loads>
[[gnu::always_inline]] inline void lay_gamma_sides(const Gamma2* const* gens, AsymTable* const* t)
{
    gamma_sides<V, Loads> a(gens);
    for (int row = 0; row < AsymTable::rows && a.lay_row(row, t); ++row) {}
    a.count(t);
}
template <class V, class W, class Loads>
[[gnu::always_inline]] inline void lay_gamma_sides(const Gamma2* const* gens, AsymTable* const* t)
{
    constexpr int n = gamma_sides<V, Loads>::tables;
    gamma_sides<V, Loads> a(gens);
    gamma_sides<W, Loads> b(gens + n);
    for (int row = 0; row < AsymTable::rows; ++row) {
        const bool open_a = a.lay_row(row, t), open_b = b.lay_row(row, t + n);
        if (!open_a && !open_b) break;
    }
    a.count(t);
    b.count(t + n);
}

// One kernel per number of tables laid together (1 ... 4), for the processor's lanes.
using lay_kernel = void (*)(const Gamma2* const*, AsymTable* const*);
void lay_1_baseline(const Gamma2* const* g, AsymTable* const* t) { lay_gamma_sides<vec2, element_loads>(g, t); }
void lay_2_baseline(const Gamma2* const* g, AsymTable* const* t) { lay_gamma_sides<vec4, element_loads>(g, t); }
void lay_3_baseline(const Gamma2* const* g, AsymTable* const* t)
{
    lay_gamma_sides<vec4, vec2, element_loads>(g, t);
}
void lay_4_baseline(const Gamma2* const* g, AsymTable* const* t)
{
    lay_gamma_sides<vec4, vec4, element_loads>(g, t);
}
WIDE_LANES_TARGET void lay_1_wide(const Gamma2* const* g, AsymTable* const* t)
{
    lay_gamma_sides<vec2, gathered_loads>(g, t);
}
WIDE_LANES_TARGET void lay_2_wide(const Gamma2* const* g, AsymTable* const* t)
{
    lay_gamma_sides<vec4, gathered_loads>(g, t);
}
WIDE_LANES_TARGET void lay_3_wide(const Gamma2* const* g, AsymTable* const* t)
{
    lay_gamma_sides<vec4, vec2, gathered_loads>(g, t);
}
WIDE_LANES_TARGET void lay_4_wide(const Gamma2* const* g, AsymTable* const* t)
{
    lay_gamma_sides<vec4, vec4, gathered_loads>(g, t);
}

// Lays the tables of n = 1 ... 4 gamma generators together.
void lay_gamma_tables(const Gamma2* const* gens, AsymTable* const* tables, int n)
{
    static const lay_kernel baseline[] = {lay_1_baseline, lay_2_baseline, lay_3_baseline, lay_4_baseline};
    static const lay_kernel wide[] = {lay_1_wide, lay_2_wide, lay_3_wide, lay_4_wide};
    (wide_lanes_active() ? wide : baseline)[n - 1](gens, tables);
}

// Whether the laid table has room for both sides and enough strips.
bool gamma_table_fits(const AsymTable& t) { return t.strips < AsymTable::rows && t.strips >= AsymTable::min_strips; }

// Shapes whose two-sided tables will soon be needed (expect_gamma_shapes), oldest first.
struct expected_shapes {
    static constexpr int capacity = 2 * max_gamma_batch;
    double shape[capacity];
    int n = 0;
};
expected_shapes& expected()
{
    static thread_local expected_shapes queue;
    return queue;
}

// Lays the n tables claimed for gens, and with them up to `room` tables of expected shapes that
// are not cached (at most max_gamma_batch tables in all); those enter the cache when they fit.
void lay_with_expected(const Gamma2* const* gens, AsymTable* const* tables, int n, int room)
{
    table_cache<AsymTable>& cache = gamma2_tables();
    expected_shapes& queue = expected();
    const Gamma2* all_gens[max_gamma_batch];
    AsymTable* all_tables[max_gamma_batch];
    std::optional<Gamma2> ahead[max_gamma_batch];
    int total = 0;
    for (; total < n; ++total) all_gens[total] = gens[total], all_tables[total] = tables[total];
    int used = 0;
    for (; used < queue.n && total < n + room && total < max_gamma_batch; ++used) {
        const double shape = queue.shape[used];
        bool known = cache.contains(shape);
        for (int i = 0; i < total && !known; ++i) known = all_gens[i]->shape() == shape;
        if (known) continue;
        all_gens[total] = &ahead[total].emplace(shape);
        all_tables[total++] = &cache.claim(shape);
    }
    std::copy(queue.shape + used, queue.shape + queue.n, queue.shape);
    queue.n -= used;
    lay_gamma_tables(all_gens, all_tables, total);
    for (int i = n; i < total; ++i)
        if (gamma_table_fits(*all_tables[i])) cache.keep(*all_tables[i]);
}

// Throws when a side of the laid table of Gamma(alpha) did not fit, the two together need more
// strips than a table holds, or there are too few strips.
void check_gamma_table(const AsymTable& t, double alpha)
{
    if (gamma_table_fits(t)) return;
    const table_label label{"gamma shape", alpha};
    if (t.strips >= AsymTable::rows) too_large(label, AsymTable::rows);
    check_enough(label, t.strips, AsymTable::min_strips);
}

}  // namespace

PosTable build_one_sided(const Random& target, double area, bool symmetric, table_label label)
{
    PosTable t;
    t.symmetric = symmetric;
    const int i = lay_strips(target, area, t.sx, t.sfx, PosTable::capacity, label);
    check_enough(label, i, PosTable::min_strips);
    t.strips = i;
    t.xi = symmetric ? 2.0 * i : i;
    return t;
}

double draw_one_sided(const PosTable& t, const Random& target)
{
    for (;;) {
        double u1 = Random::base_draw();
        double sign = 1.0;
        if (t.symmetric && u1 > 0.5) {
            u1 = 1.0 - u1;
            sign = -1.0;
        }
        const int k = static_cast<int>(std::floor(u1 * t.xi));
        const double u2 = Random::base_draw();
        const double u3 = Random::base_draw();
        // Only a fold at exactly 0.5, which the base generator never yields, lands past the
        // last strip.
        if (k >= t.strips)
            continue;
        const double x = t.sx[k] + u2 * (t.sx[k + 1] - t.sx[k]);
        const double y = u3 * t.sfx[k];
        if (y < t.sfx[k + 1] || y < target.Density(x))
            return sign * x;
    }
}

double draw_two_sided(const AsymTable& t, const Random& target)
{
    for (;;) {
        const double u1 = Random::base_draw();
        const int k = static_cast<int>(std::floor(u1 * t.xi));
        const double u2 = Random::base_draw();
        const double u3 = Random::base_draw();
        const int side = k < t.right ? 0 : 1;
        const int s = k < t.right ? k : k - t.right;
        const double x0 = t.x[s][side], x1 = t.x[s + 1][side];
        const double x = x0 + u2 * (x1 - x0);
        const double y = u3 * t.f[s][side];
        if (y < t.f[s + 1][side] || y < target.Density(x))
            return x;
    }
}

PosGen::PosGen(double area, bool symmetric) : area_(area), symmetric_(symmetric) {}

PosTable PosGen::build(table_label label) const { return build_one_sided(*this, area_, symmetric_, label); }
double PosGen::Next() { return draw_one_sided(table(), *this); }
const char* PosGen::Name() const { return "PosGen"; }

SymGen::SymGen() : PosGen(symmetric_area, true) {}
const char* SymGen::Name() const { return "SymGen"; }

// Built by the first Normal of the process (once, whatever the threads) and read by all: the
// table depends on the density alone, so every later one would be the same.
Normal::Normal() { table(); }

const PosTable& Normal::table()
{
    static const PosTable shared = build(table_label{"the standard normal", std::nan("")});
    return shared;
}
const char* Normal::Name() const { return "Normal"; }

double Normal::Density(double x) const
{
    return std::fabs(x) > 8.0 ? 0.0 : 0.39894228 * portable::exp(-x * x / 2.0);
}

double Normal::Mean() const { return 0.0; }
double Normal::Variance() const { return 1.0; }

double AsymGen::Next() { return draw_two_sided(table(), *this); }
const char* AsymGen::Name() const { return "AsymGen"; }

Gamma1::Gamma1(double alpha)
    : PosGen(one_sided_area, false),
      alpha_(alpha),
      inv_alpha_(1.0 / alpha)
{
}

double Gamma1::Next() { return portable::pow(PosGen::Next(), inv_alpha_); }

const PosTable& Gamma1::table()
{
    table_cache<PosTable>& cache = gamma1_tables();
    if (const PosTable* t = cache.lookup(alpha_)) return *t;
    PosTable& t = cache.claim(alpha_);
    t = build(table_label{"gamma shape", alpha_});
    cache.keep(t);
    return t;
}
const char* Gamma1::Name() const { return "Gamma1"; }

double Gamma1::Density(double x) const
{
    if (!log_gamma_known_) {
        log_gamma_1_plus_alpha_ = portable::lgamma(1.0 + alpha_);
        log_gamma_known_ = true;
    }
    return floored_exp(-portable::pow(x, inv_alpha_) - log_gamma_1_plus_alpha_);
}

double Gamma1::Mean() const { return alpha_; }
double Gamma1::Variance() const { return alpha_; }
Exponential::Exponential() : PosGen(one_sided_area, false) {}

const PosTable& Exponential::table()
{
    static const PosTable unit = build(table_label{"the unit exponential", std::nan("")});
    return unit;
}
const char* Exponential::Name() const { return "Exponential"; }

double Exponential::Density(double x) const
{
    return x < 0.0 || x > 40.0 ? 0.0 : portable::exp(-x);
}

double Exponential::Mean() const { return 1.0; }
double Exponential::Variance() const { return 1.0; }

Gamma2::Gamma2(double alpha) : alpha_(alpha) {}

double Gamma2::log_gamma() const
{
    if (!log_gamma_known_) {
        log_gamma_alpha_ = portable::lgamma(alpha_);
        log_gamma_known_ = true;
    }
    return log_gamma_alpha_;
}

const AsymTable& Gamma2::table()
{
    table_cache<AsymTable>& cache = gamma2_tables();
    if (const AsymTable* t = cache.lookup(alpha_)) return *t;
    AsymTable& t = cache.claim(alpha_);
    const Gamma2* const gens[] = {this};
    AsymTable* const tables[] = {&t};
    lay_with_expected(gens, tables, 1, max_gamma_batch - 1);
    check_gamma_table(t, alpha_);
    cache.keep(t);
    return t;
}

const char* Gamma2::Name() const { return "Gamma2"; }
double Gamma2::Density(double x) const { return gamma_density(x, alpha_ - 1.0, log_gamma()); }
double Gamma2::Mean() const { return alpha_; }
double Gamma2::Variance() const { return alpha_; }

void draw_gammas(Gamma* const* g, int n, double* out)
{
    table_cache<AsymTable>& cache = gamma2_tables();
    Gamma2* two_sided[max_gamma_batch];
    const AsymTable* table[max_gamma_batch];   // of each two-sided draw
    bool laid_here[max_gamma_batch];           // the draw that first needs a table laid here
    const Gamma2* to_lay[max_gamma_batch];
    AsymTable* into[max_gamma_batch];
    int laying = 0, found = 0;
    // Every cached table is found before any is claimed: with no more tables in a batch than a
    // cache set has ways (tables laid ahead included), a claim then never takes a table the
    // batch needs.
    for (int i = 0; i < n; ++i) {
        two_sided[i] = dynamic_cast<Gamma2*>(&g[i]->generator());
        table[i] = nullptr;
        laid_here[i] = false;
        if (two_sided[i] == nullptr) continue;
        for (int e = 0; e < i && table[i] == nullptr; ++e)
            if (two_sided[e] != nullptr && two_sided[e]->shape() == two_sided[i]->shape()) table[i] = table[e];
        if (table[i] == nullptr && (table[i] = cache.lookup(two_sided[i]->shape())) != nullptr) ++found;
    }
    for (int i = 0; i < n; ++i) {
        if (two_sided[i] == nullptr || table[i] != nullptr) continue;
        AsymTable& t = cache.claim(two_sided[i]->shape());
        for (int e = i; e < n; ++e)
            if (two_sided[e] != nullptr && table[e] == nullptr && two_sided[e]->shape() == two_sided[i]->shape())
                table[e] = &t;
        laid_here[i] = true;
        to_lay[laying] = two_sided[i];
        into[laying++] = &t;
    }
    if (laying > 0) lay_with_expected(to_lay, into, laying, max_gamma_batch - laying - found);
    // Each laid table enters the cache, and a build error is thrown, when the draw that needs it
    // comes, as in g[0]->Next(), g[1]->Next(), ...
    for (int i = 0; i < n; ++i) {
        if (two_sided[i] == nullptr) {
            out[i] = g[i]->Next();
            continue;
        }
        if (laid_here[i]) {
            check_gamma_table(*table[i], two_sided[i]->shape());
            cache.keep(*table[i]);
        }
        out[i] = draw_two_sided(*table[i], *two_sided[i]);
    }
}

void expect_gamma_shapes(const double* shapes, int n)
{
    expected_shapes& queue = expected();
    for (int i = 0; i < n; ++i) {
        if (!Gamma::two_sided(shapes[i])) continue;
        if (queue.n == expected_shapes::capacity) {
            std::copy(queue.shape + 1, queue.shape + queue.n, queue.shape);
            --queue.n;
        }
        queue.shape[queue.n++] = shapes[i];
    }
}

bool Gamma::two_sided(double shape) { return shape > 1.0 && std::isfinite(shape); }

Gamma::choice Gamma::choose(double shape)
{
    if (!(shape > 0.0) || !std::isfinite(shape))
        throw run_error("gamma shape must be finite and positive, got " + format_number(shape));
    if (shape < 1.0)
        return choice(std::in_place_type<Gamma1>, shape);
    if (two_sided(shape))
        return choice(std::in_place_type<Gamma2>, shape);
    return choice(std::in_place_type<Exponential>);
}

Gamma::Gamma(double shape)
    : shape_(shape),
      chosen_(choose(shape)),
      active_(std::visit([](Random& g) { return &g; }, chosen_))
{
}

double Gamma::Next() { return active_->Next(); }
const char* Gamma::Name() const { return "Gamma"; }
double Gamma::Mean() const { return shape_; }
double Gamma::Variance() const { return shape_; }
Random& Gamma::generator() { return *active_; }

table_cache_counts gamma_table_cache_counts()
{
    return {gamma1_tables().hits + gamma2_tables().hits, gamma1_tables().misses + gamma2_tables().misses};
}
