#include "input/text_cohort.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "input/number_parse.hpp"
#include "input/sample_ids.hpp"
#include "input/tokens.hpp"

namespace {

constexpr int text_fields = 5;   // SNP_ID, rs, position, allele1, allele2
// The model squares intensities; beyond this their squares overflow.
constexpr double largest_intensity = 1e154;

const input::format_words text_words = {"SNP", "SNP lines", "SNPs", "line", "SNP_ID", "on that line"};

// From the header on, a line longer than real data of the announced number of individuals can
// need is refused before more of it is held: 64 KiB for the text fields and 64 bytes for each
// intensity and its separators (exports write about 20 characters; any double printed with 17
// significant digits takes at most 24).
void limit_snp_lines(input::intensity_file& file, int n)
{
    constexpr std::size_t text_field_bytes = std::size_t{64} << 10;
    constexpr std::size_t intensity_bytes = 64;
    file.set_line_limit(text_field_bytes + 2 * intensity_bytes * static_cast<std::size_t>(n),
                        ", the most a SNP line of " + std::to_string(n) + " individuals may need");
}

// Reads the header line and returns the number of individuals it announces: the tokens after
// the first five, halved and rounded down. The header must end in a newline and hold at least
// five tokens. From then on SNP lines are limited to what that many individuals need.
int read_header(input::intensity_file& file, std::string_view& line)
{
    if (!file.next_line(line))
        file.fail_at(1, "the file is empty: a header line is needed");
    if (!file.terminated())
        file.fail("the header line has no newline: the file ends inside it");
    const int tokens = input::token_cursor(line).count_rest();
    if (tokens < text_fields)
        file.fail("the header has " + std::to_string(tokens) + " tokens; at least " +
                  std::to_string(text_fields) + " are needed");
    const int n = (tokens - text_fields) / 2;
    limit_snp_lines(file, n);
    return n;
}

std::string intensity_count_message(int expected, int found)
{
    return "expected " + std::to_string(expected) + " intensities, found " + std::to_string(found);
}

std::string tokens_message(int n, int found)
{
    return "expected " + std::to_string(text_fields) + " text fields and " + std::to_string(2 * n) +
           " intensities, found " + std::to_string(found) + " tokens";
}

}  // namespace

namespace input {

text_cohort::text_cohort(const std::string& name, bool gz, bool bz2)
    : cohort_source(name, text_words), file_(name, gz, bz2)
{
    std::string_view line;
    n_ = read_header(file_, line);
    const std::string header(line);
    if (file_.next_line(line)) {
        first_line_.assign(line);
        first_line_held_ = true;
        const int found = is_blank(line) ? 2 * n_ : token_cursor(line).count_rest() - text_fields;
        if (found != 2 * n_)
            file_.fail(intensity_count_message(2 * n_, std::max(found, 0)));
    }
    token_cursor cursor(header);
    std::string_view first, second;
    for (int f = 0; f < text_fields; ++f)
        cursor.next(first);
    samples_.reserve(static_cast<std::size_t>(n_));
    for (int i = 0; i < n_; ++i) {
        cursor.next(first);
        cursor.next(second);
        samples_.push_back(sample_id_of(first, second));
    }
}

bool text_cohort::raw_line(std::string_view& line)
{
    if (first_line_held_) {
        first_line_held_ = false;
        line = first_line_;
        return true;
    }
    first_line_ = std::string();
    return file_.next_line(line);
}

// A blank line is the end of the SNP lines when only blank lines follow it, and an error
// otherwise.
bool text_cohort::next_snp_line(std::string_view& line)
{
    if (!raw_line(line))
        return false;
    if (!is_blank(line))
        return true;
    const long blank = file_.line_number();
    std::string_view rest;
    while (file_.next_line(rest))
        if (!is_blank(rest))
            file_.fail_at(blank, tokens_message(n_, 0));
    return false;
}

bool text_cohort::skip()
{
    return next_snp_line(line_);
}

bool text_cohort::next(snp_site& site)
{
    if (!next_snp_line(line_))
        return false;
    cursor_ = token_cursor(line_);
    std::string_view fields[text_fields];
    for (int f = 0; f < text_fields; ++f)
        if (!cursor_.next(fields[f]))
            file_.fail(tokens_message(n_, f));
    site.SNP_ID.assign(fields[0]);
    site.rs.assign(fields[1]);
    site.position.assign(fields[2]);
    site.allele1.assign(fields[3]);
    site.allele2.assign(fields[4]);
    int position = 0;
    site.pos = parse_int(fields[2], position) && position >= 1 ? position : 0;
    return true;
}

// The points of the individuals with a "NaN"/"NA" intensity are left out and their columns go to
// `missing`; anything else that is not a finite number, and a wrong token count, throws. The
// length of the line bounds what is reserved ahead: an individual takes at least four bytes of
// it, so a short line after a header that claims millions reserves little.
void text_cohort::read_points(std::vector<xy>& points, std::vector<int>& missing)
{
    const int expected = 2 * n_;
    points.clear();
    missing.clear();
    points.reserve(std::min(static_cast<std::size_t>(n_), line_.size() / 4 + 1));
    for (int i = 0; i < n_; ++i) {
        xy p{0, 0};
        bool is_missing = false;
        for (int d = 0; d < 2; ++d) {
            std::string_view token;
            if (!cursor_.next(token))
                file_.fail(intensity_count_message(expected, 2 * i + d));
            const parse_result r = parse_intensity(token, p[static_cast<std::size_t>(d)]);
            const auto refuse = [&](const char* what) {
                file_.fail("token " + std::to_string(text_fields + 1 + 2 * i + d) + " (" + (d == 0 ? "first" : "second") +
                           " intensity of individual " + std::to_string(i + 1) + "): " + quoted(token) + what);
            };
            if (r == parse_result::bad)
                refuse(" is neither a finite number nor NaN/NA");
            if (r == parse_result::number && std::fabs(p[static_cast<std::size_t>(d)]) > largest_intensity)
                refuse(" is beyond 1e154, whose square no double holds; divide the intensities by a common factor");
            is_missing = is_missing || r == parse_result::missing;
        }
        if (is_missing)
            missing.push_back(i);
        else
            points.push_back(p);
    }
    const int extra = cursor_.count_rest();
    if (extra > 0)
        file_.fail(intensity_count_message(expected, expected + extra));
}

bool text_cohort::same_snp(const snp_site& a, const snp_site& b) const
{
    return a.rs == b.rs && a.position == b.position && a.allele1 == b.allele1 && a.allele2 == b.allele2;
}

std::string text_cohort::identity(const snp_site& site) const
{
    return site.rs + " " + site.position + " " + site.allele1 + "/" + site.allele2;
}

std::string text_cohort::where() const
{
    return file_.name() + ":" + std::to_string(file_.line_number());
}

std::string text_cohort::end_place() const
{
    return file_.name() + ":" + std::to_string(file_.line_number() + 1);
}

}  // namespace input
