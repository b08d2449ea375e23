// Merged areas of a worksheet: ordered storage, lookups near a row, merging.
#include "xlsx/merged_areas.h"

#include <algorithm>

namespace tabrix::xlsx {

namespace {

bool MergeOrder(const CellRect& a, const CellRect& b) {
  return a.row1 != b.row1 ? a.row1 < b.row1 : a.col1 < b.col1;
}

bool Overlap(const CellRect& a, const CellRect& b) {
  return a.row1 <= b.row2 && b.row1 <= a.row2 && a.col1 <= b.col2 && b.col1 <= a.col2;
}

}  // namespace

void MergedAreas::Sort() {
  if (!std::is_sorted(areas_.begin(), areas_.end(), MergeOrder)) std::sort(areas_.begin(), areas_.end(), MergeOrder);
  tallest_ = widest_ = 1;
  for (const CellRect& m : areas_) NoteSize(m);
}

void MergedAreas::NoteSize(const CellRect& rect) {
  tallest_ = std::max(tallest_, rect.Rows());
  widest_ = std::max(widest_, rect.Columns());
}

void MergedAreas::Append(const CellRect& rect) {
  areas_.push_back(rect);
  NoteSize(rect);
}

std::pair<MergedAreas::Iterator, MergedAreas::Iterator> MergedAreas::Near(std::int32_t first, std::int32_t last) {
  // An area reaching row `first` starts at most tallest_ - 1 rows above it.
  std::int32_t from = std::max(1, first - tallest_ + 1);
  auto begin = std::lower_bound(areas_.begin(), areas_.end(), from,
                                [](const CellRect& m, std::int32_t row) { return m.row1 < row; });
  auto end = std::upper_bound(begin, areas_.end(), last,
                              [](std::int32_t row, const CellRect& m) { return row < m.row1; });
  return {begin, end};
}

CellRect MergedAreas::AreaAt(std::int32_t row, std::int32_t column) {
  auto [begin, end] = Near(row, row);
  for (auto it = begin; it != end; ++it)
    if (it->row1 <= row && row <= it->row2 && it->col1 <= column && column <= it->col2) return *it;
  return CellRect{row, column, row, column};
}

void MergedAreas::Merge(const CellRect& rect) {
  if (rect.row1 == rect.row2 && rect.col1 == rect.col2) return;
  // Merged areas never overlap: the new one absorbs those it touches.
  RemoveOverlapping(rect);
  areas_.insert(std::upper_bound(areas_.begin(), areas_.end(), rect, MergeOrder), rect);
  NoteSize(rect);
}

void MergedAreas::RemoveOverlapping(const CellRect& rect) {
  auto [begin, end] = Near(rect.row1, rect.row2);
  areas_.erase(std::remove_if(begin, end, [&](const CellRect& m) { return Overlap(m, rect); }), end);
}

}  // namespace tabrix::xlsx
