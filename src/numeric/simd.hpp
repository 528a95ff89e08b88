#pragma once
// Four (or two) doubles as one value (GCC vector extensions), for the per-point loops and the
// strip tables. Every operation acts on each lane exactly as the same operation on a double
// does (IEEE arithmetic, no contraction: -ffp-contract=off), so code written once for `double`
// and a vector gives the same bits in every lane as the scalar code. The x86-64 baseline does
// a vec4 operation as two SSE2 operations; a kernel also compiled with WIDE_LANES_TARGET runs
// as AVX2 (never FMA) when `wide_lanes_active` says the processor and the C library allow it.
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && defined(__GLIBC__) && !defined(__clang__)
#include <sys/platform/x86.h>
#endif

// Every function that takes or gives a vector is always inlined, so vectors never cross a
// compiled interface: a baseline copy and an AVX2 copy would pass them differently. (GCC's note
// on how such parameters are passed is therefore off, -Wno-psabi in CMakeLists.txt; a pragma
// here cannot silence it.)

using vec4 = double __attribute__((vector_size(32)));
// Lane masks of vec4 comparisons (all bits set: true), and unsigned integer lanes.
using lanes4 = std::int64_t __attribute__((vector_size(32)));
using ulanes4 = std::uint64_t __attribute__((vector_size(32)));
// Two doubles as one value: one SSE2 operation.
using vec2 = double __attribute__((vector_size(16)));
using lanes2 = std::int64_t __attribute__((vector_size(16)));
using ulanes2 = std::uint64_t __attribute__((vector_size(16)));

[[gnu::always_inline]] inline std::uint64_t bits_of(double x)
{
    std::uint64_t i;
    std::memcpy(&i, &x, sizeof i);
    return i;
}
[[gnu::always_inline]] inline ulanes4 bits_of(vec4 x)
{
    ulanes4 i;
    std::memcpy(&i, &x, sizeof i);
    return i;
}
[[gnu::always_inline]] inline ulanes2 bits_of(vec2 x)
{
    ulanes2 i;
    std::memcpy(&i, &x, sizeof i);
    return i;
}
[[gnu::always_inline]] inline double from_bits(std::uint64_t i)
{
    double x;
    std::memcpy(&x, &i, sizeof x);
    return x;
}
[[gnu::always_inline]] inline vec4 from_bits(ulanes4 i)
{
    vec4 x;
    std::memcpy(&x, &i, sizeof x);
    return x;
}
[[gnu::always_inline]] inline vec2 from_bits(ulanes2 i)
{
    vec2 x;
    std::memcpy(&x, &i, sizeof x);
    return x;
}

// a where the mask (or condition) holds, else b.
[[gnu::always_inline]] inline double pick(bool m, double a, double b) { return m ? a : b; }
[[gnu::always_inline]] inline vec4 pick(lanes4 m, vec4 a, vec4 b) { return m ? a : b; }
[[gnu::always_inline]] inline std::uint64_t pick(bool m, std::uint64_t a, std::uint64_t b)
{
    return m ? a : b;
}
[[gnu::always_inline]] inline ulanes4 pick(lanes4 m, ulanes4 a, ulanes4 b) { return m ? a : b; }
[[gnu::always_inline]] inline vec2 pick(lanes2 m, vec2 a, vec2 b) { return m ? a : b; }
[[gnu::always_inline]] inline ulanes2 pick(lanes2 m, ulanes2 a, ulanes2 b) { return m ? a : b; }

// Whether the condition holds in every lane, in some lane.
[[gnu::always_inline]] inline bool all_of(bool m) { return m; }
// (The halves are combined first, one vector operation, then the two lanes left.)
[[gnu::always_inline]] inline bool any_of(lanes2 m) { return (m[0] | m[1]) != 0; }
[[gnu::always_inline]] inline bool all_of(lanes4 m)
{
    const lanes2 h = __builtin_shufflevector(m, m, 0, 1) & __builtin_shufflevector(m, m, 2, 3);
    return (h[0] & h[1]) != 0;
}
[[gnu::always_inline]] inline bool any_of(lanes4 m)
{
    return any_of(__builtin_shufflevector(m, m, 0, 1) | __builtin_shufflevector(m, m, 2, 3));
}

// Entry i (per lane) of a table.
[[gnu::always_inline]] inline double table_at(const double* t, std::uint64_t i) { return t[i]; }
[[gnu::always_inline]] inline vec4 table_at(const double* t, ulanes4 i)
{
    return vec4{t[i[0]], t[i[1]], t[i[2]], t[i[3]]};
}
[[gnu::always_inline]] inline vec2 table_at(const double* t, ulanes2 i) { return vec2{t[i[0]], t[i[1]]}; }
// How a kernel reads table entries per lane: one element at a time (any processor), or with
// AVX2 gathers, one instruction a vector (only in kernels compiled with WIDE_LANES_TARGET). Both
// give the same values. The tables read are constants, so the gathers need no memory operand.
struct element_loads {
    template <class I>
    [[gnu::always_inline]] static auto at(const double* t, I i)
    {
        return table_at(t, i);
    }
};
// clang checks the ymm operand of the gather before it knows the kernel's target, so its builds
// (the fuzzers) read one element at a time.
#if defined(__x86_64__) && !defined(__clang__)
struct gathered_loads {
    [[gnu::always_inline]] static double at(const double* t, std::uint64_t i) { return t[i]; }
    [[gnu::always_inline]] static vec4 at(const double* t, ulanes4 i)
    {
        vec4 r;
        lanes4 all = lanes4{} - 1;
        asm("vgatherqpd %[all], (%[t], %[i], 8), %[r]" : [r] "=&x"(r), [all] "+x"(all) : [t] "r"(t), [i] "x"(i));
        return r;
    }
    [[gnu::always_inline]] static vec2 at(const double* t, ulanes2 i)
    {
        vec2 r;
        lanes2 all = lanes2{} - 1;
        asm("vgatherqpd %[all], (%[t], %[i], 8), %[r]" : [r] "=&x"(r), [all] "+x"(all) : [t] "r"(t), [i] "x"(i));
        return r;
    }
};
#else
using gathered_loads = element_loads;
#endif

// The value v in every lane of T.
template <class T>
[[gnu::always_inline]] inline T splat(double v)
{
    return T{} + v;
}

#if defined(__x86_64__) && defined(__GLIBC__) && !defined(__clang__)
#define WIDE_LANES_TARGET __attribute__((target("avx2")))
// AVX2 is there and not switched off (GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2 switches it off
// for the C library and for this program alike).
[[gnu::always_inline]] inline bool wide_lanes_active()
{
    static const bool active = CPU_FEATURE_ACTIVE(AVX2);
    return active;
}
#elif defined(__x86_64__)
// clang (the fuzz builds) cannot read the C library's header; it asks the processor alone.
#define WIDE_LANES_TARGET __attribute__((target("avx2")))
[[gnu::always_inline]] inline bool wide_lanes_active()
{
    static const bool active = __builtin_cpu_supports("avx2");
    return active;
}
#else
#define WIDE_LANES_TARGET
[[gnu::always_inline]] inline bool wide_lanes_active() { return false; }
#endif
