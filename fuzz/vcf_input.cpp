// Fuzzes the reading of one VCF/BCF intensity file: detection by content, the header, every
// record's identity, allele indices and intensities, and the checks -vcf adds.
#include "fuzz_common.hpp"
#include "state/settings.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    settings s;
    s.input_files = {fuzz::as_file(bytes, size)};
    s.write_vcf = true;
    fuzz::expecting_run_errors([&] { fuzz::read_all(s); });
    return 0;
}
