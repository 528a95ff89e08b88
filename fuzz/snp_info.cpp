// Fuzzes the SNP information reader: the first input byte is the number of lines skipped
// before the range (0-3), the rest is the file, read line by line until it ends or an error
// is reported; a frequency outside [0, 1] other than -1 (unknown) is a finding too.
#include "fuzz_common.hpp"
#include "input/side_files.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    if (size == 0) return 0;
    const std::string& name = fuzz::as_file(bytes + 1, size - 1);
    fuzz::expecting_run_errors([&] {
        input::snp_info_reader reader(name);
        reader.skip(bytes[0] & 3);
        std::string key;
        double prior = 0;
        for (;;) {   // every line read costs at least its newline, so the loop ends with the file
            reader.next(key, prior);
            if (!(prior == -1 || (prior >= 0 && prior <= 1))) std::abort();
        }
    });
    return 0;
}
