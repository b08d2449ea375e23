// Operations that land in the next steps.
#include "platform/xlsx/engine_errors.h"
#include "platform/xlsx/workbook_document.h"

namespace tabrix::xlsx {

void XlsxWorksheet::AutoFitColumns() {}

}  // namespace tabrix::xlsx
