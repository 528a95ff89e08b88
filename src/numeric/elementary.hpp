#pragma once
// The program's own exp, log, pow and lnGamma. The C library chooses its code for these by
// processor, and the last bits differ between its paths, so results would depend on the
// machine. These use only +, -, *, / (correctly rounded in IEEE double arithmetic, evaluated as
// written under -ffp-contract=off), integer operations on the bit patterns and tables of
// constants, so every IEEE-754 machine gives the same bits.
//
// Methods (the tables and coefficients come from scripts/elementary_tables.py):
// - exp: x = (32 e + j) ln2/32 + r with |r| <= ln2/64 (ln2/32 split in two parts so that the
//   reduction is exact); exp(x) = 2^e 2^(j/32) (1 + p(r)), 2^(j/32) from a table as a head and
//   a tail, p the Taylor polynomial of degree 6 (truncation below 2^-58). The scaling is two
//   exact multiplications by powers of 2, so subnormal results are rounded once more.
// - log: x = 2^e m with m in [0.705, 1.41); an interval table gives c (10 bits) near 1/m and
//   -ln c; z = m c - 1 is formed exactly (|z| < 0.0045) and ln x = e ln2 - ln c + ln(1 + z),
//   with ln(1 + z) = z - z^2/2 (exact head) + Taylor terms to z^9, summed as a head and a tail
//   (relative error below 2^-66 before the final rounding).
// - pow(x, y) = exp(y ln x) with ln x as head and tail and y ln x formed exactly (Dekker's
//   product), so the error of y ln x adds less than 0.01 ulp.
// - lnGamma: polynomial fits (relative error below 2^-60) of lnGamma(2 + t)/t and
//   lnGamma(1.5 + t) on |t| <= 1/4 serve (0, 8) through lnGamma(x + 1) = lnGamma(x) + ln x
//   (the products of the recurrence kept exact as head and tail); the Stirling series with 10
//   terms from 8 on.
// Error bounds, checked on millions of arguments against higher precision by
// tests/numeric/elementary_test.cpp: exp, log and pow below 0.6 ulp (the rounding of the last
// operation and under 0.05 ulp of their own), 1 ulp for subnormal results; lnGamma below
// 1.2 ulp.
#include <cstdint>

#include "numeric/simd.hpp"

namespace portable {

// e^x: +inf above about 709.78, 0 below about -745.13, NaN for NaN.
double exp(double x);
// Natural logarithm: -inf at 0, NaN for negative x and NaN.
double log(double x);
// x^y for x >= 0 (the program raises no negative number): x^0 = 1^y = 1, 0^y = 0 for y > 0
// and +inf for y < 0; NaN for negative x and for NaN.
double pow(double x, double y);
// ln Gamma(x) for x > 0; +inf at 0 and +inf, NaN for negative x (no caller passes one).
double lgamma(double x);

namespace detail {
extern const double exp_table[32][2];
extern const double log_table[128][3];
constexpr double exp_shifter = 0x1.8p52;   // adding it rounds to an integer in the low bits
constexpr double exp_inv_step = 0x1.71547652b82fep+5;   // 32 / ln 2
constexpr double exp_step_hi = 0x1.62e42fefa0000p-6, exp_step_lo = 0x1.cf79abc9e3b3ap-45;
constexpr double ln2_hi = 0x1.62e42fefa3800p-1, ln2_lo = 0x1.ef35793c76730p-45;
constexpr std::uint64_t log_offset = 0x3fe6900000000000;

// ln x = head + tail + ln(1 + z_hi + z_lo) for positive finite x, normal or subnormal: head
// and tail are e ln2 - ln c, head a multiple of 2^-42 and exact, |z_hi + z_lo| < 0.0045 exactly.
template <class T>
struct log_reduction {
    T head, tail, z_hi, z_lo;
};

template <class T, class Loads = element_loads>
[[gnu::always_inline]] inline log_reduction<T> reduce_for_log(T x)
{
    // Subnormal x is scaled exactly into the normal range.
    const auto subnormal = x < 0x1p-1022;
    const auto ix = pick(subnormal, bits_of(x * 0x1p52), bits_of(x));
    // tmp = ix - log_offset + 2^62, so that the exponent e + 1024 is a logical shift away.
    const auto tmp = ix - (log_offset - 0x4000000000000000);
    const auto i3 = ((tmp >> 45) & 127) * 3;
    const T e = (from_bits((tmp >> 52) | 0x4330000000000000) - (0x1p52 + 1024)) -
                pick(subnormal, splat<T>(52), splat<T>(0));
    const T m = from_bits(ix - ((tmp >> 52) << 52) + 0x4000000000000000);
    const T c = Loads::at(&log_table[0][0], i3);
    // m_hi has 43 bits and c 10, so both products are exact, and m_hi c lies within 1% of 1.
    const T m_hi = from_bits(bits_of(m) & ~std::uint64_t{0x3ff});
    // e ln2_hi and the table head are multiples of 2^-42 below 2^10: their sum is exact. When
    // it is not 0 it exceeds |z|.
    return {e * ln2_hi + Loads::at(&log_table[0][0], i3 + 1), e * ln2_lo + Loads::at(&log_table[0][0], i3 + 2),
            m_hi * c - 1.0, (m - m_hi) * c};
}
}  // namespace detail

// e^(x + tail), |tail| below 2^-30, per lane of T (double or vec4): the one exp of the program,
// inline so that the per-point loops run it in vector lanes; Loads reads the tables.
template <class T, class Loads = element_loads>
[[gnu::always_inline]] inline T exp_lanes(T x, T tail)
{
    using namespace detail;
    // Outside [-746, 710] the result is 0 or infinity whatever the reduction; clamping keeps
    // the exponent arithmetic in range. NaN passes through.
    x = pick(x < -746.0, splat<T>(-746.0), x);
    x = pick(x > 710.0, splat<T>(710.0), x);
    const T z = x * exp_inv_step + exp_shifter;
    const T kd = z - exp_shifter;
    const T r = ((x - kd * exp_step_hi) - kd * exp_step_lo) + tail;
    // The low 52 bits of z hold 2^51 + k; k = 32 e + j.
    const auto k = bits_of(z) & 0xfffffffffffff;
    const auto j2 = (k & 31) * 2;
    const T t_hi = Loads::at(&exp_table[0][0], j2), t_lo = Loads::at(&exp_table[0][0], j2 + 1);
    const T p = r + r * r * (0.5 + r * (1.0 / 6 + r * (1.0 / 24 + r * (1.0 / 120 + r * (1.0 / 720)))));
    const T y = t_hi + (t_hi * p + t_lo);
    // 2^e as 2^floor(e/2) 2^ceil(e/2), both normal: exact scaling unless the result is not.
    const auto e = k >> 5;        // e + 2^46
    const auto e1 = e >> 1;       // floor(e/2) + 2^45
    const auto e2 = e - e1;       // ceil(e/2) + 2^45
    const std::uint64_t bias = 1023 - (std::uint64_t{1} << 45);
    return (y * from_bits(((e1 + bias) & 0x7ff) << 52)) * from_bits(((e2 + bias) & 0x7ff) << 52);
}

// ln x for positive finite x per lane of T: head + z exactly as s + t + z.lo, ln(1 + z) - z
// from the rounded z, whose error there is below 2^-68.
template <class T, class Loads = element_loads>
[[gnu::always_inline]] inline T log_lanes(T x)
{
    const detail::log_reduction<T> r = detail::reduce_for_log<T, Loads>(x);
    const T zh = r.z_hi + r.z_lo;
    const T bb = zh - r.z_hi;
    const T zl = (r.z_hi - (zh - bb)) + (r.z_lo - bb);
    const T s = r.head + zh;
    const T t = (r.head - s) + zh;
    const T rest = zh * zh *
        (-0.5 + zh * (1.0 / 3 - zh * (1.0 / 4 - zh * (1.0 / 5 - zh * (1.0 / 6 - zh * (1.0 / 7 - zh * (1.0 / 8)))))));
    return s + (t + (zl + (rest + r.tail)));
}

}  // namespace portable
