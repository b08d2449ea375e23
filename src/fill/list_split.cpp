// Splitting the comma-separated lists of statement values (cells, names, pictures, groups) into
// their entries, with the entry limit.
#include <string>

#include "fill/cell_references.h"
#include "script/tokenizer.h"
#include "tabrix/error.h"

namespace tabrix::fill {

std::vector<std::string> SplitList(std::string_view text) {
  std::vector<std::string> entries;
  std::string previous;
  int position = 1;
  while (position <= static_cast<int>(text.size())) {
    std::string token = StripQuotes(GetToken(text, position, true));
    if (token == ",") {
      // Only a comma right after another comma stands for an empty entry.
      if (previous == ",") {
        if (static_cast<int>(entries.size()) >= kMaxListEntries)
          RaiseRuntimeError(kErrSubscriptOutOfRange);
        entries.emplace_back();
      }
    } else {
      if (static_cast<int>(entries.size()) >= kMaxListEntries)
        RaiseRuntimeError(kErrSubscriptOutOfRange);
      entries.push_back(token);
    }
    previous = std::move(token);
  }
  return entries;
}

}  // namespace tabrix::fill
