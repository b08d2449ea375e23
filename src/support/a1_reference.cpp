// The A1 reference grammar: references, sheet qualifiers, column letters and their writing.
#include "support/a1_reference.h"

#include <utility>

namespace tabrix::a1 {
Reference ReferenceOf(const CellRect& rect) {
  Reference ref;
  ref.rect = rect;
  const bool allRows = rect.row1 == 1 && rect.row2 == kMaxRows;
  const bool allColumns = rect.col1 == 1 && rect.col2 == kMaxColumns;
  if (allRows && !allColumns)
    ref.shape = Shape::Columns;
  else if (allColumns && !allRows)
    ref.shape = Shape::Rows;
  else if (rect.row1 == rect.row2 && rect.col1 == rect.col2)
    ref.shape = Shape::Cell;
  else
    ref.shape = Shape::Area;
  return ref;
}

std::size_t QuotedNameEnd(std::string_view s, std::size_t i) {
  const char quote = s[i];
  for (++i; i < s.size(); ++i) {
    if (s[i] != quote) continue;
    if (i + 1 < s.size() && s[i + 1] == quote) {
      ++i;
      continue;
    }
    return i;
  }
  return s.size();
}

std::string UnquoteName(std::string_view quoted) {
  std::string name;
  name.reserve(quoted.size());
  for (std::size_t i = 0; i < quoted.size(); ++i) {
    name.push_back(quoted[i]);
    if (quoted[i] == '\'' && i + 1 < quoted.size() && quoted[i + 1] == '\'') ++i;
  }
  return name;
}

std::int32_t ColumnNumber(std::string_view letters) {
  const Part part = ParsePart(letters);
  return part.kind == PartKind::Column && !part.columnAbsolute ? part.column : 0;
}

void AppendColumn(std::string& out, std::int32_t column) {
  char letters[8];  // 26^7 exceeds every int32_t
  int n = 0;
  while (column > 0) {
    letters[n++] = static_cast<char>('A' + (column - 1) % 26);
    column = (column - 1) / 26;
  }
  while (n > 0) out.push_back(letters[--n]);
}

void AppendRow(std::string& out, std::int32_t row) {
  char digits[12];
  int n = 0;
  std::uint32_t value = static_cast<std::uint32_t>(row < 0 ? -static_cast<std::int64_t>(row) : row);
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  if (row < 0) out.push_back('-');
  while (n > 0) out.push_back(digits[--n]);
}

void AppendCell(std::string& out, std::int32_t row, std::int32_t column, bool rowAbsolute,
                bool columnAbsolute) {
  if (columnAbsolute) out.push_back('$');
  AppendColumn(out, column);
  if (rowAbsolute) out.push_back('$');
  AppendRow(out, row);
}

void AppendReference(std::string& out, const Reference& ref) {
  const CellRect& r = ref.rect;
  switch (ref.shape) {
    case Shape::Cell:
      AppendCell(out, r.row1, r.col1, ref.row1Absolute, ref.col1Absolute);
      break;
    case Shape::Area:
      AppendCell(out, r.row1, r.col1, ref.row1Absolute, ref.col1Absolute);
      out.push_back(':');
      AppendCell(out, r.row2, r.col2, ref.row2Absolute, ref.col2Absolute);
      break;
    case Shape::Columns:
      if (ref.col1Absolute) out.push_back('$');
      AppendColumn(out, r.col1);
      out.push_back(':');
      if (ref.col2Absolute) out.push_back('$');
      AppendColumn(out, r.col2);
      break;
    case Shape::Rows:
      if (ref.row1Absolute) out.push_back('$');
      AppendRow(out, r.row1);
      out.push_back(':');
      if (ref.row2Absolute) out.push_back('$');
      AppendRow(out, r.row2);
      break;
  }
}

}  // namespace tabrix::a1
