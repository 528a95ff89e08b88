// Fuzzes the reading of one VCF/BCF intensity file, normalised and raw: detection by content,
// the BGZF end-of-file marker, the header (its samples' names, their count against the
// records'), every record's identity, allele indices and intensities, and the checks -vcf adds.
#include "fuzz_common.hpp"
#include "state/settings.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    for (bool raw : {false, true}) {
        settings s;
        s.input_files = {fuzz::as_file(bytes, size)};
        s.write_vcf = true;
        s.raw_intensities = raw;
        fuzz::expecting_run_errors([&] { fuzz::read_all(s); });
    }
    return 0;
}
