#pragma once
#include <ostream>

class data;

// Checks, before any input is read, that every result file of the run can be created: the call
// file of every input cohort, "_params", "_information", "_tests" when the model test is on, and
// the trace file "params" when it is requested. For each one its temporary name (final name +
// ".partial") is created in its folder and removed again; the final name is never touched.
// Throws run_error naming the file when its folder is missing or not writable, when the final
// name is a directory, or when the name is longer than the platform allows.
void check_output_files(const data& d);

// Writes one genotype call value: "1" above 0.999, "0" below 0.001, otherwise (thresholds
// included, and a value that is not a number) the value in fixed notation with 4 decimals. The
// fixed setting is left on the stream, so every later real number is written the same way.
void write_call_value(std::ostream& out, double v);
