#include "numeric/random.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <typeinfo>

#include "numeric/format.hpp"
#include "numeric/simd.hpp"
#include "state/error.hpp"

namespace {

constexpr int shift_size = 397;
constexpr std::uint32_t matrix_a = 0x9908b0dfU;
constexpr std::uint32_t upper_mask = 0x80000000U;
constexpr std::uint32_t lower_mask = 0x7fffffffU;

std::uint32_t twist(std::uint32_t upper, std::uint32_t lower, std::uint32_t far)
{
    const std::uint32_t y = (upper & upper_mask) | (lower & lower_mask);
    return far ^ (y >> 1) ^ ((y & 1U) ? matrix_a : 0U);
}

using words4 = std::uint32_t __attribute__((vector_size(16)));

// MT19937's tempering of a state word, per lane of W (one word or words4).
template <class W>
[[gnu::always_inline]] inline W tempered(W y)
{
    y ^= y >> 11;
    y ^= (y << 7) & 0x9d2c5680U;
    y ^= (y << 15) & 0xefc60000U;
    return y ^ (y >> 18);
}

constexpr double word_scale = 1.0 / 4294967296.0;

// The draw of a state word: (y + 1/2) 2^-32 for its tempered value y.
[[gnu::always_inline]] inline double uniform_of(std::uint32_t word)
{
    return (static_cast<double>(tempered(word)) + 0.5) * word_scale;
}

// The draws of the n state words w into out, four at a time: each tempered word widened into
// the low bits of 2^52, so that subtracting 2^52 gives it exactly as a double.
[[gnu::always_inline]] inline void tempered_uniforms(const std::uint32_t* w, double* out, std::size_t n)
{
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        words4 y;
        std::memcpy(&y, w + i, sizeof y);
        const ulanes4 wide = __builtin_convertvector(tempered(y), ulanes4);
        const vec4 u = ((from_bits(wide | 0x4330000000000000) - 0x1p52) + 0.5) * word_scale;
        std::memcpy(out + i, &u, sizeof u);
    }
    for (; i < n; ++i) out[i] = uniform_of(w[i]);
}

void tempered_uniforms_baseline(const std::uint32_t* w, double* out, std::size_t n) { tempered_uniforms(w, out, n); }
WIDE_LANES_TARGET void tempered_uniforms_wide(const std::uint32_t* w, double* out, std::size_t n)
{
    tempered_uniforms(w, out, n);
}

using words8 = std::uint32_t __attribute__((vector_size(32)));

// Twists the state words k in [from, to), each with its successor and the word at k + far, the
// lanes of W (words4 or words8) at a time: a step's words read no word written in the same step
// (their successors and the words 397 ahead are old, those 227 behind already new).
template <class W>
[[gnu::always_inline]] inline void twist_range(std::uint32_t* mt, int from, int to, int far)
{
    constexpr int lanes = sizeof(W) / sizeof(std::uint32_t);
    int k = from;
    for (; k + lanes <= to; k += lanes) {
        W upper, lower, f;
        std::memcpy(&upper, mt + k, sizeof upper);
        std::memcpy(&lower, mt + k + 1, sizeof lower);
        std::memcpy(&f, mt + k + far, sizeof f);
        const W y = (upper & upper_mask) | (lower & lower_mask);
        const W t = f ^ (y >> 1) ^ (-(y & 1U) & matrix_a);
        std::memcpy(mt + k, &t, sizeof t);
    }
    for (; k < to; ++k) mt[k] = twist(mt[k], mt[k + 1], mt[k + far]);
}

// One regeneration of the 624 state words.
template <class W>
[[gnu::always_inline]] inline void regenerate_words(std::uint32_t* mt)
{
    constexpr int n = 624, m = shift_size;
    twist_range<W>(mt, 0, n - m, m);
    twist_range<W>(mt, n - m, n - 1, m - n);
    mt[n - 1] = twist(mt[n - 1], mt[0], mt[m - 1]);
}

void regenerate_baseline(std::uint32_t* mt) { regenerate_words<words4>(mt); }
WIDE_LANES_TARGET void regenerate_wide(std::uint32_t* mt) { regenerate_words<words8>(mt); }

}  // namespace

void MT::init_state(std::uint32_t seed)
{
    mt_[0] = seed;
    for (int i = 1; i < state_size; ++i)
        mt_[i] = 1812433253U * (mt_[i - 1] ^ (mt_[i - 1] >> 30)) + static_cast<std::uint32_t>(i);
    mti_ = state_size;
}

void MT::regenerate()
{
    static_assert(state_size == 624);
    (wide_lanes_active() ? regenerate_wide : regenerate_baseline)(mt_);
    mti_ = 0;
}

[[gnu::always_inline]] inline double MT::next_uniform()
{
    if (mti_ >= state_size) {
        if (mti_ == never_seeded)
            init_state(5489U);
        regenerate();
    }
    return uniform_of(mt_[mti_++]);
}

thread_local Random* Random::RNG = nullptr;

double Random::Density(double) const { return 0.0; }
Random::~Random() = default;
double Random::Mean() const { return std::numeric_limits<double>::quiet_NaN(); }
double Random::Variance() const { return std::numeric_limits<double>::quiet_NaN(); }

void Random::Set(Random& g) { RNG = &g; }

double Random::base_draw()
{
    if (RNG == nullptr)
        throw run_error("random draw requested before a base generator was installed");
    return RNG->Next();
}

void Random::base_draws(double* out, std::size_t n)
{
    if (RNG != nullptr && typeid(*RNG) == typeid(MT)) {
        static_cast<MT&>(*RNG).next_uniforms(out, n);
        return;
    }
    for (std::size_t i = 0; i < n; ++i) out[i] = base_draw();
}

void MT::next_uniforms(double* out, std::size_t n)
{
    auto* const run = wide_lanes_active() ? tempered_uniforms_wide : tempered_uniforms_baseline;
    while (n > 0) {
        if (mti_ >= state_size) {
            if (mti_ == never_seeded)
                init_state(5489U);
            regenerate();
        }
        const std::size_t m = std::min(n, static_cast<std::size_t>(state_size - mti_));
        run(mt_ + mti_, out, m);
        mti_ += static_cast<int>(m);
        out += m;
        n -= m;
    }
}

MT::MT(double seed) { init_state(seed_word(seed)); }

MT::~MT()
{
    if (RNG == this)
        RNG = nullptr;
}

std::uint32_t MT::seed_word(double seed)
{
    const double t = seed * 4294967296.0;
    // 2^63: beyond it the conversion to a 64-bit integer is undefined.
    if (!(std::fabs(t) < 9223372036854775808.0))
        throw run_error("random seed must be a finite number in [0, 1], got " + format_number(seed));
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(t));
}

double MT::Next() { return next_uniform(); }
const char* MT::Name() const { return "MT"; }
double MT::Mean() const { return 0.5; }
double MT::Variance() const { return 1.0 / 12.0; }

void MT::reset_unseeded() { mti_ = never_seeded; }

double Uniform::Next() { return base_draw(); }
const char* Uniform::Name() const { return "Uniform"; }
double Uniform::Mean() const { return 0.5; }
double Uniform::Variance() const { return 1.0 / 12.0; }
