// The report workbook of a run: the empty report file that proves the location is writable, and
// the template opened read-only, which the function script then fills.
#pragma once

#include "tabrix/tabrix.h"

namespace tabrix {

struct RunContext;


// Creates the empty report file at the run's report path, opens the template read-only as the
// report workbook and raises TemplateOpen. Logs and raises 0x80040010 / 0x80040011 on failure.
bool OpenTemplate(RunContext& run, const ApplicationPtr& application);

}  // namespace tabrix
