// The words of the statement language that hints and the definition check name: the functions,
// the options each function takes, and SQL words that show where an option list was left open.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tabrix {

// EXECSQL, NAME and REPORT.
const std::vector<std::string>& StatementFunctionNames();
// The options a function takes (kFunctionExecSql, kFunctionName, kFunctionReport).
const std::vector<std::string>& StatementOptionNames(std::int16_t functionType);
// Every option of any function.
const std::vector<std::string>& AllStatementOptionNames();
// A word that starts or continues SQL text (SELECT, WITH, FROM, ...), compared without case.
bool IsSqlKeyword(const std::string& word);

}  // namespace tabrix
