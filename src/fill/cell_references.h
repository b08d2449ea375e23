// Cell lists, ranges, image lists, picture options and page-break texts of the fill engines.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "tabrix/platform/database.h"
#include "tabrix/platform/spreadsheet.h"

namespace tabrix::fill {

inline constexpr int kMaxListEntries = 1024;

// Splits a list text into entries ("," and blanks separate; one pair of outer quotes removed;
// ",," stores an empty entry). Raises run-time error 9 for a 1025th entry.
std::vector<std::string> SplitList(std::string_view text);

// Normalises FillOrder in place (2 -> 0, 3 -> 1, anything outside 0..3 -> 0); returns true when
// a range fill order (2 or 3) was asked for.
bool NormalizeFillOrder(std::int16_t& fillOrder);

struct FieldCell {
  std::int32_t Row = 0;
  std::int32_t Column = 0;
  bool IsImage = false;
};

struct Block {
  std::int32_t MinRow = 0, MaxRow = 0, MinCol = 0, MaxCol = 0;
};

struct ImageOptions {
  std::int32_t Placement = 2;
  bool Stretch = false;
  float Width = -1;
  float Height = -1;
};

struct PageBreakSpec {
  std::int16_t RecordsPerPage = 0;
  std::int16_t GroupBreakCount = 0;
  std::int16_t GroupBreakLevel = 0;
};

// Raises 0x8004006F (no entry) or 0x80040070 (empty first entry).
void CheckCellList(const std::vector<std::string>& entries);

// One cell per field: listed entries through the worksheet's reference resolution, others next
// to the previous field's cell (right for fill order 0, down for 1). Errors pass unframed.
std::vector<FieldCell> LocateFieldCells(platform::Worksheet& sheet, std::int32_t fieldCount,
                                        const std::vector<std::string>& entries,
                                        std::int16_t fillOrder);

// Smallest rectangle around the cells.
Block BoundingBlock(const std::vector<FieldCell>& cells);

// The rectangle of a range text: raises its own errors unframed.
Block RangeBlock(platform::Worksheet& sheet, std::string_view rangeText);

// Checks that `range` contains `block`; raises 0x80040079 "The range or copyrange should be
// <address>." otherwise.
void CheckRangeContains(const Block& range, const Block& block);

// Field cells and template block of the fixed and variable tables, with their error frames
// (0x80040071 cell list, 0x80040079 / 0x8004007A range).
Block ResolveFieldCells(platform::Worksheet& sheet, std::int32_t fieldCount,
                        const std::vector<std::string>& entries, std::int16_t fillOrder,
                        std::string_view rangeText, std::vector<FieldCell>& cells);

// Field indexes of an image list (numbers when the first entry is numeric, otherwise names);
// raises 0x80040083 for an entry that names no field. Conversion errors pass unframed.
std::vector<std::int32_t> ResolveImageFieldIndexes(platform::Recordset& recordset,
                                                   const std::vector<std::string>& entries);

// The same, one entry at a time (the variable table reads each field's options as it goes):
// the list is numeric when its first entry is.
bool IsNumericImageList(const std::vector<std::string>& entries);
std::int32_t ImageFieldIndex(platform::Recordset& recordset, const std::string& entry,
                             bool numericList);
// Raises a failure of the image step as the engines report it: 0x80040083 as it is, anything
// else as 0x80040084 "Syntax error. Failed to parse image. <description>".
[[noreturn]] void RaiseImageListError(std::exception_ptr error);

ImageOptions ParseImageOptions(std::string_view text);
PageBreakSpec ParsePageBreak(std::string_view text, std::int16_t highestGroupLevel);

// Case-insensitive field lookup; -1 when absent.
std::int32_t FindFieldIndex(platform::Recordset& recordset, std::string_view name);
// Counts records from the current position to the end, then MoveFirst when any.
std::int32_t CountRecords(platform::Recordset& recordset);

}  // namespace tabrix::fill
