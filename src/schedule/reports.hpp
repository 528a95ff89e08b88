#pragma once

class data;

// "Genotype counts (N) :" and one line of counts per cohort, each followed, when asked, by the
// allele frequency of the called genotypes.
void print_counts(const data& d, bool with_frequency);
