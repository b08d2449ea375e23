// Computing every formula of a workbook and storing the results as cached values.
#include "xlsx/formula_recalculation.h"

#include "xlsx/workbook_cell_source.h"
#include "xlsx/xlsx_workbook.h"

namespace tabrix::xlsx {
namespace {

// The <f> attribute that asks the reader to compute the cell.
constexpr std::string_view kCalculateCell = " ca=\"1\"";

void StoreResult(XlsxWorkbook& book, Cell& cell, const eval::Value& value) {
  switch (value.GetKind()) {
    case eval::Value::Kind::Number:
      cell.kind = CellKind::Number;
      cell.number = value.Number();
      break;
    case eval::Value::Kind::Boolean:
      cell.kind = CellKind::Boolean;
      cell.number = value.Bool() ? 1.0 : 0.0;
      break;
    case eval::Value::Kind::Text:
      cell.kind = CellKind::Text;
      cell.text = book.Strings().Intern(value.Text());
      break;
    case eval::Value::Kind::Error:
      cell.kind = CellKind::Error;
      cell.text = book.Strings().Intern(eval::ErrorText(value.Error()));
      break;
    default:  // never produced for a cell
      cell.kind = CellKind::Blank;
      cell.number = 0;
      break;
  }
}

}  // namespace

RecalculationSummary RecalculateFormulas(XlsxWorkbook& book, const eval::EvaluatorOptions& options) {
  RecalculationSummary summary;
  WorkbookCellSource source(book);
  eval::FormulaEvaluator evaluator(source, options);
  // Row by row: most formulas refer to cells above them, whose values are then known.
  for (int s = 0; s < source.SheetCount(); ++s) {
    for (Row& row : source.Sheet(s).Cells().Rows()) {
      for (Cell& cell : row.cells) {
        if (!cell.HasFormula()) continue;
        ++summary.formulas;
        eval::CellResult result = evaluator.EvaluateCell(s, row.number, cell.column);
        if (result.Computed()) {
          StoreResult(book, cell, result.value);
          ++summary.computed;
          continue;
        }
        ++summary.leftToReader;
        if (summary.firstProblem.empty()) summary.firstProblem = result.reason;
        // No stale value: the reader computes the cell.
        cell.kind = CellKind::Blank;
        cell.number = 0;
        std::string& attributes = book.FormulaExtraOf(cell.formula).attributes;
        if (attributes.find(" ca=") == std::string::npos) attributes += kCalculateCell;
      }
    }
  }
  return summary;
}

}  // namespace tabrix::xlsx
