// Fuzzes the sex-file reader; a result that breaks its contract (codes 0-2, counts that match
// them) is a finding too.
#include <array>
#include <vector>

#include "fuzz_common.hpp"
#include "input/side_files.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    const std::string& name = fuzz::as_file(bytes, size);
    fuzz::expecting_run_errors([&] {
        std::ifstream in = input::open_input(name, "sex file");
        std::array<int, 3> counts{}, recount{};
        for (int c : input::read_sex_codes(in, name, counts)) {
            if (c < 0 || c > 2) std::abort();
            ++recount[static_cast<std::size_t>(c)];
        }
        if (recount != counts) std::abort();
    });
    return 0;
}
