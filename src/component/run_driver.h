// One report run from a definition file: loading, run log, checks, connections, template,
// function script, saving, disconnecting, and the error that ends a failed run.
#pragma once

#include <array>
#include <string>

#include "tabrix/report_run.h"
#include "tabrix/tabrix.h"

namespace tabrix {

// The legal notice written as the run log's second line.
inline constexpr const char* kLegalNotice = "Copyright (C) Tabrix developers. All rights reserved.";

// Runs the report described by `definitionFile` (absolute, or relative to the current
// directory) with the run parameters 1..10 on a context of its own, raising the events of
// `component`'s sink and filling through `component`'s methods. The conversion table and log
// echo come from `options` (its application and events are not used). Returns the error that
// ended a failed run in the result instead of raising it.
RunResult RunDefinition(Tabrix& component, const ApplicationPtr& application, const std::string& definitionFile,
                        const std::array<std::string, 10>& parameters, const RunOptions& options);

}  // namespace tabrix
