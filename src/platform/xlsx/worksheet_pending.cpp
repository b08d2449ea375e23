// Operations that land in the next steps.
#include "platform/xlsx/engine_errors.h"
#include "platform/xlsx/workbook_document.h"

namespace tabrix::xlsx {

void XlsxWorksheet::CopyCells(const CellRect&, std::int32_t, std::int32_t) { RaiseEngineError("Copy is not available yet"); }
void XlsxWorksheet::AutoFill(const CellRect&, const CellRect&, int) { RaiseEngineError("AutoFill is not available yet"); }
std::shared_ptr<platform::Shape> XlsxWorksheet::AddPicture(const std::string&, bool, bool, double, double, double, double) {
  RaiseEngineError("AddPicture is not available yet");
}
void XlsxWorksheet::AutoFitColumns() {}

}  // namespace tabrix::xlsx
