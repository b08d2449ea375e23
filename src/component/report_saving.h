// Saving the report workbook: the file format from the format-conversion table, column fitting of
// text templates, worksheet protection, and ReportComplete. The workbook is written to a
// temporary file beside the report and renamed into place only once it is complete, so a failed
// run never damages the previous report.
#pragma once

#include <cstdint>

#include "tabrix/tabrix.h"

namespace tabrix {

struct RunContext;

// Whether a file-format code is one of the text formats a template may have (36 included), and
// one a report may be saved in (36, formatted text, excluded).
bool IsTemplateTextFormat(std::int32_t fileFormat);
bool IsTargetTextFormat(std::int32_t fileFormat);

// A name for a temporary file beside `reportPath` that no other save of this process uses: hidden,
// the report's name, a process and sequence number, the report's extension (some applications
// choose the format by it).
std::string ReportTemporaryName(const std::string& reportPath);

// Saves the run's report workbook under the report path (through a temporary file). Logs and raises 0x80040012 /
// 0x80040013 when the save fails.
bool SaveReport(RunContext& run, const ApplicationPtr& application);

}  // namespace tabrix
