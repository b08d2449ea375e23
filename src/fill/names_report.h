// Workbook names from one record: field k of the current record becomes the value of the k-th
// listed name.
#pragma once

#include <string>

#include "tabrix/tabrix.h"

namespace tabrix::fill {

void RunSetExcelName(const RecordsetPtr& recordset, const WorkbookPtr& workbook,
                     const std::string& nameList);

}  // namespace tabrix::fill
