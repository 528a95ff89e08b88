// Fuzzes the reading of one uncompressed intensity file: header, sample identifiers, and
// the SNP lines.
#include "fuzz_common.hpp"
#include "state/settings.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    settings d;
    d.input_files = {fuzz::as_file(bytes, size)};
    fuzz::expecting_run_errors([&] { fuzz::read_all(d); });
    return 0;
}
