#include "input/side_files.hpp"

#include <cctype>
#include <filesystem>
#include <iostream>
#include <ios>
#include <istream>
#include <streambuf>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

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

namespace {

// How a sex file is read, and how its messages say so.
enum class sex_file_kind { codes, fam, psam };

const char* kind_text(sex_file_kind kind)
{
    switch (kind) {
    case sex_file_kind::fam: return "read as a PLINK .fam file";
    case sex_file_kind::psam: return "read as a PLINK .psam file";
    default: return "read as sex codes in column order; a PLINK .fam or .psam is told by its name";
    }
}

bool ends_with_ignoring_case(const std::string& name, std::string_view end)
{
    if (name.size() < end.size()) return false;
    for (std::size_t i = 0; i < end.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(name[name.size() - end.size() + i])) != end[i]) return false;
    return true;
}

bool is_sex_code(std::string_view token) { return token == "0" || token == "1" || token == "2"; }

// The kind of a sex file: by its name's extension, .fam or .psam in any case; otherwise by its
// content, a first line starting with '#' being a .psam header, and six fields on every line,
// not all of them 0, 1 or 2, a .fam. Any other content is sex codes, and so is a .fam whose
// every field is 0, 1 or 2: only its name tells it apart.
sex_file_kind kind_of(const std::string& name)
{
    if (ends_with_ignoring_case(name, ".fam")) return sex_file_kind::fam;
    if (ends_with_ignoring_case(name, ".psam")) return sex_file_kind::psam;
    std::ifstream in = open_input(name, "sex file");
    std::string line;
    bool fields_of_fam = false, other_than_codes = false;
    for (long number = 1; read_line(in, line, name, number, "sex file"); ++number) {
        if (number == 1 && !line.empty() && line[0] == '#') return sex_file_kind::psam;
        token_cursor cursor(line);
        std::string_view token;
        int fields = 0;
        for (; cursor.next(token); ++fields) other_than_codes = other_than_codes || !is_sex_code(token);
        if (fields == 0) continue;
        if (fields != 6) return sex_file_kind::codes;
        fields_of_fam = true;
    }
    return fields_of_fam && other_than_codes ? sex_file_kind::fam : sex_file_kind::codes;
}

// Every sex code of the file in file order, with any layout of whitespace, one per individual
// of the cohort.
std::vector<int> sexes_in_column_order(std::ifstream& in, const std::string& name, std::size_t individuals,
                                       const std::string& cohort_file)
{
    const char* kind = kind_text(sex_file_kind::codes);
    std::vector<int> codes;
    std::string line;
    for (long number = 1; read_line(in, line, name, number, "sex file"); ++number) {
        token_cursor cursor(line);
        std::string_view token;
        for (int field = 1; cursor.next(token); ++field) {
            int code = -1;
            if (!parse_int(token, code) || code < 0 || code > 2)
                throw run_error(at(name, number) + "token " + std::to_string(field) + ": sex code " + quoted(token) +
                                " is not 0, 1 or 2 (" + kind + ")");
            codes.push_back(code);
        }
    }
    if (codes.size() != individuals)
        throw run_error(name + ": holds " + std::to_string(codes.size()) + " sex codes but " + cohort_file + " has " +
                        std::to_string(individuals) + " individuals (" + kind + ")");
    return codes;
}

// The individual-to-sex lines of a .fam or .psam: IID and sex code per line. Every column of
// the cohort with an IID takes that IID's sex; an IID given twice must have one sex.
std::vector<int> sexes_by_id(std::ifstream& in, const std::string& name, const std::vector<std::string>& ids,
                             const std::string& cohort_file, bool psam)
{
    const char* kind = kind_text(psam ? sex_file_kind::psam : sex_file_kind::fam);
    std::vector<std::string_view> fields;
    const auto split = [&fields](std::string_view text) {
        fields.clear();
        token_cursor cursor(text);
        std::string_view token;
        while (cursor.next(token)) fields.push_back(token);
    };
    // .fam, and .psam without a header line: FID IID father mother sex phenotype
    std::size_t iid = 1, sex = 4, width = 6;
    std::string line;
    long number = 1;
    bool have = read_line(in, line, name, number, "sex file");   // `line` is line `number`
    if (psam && have && !line.empty() && line[0] == '#') {
        split(std::string_view(line).substr(1));
        width = fields.size();
        iid = sex = width;
        for (std::size_t f = 0; f < width; ++f) {
            if (fields[f] == "IID") iid = f;
            if (fields[f] == "SEX") sex = f;
        }
        if (iid == width || sex == width)
            throw run_error(at(name, 1) + "the .psam header names no " + (iid == width ? "IID" : "SEX") + " column (" +
                            kind + ")");
        have = read_line(in, line, name, ++number, "sex file");
    }
    std::vector<int> found(ids.size(), -1);     // [individual] code, -1 until its line
    std::vector<long> found_on(ids.size(), 0);  // [individual] the line of its code
    std::unordered_map<std::string_view, std::vector<std::size_t>> columns;   // IID: its individuals
    for (std::size_t i = 0; i < ids.size(); ++i) columns[ids[i]].push_back(i);
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
            throw run_error(at(name, number) + "sex " + quoted(code) + " of " + quoted(fields[iid]) +
                            " is not 1, 2 or 0 (" + kind + ")");
        const auto i = columns.find(fields[iid]);
        if (i == columns.end()) continue;
        const std::size_t first = i->second.front();
        if (found[first] >= 0 && found[first] != value)
            throw run_error(at(name, number) + "individual " + quoted(fields[iid]) + " is listed again, with sex " +
                            std::to_string(value) + " after sex " + std::to_string(found[first]) + " on line " +
                            std::to_string(found_on[first]) + " (" + kind + ")");
        for (std::size_t column : i->second) found[column] = value, found_on[column] = number;
    }
    for (std::size_t i = 0; i < ids.size(); ++i)
        if (found[i] < 0)
            throw run_error(name + ": no line for individual " + ids[i] + " of " + cohort_file + " (" + kind + ")");
    return found;
}

}  // namespace

std::vector<int> read_cohort_sexes(const std::string& name, const std::vector<std::string>& ids,
                                   const std::string& cohort_file, std::array<int, 3>& counts)
{
    const sex_file_kind kind = kind_of(name);
    std::ifstream in = open_input(name, "sex file");
    const std::vector<int> sexes = kind == sex_file_kind::codes
                                       ? sexes_in_column_order(in, name, ids.size(), cohort_file)
                                       : sexes_by_id(in, name, ids, cohort_file, kind == sex_file_kind::psam);
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
