// Compact in-memory cells of one worksheet: rows sorted by number, each with its cells sorted
// by column. A cell is 24 bytes; texts live in the workbook's string table and formulas in its
// formula table, so a cell holds only indexes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

namespace tabrix::xlsx {

enum class CellKind : std::uint8_t {
  Blank,    // formatted but empty
  Number,
  Text,     // index into the string table
  Boolean,
  Error,    // index into the string table ("#N/A", "#REF!", ...)
};

inline constexpr std::uint32_t kNoFormula = std::numeric_limits<std::uint32_t>::max();

struct Cell {
  union {
    double number;
    std::uint32_t text;
  };
  std::int32_t column = 0;
  std::uint32_t style = 0;
  std::uint32_t formula = kNoFormula;  // index into the workbook's formula table
  CellKind kind = CellKind::Blank;

  Cell() : number(0) {}
  bool HasFormula() const { return formula != kNoFormula; }
};

// Row flags as the sheet XML holds them.
enum RowFlag : std::uint8_t {
  kRowCustomHeight = 1,
  kRowHidden = 2,
  kRowCustomFormat = 4,
  kRowCollapsed = 8,
  kRowThickTop = 16,
  kRowThickBottom = 32,
};

struct Row {
  std::int32_t number = 0;
  float height = 0;  // points; 0 = the sheet's default
  std::uint32_t style = 0;
  std::uint8_t flags = 0;
  std::uint8_t outlineLevel = 0;
  std::vector<Cell> cells;

  bool HasProperties() const { return height > 0 || flags != 0 || outlineLevel != 0 || style != 0; }
  bool Empty() const { return cells.empty() && !HasProperties(); }

  Cell* Find(std::int32_t column) {
    auto it = std::lower_bound(cells.begin(), cells.end(), column,
                               [](const Cell& c, std::int32_t col) { return c.column < col; });
    return it != cells.end() && it->column == column ? &*it : nullptr;
  }
  // The cell at `column`, created blank (with the row's style) when absent.
  Cell& Get(std::int32_t column) {
    if (cells.empty() || cells.back().column < column) {
      cells.emplace_back();
      cells.back().column = column;
      cells.back().style = (flags & kRowCustomFormat) ? style : 0;
      return cells.back();
    }
    auto it = std::lower_bound(cells.begin(), cells.end(), column,
                               [](const Cell& c, std::int32_t col) { return c.column < col; });
    if (it != cells.end() && it->column == column) return *it;
    it = cells.insert(it, Cell());
    it->column = column;
    it->style = (flags & kRowCustomFormat) ? style : 0;
    return *it;
  }
};

class SheetCells {
 public:
  // Rows may be changed through Rows(); whoever changes heights, hidden flags, or adds or
  // removes rows other than through GetRow calls RowsChangedFrom with the first row affected.
  std::vector<Row>& Rows() { return rows_; }
  const std::vector<Row>& Rows() const { return rows_; }

  Row* FindRow(std::int32_t number) {
    if (!rows_.empty() && rows_.back().number == number) return &rows_.back();
    auto it = LowerBound(number);
    return it != rows_.end() && it->number == number ? &*it : nullptr;
  }
  const Row* FindRow(std::int32_t number) const {
    return const_cast<SheetCells*>(this)->FindRow(number);
  }
  Row& GetRow(std::int32_t number) {
    if (rows_.empty() || rows_.back().number < number) {
      // Rows written one after the other tend to be alike: start with the previous row's room.
      std::size_t room = rows_.empty() ? 0 : rows_.back().cells.size();
      rows_.emplace_back();
      rows_.back().number = number;
      rows_.back().cells.reserve(room);
      return rows_.back();
    }
    auto it = LowerBound(number);
    if (it != rows_.end() && it->number == number) return *it;
    it = rows_.insert(it, Row());
    it->number = number;
    RowsChangedFrom(number);
    return *it;
  }

  // The cell at (row, column), created blank when absent. A row that must grow takes the room
  // of the row above it at once: rows filled one after the other end up alike, and growing by
  // doubling would leave most of a million rows with unused room.
  Cell& GetCell(std::int32_t row, std::int32_t column) {
    Row& r = GetRow(row);
    if (r.cells.size() == r.cells.capacity() && &r != rows_.data() && !r.Find(column)) {
      const std::size_t above = (&r - 1)->cells.size();
      if (above > r.cells.size()) r.cells.reserve(above);
    }
    return r.Get(column);
  }

  void RowsChangedFrom(std::int32_t number) {
    auto index = static_cast<std::size_t>(LowerBound(number) - rows_.begin());
    if (index < validHeights_) validHeights_ = index;
  }

  // Sum over the rows above `row` of how much their height differs from `defaultHeight`
  // (hidden rows count as 0 high). Kept as running sums that are brought up to date only from
  // the first changed row on, so the cost follows what changed.
  double HeightDifferenceAbove(std::int32_t row, double defaultHeight) {
    if (defaultHeight != heightsDefault_) {
      heightsDefault_ = defaultHeight;
      validHeights_ = 0;
    }
    auto index = static_cast<std::size_t>(LowerBound(row) - rows_.begin());
    if (heightSums_.size() < rows_.size() + 1) heightSums_.resize(rows_.size() + 1);
    if (validHeights_ == 0) heightSums_[0] = 0;
    for (std::size_t i = validHeights_; i < index; ++i) {
      const Row& r = rows_[i];
      double difference = (r.flags & kRowHidden) ? -defaultHeight : (r.height > 0 ? r.height - defaultHeight : 0);
      heightSums_[i + 1] = heightSums_[i] + difference;
    }
    if (index > validHeights_) validHeights_ = index;
    return heightSums_[index];
  }
  Cell* FindCell(std::int32_t row, std::int32_t column) {
    Row* r = FindRow(row);
    return r ? r->Find(column) : nullptr;
  }
  // First row with number >= `number`.
  std::vector<Row>::iterator LowerBound(std::int32_t number) {
    return std::lower_bound(rows_.begin(), rows_.end(), number,
                            [](const Row& r, std::int32_t n) { return r.number < n; });
  }

 private:
  std::vector<Row> rows_;
  std::vector<double> heightSums_;  // heightSums_[i]: difference of rows_[0..i)
  std::size_t validHeights_ = 0;    // heightSums_[0..validHeights_] are up to date
  double heightsDefault_ = -1;
};

}  // namespace tabrix::xlsx
