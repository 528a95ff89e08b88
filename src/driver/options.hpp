#pragma once
#include <iosfwd>

struct settings;

// The command line: options in any order, names matched exactly, the last occurrence winning.
// Every argument must be an option or one of its values, and every value must be the whole
// argument and fit its type; anything else throws run_error (status 2) naming it.
bool help_requested(int argc, char** argv);
void print_usage(std::ostream& out);
double choose_seed(int argc, char** argv);
void parse_command_line(settings& d, int argc, char** argv);
// Rejects settings that would make the run meaningless, before any input is read.
void check_settings(const settings& d);
