// Runs one parsed function statement: logs it, raises the function events, runs its SQL on its
// data source and hands the rows to the fill method of the running object.
#pragma once

#include <string>

#include "script/statement_parser.h"
#include "tabrix/tabrix.h"

namespace tabrix {

inline constexpr int kErrSheetMissing = 0x33;  // 0x80040033

// Never raises: a failing statement is logged and reported through FunctionAfterExectue.
void ExecuteStatement(Tabrix& component, const StatementRecord& statement, ConnectionPtr connection,
                      const std::string& header, const std::string& pageBreakText, const std::string& sqlText);

}  // namespace tabrix
