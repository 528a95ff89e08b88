#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "input/cohort_source.hpp"

// Intensities in VCF or BCF as the array converters write them: per sample FORMAT/NORMX and
// NORMY (normalised, Float) or X and Y (raw, Integer), per record INFO/ALLELE_A and ALLELE_B,
// the indices among REF (0) and ALT (1, 2, ...) of the array's A allele (x channel) and B allele
// (y channel).
namespace input {

// Whether the file holds VCF or BCF, plain or BGZF-compressed, by its content. False for a file
// that is not regular or cannot be read: the text reader then reports why.
bool is_variant_file(const std::string& name);

class vcf_regions;

// One cohort's VCF or BCF, read record by record: all of them, or those of the regions of -r
// through the file's index (vcf_regions). A record's site: SNP_ID its ID (CHROM:POS when that
// is "."), rs its ID, position its POS, allele1 and allele2 its A and B alleles.
class vcf_cohort : public cohort_source {
public:
    // Opens the file and reads its header; `raw`: X and Y rather than NORMX and NORMY;
    // `regions`: those of -r, or none for every record. Throws run_error naming the file when
    // it cannot be read, has no samples, or has no index to read the regions through.
    vcf_cohort(const std::string& name, bool raw, const std::vector<std::string>& regions);
    ~vcf_cohort() override;

    std::vector<std::pair<std::string, std::uint64_t>> contigs() const override;

    // A record without ALLELE_A/ALLELE_B, or whose indices are not two different alleles of
    // the record (missing, a REF-only record, one split from a record of more alleles), throws
    // run_error saying how to drop such records.
    bool next(snp_site& site) override;
    // Samples whose x or y is missing or not a number are missing, and so are raw points at the
    // origin (failed beads); a record without the intensity fields throws run_error.
    void read_points(std::vector<xy>& points, std::vector<int>& missing) override;
    bool skip() override { return read(); }
    long number() const override { return record_; }
    std::uint64_t bytes_read() const override;
    std::uint64_t size() const override { return size_; }

    // One SNP: the same CHROM, POS, REF, ALT, ALLELE_A and ALLELE_B; the name is its ID.
    bool same_snp(const snp_site& a, const snp_site& b) const override;
    const std::string& snp_name(const snp_site& site) const override { return site.rs; }
    std::string identity(const snp_site& site) const override;
    std::string snp_label(const snp_site&) const override { return {}; }
    // Records are counted from the first of the regions, if any.
    std::string where() const override;

private:
    std::string snp_place() const override;
    std::string end_place() const override { return name_; }
    bool read();

    struct state;
    bool raw_;
    std::unique_ptr<state> state_;
    std::unique_ptr<vcf_regions> regions_;   // null: every record
    std::uint64_t size_ = 0;
    long record_ = 0;
};

}  // namespace input
