// Edit distance and nearest-name lookup for the hints of the command and of the definition check.
#include "support/spelling.h"

#include <algorithm>

namespace tabrix {
namespace {

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::size_t EditDistanceIgnoringCase(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      const bool same = UpperAscii(a[i - 1]) == UpperAscii(b[j - 1]);
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::optional<std::string> NearestName(std::string_view word, const std::vector<std::string>& known) {
  std::optional<std::string> best;
  std::size_t bestDistance = 0;
  for (const std::string& candidate : known) {
    const std::size_t distance = EditDistanceIgnoringCase(word, candidate);
    if (!best || distance < bestDistance) {
      best = candidate;
      bestDistance = distance;
    }
  }
  if (!best) return std::nullopt;
  // A third of the shorter word, at least two edits.
  const std::size_t limit = std::max<std::size_t>(2, std::min(word.size(), best->size()) / 3);
  return bestDistance <= limit ? best : std::nullopt;
}

}  // namespace tabrix
