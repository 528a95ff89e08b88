#include "state/settings.hpp"

#include <cstdint>

#include "numeric/random.hpp"

double settings::snp_seed(int number) const
{
    const std::uint32_t step = 2654435769u;
    const std::uint32_t word = MT::seed_word(seed) + static_cast<std::uint32_t>(number - 1) * step;
    // Half a unit above the word: exact in a double and read back as the word by MT.
    return (static_cast<double>(word) + 0.5) / 4294967296.0;
}
