// The A1 reference grammar, read and written in one place: cell lists and ranges of the fills
// (through the engine's reference resolution), reference shifting of formulas and the evaluator.
// Pure functions, no allocation unless a std::string is returned.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tabrix/platform/spreadsheet.h"

namespace tabrix::a1 {

using platform::CellRect;
using platform::kMaxColumns;
using platform::kMaxRows;

// ---------------------------------------------------------------------------------------------
// Runs: the unquoted words of a formula (names, function names, references, unquoted sheet
// names): ASCII letters and digits, "_", ".", "$", "\", "?" and every byte of a multi-byte
// character.

namespace detail {
constexpr std::array<bool, 256> MakeRunTable() {
  std::array<bool, 256> table{};
  for (int c = 'A'; c <= 'Z'; ++c) table[c] = true;
  for (int c = 'a'; c <= 'z'; ++c) table[c] = true;
  for (int c = '0'; c <= '9'; ++c) table[c] = true;
  table['_'] = table['.'] = table['$'] = table['\\'] = table['?'] = true;
  for (int c = 0x80; c < 256; ++c) table[c] = true;
  return table;
}
inline constexpr std::array<bool, 256> kRunChar = MakeRunTable();
}  // namespace detail

inline bool IsRunChar(char c) { return detail::kRunChar[static_cast<unsigned char>(c)]; }

// End of the run starting at s[i] (== i when s[i] does not belong to a run).
inline std::size_t RunEnd(std::string_view s, std::size_t i) {
  while (i < s.size() && IsRunChar(s[i])) ++i;
  return i;
}

// ---------------------------------------------------------------------------------------------
// One side of a reference

enum class PartKind : std::uint8_t { None, Cell, Column, Row };

struct Part {
  PartKind kind = PartKind::None;
  std::int32_t row = 0;     // 0 for a column
  std::int32_t column = 0;  // 0 for a row
  bool rowAbsolute = false, columnAbsolute = false;
};

// The whole text as one side of a reference: "$B$5" / "b5" a cell, "$B" / "XFD" a column,
// "$5" / "1048576" a row. One to three letters up to XFD (either case), one to seven digits
// for rows 1..1048576, each optionally after "$". Anything else (including "B$") is None.
inline Part ParsePart(std::string_view text) {
  Part part;
  const std::size_t n = text.size();
  std::size_t i = 0;
  bool dollar = i < n && text[i] == '$';
  if (dollar) ++i;
  std::size_t letters = 0;
  std::int32_t column = 0;
  while (i < n) {
    const char c = text[i];
    const char upper = static_cast<char>(c & ~0x20);
    if (upper < 'A' || upper > 'Z') break;
    if (++letters > 3) return {};
    column = column * 26 + (upper - 'A' + 1);
    ++i;
  }
  if (letters > 0) {
    if (column > kMaxColumns) return {};
    part.column = column;
    part.columnAbsolute = dollar;
    if (i == n) {
      part.kind = PartKind::Column;
      return part;
    }
    dollar = text[i] == '$';
    if (dollar) ++i;
  }
  std::size_t digits = 0;
  std::int32_t row = 0;
  while (i < n && text[i] >= '0' && text[i] <= '9') {
    if (++digits > 7) return {};
    row = row * 10 + (text[i] - '0');
    ++i;
  }
  if (digits == 0 || i != n || row < 1 || row > kMaxRows) return {};
  part.row = row;
  part.rowAbsolute = dollar;
  part.kind = letters > 0 ? PartKind::Cell : PartKind::Row;
  return part;
}

// ---------------------------------------------------------------------------------------------
// A reference without sheet: a cell, an area of cells, whole columns or whole rows

enum class Shape : std::uint8_t { Cell, Area, Columns, Rows };

struct Reference {
  Shape shape = Shape::Cell;
  CellRect rect;  // normalised: row1 <= row2, col1 <= col2; entire rows/columns span the sheet
  bool row1Absolute = false, col1Absolute = false, row2Absolute = false, col2Absolute = false;
};

// `first` alone (second empty) must be a cell; "first:second" two cells, two columns or two
// rows. A reversed pair ("D5:B2") is normalised, its "$" markers moving with their sides.
// (Inline: the formula scanner calls it for every run of every formula.)
inline bool ParseReference(std::string_view first, std::string_view second, Reference& ref);

// The reference of a rectangle, taken as it is, in its shortest relative form (entire rows
// "5:7", entire columns "F:H", one cell "C2", otherwise an area).
Reference ReferenceOf(const CellRect& rect);

// ---------------------------------------------------------------------------------------------
// Sheet qualifiers: "Sheet1!" or "'My sheet'!" ("''" inside quotes stands for one "'")

// Given s[i] == '\'', the index of the closing quote; s.size() when the quote is not closed.
// A string literal works alike from s[i] == '"' ("" inside stands for one '"').
std::size_t QuotedNameEnd(std::string_view s, std::size_t i);
// Text between the quotes with each "''" undone.
std::string UnquoteName(std::string_view quoted);

// ---------------------------------------------------------------------------------------------
// Column letters and writing

// "A" -> 1 ... "XFD" -> 16384 (either case); 0 for anything else.
std::int32_t ColumnNumber(std::string_view letters);

// "A" for 1 ... "XFD" for 16384; nothing for columns below 1.
void AppendColumn(std::string& out, std::int32_t column);
void AppendRow(std::string& out, std::int32_t row);
void AppendCell(std::string& out, std::int32_t row, std::int32_t column, bool rowAbsolute = false,
                bool columnAbsolute = false);
void AppendReference(std::string& out, const Reference& ref);

// ---------------------------------------------------------------------------------------------

namespace detail {
inline void Normalize(Reference& ref) {
  if (ref.rect.row1 > ref.rect.row2) {
    std::swap(ref.rect.row1, ref.rect.row2);
    std::swap(ref.row1Absolute, ref.row2Absolute);
  }
  if (ref.rect.col1 > ref.rect.col2) {
    std::swap(ref.rect.col1, ref.rect.col2);
    std::swap(ref.col1Absolute, ref.col2Absolute);
  }
}
}  // namespace detail

inline bool ParseReference(std::string_view first, std::string_view second, Reference& ref) {
  ref = {};
  const Part a = ParsePart(first);
  if (second.empty()) {
    if (a.kind != PartKind::Cell) return false;
    ref.shape = Shape::Cell;
    ref.rect = {a.row, a.column, a.row, a.column};
    ref.row1Absolute = ref.row2Absolute = a.rowAbsolute;
    ref.col1Absolute = ref.col2Absolute = a.columnAbsolute;
    return true;
  }
  if (a.kind == PartKind::None) return false;
  const Part b = ParsePart(second);
  if (b.kind != a.kind) return false;
  ref.row1Absolute = a.rowAbsolute;
  ref.col1Absolute = a.columnAbsolute;
  ref.row2Absolute = b.rowAbsolute;
  ref.col2Absolute = b.columnAbsolute;
  switch (a.kind) {
    case PartKind::Cell:
      ref.shape = Shape::Area;
      ref.rect = {a.row, a.column, b.row, b.column};
      break;
    case PartKind::Column:
      ref.shape = Shape::Columns;
      ref.rect = {1, a.column, kMaxRows, b.column};
      break;
    default:
      ref.shape = Shape::Rows;
      ref.rect = {a.row, 1, b.row, kMaxColumns};
      break;
  }
  detail::Normalize(ref);
  return true;
}

}  // namespace tabrix::a1
