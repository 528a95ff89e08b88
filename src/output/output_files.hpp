#pragma once
#include <ostream>

class data;

// Checks, before any input is read, that every result file of the run can be created: the call
// and sample files of every input cohort, "_params", "_information", "_tests" when the model test
// is on, the trace file "params" when it is requested, and the VCF and its index with -vcf. For
// each one its temporary name (final name + ".partial") is created in its folder and removed
// again; the final name is never touched.
// Throws run_error naming the file when its folder is missing or not writable, when the final
// name is a directory, or when the name is longer than the platform allows.
void check_output_files(const data& d);

// data::output_mcmc writes, after the call, parameter, information and tests files, the Oxford
// sample file PREFIX_<j>.sample of every call file ("ID_1 ID_2 missing", "0 0 0", then
// "ID ID 0" per individual in column order) and, with -vcf, the VCF (output/vcf_file.hpp).

// Writes one genotype call value: "1" above 0.999, "0" below 0.001, otherwise (thresholds
// included, and a value that is not a number) the value in fixed notation with 4 decimals. The
// fixed setting is left on the stream, so every later real number is written the same way.
void write_call_value(std::ostream& out, double v);
