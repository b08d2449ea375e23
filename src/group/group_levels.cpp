// Building the grouped report's level table from the GROUP and GROUPRANGE values: key fields,
// detail fields and each level's rectangle in the template.
#include "group/group_levels.h"

#include <algorithm>

#include "group/error_frames.h"
#include "tabrix/error.h"
#include "tabrix/error_codes.h"
#include "tabrix/variant.h"

namespace tabrix::group {
namespace {

constexpr std::int32_t kApplicationDefinedError = 1004;

// Takes a field cell into a block; a side still 0 is not set yet and takes the cell's value.
void Widen(GroupLevel& level, const fill::FieldCell& cell) {
  level.MinRow = level.MinRow == 0 ? cell.Row : std::min(level.MinRow, cell.Row);
  level.MaxRow = level.MaxRow == 0 ? cell.Row : std::max(level.MaxRow, cell.Row);
  level.MinCol = level.MinCol == 0 ? cell.Column : std::min(level.MinCol, cell.Column);
  level.MaxCol = level.MaxCol == 0 ? cell.Column : std::max(level.MaxCol, cell.Column);
}

bool Contains(const fill::Block& range, const GroupLevel& block) {
  return range.MinCol <= block.MinCol && range.MinRow <= block.MinRow &&
         range.MaxRow >= block.MaxRow && range.MaxCol >= block.MaxCol;
}

void Adopt(GroupLevel& level, const fill::Block& range) {
  level.MinRow = range.MinRow;
  level.MaxRow = range.MaxRow;
  level.MinCol = range.MinCol;
  level.MaxCol = range.MaxCol;
}

// Relative A1 address of a block; a block without cells has no address.
std::string RelativeAddress(const GroupLevel& block) {
  if (block.MinRow < 1 || block.MinCol < 1 || block.MaxRow < 1 || block.MaxCol < 1)
    RaiseRuntimeError(kApplicationDefinedError);
  platform::CellRect rect{block.MinRow, block.MinCol, block.MaxRow, block.MaxCol};
  return platform::FormatAddress(rect, false, false);
}

// Key fields of every group, in listed order. Once a group's first entry is a number, this and
// every later group is read as 1-based field numbers.
void ResolveKeyFields(platform::Recordset& recordset, std::int32_t fieldCount,
                      const std::vector<GroupText>& groups, LevelTable& table) {
  const std::string framePrefix = "Syntax error. Failed to parse group. ";
  bool numberMode = false;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const std::vector<std::string>& entries = groups[g].KeyEntries;
    if (!entries.empty() && IsNumeric(entries.front())) numberMode = true;
    for (const std::string& entry : entries) {
      const std::int32_t index = InFrame(kGroupFrame, framePrefix, [&]() -> std::int32_t {
        if (numberMode) return static_cast<std::int32_t>(ToInt16(Variant(entry))) - 1;
        return fill::FindFieldIndex(recordset, entry);
      });
      if (index < 0 || index >= fieldCount) {
        RaiseTabrixError(kErrGroupFieldMissing, "Syntax error. Failed to parse group " +
                                             std::to_string(g + 1) + ". Can not find field \"" +
                                             entry + "\".");
      }
      table.Levels[g].KeyFields.push_back(index);
      table.IsGroupKey[static_cast<std::size_t>(index)] = true;
    }
  }
}

// Puts a range text over a block: the range replaces the block when it contains it; otherwise
// the given error names the block it has to contain. Failures to read the range are framed.
void ApplyRangeText(platform::Worksheet& sheet, const std::string& rangeText, GroupLevel& block,
                    std::int32_t frameCode, const std::string& framePrefix, std::int32_t tooSmallCode,
                    const std::string& tooSmallPrefix) {
  const fill::Block range =
      InFrame(frameCode, framePrefix, [&] { return fill::RangeBlock(sheet, rangeText); });
  if (Contains(range, block)) {
    Adopt(block, range);
    return;
  }
  const std::string address =
      InFrame(frameCode, framePrefix, [&] { return RelativeAddress(block); });
  RaiseTabrixError(tooSmallCode, tooSmallPrefix + address + ".");
}

}  // namespace

LevelTable ResolveGroupLevels(platform::Recordset& recordset, platform::Worksheet& sheet,
                              const std::vector<fill::FieldCell>& cells,
                              const std::vector<GroupText>& groups, const std::string& rangeText) {
  const auto fieldCount = static_cast<std::int32_t>(cells.size());
  const std::size_t groupCount = groups.size();

  LevelTable table;
  table.Levels.resize(groupCount + 1);
  table.IsGroupKey.assign(cells.size(), false);
  for (std::size_t g = 0; g < groupCount; ++g) table.Levels[g].RangeText = groups[g].RangeText;

  ResolveKeyFields(recordset, fieldCount, groups, table);

  GroupLevel& detail = table.Levels[groupCount];
  detail.RangeText = rangeText;
  for (std::int32_t f = 0; f < fieldCount; ++f) {
    if (table.IsGroupKey[static_cast<std::size_t>(f)]) continue;
    detail.KeyFields.push_back(f);
    Widen(detail, cells[static_cast<std::size_t>(f)]);
  }

  if (!rangeText.empty()) {
    ApplyRangeText(sheet, rangeText, detail, kRangeFrame,
                   "Syntax error. Failed to parse range '" + rangeText + "'. ", kErrRangeTooSmall,
                   "The range or copyrange should be ");
  }

  // Innermost group first: each group block starts from the block inside it.
  for (std::size_t g = groupCount; g-- > 0;) {
    GroupLevel& level = table.Levels[g];
    const GroupLevel& inner = table.Levels[g + 1];
    level.MinRow = inner.MinRow;
    level.MaxRow = inner.MaxRow;
    level.MinCol = inner.MinCol;
    level.MaxCol = inner.MaxCol;
    for (std::int32_t f : level.KeyFields) Widen(level, cells[static_cast<std::size_t>(f)]);
    if (!level.RangeText.empty()) {
      ApplyRangeText(sheet, level.RangeText, level, kGroupRangeFrame,
                     "Syntax error. Failed to parse grouprange. ", kErrGroupRangeTooSmall,
                     "The grouprange of group" + std::to_string(g + 1) + " should be ");
    }
  }
  // Every field is a group key: the detail level has no cells of its own and takes the
  // innermost group's block, so the layout tests look at the groups alone. A record that
  // repeats every key adds nothing to the sheet (group_fill.h).
  if (detail.KeyFields.empty() && groupCount > 0) {
    const GroupLevel& innermost = table.Levels[groupCount - 1];
    detail.MinRow = innermost.MinRow;
    detail.MaxRow = innermost.MaxRow;
    detail.MinCol = innermost.MinCol;
    detail.MaxCol = innermost.MaxCol;
  }
  return table;
}

bool IsFlatLayout(const LevelTable& table, bool recordsGoDown) {
  const GroupLevel& outer = table.Levels.front();
  return std::all_of(table.Levels.begin() + 1, table.Levels.end(), [&](const GroupLevel& level) {
    return recordsGoDown ? level.MinRow == outer.MinRow && level.MaxRow == outer.MaxRow
                         : level.MinCol == outer.MinCol && level.MaxCol == outer.MaxCol;
  });
}

bool IsUniformLayout(const LevelTable& table) {
  const GroupLevel& outer = table.Levels.front();
  return std::all_of(table.Levels.begin() + 1, table.Levels.end(), [&](const GroupLevel& level) {
    return level.MinRow == outer.MinRow && level.MaxRow == outer.MaxRow &&
           level.MinCol == outer.MinCol && level.MaxCol == outer.MaxCol;
  });
}

}  // namespace tabrix::group
