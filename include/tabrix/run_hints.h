// Advice for report authors after a run: what a RunResult's errors and skipped statements most
// likely mean and how to fix them, and warnings about a definition that ran but may not do what
// its author meant. The run's own messages and its log stay as they are; this only adds to them.
#pragma once

#include <string>
#include <vector>

#include "tabrix/report_run.h"

namespace tabrix {

struct RunAdvice {
  // true: something in the definition that may not be what was meant (the run may well have
  // succeeded); false: a hint on how to fix a failure of the run or of a statement.
  bool Warning = false;
  std::string Text;  // one line, without a trailing line end
};

// Looks at the definition file (its bytes, keys and script), the template and the format-
// conversion table the run used (`options` as given to RunReport) and `result`. Never raises;
// what it cannot read it leaves out.
std::vector<RunAdvice> AdviseOnRun(const std::string& definitionFile, const RunResult& result,
                                   const RunOptions& options = {});

}  // namespace tabrix
