// Fuzzes the reading of one uncompressed intensity file: header, sample identifiers, the
// SNP-line count of the first pass and the SNP lines of the second. A run_error is the expected
// outcome of bad input; anything else (crash, sanitizer report, other exception) is a finding.
#include <cstddef>
#include <cstdint>

#include "fuzz_common.hpp"
#include "state/data.hpp"
#include "state/error.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::silence_console();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    static const std::string name = fuzz::scratch_name("cohort.txt");
    fuzz::write_file(name, bytes, size);
    data d;
    d.input_files = {name};
    try {
        d.read_data();
    } catch (const run_error&) {
    }
    return 0;
}
