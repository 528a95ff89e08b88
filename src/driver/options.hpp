#pragma once
#include <iosfwd>
#include <vector>

struct settings;

// The command line: options in any order, names matched exactly, the last occurrence winning.
// Every argument must be an option or one of its values, and every value must be the whole
// argument and fit its type; anything else throws run_error (status 2) naming it.
bool help_requested(int argc, char** argv);
bool version_requested(int argc, char** argv);

// Every option with its help text ("VALUES  meaning (default ...)", or the meaning alone), in
// the sections -h lists them in; the manual page is written from the same list.
struct option_help {
    const char* name;
    const char* help;
};
struct option_section {
    const char* title;
    std::vector<option_help> options;
};
std::vector<option_section> option_sections();
void print_usage(std::ostream& out);
double choose_seed(int argc, char** argv);
// Also records the command line in d.command_line: "tarvix++" and every argument, control
// characters escaped and quoted for the shell where needed.
void parse_command_line(settings& d, int argc, char** argv);
// Rejects settings that would make the run meaningless, before any input is read.
void check_settings(const settings& d);
