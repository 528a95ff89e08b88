#include "input/side_files.hpp"

#include <filesystem>
#include <ios>
#include <string_view>
#include <system_error>

#include "input/number_parse.hpp"
#include "input/tokens.hpp"
#include "state/error.hpp"

namespace input {

namespace {

std::string at(const std::string& name, long line)
{
    return name + ":" + std::to_string(line) + ": ";
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
    while (std::getline(in, line)) {
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
    if (in.bad())
        throw run_error(at(name, line_number + 1) + "read error in sex file");
    return codes;
}

snp_info_reader::snp_info_reader(const std::string& name)
    : name_(name), in_(open_input(name, "SNP information file"))
{
}

bool snp_info_reader::next_line()
{
    if (!std::getline(in_, line_)) {
        if (in_.bad())
            throw run_error(at(name_, line_number_ + 1) + "read error in SNP information file");
        return false;
    }
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

void snp_info_reader::next(std::string& key, double& prior)
{
    if (!next_line())
        throw run_error(at(name_, line_number_ + 1) + "the SNP information file ends after " +
                        std::to_string(line_number_) + " lines; a line for the next SNP is needed");
    token_cursor cursor(line_);
    std::string_view fields[5];
    for (int f = 0; f < 5; ++f)
        if (!cursor.next(fields[f]))
            throw run_error(at(name_, line_number_) + "expected at least 5 fields, found " + std::to_string(f));
    key.assign(fields[0]);
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
