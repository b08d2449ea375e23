// Worksheet identity, reference resolution and cell values; geometry, merged areas and
// pictures are checked here and handed to the sheet's layout, merged areas and pictures.
#include "xlsx/xlsx_worksheet.h"

#include <cmath>

#include "xlsx/block_copier.h"
#include "xlsx/engine_errors.h"
#include "xlsx/edit_guards.h"
#include "xlsx/formula_references.h"
#include "xlsx/number_format/number_format.h"
#include "xlsx/table_columns.h"
#include "xlsx/xlsx_workbook.h"

namespace tabrix::xlsx {

XlsxWorksheet::XlsxWorksheet(XlsxWorkbook* book, std::string name)
    : book_(book), name_(std::move(name)), layout_(cells_, book->Styles()) {}

XlsxWorkbook& XlsxWorksheet::Book() const {
  CheckAlive();
  return *book_;
}

void XlsxWorksheet::CheckAlive() const {
  if (deleted_) RaiseEngineError("The worksheet has been deleted.");
}

void XlsxWorksheet::SetPart(std::string partName, std::string relationshipId) {
  partName_ = std::move(partName);
  relId_ = std::move(relationshipId);
}

Relationships& XlsxWorksheet::EditRels() {
  hasRels_ = true;
  return rels_;
}

std::shared_ptr<platform::Workbook> XlsxWorksheet::Parent() {
  return std::static_pointer_cast<platform::Workbook>(Book().shared_from_this());
}

void XlsxWorksheet::Activate() { Book().SetActive(this); }

void XlsxWorksheet::Delete() { Book().RemoveSheet(this); }

void XlsxWorksheet::CheckCell(std::int32_t row, std::int32_t column) const {
  CheckAlive();
  if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns) RaiseApplicationDefined();
}

namespace {

// The first area of a union ("A1:B2,D4" -> "A1:B2"), respecting quoted sheet names.
std::string_view FirstArea(std::string_view text) {
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\'') quoted = !quoted;
    if (text[i] == ',' && !quoted) return text.substr(0, i);
  }
  return text;
}

}  // namespace

CellRect XlsxWorksheet::ResolveReference(std::string_view reference) {
  CheckAlive();
  std::string text(reference);
  for (int depth = 0; depth < 16; ++depth) {
    std::string_view area = FirstArea(text);
    if (!area.empty() && area.front() == '=') area.remove_prefix(1);
    QualifiedText qualified = SplitSheetQualifier(area);
    if (qualified.qualified && !NamesEqual(qualified.sheet, name_))
      RaiseMethodFailed("Range", "_Worksheet");
    if (auto rect = ParseArea(qualified.rest)) return *rect;
    // A defined name (this sheet's own names first, then the workbook's).
    const DefinedName* name = Book().FindName(qualified.qualified ? std::string_view(area) : qualified.rest, this);
    if (!name) RaiseMethodFailed("Range", "_Worksheet");
    text = name->formula;
  }
  RaiseMethodFailed("Range", "_Worksheet");
}

Variant XlsxWorksheet::CellValue(const Cell& cell) const {
  switch (cell.kind) {
    case CellKind::Blank: return Variant();
    case CellKind::Number:
      if (book_->Styles().IsDateStyle(cell.style)) return Variant::Date(cell.number);
      return Variant(cell.number);
    case CellKind::Text: return Variant(book_->Strings().Text(cell.text));
    case CellKind::Boolean: return Variant(cell.number != 0);
    case CellKind::Error: return Variant(book_->Strings().Text(cell.text));
  }
  return Variant();
}

Variant XlsxWorksheet::GetValue(std::int32_t row, std::int32_t column) {
  CheckCell(row, column);
  const Cell* cell = cells_.FindCell(row, column);
  return cell ? CellValue(*cell) : Variant();
}

void XlsxWorksheet::ClearFormula(Cell& cell) {
  if (!cell.HasFormula()) return;
  book_->ReleaseFormula(cell.formula);
  cell.formula = kNoFormula;
}

void XlsxWorksheet::WriteValue(Cell& cell, const Variant& value, bool keepFormula) {
  if (!keepFormula) ClearFormula(cell);
  switch (value.Type()) {
    case VariantType::Empty:
    case VariantType::Null:
      cell.kind = CellKind::Blank;
      cell.number = 0;
      break;
    case VariantType::Boolean:
      cell.kind = CellKind::Boolean;
      cell.number = value.Bool() ? 1 : 0;
      break;
    case VariantType::Number:
    case VariantType::Currency:
      cell.kind = CellKind::Number;
      cell.number = value.Number();
      break;
    case VariantType::Date:
      cell.kind = CellKind::Number;
      cell.number = value.Number();
      cell.style = book_->Styles().DateStyleFor(cell.style);
      break;
    case VariantType::Text:
    case VariantType::Bytes:
      cell.kind = CellKind::Text;
      cell.text = book_->Strings().Intern(value.Text());
      break;
  }
}

void XlsxWorksheet::SetValue(std::int32_t row, std::int32_t column, const Variant& value) {
  CheckCell(row, column);
  CheckCellWritable(*this, row, column);
  book_->ReclaimStringsIfGrown();
  if (value.IsText()) {
    // A table's header cell names its column: the column and the references to it follow.
    if (auto name = RenameTableColumnAt(*this, row, column, value.Text())) {
      WriteValue(cells_.GetCell(row, column), Variant(*name), false);
      return;
    }
  }
  if (value.IsEmpty() || value.IsNull()) {
    Cell* cell = cells_.FindCell(row, column);
    if (cell) WriteValue(*cell, value, false);
    return;
  }
  WriteValue(cells_.GetCell(row, column), value, false);
}

void XlsxWorksheet::SetFormula(std::int32_t row, std::int32_t column, std::string_view formula,
                               const Variant& cached) {
  CheckCell(row, column);
  CheckCellWritable(*this, row, column);
  if (!formula.empty() && formula.front() == '=') formula.remove_prefix(1);
  Cell& cell = cells_.GetCell(row, column);
  ClearFormula(cell);
  WriteValue(cell, cached, true);
  cell.formula = book_->AddFormula(this, std::string(formula));
}

std::string XlsxWorksheet::GetFormula(std::int32_t row, std::int32_t column) {
  CheckCell(row, column);
  const Cell* cell = cells_.FindCell(row, column);
  if (!cell || !cell->HasFormula()) return {};
  return "=" + book_->CellFormulaText(cell->formula, row, column);
}

void XlsxWorksheet::SetCachedValue(std::int32_t row, std::int32_t column, const Variant& value) {
  CheckCell(row, column);
  Cell* cell = cells_.FindCell(row, column);
  if (!cell) return;
  std::uint32_t style = cell->style;
  WriteValue(*cell, value, true);
  cell->style = style;  // a computed date keeps the cell's own format
}

std::uint32_t XlsxWorksheet::CellStyle(std::int32_t row, std::int32_t column) {
  CheckCell(row, column);
  const Cell* cell = cells_.FindCell(row, column);
  if (cell) return cell->style;
  const Row* r = cells_.FindRow(row);
  if (r && (r->flags & kRowCustomFormat)) return r->style;
  if (const ColumnInfo* info = layout_.StyledColumn(column)) return info->style;
  return 0;
}

void XlsxWorksheet::SetCellStyle(std::int32_t row, std::int32_t column, std::uint32_t style) {
  CheckCell(row, column);
  cells_.GetCell(row, column).style = style;
}

std::string XlsxWorksheet::DisplayText(std::int32_t row, std::int32_t column) {
  CheckCell(row, column);
  const Cell* cell = cells_.FindCell(row, column);
  if (!cell) return {};
  const StringTable& strings = book_->Strings();
  switch (cell->kind) {
    case CellKind::Blank: return {};
    case CellKind::Boolean: return FormatBoolean(cell->number != 0);
    case CellKind::Error: return strings.Text(cell->text);
    case CellKind::Text: return FormatText(strings.Text(cell->text), book_->Styles().NumberFormatCode(cell->style));
    case CellKind::Number:
      return FormatNumber(cell->number, book_->Styles().NumberFormatCode(cell->style), book_->Date1904());
  }
  return {};
}

// ---------------------------------------------------------------------------------------------
// Geometry, merged areas, page breaks, copies and pictures

double XlsxWorksheet::ColumnWidthPoints(std::int32_t column) {
  CheckCell(1, column);
  return layout_.ColumnWidthPoints(column);
}

double XlsxWorksheet::RowHeightPoints(std::int32_t row) {
  CheckCell(row, 1);
  return layout_.RowHeightPoints(row);
}

double XlsxWorksheet::CellLeft(std::int32_t column) {
  CheckCell(1, column);
  return layout_.CellLeft(column);
}

double XlsxWorksheet::CellTop(std::int32_t row) {
  CheckCell(row, 1);
  return layout_.CellTop(row);
}

void XlsxWorksheet::SetColumnWidth(std::int32_t column, double characters) {
  CheckCell(1, column);
  layout_.SetColumnWidth(column, characters);
}

void XlsxWorksheet::SetRowHeight(std::int32_t row, double points) {
  CheckCell(row, 1);
  layout_.SetRowHeight(row, points);
}

void XlsxWorksheet::SetRowPageBreak(std::int32_t row, int type) {
  CheckCell(row, 1);
  if (row == 1) return;  // nothing lies above the first row
  layout_.SetRowBreak(row - 1, type);
}

void XlsxWorksheet::SetColumnPageBreak(std::int32_t column, int type) {
  CheckCell(1, column);
  if (column == 1) return;
  layout_.SetColumnBreak(column - 1, type);
}

CellRect XlsxWorksheet::MergeArea(std::int32_t row, std::int32_t column) {
  CheckCell(row, column);
  return merges_.AreaAt(row, column);
}

void XlsxWorksheet::Merge(const CellRect& rect) {
  CheckCell(rect.row1, rect.col1);
  CheckCell(rect.row2, rect.col2);
  merges_.Merge(rect);
}

void XlsxWorksheet::CopyCells(const CellRect& source, std::int32_t destRow, std::int32_t destColumn) {
  CheckAlive();
  BlockCopier(*this).Copy(source, destRow, destColumn);
}

void XlsxWorksheet::AutoFill(const CellRect& source, const CellRect& destination, int fillType) {
  CheckAlive();
  if (fillType != platform::kFillCopy && fillType != 0) RaiseMethodFailed("AutoFill", "Range");
  BlockCopier(*this).Fill(source, destination);
}

std::shared_ptr<platform::Shape> XlsxWorksheet::AddPicture(const std::string& file, bool, bool, double left,
                                                           double top, double width, double height) {
  CheckAlive();
  return pictures_.AddPicture(file, left, top, width, height);
}

}  // namespace tabrix::xlsx
