// Word lists of the statement language for hints and checks; the parser itself matches the
// words where it reads them.
#include "script/statement_words.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "script/statement_parser.h"

namespace tabrix {

const std::vector<std::string>& StatementFunctionNames() {
  static const std::vector<std::string> names = {"EXECSQL", "NAME", "REPORT"};
  return names;
}

const std::vector<std::string>& StatementOptionNames(std::int16_t functionType) {
  static const std::vector<std::string> execsql = {"CONNECT"};
  static const std::vector<std::string> name = {"NAME", "CONNECT"};
  static const std::vector<std::string> report = {"SHEET",     "TYPE",    "FILLORDER", "CELL",       "RANGE",
                                                  "COPYRANGE", "RESERVE", "GROUP",     "GROUPRANGE", "IMAGE",
                                                  "PAGEBREAK", "NODATA",  "CONNECT"};
  return functionType == kFunctionExecSql ? execsql : functionType == kFunctionName ? name : report;
}

const std::vector<std::string>& AllStatementOptionNames() {
  static const std::vector<std::string> all = [] {
    std::vector<std::string> names = StatementOptionNames(kFunctionReport);
    names.push_back("NAME");
    return names;
  }();
  return all;
}

bool IsSqlKeyword(const std::string& word) {
  static const std::set<std::string> keywords = {"SELECT",  "INSERT", "UPDATE", "DELETE",  "WITH",  "CREATE",
                                                 "DROP",    "ALTER",  "EXEC",   "EXECUTE", "CALL",  "MERGE",
                                                 "REPLACE", "VALUES", "FROM",   "WHERE",   "BEGIN", "SET",
                                                 "PRAGMA",  "TRUNCATE"};
  std::string upper = word;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  return keywords.count(upper) > 0;
}

}  // namespace tabrix
