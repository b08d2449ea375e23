// The evaluator's view of the engine's cells.
#include "xlsx/workbook_cell_source.h"

#include <algorithm>

#include "xlsx/cell_address.h"

namespace tabrix::xlsx {

using eval::CellContent;

WorkbookCellSource::WorkbookCellSource(XlsxWorkbook& book)
    : book_(book), sheets_(book.Worksheets()), arrayAreas_(sheets_.size()) {
  book.SettleAllFormulas();
  const std::vector<Formula>& formulas = book.Formulas();
  for (std::size_t s = 0; s < sheets_.size(); ++s) {
    for (const Row& row : sheets_[s]->Cells().Rows()) {
      for (const Cell& cell : row.cells) {
        if (!cell.HasFormula()) continue;
        const Formula::Type type = formulas[cell.formula].type;
        if (type == Formula::kNormal || type == Formula::kShared) continue;
        const CellRect ref = book.FormulaRef(cell.formula);
        if (ref.row1 == ref.row2 && ref.col1 == ref.col2) continue;
        arrayAreas_[s].push_back(ref);
      }
    }
  }
}

int WorkbookCellSource::FindSheet(std::string_view name) {
  for (std::size_t i = 0; i < sheets_.size(); ++i)
    if (NamesEqual(sheets_[i]->Name(), name)) return static_cast<int>(i);
  return -1;
}

bool WorkbookCellSource::InsideArrayFormula(int sheet, std::int32_t row,
                                            std::int32_t column) const {
  for (const CellRect& r : arrayAreas_[static_cast<std::size_t>(sheet)])
    if (row >= r.row1 && row <= r.row2 && column >= r.col1 && column <= r.col2) return true;
  return false;
}

CellContent WorkbookCellSource::Content(int sheet, std::int32_t row, const Cell& cell) const {
  if (!arrayAreas_[static_cast<std::size_t>(sheet)].empty() &&
      InsideArrayFormula(sheet, row, cell.column))
    return CellContent::OfFormula({}, false);
  if (cell.HasFormula()) {
    const Formula& formula = book_.Formulas()[cell.formula];
    switch (formula.type) {
      case Formula::kNormal:
        return CellContent::OfFormula(formula.Text(), !formula.Text().empty(), cell.formula);
      case Formula::kShared: {
        // The cells share the entry: each is computed under its own position, not the entry's id.
        const std::uint64_t key = (static_cast<std::uint64_t>(sheet) << 40) |
                                  (static_cast<std::uint64_t>(row) << 16) | static_cast<std::uint64_t>(cell.column);
        auto [it, added] = sharedTexts_.try_emplace(key);
        if (added) it->second = book_.CellFormulaText(cell.formula, row, cell.column);
        return CellContent::OfFormula(it->second, !it->second.empty());
      }
      case Formula::kArray: {
        CellContent content = CellContent::OfFormula(formula.Text(), !formula.Text().empty(), cell.formula);
        content.arrayFormula = true;
        return content;
      }
      default:
        return CellContent::OfFormula({}, false);
    }
  }
  const StringTable& strings = book_.Strings();
  switch (cell.kind) {
    case CellKind::Blank: return {};
    case CellKind::Number: return CellContent::OfNumber(cell.number);
    case CellKind::Text: return CellContent::OfText(strings.Text(cell.text));
    case CellKind::Boolean: return CellContent::OfBoolean(cell.number != 0);
    case CellKind::Error:
      if (std::optional<eval::ErrorCode> error = eval::ParseErrorText(strings.Text(cell.text)))
        return CellContent::OfError(*error);
      return CellContent::OfFormula({}, false);  // an error the evaluator does not know
  }
  return {};
}

CellContent WorkbookCellSource::GetCell(int sheet, std::int32_t row, std::int32_t column) {
  const Cell* cell = Sheet(sheet).Cells().FindCell(row, column);
  if (!cell) {
    if (!arrayAreas_[static_cast<std::size_t>(sheet)].empty() &&
        InsideArrayFormula(sheet, row, column))
      return CellContent::OfFormula({}, false);
    return {};
  }
  return Content(sheet, row, *cell);
}

void WorkbookCellSource::VisitCells(int sheet, const CellRect& rect, eval::CellVisitor visit) {
  SheetCells& cells = Sheet(sheet).Cells();
  const bool arrays = !arrayAreas_[static_cast<std::size_t>(sheet)].empty();
  for (auto row = cells.LowerBound(rect.row1); row != cells.Rows().end(); ++row) {
    if (row->number > rect.row2) break;
    auto cell = std::lower_bound(row->cells.begin(), row->cells.end(), rect.col1,
                                 [](const Cell& c, std::int32_t col) { return c.column < col; });
    for (; cell != row->cells.end() && cell->column <= rect.col2; ++cell) {
      if (cell->kind == CellKind::Blank && !cell->HasFormula() && !arrays) continue;
      CellContent content = Content(sheet, row->number, *cell);
      if (content.kind == CellContent::Kind::Blank) continue;
      if (!visit(row->number, cell->column, content)) return;
    }
  }
  if (!arrays) return;
  // Cells of array formulas that hold nothing yet still count as unknown values.
  for (const CellRect& r : arrayAreas_[static_cast<std::size_t>(sheet)]) {
    std::int32_t r1 = std::max(r.row1, rect.row1), r2 = std::min(r.row2, rect.row2);
    std::int32_t c1 = std::max(r.col1, rect.col1), c2 = std::min(r.col2, rect.col2);
    for (std::int32_t rr = r1; rr <= r2; ++rr)
      for (std::int32_t cc = c1; cc <= c2; ++cc)
        if (!cells.FindCell(rr, cc) && !visit(rr, cc, CellContent::OfFormula({}, false))) return;
  }
}

std::optional<std::string> WorkbookCellSource::FindName(std::string_view name, int sheet) {
  const XlsxWorksheet* scope = sheet >= 0 && sheet < SheetCount() ? &Sheet(sheet) : nullptr;
  const DefinedName* global = nullptr;
  for (const DefinedName& entry : book_.DefinedNames()) {
    if (entry.scopeLost || !NamesEqual(entry.name, name)) continue;
    if (scope && entry.scope == scope) return entry.formula;
    if (!entry.scope) global = &entry;
  }
  if (global) return global->formula;
  return std::nullopt;
}

std::optional<CellRect> WorkbookCellSource::UsedArea(int sheet) {
  const std::vector<Row>& rows = Sheet(sheet).Cells().Rows();
  std::optional<CellRect> used;
  for (const Row& row : rows) {
    for (const Cell& cell : row.cells) {
      if (cell.kind == CellKind::Blank && !cell.HasFormula()) continue;
      if (!used) {
        used = CellRect{row.number, cell.column, row.number, cell.column};
        continue;
      }
      used->row2 = row.number;
      used->col1 = std::min(used->col1, cell.column);
      used->col2 = std::max(used->col2, cell.column);
    }
  }
  return used;
}

std::uint32_t WorkbookCellSource::FormulaIdLimit() {
  return static_cast<std::uint32_t>(book_.Formulas().size());
}

bool WorkbookCellSource::RowHidden(int sheet, std::int32_t row) {
  const Row* r = Sheet(sheet).Cells().FindRow(row);
  return r && (r->flags & kRowHidden);
}

}  // namespace tabrix::xlsx
