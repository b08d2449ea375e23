// Edits the spreadsheet application refuses, checked before the engine changes anything:
// structural edits that cut through a multi-cell array formula or a pivot table, or that the
// sheet's protection forbids, and values written into part of a multi-cell array formula.
#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <optional>
#include <vector>

#include "tabrix/platform/spreadsheet.h"

namespace tabrix::xlsx {

using platform::CellRect;

class XlsxWorksheet;
struct SheetEdit;

// What a worksheet remembers between checks so that a cell write stays cheap: its tables' parts
// (read once).
struct SheetGuardCache {
  std::optional<std::vector<pugi::xml_node>> tables;
};

// The ranges of the sheet's array formulas that cover more than one cell, as they are now.
std::vector<CellRect> MultiCellArrays(XlsxWorksheet& sheet);

// True when the edit would move or cut part of `rect` but not all of it (an insertion strictly
// inside it, a deletion of some of its rows, or a band edge running through it).
bool EditTears(const CellRect& rect, const SheetEdit& edit);

// Raises the application's error when the edit is refused: the sheet's protection forbids it,
// or it would tear a multi-cell array formula or a pivot table.
void CheckEditAllowed(XlsxWorksheet& sheet, const SheetEdit& edit);

// Raises "You can't change part of an array." when the cell lies in a multi-cell array formula.
void CheckCellWritable(XlsxWorksheet& sheet, std::int32_t row, std::int32_t column);

}  // namespace tabrix::xlsx
