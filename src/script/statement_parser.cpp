// The function script parser: statements of the [SQL] section, handed one by one to the executor.
#include "script/statement_parser.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "component/run_context.h"
#include "script/function_executor.h"
#include "script/tokenizer.h"
#include "support/run_log.h"
#include "support/text_lines.h"
#include "tabrix/error.h"
#include "tabrix/variant.h"

namespace tabrix {
namespace {

std::string Upper(std::string_view text) {
  std::string result(text);
  for (char& c : result)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return result;
}

bool IsListParameter(const std::string& name) {
  return name == "CELL" || name == "NAME" || name == "GROUP" || name == "IMAGE" || name == "PAGEBREAK";
}

// The lines of a UTF-8 text file (BOM skipped), without their line ends.
std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    throw AutomationError(53, kProductName,
                          "File not found: \"" + path + "\" (" + std::strerror(errno) + ")");
  }
  std::ostringstream content;
  content << file.rdbuf();
  if (file.bad()) throw AutomationError(62, kProductName, "Input past end of file");
  const std::string text = content.str();
  return SplitTextLines(text);
}

std::string TrimSpaces(const std::string& text) {
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  std::size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

// Parser states.
enum : int {
  kSkip = -1,
  kStatementLine = 0,
  kExpectEquals = 1,
  kExpectFunction = 2,
  kExpectOpen = 3,
  kExpectParameter = 4,
  kSqlText = 5,
  kExpectParameterEquals = 6,
  kValueRead = 7,
  kExpectValue = 8,
  kExpectListItem = 9,
};

class ScriptParser {
 public:
  ScriptParser(RunContext& run, const StatementHandler& handler) : handler_(handler), run_(run) {}

  void Run(const std::string& path) {
    try {
      std::vector<std::string> lines = ReadLines(path);
      std::size_t index = 0;
      for (; index < lines.size(); ++index) {
        if (TrimSpaces(lines[index]) == "[SQL]") break;
      }
      for (++index; index < lines.size(); ++index) {
        line_ = static_cast<std::int32_t>(index + 1);
        const bool wasInComment = inComment_;
        ParseLine(lines[index]);
        if (!wasInComment && inComment_) {
          commentLine_ = line_;
          hidden_.clear();
        }
      }
      if (!sqlText_.empty()) ExecutePending();
      if (inComment_) ReportUnclosedComment();
    } catch (...) {
      AutomationError error = ToAutomationError(std::current_exception());
      Log([&](RunLog& log) {
        log.WriteErrorEntryWithLead(header_, "Parse error in [" + record_.Name + "].", error.Description());
      });
      run_.Skipped.push_back({statementLine_, record_.Name,
                              "Parse error in [" + record_.Name + "]. " + error.Description() +
                                  " The script ended here; no later statement was run."});
    }
  }

 private:
  template <class F>
  void Log(F write) {
    if (!run_.Log) return;
    try {
      write(*run_.Log);
    } catch (...) {
      // A log that cannot be written does not stop the script.
    }
  }

  // The statements that stood inside the comment are reported as not run; the script's
  // behaviour (everything after "/*" is comment) stays as it is.
  void ReportUnclosedComment() {
    run_.UnclosedCommentLine = commentLine_;
    for (const auto& [line, name] : hidden_) {
      run_.Skipped.push_back({line, name,
                              "It stands inside the comment opened with \"/*\" on line " +
                                  std::to_string(commentLine_) + ", which is never closed."});
    }
  }

  void ParseLine(const std::string& line) {
    int position = 1;
    const int length = static_cast<int>(line.size());
    if (inComment_) {
      int start = 1;
      SkipBlanks(line, start);
      if (start <= length && line[start - 1] == '@') {
        const std::string name = GetToken(line, start, false);
        hidden_.emplace_back(line_, name.empty() ? name : name.substr(1));
      }
      SkipToCommentEnd(line, position, inComment_);
      if (inComment_) return;
    } else {
      SkipBlanks(line, position);
      if (position <= length && line[position - 1] == '@') {
        if (!sqlText_.empty()) {
          ExecutePending();
          sqlText_.clear();
        }
        state_ = kStatementLine;
      }
    }
    if (state_ == kSqlText) {
      AppendSqlText(line, position, true);
      return;
    }
    while (position <= length) {
      std::string token = GetToken(line, position, true);
      if (token.empty()) return;
      if (StripQuotes(token) == "/*") {
        SkipToCommentEnd(line, position, inComment_);
        if (inComment_) return;
        continue;
      }
      if (state_ == kSkip) return;
      HandleToken(token);
      if (state_ == kSqlText) {
        SkipBlanks(line, position);
        AppendSqlText(line, position, false);
        return;
      }
      if (state_ == kSkip) return;
    }
  }

  void AppendSqlText(const std::string& line, int position, bool withBlank) {
    std::string piece =
        position <= static_cast<int>(line.size()) ? PrepareStatementText(line.substr(position - 1), inComment_, run_.ParameterTable())
                                                  : PrepareStatementText("", inComment_, run_.ParameterTable());
    if (sqlText_.empty() || !withBlank)
      sqlText_ = sqlText_.empty() ? piece : sqlText_ + piece;
    else
      sqlText_ += " " + piece;
  }

  void HandleToken(const std::string& token) {
    const std::string value = StripQuotes(token);
    switch (state_) {
      case kStatementLine:
        if (!value.empty() && value[0] == '@') StartStatement(value.substr(1));
        return;
      case kExpectEquals:
        if (value == "=")
          state_ = kExpectFunction;
        else
          Fail("Syntax error. Expected \"=\" after \"@" + record_.Name + "\".");
        return;
      case kExpectFunction: {
        const std::string name = Upper(value);
        header_ += name;
        if (name == "EXECSQL")
          record_.FunctionType = kFunctionExecSql;
        else if (name == "NAME")
          record_.FunctionType = kFunctionName;
        else if (name == "REPORT")
          record_.FunctionType = kFunctionReport;
        else
          return Fail("Syntax error. Unknown function name \"" + value + "\".");
        state_ = kExpectOpen;
        return;
      }
      case kExpectOpen:
        if (value == "(") {
          header_ += "(";
          state_ = kExpectParameter;
        } else {
          Fail("Syntax error. Expected \"(\" after a function name.");
        }
        return;
      case kExpectParameter:
        if (value == ")") {
          header_ += ")";
          state_ = kSqlText;
        } else {
          BeginParameter(value);
        }
        return;
      case kExpectParameterEquals:
        if (value == "=") {
          header_ += "=";
          state_ = kExpectValue;
        } else {
          Fail("Syntax error. Expected \"=\" after the parameter name \"" + parameter_ + "\".");
        }
        return;
      case kExpectValue:
        waitingValue_ = value;
        waitingToken_ = token;
        header_ += token;
        state_ = kValueRead;
        return;
      case kExpectListItem:
        if (value == ",") {
          header_ += token;
          AppendListSeparator(token);
        } else {
          waitingValue_ = value;
          waitingToken_ = token;
          header_ += token;
          state_ = kValueRead;
        }
        return;
      case kValueRead:
        if (!ApplyValue()) return;
        if (value == ",") {
          if (IsListParameter(parameter_)) {
            header_ += token;
            AppendListSeparator(token);
            state_ = kExpectListItem;
          } else {
            Fail("Syntax error. Unexpected character \",\" for the parameter \"" + parameter_ + "\".");
          }
        } else if (value == ")") {
          header_ += ")";
          state_ = kSqlText;
        } else {
          header_ += " ";
          BeginParameter(value);
        }
        return;
      default:
        return;
    }
  }

  void StartStatement(const std::string& name) {
    record_ = StatementRecord{};
    record_.Name = name;
    statementLine_ = line_;
    header_ = "[" + name + "]    ";
    listItems_ = 0;
    imageItems_ = 0;
    groupItems_.fill(0);
    state_ = kExpectEquals;
  }

  void BeginParameter(const std::string& value) {
    parameter_ = Upper(value);
    header_ += parameter_;
    if (!IsValidParameterName(record_.FunctionType, parameter_))
      return Fail("Syntax error. Unknown parameter name \"" + value + "\".");
    if (parameter_ == "GROUP") {
      if (record_.GroupCount >= kMaxGroups) {
        return Fail(
            "Too much parameter name \"GROUP\". The number of parameter \"GROUP\" can not be more than 10.");
      }
      const int group = record_.GroupCount++;
      record_.GroupText[group].clear();
      record_.GroupRange[group].clear();
      groupItems_[group] = 0;
      record_.Type = 0;
    } else if (parameter_ == "CELL" || parameter_ == "NAME") {
      record_.ListText.clear();
    } else if (parameter_ == "IMAGE") {
      record_.ImageListText.clear();
    }
    state_ = kExpectParameterEquals;
  }

  void AppendListSeparator(const std::string& token) {
    if (parameter_ == "CELL" || parameter_ == "NAME")
      record_.ListText += token;
    else if (parameter_ == "IMAGE")
      record_.ImageListText += token;
    else if (parameter_ == "GROUP")
      record_.GroupText[record_.GroupCount - 1] += token;
  }

  static void CountItem(int& count) {
    if (count >= kMaxListItems) RaiseRuntimeError(kErrSubscriptOutOfRange);
    ++count;
  }

  // Applies the value read for the current parameter; false (and the skip state) on an error.
  bool ApplyValue() {
    const std::string& value = waitingValue_;
    const std::string& token = waitingToken_;
    const std::string& p = parameter_;
    if (p == "CONNECT") {
      const int index = FindDataSource(run_, value);
      if (index < 0) {
        Fail("Connection error in [" + record_.Name + "]. Can not find data source \"" + value + "\".");
        return false;
      }
      if (!run_.Connected[index]) {
        Fail("Connection error in [" + record_.Name + "]. Can not connect to the data source \"" + value + "\".");
        return false;
      }
      record_.DataSourceIndex = static_cast<std::int16_t>(index);
    } else if (p == "SHEET") {
      record_.Sheet = value;
    } else if (p == "TYPE") {
      const std::string keyword = Upper(value);
      if (keyword == "FIX") {
        record_.Type = 1;
      } else if (keyword == "VAR") {
        record_.Type = 0;
      } else {
        UnknownValue();
        return false;
      }
    } else if (p == "FILLORDER") {
      const std::string keyword = Upper(value);
      if (keyword == "ROW") {
        record_.FillOrder = 0;
      } else if (keyword == "COL") {
        record_.FillOrder = 1;
      } else if (keyword == "ROWRANGE") {
        record_.FillOrder = 2;
      } else if (keyword == "COLRANGE") {
        record_.FillOrder = 3;
      } else {
        UnknownValue();
        return false;
      }
    } else if (p == "CELL" || p == "NAME") {
      CountItem(listItems_);
      record_.ListText += token;
    } else if (p == "RANGE" || p == "COPYRANGE") {
      record_.RangeText = value;
      record_.Copy = p == "COPYRANGE" ? 1 : 0;
    } else if (p == "RESERVE") {
      if (IsNumeric(value)) record_.Reserve = ToInt16(Variant(value)) == 2 ? 2 : 1;
    } else if (p == "GROUP") {
      const int group = record_.GroupCount - 1;
      CountItem(groupItems_[group]);
      record_.GroupText[group] += token;
    } else if (p == "GROUPRANGE") {
      if (record_.GroupCount == 0) {
        Fail("Syntax error. Parameter \"GROUPRANGE\" must follow parameter \"GROUP\".");
        return false;
      }
      record_.GroupRange[record_.GroupCount - 1] = value;
    } else if (p == "IMAGE") {
      CountItem(imageItems_);
      record_.ImageListText += token;
    } else if (p == "PAGEBREAK") {
      record_.PageBreakText += record_.PageBreakText.empty() ? value : "," + value;
    } else if (p == "NODATA") {
      const std::string keyword = Upper(value);
      record_.NoData = keyword == "DELRANGE" ? 1 : keyword == "DELSHEET" ? 2 : 0;
    }
    return true;
  }

  void UnknownValue() {
    Fail("Syntax error. Unknown value \"" + waitingValue_ + "\" for the parameter \"" + parameter_ + "\".");
  }

  void Fail(const std::string& message) {
    Log([&](RunLog& log) { log.WriteErrorEntryWithLead(header_, message); });
    run_.Skipped.push_back({statementLine_, record_.Name, message});
    state_ = kSkip;
  }

  void ExecutePending() {
    record_.SQLText = sqlText_;
    const int index = record_.DataSourceIndex;
    ConnectionPtr connection =
        index >= 0 && index <= kMaxDataSources ? run_.Connections[static_cast<std::size_t>(index)] : nullptr;
    handler_(record_, connection, header_, record_.PageBreakText, sqlText_);
  }

  const StatementHandler& handler_;
  RunContext& run_;
  StatementRecord record_;
  int state_ = kSkip;
  bool inComment_ = false;
  std::string sqlText_;
  std::string header_;
  std::string parameter_;
  std::string waitingValue_, waitingToken_;
  int listItems_ = 0, imageItems_ = 0;
  std::array<int, kMaxGroups> groupItems_{};
  // Line numbers of the definition file: the current line, where the current statement and the
  // last "/*" comment started, and the statements ("@" lines) met inside that comment.
  std::int32_t line_ = 0, statementLine_ = 0, commentLine_ = 0;
  std::vector<std::pair<std::int32_t, std::string>> hidden_;
};

}  // namespace

bool IsValidParameterName(std::int16_t functionType, const std::string& name) {
  switch (functionType) {
    case kFunctionExecSql:
      return name == "CONNECT";
    case kFunctionName:
      return name == "NAME" || name == "CONNECT";
    case kFunctionReport:
      return name == "SHEET" || name == "TYPE" || name == "FILLORDER" || name == "CELL" || name == "RANGE" ||
             name == "COPYRANGE" || name == "RESERVE" || name == "GROUP" || name == "GROUPRANGE" ||
             name == "IMAGE" || name == "PAGEBREAK" || name == "NODATA" || name == "CONNECT";
    default:
      return false;
  }
}

int FindDataSource(const RunContext& run, const std::string& text) {
  for (int i = 0; i < run.DataSourceCount; ++i)
    if (run.DataSources[static_cast<std::size_t>(i)].Name == text) return i;
  if (IsNumeric(text)) {
    const int index = ToInt16(Variant(text)) - 1;
    if (index >= 0 && index < run.DataSourceCount) return index;
  }
  return -1;
}

void ParseFunctionScript(RunContext& run, const std::string& definitionPath, const StatementHandler& handler) {
  ScriptParser parser(run, handler);
  parser.Run(definitionPath);
}

void ParseFunctionScript(RunContext& run, Tabrix& component, const std::string& definitionPath) {
  ParseFunctionScript(run, definitionPath,
                      [&run, &component](const StatementRecord& statement, ConnectionPtr connection,
                                   const std::string& header, const std::string& pageBreakText,
                                   const std::string& sqlText) {
                        ExecuteStatement(run, component, statement, std::move(connection), header, pageBreakText,
                                         sqlText);
                      });
}

}  // namespace tabrix
