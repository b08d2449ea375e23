// Geometry of rows and columns in points, merged areas and manual page breaks.
#include <cmath>

#include "xlsx/engine_errors.h"
#include "xlsx/workbook_document.h"

namespace tabrix::xlsx {

// Width of a digit as a fraction of the font size, for the fonts templates commonly use.
double DigitWidthEm(const std::string& font) {
  struct Entry {
    const char* name;
    double em;
  };
  static const Entry kFonts[] = {
      {"Calibri", 0.5068},        {"Carlito", 0.5068},        {"Calibri Light", 0.5068},
      {"Arial", 0.556},           {"Liberation Sans", 0.556}, {"Helvetica", 0.556},
      {"Arial Narrow", 0.456},    {"Times New Roman", 0.5},   {"Liberation Serif", 0.5},
      {"Cambria", 0.5557},        {"Caladea", 0.5557},        {"Verdana", 0.6362},
      {"Tahoma", 0.5459},         {"Segoe UI", 0.5591},       {"Courier New", 0.6001},
      {"Liberation Mono", 0.6001}, {"DejaVu Sans", 0.6362},   {"Aptos", 0.5371},
      {"Aptos Narrow", 0.4629},   {"Georgia", 0.6143},        {"Trebuchet MS", 0.5239},
      {"MS Sans Serif", 0.556},   {"Consolas", 0.5498},
  };
  for (const Entry& entry : kFonts)
    if (NamesEqual(font, entry.name)) return entry.em;
  return 0.5068;
}

double XlsxWorksheet::MaxDigitWidth() const {
  const StyleSheet& styles = book_->Styles();
  double pixels = styles.DefaultFontSize() * 96.0 / 72.0 * DigitWidthEm(styles.DefaultFontName());
  return std::max(1.0, std::floor(pixels + 0.5));
}

double XlsxWorksheet::ColumnWidthCharacters(std::int32_t column) const {
  for (const ColumnInfo& info : columns_)
    if (info.min <= column && column <= info.max && info.width > 0) return info.width;
  if (defaultColumnWidth_ > 0) return defaultColumnWidth_;
  double mdw = MaxDigitWidth();
  double pixels = std::ceil((baseColumnWidth_ * mdw + 5) / 8) * 8;
  return std::floor(pixels / mdw * 256) / 256;
}

double XlsxWorksheet::ColumnWidthPoints(std::int32_t column) {
  CheckCell(1, column);
  for (const ColumnInfo& info : columns_)
    if (info.min <= column && column <= info.max && info.hidden) return 0;
  double mdw = MaxDigitWidth();
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

double XlsxWorksheet::RowHeightPoints(std::int32_t row) {
  CheckCell(row, 1);
  const Row* r = cells_.FindRow(row);
  if (r) {
    if (r->flags & kRowHidden) return 0;
    if (r->height > 0) return r->height;
  }
  return defaultRowHeight_;
}

double XlsxWorksheet::CellLeft(std::int32_t column) {
  CheckCell(1, column);
  double left = 0;
  for (std::int32_t c = 1; c < column; ++c) left += ColumnWidthPoints(c);
  return left;
}

double XlsxWorksheet::CellTop(std::int32_t row) {
  CheckCell(row, 1);
  return (row - 1) * defaultRowHeight_ + cells_.HeightDifferenceAbove(row, defaultRowHeight_);
}

namespace {

bool MergeOrder(const CellRect& a, const CellRect& b) {
  return a.row1 != b.row1 ? a.row1 < b.row1 : a.col1 < b.col1;
}

}  // namespace

void XlsxWorksheet::SortMerges() {
  if (!std::is_sorted(merges_.begin(), merges_.end(), MergeOrder)) std::sort(merges_.begin(), merges_.end(), MergeOrder);
  tallestMerge_ = widestMerge_ = 1;
  for (const CellRect& m : merges_) {
    tallestMerge_ = std::max(tallestMerge_, m.Rows());
    widestMerge_ = std::max(widestMerge_, m.Columns());
  }
}

std::pair<std::vector<CellRect>::iterator, std::vector<CellRect>::iterator> XlsxWorksheet::MergesNear(
    std::int32_t first, std::int32_t last) {
  // A merge reaching row `first` starts at most tallestMerge_ - 1 rows above it.
  std::int32_t from = std::max(1, first - tallestMerge_ + 1);
  auto begin = std::lower_bound(merges_.begin(), merges_.end(), from,
                                [](const CellRect& m, std::int32_t row) { return m.row1 < row; });
  auto end = std::upper_bound(begin, merges_.end(), last,
                              [](std::int32_t row, const CellRect& m) { return row < m.row1; });
  return {begin, end};
}

CellRect XlsxWorksheet::MergeArea(std::int32_t row, std::int32_t column) {
  CheckCell(row, column);
  auto [begin, end] = MergesNear(row, row);
  for (auto it = begin; it != end; ++it)
    if (it->row1 <= row && row <= it->row2 && it->col1 <= column && column <= it->col2) return *it;
  return CellRect{row, column, row, column};
}

void XlsxWorksheet::Merge(const CellRect& rect) {
  CheckCell(rect.row1, rect.col1);
  CheckCell(rect.row2, rect.col2);
  if (rect.row1 == rect.row2 && rect.col1 == rect.col2) return;
  // Merged areas never overlap: the new one absorbs those it touches.
  auto [begin, end] = MergesNear(rect.row1, rect.row2);
  auto kept = std::remove_if(begin, end, [&](const CellRect& m) {
    return m.row1 <= rect.row2 && rect.row1 <= m.row2 && m.col1 <= rect.col2 && rect.col1 <= m.col2;
  });
  merges_.erase(kept, end);
  merges_.insert(std::upper_bound(merges_.begin(), merges_.end(), rect, MergeOrder), rect);
  tallestMerge_ = std::max(tallestMerge_, rect.Rows());
  widestMerge_ = std::max(widestMerge_, rect.Columns());
}

void XlsxWorksheet::SetColumnWidth(std::int32_t column, double characters) {
  CheckCell(1, column);
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

void XlsxWorksheet::SetRowHeight(std::int32_t row, double points) {
  CheckCell(row, 1);
  Row& r = cells_.GetRow(row);
  r.height = static_cast<float>(points);
  r.flags |= kRowCustomHeight;
  cells_.RowsChangedFrom(row);
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

void XlsxWorksheet::SetRowPageBreak(std::int32_t row, int type) {
  CheckCell(row, 1);
  if (row == 1) return;  // nothing lies above the first row
  SetBreak(rowBreaks_, row - 1, kMaxColumns - 1, type);
}

void XlsxWorksheet::SetColumnPageBreak(std::int32_t column, int type) {
  CheckCell(1, column);
  if (column == 1) return;
  SetBreak(columnBreaks_, column - 1, kMaxRows - 1, type);
}

}  // namespace tabrix::xlsx
