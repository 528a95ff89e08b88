// Fuzzes the sex-file reader (plain codes, PLINK .fam and .psam) for a cohort of three
// individuals "a", "b", "c"; a result that breaks its contract (three codes 0-2, counts that
// match them) is a finding too.
#include <array>
#include <vector>

#include "fuzz_common.hpp"
#include "input/side_files.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    const std::string& name = fuzz::as_file(bytes, size);
    fuzz::expecting_run_errors([&] {
        std::array<int, 3> counts{}, recount{};
        const std::vector<int> codes = input::read_cohort_sexes(name, {"a", "b", "c"}, "cohort", counts);
        if (codes.size() != 3) std::abort();
        for (int c : codes) {
            if (c < 0 || c > 2) std::abort();
            ++recount[static_cast<std::size_t>(c)];
        }
        if (recount != counts) std::abort();
    });
    return 0;
}
