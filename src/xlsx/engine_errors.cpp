// The workbook engine's errors, numbered and worded as the spreadsheet application's.
#include "xlsx/engine_errors.h"

namespace tabrix::xlsx {

void RaiseEngineError(const std::string& description) {
  throw AutomationError(kErrApplicationDefined, kEngineSource, description);
}

void RaiseMethodFailed(const std::string& method, const std::string& object) {
  RaiseEngineError("Method '" + method + "' of object '" + object + "' failed");
}

void RaiseApplicationDefined() { RaiseEngineError("Application-defined or object-defined error"); }

void RaiseOpenFailed(const std::string& file, const std::string& problem) {
  RaiseEngineError("'" + file + "' cannot be opened: " + problem + ".");
}

}  // namespace tabrix::xlsx
