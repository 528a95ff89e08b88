#include "input/sample_ids.hpp"

#include <unordered_map>
#include <unordered_set>

namespace input {

namespace {

bool channel_pair(char a, char b)
{
    return (a == 'A' && b == 'B') || (a == 'a' && b == 'b') || (a == 'X' && b == 'Y') || (a == 'x' && b == 'y');
}

bool is_id_separator(char c) { return c == '_' || c == '-' || c == '.'; }

}  // namespace

std::string sample_id_of(std::string_view first, std::string_view second)
{
    const std::size_t n = first.size();
    if (n < 2 || second.size() != n || first.substr(0, n - 1) != second.substr(0, n - 1) ||
        !channel_pair(first[n - 1], second[n - 1]))
        return std::string(first);
    std::string_view stem = first.substr(0, n - 1);
    if (stem.size() > 1 && is_id_separator(stem.back()))
        stem.remove_suffix(1);
    return std::string(stem);
}

std::vector<renamed_id> make_unique_ids(std::vector<std::vector<std::string>>& ids)
{
    std::unordered_set<std::string> taken;
    for (const auto& cohort : ids)
        for (const std::string& id : cohort) taken.insert(id);
    std::unordered_set<std::string> seen;
    std::unordered_map<std::string, int> next_suffix;
    std::vector<renamed_id> renamed;
    for (std::size_t c = 0; c < ids.size(); ++c)
        for (std::size_t i = 0; i < ids[c].size(); ++i) {
            std::string& id = ids[c][i];
            if (seen.insert(id).second) continue;
            int& k = next_suffix.try_emplace(id, 2).first->second;
            std::string candidate;
            do candidate = id + "_" + std::to_string(k++);
            while (!taken.insert(candidate).second);
            seen.insert(candidate);
            renamed.push_back({static_cast<int>(c), static_cast<int>(i), id, candidate});
            id = std::move(candidate);
        }
    return renamed;
}

}  // namespace input
