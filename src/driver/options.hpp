#pragma once
#include <iosfwd>

class data;

// The command line is read in two passes: the input options before the files are read, the
// modelling and reporting options after. Names match exactly; the last occurrence wins.
bool help_requested(int argc, char** argv);
void print_usage(std::ostream& out);
double choose_seed(int argc, char** argv);
void parse_input_options(data& d, int argc, char** argv);
void parse_model_options(data& d, int argc, char** argv);
// Rejects settings that would make the run meaningless, before any input is read.
void check_settings(const data& d);
