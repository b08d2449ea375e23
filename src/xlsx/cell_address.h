// A1 cell addresses of the sheet XML and of Range texts: cells, rectangles, sheet qualifiers and
// sqref lists (on the shared grammar of support/a1_reference.h).
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

struct CellPosition {
  std::int32_t row = 0, column = 0;
};

// "B2", "$B$2" (either case); std::nullopt when the text is not exactly one cell in the sheet.
std::optional<CellPosition> ParseCell(std::string_view text);

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

// "A1:B2 D4" -> rectangles; invalid items are skipped.
std::vector<CellRect> ParseSqref(std::string_view text);
std::string FormatSqref(const std::vector<CellRect>& rects);
// Sheet-XML form of one rectangle: "B2", "B2:D5", whole rows "A5:XFD7" style kept as cells.
std::string FormatRef(const CellRect& rect);

// Case-insensitive comparison of sheet or defined names (every letter; support/text_case.h).
bool NamesEqual(std::string_view a, std::string_view b);

}  // namespace tabrix::xlsx
