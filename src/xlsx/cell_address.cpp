// A1 cell addresses of the workbook engine, on the shared A1 grammar of support/.
#include "xlsx/cell_address.h"

#include <algorithm>

#include "support/a1_reference.h"
#include "support/text_case.h"

namespace tabrix::xlsx {

std::optional<CellPosition> ParseCell(std::string_view text) {
  const a1::Part part = a1::ParsePart(text);
  if (part.kind != a1::PartKind::Cell) return std::nullopt;
  return CellPosition{part.row, part.column};
}

std::optional<CellRect> ParseArea(std::string_view text) {
  if (text.empty()) return std::nullopt;
  // Every item of the chain must have the kind of the first; the rectangle bounds them all.
  a1::PartKind kind = a1::PartKind::None;
  CellRect rect{kMaxRows, kMaxColumns, 1, 1};
  std::size_t items = 0;
  std::size_t start = 0;
  for (;;) {
    const std::size_t colon = text.find(':', start);
    const a1::Part part = a1::ParsePart(
        text.substr(start, colon == std::string_view::npos ? text.npos : colon - start));
    if (part.kind == a1::PartKind::None || (items > 0 && part.kind != kind)) return std::nullopt;
    kind = part.kind;
    ++items;
    if (kind != a1::PartKind::Column) {
      rect.row1 = std::min(rect.row1, part.row);
      rect.row2 = std::max(rect.row2, part.row);
    }
    if (kind != a1::PartKind::Row) {
      rect.col1 = std::min(rect.col1, part.column);
      rect.col2 = std::max(rect.col2, part.column);
    }
    if (colon == std::string_view::npos) break;
    start = colon + 1;
  }
  switch (kind) {
    case a1::PartKind::Cell:
      return rect;
    case a1::PartKind::Column:
      if (items < 2) return std::nullopt;
      return CellRect{1, rect.col1, kMaxRows, rect.col2};
    default:
      if (items < 2) return std::nullopt;
      return CellRect{rect.row1, 1, rect.row2, kMaxColumns};
  }
}

QualifiedText SplitSheetQualifier(std::string_view text) {
  QualifiedText result;
  if (!text.empty() && text.front() == '\'') {
    const std::size_t close = a1::QuotedNameEnd(text, 0);
    if (close + 1 < text.size() && text[close + 1] == '!') {
      result.sheet = a1::UnquoteName(text.substr(1, close - 1));
      result.rest = text.substr(close + 2);
      result.qualified = true;
      return result;
    }
    result.rest = text;
    return result;
  }
  std::size_t bang = text.rfind('!');
  if (bang == std::string_view::npos) {
    result.rest = text;
    return result;
  }
  result.sheet = std::string(text.substr(0, bang));
  result.rest = text.substr(bang + 1);
  result.qualified = true;
  return result;
}

std::vector<CellRect> ParseSqref(std::string_view text) {
  std::vector<CellRect> rects;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) {
      auto rect = ParseArea(text.substr(start, end - start));
      if (rect) rects.push_back(*rect);
    }
    start = end + 1;
  }
  return rects;
}

std::string FormatRef(const CellRect& rect) {
  std::string out;
  a1::AppendCell(out, rect.row1, rect.col1);
  if (rect.row1 != rect.row2 || rect.col1 != rect.col2) {
    out.push_back(':');
    a1::AppendCell(out, rect.row2, rect.col2);
  }
  return out;
}

std::string FormatSqref(const std::vector<CellRect>& rects) {
  std::string out;
  for (const CellRect& rect : rects) {
    if (!out.empty()) out.push_back(' ');
    out += FormatRef(rect);
  }
  return out;
}

bool NamesEqual(std::string_view a, std::string_view b) { return EqualsIgnoringCase(a, b); }

}  // namespace tabrix::xlsx
