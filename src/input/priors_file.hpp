#pragma once
// The priors file: the priors a run learnt from its chip (-learn writes PREFIX_priors), read
// back with -priors so that a small batch, or every chunk of a workflow, is called with the
// priors of a large run of the same array.
#include <string>

#include "state/settings.hpp"

namespace input {

// Reads the priors of `s` from the text of a priors file: '#' starts a comment line, blank
// lines are skipped, and every other line is a name of state/prior_entries.hpp and its values,
// all finite and all but the geometry's medians positive. Every line of the list must come
// once, the lines of the chip's model (geometry and class_dof) all together or not at all
// (that model is then off: no geometry factor, normal class densities). Throws run_error naming `name` and the line.
void parse_priors(const std::string& text, const std::string& name, settings& s);

// Reads the priors file `name` into `s` as parse_priors does.
void read_priors(const std::string& name, settings& s);

}  // namespace input
