// Counters of the work structural edits and copies do (references, list entries and other
// items visited), kept per workbook so that tests can check that an edit's cost follows what
// it touches and not how much the sheet already holds.
#pragma once

#include <cstdint>

namespace tabrix::xlsx {

struct EngineWork {
  std::uint64_t edits = 0;                // structural edits (insertions and deletions)
  std::uint64_t copies = 0;               // block copies
  std::uint64_t formulasVisited = 0;      // formulas looked at by edits
  std::uint64_t rangeEntriesVisited = 0;  // entries of conditional formats and validations
  std::uint64_t itemsVisited = 0;         // merges, page breaks, column ranges, anchors
  std::uint64_t referencesVisited = 0;    // names, chart series, rule formulas, hyperlinks, comments
};

}  // namespace tabrix::xlsx
