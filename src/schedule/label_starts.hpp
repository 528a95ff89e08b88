#pragma once
// The labelling-hypothesis starts ("-label_starts"): deterministic starting means for every
// plausible way of naming the clusters that the points' polar angles show.
#include <cstddef>
#include <string>
#include <vector>

#include "state/records.hpp"

class data;

namespace labels {

// The thresholds of the stage, each with its reason; measured by bench/labelling.sh.
//
// Points nearer the origin than this share of the median distance are failed samples: their
// angle is noise, yet a few of them can pull a group boundary. Genuine clusters of one SNP lie
// within a factor of about two of each other in brightness, failed samples at a tenth or less.
constexpr double failed_radius_share = 0.25;
// Two neighbouring angle groups are taken for distinct clusters only when their mean angles
// differ by at least this many times the sum of their standard deviations. Cutting one normal
// cluster in two gives halves about 1.3 apart by this measure; genotype clusters of a usable SNP
// are 3 or more apart. Below it the groups are one cluster cut in two, and the labelling that
// treats them as two classes would seed a wrong mode.
constexpr double min_separation = 2.0;

// The polar angle of a point in quarter turns: 0 on the first axis (genotype 0), 1 on the second.
double angle_of(const xy& p);

// The partition of ascending values into k contiguous groups with the least within-group sum of
// squares, as the first index of each group (k entries, the first 0). Exact and deterministic:
// each layer of the dynamic programme is filled by divide and conquer over its monotone optimal
// cuts, O(k n log n). Precondition: 1 <= k <= number of values.
std::vector<std::size_t> optimal_groups(const std::vector<double>& ascending, int k);

struct labelled_start {
    std::string description;            // the groups and the classes given to them
    std::vector<class_means> means;     // [cohort] starting class means
};

// The plausible labellings of the current SNP's points, in the order k = 3, 2, 1 groups. Uses the
// shape parameters and means of every cohort as scratch space: a start sets them all again.
std::vector<labelled_start> labelled_starts(data& d);

}  // namespace labels
