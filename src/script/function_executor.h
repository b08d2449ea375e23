// Runs one parsed function statement: logs it, raises the function events, runs its SQL on its
// data source and hands the rows to the fill method of the running object.
#pragma once

#include <string>

#include "script/statement_parser.h"
#include "tabrix/tabrix.h"

namespace tabrix {


// Never raises: a failing statement is logged and reported through FunctionAfterExectue. Adds
// the statement's outcome to the run's list.
void ExecuteStatement(RunContext& run, Tabrix& component, const StatementRecord& statement, ConnectionPtr connection,
                      const std::string& header, const std::string& pageBreakText, const std::string& sqlText);

}  // namespace tabrix
