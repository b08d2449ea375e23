// Inserting and deleting cells, entire rows and entire columns. Cells, row heights, column
// widths and merged areas move, and every reference into the sheet follows: formulas on every
// sheet, defined names, conditional formats, validations, hyperlinks, auto-filter, page
// breaks, drawing anchors, chart series, tables, pivot sources and comments.
#include "xlsx/structure_editor.h"

#include <algorithm>

#include "xlsx/edit_guards.h"
#include "xlsx/engine_errors.h"
#include "xlsx/formula_references.h"
#include "xlsx/pivot_tables.h"
#include "xlsx/xlsx_workbook.h"
#include "xlsx/xml_util.h"

namespace tabrix::xlsx {

namespace {

using Kind = SheetEdit::Kind;

void RaiseShiftOffSheet() {
  RaiseEngineError(
      "To prevent possible loss of data, nonblank cells cannot be shifted off of the worksheet.");
}

// Index of the first cell with column >= `column`.
std::size_t FirstCellAt(const Row& row, std::int32_t column) {
  return static_cast<std::size_t>(
      std::lower_bound(row.cells.begin(), row.cells.end(), column,
                       [](const Cell& c, std::int32_t col) { return c.column < col; }) -
      row.cells.begin());
}

bool HasContent(const Cell& cell) { return cell.kind != CellKind::Blank || cell.HasFormula(); }

}  // namespace

StructureEditor::StructureEditor(XlsxWorksheet& sheet, const SheetEdit& edit)
    : sheet_(sheet), book_(sheet.Book()), edit_(edit), sheetName_(sheet.Name()) {}

void StructureEditor::Run() {
  CheckAllowed();
  // Moving references is done formula by formula: shared formulas the edit may reach are split.
  book_.SplitSharedFormulas(&sheet_, edit_);
  ++book_.Work().edits;
  MoveCells();
  if (!edit_.HasBand()) {
    if (edit_.OnRows()) MoveRowBreaks(sheet_.Layout().RowBreaks());
    else MoveRowBreaks(sheet_.Layout().ColumnBreaks());
    if (!edit_.OnRows()) MoveColumnInfo();
  }
  MoveMerges();
  MoveFormulas();
  // Names, chart series, rule formulas, hyperlinks and comments that reach the edited lines.
  book_.Work().referencesVisited += book_.Held().Shift(sheet_, edit_);
  MoveSheetXml();
  if (!edit_.HasBand()) MoveDrawing();
  MoveSheetParts();
  MovePivotLocations(sheet_, edit_);
  MoveWorkbookParts();
}

// ---------------------------------------------------------------------------------------------
// Checks made before anything moves

void StructureEditor::CheckAllowed() {
  CheckEditAllowed(sheet_, edit_);  // protection, array formulas, pivot tables
  const bool rows = edit_.OnRows();
  const std::int32_t limit = rows ? kMaxRows : kMaxColumns;
  const std::int32_t bandFirst = edit_.HasBand() ? edit_.BandFirst : 1;
  const std::int32_t bandLast = edit_.HasBand() ? edit_.BandLast : (rows ? kMaxColumns : kMaxRows);
  if (edit_.Count < 1 || edit_.First < 1 || edit_.First + static_cast<std::int64_t>(edit_.Count) - 1 > limit)
    RaiseApplicationDefined();
  if (edit_.IsInsert()) {
    // Cells pushed past the last row or column must be blank.
    const std::int32_t firstLost = std::max(limit - edit_.Count + 1, edit_.First);
    auto& all = sheet_.Cells().Rows();
    auto check = [&](const Row& row, std::size_t from) {
      for (std::size_t i = from; i < row.cells.size(); ++i) {
        const Cell& cell = row.cells[i];
        std::int32_t across = rows ? cell.column : row.number;
        if (HasContent(cell) && across >= bandFirst && across <= bandLast) RaiseShiftOffSheet();
      }
    };
    if (rows) {
      for (auto it = sheet_.Cells().LowerBound(firstLost); it != all.end(); ++it) check(*it, 0);
    } else {
      for (const Row& row : all) check(row, FirstCellAt(row, firstLost));
    }
  }
  if (edit_.HasBand()) {
    // A merged area that reaches across the band's edge into the moving cells would be torn.
    auto [first, last] = rows ? sheet_.MergedCells().Near(edit_.First, kMaxRows)
                              : std::make_pair(sheet_.MergedCells().Items().begin(), sheet_.MergedCells().Items().end());
    for (auto it = first; it != last; ++it) {
      const CellRect& merge = *it;
      std::int32_t along2 = rows ? merge.row2 : merge.col2;
      std::int32_t across1 = rows ? merge.col1 : merge.row1;
      std::int32_t across2 = rows ? merge.col2 : merge.row2;
      bool overlapsBand = across1 <= edit_.BandLast && edit_.BandFirst <= across2;
      bool insideBand = across1 >= edit_.BandFirst && across2 <= edit_.BandLast;
      if (along2 >= edit_.First && overlapsBand && !insideBand)
        RaiseEngineError("Cannot shift merged cells: the operation would change part of a merged cell.");
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Cells

void StructureEditor::ReleaseCells(std::vector<Cell>::iterator first, std::vector<Cell>::iterator last) {
  for (auto it = first; it != last; ++it)
    if (it->HasFormula()) book_.ReleaseFormula(it->formula);
}

void StructureEditor::MoveCells() {
  if (edit_.OnRows()) {
    if (edit_.HasBand()) MoveBandCellsAlongRows();
    else MoveEntireRows();
  } else {
    MoveCellsAlongColumns();
  }
  // Array and data-table formulas cover a range that moves with them.
  const std::vector<std::uint32_t>& special = book_.SpecialFormulas(&sheet_);
  book_.Work().formulasVisited += special.size();
  for (std::uint32_t index : special) {
    if (!book_.FindFormulaExtra(index)) continue;
    FormulaExtra& extra = book_.FormulaExtraOf(index);
    if (auto moved = ShiftRect(extra.ref, edit_)) extra.ref = *moved;
  }
}

void StructureEditor::MoveEntireRows() {
  std::vector<Row>& rows = sheet_.Cells().Rows();
  const std::int32_t k = edit_.First, n = edit_.Count;
  sheet_.Cells().RowsChangedFrom(k);
  if (edit_.IsInsert()) {
    auto first = sheet_.Cells().LowerBound(k);
    std::size_t start = static_cast<std::size_t>(first - rows.begin());
    for (std::size_t i = start; i < rows.size(); ++i) rows[i].number += n;
    while (!rows.empty() && rows.back().number > kMaxRows) rows.pop_back();  // blank, checked above
    // New rows take the format of the row above.
    const Row* above = k > 1 ? sheet_.Cells().FindRow(k - 1) : nullptr;
    if (above) {
      Row pattern;
      pattern.height = (above->flags & kRowCustomHeight) ? above->height : 0;
      pattern.flags = above->flags & (kRowCustomHeight | kRowCustomFormat);
      pattern.style = above->style;
      pattern.outlineLevel = above->outlineLevel;
      for (const Cell& cell : above->cells) {
        if (cell.style == 0) continue;
        Cell blank;
        blank.column = cell.column;
        blank.style = cell.style;
        pattern.cells.push_back(blank);
      }
      if (!pattern.Empty()) {
        rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(start), static_cast<std::size_t>(n), pattern);
        for (std::int32_t i = 0; i < n; ++i) rows[start + static_cast<std::size_t>(i)].number = k + i;
      }
    }
    return;
  }
  auto first = sheet_.Cells().LowerBound(k);
  auto last = sheet_.Cells().LowerBound(k + n);
  for (auto it = first; it != last; ++it) ReleaseCells(it->cells.begin(), it->cells.end());
  auto next = rows.erase(first, last);
  for (auto it = next; it != rows.end(); ++it) it->number -= n;
}

void StructureEditor::MoveBandCellsAlongRows() {
  std::vector<Row>& rows = sheet_.Cells().Rows();
  const std::int32_t k = edit_.First, n = edit_.Count;
  const std::int32_t c1 = edit_.BandFirst, c2 = edit_.BandLast;
  struct Moved {
    std::int32_t row;
    std::vector<Cell> cells;
  };
  std::vector<Moved> moved;
  auto first = sheet_.Cells().LowerBound(k);
  for (auto it = first; it != rows.end(); ++it) {
    std::size_t a = FirstCellAt(*it, c1), b = FirstCellAt(*it, c2 + 1);
    if (a == b) continue;
    auto begin = it->cells.begin() + static_cast<std::ptrdiff_t>(a);
    auto end = it->cells.begin() + static_cast<std::ptrdiff_t>(b);
    if (edit_.IsInsert()) {
      if (it->number + n <= kMaxRows) moved.push_back(Moved{it->number + n, std::vector<Cell>(begin, end)});
    } else if (it->number < k + n) {
      ReleaseCells(begin, end);
    } else {
      moved.push_back(Moved{it->number - n, std::vector<Cell>(begin, end)});
    }
    it->cells.erase(begin, end);
  }
  if (edit_.IsInsert()) {
    // Cells of the band in the row above give the new cells their format.
    if (const Row* above = k > 1 ? sheet_.Cells().FindRow(k - 1) : nullptr) {
      std::vector<Cell> pattern;
      for (const Cell& cell : above->cells) {
        if (cell.column < c1 || cell.column > c2 || cell.style == 0) continue;
        Cell blank;
        blank.column = cell.column;
        blank.style = cell.style;
        pattern.push_back(blank);
      }
      if (!pattern.empty())
        for (std::int32_t i = 0; i < n; ++i) moved.push_back(Moved{k + i, pattern});
    }
  }
  for (Moved& m : moved) {
    Row& row = sheet_.Cells().GetRow(m.row);
    std::size_t at = FirstCellAt(row, c1);
    row.cells.insert(row.cells.begin() + static_cast<std::ptrdiff_t>(at), m.cells.begin(), m.cells.end());
  }
  // Rows left with nothing are dropped.
  sheet_.Cells().RowsChangedFrom(k);
  auto tail = sheet_.Cells().LowerBound(k);
  rows.erase(std::remove_if(tail, rows.end(), [](const Row& r) { return r.Empty(); }), rows.end());
}

void StructureEditor::MoveCellsAlongColumns() {
  const std::int32_t k = edit_.First, n = edit_.Count;
  const bool band = edit_.HasBand();
  for (Row& row : sheet_.Cells().Rows()) {
    if (band && (row.number < edit_.BandFirst || row.number > edit_.BandLast)) continue;
    std::size_t a = FirstCellAt(row, k);
    if (edit_.IsInsert()) {
      for (std::size_t i = a; i < row.cells.size(); ++i) row.cells[i].column += n;
      while (!row.cells.empty() && row.cells.back().column > kMaxColumns) row.cells.pop_back();
      // New cells take the format of the cell to their left.
      if (k > 1 && a > 0 && row.cells[a - 1].column == k - 1 && row.cells[a - 1].style != 0) {
        Cell blank;
        blank.style = row.cells[a - 1].style;
        std::vector<Cell> fresh(static_cast<std::size_t>(n), blank);
        for (std::int32_t i = 0; i < n; ++i) fresh[static_cast<std::size_t>(i)].column = k + i;
        row.cells.insert(row.cells.begin() + static_cast<std::ptrdiff_t>(a), fresh.begin(), fresh.end());
      }
    } else {
      std::size_t b = FirstCellAt(row, k + n);
      auto begin = row.cells.begin() + static_cast<std::ptrdiff_t>(a);
      auto end = row.cells.begin() + static_cast<std::ptrdiff_t>(b);
      ReleaseCells(begin, end);
      auto next = row.cells.erase(begin, end);
      for (auto it = next; it != row.cells.end(); ++it) it->column -= n;
    }
  }
}

void StructureEditor::MoveColumnInfo() {
  std::vector<ColumnInfo>& columns = sheet_.Layout().Columns();
  const std::int32_t k = edit_.First, n = edit_.Count;
  // The ranges are sorted and do not overlap: those ending left of column k - 1 stay as they
  // are, and an insertion keeps the order of the rest.
  const std::size_t start =
      edit_.IsInsert()
          ? static_cast<std::size_t>(std::lower_bound(columns.begin(), columns.end(), k - 1,
                                                      [](const ColumnInfo& c, std::int32_t at) { return c.max < at; }) -
                                     columns.begin())
          : 0;
  std::vector<ColumnInfo> result(columns.begin(), columns.begin() + static_cast<std::ptrdiff_t>(start));
  book_.Work().itemsVisited += columns.size() - start;
  for (std::size_t i = start; i < columns.size(); ++i) {
    const ColumnInfo& info = columns[i];
    ColumnInfo moved = info;
    if (edit_.IsInsert()) {
      if (info.min >= k) {
        if (info.min + static_cast<std::int64_t>(n) > kMaxColumns) continue;
        moved.min = info.min + n;
        moved.max = std::min<std::int64_t>(info.max + static_cast<std::int64_t>(n), kMaxColumns);
      } else if (info.max >= k) {
        moved.max = std::min<std::int64_t>(info.max + static_cast<std::int64_t>(n), kMaxColumns);
      } else if (info.max == k - 1) {
        // New columns take the width and format of the column to their left.
        ColumnInfo copy = info;
        copy.min = k;
        copy.max = std::min<std::int64_t>(k + static_cast<std::int64_t>(n) - 1, kMaxColumns);
        result.push_back(info);
        result.push_back(copy);
        continue;
      }
    } else {
      auto rect = ShiftRect(CellRect{1, info.min, 1, info.max}, edit_);
      if (!rect) continue;
      moved.min = rect->col1;
      moved.max = rect->col2;
    }
    result.push_back(moved);
  }
  if (!edit_.IsInsert())
    std::sort(result.begin(), result.end(), [](const ColumnInfo& a, const ColumnInfo& b) { return a.min < b.min; });
  columns.swap(result);
}

void StructureEditor::MoveRowBreaks(std::vector<PageBreak>& breaks) {
  const std::int32_t limit = edit_.OnRows() ? kMaxRows : kMaxColumns;
  if (edit_.IsInsert() && (breaks.empty() || static_cast<std::int64_t>(breaks.back().id) + 1 + edit_.Count <= limit)) {
    // Breaks are sorted by id: those at or below the edit move by the same count, none is
    // pushed off the sheet, so the order stays and no two meet.
    auto first = std::lower_bound(breaks.begin(), breaks.end(), edit_.First,
                                  [](const PageBreak& b, std::int32_t k) { return b.id + 1 < k; });
    book_.Work().itemsVisited += static_cast<std::uint64_t>(breaks.end() - first);
    for (auto it = first; it != breaks.end(); ++it) it->id += edit_.Count;
    return;
  }
  std::vector<PageBreak> kept;
  book_.Work().itemsVisited += breaks.size();
  for (PageBreak b : breaks) {
    // A break with id i lies above row (column) i + 1.
    ShiftedIndex moved = ShiftIndex(b.id + 1, edit_);
    if (moved.Deleted) continue;
    b.id = moved.Index - 1;
    if (!kept.empty() && kept.back().id == b.id) continue;
    kept.push_back(b);
  }
  breaks.swap(kept);
}

void StructureEditor::MoveMerges() {
  std::vector<CellRect>& merges = sheet_.MergedCells().Items();
  const bool rows = edit_.OnRows();
  // Row edits keep the order by first row: only the merges that reach the edited row change.
  auto [first, last] = rows ? sheet_.MergedCells().Near(edit_.First, kMaxRows) : std::make_pair(merges.begin(), merges.end());
  auto out = first;
  book_.Work().itemsVisited += static_cast<std::uint64_t>(last - first);
  for (auto it = first; it != last; ++it) {
    const CellRect merge = *it;
    std::int32_t end = rows ? merge.row2 : merge.col2;
    if (end >= edit_.First) {
      auto moved = ShiftRect(merge, edit_);
      if (!moved || (moved->row1 == moved->row2 && moved->col1 == moved->col2)) continue;
      sheet_.MergedCells().NoteSize(*moved);
      *out++ = *moved;
    } else {
      *out++ = merge;
    }
  }
  merges.erase(out, last);
  if (!rows || edit_.HasBand()) sheet_.MergedCells().Sort();
}

// ---------------------------------------------------------------------------------------------
// Formulas and names

void StructureEditor::MoveFormulas() {
  std::vector<Formula>& formulas = book_.Formulas();
  const bool rows = edit_.OnRows();
  // Inserting entire rows (columns) moves every reference of the sheet's own formulas at or
  // after the edit by the same count: such formulas are held by anchors and not visited again.
  // Any other edit gives them their text back first.
  const bool anchoring = edit_.IsInsert() && !edit_.HasBand();
  AnchoredFormulas* held = book_.AnchoredOn(&sheet_);
  if (held && (!anchoring || held->Rows() != rows || !held->CanInsert(edit_.First, edit_.Count))) {
    book_.SettleFormulas(&sheet_);
    held = nullptr;
  }
  if (anchoring) {
    held = &book_.Anchors(&sheet_, rows);
    held->Insert(edit_.First, edit_.Count);
    book_.Work().formulasVisited += held->LastVisited();
  }
  std::string changed;
  const std::uint16_t sheetNumber = book_.FormulaSheetNumber(&sheet_);
  auto visit = [&](std::uint32_t id) -> std::optional<FormulaIndex::Reach> {
    Formula& formula = formulas[id];
    ++book_.Work().formulasVisited;
    if (formula.sheet == 0) return std::nullopt;
    FormulaContext context{sheetName_, formula.sheet == sheetNumber};
    if (ShiftFormula(formula.Text(), edit_, context, changed)) formula.SetText(changed);
    if (held && formula.sheet == sheetNumber && !formula.prefixed && formula.type == Formula::kNormal) {
      held->Anchor(id, formula.Text());
      formula.anchored = true;
      return std::nullopt;  // leaves the order of the edited direction
    }
    return book_.MeasureFormula(id);
  };
  book_.LocalFormulas(&sheet_).VisitFrom(rows, edit_.First, visit);
  held = nullptr;
  book_.PrefixedFormulas().VisitFrom(rows, edit_.First, visit);
}

// ---------------------------------------------------------------------------------------------
// Reference lists kept in the worksheet XML

// Returns false when every range of the list was deleted.
bool StructureEditor::ShiftSqrefAttribute(pugi::xml_attribute attribute) {
  std::string changed;
  if (ShiftSqref(attribute.value(), edit_, changed)) attribute.set_value(changed.c_str());
  return attribute.value()[0] != '\0';
}

// Returns false when every range of the list was deleted.
bool StructureEditor::ShiftRangeList(RangeList& list) {
  list.Shift(edit_);
  list.GrowOverInserted(edit_);
  book_.Work().rangeEntriesVisited += list.LastVisited();
  return !list.Empty();
}

void StructureEditor::MoveSheetXml() {
  pugi::xml_node root = sheet_.Root();
  std::vector<pugi::xml_node> removed;
  std::vector<std::pair<pugi::xml_node, pugi::xml_node>> gone;  // validations and their list
  for (pugi::xml_node child : root.children()) {
    std::string_view local = LocalName(child.name());
    if (local == "conditionalFormatting") {
      if (!ShiftRangeList(sheet_.RangeListOf(child.attribute("sqref")))) removed.push_back(child);
    } else if (local == "dataValidations") {
      for (pugi::xml_node validation : child.children())
        if (!ShiftRangeList(sheet_.RangeListOf(validation.attribute("sqref")))) gone.emplace_back(validation, child);
    } else if (local == "autoFilter") {
      auto rect = ParseArea(child.attribute("ref").value());
      if (rect) {
        auto moved = ShiftRect(*rect, edit_);
        if (!moved) removed.push_back(child);
        else child.attribute("ref").set_value(FormatRef(*moved).c_str());
      }
    } else if (local == "protectedRanges") {
      for (pugi::xml_node range : child.children()) ShiftSqrefAttribute(range.attribute("sqref"));
    }
  }
  // Extensions (x14 conditional formats, validations, sparklines) hold reference lists as text
  // of xm:sqref elements, found once per sheet; the lists stay parsed until saved.
  const XlsxWorksheet::ExtensionReferences& extension = sheet_.ExtensionRefs();
  for (const auto* lists : {&extension.formatLists, &extension.otherLists})
    for (pugi::xml_node sqref : *lists) ShiftRangeList(sheet_.RangeListOf(sqref));  // an emptied list stays
  if (removed.empty() && gone.empty()) return;
  // Rule formulas of what leaves are held: their texts go back first, and are collected again.
  book_.ForgetHeldReferences();
  for (auto [validation, list] : gone) {
    sheet_.ForgetRangeList(validation.attribute("sqref"));
    list.remove_child(validation);
    if (!list.first_child()) removed.push_back(list);
    else if (list.attribute("count")) list.attribute("count").set_value(static_cast<unsigned>(std::distance(list.begin(), list.end())));
  }
  for (pugi::xml_node node : removed) {
    if (LocalName(node.name()) == "conditionalFormatting") sheet_.ForgetRangeList(node.attribute("sqref"));
    root.remove_child(node);
  }
}

// ---------------------------------------------------------------------------------------------
// Drawings: anchors of pictures and charts

void StructureEditor::MoveDrawing() {
  if (sheet_.Pictures().DrawingPartName().empty()) return;
  DrawingPart* drawing = book_.LoadDrawing(sheet_.Pictures().DrawingPartName());
  if (drawing) book_.Work().itemsVisited += drawing->Move(edit_);
}

// ---------------------------------------------------------------------------------------------
// Parts of the sheet (tables) and of the workbook (pivot caches)

void StructureEditor::MoveSheetParts() {
  if (!sheet_.HasRels()) return;
  for (const Relationship& rel : sheet_.Rels().All()) {
    if (rel.external || !RelationshipTypeIs(rel.type, reltype::kTable)) continue;
    pugi::xml_document* table = book_.EditablePart(ResolvePartTarget(sheet_.PartName(), rel.target));
    if (table) MoveTable(table->document_element());
  }
}

void StructureEditor::MoveTable(pugi::xml_node table) {
  auto rect = ParseArea(table.attribute("ref").value());
  if (!rect) return;
  auto moved = ShiftRect(*rect, edit_);
  if (!moved) return;  // the application refuses to delete a whole table this way; keep it
  table.attribute("ref").set_value(FormatRef(*moved).c_str());
  if (pugi::xml_node filter = ChildByLocalName(table, "autoFilter")) {
    CellRect filtered = *moved;
    if (table.attribute("totalsRowCount").as_int(0) > 0) filtered.row2 -= table.attribute("totalsRowCount").as_int(0);
    filter.attribute("ref").set_value(FormatRef(filtered).c_str());
  }
  if (edit_.OnRows() || moved->Columns() == rect->Columns()) return;
  // Columns inserted into or deleted from the table: its column list follows.
  pugi::xml_node columns = ChildByLocalName(table, "tableColumns");
  std::vector<pugi::xml_node> list;
  std::uint32_t maxId = 0;
  for (pugi::xml_node c : columns.children()) {
    list.push_back(c);
    maxId = std::max(maxId, c.attribute("id").as_uint());
  }
  if (edit_.IsInsert()) {
    std::size_t at = static_cast<std::size_t>(edit_.First - rect->col1);
    pugi::xml_node before = at < list.size() ? list[at] : pugi::xml_node();
    std::string name = list.empty() ? "tableColumn" : list.front().name();
    const bool header = table.attribute("headerRowCount").as_int(1) != 0;
    for (std::int32_t i = 0; i < moved->Columns() - rect->Columns(); ++i) {
      pugi::xml_node fresh = before ? columns.insert_child_before(name.c_str(), before) : columns.append_child(name.c_str());
      fresh.append_attribute("id") = ++maxId;
      std::string columnName = "Column" + std::to_string(maxId);
      fresh.append_attribute("name") = columnName.c_str();
      // The header cell of a table column holds the column's name.
      if (header) sheet_.SetValue(moved->row1, edit_.First + i, Variant(columnName));
    }
  } else {
    for (std::int32_t c = rect->col1; c <= rect->col2; ++c) {
      if (c >= edit_.First && c < edit_.First + edit_.Count)
        columns.remove_child(list[static_cast<std::size_t>(c - rect->col1)]);
    }
  }
  columns.attribute("count").set_value(moved->Columns());
}

void StructureEditor::MoveWorkbookParts() {
  for (auto& [partName, nodes] : book_.ReferencingParts()) {
    (void)partName;
    for (pugi::xml_node source : nodes.pivotSources) {
      if (!NamesEqual(source.attribute("sheet").value(), sheetName_)) continue;
      auto rect = ParseArea(source.attribute("ref").value());
      if (!rect) continue;
      if (auto moved = ShiftRect(*rect, edit_)) source.attribute("ref").set_value(FormatRef(*moved).c_str());
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Worksheet entry points

namespace {

SheetEdit EditOf(const CellRect& rect, platform::Shift shift, bool insert) {
  using platform::Shift;
  if (rect.IsEntireRows() && !rect.IsEntireColumns())
    return insert ? SheetEdit::InsertRows(rect.row1, rect.Rows()) : SheetEdit::DeleteRows(rect.row1, rect.Rows());
  if (rect.IsEntireColumns() && !rect.IsEntireRows())
    return insert ? SheetEdit::InsertColumns(rect.col1, rect.Columns())
                  : SheetEdit::DeleteColumns(rect.col1, rect.Columns());
  if (insert) {
    if (shift == platform::kShiftDown) return SheetEdit::InsertRows(rect.row1, rect.Rows(), rect.col1, rect.col2);
    if (shift == platform::kShiftToRight)
      return SheetEdit::InsertColumns(rect.col1, rect.Columns(), rect.row1, rect.row2);
  } else {
    if (shift == platform::kShiftUp) return SheetEdit::DeleteRows(rect.row1, rect.Rows(), rect.col1, rect.col2);
    if (shift == platform::kShiftToLeft)
      return SheetEdit::DeleteColumns(rect.col1, rect.Columns(), rect.row1, rect.row2);
  }
  RaiseMethodFailed(insert ? "Insert" : "Delete", "Range");
}

void CheckRect(const CellRect& rect) {
  if (rect.row1 < 1 || rect.col1 < 1 || rect.row2 > kMaxRows || rect.col2 > kMaxColumns || rect.row1 > rect.row2 ||
      rect.col1 > rect.col2)
    RaiseApplicationDefined();
}

}  // namespace

void XlsxWorksheet::InsertCells(const CellRect& rect, platform::Shift shift) {
  CheckAlive();
  CheckRect(rect);
  StructureEditor(*this, EditOf(rect, shift, true)).Run();
}

void XlsxWorksheet::DeleteCells(const CellRect& rect, platform::Shift shift) {
  CheckAlive();
  CheckRect(rect);
  StructureEditor(*this, EditOf(rect, shift, false)).Run();
}

}  // namespace tabrix::xlsx
