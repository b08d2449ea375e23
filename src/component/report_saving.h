// Saving the report workbook: the file format from the format-conversion table, column fitting of
// text templates, worksheet protection, and ReportComplete.
#pragma once

#include <cstdint>

#include "tabrix/tabrix.h"

namespace tabrix {

inline constexpr int kErrSaveReport = 0x12;        // 0x80040012
inline constexpr int kErrUnsupportedFormat = 0x13;  // 0x80040013

// Whether a file-format code is one of the text formats a template may have (36 included), and
// one a report may be saved in (36, formatted text, excluded).
bool IsTemplateTextFormat(std::int32_t fileFormat);
bool IsTargetTextFormat(std::int32_t fileFormat);

// Saves the run's report workbook under the report path. Logs and raises 0x80040012 /
// 0x80040013 when the save fails.
bool SaveReport(const ApplicationPtr& application);

}  // namespace tabrix
