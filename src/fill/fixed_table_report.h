// The fixed table: records go into consecutive copies of the template block; nothing is
// inserted or deleted.
#pragma once

#include <cstdint>
#include <string>

#include "tabrix/tabrix.h"

namespace tabrix::fill {

void RunFixTableReport(TabrixEvents* events, const RecordsetPtr& recordset,
                       const WorksheetPtr& worksheet, const std::string& cellList,
                       const std::string& rangeText, std::int16_t copy, std::int16_t& fillOrder,
                       const std::string& imageList, const std::string& pageBreak);

}  // namespace tabrix::fill
