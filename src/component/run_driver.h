// One report run from a definition file: loading, run log, checks, connections, template,
// function script, saving, disconnecting, and the error that ends a failed run.
#pragma once

#include <array>
#include <string>

#include "tabrix/tabrix.h"

namespace tabrix {

inline constexpr int kErrTemplateMissing = 0x0E;       // 0x8004000E
inline constexpr int kErrReportNotNamed = 0x0F;        // 0x8004000F

// The legal notice written as the run log's second line.
inline constexpr const char* kLegalNotice = "Copyright (C) Tabrix developers. All rights reserved.";

// Runs the report described by `definitionFile` (absolute, or relative to the current
// directory) with the run parameters 1..10, on this thread's run state, raising the events of
// `component`'s sink and filling through `component`'s methods. Raises the error that ended a
// failed run.
void RunFoliowright(Tabrix& component, const ApplicationPtr& application, const std::string& definitionFile,
                    const std::array<std::string, 10>& parameters);

}  // namespace tabrix
