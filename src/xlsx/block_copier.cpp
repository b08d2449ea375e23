// Range.Copy to a destination cell and Range.AutoFill with the copy type: values, formulas
// (relative references translated), formats, merged areas, row heights of entire rows, and
// the conditional formats and validations of the source cells.
#include "xlsx/block_copier.h"

#include <algorithm>

#include "xlsx/engine_errors.h"
#include "xlsx/formula_references.h"
#include "xlsx/xlsx_workbook.h"
#include "xlsx/xlsx_worksheet.h"
#include "xlsx/xml_util.h"

namespace tabrix::xlsx {

namespace {

bool Contains(const CellRect& outer, const CellRect& inner) {
  return outer.row1 <= inner.row1 && inner.row2 <= outer.row2 && outer.col1 <= inner.col1 && inner.col2 <= outer.col2;
}

std::size_t FirstCellAt(const Row& row, std::int32_t column) {
  return static_cast<std::size_t>(
      std::lower_bound(row.cells.begin(), row.cells.end(), column,
                       [](const Cell& c, std::int32_t col) { return c.column < col; }) -
      row.cells.begin());
}

}  // namespace

BlockCopier::BlockCopier(XlsxWorksheet& sheet) : sheet_(sheet), book_(sheet.Book()) {}

void BlockCopier::Copy(const CellRect& source, std::int32_t destRow, std::int32_t destColumn) {
  if (source.row1 < 1 || source.col1 < 1 || source.row2 > kMaxRows || source.col2 > kMaxColumns ||
      source.row1 > source.row2 || source.col1 > source.col2)
    RaiseApplicationDefined();
  const std::int32_t dRow = destRow - source.row1, dCol = destColumn - source.col1;
  const CellRect dest{destRow, destColumn, destRow + source.Rows() - 1, destColumn + source.Columns() - 1};
  if (destRow < 1 || destColumn < 1 || dest.row2 > kMaxRows || dest.col2 > kMaxColumns)
    RaiseMethodFailed("Copy", "Range");
  if (dRow == 0 && dCol == 0) return;
  ++book_.Work().copies;
  const bool entireRows = source.IsEntireRows();
  XlsxWorkbook& book = book_;
  SheetCells& cells = sheet_.Cells();
  MergedAreas& merges = sheet_.MergedCells();

  // Snapshot of the source: cells with their formula texts, row properties.
  struct SourceRow {
    Row properties;  // number, height, style, flags (cells unused)
    std::vector<Cell> cells;
    std::vector<std::pair<Formula, FormulaExtra>> formulas;  // per cell with a formula (the destination may overlap
                                    // the source, and clearing it releases formulas)
    bool exists = false;
  };
  std::vector<SourceRow> snapshot;
  snapshot.reserve(static_cast<std::size_t>(source.Rows()));
  {
    auto& rows = cells.Rows();
    auto it = cells.LowerBound(source.row1);
    for (; it != rows.end() && it->number <= source.row2; ++it) {
      SourceRow copy;
      copy.exists = true;
      copy.properties.number = it->number;
      copy.properties.height = it->height;
      copy.properties.style = it->style;
      copy.properties.flags = it->flags;
      copy.properties.outlineLevel = it->outlineLevel;
      std::size_t a = FirstCellAt(*it, source.col1), b = FirstCellAt(*it, source.col2 + 1);
      copy.cells.assign(it->cells.begin() + static_cast<std::ptrdiff_t>(a), it->cells.begin() + static_cast<std::ptrdiff_t>(b));
      for (const Cell& cell : copy.cells)
        if (cell.HasFormula()) {
          // A copy of a shared formula's cell is a formula of its own.
          if (book.Formulas()[cell.formula].type == Formula::kShared) {
            copy.formulas.emplace_back(Formula(book.CellFormulaText(cell.formula, it->number, cell.column)),
                                       FormulaExtra{});
            continue;
          }
          book.FormulaText(cell.formula);
          const FormulaExtra* extra = book.FindFormulaExtra(cell.formula);
          copy.formulas.emplace_back(book.Formulas()[cell.formula], extra ? *extra : FormulaExtra{});
        }
      snapshot.push_back(std::move(copy));
    }
  }
  std::vector<CellRect> sourceMerges;
  {
    auto [begin, end] = merges.Near(source.row1, source.row2);
    for (auto it = begin; it != end; ++it)
      if (Contains(source, *it)) sourceMerges.push_back(*it);
  }

  // Clear the destination.
  if (entireRows) cells.RowsChangedFrom(dest.row1);
  for (auto it = cells.LowerBound(dest.row1); it != cells.Rows().end() && it->number <= dest.row2; ++it) {
    std::size_t a = FirstCellAt(*it, dest.col1), b = FirstCellAt(*it, dest.col2 + 1);
    for (std::size_t i = a; i < b; ++i) sheet_.ClearFormula(it->cells[i]);
    it->cells.erase(it->cells.begin() + static_cast<std::ptrdiff_t>(a), it->cells.begin() + static_cast<std::ptrdiff_t>(b));
    if (entireRows) {
      it->height = 0;
      it->style = 0;
      it->flags = 0;
      it->outlineLevel = 0;
    }
  }

  // Write the copy.
  for (SourceRow& copy : snapshot) {
    Row& row = cells.GetRow(copy.properties.number + dRow);
    if (entireRows) {
      row.height = copy.properties.height;
      row.style = copy.properties.style;
      row.flags = copy.properties.flags;
      row.outlineLevel = copy.properties.outlineLevel;
    }
    std::size_t formulaIndex = 0;
    for (Cell& cell : copy.cells) {
      cell.column += dCol;
      if (cell.HasFormula()) {
        auto& [original, originalExtra] = copy.formulas[formulaIndex++];
        cell.formula = book.AddFormula(&sheet_, TranslatedFormula(original.Text(), dRow, dCol));
        book.Formulas()[cell.formula].type = original.type;
        if (original.extra) {
          FormulaExtra& extra = book.FormulaExtraOf(cell.formula);
          extra.attributes = std::move(originalExtra.attributes);
          const CellRect& ref = originalExtra.ref;
          extra.ref = CellRect{ref.row1 + dRow, ref.col1 + dCol, ref.row2 + dRow, ref.col2 + dCol};
        }
        if (original.type != Formula::kNormal) book.NoteSpecialFormula(cell.formula);
      }
    }
    std::size_t at = FirstCellAt(row, dest.col1);
    row.cells.insert(row.cells.begin() + static_cast<std::ptrdiff_t>(at), copy.cells.begin(), copy.cells.end());
  }

  // Merged areas: those in the way go, those of the source are repeated.
  merges.RemoveOverlapping(dest);
  for (const CellRect& m : sourceMerges) sheet_.Merge(CellRect{m.row1 + dRow, m.col1 + dCol, m.row2 + dRow, m.col2 + dCol});

  // Conditional formats and validations of the source cells cover the copy as well, those the
  // extension list keeps (x14: lists on other sheets, data bars, icon sets) too; sparklines'
  // lists stay.
  auto extend = [&](RangeList& list) {
    list.Extend(source, dRow, dCol);
    book.Work().rangeEntriesVisited += list.LastVisited();
  };
  for (pugi::xml_node child : sheet_.Root().children()) {
    std::string_view local = LocalName(child.name());
    if (local == "conditionalFormatting") extend(sheet_.RangeListOf(child.attribute("sqref")));
    else if (local == "dataValidations")
      for (pugi::xml_node validation : child.children()) extend(sheet_.RangeListOf(validation.attribute("sqref")));
  }
  for (pugi::xml_node sqref : sheet_.ExtensionRefs().formatLists) extend(sheet_.RangeListOf(sqref));
}


void BlockCopier::Fill(const CellRect& source, const CellRect& destination) {
  const CellRect& s = source;
  const CellRect& d = destination;
  if (d == s) return;
  const bool sameColumns = d.col1 == s.col1 && d.col2 == s.col2;
  const bool sameRows = d.row1 == s.row1 && d.row2 == s.row2;
  if (sameColumns && d.row1 == s.row1 && d.row2 > s.row2) {
    const std::int32_t h = s.Rows();
    for (std::int32_t top = s.row2 + 1; top <= d.row2; top += h) {
      std::int32_t rows = std::min(h, d.row2 - top + 1);
      Copy(CellRect{s.row1, s.col1, s.row1 + rows - 1, s.col2}, top, s.col1);
    }
  } else if (sameColumns && d.row2 == s.row2 && d.row1 < s.row1) {
    const std::int32_t h = s.Rows();
    for (std::int32_t bottom = s.row1 - 1; bottom >= d.row1; bottom -= h) {
      std::int32_t rows = std::min(h, bottom - d.row1 + 1);
      Copy(CellRect{s.row2 - rows + 1, s.col1, s.row2, s.col2}, bottom - rows + 1, s.col1);
    }
  } else if (sameRows && d.col1 == s.col1 && d.col2 > s.col2) {
    const std::int32_t w = s.Columns();
    for (std::int32_t left = s.col2 + 1; left <= d.col2; left += w) {
      std::int32_t columns = std::min(w, d.col2 - left + 1);
      Copy(CellRect{s.row1, s.col1, s.row2, s.col1 + columns - 1}, s.row1, left);
    }
  } else if (sameRows && d.col2 == s.col2 && d.col1 < s.col1) {
    const std::int32_t w = s.Columns();
    for (std::int32_t right = s.col1 - 1; right >= d.col1; right -= w) {
      std::int32_t columns = std::min(w, right - d.col1 + 1);
      Copy(CellRect{s.row1, s.col2 - columns + 1, s.row2, s.col2}, s.row1, right - columns + 1);
    }
  } else {
    RaiseMethodFailed("AutoFill", "Range");
  }
}

}  // namespace tabrix::xlsx
