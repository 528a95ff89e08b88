#include "output/priors_file.hpp"

#include <sstream>

#include "state/prior_entries.hpp"

std::string priors_text(const settings& s, const std::string& about)
{
    std::ostringstream out;
    std::istringstream comment(about);
    for (std::string line; std::getline(comment, line);) out << "# " << line << '\n';
    settings copy = s;
    out.precision(6);
    for (const prior_entry& e : prior_entries(copy)) {
        if (e.geometry && !s.geometry.active) continue;
        out << e.name;
        for (const double* v : e.values) out << ' ' << *v;
        out << '\n';
    }
    return out.str();
}
