#pragma once
// The priors a priors file holds: the one list that its reader and its writer follow.
#include <string>
#include <vector>

#include "state/settings.hpp"

// One line of a priors file: its name and the settings it holds, in the order written.
struct prior_entry {
    std::string name;
    std::vector<double*> values;
    bool geometry;   // a line of the chip's model (the cluster geometry and the class densities'
                     // degrees of freedom), present only when that model is on
    int any_sign = 0;   // leading values that may be any finite number; the others are positive
};

// Every line of a priors file, pointing into `s`: the hyperprior pairs of every family (the
// option's name without its dash; the per-class correlation priors as _0, _1, _2), the
// allele-frequency spectrum (alpha_star_prior), the genotype proportions' concentration (pgd),
// the cluster geometry (share_0, share_1, share_2
// and het_brightness: median, scale below, scale above, degrees of freedom) and class_dof.
std::vector<prior_entry> prior_entries(settings& s);
