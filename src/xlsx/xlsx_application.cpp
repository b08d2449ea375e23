// The native engine's Application, and the platform's factory that hands it out.
#include "xlsx/xlsx_application.h"

#include "xlsx/xlsx_workbook.h"

namespace tabrix::xlsx {

std::shared_ptr<platform::Workbook> XlsxApplication::OpenWorkbook(const std::string& path, bool) {
  return XlsxWorkbook::Open(shared_from_this(), path);
}

}  // namespace tabrix::xlsx

namespace tabrix::platform {

std::shared_ptr<Application> CreateSpreadsheetApplication(const ApplicationSettings& settings) {
  return std::make_shared<xlsx::XlsxApplication>(settings);
}

}  // namespace tabrix::platform
