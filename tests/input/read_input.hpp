#pragma once
// The input of a run read as the program reads it: the cohort description, then every SNP of
// the range.
#include <vector>

#include "input/snp_reader.hpp"
#include "state/settings.hpp"

struct input_run {
    settings cfg;
    cohort_description cohorts;
    std::vector<snp> snps;
    // Reads everything; throws run_error like the program, the SNP it failed on kept last.
    void read()
    {
        input::snp_reader reader(cfg);
        cohorts = reader.cohorts();
        snps.clear();
        int number = 0;
        for (snps.emplace_back(); reader.next(snps.back(), number); snps.emplace_back()) {
        }
        snps.pop_back();
    }
};
