#include "input/priors_file.hpp"

#include <iterator>
#include <sstream>
#include <string_view>
#include <vector>

#include "input/number_parse.hpp"
#include "input/side_files.hpp"
#include "input/tokens.hpp"
#include "state/error.hpp"
#include "state/prior_entries.hpp"

namespace input {

namespace {

// A priors file has a few dozen short lines; anything much larger is not one.
constexpr std::size_t largest_priors_file = 1 << 16;

std::string at(const std::string& name, long line) { return name + ":" + std::to_string(line) + ": "; }

}  // namespace

void parse_priors(const std::string& text, const std::string& name, settings& s)
{
    settings read = s;
    std::vector<prior_entry> entries = prior_entries(read);
    std::vector<long> seen(entries.size(), 0);   // line of each entry, 0 while not seen
    std::istringstream in(text);
    std::string line;
    long number = 0;
    while (std::getline(in, line)) {
        ++number;
        token_cursor cursor(line);
        std::string_view token;
        if (!cursor.next(token) || token.front() == '#') continue;
        std::size_t e = 0;
        while (e < entries.size() && entries[e].name != token) ++e;
        if (e == entries.size())
            throw run_error(at(name, number) + "\"" + printable(token) + "\" is not the name of a prior");
        if (seen[e] != 0)
            throw run_error(at(name, number) + entries[e].name + " given twice (first on line " +
                            std::to_string(seen[e]) + ")");
        seen[e] = number;
        const prior_entry& entry = entries[e];
        std::vector<std::string_view> values;
        while (cursor.next(token)) values.push_back(token);
        if (values.size() != entry.values.size())
            throw run_error(at(name, number) + entry.name + " takes " + std::to_string(entry.values.size()) +
                            " values, found " + std::to_string(values.size()));
        for (std::size_t v = 0; v < values.size(); ++v) {
            double x = 0;
            const bool must_be_positive = static_cast<int>(v) >= entry.any_sign;
            if (!parse_finite(values[v], x) || (must_be_positive && !(x > 0)))
                throw run_error(at(name, number) + entry.name + " value " + std::to_string(v + 1) + ": \"" +
                                printable(values[v]) + "\" is not a " + (must_be_positive ? "positive " : "finite ") +
                                "number");
            *entry.values[v] = x;
        }
    }
    int geometry_lines = 0, geometry_entries = 0;
    for (std::size_t e = 0; e < entries.size(); ++e) {
        if (entries[e].geometry) {
            ++geometry_entries;
            geometry_lines += seen[e] != 0;
        } else if (seen[e] == 0) {
            throw run_error(name + ": no line for " + entries[e].name);
        }
    }
    if (geometry_lines != 0 && geometry_lines != geometry_entries)
        for (std::size_t e = 0; e < entries.size(); ++e)
            if (entries[e].geometry && seen[e] == 0)
                throw run_error(name + ": no line for " + entries[e].name +
                                " (the lines of the chip's model come all together or not at all)");
    read.geometry.active = geometry_lines != 0;
    if (!read.geometry.active) read.class_dof = 0;
    s = read;
}

void read_priors(const std::string& name, settings& s)
{
    std::ifstream in = open_input(name, "priors file");
    std::string text;
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > largest_priors_file)
            throw run_error(name + ": more than " + std::to_string(largest_priors_file) +
                            " bytes, too large for a priors file");
    }
    if (in.bad()) throw run_error(name + ": read error in priors file");
    parse_priors(text, name, s);
}

}  // namespace input
