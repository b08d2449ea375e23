// The merged areas of one worksheet, ordered by first row (then column) so that lookups and
// edits near a row visit only the areas that may reach it.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "xlsx/cell_address.h"

namespace tabrix::xlsx {

class MergedAreas {
 public:
  using Iterator = std::vector<CellRect>::iterator;

  const std::vector<CellRect>& List() const { return areas_; }
  // The areas themselves, for editors that move them; call NoteSize for every area they
  // change and Sort when the order by first row may be lost.
  std::vector<CellRect>& Items() { return areas_; }
  bool Empty() const { return areas_.empty(); }

  // The window of areas that may reach rows first..last.
  std::pair<Iterator, Iterator> Near(std::int32_t first, std::int32_t last);
  // The merged area holding the cell, or the cell itself.
  CellRect AreaAt(std::int32_t row, std::int32_t column);
  // Merges the rectangle; merged areas it overlaps are replaced.
  void Merge(const CellRect& rect);
  // Removes the areas that overlap the rectangle.
  void RemoveOverlapping(const CellRect& rect);
  // Adds an area read from a file (Sort follows once all are read).
  void Append(const CellRect& rect);
  void NoteSize(const CellRect& rect);
  void Sort();

 private:
  std::vector<CellRect> areas_;
  std::int32_t tallest_ = 1;  // upper bound of area heights (for lookups by row)
  std::int32_t widest_ = 1;
};

}  // namespace tabrix::xlsx
