// Fuzzes the sex-file reader. A run_error is the expected outcome of bad input; anything else
// is a finding, and so is a result that breaks the reader's contract (codes 0-2, counts that
// match them).
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

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
    static const std::string name = fuzz::scratch_name("sex.txt");
    fuzz::write_file(name, bytes, size);
    try {
        std::ifstream in = input::open_input(name, "sex file");
        std::array<int, 3> counts{};
        const std::vector<int> codes = input::read_sex_codes(in, name, counts);
        std::array<int, 3> recount{};
        for (int c : codes) {
            if (c < 0 || c > 2)
                std::abort();
            ++recount[static_cast<std::size_t>(c)];
        }
        if (recount != counts)
            std::abort();
    } catch (const run_error&) {
    }
    return 0;
}
