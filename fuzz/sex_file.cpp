// Fuzzes the sex-file reader (plain codes, PLINK .fam and .psam, told by the name's extension
// or by content) for a cohort of four individuals "1", "a", "1", "b", the first repeated; a
// result that breaks its contract (four codes 0-2, counts that match them, and from a file named
// .fam or .psam, both "1" alike) is a finding too. The input's first byte picks the file's
// extension: '1' .fam, '2' .psam, anything else none.
#include <array>
#include <cstdio>
#include <vector>

#include "fuzz_common.hpp"
#include "input/side_files.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    if (size == 0) return 0;
    const char* extension = bytes[0] == '1' ? ".fam" : bytes[0] == '2' ? ".psam" : "";
    const std::string name = fuzz::as_file(bytes + 1, size - 1, extension);
    fuzz::expecting_run_errors([&] {
        std::array<int, 3> counts{}, recount{};
        const std::vector<int> codes = input::read_cohort_sexes(name, {"1", "a", "1", "b"}, "cohort", counts);
        if (codes.size() != 4 || (*extension && codes[0] != codes[2])) std::abort();
        for (int c : codes) {
            if (c < 0 || c > 2) std::abort();
            ++recount[static_cast<std::size_t>(c)];
        }
        if (recount != counts) std::abort();
    });
    return 0;
}
