#pragma once
// The step of the recommended mode (-learn) that comes before calling: the priors of the model
// learnt from a spread subset of the run's own SNPs.
#include <string>

#include "state/settings.hpp"

// The SNPs learnt from: every k-th SNP of the range, k the smallest power of two that keeps
// them below this many. Enough that each class's geometry is seen in a hundred fits or more,
// few enough that learning costs a small share of calling a chip, and held in memory at once.
constexpr int most_learning_snps = 256;

// Fits the learning subset (every SNP with labelled starts and a short final phase, each with
// the generator of -snp_seeds for its place in the file, on cfg.threads threads: the same
// priors for any number of threads), learns the priors from the fits (schedule/learning.hpp)
// and sets them in `cfg` exactly as the returned priors file text gives them, so that a run
// with that file (-priors) calls as this run does.
std::string learn_priors(settings& cfg);
