#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "state/records.hpp"

// Intensities in VCF or BCF as the array converters write them: per sample FORMAT/NORMX and
// NORMY (normalised, Float) or X and Y (raw, Integer), per record INFO/ALLELE_A and ALLELE_B,
// the indices among REF (0) and ALT (1, 2, ...) of the array's A allele (x channel) and B allele
// (y channel).
namespace input {

// Whether the file holds VCF or BCF, plain or BGZF-compressed, by its content. False for a file
// that is not regular or cannot be read: the text reader then reports why.
bool is_variant_file(const std::string& name);

// The identity of one record.
struct vcf_site {
    std::string chrom, pos, id;           // id: "." when the record has none
    std::vector<std::string> alleles;     // REF, then ALT in order
    int allele_a = 0, allele_b = 1;       // indices into alleles
};

// One cohort's VCF or BCF, read record by record.
class vcf_cohort {
public:
    // Opens the file and reads its header; `raw`: X and Y rather than NORMX and NORMY.
    // Throws run_error naming the file when it cannot be read or has no samples.
    vcf_cohort(const std::string& name, bool raw);
    ~vcf_cohort();
    vcf_cohort(const vcf_cohort&) = delete;
    vcf_cohort& operator=(const vcf_cohort&) = delete;

    const std::vector<std::string>& samples() const { return samples_; }
    // The contigs of the header, in order, with their lengths (0 when not given).
    std::vector<std::pair<std::string, std::uint64_t>> contigs() const;

    // Reads the next record's identity into `site` and its intensities into `points` (analysed
    // samples, in sample order) and `missing` (samples whose x or y is missing or not a
    // number); false at the end. A record without ALLELE_A/ALLELE_B, whose indices are not
    // two different alleles of the record, or without the intensity fields throws run_error.
    bool next(vcf_site& site, std::vector<xy>& points, std::vector<int>& missing);
    // Reads past the next record without looking inside; false at the end.
    bool skip();
    // 1-based number of the record last read (0 before the first).
    long record() const { return record_; }
    const std::string& name() const { return name_; }
    // Bytes of the file as stored read so far, and its size.
    std::uint64_t bytes_read() const;
    std::uint64_t size() const { return size_; }
    // Throws run_error "name: record N (CHROM:POS): what" for the record last read.
    [[noreturn]] void fail(const std::string& what) const;

private:
    bool read();

    struct state;
    std::string name_;
    bool raw_;
    std::unique_ptr<state> state_;
    std::vector<std::string> samples_;
    std::uint64_t size_ = 0;
    long record_ = 0;
};

}  // namespace input
