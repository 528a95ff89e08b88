#pragma once
// The text of a priors file (read back by input/priors_file.hpp).
#include <string>

#include "state/settings.hpp"

// The suffix of the priors file a run with -learn writes beside its results.
inline constexpr const char* priors_file_suffix = "_priors";

// The priors of `s` as the lines of a priors file, each value with 6 significant digits, after
// the comment lines of `about` (each line of it written after "# "). The geometry lines are
// written only when that factor is on.
std::string priors_text(const settings& s, const std::string& about);
