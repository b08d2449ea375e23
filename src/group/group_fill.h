// The record loop of the grouped report.
//
// For every record the loop finds the outermost level whose key changed, makes room for a new
// block of that level right after the level's current block, copies the level's block from a
// spare template into the room and writes the fields of that level and of every level inside
// it. The first record fills the template itself. The spare template is a copy of the whole
// template that travels beyond the output (it is pushed along by every insertion) and is deleted
// at the end, so the finished table ends where its last block ends and whatever followed the
// template follows the table. When every field is a group key there are no detail cells: a
// record that repeats every key of the record before it writes nothing and takes no room.
//
// Records that open no group (they repeat every key of the record before) are planned in runs:
// the loop reads ahead how many follow, makes room for all of them in one insertion and repeats
// the current record block over the room in one fill. See group_fill.cpp for when it does not.
#pragma once

#include <cstdint>
#include <vector>

#include "fill/cell_references.h"
#include "group/group_levels.h"
#include "tabrix/platform/database.h"
#include "tabrix/platform/spreadsheet.h"
#include "tabrix/tabrix.h"

namespace tabrix::group {

struct FillPlan {
  bool RecordsGoDown = true;  // fill order 0; false: records go right (fill order 1)
  bool RangeFill = false;     // insert and delete cells of the outermost block's width only
  bool HasImageList = false;  // the image list is not empty: the picture folder is needed
  std::int32_t RecordCount = 0;  // at least 1
  bool PlanRuns = true;          // false: room and a copy for every record, one at a time
  fill::PageBreakSpec PageBreaks;
};

// Writes `plan.RecordCount` records, starting with the recordset's current record. Image fields
// carry their options in `imageOptions` (one per field; stretching may change them). Failures
// of the worksheet, the recordset and the pictures end the loop at once and pass unframed;
// everything written so far, the spare template included, stays.
void FillGroups(TabrixEvents* events, platform::Recordset& recordset, platform::Worksheet& sheet,
                const LevelTable& table, const std::vector<fill::FieldCell>& cells,
                std::vector<fill::ImageOptions>& imageOptions, const FillPlan& plan);

}  // namespace tabrix::group
