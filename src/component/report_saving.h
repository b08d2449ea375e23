// Saving the report workbook: the file format from the format-conversion table, column fitting of
// text templates, worksheet protection, and ReportComplete.
#pragma once

#include <cstdint>

#include "tabrix/tabrix.h"

namespace tabrix {

struct RunContext;


// Whether a file-format code is one of the text formats a template may have (36 included), and
// one a report may be saved in (36, formatted text, excluded).
bool IsTemplateTextFormat(std::int32_t fileFormat);
bool IsTargetTextFormat(std::int32_t fileFormat);

// Saves the run's report workbook under the report path. Logs and raises 0x80040012 /
// 0x80040013 when the save fails.
bool SaveReport(RunContext& run, const ApplicationPtr& application);

}  // namespace tabrix
