// "Did you mean" suggestions for misspelt keys, options and names: the known word nearest to
// what the author wrote, compared without regard to ASCII case.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tabrix {

// Levenshtein distance between the two words, ignoring ASCII case.
std::size_t EditDistanceIgnoringCase(std::string_view a, std::string_view b);

// The known word nearest to `word`, when it is near enough to be a likely misspelling of it.
std::optional<std::string> NearestName(std::string_view word, const std::vector<std::string>& known);

}  // namespace tabrix
