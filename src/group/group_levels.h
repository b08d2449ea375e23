// The level table of a grouped report: which fields key each group, which fields are detail
// fields, and the rectangle every level occupies in the template.
//
// Level 0 is the outermost group (Group1), level g is Group(g + 1), and the last level, after
// the groups, holds the detail fields of one record. Each level block encloses the next one; the
// rows of a block above and below the inner block are the group's header and footer (columns
// left and right of it when records go right).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fill/cell_references.h"
#include "tabrix/platform/database.h"
#include "tabrix/platform/spreadsheet.h"

namespace tabrix::group {

inline constexpr int kMaxGroups = 10;

struct GroupLevel {
  // Groups: the key fields in the order listed. Detail level: every field that keys no group,
  // in field order.
  std::vector<std::int32_t> KeyFields;
  // The group's GroupRange text; for the detail level the Range argument.
  std::string RangeText;
  // The level block; 0 means "not set yet" while blocks are being built.
  std::int32_t MinRow = 0, MaxRow = 0, MinCol = 0, MaxCol = 0;
};

// The texts one group was given: its key-field entries (already split) and its range text.
struct GroupText {
  std::vector<std::string> KeyEntries;
  std::string RangeText;
};

struct LevelTable {
  std::vector<GroupLevel> Levels;  // groups first, detail level last
  std::vector<bool> IsGroupKey;    // one per recordset field

  std::int32_t GroupCount() const { return static_cast<std::int32_t>(Levels.size()) - 1; }
};

// Builds the level table from the groups' texts, the Range text and the field cells. Raises
// directly: 0x8004008D (a group entry names no field), 0x80040079 (Range does not contain the
// detail cells), 0x8004008F (a GroupRange does not contain its level). Any other failure is
// framed by the step it happens in: 0x8004008E group, 0x8004007A range, 0x80040090 grouprange.
// Nothing in the worksheet is changed.
LevelTable ResolveGroupLevels(platform::Recordset& recordset, platform::Worksheet& sheet,
                              const std::vector<fill::FieldCell>& cells,
                              const std::vector<GroupText>& groups, const std::string& rangeText);

// Every level shares level 0's first and last row (records going down) or column (going
// right): the groups add no header or footer lines, so one insertion serves all records.
bool IsFlatLayout(const LevelTable& table, bool recordsGoDown);

// Every level block equals level 0's block: the groups add no cells at all, so the template
// can be repeated for all records by one AutoFill.
bool IsUniformLayout(const LevelTable& table);

}  // namespace tabrix::group
