// A reference list of the sheet XML (the sqref of a conditional format or validation) held
// parsed while the workbook is edited: edits and copies visit only the entries that reach the
// edited rows or columns, and the text is written back once, when the sheet is saved.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "xlsx/cell_address.h"
#include "xlsx/formula_references.h"

namespace tabrix::xlsx {

class RangeList {
 public:
  explicit RangeList(std::string_view text);

  // Same result as ShiftSqref on the text: entries moved, deleted entries dropped. Returns
  // true when something changed.
  bool Shift(const SheetEdit& edit);
  // What a copy of `source` by (dRow, dCol) adds: the parts of the entries inside the source,
  // moved, joined with the entries they continue. Returns true when the list changed.
  bool Extend(const CellRect& source, std::int32_t dRow, std::int32_t dCol);
  // After an insertion was shifted in: entries ending right before the inserted rows (columns)
  // grow over them (ExtendSqrefOverInserted on each). Returns true when something grew.
  bool GrowOverInserted(const SheetEdit& edit);

  bool Empty() const { return changed_ ? alive_ == 0 : original_.empty(); }
  // The list as the sheet XML holds it; unchanged lists keep their text as read.
  std::string Text() const;
  bool Changed() const { return changed_; }

  // Entries visited by the last Shift or Extend (for the engine's work counters).
  std::size_t LastVisited() const { return lastVisited_; }

 private:
  struct Entry {
    std::string text;
    std::optional<CellRect> rect;  // as a reference (ParseRect): what edits move
    std::optional<CellRect> area;  // as an area (ParseArea): what copies extend
    std::int32_t lastRow = 0, lastColumn = 0;  // the furthest row and column either reaches
    std::uint64_t order = 0;                   // position in the list (entries only append)
    bool alive = false;
    bool normalized = false;  // the text is FormatRef(area)
  };
  using Key = std::pair<std::int32_t, std::uint32_t>;  // (last row or column, slot)

  void Put(std::uint32_t slot, std::string text);
  void PutArea(std::uint32_t slot, const CellRect& rect);
  std::uint32_t Append();
  void Unindex(std::uint32_t slot);
  void Index(std::uint32_t slot);
  void Drop(std::uint32_t slot);
  // Slots whose furthest row (rows = true) or column is at least `at`.
  std::vector<std::uint32_t> Reaching(bool rows, std::int32_t at) const;
  // Rewrites every entry in the form copies write (FormatRef of its area), dropping entries
  // that are not areas, as rewriting the list from its rectangles does.
  void Normalize();
  void Add(CellRect rect, bool rows);

  std::string original_;
  std::vector<Entry> slots_;
  std::vector<std::uint32_t> free_;
  std::set<Key> byRow_, byColumn_;
  std::uint64_t nextOrder_ = 0;
  std::size_t alive_ = 0;
  std::size_t unnormalized_ = 0;  // alive entries whose text is not FormatRef(area)
  bool changed_ = false;
  std::size_t lastVisited_ = 0;
};

}  // namespace tabrix::xlsx
