#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "input/cohort_source.hpp"
#include "input/intensity_file.hpp"
#include "input/tokens.hpp"

namespace input {

// One cohort's intensity text file: a header line whose tokens after the first five are the
// individuals' column labels, two per individual, then one line per SNP of five text fields
// (SNP_ID, rs, position, allele1, allele2) and two intensities per individual, a number or
// "NaN"/"NA" in any case. Blank lines end the SNP lines when only blank lines follow them.
class text_cohort : public cohort_source {
public:
    // Opens the file (see intensity_file) and reads its header: the individuals it announces
    // are believed once the first SNP line holds as many intensities, and only then are their
    // identifiers made, so that a small file whose header claims millions costs little.
    text_cohort(const std::string& name, bool gz, bool bz2);

    bool next(snp_site& site) override;
    void read_points(std::vector<xy>& points, std::vector<int>& missing) override;
    bool skip() override;
    long number() const override { return file_.line_number(); }
    std::uint64_t bytes_read() const override { return file_.bytes_read(); }
    std::uint64_t size() const override { return file_.size(); }

    // One SNP: the same rs, position and alleles; the name is its SNP_ID.
    bool same_snp(const snp_site& a, const snp_site& b) const override;
    const std::string& snp_name(const snp_site& site) const override { return site.SNP_ID; }
    std::string identity(const snp_site& site) const override;
    std::string snp_label(const snp_site& site) const override { return "SNP " + site.SNP_ID; }
    std::string where() const override;

private:
    std::string snp_place() const override { return where(); }
    std::string end_place() const override;
    bool raw_line(std::string_view& line);
    bool next_snp_line(std::string_view& line);

    intensity_file file_;
    int n_ = 0;                   // individuals
    std::string first_line_;      // the line after the header, until read
    bool first_line_held_ = false;
    std::string_view line_;       // the SNP line last read
    token_cursor cursor_{{}};     // after its text fields
};

}  // namespace input
