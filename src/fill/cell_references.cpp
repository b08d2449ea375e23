// Cell lists, ranges, image lists, picture options and page-break texts of the fill engines.
#include "fill/cell_references.h"

#include <algorithm>
#include <cstdint>
#include <exception>

#include "script/tokenizer.h"
#include "support/text_case.h"
#include "tabrix/error.h"
#include "tabrix/error_codes.h"
#include "tabrix/variant.h"

namespace tabrix::fill {
namespace {


std::string Upper(std::string_view text) {
  std::string result(text);
  for (char& c : result)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return result;
}

Block ToBlock(const platform::CellRect& rect) {
  return Block{rect.row1, rect.row2, rect.col1, rect.col2};
}

}  // namespace

bool NormalizeFillOrder(std::int16_t& fillOrder) {
  switch (fillOrder) {
    case 0:
    case 1:
      return false;
    case 2:
      fillOrder = 0;
      return true;
    case 3:
      fillOrder = 1;
      return true;
    default:
      fillOrder = 0;
      return false;
  }
}

void CheckCellList(const std::vector<std::string>& entries) {
  if (entries.empty())
    RaiseTabrixError(kErrCellListMissing, "Syntax error. There is a lack of the parameter \"CELL\".");
  if (entries.front().empty())
    RaiseTabrixError(kErrEmptyFirstCell,
                     "Syntax error. It is not a valid cell \"\" for the parameter \"CELL\".");
}

std::vector<FieldCell> LocateFieldCells(platform::Worksheet& sheet, std::int32_t fieldCount,
                                        const std::vector<std::string>& entries,
                                        std::int16_t fillOrder) {
  std::vector<FieldCell> cells(static_cast<size_t>(std::max(fieldCount, 0)));
  const std::int32_t entryCount = static_cast<std::int32_t>(entries.size());
  for (std::int32_t i = 0; i < fieldCount; ++i) {
    FieldCell& cell = cells[static_cast<size_t>(i)];
    if (i < entryCount && !entries[static_cast<size_t>(i)].empty()) {
      const platform::CellRect rect = sheet.ResolveReference(entries[static_cast<size_t>(i)]);
      cell.Row = rect.row1;
      cell.Column = rect.col1;
    } else if (i == 0) {
      // Only reachable when the list was not checked: the first field has no neighbour.
      RaiseTabrixError(kErrEmptyFirstCell,
                       "Syntax error. It is not a valid cell \"\" for the parameter \"CELL\".");
    } else {
      const FieldCell& previous = cells[static_cast<size_t>(i - 1)];
      cell.Row = previous.Row + (fillOrder == 1 ? 1 : 0);
      cell.Column = previous.Column + (fillOrder == 1 ? 0 : 1);
    }
  }
  return cells;
}

Block BoundingBlock(const std::vector<FieldCell>& cells) {
  if (cells.empty()) return Block{};
  Block block{cells[0].Row, cells[0].Row, cells[0].Column, cells[0].Column};
  for (const FieldCell& cell : cells) {
    block.MinRow = std::min(block.MinRow, cell.Row);
    block.MaxRow = std::max(block.MaxRow, cell.Row);
    block.MinCol = std::min(block.MinCol, cell.Column);
    block.MaxCol = std::max(block.MaxCol, cell.Column);
  }
  return block;
}

Block RangeBlock(platform::Worksheet& sheet, std::string_view rangeText) {
  return ToBlock(sheet.ResolveReference(rangeText));
}

void CheckRangeContains(const Block& range, const Block& block) {
  if (range.MinRow <= block.MinRow && range.MinCol <= block.MinCol &&
      range.MaxRow >= block.MaxRow && range.MaxCol >= block.MaxCol)
    return;
  const platform::CellRect rect{block.MinRow, block.MinCol, block.MaxRow, block.MaxCol};
  RaiseTabrixError(kErrRangeTooSmall, "The range or copyrange should be " +
                                       platform::FormatAddress(rect, false, false) + ".");
}

Block ResolveFieldCells(platform::Worksheet& sheet, std::int32_t fieldCount,
                        const std::vector<std::string>& entries, std::int16_t fillOrder,
                        std::string_view rangeText, std::vector<FieldCell>& cells) {
  CheckCellList(entries);

  Block block;
  try {
    cells = LocateFieldCells(sheet, fieldCount, entries, fillOrder);
    // A recordset without fields still has a block: the first listed cell.
    block = cells.empty() ? ToBlock(sheet.ResolveReference(entries.front())) : BoundingBlock(cells);
  } catch (...) {
    const AutomationError cause = ToAutomationError(std::current_exception());
    RaiseTabrixError(kErrBadCellList, "Syntax error. Failed to parse cell list. " + cause.Description());
  }

  if (rangeText.empty()) return block;

  Block range;
  try {
    range = RangeBlock(sheet, rangeText);
  } catch (...) {
    const AutomationError cause = ToAutomationError(std::current_exception());
    RaiseTabrixError(kErrBadRange, "Syntax error. Failed to parse range '" + std::string(rangeText) +
                                    "'. " + cause.Description());
  }
  CheckRangeContains(range, block);
  return range;
}

bool IsNumericImageList(const std::vector<std::string>& entries) {
  return !entries.empty() && IsNumeric(entries.front());
}

std::int32_t ImageFieldIndex(platform::Recordset& recordset, const std::string& entry,
                             bool numericList) {
  std::int32_t index;
  if (numericList)
    index = static_cast<std::int32_t>(ToInt16(Variant(entry))) - 1;
  else
    index = FindFieldIndex(recordset, entry);
  if (index < 0 || index >= recordset.GetFields().Count())
    RaiseTabrixError(kErrImageFieldMissing, "Syntax error. Failed to parse image. Can not find field \"" +
                                             entry + "\" in the image list.");
  return index;
}

std::vector<std::int32_t> ResolveImageFieldIndexes(platform::Recordset& recordset,
                                                   const std::vector<std::string>& entries) {
  std::vector<std::int32_t> indexes;
  const bool numeric = IsNumericImageList(entries);
  for (const std::string& entry : entries) indexes.push_back(ImageFieldIndex(recordset, entry, numeric));
  return indexes;
}

static bool IsImageListError(const AutomationError& error) {
  return error.Source() == kProductName && error.Number() == kErrImageFieldMissing;
}

void RaiseImageListError(std::exception_ptr error) {
  const AutomationError cause = ToAutomationError(error);
  if (IsImageListError(cause)) throw cause;
  RaiseTabrixError(kErrBadImageList, "Syntax error. Failed to parse image. " + cause.Description());
}

ImageOptions ParseImageOptions(std::string_view text) {
  ImageOptions options;
  int position = 1;
  while (position <= static_cast<int>(text.size())) {
    const std::string token = Upper(GetToken(text, position, false));
    if (token.empty()) break;
    if (token == "MAS") {
      options.Placement = platform::kPlacementMoveAndSize;
    } else if (token == "MNS") {
      options.Placement = platform::kPlacementMove;
    } else if (token == "NMS") {
      options.Placement = platform::kPlacementFreeFloating;
    } else if (token == "STRETCH") {
      options.Stretch = true;
    } else if (token[0] == 'W' || token[0] == 'H') {
      const std::string_view rest = std::string_view(token).substr(1);
      if (!IsNumeric(rest)) continue;
      try {
        const float value = ToSingle(rest);
        (token[0] == 'W' ? options.Width : options.Height) = value;
      } catch (const AutomationError&) {
        // A size the option cannot hold leaves the option as it was.
      }
    }
  }
  return options;
}

PageBreakSpec ParsePageBreak(std::string_view text, std::int16_t highestGroupLevel) {
  PageBreakSpec spec;
  if (text.empty()) return spec;
  for (const std::string& entry : SplitList(text)) {
    const std::string item = Upper(entry);
    const size_t g = item.find('G');
    if (g != std::string::npos && spec.GroupBreakCount == 0) {
      const std::string before = item.substr(0, g);
      const std::string after = item.substr(g + 1);
      std::int16_t level = 0;
      if (after.empty())
        level = 1;
      else if (IsNumeric(after))
        level = ToInt16(Variant(after));
      std::int16_t count = 0;
      if (IsNumeric(before)) count = ToInt16(Variant(before));
      if (count >= 1 && level >= 1 && level <= highestGroupLevel) {
        spec.GroupBreakCount = count;
        spec.GroupBreakLevel = level;
      } else {
        spec.GroupBreakCount = 0;
        spec.GroupBreakLevel = 0;
      }
      continue;
    }
    if (spec.RecordsPerPage != 0) continue;
    std::string rest = item;
    if (!rest.empty() && rest.back() == 'R') rest.pop_back();
    if (!IsNumeric(rest)) continue;
    const std::int16_t records = ToInt16(Variant(rest));
    spec.RecordsPerPage = records < 1 ? 0 : records;
  }
  return spec;
}

std::int32_t FindFieldIndex(platform::Recordset& recordset, std::string_view name) {
  platform::Fields& fields = recordset.GetFields();
  const std::int32_t count = fields.Count();
  for (std::int32_t i = 0; i < count; ++i)
    if (EqualsIgnoringCase(fields.Item(i).Name(), name)) return i;
  return -1;
}

std::int32_t CountRecords(platform::Recordset& recordset) {
  std::int32_t count = 0;
  while (!recordset.Eof()) {
    ++count;
    recordset.MoveNext();
  }
  if (count > 0) recordset.MoveFirst();
  return count;
}

}  // namespace tabrix::fill
