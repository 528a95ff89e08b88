#include "input/scale.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "state/error.hpp"

namespace input {

double median_sum(const std::vector<snp>& snps, std::size_t cohort)
{
    std::vector<double> sums;
    const std::size_t n = std::min(snps.size(), static_cast<std::size_t>(scale_check_snps));
    for (std::size_t s = 0; s < n; ++s)
        for (const xy& p : snps[s].points[cohort]) sums.push_back(p[0] + p[1]);
    if (sums.size() < static_cast<std::size_t>(scale_check_points)) return std::numeric_limits<double>::quiet_NaN();
    const auto middle = sums.begin() + static_cast<std::ptrdiff_t>(sums.size() / 2);
    std::nth_element(sums.begin(), middle, sums.end());
    return *middle;
}

void check_scale(const std::vector<snp>& snps, const std::vector<std::string>& files, double divisor)
{
    for (std::size_t j = 0; j < files.size(); ++j) {
        const double median = median_sum(snps, j);
        if (std::isnan(median) || (median >= lowest_median_sum && median <= highest_median_sum)) continue;
        std::ostringstream text;
        text.precision(4);
        const std::size_t read = std::min(snps.size(), static_cast<std::size_t>(scale_check_snps));
        text << files[j] << ": the median of x + y over the first " << read << (read == 1 ? " SNP" : " SNPs")
             << " is " << median;
        if (divisor != 1) {
            text.precision(10);
            text << " after -scale " << divisor;
            text.precision(4);
        }
        text << ", outside " << lowest_median_sum << " to " << highest_median_sum << " where the priors expect it";
        // The divisor that brings the median to the expected value, to two significant digits,
        // when it is one -scale allows.
        const double f = divisor * median / expected_median_sum;
        if (f >= lowest_divisor && f <= highest_divisor) {
            const int exponent = static_cast<int>(std::floor(std::log10(f)));
            const double unit = std::pow(10.0, exponent - 1);
            const int decimals = std::max(0, 1 - exponent);
            text << std::fixed;
            text.precision(decimals);
            text << "; divide the intensities by about " << std::round(f / unit) * unit << " with -scale "
                 << std::round(f / unit) * unit;
        } else if (median > 0) {
            text << "; no -scale from " << lowest_divisor << " to " << highest_divisor << " brings it to "
                 << expected_median_sum;
        } else {
            text << "; the intensities must be positive and on a linear scale";
        }
        throw run_error(text.str());
    }
}

}  // namespace input
