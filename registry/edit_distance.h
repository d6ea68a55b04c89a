// edit_distance.h - how far apart two names are, for suggesting a known name
// close to a mistyped one (the tool's commands, the simulator's services).
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <vector>

namespace corvel::registry {

// Levenshtein distance: single-character inserts, deletes and changes.
inline std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            std::size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

} // namespace corvel::registry
