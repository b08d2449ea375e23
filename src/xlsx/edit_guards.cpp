// Refusals of edits the spreadsheet application does not allow, with its own error texts
// (number 1004). Checked before anything moves, so a refused edit leaves the sheet as it was.
#include "xlsx/edit_guards.h"

#include <algorithm>
#include <string_view>

#include "xlsx/cell_address.h"
#include "xlsx/engine_errors.h"
#include "xlsx/formula_references.h"
#include "xlsx/pivot_tables.h"
#include "xlsx/xlsx_workbook.h"
#include "xlsx/xml_util.h"

namespace tabrix::xlsx {

namespace {

constexpr const char* kPartOfArray = "You can't change part of an array.";
constexpr const char* kAffectsPivotTable =
    "We can't make this change for the selected cells because it will affect a PivotTable. Use the "
    "field list to change the report. If you are trying to insert or delete cells, move the PivotTable "
    "and try again.";

// An xsd:boolean attribute of the sheet XML with its default.
bool BooleanAttribute(pugi::xml_attribute attribute, bool absent) {
  if (!attribute) return absent;
  std::string_view value = attribute.value();
  return value == "1" || value == "true";
}

// The protection attributes say what is locked: insertRows="1" (the default) forbids inserting
// rows on a protected sheet, insertRows="0" allows it. Cell bands cannot be shifted at all.
void CheckProtection(XlsxWorksheet& sheet, const SheetEdit& edit) {
  if (!sheet.IsProtected()) return;
  pugi::xml_node protection = ChildByLocalName(sheet.Root(), "sheetProtection");
  const char* what = edit.OnRows() ? (edit.IsInsert() ? "insertRows" : "deleteRows")
                                   : (edit.IsInsert() ? "insertColumns" : "deleteColumns");
  if (edit.HasBand() || BooleanAttribute(protection.attribute(what), true))
    RaiseMethodFailed(edit.IsInsert() ? "Insert" : "Delete", "Range");
}

// Edits never turn a single-cell array formula into a larger one, so only these are remembered.
bool IsMultiCellArray(XlsxWorkbook& book, std::uint32_t id, const XlsxWorksheet& sheet) {
  const Formula& formula = book.Formulas()[id];
  if (book.FormulaSheet(formula) != &sheet || formula.type != Formula::kArray) return false;
  const CellRect ref = book.FormulaRef(id);
  return ref.row1 != ref.row2 || ref.col1 != ref.col2;
}

bool EditTouches(const CellRect& rect, const SheetEdit& edit) {
  const bool rows = edit.OnRows();
  std::int32_t along1 = rows ? rect.row1 : rect.col1, along2 = rows ? rect.row2 : rect.col2;
  std::int32_t across1 = rows ? rect.col1 : rect.row1, across2 = rows ? rect.col2 : rect.row2;
  if (edit.HasBand() && (across2 < edit.BandFirst || across1 > edit.BandLast)) return false;
  std::int32_t last = edit.First + edit.Count - 1;
  return along1 <= last && edit.First <= along2;
}

}  // namespace

std::vector<CellRect> MultiCellArrays(XlsxWorksheet& sheet) {
  std::vector<CellRect> result;
  XlsxWorkbook& book = sheet.Book();
  for (std::uint32_t id : book.SpecialFormulas(&sheet))
    if (IsMultiCellArray(book, id, sheet)) result.push_back(book.FormulaRef(id));
  return result;
}

bool EditTears(const CellRect& rect, const SheetEdit& edit) {
  const bool rows = edit.OnRows();
  std::int32_t along1 = rows ? rect.row1 : rect.col1, along2 = rows ? rect.row2 : rect.col2;
  std::int32_t across1 = rows ? rect.col1 : rect.row1, across2 = rows ? rect.col2 : rect.row2;
  if (edit.HasBand()) {
    if (across2 < edit.BandFirst || across1 > edit.BandLast) return false;
    bool insideBand = across1 >= edit.BandFirst && across2 <= edit.BandLast;
    if (!insideBand && along2 >= edit.First) return true;  // the band's edge runs through it
  }
  if (edit.IsInsert()) return along1 < edit.First && edit.First <= along2;
  std::int32_t last = edit.First + edit.Count - 1;
  bool touched = along1 <= last && edit.First <= along2;
  bool whole = along1 >= edit.First && along2 <= last;
  return touched && !whole;
}

void CheckEditAllowed(XlsxWorksheet& sheet, const SheetEdit& edit) {
  CheckProtection(sheet, edit);
  for (const CellRect& array : MultiCellArrays(sheet))
    if (EditTears(array, edit)) RaiseEngineError(kPartOfArray);
  for (pugi::xml_node location : PivotLocations(sheet)) {
    auto rect = ParseArea(location.attribute("ref").value());
    if (!rect) continue;
    // Deleting cells of a pivot table, even all of them, is left to the pivot table itself.
    if (EditTears(*rect, edit) || (!edit.IsInsert() && EditTouches(*rect, edit)))
      RaiseEngineError(kAffectsPivotTable);
  }
}

void CheckCellWritable(XlsxWorksheet& sheet, std::int32_t row, std::int32_t column) {
  for (const CellRect& array : MultiCellArrays(sheet))
    if (row >= array.row1 && row <= array.row2 && column >= array.col1 && column <= array.col2)
      RaiseEngineError(kPartOfArray);
}

}  // namespace tabrix::xlsx
