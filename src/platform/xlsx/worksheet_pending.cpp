// Operations that land in the next steps.
#include "platform/xlsx/engine_errors.h"
#include "platform/xlsx/workbook_document.h"

namespace tabrix::xlsx {

std::shared_ptr<platform::Shape> XlsxWorksheet::AddPicture(const std::string&, bool, bool, double, double, double, double) {
  RaiseEngineError("AddPicture is not available yet");
}
void XlsxWorksheet::AutoFitColumns() {}

}  // namespace tabrix::xlsx
