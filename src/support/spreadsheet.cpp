// Helpers of the spreadsheet interface shared by every adapter.
#include "tabrix/platform/spreadsheet.h"

#include <algorithm>

namespace tabrix::platform {

std::string ColumnLetters(std::int32_t column) {
  std::string letters;
  while (column > 0) {
    int remainder = (column - 1) % 26;
    letters.insert(letters.begin(), static_cast<char>('A' + remainder));
    column = (column - 1) / 26;
  }
  return letters;
}

std::string FormatAddress(const CellRect& rect, bool rowAbsolute, bool columnAbsolute) {
  const std::string r = rowAbsolute ? "$" : "";
  const std::string c = columnAbsolute ? "$" : "";
  if (rect.IsEntireRows() && !rect.IsEntireColumns())
    return r + std::to_string(rect.row1) + ":" + r + std::to_string(rect.row2);
  if (rect.IsEntireColumns() && !rect.IsEntireRows())
    return c + ColumnLetters(rect.col1) + ":" + c + ColumnLetters(rect.col2);
  std::string first = c + ColumnLetters(rect.col1) + r + std::to_string(rect.row1);
  if (rect.row1 == rect.row2 && rect.col1 == rect.col2) return first;
  return first + ":" + c + ColumnLetters(rect.col2) + r + std::to_string(rect.row2);
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
