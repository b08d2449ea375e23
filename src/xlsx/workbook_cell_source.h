// The native engine's workbook seen by the formula evaluator: worksheets in tab order, their
// cells (formula cells by their formula text), defined names and hidden rows.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "xlsx/evaluator/cell_source.h"
#include "xlsx/xlsx_workbook.h"

namespace tabrix::xlsx {

class WorkbookCellSource final : public eval::CellSource {
 public:
  explicit WorkbookCellSource(XlsxWorkbook& book);

  int SheetCount() const { return static_cast<int>(sheets_.size()); }
  XlsxWorksheet& Sheet(int index) const { return *sheets_[static_cast<std::size_t>(index)]; }

  int FindSheet(std::string_view name) override;
  eval::CellContent GetCell(int sheet, std::int32_t row, std::int32_t column) override;
  void VisitCells(int sheet, const CellRect& rect, eval::CellVisitor visit) override;
  std::optional<std::string> FindName(std::string_view name, int sheet) override;
  std::optional<CellRect> UsedArea(int sheet) override;
  bool RowHidden(int sheet, std::int32_t row) override;
  std::uint32_t FormulaIdLimit() override;

 private:
  eval::CellContent Content(int sheet, std::int32_t row, const Cell& cell) const;
  bool InsideArrayFormula(int sheet, std::int32_t row, std::int32_t column) const;

  XlsxWorkbook& book_;
  std::vector<std::shared_ptr<XlsxWorksheet>> sheets_;
  // Per sheet: the cells of array formulas that span several cells. Their values are the
  // array's elements, which only the reader computes.
  std::vector<std::vector<CellRect>> arrayAreas_;
  // Texts of the cells of shared formulas, by sheet, row and column, produced when first read.
  mutable std::unordered_map<std::uint64_t, std::string> sharedTexts_;
};

}  // namespace tabrix::xlsx
