// Geometry of rows and columns in points, column ranges and manual page breaks of a worksheet.
#include "xlsx/sheet_layout.h"

#include <algorithm>
#include <cmath>

#include "xlsx/cell_address.h"
#include "xlsx/engine_errors.h"
#include "xlsx/text_metrics.h"

namespace tabrix::xlsx {

double SheetLayout::MaxDigitWidth() const {
  double pixels = styles_.DefaultFontSize() * 96.0 / 72.0 * DigitWidthEm(styles_.DefaultFontName());
  return std::max(1.0, std::floor(pixels + 0.5));
}

void SheetLayout::SetDefaults(double rowHeight, double columnWidth, std::int32_t baseColumnWidth) {
  defaultRowHeight_ = rowHeight;
  defaultColumnWidth_ = columnWidth;
  baseColumnWidth_ = baseColumnWidth;
}

double SheetLayout::ColumnWidthCharacters(std::int32_t column) const {
  for (const ColumnInfo& info : columns_)
    if (info.min <= column && column <= info.max && info.width > 0) return info.width;
  if (defaultColumnWidth_ > 0) return defaultColumnWidth_;
  double mdw = MaxDigitWidth();
  double pixels = std::ceil((baseColumnWidth_ * mdw + 5) / 8) * 8;
  return std::floor(pixels / mdw * 256) / 256;
}

double SheetLayout::ColumnWidthPoints(std::int32_t column) const { return ColumnWidthPoints(column, MaxDigitWidth()); }

double SheetLayout::ColumnWidthPoints(std::int32_t column, double mdw) const {
  for (const ColumnInfo& info : columns_)
    if (info.min <= column && column <= info.max && info.hidden) return 0;
  bool explicitWidth = false;
  for (const ColumnInfo& info : columns_)
    if (info.min <= column && column <= info.max && info.width > 0) explicitWidth = true;
  double pixels;
  if (!explicitWidth && defaultColumnWidth_ <= 0) {
    // The default column width is rounded up to a multiple of 8 pixels.
    pixels = std::ceil((baseColumnWidth_ * mdw + 5) / 8) * 8;
  } else {
    double width = ColumnWidthCharacters(column);
    pixels = std::trunc(((256 * width + std::trunc(128 / mdw)) / 256) * mdw);
  }
  return pixels * 0.75;
}

double SheetLayout::RowHeightPoints(std::int32_t row) const {
  const Row* r = cells_.FindRow(row);
  if (r) {
    if (r->flags & kRowHidden) return 0;
    if (r->height > 0) return r->height;
  }
  return defaultRowHeight_;
}

double SheetLayout::CellLeft(std::int32_t column) const {
  double left = 0;
  for (std::int32_t c = 1; c < column; ++c) left += ColumnWidthPoints(c);
  return left;
}

double SheetLayout::CellTop(std::int32_t row) const {
  return (row - 1) * defaultRowHeight_ + cells_.HeightDifferenceAbove(row, defaultRowHeight_);
}

std::pair<std::int32_t, double> SheetLayout::ColumnAt(double x) const {
  double left = 0;
  const double mdw = MaxDigitWidth();
  for (std::int32_t column = 1; column < kMaxColumns; ++column) {
    double width = ColumnWidthPoints(column, mdw);
    if (left + width > x) return {column, x - left};
    left += width;
  }
  return {kMaxColumns, std::max(0.0, x - left)};
}

std::pair<std::int32_t, double> SheetLayout::RowAt(double y) const {
  // Tops grow with the row number: the answer is the last row whose top is at or above y. Most
  // rows have the default height, so the search starts at the row that would hold y then and
  // widens its bracket in doubling steps: a few row tops instead of a search over every row.
  std::int32_t guess = 1;
  if (defaultRowHeight_ > 0 && y > 0)
    guess = static_cast<std::int32_t>(std::min<double>(y / defaultRowHeight_ + 1, kMaxRows));
  // CellTop(low) <= y (or low is row 1), CellTop(high) > y (or high is past the last row).
  std::int32_t low, high;
  if (CellTop(guess) <= y) {
    low = guess;
    high = kMaxRows + 1;
    for (std::int32_t step = 1; low + step <= kMaxRows; step *= 2) {
      if (CellTop(low + step) > y) {
        high = low + step;
        break;
      }
      low += step;
    }
  } else {
    high = guess;
    low = 1;
    for (std::int32_t step = 1; high - step >= 1; step *= 2) {
      if (CellTop(high - step) <= y) {
        low = high - step;
        break;
      }
      high -= step;
    }
  }
  while (high - low > 1) {
    std::int32_t middle = low + (high - low) / 2;
    if (CellTop(middle) <= y) low = middle;
    else high = middle;
  }
  return {low, y - CellTop(low)};
}

void SheetLayout::SetColumnWidth(std::int32_t column, double characters) {
  // Split the column out of any range that holds it.
  std::vector<ColumnInfo> result;
  ColumnInfo own;
  own.min = own.max = column;
  for (const ColumnInfo& info : columns_) {
    if (info.max < column || info.min > column) {
      result.push_back(info);
      continue;
    }
    own = info;
    own.min = own.max = column;
    if (info.min < column) {
      ColumnInfo before = info;
      before.max = column - 1;
      result.push_back(before);
    }
    if (info.max > column) {
      ColumnInfo after = info;
      after.min = column + 1;
      result.push_back(after);
    }
  }
  own.width = characters;
  own.customWidth = true;
  own.bestFit = false;
  result.push_back(own);
  std::sort(result.begin(), result.end(), [](const ColumnInfo& a, const ColumnInfo& b) { return a.min < b.min; });
  columns_.swap(result);
}

void SheetLayout::SetRowHeight(std::int32_t row, double points) {
  Row& r = cells_.GetRow(row);
  r.height = static_cast<float>(points);
  r.flags |= kRowCustomHeight;
  cells_.RowsChangedFrom(row);
}

const ColumnInfo* SheetLayout::StyledColumn(std::int32_t column) const {
  for (const ColumnInfo& info : columns_)
    if (info.min <= column && column <= info.max && info.hasStyle) return &info;
  return nullptr;
}

namespace {

void SetBreak(std::vector<PageBreak>& list, std::int32_t id, std::int32_t max, int type) {
  auto it = std::lower_bound(list.begin(), list.end(), id, [](const PageBreak& b, std::int32_t k) { return b.id < k; });
  bool present = it != list.end() && it->id == id;
  if (type == platform::kPageBreakManual) {
    if (present) {
      it->manual = true;
      return;
    }
    PageBreak b;
    b.id = id;
    b.max = max;
    b.manual = true;
    list.insert(it, b);
  } else if (type == -4142) {  // no break
    if (present) list.erase(it);
  } else {
    RaiseApplicationDefined();
  }
}

}  // namespace

void SheetLayout::SetRowBreak(std::int32_t id, int type) { SetBreak(rowBreaks_, id, kMaxColumns - 1, type); }

void SheetLayout::SetColumnBreak(std::int32_t id, int type) { SetBreak(columnBreaks_, id, kMaxRows - 1, type); }

}  // namespace tabrix::xlsx
