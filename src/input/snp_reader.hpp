#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "input/cohort_source.hpp"
#include "input/side_files.hpp"
#include "state/cohorts.hpp"
#include "state/records.hpp"
#include "state/settings.hpp"

namespace input {

// The input of a run, read one SNP at a time: every cohort's file open at once (text, or VCF/BCF
// told by content, all of one format), its SNPs read in step and each checked against the first
// cohort's, and the SNP information file in step with them. One SNP per cohort is held at a
// time, so memory does not grow with the number of SNPs.
class snp_reader {
public:
    // Opens every file and reads what precedes the SNPs: the headers, the sex files and the
    // sample identifiers, made unique over the cohorts, into the cohort description, and prints
    // the reading messages. Throws run_error naming file and line on bad input.
    explicit snp_reader(const settings& s);
    snp_reader(const snp_reader&) = delete;
    snp_reader& operator=(const snp_reader&) = delete;

    // Reads the next SNP of the range into `record`, with its 1-based position among the SNPs
    // of the files (with -r, among those of the regions); false after the last. The range ends
    // at the settings' last SNP or at the end of the files (or regions), which must then end
    // together; a range that starts beyond the end is an error, regions without records are not. Every cohort's SNP must be the first's (a different name is only told), and with
    // -vcf each contig's SNPs must come together with ascending positions. Intensities are
    // divided by the -scale divisor as they are read. The SNPs read ahead come first.
    bool next(snp& record, int& number);
    // Reads up to n SNPs of the range ahead, for a look at them before any is analysed, and
    // returns those held ahead.
    const std::vector<snp>& read_ahead(int n);
    // SNPs of the range read so far, those held ahead included.
    int snps_read() const { return started_ ? next_number_ - first_number_ : 0; }
    // SNPs of the range as the settings give it; 0 when it runs to the end of the files.
    int range_snps() const { return last_number_ > 0 ? last_number_ - first_number_ + 1 : 0; }

    // The share, from 0 to 1, of the first cohort's file (as stored) between the first SNP of
    // the range and the end that has been read; 0 (unknown) with -r.
    double share_read() const;

    const cohort_description& cohorts() const { return cohorts_; }

private:
    bool read(snp& record, int& number);
    void skip_to_range();
    [[noreturn]] void ended(std::size_t j) const;
    void check_ended_together() const;
    void take_site(snp& record);
    void check_same_snp(std::size_t j) const;
    void check_for_vcf(const snp_site& site);

    const settings& cfg_;
    cohort_description cohorts_;
    std::vector<std::unique_ptr<cohort_source>> sources_;   // [cohort]
    std::vector<snp_site> sites_;                           // [cohort] of the SNP being read
    std::unique_ptr<snp_info_reader> info_;
    int first_number_ = 1;                       // of the first SNP of the range
    int next_number_ = 1;                        // of the next SNP of the files
    int last_number_ = 0;                        // of the last SNP of the range; 0: to the end
    bool started_ = false, done_ = false;
    std::vector<std::string> finished_contigs_;  // with -vcf: the contigs so far, the last open
    std::int64_t previous_position_ = 0;         // with -vcf: of the SNP before, on its contig
    std::uint64_t range_start_ = 0;              // bytes of the first file before the range
    std::string of_regions_;                     // with -r, what the counts in messages are of
    std::string key_;                            // of the SNP information line
    std::vector<snp> ahead_;                     // read ahead, the last read; of those, handed out:
    std::size_t taken_ = 0;
};

}  // namespace input
