#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "state/error.hpp"
#include "state/records.hpp"
#include "state/settings.hpp"

// One cohort's intensity file as the reader sees it, whatever its format: the individuals its
// header names, then one SNP after another, each an identity (its site) and the intensities of
// every individual. The rules that tie the cohorts together are the reader's (snp_reader).
namespace input {

// The identity of one SNP as one cohort's file gives it: the texts the results write and, from
// VCF/BCF, the record's CHROM and alleles.
struct snp_site {
    std::string SNP_ID, rs, position, allele1, allele2;
    std::int64_t pos = 0;                 // `position` as a number; 0 when it is not a positive integer
    // VCF/BCF: CHROM, and REF then ALT, allele1 and allele2 being alleles[allele_a] and
    // alleles[allele_b]. Empty for text.
    std::string chrom;
    std::vector<std::string> alleles;
    int allele_a = 0, allele_b = 1;
};

// How a format's messages name its parts.
struct format_words {
    const char* snp;          // one SNP of the file, as in "the SNP before it": "SNP", "record"
    const char* snp_lines;    // what a file holds one of per SNP: "SNP lines", "records"
    const char* snps;         // the same, where a range is counted in them: "SNPs", "records"
    const char* place;        // a place in the file, as in "line 4": "line", "record"
    const char* name;         // the identifier that may differ between cohorts: "SNP_ID", "ID"
    const char* same_place;   // "on that line", "in that record"
};

// One cohort's file, read SNP by SNP. Every failure throws run_error naming the file and the
// line or record.
class cohort_source {
public:
    virtual ~cohort_source() = default;
    cohort_source(const cohort_source&) = delete;
    cohort_source& operator=(const cohort_source&) = delete;

    const std::string& name() const { return name_; }
    const format_words& words() const { return words_; }
    // The identifiers of the individuals as the header gives them, in file column order.
    const std::vector<std::string>& samples() const { return samples_; }
    // The contigs the header names, in order, with their lengths (0 when not given).
    virtual std::vector<std::pair<std::string, std::uint64_t>> contigs() const { return {}; }

    // Reads the next SNP as far as its identity; false after the last. Its intensities follow
    // with read_points, before the next call.
    virtual bool next(snp_site& site) = 0;
    // The intensities of the SNP last read: the points of the individuals whose two intensities
    // are numbers, in file column order, and in `missing` the ascending columns of the others.
    virtual void read_points(std::vector<xy>& points, std::vector<int>& missing) = 0;
    // Passes the next SNP without reading its identity or intensities; false after the last.
    virtual bool skip() = 0;
    // 1-based number of the line or record (a `words().place`) last read.
    virtual long number() const = 0;
    // Bytes of the file as stored read so far, and its size.
    virtual std::uint64_t bytes_read() const = 0;
    virtual std::uint64_t size() const = 0;

    // Whether two sites of this format are one SNP, whatever their names.
    virtual bool same_snp(const snp_site& a, const snp_site& b) const = 0;
    // The identifier that may differ between cohorts' files of one SNP.
    virtual const std::string& snp_name(const snp_site& site) const = 0;
    // What same_snp compares, as a message shows it.
    virtual std::string identity(const snp_site& site) const = 0;
    // What a message about the SNP last read says first: "SNP " and its name, or nothing where
    // the place a message starts with already names it.
    virtual std::string snp_label(const snp_site& site) const = 0;
    // The place of the SNP last read as a warning names it: "file:line", "file: record N".
    virtual std::string where() const = 0;
    // Throws run_error "place: what" for the SNP last read.
    [[noreturn]] void fail(const std::string& what) const { throw run_error(snp_place() + ": " + what); }
    // Throws run_error "place: what" for the end of the file, where a next SNP would be.
    [[noreturn]] void fail_at_end(const std::string& what) const { throw run_error(end_place() + ": " + what); }

protected:
    cohort_source(std::string name, const format_words& words) : name_(std::move(name)), words_(words) {}
    // The place of the SNP last read as an error names it: "file:line", "file: record N (CHROM:POS)".
    virtual std::string snp_place() const = 0;
    // The place of the end of the file as an error names it: "file:line", "file".
    virtual std::string end_place() const = 0;

    std::string name_;
    const format_words& words_;
    std::vector<std::string> samples_;
};

enum class input_format { text, vcf };

// The format of the cohorts' files, told by content: VCF/BCF or text. All must be of one;
// throws run_error naming a file of each otherwise.
input_format format_of_cohorts(const std::vector<std::string>& files);

// Opens one cohort's file and reads its header, with the options of `s` its format reads.
std::unique_ptr<cohort_source> open_cohort(const std::string& name, input_format format, const settings& s);

}  // namespace input
