#pragma once
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "numeric/random.hpp"

// Kolmogorov-Smirnov statistic of a sample against a continuous distribution function.
// Equal values count as one step of the empirical function, compared below the step with the
// distribution function one ulp lower: draws that rounding has merged into one double (Beta
// draws within an ulp of 1) are then judged by the mass of their rounding interval.
inline double ks_statistic(std::vector<double> sample, const std::function<double(double)>& cdf)
{
    std::sort(sample.begin(), sample.end());
    const double n = static_cast<double>(sample.size());
    double d = 0.0;
    for (std::size_t i = 0; i < sample.size();) {
        std::size_t j = i;
        while (j < sample.size() && sample[j] == sample[i])
            ++j;
        const double below = j - i > 1 ? cdf(std::nextafter(sample[i], -INFINITY)) : cdf(sample[i]);
        d = std::max({d, j / n - cdf(sample[i]), below - i / n});
        i = j;
    }
    return d;
}

// Critical value of the statistic at significance 0.001 for large samples.
inline double ks_critical(std::size_t n) { return 1.95 / std::sqrt(static_cast<double>(n)); }

// n draws of a generator.
inline std::vector<double> draws(const std::function<double()>& draw, int n)
{
    std::vector<double> out(n);
    for (double& v : out)
        v = draw();
    return out;
}

// A base generator that returns a fixed script of uniform numbers, so that the order and use
// of every base draw can be checked. Installed while it lives.
class scripted_base : public Random {
public:
    explicit scripted_base(std::vector<double> script) : script_(std::move(script)) { Random::Set(*this); }
    ~scripted_base() override
    {
        if (Random::RNG == this)
            Random::RNG = nullptr;
    }
    double Next() override
    {
        if (used_ >= script_.size())
            throw std::logic_error("script of base draws exhausted");
        return script_[used_++];
    }
    const char* Name() const override { return "scripted"; }
    std::size_t used() const { return used_; }

private:
    std::vector<double> script_;
    std::size_t used_ = 0;
};
