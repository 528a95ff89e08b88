#pragma once
// The priors a priors file holds: the one list that its reader and its writer follow.
#include <string>
#include <vector>

#include "state/settings.hpp"

// One line of a priors file: its name and the settings it holds, in the order written.
struct prior_entry {
    std::string name;
    std::vector<double*> values;
    bool geometry;   // a line of the cluster geometry, present only when that factor is on
};

// Every line of a priors file, pointing into `s`: the hyperprior pairs of every family (the
// option's name without its dash; the per-class correlation priors as _0, _1, _2), the
// allele-frequency spectrum (alpha_star_prior) and the cluster geometry (share_0, share_1,
// share_2 and het_brightness: median, scale below, scale above).
std::vector<prior_entry> prior_entries(settings& s);
