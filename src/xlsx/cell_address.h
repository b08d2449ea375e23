// A1 cell addresses: column letters, cells, rectangles, sheet qualifiers and sqref lists.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tabrix/platform/spreadsheet.h"

namespace tabrix::xlsx {

using platform::CellRect;
using platform::kMaxColumns;
using platform::kMaxRows;

// "A" -> 1 ... "XFD" -> 16384 (letters in either case); 0 for anything else.
std::int32_t ColumnNumber(std::string_view letters);

struct CellPosition {
  std::int32_t row = 0, column = 0;
};

// "B2", "$B$2" (either case); std::nullopt when the text is not exactly one cell in the sheet.
std::optional<CellPosition> ParseCell(std::string_view text);

// "B2" for a cell, as written in the r attribute of the sheet XML.
std::string CellName(std::int32_t row, std::int32_t column);
// Appends the cell name to `out` without allocating.
void AppendCellName(std::string& out, std::int32_t row, std::int32_t column);

// A colon chain without sheet: "B2", "B2:D5", "5:7", "$F:$H", "$F:$F:$H:$H". Cells give their
// bounding rectangle, column items entire columns, row items entire rows. std::nullopt when
// the text is not such a reference.
std::optional<CellRect> ParseArea(std::string_view text);

// Splits "'My sheet'!A1" / "Sheet1!A1:B2" into the sheet name (quotes removed, doubled quotes
// undone) and the rest. Without "!" the sheet is empty and the rest is the whole text.
struct QualifiedText {
  std::string sheet;
  std::string_view rest;
  bool qualified = false;
};
QualifiedText SplitSheetQualifier(std::string_view text);

// Sheet name as written before "!" in formulas: quoted when it needs quotes.
std::string QuoteSheetName(std::string_view sheet);

// "A1:B2 D4" -> rectangles; invalid items are skipped.
std::vector<CellRect> ParseSqref(std::string_view text);
std::string FormatSqref(const std::vector<CellRect>& rects);
// Sheet-XML form of one rectangle: "B2", "B2:D5", whole rows "A5:XFD7" style kept as cells.
std::string FormatRef(const CellRect& rect);

// Case-insensitive comparison of sheet or defined names (ASCII letters fold; other bytes exact).
bool NamesEqual(std::string_view a, std::string_view b);

}  // namespace tabrix::xlsx
