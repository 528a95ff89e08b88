// Fuzzes the reading of one uncompressed intensity file: header, sample identifiers, the
// SNP-line count of the first pass and the SNP lines of the second.
#include "fuzz_common.hpp"
#include "state/data.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    data d;
    d.input_files = {fuzz::as_file(bytes, size)};
    fuzz::expecting_run_errors([&] { d.read_data(); });
    return 0;
}
