#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "input/intensity_file.hpp"
#include "input/side_files.hpp"
#include "input/vcf_input.hpp"
#include "state/cohorts.hpp"
#include "state/records.hpp"
#include "state/settings.hpp"

namespace input {

// The input of a run, read one SNP at a time: every cohort's intensity file open at once, its
// SNP lines read in step (each checked against the first cohort's), and the SNP information
// file in step with them. One SNP line per cohort is held at a time, so memory does not grow
// with the number of SNPs.
class snp_reader {
public:
    // Opens every file and reads what precedes the SNPs: the headers (the individuals each
    // announces, believed once its first SNP line holds as many intensities), the sex files and
    // the sample identifiers, made unique over the cohorts, into the cohort description, and
    // prints the reading messages. Throws run_error naming file and line on bad input.
    explicit snp_reader(const settings& s);
    snp_reader(const snp_reader&) = delete;
    snp_reader& operator=(const snp_reader&) = delete;

    // Reads the next SNP of the range into `record`, with its 1-based position among the SNP
    // lines of the files; false after the last. The range ends at the settings' last SNP or at
    // the end of the files, which must then end together (blank lines at the end aside); a
    // range that starts beyond the end is an error. Intensities are divided by the -scale
    // divisor as they are read.
    bool next(snp& record, int& number);

    // The share, from 0 to 1, of the first cohort's file (as stored) between the first SNP of
    // the range and the end that has been read.
    //
    // VCF/BCF files (told by their content) are read record by record the same way: a record
    // is a SNP line, every cohort's records must agree in CHROM, POS, REF, ALT, ALLELE_A and
    // ALLELE_B, and the text fields of the results are ID (CHROM:POS when it is "."), ID, POS,
    // allele A and allele B.
    double share_read() const;

    const cohort_description& cohorts() const { return cohorts_; }

private:
    void open_vcf_cohorts();
    bool next_vcf(snp& record);
    [[noreturn]] void vcf_ended(std::size_t j, int records, int first) const;
    bool raw_line(std::size_t j, std::string_view& line);
    void skip_to_range();
    bool next_snp_line(std::size_t j, std::string_view& line);
    void check_ended_together(int snp_lines);

    const settings& cfg_;
    cohort_description cohorts_;
    std::vector<std::unique_ptr<intensity_file>> files_;   // text input
    std::vector<std::unique_ptr<vcf_cohort>> vcfs_;        // VCF/BCF input
    std::vector<std::string> finished_contigs_;           // with -vcf: contigs left behind
    std::vector<std::string> first_lines_;       // [cohort] the line after the header, until read
    std::vector<bool> first_line_held_;
    std::unique_ptr<snp_info_reader> info_;
    int next_number_ = 1;                        // of the next SNP line of the files
    int last_number_ = 0;                        // of the last SNP of the range; 0: to the end
    bool started_ = false, done_ = false;
    int previous_position_ = 0;                  // with -vcf: of the SNP before
    std::uint64_t range_start_ = 0;              // bytes of the first file before the range
    std::string key_;
    vcf_site site_, first_site_;                 // of the record being read, and cohort 0's
};

}  // namespace input
