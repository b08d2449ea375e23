// Moving the cell references of formulas and reference lists when rows or columns of a sheet
// are inserted or deleted, and translating them when a formula is copied.
//
// Formulas are handled as stored in .xlsx parts: A1 style, no leading "=". The scanner knows
// string literals ("a""b"), quoted sheet names ('It''s'!A1), sheet-qualified and 3-D references
// (Sheet1:Sheet3!A1, left as they are by structural edits), external references ([1]Sheet1!A1,
// never edited), error literals (#REF!, #N/A, ...), function names (LOG10( is a function, not a
// cell), defined names, structured references (Table1[[#This Row],[Col]], left alone), numbers
// (1E+5), whole-column (C:C, $F:$H) and whole-row (4:7) ranges and "$" markers.
//
// Everything here is a pure function of its arguments: no state, safe on any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/a1_reference.h"
#include "tabrix/platform/spreadsheet.h"

namespace tabrix::xlsx {

using platform::CellRect;
using platform::kMaxColumns;
using platform::kMaxRows;

// One structural edit of a sheet: `Count` rows (or columns) inserted before, or deleted from,
// row (column) `First` (1-based). With a band, only cells inside the band's columns (for row
// edits) or rows (for column edits) shift — the "shift cells down / up / right / left" of a
// cell-range Insert or Delete. A reference then moves only when its columns (rows) lie entirely
// inside the band. BandFirst = 0 means entire rows (columns).
struct SheetEdit {
  enum class Kind : std::uint8_t { InsertRows, DeleteRows, InsertColumns, DeleteColumns };
  Kind What = Kind::InsertRows;
  std::int32_t First = 1;
  std::int32_t Count = 1;
  std::int32_t BandFirst = 0;
  std::int32_t BandLast = 0;

  static SheetEdit InsertRows(std::int32_t row, std::int32_t count, std::int32_t col1 = 0,
                              std::int32_t col2 = 0) {
    return {Kind::InsertRows, row, count, col1, col2};
  }
  static SheetEdit DeleteRows(std::int32_t row, std::int32_t count, std::int32_t col1 = 0,
                              std::int32_t col2 = 0) {
    return {Kind::DeleteRows, row, count, col1, col2};
  }
  static SheetEdit InsertColumns(std::int32_t col, std::int32_t count, std::int32_t row1 = 0,
                                 std::int32_t row2 = 0) {
    return {Kind::InsertColumns, col, count, row1, row2};
  }
  static SheetEdit DeleteColumns(std::int32_t col, std::int32_t count, std::int32_t row1 = 0,
                                 std::int32_t row2 = 0) {
    return {Kind::DeleteColumns, col, count, row1, row2};
  }

  bool OnRows() const { return What == Kind::InsertRows || What == Kind::DeleteRows; }
  bool IsInsert() const { return What == Kind::InsertRows || What == Kind::InsertColumns; }
  bool HasBand() const { return BandFirst > 0; }
};

// Where a formula lives relative to the edited sheet.
//  - EditedSheet: the edited sheet's name (compared case-insensitively with sheet prefixes).
//  - OnEditedSheet: references without a sheet prefix point at the edited sheet (the formula
//    is on it). Defined names and chart series formulas are always sheet-qualified: pass false.
struct FormulaContext {
  std::string_view EditedSheet;
  bool OnEditedSheet = false;
};

// ---------------------------------------------------------------------------------------------
// Formula text

// Applies a structural edit to every reference into the edited sheet. Returns true and stores
// the new text in `out` when something changed; returns false (and leaves `out` alone) when the
// formula stays as it is. A reference whose cells are all deleted, or that would be pushed past
// the sheet's last row or column, becomes #REF! (keeping its sheet prefix: Sheet2!#REF!). A range
// whose end would be pushed past the limit keeps the last row (column) as its end.
bool ShiftFormula(std::string_view formula, const SheetEdit& edit, const FormulaContext& context,
                  std::string& out);

// Translates the relative parts of every reference by (rowOffset, columnOffset), as copying
// the formula's cell by that distance does; "$" parts stay. A reference moved off the sheet
// becomes #REF!. Same return convention as ShiftFormula.
bool TranslateFormula(std::string_view formula, std::int32_t rowOffset,
                      std::int32_t columnOffset, std::string& out);

// Replaces every reference into a deleted sheet by #REF! (Sheet2!A1 -> #REF!A1, as the
// application writes it). Same return convention as ShiftFormula.
bool RemoveSheetReferences(std::string_view formula, std::string_view deletedSheet,
                           std::string& out);

// Convenience form returning the (possibly unchanged) text.
std::string TranslatedFormula(std::string_view formula, std::int32_t rowOffset,
                              std::int32_t columnOffset);

// Cheap pre-check for indexing formulas: the highest row and column any reference reaches,
// whatever sheet it names (so it is conservative). Whole-column references do not count for
// rows, whole-row references not for columns. A row edit at row k (insertion or deletion) can
// only change a formula whose MaxRow >= k; a column edit at column k only one whose
// MaxColumn >= k. HasReferences is false for formulas without any cell reference.
struct ReferenceReach {
  std::int32_t MaxRow = 0;
  std::int32_t MaxColumn = 0;
  bool HasReferences = false;
  bool HasSheetPrefix = false;  // some reference names a sheet (may point at another sheet)
};
ReferenceReach MeasureReferences(std::string_view formula);

// True when a structural edit at this reach can change the formula (ignoring which sheet).
bool EditCanAffect(const ReferenceReach& reach, const SheetEdit& edit);

// A formula scanned once, whose references can be moved many times and written back. Keeps
// the original text; untouched references are written exactly as they were.
class ParsedFormula {
 public:
  struct Reference {
    std::uint32_t Begin = 0, End = 0;  // span of the reference (after any sheet prefix)
    std::uint32_t PrefixBegin = 0;     // start of the sheet prefix (== Begin when none)
    std::uint32_t SheetBegin = 0, SheetEnd = 0;  // sheet name inside the prefix (raw text)
    using Form = a1::Shape;  // Cell, Area, Columns or Rows
    Form Shape = Form::Cell;
    CellRect Rect;                     // normalised: row1 <= row2, col1 <= col2
    bool Row1Absolute = false, Col1Absolute = false, Row2Absolute = false, Col2Absolute = false;
    bool Prefixed = false;     // has a sheet prefix
    bool Quoted = false;       // the sheet name is quoted ('' inside stands for ')
    bool ThreeD = false;       // Sheet1:Sheet3! prefix
    bool External = false;     // [n] workbook prefix
    bool Deleted = false;      // now #REF!
    bool Changed = false;      // differs from the original text
  };

  ParsedFormula() = default;
  explicit ParsedFormula(std::string_view formula);

  // Same effect and return value as ShiftFormula / TranslateFormula, on the parsed form.
  bool Shift(const SheetEdit& edit, const FormulaContext& context);
  // Moves one reference by the edit, whatever sheet it names; true when it changed.
  bool ShiftReference(std::size_t i, const SheetEdit& edit);
  bool Translate(std::int32_t rowOffset, std::int32_t columnOffset);

  std::string Text() const;
  bool Changed() const;
  // The text as parsed; the references' spans and sheet names point into it.
  std::string_view Source() const { return source_; }

  // The references in text order; MoveReference gives one a new rectangle (written at Text).
  std::size_t ReferenceCount() const { return references_.size(); }
  const Reference& ReferenceAt(std::size_t i) const { return references_[i]; }
  void MoveReference(std::size_t i, const CellRect& rect) {
    references_[i].Rect = rect;
    references_[i].Changed = true;
  }

 private:
  std::string source_;
  std::vector<Reference> references_;
};

// ---------------------------------------------------------------------------------------------
// Reference lists and single ranges (merged cells, conditional formats, validations, hyperlinks,
// auto-filter, tables, print areas, page breaks, drawing anchors) on the edited sheet itself.

// A space-separated "sqref" list ("A1:B2 D5 F:F"): every entry moved by the edit, entries that
// are deleted dropped. Returns true and stores the new list in `out` when something changed;
// `out` may become empty when every entry was deleted.
bool ShiftSqref(std::string_view sqref, const SheetEdit& edit, std::string& out);
// Every entry translated by the offsets (all parts taken as relative, "$" kept); entries moved
// off the sheet are dropped.
bool TranslateSqref(std::string_view sqref, std::int32_t rowOffset, std::int32_t columnOffset,
                    std::string& out);

// One rectangle moved by the edit; nullopt when it is deleted (or pushed off the sheet).
// Entire rows/columns are rectangles spanning every column/row (see CellRect).
std::optional<CellRect> ShiftRect(const CellRect& rect, const SheetEdit& edit);

// A row (for row edits) or column index moved by the edit, ignoring any band. An index inside
// deleted rows becomes the first row after the deletion, i.e. `First` (what drawing anchors do)
// and Deleted is set; an index pushed past the sheet limit is clamped to it.
struct ShiftedIndex {
  std::int32_t Index = 0;
  bool Deleted = false;
};
ShiftedIndex ShiftIndex(std::int32_t index, const SheetEdit& edit);

// Parses a plain A1 reference ("B2", "$B$2:$D$5", "F:H", "5:7", no sheet prefix); nullopt when
// it is not one. Writes a rectangle back in the shortest form (FormatAddress of spreadsheet.h
// for the "$" form).
std::optional<CellRect> ParseRect(std::string_view text);
std::string RectText(const CellRect& rect);

// Index just past the bracket that closes the one at s[i] == '[' (brackets nest, "'" escapes the
// next character); s.size() when it is never closed.
std::size_t SkipBrackets(std::string_view s, std::size_t i);

}  // namespace tabrix::xlsx
