#pragma once
#include <string>
#include <string_view>
#include <vector>

// Identifiers of the individuals, taken from the intensity-file headers, where each individual
// has one column label per channel ("NA06985A NA06985B", "s12_X s12_Y").
namespace input {

// The identifier of one individual from its two column labels: their common stem when the two
// differ only in a last letter A/B or X/Y (either case), with one trailing separator ('_', '-',
// '.') dropped from the stem; otherwise the first label.
std::string sample_id_of(std::string_view first, std::string_view second);

// One renamed duplicate: where it is and what it became.
struct renamed_id {
    int cohort;
    int column;          // 0-based file column
    std::string from, to;
};

// Makes the identifiers unique over all cohorts, in cohort and column order: the first
// occurrence keeps its name, later ones get "_2", "_3", ... (skipping names already taken).
// Returns the renamings, for the user to be told.
std::vector<renamed_id> make_unique_ids(std::vector<std::vector<std::string>>& ids);

}  // namespace input
