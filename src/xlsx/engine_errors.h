// Errors the workbook engine raises, numbered and worded as the spreadsheet application's.
#pragma once

#include <string>

#include "tabrix/error.h"

namespace tabrix::xlsx {

// Source of the engine's own errors.
inline constexpr const char* kEngineSource = "Tabrix Workbook Engine";
// The application's general object-model error number.
inline constexpr std::int32_t kErrApplicationDefined = 1004;

// Number 1004 with the given description.
[[noreturn]] void RaiseEngineError(const std::string& description);
// "Method 'Range' of object '_Worksheet' failed" and the like.
[[noreturn]] void RaiseMethodFailed(const std::string& method, const std::string& object);
// "Application-defined or object-defined error".
[[noreturn]] void RaiseApplicationDefined();
// "'<file>' cannot be opened: <problem>."
[[noreturn]] void RaiseOpenFailed(const std::string& file, const std::string& problem);

}  // namespace tabrix::xlsx
