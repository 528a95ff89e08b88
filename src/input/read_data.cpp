#include <algorithm>
#include <cmath>
#include <cstddef>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "input/intensity_file.hpp"
#include "input/number_parse.hpp"
#include "input/sample_ids.hpp"
#include "input/scale.hpp"
#include "input/side_files.hpp"
#include "input/tokens.hpp"
#include "state/data.hpp"
#include "state/error.hpp"

namespace {

constexpr int text_fields = 5;   // SNP_ID, rs, position, allele1, allele2
// The model squares intensities; beyond this their squares overflow.
constexpr double largest_intensity = 1e154;

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

// What the first reading of a cohort's intensity file finds: the individuals its header
// announces, their identifiers, and its number of SNP lines (a last line without a final newline
// included, trailing lines holding only whitespace excluded).
struct cohort_scan {
    int individuals = 0;
    std::vector<std::string> ids;
    int snp_lines = 0;
};

// The identifiers are made only once the first SNP line has as many intensities as the header
// announces, so that a small file whose header claims millions of individuals costs little.
cohort_scan scan_cohort(const std::string& name, bool gz, bool bz2)
{
    input::intensity_file file(name, gz, bz2);
    std::string_view line;
    cohort_scan c;
    c.individuals = read_header(file, line);
    const std::string header(line);
    long last_data_line = 1;
    while (file.next_line(line)) {
        if (input::is_blank(line))
            continue;
        if (last_data_line == 1) {
            const int found = input::token_cursor(line).count_rest() - text_fields;
            if (found != 2 * c.individuals)
                file.fail(intensity_count_message(2 * c.individuals, std::max(found, 0)));
        }
        last_data_line = file.line_number();
    }
    c.snp_lines = static_cast<int>(last_data_line - 1);
    input::token_cursor cursor(header);
    std::string_view first, second;
    for (int f = 0; f < text_fields; ++f)
        cursor.next(first);
    c.ids.reserve(static_cast<std::size_t>(c.individuals));
    for (int i = 0; i < c.individuals; ++i) {
        cursor.next(first);
        cursor.next(second);
        c.ids.push_back(input::sample_id_of(first, second));
    }
    return c;
}


// Reads the 2n intensities that follow the text fields of a SNP line. The points of the
// individuals with a "NaN"/"NA" intensity are left out of `points` and their file columns go
// to `missing`; anything else that is not a finite number, and a wrong token count, throws.
// `line_bytes`, the length of the line, bounds what is reserved ahead: an individual takes at
// least four bytes of it, so a short line after a header that claims millions reserves little.
void read_intensities(input::intensity_file& file, input::token_cursor& cursor, int n, std::size_t line_bytes,
                      std::vector<xy>& points, std::vector<int>& missing)
{
    const int expected = 2 * n;
    points.clear();
    missing.clear();
    points.reserve(std::min(static_cast<std::size_t>(n), line_bytes / 4 + 1));
    for (int i = 0; i < n; ++i) {
        xy p{0, 0};
        bool is_missing = false;
        for (int d = 0; d < 2; ++d) {
            std::string_view token;
            if (!cursor.next(token))
                file.fail(intensity_count_message(expected, 2 * i + d));
            const input::parse_result r = input::parse_intensity(token, p[static_cast<std::size_t>(d)]);
            const auto refuse = [&](const char* what) {
                file.fail("token " + std::to_string(text_fields + 1 + 2 * i + d) + " (" + (d == 0 ? "first" : "second") +
                          " intensity of individual " + std::to_string(i + 1) + "): " + input::quoted(token) + what);
            };
            if (r == input::parse_result::bad)
                refuse(" is neither a finite number nor NaN/NA");
            if (r == input::parse_result::number && std::fabs(p[static_cast<std::size_t>(d)]) > largest_intensity)
                refuse(" is beyond 1e154, whose square no double holds; divide the intensities by a common factor");
            is_missing = is_missing || r == input::parse_result::missing;
        }
        if (is_missing)
            missing.push_back(i);
        else
            points.push_back(p);
    }
    const int extra = cursor.count_rest();
    if (extra > 0)
        file.fail(intensity_count_message(expected, expected + extra));
}

// A single VCF allele from an array: one or more of the bases A, C, G, T and N, in either case.
bool is_vcf_allele(std::string_view allele)
{
    if (allele.empty())
        return false;
    for (char c : allele)
        if (std::string_view("ACGTNacgtn").find(c) == std::string_view::npos)
            return false;
    return true;
}

// With -vcf every SNP needs a positive integer position, ascending (the index needs them in
// order), and alleles that make a biallelic VCF record.
void check_for_vcf(const input::intensity_file& file, const std::string_view (&fields)[text_fields],
                   int& previous_position)
{
    const std::string snp = "SNP " + std::string(fields[0]) + ": ";
    int position = 0;
    if (!(input::parse_int(fields[2], position) && position >= 1))
        file.fail(snp + "position " + input::quoted(fields[2]) + " is not a positive integer, which -vcf needs");
    if (position < previous_position)
        file.fail(snp + "position " + std::to_string(position) + " is below the position " +
                  std::to_string(previous_position) + " of the SNP before it; -vcf needs ascending positions");
    previous_position = position;
    for (int f = 3; f < text_fields; ++f)
        if (!is_vcf_allele(fields[f]))
            file.fail(snp + (f == 3 ? "allele1 " : "allele2 ") + input::quoted(fields[f]) +
                      " is not a single VCF allele (bases A, C, G, T, N), which -vcf needs");
}

// The SNP line of a later cohort must describe the SNP its line describes in the first cohort's
// file: a different rs, position or allele would fit two SNPs together. A different SNP_ID alone
// is only told.
void check_same_snp(const input::intensity_file& file, const std::string_view (&fields)[text_fields],
                    const snp& record, const std::string& first_file)
{
    const std::string_view first[] = {record.SNP_ID, record.rs, record.position, record.allele1, record.allele2};
    if (fields[0] != first[0])
        std::cerr << "warning: " << printable(file.name()) << ":" << file.line_number() << ": SNP_ID "
                  << printable(fields[0]) << " differs from " << printable(first[0]) << " on that line of "
                  << printable(first_file) << std::endl;
    for (int f = 1; f < text_fields; ++f)
        if (fields[f] != first[f])
            file.fail("SNP " + std::string(fields[0]) + " (" + std::string(fields[1]) + " " + std::string(fields[2]) +
                      " " + std::string(fields[3]) + "/" + std::string(fields[4]) + ") is not the SNP of line " +
                      std::to_string(file.line_number()) + " of " + first_file + " (" + std::string(first[1]) + " " +
                      std::string(first[2]) + " " + std::string(first[3]) + "/" + std::string(first[4]) +
                      "): every cohort's file must list the same SNPs in the same order");
}

}  // namespace

void data::read_data()
{
    std::cout.precision(10);
    std::cout << "setting precision" << std::endl;
    std::cout << "reading data" << std::endl;
    if (chrX)
        std::cout << "assuming X chromosome mode" << std::endl;

    n_cohorts = static_cast<int>(input_files.size());
    if (n_cohorts == 0)
        throw run_error("no intensity file given: name one per cohort after -i");
    if (chrX && sex_files.size() < input_files.size())
        throw run_error("X chromosome mode needs one sex file per cohort: " +
                        std::to_string(input_files.size()) + " intensity files but " +
                        std::to_string(sex_files.size()) + " sex files after -chrX");
    const auto nc = static_cast<std::size_t>(n_cohorts);
    n_individuals.assign(nc, 0);
    n_file_individuals.assign(nc, 0);
    sex_counts.assign(nc, {0, 0, 0});
    sex.clear();
    sample_ids.assign(nc, {});

    int total = 0;   // SNP lines of the first cohort's file, which every other must match
    for (std::size_t j = 0; j < nc; ++j) {
        cohort_scan c = scan_cohort(input_files[j], gz, bz2);
        n_individuals[j] = n_file_individuals[j] = c.individuals;
        sample_ids[j] = std::move(c.ids);
        if (j == 0)
            total = c.snp_lines;
        else if (c.snp_lines != total)
            throw run_error(input_files[j] + ": holds " + std::to_string(c.snp_lines) + " SNP lines but " +
                            input_files[0] + " holds " + std::to_string(total) +
                            "; every cohort's file must list the same SNPs");
    }
    std::cout << " # snps = " << total << std::endl;

    if (first_snp < 1)
        first_snp = 1;
    if (last_snp < 1 || last_snp < first_snp || last_snp > total)
        last_snp = total;
    if (first_snp > total)
        throw run_error(input_files[0] + ": the selected range starts at SNP " + std::to_string(first_snp) +
                        " but the file holds " + std::to_string(total) + " SNPs");
    n_snps = last_snp + 1 - first_snp;
    std::cout << " snp range " << first_snp << "-" << last_snp << std::endl;
    snps.assign(static_cast<std::size_t>(n_snps), snp{});
    for (snp& record : snps) {
        record.points.resize(nc);
        record.cohort_index.resize(nc);
        record.missing.resize(nc);
    }

    for (std::size_t j = 0; j < nc; ++j) {
        std::cout << " cohort " << j << " # ind = " << n_individuals[j] << std::endl;
        if (!chrX)
            continue;
        std::ifstream sex_file = input::open_input(sex_files[j], "sex file");
        std::cout << "reading file " << sex_files[j] << std::endl;
        std::vector<int> codes = input::read_sex_codes(sex_file, sex_files[j], sex_counts[j]);
        std::cout << " # males = " << sex_counts[j][1] << "\t# females = " << sex_counts[j][2]
                  << "\t# unknown " << sex_counts[j][0] << std::endl;
        if (codes.size() != static_cast<std::size_t>(n_individuals[j])) {
            std::cout << "sex file doesn't contain correct number of individuals" << std::endl;
            std::cout << " " << codes.size() << "  " << n_individuals[j] << std::endl;
            throw run_error(sex_files[j] + ": holds " + std::to_string(codes.size()) + " sex codes but " +
                            input_files[j] + " has " + std::to_string(n_individuals[j]) + " individuals", 1);
        }
        sex.push_back(std::move(codes));
    }

    // Cohorts exported with the same column labels would repeat every identifier: a few lines
    // tell the user, the count says how many more there are.
    constexpr std::size_t renamings_listed = 10;
    const std::vector<input::renamed_id> renamed = input::make_unique_ids(sample_ids);
    for (std::size_t k = 0; k < renamed.size() && k < renamings_listed; ++k)
        std::cerr << "warning: " << printable(input_files[static_cast<std::size_t>(renamed[k].cohort)])
                  << ": individual " << renamed[k].column + 1 << " has the identifier " << printable(renamed[k].from)
                  << " of an earlier individual; it is called " << printable(renamed[k].to) << " in the results"
                  << std::endl;
    if (renamed.size() > renamings_listed)
        std::cerr << "warning: " << renamed.size() - renamings_listed << " more individuals renamed the same way"
                  << std::endl;

    std::unique_ptr<input::snp_info_reader> info;
    if (!snp_info_file.empty())
        info = std::make_unique<input::snp_info_reader>(snp_info_file);

    std::string key;
    double prior = -1;
    for (std::size_t j = 0; j < nc; ++j) {
        input::intensity_file file(input_files[j], gz, bz2);
        std::cout << " reading file : " << input_files[j] << std::endl;
        const int n = n_individuals[j];
        const int expected = 2 * n;
        std::string_view line;
        // The header and the SNPs before the range are skipped without looking inside them.
        for (int k = 0; k < first_snp; ++k) {
            if (!file.next_line(line))
                file.fail_at(file.line_number() + 1, "the file ends after " + std::to_string(file.line_number()) +
                                                         " lines, before SNP " + std::to_string(first_snp));
            if (k == 0)
                limit_snp_lines(file, n);
        }
        if (j == 0 && info && first_snp > 1)
            info->skip(first_snp - 1);

        int previous_position = 0;   // with -vcf: of the SNP line before
        for (int s = 0; s < n_snps; ++s) {
            std::cout << "\r snp [" << s + 1 << "/" << n_snps << "]" << std::flush;
            if (!file.next_line(line))
                file.fail_at(file.line_number() + 1,
                             "the file ends after " + std::to_string(file.line_number() - 1) + " SNP lines; SNP " +
                                 std::to_string(first_snp + s) + " is needed (" + input_files[0] + " has " +
                                 std::to_string(total) + ")");
            snp& record = snps[static_cast<std::size_t>(s)];
            input::token_cursor cursor(line);
            std::string_view fields[text_fields];
            for (int f = 0; f < text_fields; ++f)
                if (!cursor.next(fields[f]))
                    file.fail("expected " + std::to_string(text_fields) + " text fields and " +
                              std::to_string(expected) + " intensities, found " + std::to_string(f) + " tokens");
            if (j == 0) {
                if (write_vcf)
                    check_for_vcf(file, fields, previous_position);
                record.SNP_ID.assign(fields[0]);
                record.rs.assign(fields[1]);
                record.position.assign(fields[2]);
                record.allele1.assign(fields[3]);
                record.allele2.assign(fields[4]);
            } else {
                check_same_snp(file, fields, record, input_files[0]);
            }

            if (j == 0) {
                record.prior_allele_freq = -1;
                if (info) {
                    std::cout << " read SNP information " << std::endl;
                    info->next(key, prior);
                    if (key != record.rs) {
                        std::cout << "MISMATCH!!!!!" << std::endl;
                        std::cout << key << " " << record.rs << std::endl;
                    }
                    record.prior_allele_freq = prior;
                }
            }

            std::vector<xy>& points = record.points[j];
            read_intensities(file, cursor, n, line.size(), points, record.missing[j]);
            record.cohort_index[j].assign(points.size(), static_cast<int>(j));
        }
        std::cout << std::endl;
    }
    if (scale != 1) {
        input::divide_intensities(snps, scale);
        std::cout << " intensities divided by " << scale << std::endl;
    }
    std::cout << "..done" << std::endl;
}
