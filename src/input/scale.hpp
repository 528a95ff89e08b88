#pragma once
// The scale of the intensities: the user's divisor ("-scale F") and the check that the data lie
// on the scale the priors assume.
#include <string>
#include <vector>

#include "state/records.hpp"

namespace input {

// The priors put the cluster centre near (0.7, 0.7) and the homozygotes about 1 apart, so data
// on their scale have a median x + y of about 1.2 (normalised Illumina intensities: 1 to 2).
// Simulated data keep their call rate and concordance from half that scale to 5 times it; at
// 0.3 times concordance falls to 95%, at 7 times the call rate to 80% and at 2000 times to 63%,
// with nothing said (bench/scale.sh). Outside 0.4 to 6 the run stops rather than call badly.
// Failed samples near the origin pull the median down only when they are most of a cohort.
constexpr double expected_median_sum = 1.2;
constexpr double lowest_median_sum = 0.4, highest_median_sum = 6;
// The check reads the first SNPs of the range: enough points for a stable median, few enough
// that a chip whose probes differ in brightness along the file is judged by a handful of them.
constexpr int scale_check_snps = 50;
// Fewer points than this tell too little to stop a run.
constexpr int scale_check_points = 20;
// The -scale divisors allowed: far beyond any array's units, and near 1e-310 every intensity
// divided by it would be infinite.
constexpr double lowest_divisor = 1e-9, highest_divisor = 1e9;

// The median of x + y over the points of input cohort `cohort` in the first scale_check_snps
// SNPs; NaN when they hold fewer than scale_check_points points.
double median_sum(const std::vector<snp>& snps, std::size_t cohort);

// Throws a run_error naming the cohort's file when its median x + y lies outside the range the
// priors assume; `divisor` is the -scale value in force, used to suggest a better one.
void check_scale(const std::vector<snp>& snps, const std::vector<std::string>& files, double divisor);

}  // namespace input
