#include "input/cohort_source.hpp"

#include "input/text_cohort.hpp"
#include "input/vcf_cohort.hpp"

namespace input {

input_format format_of_cohorts(const std::vector<std::string>& files)
{
    const std::size_t n = files.size();
    std::size_t text = n, variant = n;   // the last file of each format, if any
    for (std::size_t j = 0; j < n; ++j)
        (is_variant_file(files[j]) ? variant : text) = j;
    if (variant < n && text < n)
        throw run_error(files[variant] + " is a VCF/BCF file but " + files[text] +
                        " is not: every cohort's intensities must be in one format");
    return variant < n ? input_format::vcf : input_format::text;
}

std::unique_ptr<cohort_source> open_cohort(const std::string& name, input_format format, const settings& s)
{
    if (format == input_format::vcf)
        return std::make_unique<vcf_cohort>(name, s.raw_intensities, s.regions);
    if (!s.regions.empty())
        throw run_error(name + ": -r reads regions of indexed VCF/BCF files, and this is a text file: choose its "
                        "SNP lines with -snps");
    return std::make_unique<text_cohort>(name, s.gz, s.bz2);
}

}  // namespace input
