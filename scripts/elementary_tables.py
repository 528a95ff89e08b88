#!/usr/bin/python3
"""Prints the constants and tables of src/numeric/elementary.cpp, computed with 200-bit
arithmetic (Debian's python3-mpmath). Every value is the double nearest to the exact one, or
the exact one rounded to the stated number of bits where the code relies on exact products.
Run it and compare with the source after a change of method:

    scripts/elementary_tables.py > /tmp/tables.txt
"""
import struct

import mpmath as mp

mp.mp.prec = 200


def hexf(v):
    return float(v).hex()


def bits(d):
    return struct.unpack("<q", struct.pack("<d", d))[0]


def from_bits(i):
    return struct.unpack("<d", struct.pack("<q", i))[0]


def rounded_to(v, step):
    """v rounded to a multiple of step (a power of two), as an exact double."""
    return float(mp.nint(v / step) * step)


ln2 = mp.log(2)
print("// ln 2 as a multiple of 2^-42 (so e * ln2_hi is exact for |e| < 2^11) and the rest.")
ln2_hi = rounded_to(ln2, mp.mpf(2) ** -42)
print(f"constexpr double ln2_hi = {hexf(ln2_hi)}, ln2_lo = {hexf(ln2 - ln2_hi)};")

step = ln2 / 32
step_hi = rounded_to(step, mp.mpf(2) ** -42)
print("// exp: 32 / ln 2, and ln 2 / 32 as a multiple of 2^-42 (k * step_hi exact for |k| < 2^16) and the rest.")
print(f"constexpr double inv_step = {hexf(1 / step)};")
print(f"constexpr double step_hi = {hexf(step_hi)}, step_lo = {hexf(step - step_hi)};")
print("// 2^(j/32) = exp_table[j][0] + exp_table[j][1].")
print("const double exp_table[32][2] = {")
for j in range(32):
    v = mp.mpf(2) ** (mp.mpf(j) / 32)
    hi = float(v)
    print(f"    {{{hexf(hi)}, {hexf(v - hi)}}},")
print("};")

# log: the mantissa range [m0, 2 m0) split into 128 intervals of equal width in the bit
# pattern; interval 75 is centred on 1 so that arguments near 1 take c = 1 and no table term.
offset = 0x3FF0000000000000 - 75 * 2**45 - 2**44
print(f"constexpr std::uint64_t log_offset = {offset:#x};")
print("// Per interval: c (at most 10 significant bits, near 1 / the interval's centre), and")
print("// -ln c as a multiple of 2^-42 plus the rest.")
print("const double log_table[128][3] = {")
for i in range(128):
    lo = from_bits(offset + i * 2**45)
    hi = from_bits(offset + (i + 1) * 2**45)
    centre = (mp.mpf(lo) + mp.mpf(hi)) / 2
    c = mp.mpf(1) if lo <= 1.0 < hi else 1 / centre
    c = rounded_to(c, mp.mpf(2) ** -10 if c < 1 else mp.mpf(2) ** -9)
    minus_log = -mp.log(c)
    l_hi = rounded_to(minus_log, mp.mpf(2) ** -42)
    print(f"    {{{hexf(c)}, {hexf(l_hi)}, {hexf(minus_log - l_hi)}}},")
print("};")


def poly(name, f, n, comment):
    coefficients = mp.chebyfit(f, [-0.25, 0.25], n)   # highest power first
    print(f"// {comment}")
    print(f"const double {name}[{n + 1}] = {{")
    for k in range(0, n, 3):
        print("    " + ", ".join(hexf(c) for c in coefficients[k:k + 3]) + ",")
    print(f"    {hexf(coefficients[-1] - float(coefficients[-1]))},   // the rest of the constant term")
    print("};")


def lgamma_2_over_t(t):
    # lnGamma(2 + t) / t, by its series near 0 where the quotient loses digits.
    t = mp.mpf(t)
    if abs(t) < mp.mpf(2) ** -40:
        return 1 - mp.euler + sum((-1) ** k * (mp.zeta(k) - 1) / k * t ** (k - 1) for k in range(2, 8))
    return mp.loggamma(2 + t) / t


poly("lgamma_near_2", lgamma_2_over_t, 15, "lnGamma(2 + t) / t on [-1/4, 1/4], highest power first.")
poly("lgamma_near_1_5", lambda t: mp.loggamma(mp.mpf(1.5) + t), 18,
     "lnGamma(1.5 + t) on [-1/4, 1/4], highest power first.")

print("// Stirling series of lnGamma(x) - ((x - 1/2) ln x - x + ln(2 pi) / 2): B_2k / (2k (2k - 1)) x^(1 - 2k).")
print("const double stirling[10] = {")
terms = [mp.bernoulli(2 * k) / (2 * k * (2 * k - 1)) for k in range(1, 11)]
for k in range(0, 10, 3):
    print("    " + ", ".join(hexf(c) for c in terms[k:k + 3]) + ",")
print("};")
print(f"constexpr double half_log_2pi = {hexf(mp.log(2 * mp.pi) / 2)};")
