// Page layout geometry of one worksheet: column widths (in characters and points), row heights
// and positions, the default sizes of the sheet, and manual page breaks.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "xlsx/sheet_cells.h"
#include "xlsx/style_sheet.h"

namespace tabrix::xlsx {

// A <col> range of the sheet.
struct ColumnInfo {
  std::int32_t min = 1, max = 1;
  double width = 0;   // characters; 0 = default width
  std::uint32_t style = 0;
  bool hidden = false, customWidth = false, bestFit = false, collapsed = false;
  std::uint8_t outlineLevel = 0;
  bool hasStyle = false;
};

struct PageBreak {
  std::int32_t id = 0;  // the break comes after row (column) id
  std::int32_t min = 0, max = 0;
  bool manual = true;
  bool pivot = false;
};

// Row heights live with the rows in the cell store; the layout reads and sets them there. The
// styles give the default font that column widths are measured in. Positions are not checked
// against the sheet's limits: the worksheet does that.
class SheetLayout {
 public:
  SheetLayout(SheetCells& cells, const StyleSheet& styles) : cells_(cells), styles_(styles) {}

  // Pixels of the widest digit of the default font.
  double MaxDigitWidth() const;
  double ColumnWidthCharacters(std::int32_t column) const;
  double ColumnWidthPoints(std::int32_t column) const;
  double RowHeightPoints(std::int32_t row) const;
  double CellLeft(std::int32_t column) const;
  double CellTop(std::int32_t row) const;
  // The 1-based column (row) that holds the point x (y) and the distance from its start.
  std::pair<std::int32_t, double> ColumnAt(double x) const;
  std::pair<std::int32_t, double> RowAt(double y) const;
  void SetColumnWidth(std::int32_t column, double characters);
  void SetRowHeight(std::int32_t row, double points);
  // The style of a column range that holds the column and has one.
  const ColumnInfo* StyledColumn(std::int32_t column) const;

  // Page breaks after row (column) id; type is platform::kPageBreakManual or -4142 (none).
  void SetRowBreak(std::int32_t id, int type);
  void SetColumnBreak(std::int32_t id, int type);

  // The column ranges (sorted, not overlapping), page breaks (sorted by id) and default sizes
  // as the sheet part holds them, for reading, writing and structural edits.
  std::vector<ColumnInfo>& Columns() { return columns_; }
  const std::vector<ColumnInfo>& Columns() const { return columns_; }
  std::vector<PageBreak>& RowBreaks() { return rowBreaks_; }
  const std::vector<PageBreak>& RowBreaks() const { return rowBreaks_; }
  std::vector<PageBreak>& ColumnBreaks() { return columnBreaks_; }
  const std::vector<PageBreak>& ColumnBreaks() const { return columnBreaks_; }
  double DefaultRowHeight() const { return defaultRowHeight_; }
  double DefaultColumnWidth() const { return defaultColumnWidth_; }
  void SetDefaults(double rowHeight, double columnWidth, std::int32_t baseColumnWidth);

 private:
  // The width with the widest digit's pixels measured already (for walks over many columns).
  double ColumnWidthPoints(std::int32_t column, double mdw) const;

  SheetCells& cells_;
  const StyleSheet& styles_;
  std::vector<ColumnInfo> columns_;
  std::vector<PageBreak> rowBreaks_, columnBreaks_;
  double defaultRowHeight_ = 15;
  double defaultColumnWidth_ = 0;  // characters; 0 = from baseColumnWidth_
  std::int32_t baseColumnWidth_ = 8;
};

}  // namespace tabrix::xlsx
