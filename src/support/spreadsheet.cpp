// Helpers of the spreadsheet interface shared by every adapter.
#include "tabrix/platform/spreadsheet.h"

#include <algorithm>

#include "support/a1_reference.h"

namespace tabrix::platform {

std::string ColumnLetters(std::int32_t column) {
  std::string letters;
  a1::AppendColumn(letters, column);
  return letters;
}

std::string FormatAddress(const CellRect& rect, bool rowAbsolute, bool columnAbsolute) {
  a1::Reference ref = a1::ReferenceOf(rect);
  ref.row1Absolute = ref.row2Absolute = rowAbsolute;
  ref.col1Absolute = ref.col2Absolute = columnAbsolute;
  std::string out;
  a1::AppendReference(out, ref);
  return out;
}

Range Worksheet::GetRange(std::string_view reference) {
  return Range(shared_from_this(), ResolveReference(reference));
}

Range Worksheet::GetRange(const Range& topLeft, const Range& bottomRight) {
  const CellRect& a = topLeft.Rect();
  const CellRect& b = bottomRight.Rect();
  CellRect rect{std::min(a.row1, b.row1), std::min(a.col1, b.col1), std::max(a.row2, b.row2),
                std::max(a.col2, b.col2)};
  return Range(shared_from_this(), rect);
}

Range Worksheet::Cells(std::int32_t row, std::int32_t column) {
  return Range(shared_from_this(), CellRect{row, column, row, column});
}

Range Worksheet::Rows(std::int32_t row) {
  return Range(shared_from_this(), CellRect{row, 1, row, kMaxColumns});
}

Range Worksheet::Columns(std::int32_t column) {
  return Range(shared_from_this(), CellRect{1, column, kMaxRows, column});
}

double Range::Width() const {
  double width = 0;
  for (std::int32_t c = rect_.col1; c <= rect_.col2; ++c) width += sheet_->ColumnWidthPoints(c);
  return width;
}

double Range::Height() const {
  double height = 0;
  for (std::int32_t r = rect_.row1; r <= rect_.row2; ++r) height += sheet_->RowHeightPoints(r);
  return height;
}

}  // namespace tabrix::platform
