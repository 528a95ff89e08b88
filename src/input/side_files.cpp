#include "input/side_files.hpp"

#include <filesystem>
#include <iostream>
#include <ios>
#include <istream>
#include <streambuf>
#include <string_view>
#include <system_error>
#include <unordered_map>

#include "input/number_parse.hpp"
#include "input/tokens.hpp"
#include "state/error.hpp"

namespace input {

namespace {

std::string at(const std::string& name, long line)
{
    return name + ":" + std::to_string(line) + ": ";
}

// Lines of the side files are short (a SNP's key and frequency, or a few sex codes; every code
// of a million individuals on one line takes 2 MB): a longer line is refused rather than held.
constexpr std::size_t side_line_limit = std::size_t{16} << 20;

// std::getline with a bound on the length: `number` is the number of the line being read.
// False when nothing is left; a line longer than side_line_limit, or a read error, throws
// run_error naming the file and line.
bool read_line(std::istream& in, std::string& line, const std::string& name, long number, const char* kind)
{
    line.clear();
    std::streambuf& buffer = *in.rdbuf();
    bool extracted = false;
    try {
        for (int c = buffer.sbumpc(); c != std::char_traits<char>::eof(); c = buffer.sbumpc()) {
            extracted = true;
            if (c == '\n')
                return true;
            if (line.size() == side_line_limit)
                throw run_error(at(name, number) + "line " + std::to_string(number) + " is longer than " +
                                std::to_string(side_line_limit) + " bytes, the most a line of a " + kind + " may hold");
            line.push_back(static_cast<char>(c));
        }
    } catch (const std::ios_base::failure&) {
        throw run_error(at(name, number) + "read error in " + kind);
    }
    return extracted;
}

}  // namespace

std::ifstream open_input(const std::string& name, const std::string& kind)
{
    std::error_code ec;
    if (std::filesystem::is_directory(name, ec))
        throw run_error(name + ": cannot read " + kind + ": it is a directory");
    std::ifstream in(name, std::ios::in | std::ios::binary);
    if (!in)
        throw run_error(name + ": cannot open " + kind);
    return in;
}

std::vector<int> read_sex_codes(std::ifstream& in, const std::string& name, std::array<int, 3>& counts)
{
    counts = {0, 0, 0};
    std::vector<int> codes;
    std::string line;
    long line_number = 0;
    while (read_line(in, line, name, line_number + 1, "sex file")) {
        ++line_number;
        token_cursor cursor(line);
        std::string_view token;
        int field = 0;
        while (cursor.next(token)) {
            ++field;
            int code = -1;
            if (!parse_int(token, code) || code < 0 || code > 2)
                throw run_error(at(name, line_number) + "token " + std::to_string(field) + ": sex code " +
                                quoted(token) + " is not 0, 1 or 2");
            ++counts[static_cast<std::size_t>(code)];
            codes.push_back(code);
        }
    }
    return codes;
}

namespace {

// The individual-to-sex lines of a .fam or .psam: IID and sex code per line.
std::vector<int> sexes_by_id(std::ifstream& in, const std::string& name, const std::vector<std::string>& ids,
                             const std::string& cohort_file, bool psam, std::string line)
{
    std::vector<std::string_view> fields;
    const auto split = [&fields](std::string_view text) {
        fields.clear();
        token_cursor cursor(text);
        std::string_view token;
        while (cursor.next(token)) fields.push_back(token);
    };
    std::size_t iid = 1, sex = 4, width = 6;   // .fam: FID IID father mother sex phenotype
    long number = 1;
    if (psam) {
        split(std::string_view(line).substr(1));
        width = fields.size();
        iid = sex = width;
        for (std::size_t f = 0; f < width; ++f) {
            if (fields[f] == "IID") iid = f;
            if (fields[f] == "SEX") sex = f;
        }
        if (iid == width || sex == width)
            throw run_error(at(name, 1) + "the .psam header names no " + (iid == width ? "IID" : "SEX") + " column");
    }
    bool have = !psam || read_line(in, line, name, ++number, "sex file");   // `line` is line `number`
    std::vector<int> found;   // [individual] code, -1 until its line
    found.assign(ids.size(), -1);
    std::unordered_map<std::string_view, std::size_t> index;
    for (std::size_t i = 0; i < ids.size(); ++i) index.emplace(ids[i], i);
    for (; have; have = read_line(in, line, name, ++number, "sex file")) {
        split(line);
        if (fields.empty()) continue;
        if (fields.size() != width)
            throw run_error(at(name, number) + std::to_string(fields.size()) + " fields, expected " +
                            std::to_string(width) + " as in a PLINK " + (psam ? ".psam" : ".fam") + " file");
        const std::string_view code = fields[sex];
        int value = -1;
        if (code == "1" || (psam && (code == "M" || code == "m"))) value = 1;
        else if (code == "2" || (psam && (code == "F" || code == "f"))) value = 2;
        else if (code == "0" || (psam && (code == "NA" || code == "."))) value = 0;
        else
            throw run_error(at(name, number) + "sex " + quoted(code) + " of " + quoted(fields[iid]) + " is not 1, 2 or 0");
        const auto i = index.find(fields[iid]);
        if (i != index.end()) found[i->second] = value;
    }
    for (std::size_t i = 0; i < ids.size(); ++i)
        if (found[i] < 0)
            throw run_error(name + ": no line for individual " + ids[i] + " of " + cohort_file);
    return found;
}

}  // namespace

std::vector<int> read_cohort_sexes(const std::string& name, const std::vector<std::string>& ids,
                                   const std::string& cohort_file, std::array<int, 3>& counts)
{
    std::ifstream in = open_input(name, "sex file");
    std::string first;
    read_line(in, first, name, 1, "sex file");
    token_cursor cursor(first);
    std::string_view token;
    int n = 0, codes = 0;
    for (; cursor.next(token); ++n) codes += token == "0" || token == "1" || token == "2";
    std::vector<int> sexes;
    if (!first.empty() && first[0] == '#') {
        sexes = sexes_by_id(in, name, ids, cohort_file, true, first);
    } else if (n == 6 && codes < 6) {
        sexes = sexes_by_id(in, name, ids, cohort_file, false, first);
    } else {
        in = open_input(name, "sex file");
        sexes = read_sex_codes(in, name, counts);
        if (sexes.size() != ids.size())
            throw run_error(name + ": holds " + std::to_string(sexes.size()) + " sex codes but " + cohort_file + " has " +
                            std::to_string(ids.size()) + " individuals");
    }
    counts = {0, 0, 0};
    for (int c : sexes) ++counts[static_cast<std::size_t>(c)];
    return sexes;
}

snp_info_reader::snp_info_reader(const std::string& name)
    : name_(name), in_(open_input(name, "SNP information file"))
{
}

bool snp_info_reader::next_line()
{
    if (!read_line(in_, line_, name_, line_number_ + 1, "SNP information file"))
        return false;
    ++line_number_;
    return true;
}

void snp_info_reader::skip(int lines)
{
    for (int k = 0; k < lines; ++k)
        if (!next_line())
            throw run_error(at(name_, line_number_ + 1) + "the SNP information file ends after " +
                            std::to_string(line_number_) + " lines; " + std::to_string(lines + 1) +
                            " are needed to reach the first SNP of the range");
}

void snp_info_reader::next(const std::string& rs, double& prior)
{
    if (!next_line())
        throw run_error(at(name_, line_number_ + 1) + "the SNP information file ends after " +
                        std::to_string(line_number_) + " lines; a line for the next SNP is needed");
    token_cursor cursor(line_);
    std::string_view fields[5];
    for (int f = 0; f < 5; ++f)
        if (!cursor.next(fields[f]))
            throw run_error(at(name_, line_number_) + "expected at least 5 fields, found " + std::to_string(f));
    if (fields[0] != rs) {
        std::cout << "MISMATCH!!!!!" << std::endl << fields[0] << " " << rs << std::endl;
        throw run_error(at(name_, line_number_) + "field 1 " + input::quoted(fields[0]) + " is not " +
                        input::quoted(rs) + ", the rs of the SNP this line describes: the SNP information file "
                        "must have one line per SNP of the intensity files, in their order");
    }
    double value = 0;
    if (is_missing_marker(fields[4]))
        prior = -1;
    else if (parse_finite(fields[4], value) && value <= 1)
        prior = value < 0 ? -1 : value;
    else
        throw run_error(at(name_, line_number_) + "field 5: allele frequency " + quoted(fields[4]) +
                        " is neither a number in [0, 1], a negative number nor NA");
}

}  // namespace input
