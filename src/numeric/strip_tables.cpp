#include "numeric/strip_tables.hpp"

#include <cmath>

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

table_cache<PosTable>& gamma1_tables()
{
    static table_cache<PosTable> cache;
    return cache;
}

table_cache<AsymTable>& gamma2_tables()
{
    static table_cache<AsymTable> cache;
    return cache;
}

double floored_exp(double e) { return e < log_density_floor ? 0.0 : portable::exp(e); }

}  // namespace

namespace {

// Lays strips of the given area outwards from x0, upwards (direction +1) or downwards (-1):
// edge i goes to sx[i], its density to sfx[i], from index `first` until the density is 0.
// Returns the index of that last edge; an index reaching `limit` throws.
int lay_strips(const Random& target, double x0, double area, double direction, double* sx, double* sfx,
               int first, int limit, table_label label)
{
    double x = x0;
    int i = first;
    for (;;) {
        const double f = target.Density(x);
        sx[i] = x;
        sfx[i] = f;
        if (f <= 0.0)
            return i;
        if (++i >= limit)
            too_large(label, limit);
        x = x + direction * area / f;
    }
}

}  // namespace

PosTable build_one_sided(const Random& target, double area, bool symmetric, table_label label)
{
    PosTable t;
    t.symmetric = symmetric;
    const int i = lay_strips(target, 0.0, area, 1.0, t.sx, t.sfx, 0, PosTable::capacity, label);
    check_enough(label, i, PosTable::min_strips);
    t.strips = i;
    t.xi = symmetric ? 2.0 * i : i;
    return t;
}

AsymTable build_two_sided(const Random& target, double mode, table_label label)
{
    AsymTable t;
    t.mode = mode;
    // Right side, outwards from the mode; the end point goes to the reserved slot because the
    // left side starts by overwriting it with the mode.
    const int i = lay_strips(target, mode, two_sided_area, 1.0, t.sx, t.sfx, 0, AsymTable::end_slot, label);
    t.last_right = i - 1;
    t.sx[AsymTable::end_slot] = t.sx[i];
    t.sfx[AsymTable::end_slot] = 0.0;
    const int j = lay_strips(target, mode, two_sided_area, -1.0, t.sx, t.sfx, i, AsymTable::end_slot, label);
    check_enough(label, j, AsymTable::min_strips);
    t.strips = j;
    t.xi = j;
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
        const int far = k == t.last_right ? AsymTable::end_slot : k + 1;
        const double x = t.sx[k] + u2 * (t.sx[far] - t.sx[k]);
        const double y = u3 * t.sfx[k];
        if (y < t.sfx[far] || y < target.Density(x))
            return x;
    }
}

PosGen::PosGen(double area, bool symmetric) : area_(area), symmetric_(symmetric) {}

PosTable PosGen::build(table_label label) const { return build_one_sided(*this, area_, symmetric_, label); }
double PosGen::Next() { return draw_one_sided(table(), *this); }
const char* PosGen::Name() const { return "PosGen"; }

SymGen::SymGen() : PosGen(symmetric_area, true) {}
const char* SymGen::Name() const { return "SymGen"; }

PosTable Normal::shared;
int Normal::count = 0;

Normal::Normal()
{
    if (count == 0)
        shared = build(table_label{"the standard normal", std::nan("")});
    ++count;
}

const PosTable& Normal::table() { return shared; }

Normal::~Normal() { --count; }
int Normal::live_count() { return count; }
const char* Normal::Name() const { return "Normal"; }

double Normal::Density(double x) const
{
    return std::fabs(x) > 8.0 ? 0.0 : 0.39894228 * portable::exp(-x * x / 2.0);
}

double Normal::Mean() const { return 0.0; }
double Normal::Variance() const { return 1.0; }

AsymGen::AsymGen(double mode) : mode_(mode) {}

AsymTable AsymGen::build(table_label label) const { return build_two_sided(*this, mode_, label); }
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
    return gamma1_tables().find(alpha_, [this] { return build(table_label{"gamma shape", alpha_}); });
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

Gamma2::Gamma2(double alpha)
    : AsymGen(alpha - 1.0), alpha_(alpha)
{
}

const AsymTable& Gamma2::table()
{
    return gamma2_tables().find(alpha_, [this] { return build(table_label{"gamma shape", alpha_}); });
}

const char* Gamma2::Name() const { return "Gamma2"; }

double Gamma2::Density(double x) const
{
    if (x <= 0.0)
        return 0.0;
    if (!log_gamma_known_) {
        log_gamma_alpha_ = portable::lgamma(alpha_);
        log_gamma_known_ = true;
    }
    return floored_exp((alpha_ - 1.0) * portable::log(x) - x - log_gamma_alpha_);
}

double Gamma2::Mean() const { return alpha_; }
double Gamma2::Variance() const { return alpha_; }

Gamma::choice Gamma::choose(double shape)
{
    if (!(shape > 0.0) || !std::isfinite(shape))
        throw run_error("gamma shape must be finite and positive, got " + format_number(shape));
    if (shape < 1.0)
        return choice(std::in_place_type<Gamma1>, shape);
    if (shape == 1.0)
        return choice(std::in_place_type<Exponential>);
    return choice(std::in_place_type<Gamma2>, shape);
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
