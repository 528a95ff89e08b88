#include "input/snp_reader.hpp"

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
#include "input/side_files.hpp"
#include "input/tokens.hpp"
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


// The SNP line of a later cohort must describe the SNP its line describes in the first
// cohort's file; see check_same_snp. The one message of cohort files of different lengths.
[[noreturn]] void unequal_lengths(const input::intensity_file& file, long line, int snp_lines, const std::string& first,
                                  bool first_longer)
{
    file.fail_at(line, std::string(first_longer ? "the file ends after " : "holds more than ") +
                           std::to_string(snp_lines) + " SNP lines, but " + first + " holds " +
                           (first_longer ? "more" : "exactly that many") +
                           "; every cohort's file must list the same SNPs");
}

// A -snps range that starts after the last of the `held` SNP lines (or records) of the file.
[[noreturn]] void range_beyond_end(const std::string& file, int first, long held, const char* unit)
{
    throw run_error(file + ": the selected range starts at SNP " + std::to_string(first) + " but the file holds " +
                    std::to_string(held) + " " + unit);
}

}  // namespace

namespace input {

snp_reader::snp_reader(const settings& s) : cfg_(s)
{
    std::cout << "reading data" << std::endl;
    if (s.chrX)
        std::cout << "assuming X chromosome mode" << std::endl;
    if (s.input_files.empty())
        throw run_error("no intensity file given: name one per cohort after -i");
    if (s.chrX && s.sex_files.size() < s.input_files.size())
        throw run_error("X chromosome mode needs one sex file per cohort: " + std::to_string(s.input_files.size()) +
                        " intensity files but " + std::to_string(s.sex_files.size()) + " sex files after -chrX");
    const std::size_t nc = s.input_files.size();
    cohort_description& d = cohorts_;
    d.n_file_individuals.assign(nc, 0);
    d.sample_ids.assign(nc, {});
    d.sex_counts.assign(nc, {0, 0, 0});
    first_lines_.assign(nc, {});
    first_line_held_.assign(nc, false);

    std::size_t text = nc, variant = nc;   // the last cohort of each kind, if any
    for (std::size_t j = 0; j < nc; ++j)
        (input::is_variant_file(s.input_files[j]) ? variant : text) = j;
    if (variant < nc && text < nc)
        throw run_error(s.input_files[variant] + " is a VCF/BCF file but " + s.input_files[text] +
                        " is not: every cohort's intensities must be in one format");
    d.vcf_input = variant < nc;
    if (d.vcf_input)
        open_vcf_cohorts();
    // The identifiers are made only once the first SNP line has as many intensities as the
    // header announces, so that a small file whose header claims millions of individuals costs
    // little.
    for (std::size_t j = 0; j < nc && !d.vcf_input; ++j) {
        files_.push_back(std::make_unique<intensity_file>(s.input_files[j], s.gz, s.bz2));
        intensity_file& file = *files_.back();
        std::string_view line;
        const int n = read_header(file, line);
        const std::string header(line);
        if (file.next_line(line)) {
            first_lines_[j].assign(line);
            first_line_held_[j] = true;
            const int found = input::is_blank(line) ? 2 * n : input::token_cursor(line).count_rest() - text_fields;
            if (found != 2 * n)
                file.fail(intensity_count_message(2 * n, std::max(found, 0)));
        }
        input::token_cursor cursor(header);
        std::string_view first, second;
        for (int f = 0; f < text_fields; ++f)
            cursor.next(first);
        d.sample_ids[j].reserve(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            cursor.next(first);
            cursor.next(second);
            d.sample_ids[j].push_back(input::sample_id_of(first, second));
        }
        d.n_file_individuals[j] = n;
        std::cout << " reading file : " << s.input_files[j] << std::endl;
    }

    for (std::size_t j = 0; j < nc; ++j) {
        std::cout << " cohort " << j << " # ind = " << d.n_file_individuals[j] << std::endl;
        if (!s.chrX)
            continue;
        std::cout << "reading file " << s.sex_files[j] << std::endl;
        d.sex.push_back(input::read_cohort_sexes(s.sex_files[j], d.sample_ids[j], s.input_files[j], d.sex_counts[j]));
        std::cout << " # males = " << d.sex_counts[j][1] << "\t# females = " << d.sex_counts[j][2] << "\t# unknown "
                  << d.sex_counts[j][0] << std::endl;
    }

    // Cohorts exported with the same column labels would repeat every identifier: a few lines
    // tell the user, the count says how many more there are.
    constexpr std::size_t renamings_listed = 10;
    const std::vector<input::renamed_id> renamed = input::make_unique_ids(d.sample_ids);
    for (std::size_t k = 0; k < renamed.size() && k < renamings_listed; ++k)
        std::cerr << "warning: " << printable(s.input_files[static_cast<std::size_t>(renamed[k].cohort)])
                  << ": individual " << renamed[k].column + 1 << " has the identifier " << printable(renamed[k].from)
                  << " of an earlier individual; it is called " << printable(renamed[k].to) << " in the results"
                  << std::endl;
    if (renamed.size() > renamings_listed)
        std::cerr << "warning: " << renamed.size() - renamings_listed << " more individuals renamed the same way"
                  << std::endl;

    if (!s.snp_info_file.empty())
        info_ = std::make_unique<input::snp_info_reader>(s.snp_info_file);
    // A last SNP before the first means, as none, the end of the files.
    const int first = std::max(s.first_snp, 1);
    if (s.last_snp >= first)
        last_number_ = s.last_snp;
    std::cout << " snp range " << first << "-" << (last_number_ > 0 ? std::to_string(last_number_) : "end")
              << std::endl;
}

bool snp_reader::raw_line(std::size_t j, std::string_view& line)
{
    if (first_line_held_[j]) {
        first_line_held_[j] = false;
        line = first_lines_[j];
        return true;
    }
    first_lines_[j] = std::string();
    return files_[j]->next_line(line);
}

// The SNP lines before the range are skipped without looking inside them; blank lines end
// them, or are an error, as in the range.
void snp_reader::skip_to_range()
{
    const int first = std::max(cfg_.first_snp, 1);
    std::string_view line;
    for (; next_number_ < first && !vcfs_.empty(); ++next_number_)
        for (std::size_t j = 0; j < vcfs_.size(); ++j)
            if (!vcfs_[j]->skip())
                vcf_ended(j, next_number_ - 1, first);
    for (; next_number_ < first; ++next_number_) {
        for (std::size_t j = 0; j < files_.size(); ++j) {
            if (next_snp_line(j, line))
                continue;
            if (j == 0)
                range_beyond_end(cfg_.input_files[0], first, next_number_ - 1, "SNPs");
            unequal_lengths(*files_[j], files_[j]->line_number() + 1, next_number_ - 1, cfg_.input_files[0], true);
        }
    }
    if (info_ && first > 1)
        info_->skip(first - 1);
    range_start_ = vcfs_.empty() ? files_[0]->bytes_read() : vcfs_[0]->bytes_read();
}

// A blank line is the end of the SNP lines when only blank lines follow it, and an error
// otherwise.
bool snp_reader::next_snp_line(std::size_t j, std::string_view& line)
{
    if (!raw_line(j, line))
        return false;
    if (!input::is_blank(line))
        return true;
    intensity_file& file = *files_[j];
    const long blank = file.line_number();
    std::string_view rest;
    while (file.next_line(rest))
        if (!input::is_blank(rest))
            file.fail_at(blank, "expected " + std::to_string(text_fields) + " text fields and " +
                                    std::to_string(2 * cohorts_.n_file_individuals[j]) + " intensities, found 0 tokens");
    return false;
}

void snp_reader::check_ended_together(int snp_lines)
{
    std::string_view line;
    for (std::size_t j = 1; j < files_.size(); ++j)
        if (next_snp_line(j, line))
            unequal_lengths(*files_[j], files_[j]->line_number(), snp_lines, cfg_.input_files[0], false);
}

bool snp_reader::next(snp& record, int& number)
{
    if (done_)
        return false;
    if (!started_) {
        started_ = true;
        skip_to_range();
    }
    if (last_number_ > 0 && next_number_ > last_number_) {
        done_ = true;
        return false;
    }
    const std::size_t nc = cfg_.input_files.size();
    record.points.resize(nc);
    record.cohort_index.resize(nc);
    record.missing.resize(nc);
    record.clumps.clear();
    record.x_lo = record.y_lo = -1000;
    record.x_hi = record.y_hi = 1000;
    if (!vcfs_.empty()) {
        if (!next_vcf(record)) {
            done_ = true;
            return false;
        }
        number = next_number_++;
        return true;
    }
    std::string_view line;
    for (std::size_t j = 0; j < nc; ++j) {
        intensity_file& file = *files_[j];
        if (!next_snp_line(j, line)) {
            if (j > 0)
                unequal_lengths(file, file.line_number() + 1, next_number_ - 1, cfg_.input_files[0], true);
            if (next_number_ == std::max(cfg_.first_snp, 1))
                range_beyond_end(cfg_.input_files[0], next_number_, next_number_ - 1, "SNPs");
            check_ended_together(next_number_ - 1);
            done_ = true;
            return false;
        }
        const int n = cohorts_.n_file_individuals[j];
        input::token_cursor cursor(line);
        std::string_view fields[text_fields];
        for (int f = 0; f < text_fields; ++f)
            if (!cursor.next(fields[f]))
                file.fail("expected " + std::to_string(text_fields) + " text fields and " + std::to_string(2 * n) +
                          " intensities, found " + std::to_string(f) + " tokens");
        if (j == 0) {
            if (cfg_.write_vcf)
                check_for_vcf(file, fields, previous_position_);
            record.SNP_ID.assign(fields[0]);
            record.rs.assign(fields[1]);
            record.position.assign(fields[2]);
            record.allele1.assign(fields[3]);
            record.allele2.assign(fields[4]);
            record.prior_allele_freq = -1;
            if (info_) {
                double prior = -1;
                info_->next(key_, prior);
                if (key_ != record.rs)
                    std::cout << "MISMATCH!!!!!" << std::endl << key_ << " " << record.rs << std::endl;
                record.prior_allele_freq = prior;
            }
        } else {
            check_same_snp(file, fields, record, cfg_.input_files[0]);
        }
        std::vector<xy>& points = record.points[j];
        read_intensities(file, cursor, n, line.size(), points, record.missing[j]);
        if (cfg_.scale != 1)
            for (xy& p : points)
                p = {p[0] / cfg_.scale, p[1] / cfg_.scale};
        record.cohort_index[j].assign(points.size(), static_cast<int>(j));
    }
    number = next_number_++;
    return true;
}

double snp_reader::share_read() const
{
    const std::uint64_t size = vcfs_.empty() ? files_[0]->size() : vcfs_[0]->size();
    const std::uint64_t read = vcfs_.empty() ? files_[0]->bytes_read() : vcfs_[0]->bytes_read();
    if (size <= range_start_)
        return 1;
    const double share = static_cast<double>(read - std::min(read, range_start_)) / static_cast<double>(size - range_start_);
    return std::min(share, 1.0);
}

void snp_reader::open_vcf_cohorts()
{
    for (std::size_t j = 0; j < cfg_.input_files.size(); ++j) {
        vcfs_.push_back(std::make_unique<vcf_cohort>(cfg_.input_files[j], cfg_.raw_intensities));
        cohorts_.sample_ids[j] = vcfs_.back()->samples();
        cohorts_.n_file_individuals[j] = static_cast<int>(cohorts_.sample_ids[j].size());
        std::cout << " reading file : " << cfg_.input_files[j] << std::endl;
    }
    cohorts_.vcf_contigs = vcfs_[0]->contigs();
}

// Cohort j's file ended after `records` records, before the first's did, or before the range
// starting at `first` began.
void snp_reader::vcf_ended(std::size_t j, int records, int first) const
{
    if (j == 0)
        range_beyond_end(cfg_.input_files[0], first, records, "records");
    throw run_error(cfg_.input_files[j] + ": the file ends after " + std::to_string(records) + " records, but " +
                    cfg_.input_files[0] + " holds more; every cohort's file must list the same SNPs");
}

bool snp_reader::next_vcf(snp& record)
{
    for (std::size_t j = 0; j < vcfs_.size(); ++j) {
        vcf_cohort& file = *vcfs_[j];
        if (!file.next(site_, record.points[j], record.missing[j])) {
            const int first = std::max(cfg_.first_snp, 1);
            if (j > 0 || next_number_ == first)
                vcf_ended(j, next_number_ - 1, first);
            for (std::size_t k = 1; k < vcfs_.size(); ++k)
                if (vcfs_[k]->skip())
                    vcfs_[k]->fail("holds more than " + std::to_string(next_number_ - 1) + " records, but " +
                                   cfg_.input_files[0] + " holds exactly that many; every cohort's file must list the same SNPs");
            return false;
        }
        const auto identity = [](const vcf_site& v) {
            std::string text = v.chrom + ":" + v.pos;
            for (std::size_t a = 0; a < v.alleles.size(); ++a)
                text += (a == 0 ? " " : a == 1 ? "/" : ",") + v.alleles[a];
            return text + " A=" + std::to_string(v.allele_a) + " B=" + std::to_string(v.allele_b);
        };
        if (j == 0) {
            first_site_ = site_;
            record.chrom = site_.chrom;
            record.alleles = site_.alleles;
            record.allele_a = site_.allele_a;
            record.allele_b = site_.allele_b;
            record.rs = site_.id;
            record.SNP_ID = site_.id != "." ? site_.id : site_.chrom + ":" + site_.pos;
            record.position = site_.pos;
            record.allele1 = site_.alleles[static_cast<std::size_t>(site_.allele_a)];
            record.allele2 = site_.alleles[static_cast<std::size_t>(site_.allele_b)];
            record.prior_allele_freq = -1;
            if (info_) {
                info_->next(key_, record.prior_allele_freq);
                if (key_ != record.rs)
                    std::cout << "MISMATCH!!!!!" << std::endl << key_ << " " << record.rs << std::endl;
            }
            if (cfg_.write_vcf) {
                // The index needs every contig's records together, positions ascending.
                int position = 0;
                if (!input::parse_int(site_.pos, position))
                    file.fail("position " + site_.pos + " is beyond what -vcf can write");
                if (finished_contigs_.empty() || finished_contigs_.back() != site_.chrom) {
                    if (std::find(finished_contigs_.begin(), finished_contigs_.end(), site_.chrom) != finished_contigs_.end())
                        file.fail("contig " + site_.chrom + " comes back after other contigs; -vcf needs each contig's records together");
                    finished_contigs_.push_back(site_.chrom);
                    previous_position_ = 0;
                }
                if (position < previous_position_)
                    file.fail("position " + site_.pos + " is below the position " + std::to_string(previous_position_) +
                              " of the record before it; -vcf needs ascending positions");
                previous_position_ = position;
            }
        } else if (site_.chrom != first_site_.chrom || site_.pos != first_site_.pos || site_.alleles != first_site_.alleles ||
                   site_.allele_a != first_site_.allele_a || site_.allele_b != first_site_.allele_b) {
            file.fail(identity(site_) + " is not the SNP of record " + std::to_string(vcfs_[0]->record()) + " of " +
                      cfg_.input_files[0] + " (" + identity(first_site_) +
                      "): every cohort's file must list the same SNPs in the same order");
        } else if (site_.id != first_site_.id) {
            std::cerr << "warning: " << printable(file.name()) << ": record " << file.record() << ": ID "
                      << printable(site_.id) << " differs from " << printable(first_site_.id) << " in that record of "
                      << printable(cfg_.input_files[0]) << std::endl;
        }
        std::vector<xy>& points = record.points[j];
        if (cfg_.scale != 1)
            for (xy& p : points)
                p = {p[0] / cfg_.scale, p[1] / cfg_.scale};
        record.cohort_index[j].assign(points.size(), static_cast<int>(j));
    }
    return true;
}

}  // namespace input
