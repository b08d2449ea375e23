// The growing table: the template holds `reserve` record blocks; missing blocks are inserted
// (or surplus ones deleted) before the records are written, so that whatever follows the table
// moves with it.
#pragma once

#include <cstdint>
#include <string>

#include "tabrix/tabrix.h"

namespace tabrix::fill {

// What an empty recordset does to the template block.
enum NoDataAction : std::int16_t { kNoDataKeep = 0, kNoDataDeleteRange = 1, kNoDataDeleteSheet = 2 };

void RunVarTableReport(TabrixEvents* events, const RecordsetPtr& recordset,
                       const WorksheetPtr& worksheet, const std::string& cellList,
                       const std::string& rangeText, std::int16_t copy, std::int16_t reserve,
                       std::int16_t& fillOrder, const std::string& imageList,
                       const std::string& pageBreak, std::int16_t noData);

}  // namespace tabrix::fill
