#pragma once
#include <cstddef>
#include <cstdint>

// The generator family. Every random number comes from the base generator installed in the
// drawing thread (`Random::RNG`), an MT19937 that holds its own state, so a fixed seed
// reproduces the whole draw sequence, and threads that analyse SNPs apart share nothing.
class Random {
public:
    Random() = default;
    Random(const Random&) = delete;
    Random& operator=(const Random&) = delete;

    // One draw.
    virtual double Next() = 0;
    // A constant text naming the generator.
    virtual const char* Name() const = 0;
    // The target density at x of the table-method generators (unnormalised is allowed);
    // 0 for the others.
    virtual double Density(double x) const;
    virtual ~Random();
    // Mean and variance of the distribution drawn; NaN where not defined.
    virtual double Mean() const;
    virtual double Variance() const;

    // Installs g as this thread's source of uniform numbers.
    static void Set(Random& g);
    // This thread's installed base generator; null before `Set` and after it is destroyed.
    static thread_local Random* RNG;
    // One draw of the installed base generator; throws run_error when none is installed.
    static double base_draw();
    // n draws of the installed base generator into out, in order: what n calls of base_draw
    // give (from the installed MT directly, without a call per draw).
    static void base_draws(double* out, std::size_t n);
};

// MT19937. Draws lie strictly inside (0, 1): (y + 0.5) * 2^-32 for the 32-bit output y, so
// never 0, 1 or 0.5.
class MT : public Random {
public:
    // Seeds the state from s (meant for s in [0, 1]): the low 32 bits of s * 2^32 truncated
    // toward zero. Throws run_error when s * 2^32 is not a finite number representable as a
    // 64-bit integer.
    explicit MT(double seed);
    ~MT() override;
    double Next() override;
    const char* Name() const override;
    double Mean() const override;
    double Variance() const override;

    // The 32-bit seed that `MT(seed)` uses.
    static std::uint32_t seed_word(double seed);
    // Returns the state to "never seeded"; the next draw then seeds it with 5489.
    void reset_unseeded();

private:
    friend class Random;   // the block draws of base_draws
    double next_uniform();
    // n draws into out: what n calls of next_uniform give, tempered four words at a time.
    void next_uniforms(double* out, std::size_t n);
    static constexpr int state_size = 624;
    static constexpr int never_seeded = state_size + 1;
    void init_state(std::uint32_t seed);
    void regenerate();
    std::uint32_t mt_[state_size];
    int mti_ = never_seeded;
};

// One uniform number on (0, 1) from the installed base generator.
class Uniform : public Random {
public:
    double Next() override;
    const char* Name() const override;
    double Mean() const override;
    double Variance() const override;
};
