#pragma once
#include <vector>

// The exact test of Hardy-Weinberg equilibrium of Wigginton, Cornish and Abecasis (2005): given
// the allele counts of n genotypes, the probability of heterozygote counts no more probable than
// the observed one (a probability within a relative 1e-12 of the observed one counts as equal:
// ties reached along different paths of the recurrence). 1 for no genotype. `work` is scratch
// space, kept between calls so that a table of SNPs allocates once. Probabilities that underflow
// (far tails of thousands of genotypes, below about 1e-300) count as 0.
double hardy_weinberg_p(long long hom1, long long het, long long hom2, std::vector<double>& work);
