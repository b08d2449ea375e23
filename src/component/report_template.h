// The report workbook of a run: the check that the report location is writable (an existing
// report is left untouched), and the template opened read-only, which the function script fills.
#pragma once

#include "tabrix/tabrix.h"

namespace tabrix {

struct RunContext;

// Checks that a report can be saved at the run's report path (folder created, a new file can be
// made there, an existing report is not read-only), opens the template read-only as the report
// workbook and raises TemplateOpen. Logs and raises 0x80040010 / 0x80040011 on failure.
bool OpenTemplate(RunContext& run, const ApplicationPtr& application);

}  // namespace tabrix
