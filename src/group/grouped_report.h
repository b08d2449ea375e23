// The grouped-table report: the method frame around the level table and the record loop.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "group/group_levels.h"
#include "tabrix/tabrix.h"

namespace tabrix::group {

// Group1, GroupRange1, Group2, GroupRange2, ... Group10, GroupRange10.
using GroupTexts = std::array<std::string, 2 * kMaxGroups>;

// Writes the records of `recordset` into `worksheet` as a grouped table. `fillOrder` is
// normalised in place (2 and 3 become 0 and 1, any other value 0). Raises AutomationErrors with
// the report's numbers and descriptions; FunctionProgress goes to `events` when it is set.
void RunGroupTableReport(TabrixEvents* events, const RecordsetPtr& recordset,
                         const WorksheetPtr& worksheet, const std::string& cellList,
                         const std::string& range, std::int16_t& fillOrder,
                         const std::string& imageList, const std::string& pageBreak,
                         std::int16_t noData, const GroupTexts& groupTexts);

}  // namespace tabrix::group
