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
// Points nearer the origin than this share of the SNP's median distance are failed samples:
// their angle is noise that pulls group means and can form a group of its own. Failed samples
// lie at about a tenth of a normal SNP's median distance and a third of a dim one's; genotype
// clusters of one SNP lie within a factor of about two of each other. Over simulated sets of 100
// to 5000 individuals 0.4 leaves out all failed samples of normal SNPs and 84% of those of dim
// ones, and 0.06% of the genotyped points of the widest SNPs (0.5: 98%, but 0.18%).
constexpr double failed_radius_share = 0.4;
// Two neighbouring angle groups are taken for distinct clusters only when their mean angles
// differ by at least this many times the sum of their standard deviations. One normal cluster
// cut in two gives halves about 1.3 apart by this measure; genotype clusters of a usable SNP are
// 3 or more apart. Over the same sets, 2 takes three groups for 95-100% of the SNPs with three
// classes of at least 5 members, two groups for all SNPs with two, and three groups for none of
// the SNPs with only two classes beyond 100 individuals (5% at 100).
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

// The plausible labellings of the current SNP's points for the most groups (3, 2 or 1) whose
// neighbours are all well apart. Uses the shape parameters and means of every cohort as scratch
// space: a start sets them all again.
std::vector<labelled_start> labelled_starts(data& d);

}  // namespace labels
