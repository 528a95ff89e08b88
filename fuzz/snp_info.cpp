// Fuzzes the SNP information reader: the first input byte is the number of lines skipped
// before the range (0-3), the rest is the file, read line by line until it ends or an error
// is reported. A run_error is the expected outcome of bad input; anything else is a finding.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_common.hpp"
#include "input/side_files.hpp"
#include "state/error.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::silence_console();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    if (size == 0)
        return 0;
    static const std::string name = fuzz::scratch_name("snpinfo.txt");
    fuzz::write_file(name, bytes + 1, size - 1);
    try {
        input::snp_info_reader reader(name);
        reader.skip(bytes[0] & 3);
        std::string key;
        double prior = 0;
        // Every line read costs at least its newline, so the loop ends with the file.
        for (;;) {
            reader.next(key, prior);
            // The contract: a frequency in [0, 1] or -1 for unknown.
            if (!(prior == -1 || (prior >= 0 && prior <= 1)))
                std::abort();
        }
    } catch (const run_error&) {
    }
    return 0;
}
