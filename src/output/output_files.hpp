#pragma once
#include <ostream>
#include <string>
#include <vector>

class data;

// The trace of the log-posterior terms that "-print_params" asks for, in the working folder.
inline constexpr const char* trace_file_name = "params";

// The final names of every result file of the run, in the order they are written: the call
// files, the parameter, information and tests files, the sample files, the VCF and its index,
// and the trace file. Known from the settings alone, so that every file can be made before any
// input is read (output/result_set.hpp).
std::vector<std::string> result_file_names(const data& d);

// data::output_mcmc writes into the run's result set, after the call, parameter, information
// and tests files, the Oxford sample file PREFIX_<j>.sample of every call file ("ID_1 ID_2
// missing", "0 0 0", then "ID ID 0" per individual in column order) and, with -vcf, the VCF
// (output/vcf_file.hpp).

// Writes one genotype call value: "1" above 0.999, "0" below 0.001, otherwise (thresholds
// included, and a value that is not a number) the value in fixed notation with 4 decimals. The
// fixed setting is left on the stream, so every later real number is written the same way.
void write_call_value(std::ostream& out, double v);
