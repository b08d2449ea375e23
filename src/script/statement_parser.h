// The function script: the [SQL] section of a definition file, read line by line. Each complete
// statement is handed to the executor as soon as the line that starts the next one (or the end
// of the file) shows where it ends.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "tabrix/tabrix.h"

namespace tabrix {

struct RunContext;

inline constexpr int kMaxGroups = 10;
inline constexpr int kMaxListItems = 1024;

// Function numbers of a statement (also the FunctionType of the function events).
inline constexpr std::int16_t kFunctionExecSql = 0;
inline constexpr std::int16_t kFunctionName = 1;
inline constexpr std::int16_t kFunctionReport = 2;

// One parsed function statement.
struct StatementRecord {
  std::string Name;
  std::int16_t FunctionType = kFunctionExecSql;
  std::int16_t DataSourceIndex = 0;
  std::string Sheet;
  std::int16_t Type = 0;       // 0 variable table, 1 fixed table
  std::int16_t FillOrder = 0;  // 0 ROW, 1 COL, 2 ROWRANGE, 3 COLRANGE
  std::string ListText;        // CELL or NAME list as written
  std::string RangeText;
  std::int16_t Copy = 0;  // 1 when the range came from COPYRANGE
  std::int16_t Reserve = 1;
  std::string ImageListText;
  std::string PageBreakText;
  std::int16_t NoData = 0;  // 0 none, 1 DELRANGE, 2 DELSHEET
  std::int16_t GroupCount = 0;
  std::array<std::string, kMaxGroups> GroupText{};
  std::array<std::string, kMaxGroups> GroupRange{};
  std::string SQLText;
};

// Receives a complete statement: the record, the connection of its data source, the header
// (normalised head for the log), the page-break text and the SQL text.
using StatementHandler = std::function<void(const StatementRecord& statement, ConnectionPtr connection,
                                            const std::string& header, const std::string& pageBreakText,
                                            const std::string& sqlText)>;

// Parses the [SQL] section of the definition file at `definitionPath` and executes each
// statement of the run on `component` (see ExecuteStatement). Syntax errors go to the run log
// and drop the statement; an unexpected failure ends the script. Never raises.
void ParseFunctionScript(RunContext& run, Tabrix& component, const std::string& definitionPath);

// The same parser with another statement handler.
void ParseFunctionScript(RunContext& run, const std::string& definitionPath, const StatementHandler& handler);

// Whether `name` (upper case) is a parameter of the function.
bool IsValidParameterName(std::int16_t functionType, const std::string& name);

// 0-based data source for a CONNECT value: the first entry whose Name equals the text, else its
// 1-based number when numeric and within the count; -1 when none. Raises overflow for a number
// outside the 16-bit range.
int FindDataSource(const RunContext& run, const std::string& text);

}  // namespace tabrix
