// foliowright check as a library call (see tabrix/definition_check.h): the definition file is
// read with the run's own reader and statement parser, the template with the workbook engine; no
// database is touched. DescribeDefinition lives in definition_description.cpp.
#include "tabrix/definition_check.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

#include "component/run_context.h"
#include "definition/conversion_table.h"
#include "definition/definition_file.h"
#include "definition/definition_keys.h"
#include "definition/profile_file.h"
#include "fill/cell_references.h"
#include "script/statement_parser.h"
#include "script/statement_words.h"
#include "script/tokenizer.h"
#include "support/paths.h"
#include "support/spelling.h"
#include "support/text_lines.h"
#include "support/text_case.h"
#include "support/run_log.h"
#include "tabrix/error.h"
#include "tabrix/variant.h"
#include "xlsx/xlsx_worksheet.h"

namespace tabrix {
namespace {

using platform::CellRect;

std::string Upper(std::string_view text) {
  std::string result(text);
  for (char& c : result)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return result;
}

std::string Trim(std::string_view text) {
  while (!text.empty() && IsBlankChar(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankChar(text.back())) text.remove_suffix(1);
  return std::string(text);
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string MeanHint(std::string_view name, const std::vector<std::string>& known) {
  const auto nearest = NearestName(name, known);
  return nearest ? " (did you mean " + *nearest + "?)" : "";
}

std::string Lower(std::string_view text) { return CaseFolded(text); }

std::string Extension(const std::string& path) {
  const std::string name =
      path.substr(path.find_last_of("/\\") == std::string::npos ? 0 : path.find_last_of("/\\") + 1);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? "" : Lower(name.substr(dot + 1));
}

std::vector<std::string> ReadAllLines(const std::string& path, std::string& raw) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  raw = content.str();
  return SplitTextLines(raw);
}

const std::vector<std::string>& SectionNames() {
  static const std::vector<std::string> names = {"Data Source", "File", "Parameter", "SQL"};
  return names;
}

// A statement as the line scan sees it: where its head starts and what its head holds.
struct ScannedStatement {
  int Line = 0;
  std::string Name;
  bool HeadClosed = false;
  bool HasSql = false;
};

// A statement the parser accepted.
struct ParsedStatement {
  StatementRecord Record;
  int Line = 0;
};

// Output column names of a SELECT, as far as plain text shows them ("a.b AS c" gives c, "a.b"
// gives b); empty when the text is not a plain SELECT.
std::vector<std::string> SelectColumnNames(const std::string& sql) {
  std::string upper = Upper(sql);
  std::size_t start = upper.find("SELECT");
  if (start == std::string::npos) return {};
  start += 6;
  std::vector<std::string> items;
  std::string current;
  int depth = 0;
  char quote = 0;
  for (std::size_t i = start; i < sql.size(); ++i) {
    const char c = sql[i];
    if (quote) {
      current += c;
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"') quote = c;
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (depth == 0 && c == ',') {
      items.push_back(current);
      current.clear();
      continue;
    }
    if (depth == 0 && upper.compare(i, 5, " FROM") == 0 && (i + 5 >= sql.size() || IsBlankChar(sql[i + 5]))) break;
    current += c;
  }
  if (!Trim(current).empty()) items.push_back(current);
  std::vector<std::string> names;
  for (std::string item : items) {
    item = Trim(item);
    std::size_t cut = item.find_last_of(" \t.");
    std::string name = cut == std::string::npos ? item : item.substr(cut + 1);
    if (name.size() >= 2 && (name.front() == '"' || name.front() == '`' || name.front() == '['))
      name = name.substr(1, name.size() - 2);
    names.push_back(name);
  }
  return names;
}

// One aggregate reference of a formula on a sheet.
struct FormulaReference {
  std::int32_t Row = 0, Column = 0;  // the formula's cell
  std::string Formula;
  std::string Text;  // the reference as written
  CellRect Rect;
};

// References to the formula's own sheet inside SUM, SUBTOTAL and the other aggregates.
std::vector<FormulaReference> AggregateReferences(xlsx::XlsxWorksheet& sheet) {
  static const std::regex aggregate(
      R"((SUM|SUBTOTAL|AGGREGATE|AVERAGE|AVERAGEA|COUNT|COUNTA|COUNTIF|COUNTIFS|SUMIF|SUMIFS|SUMPRODUCT|MIN|MAX|PRODUCT|MEDIAN)\s*\()",
      std::regex::icase);
  static const std::regex reference(
      R"((^|[^A-Za-z0-9_!.'$:])(\$?[A-Za-z]{1,3}\$?[0-9]+)(:(\$?[A-Za-z]{1,3}\$?[0-9]+))?(?![0-9A-Za-z_(!]))");
  std::vector<FormulaReference> result;
  for (const xlsx::Row& row : sheet.Cells().Rows()) {
    for (const xlsx::Cell& cell : row.cells) {
      if (!cell.HasFormula()) continue;
      const std::string formula = sheet.GetFormula(row.number, cell.column);
      for (auto call = std::sregex_iterator(formula.begin(), formula.end(), aggregate); call != std::sregex_iterator();
           ++call) {
        // The call's arguments up to its closing parenthesis.
        std::size_t open = static_cast<std::size_t>(call->position() + call->length());
        int depth = 1;
        std::size_t end = open;
        for (; end < formula.size() && depth > 0; ++end) {
          if (formula[end] == '(') ++depth;
          if (formula[end] == ')') --depth;
        }
        const std::string arguments = formula.substr(open, end - open);
        for (auto ref = std::sregex_iterator(arguments.begin(), arguments.end(), reference);
             ref != std::sregex_iterator(); ++ref) {
          const std::string first = (*ref)[2].str();
          const std::string second = (*ref)[4].matched ? (*ref)[4].str() : first;
          CellRect rect;
          try {
            const CellRect a = sheet.ResolveReference(first);
            const CellRect b = sheet.ResolveReference(second);
            rect = {std::min(a.row1, b.row1), std::min(a.col1, b.col1), std::max(a.row1, b.row1),
                    std::max(a.col1, b.col1)};
          } catch (...) {
            continue;
          }
          result.push_back({row.number, cell.column, formula, (*ref)[2].str() + (*ref)[3].str(), rect});
        }
      }
    }
  }
  return result;
}

class DefinitionChecker {
 public:
  DefinitionChecker(const std::string& definitionFile, const std::vector<std::string>& parameters,
                    const CheckOptions& options)
      : given_(parameters), options_(options) {
    path_ = AbsolutePath(definitionFile);
  }

  std::vector<CheckFinding> Run() {
    if (!FileExists(path_)) {
      Add(0, "the file does not exist (or cannot be read)");
      return findings_;
    }
    lines_ = ReadAllLines(path_, raw_);
    if (!CheckEncoding()) return Sorted();
    if (CheckDefinitionHeader(path_) != 0) {
      Add(1, "the first line must begin with the word Foliowright (exactly so: \"Foliowright Version 2.0\")");
      return Sorted();
    }
    ScanKeyedSections();
    if (!ReadDefinitionFile(run_, path_)) {
      Add(0, "the file cannot be read as a definition file");
      return Sorted();
    }
    run_.DefinitionFilePath = path_;
    run_.DefinitionFolder = FolderPart(path_);
    CheckPasswords();
    CheckParameters();
    CheckFiles();
    ScanScript();
    ParseScript();
    OpenTemplate();
    for (const ParsedStatement& statement : statements_) {
      try {
        CheckStatement(statement);
      } catch (const std::exception& error) {
        Add(statement.Line, "@" + statement.Record.Name + " could not be checked: " + error.what());
      }
    }
    return Sorted();
  }

 private:
  void Add(int line, std::string message) { findings_.push_back({path_, line, std::move(message)}); }

  std::vector<CheckFinding> Sorted() {
    std::stable_sort(findings_.begin(), findings_.end(),
                     [](const CheckFinding& a, const CheckFinding& b) { return a.Line < b.Line; });
    return findings_;
  }

  // UTF-16 files and files with NUL bytes are not read as text by a run.
  bool CheckEncoding() {
    const bool bom16 =
        raw_.size() >= 2 && ((raw_[0] == '\xFF' && raw_[1] == '\xFE') || (raw_[0] == '\xFE' && raw_[1] == '\xFF'));
    if (bom16 || raw_.find('\0') != std::string::npos) {
      Add(1, "the file is UTF-16 text (or holds NUL bytes); save it as UTF-8 text");
      return false;
    }
    return true;
  }

  // Sections and keys before [SQL]: unknown names, numbers out of range, gaps, repeated keys.
  void ScanKeyedSections() {
    std::string section;
    bool inSection = false;
    std::map<std::string, std::map<std::string, int>> seen;  // section -> folded key -> line
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      const int line = static_cast<int>(i) + 1;
      const std::string text = Trim(lines_[i]);
      if (i == 0 || text.empty() || text[0] == ';' || text[0] == '#') continue;
      if (text == "[SQL]") {
        sqlLine_ = line;
        break;
      }
      if (text.front() == '[') {
        const std::size_t close = text.rfind(']');
        section = CaseFolded(Trim(text.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
        inSection = true;
        if (section == "sql") {
          Add(line,
              "the script section must be written exactly [SQL] (upper case, alone on its line); as written, "
              "no statement runs");
        } else if (!DefinitionSectionKeys().count(section)) {
          Add(line, "unknown section " + text + MeanHint(section, SectionNames()) + "; its keys are not read");
        }
        continue;
      }
      if (!inSection || !DefinitionSectionKeys().count(section)) continue;
      const std::size_t equals = text.find('=');
      if (equals == std::string::npos) {
        Add(line, "\"" + text + "\" is not a key=value line; it is ignored");
        continue;
      }
      const std::string key = Trim(text.substr(0, equals));
      auto& keys = seen[section];
      if (const auto earlier = keys.find(CaseFolded(key)); earlier != keys.end()) {
        Add(line, key + " is given again; the first one (line " + std::to_string(earlier->second) + ") counts");
        continue;
      }
      keys.emplace(CaseFolded(key), line);
      keyLines_[section + "/" + CaseFolded(key)] = line;
      CheckKey(line, section, key);
    }
    CheckNumberedLists(seen);
  }

  void CheckKey(int line, const std::string& section, const std::string& key) {
    std::size_t digits = key.size();
    while (digits > 0 && key[digits - 1] >= '0' && key[digits - 1] <= '9') --digits;
    const std::string word = key.substr(0, digits);
    const std::string number = key.substr(digits);
    std::vector<std::string> known;
    for (const std::string& pattern : DefinitionSectionKeys().at(section)) {
      const bool numbered = pattern.back() == '#';
      const std::string base = numbered ? pattern.substr(0, pattern.size() - 1) : pattern;
      known.push_back(numbered ? base + (number.empty() ? "1" : number) : base);
      if (CaseFolded(base) != CaseFolded(word)) continue;
      if (numbered && number.empty()) {
        Add(line, key + " needs its number: " + base + "1 to " + base + "10");
        return;
      }
      if (!numbered && !number.empty()) break;  // reported below as unknown
      if (numbered && (number[0] == '0' || std::stoi(number.substr(0, 3)) > 10 || number.size() > 2)) {
        Add(line, key + ": the numbers go from 1 to 10 (no leading zeros); this key is not read");
        return;
      }
      return;
    }
    const std::string where = section == "data source" ? "[Data Source]" : section == "file" ? "[File]" : "[Parameter]";
    std::string message = "unknown key " + key + " in " + where + MeanHint(key, known);
    // A key of another section written in this one.
    for (const auto& [other, patterns] : DefinitionSectionKeys()) {
      if (other == section) continue;
      for (const std::string& pattern : patterns) {
        const std::string base = pattern.back() == '#' ? pattern.substr(0, pattern.size() - 1) : pattern;
        if (CaseFolded(base) == CaseFolded(word) && CaseFolded(word) != "name") {
          message += "; " + base + " belongs in [" +
                     (other == "data source" ? "Data Source"
                      : other == "file"      ? "File"
                                             : "Parameter") +
                     "]";
        }
      }
    }
    Add(line, message + "; it is ignored");
  }

  // Name1, Name2, ... end at the first missing number; keys of a missing entry are never read.
  void CheckNumberedLists(const std::map<std::string, std::map<std::string, int>>& seen) {
    for (const std::string section : {"data source", "parameter"}) {
      auto found = seen.find(section);
      if (found == seen.end()) continue;
      const auto& keys = found->second;
      int count = 0;
      while (count < 10 && keys.count("name" + std::to_string(count + 1))) ++count;
      for (const auto& [key, line] : keys) {
        std::size_t digits = key.size();
        while (digits > 0 && key[digits - 1] >= '0' && key[digits - 1] <= '9') --digits;
        if (digits == key.size() || key.size() - digits > 2 || key[digits] == '0') continue;
        const int n = std::stoi(key.substr(digits));
        if (n <= count || n > 10) continue;
        const std::string word = key.substr(0, digits);
        if (word == "name")
          Add(line, "Name" + std::to_string(n) + " is never read: the list stops at the first missing number (Name" +
                        std::to_string(count + 1) + ")");
        else
          Add(line, "this key belongs to entry " + std::to_string(n) + ", which has no Name" + std::to_string(n) +
                        " in effect; it is not read");
      }
      if (section == "data source") {
        for (int n = 1; n <= count; ++n) {
          const std::string number = std::to_string(n);
          if (!keys.count("connectionstring" + number)) continue;
          for (const std::string other : {"user", "password"})
            if (auto key = keys.find(other + number); key != keys.end())
              Add(key->second, "User" + number + " and Password" + number + " are not read beside ConnectionString" +
                                   number + "; put the login into the connection string (UID=...;PWD=...)");
        }
      }
    }
  }

  int KeyLine(const std::string& section, const std::string& key) const {
    auto found = keyLines_.find(section + "/" + CaseFolded(key));
    return found == keyLines_.end() ? 0 : found->second;
  }

  // With EncryptPassword=Y a password written in plain text decodes into garbage, which the
  // server then refuses with nothing but its own login error.
  void CheckPasswords() {
    if (!run_.EncryptPassword) return;
    ProfileFile profile;
    if (!profile.Load(path_, {"Data Source"})) return;
    static const std::regex encoded(R"(^[A-Za-z0-9+/]+={0,2}$)");
    for (int n = 1; n <= run_.DataSourceCount; ++n) {
      const std::string number = std::to_string(n);
      if (!run_.DataSources[static_cast<std::size_t>(n - 1)].ConnectionString.empty()) continue;
      const std::string value = profile.Get("Data Source", "Password" + number);
      if (value.empty() || (value.size() % 4 == 0 && std::regex_match(value, encoded))) continue;
      Add(KeyLine("data source", "Password" + number),
          "Password" + number +
              " is not in encoded form although EncryptPassword=Y; encode it with "
              "foliowright encode-password --user " +
              run_.DataSources[static_cast<std::size_t>(n - 1)].User);
    }
  }

  void CheckParameters() {
    const int count = run_.ParameterCount;
    if (static_cast<int>(given_.size()) > count) {
      Add(KeyLine("parameter", "Name" + std::to_string(std::max(count, 1))),
          std::to_string(given_.size()) + " parameter values given, but the file names " + std::to_string(count) +
              (count == 1 ? " parameter" : " parameters"));
    }
    for (int i = 0; i < count; ++i) {
      ParameterEntry& entry = run_.Parameters[static_cast<std::size_t>(i)];
      if (i < static_cast<int>(given_.size())) {
        entry.Value = given_[static_cast<std::size_t>(i)];
      } else if (entry.Value.empty()) {
        const std::string number = std::to_string(i + 1);
        Add(KeyLine("parameter", "Name" + number),
            "parameter " + entry.Name + (entry.Title.empty() ? "" : " (" + entry.Title + ")") +
                " gets no value: give it on the command line or set Default" + number);
      }
    }
  }

  std::string Resolve(const std::string& name) const {
    return AbsolutePath(SubstituteParameters(name, run_.ParameterTable()), run_.DefinitionFolder);
  }

  void CheckFiles() {
    if (run_.ReportTemplateFileName.empty()) {
      Add(KeyLine("file", "ReportTemplateFileName"), "no template: [File] needs ReportTemplateFileName=...");
    } else {
      templatePath_ = Resolve(run_.ReportTemplateFileName);
      if (!FileExists(templatePath_))
        Add(KeyLine("file", "ReportTemplateFileName"), "the template " + Quoted(templatePath_) + " does not exist");
    }
    std::string reportPath;
    if (run_.ReportFileName.empty())
      Add(KeyLine("file", "ReportFileName"), "no report file: [File] needs ReportFileName=...");
    else
      reportPath = Resolve(run_.ReportFileName);

    const std::string table =
        options_.ConversionTable.empty() ? DefaultConversionTablePath() : options_.ConversionTable;
    LoadConversionTable(run_.ConversionTable, table);
    const int typeLine = KeyLine("file", "ReportFileType");
    const std::string reportExtension = Extension(reportPath);
    if (!run_.ReportFileType.empty() && !run_.ConversionTable.empty()) {
      const int index = FindConvEntry(run_.ConversionTable, run_.ReportFileType);
      if (index < 0) {
        std::vector<std::string> names;
        for (const ConvEntry& entry : run_.ConversionTable) names.push_back(entry.Name);
        Add(typeLine, "unknown ReportFileType " + run_.ReportFileType + MeanHint(run_.ReportFileType, names) +
                          "; the report would be saved in the template's format");
      } else {
        const ConvEntry& entry = run_.ConversionTable[static_cast<std::size_t>(index)];
        const std::string expected = Lower(entry.Extra);
        if (!reportPath.empty() && !expected.empty() && expected != reportExtension)
          Add(typeLine, "ReportFileType " + run_.ReportFileType + " saves " + entry.Description + " (." + expected +
                            ") but ReportFileName ends in ." + reportExtension);
      }
    } else if (run_.ReportFileType.empty() && !reportPath.empty() && !templatePath_.empty()) {
      const std::string templateExtension = Extension(templatePath_);
      if (templateExtension != reportExtension)
        Add(KeyLine("file", "ReportFileName"), "no ReportFileType: the report is saved in the template's format (." +
                                                   templateExtension + ") although ReportFileName ends in ." +
                                                   reportExtension);
    }
  }

  // The [SQL] section line by line: statement heads, comments, quotes and parentheses.
  void ScanScript() {
    if (sqlLine_ == 0) {
      for (std::size_t i = 0; i < lines_.size(); ++i)
        if (Trim(lines_[i]) == "[SQL]") sqlLine_ = static_cast<int>(i) + 1;
    }
    if (sqlLine_ == 0) {
      Add(0, "no [SQL] line: the file has no statements");
      return;
    }
    bool inComment = false;
    int commentLine = 0;
    ScannedStatement* current = nullptr;
    int depth = 0;  // parentheses of the current statement's SQL text
    int sqlStart = 0;
    auto closeSql = [&]() {
      if (current && current->HeadClosed && depth > 0)
        Add(sqlStart, "@" + current->Name + ": the SQL text has " + std::to_string(depth) + " unclosed '('");
      depth = 0;
    };
    for (std::size_t i = static_cast<std::size_t>(sqlLine_); i < lines_.size(); ++i) {
      const int line = static_cast<int>(i) + 1;
      const std::string& text = lines_[i];
      std::size_t p = 0;
      if (!inComment) {
        while (p < text.size() && IsBlankChar(text[p])) ++p;
        if (p < text.size() && text[p] == '@') {
          closeSql();
          scanned_.push_back({});
          current = &scanned_.back();
          current->Line = line;
          int position = static_cast<int>(p) + 1;
          std::string token = GetToken(text, position, false);
          current->Name = token.substr(1);
        }
      }
      char quote = 0;
      int quoteStart = 0;
      bool inHead = current && !current->HeadClosed;
      for (; p < text.size(); ++p) {
        const char c = text[p];
        if (inComment) {
          if (c == '*' && p + 1 < text.size() && text[p + 1] == '/') {
            inComment = false;
            ++p;
          }
          continue;
        }
        if (quote) {
          if (c == quote) {
            if (p + 1 < text.size() && text[p + 1] == quote)
              ++p;
            else
              quote = 0;
          }
          continue;
        }
        if (c == '"' || c == '\'') {
          quote = c;
          quoteStart = static_cast<int>(p) + 1;
          continue;
        }
        if (c == '/' && p + 1 < text.size() && text[p + 1] == '*') {
          inComment = true;
          commentLine = line;
          ++p;
          continue;
        }
        if (!current) continue;
        if (inHead) {
          if (c == ')') {
            current->HeadClosed = true;
            inHead = false;
          }
          continue;
        }
        if (!IsBlankChar(c) && !current->HasSql) {
          current->HasSql = true;
          sqlStart = line;
        }
        if (c == '(') ++depth;
        if (c == ')') --depth;
      }
      if (quote)
        Add(line, "unclosed " + std::string(quote == '"' ? "double" : "single") + " quote (column " +
                      std::to_string(quoteStart) + "): the rest of the line is read as quoted text");
    }
    closeSql();
    if (inComment)
      Add(commentLine,
          "comment /* is never closed with */: everything after it, every later statement included, "
          "is skipped");
  }

  int StatementLine(const std::string& name) const {
    for (const ScannedStatement& statement : scanned_)
      if (statement.Name == name) return statement.Line;
    return 0;
  }

  // The run's own parser, with connected data sources assumed; its error lines become findings.
  void ParseScript() {
    if (sqlLine_ == 0) return;
    char folder[] = "/tmp/tabrix-check-XXXXXX";
    if (!::mkdtemp(folder)) return;
    const std::string logPath = std::string(folder) + "/check.log";
    for (int i = 0; i < run_.DataSourceCount; ++i) run_.Connected[static_cast<std::size_t>(i)] = true;
    struct LoggedError {
      std::string lead, message, information;
    };
    std::vector<LoggedError> errors;
    std::string lastLead;
    try {
      run_.Log = RunLog::Create(logPath);
      run_.Log->SetEcho([&](const std::string& text) {
        if (text.rfind("Error: ", 0) == 0)
          errors.push_back({lastLead, text.substr(7), ""});
        else if (text.rfind("Error Info: ", 0) == 0 && !errors.empty())
          errors.back().information = text.substr(12);
        else
          lastLead = text;
      });
      ParseFunctionScript(run_, path_,
                          [&](const StatementRecord& record, ConnectionPtr, const std::string&, const std::string&,
                              const std::string&) {
                            statements_.push_back({record, StatementLine(record.Name)});
                          });
      run_.Log->Close();
    } catch (...) {
    }
    run_.Log.reset();
    std::remove(logPath.c_str());
    ::rmdir(folder);
    for (int i = 0; i < run_.DataSourceCount; ++i) run_.Connected[static_cast<std::size_t>(i)] = false;
    for (const LoggedError& error : errors) ParserError(error.lead, error.message, error.information);

    for (const ScannedStatement& scanned : scanned_) {
      if (scriptEndLine_ > 0 && scanned.Line > scriptEndLine_) continue;
      const bool parsed = std::any_of(statements_.begin(), statements_.end(),
                                      [&](const ParsedStatement& s) { return s.Record.Name == scanned.Name; });
      const bool refused = refused_.count(scanned.Name) > 0;
      if (parsed || refused) continue;
      if (!scanned.HeadClosed)
        Add(scanned.Line, "@" + scanned.Name + ": the head has no closing ')'; the statement never runs");
      else
        Add(scanned.Line, "@" + scanned.Name + " has no SQL text after its ')' and never runs");
    }
    if (run_.DataSourceCount == 0 && !statements_.empty())
      Add(KeyLine("data source", "Name1"), "no data source: [Data Source] needs Name1=... for the statements to run");
  }

  void ParserError(const std::string& lead, const std::string& message, const std::string& information) {
    // The lead is "[name]    HEAD"; the statement name is inside the brackets.
    std::string name;
    if (lead.size() > 1 && lead[0] == '[') name = lead.substr(1, lead.find(']') - 1);
    refused_.insert(name);
    const int line = StatementLine(name);
    std::string text = "@" + name + ": " +
                       (!message.empty() && message.back() == '.' ? message.substr(0, message.size() - 1) : message);
    static const std::regex unknownParameter(R"re(Unknown parameter name "([^"]*)")re");
    static const std::regex unknownFunction(R"re(Unknown function name "([^"]*)")re");
    std::smatch match;
    if (std::regex_search(message, match, unknownParameter)) {
      const std::string word = match[1].str();
      const std::string head = lead.substr(lead.find(']') + 1);
      std::int16_t type = kFunctionReport;
      if (head.find("EXECSQL(") != std::string::npos)
        type = kFunctionExecSql;
      else if (head.find("NAME(") != std::string::npos && head.find("REPORT(") == std::string::npos)
        type = kFunctionName;
      if (IsSqlKeyword(word))
        text += " -- missing ')' before " + word + ": the head is not closed, so the SQL text is read as parameters";
      else
        text += MeanHint(word, StatementOptionNames(type));
    } else if (std::regex_search(message, match, unknownFunction)) {
      text += MeanHint(match[1].str(), StatementFunctionNames());
    } else if (message.rfind("Parse error in [", 0) == 0) {
      // The parser gives up here: nothing after this statement runs.
      scriptEndLine_ = line > 0 ? line : 1;
      Add(line, text + (information.empty() ? "" : " (" + information + ")") +
                    "; the script ends here: this statement and every later one are skipped");
      return;
    }
    text += "; the statement is skipped";
    Add(line, text);
  }

  void OpenTemplate() {
    if (templatePath_.empty() || !FileExists(templatePath_)) return;
    try {
      ApplicationPtr application =
          options_.Application ? options_.Application : platform::CreateSpreadsheetApplication();
      workbook_ = application->OpenWorkbook(templatePath_, true);
    } catch (const std::exception& error) {
      Add(KeyLine("file", "ReportTemplateFileName"), "the template cannot be opened: " + std::string(error.what()));
    }
  }

  std::string SheetList() const {
    std::string list;
    for (std::int32_t i = 1; i <= workbook_->WorksheetCount(); ++i)
      list += (i > 1 ? ", " : "") + workbook_->WorksheetAt(i)->Name();
    return list;
  }

  WorksheetPtr FindSheet(const std::string& sheet) const {
    try {
      return workbook_->WorksheetByName(sheet);
    } catch (...) {
    }
    if (IsNumeric(sheet)) {
      try {
        return workbook_->WorksheetAt(ToInt16(Variant(sheet)));
      } catch (...) {
      }
    }
    return nullptr;
  }

  std::optional<CellRect> Reference(platform::Worksheet& sheet, const std::string& text) {
    try {
      return sheet.ResolveReference(text);
    } catch (...) {
      return std::nullopt;
    }
  }

  // Parameters are replaced in the SQL text only; a name written into the head stays as it is.
  void CheckHeadParameters(const ParsedStatement& statement) {
    const StatementRecord& record = statement.Record;
    std::string head = record.Sheet + " " + record.ListText + " " + record.RangeText + " " + record.ImageListText +
                       " " + record.PageBreakText;
    for (int g = 0; g < record.GroupCount; ++g)
      head +=
          " " + record.GroupText[static_cast<std::size_t>(g)] + " " + record.GroupRange[static_cast<std::size_t>(g)];
    for (const ParameterEntry& parameter : run_.ParameterTable())
      if (!parameter.Name.empty() && head.find(parameter.Name) != std::string::npos)
        Add(statement.Line, "@" + record.Name + ": parameter " + parameter.Name +
                                " stands in the statement's head, where parameters are not replaced");
  }

  // Page-break items that give no break, silently.
  void CheckPageBreaks(const ParsedStatement& statement) {
    const StatementRecord& record = statement.Record;
    if (record.PageBreakText.empty() || record.FunctionType != kFunctionReport) return;
    std::vector<std::string> items;
    try {
      items = fill::SplitList(record.PageBreakText);
    } catch (...) {
      return;
    }
    const int groups = record.Type == 1 ? 0 : record.GroupCount;
    for (const std::string& raw : items) {
      const std::string item = Upper(raw);
      const std::size_t g = item.find('G');
      bool usable = false;
      if (g != std::string::npos) {
        const std::string count = item.substr(0, g), level = item.substr(g + 1);
        const double n = IsNumeric(count) ? TextToNumber(count) : 0;
        const double l = level.empty() ? 1 : IsNumeric(level) ? TextToNumber(level) : 0;
        usable = n >= 1 && n < 32768 && l >= 1 && l <= groups;
        if (!usable) {
          Add(statement.Line, "@" + record.Name + ": PAGEBREAK " + raw + " gives no page breaks: " +
                                  (groups == 0 ? std::string("group breaks need a grouped table (GROUP=...)")
                                               : "the statement has " + std::to_string(groups) +
                                                     (groups == 1 ? " group" : " groups") + ", counted from 1"));
        }
        continue;
      }
      std::string number = item;
      if (!number.empty() && number.back() == 'R') number.pop_back();
      if (!IsNumeric(number) || TextToNumber(number) < 1)
        Add(statement.Line, "@" + record.Name + ": PAGEBREAK " + raw +
                                " gives no page breaks (write a number of records, or NGL for groups)");
    }
  }

  void CheckStatement(const ParsedStatement& statement) {
    const StatementRecord& record = statement.Record;
    const std::string at = "@" + record.Name + ": ";
    CheckHeadParameters(statement);
    CheckPageBreaks(statement);
    if (record.FunctionType == kFunctionName) {
      std::vector<std::string> names;
      try {
        names = fill::SplitList(record.ListText);
      } catch (...) {
      }
      if (names.empty()) Add(statement.Line, at + "NAME statement without NAME=...; it fails");
      if (!workbook_) return;
      for (const std::string& name : names)
        if (!workbook_->GetNames().Exists(name))
          Add(statement.Line, at + "the template has no workbook name " + Quoted(name));
      return;
    }
    if (record.FunctionType != kFunctionReport || !workbook_) return;
    WorksheetPtr sheet = FindSheet(record.Sheet);
    if (!sheet) {
      Add(statement.Line,
          at + "the template has no sheet " + Quoted(record.Sheet) + "; its sheets are: " + SheetList());
      return;
    }
    std::vector<std::string> cells;
    try {
      cells = fill::SplitList(record.ListText);
    } catch (...) {
    }
    if (cells.empty() || cells[0].empty()) {
      Add(statement.Line, at + "REPORT without CELL=... (or with an empty first cell); it fails");
      return;
    }
    std::vector<CellRect> resolved;
    bool allCells = true;
    for (const std::string& cell : cells) {
      if (cell.empty()) {
        resolved.push_back({});
        continue;
      }
      if (auto rect = Reference(*sheet, cell)) {
        resolved.push_back(*rect);
      } else {
        Add(statement.Line,
            at + "CELL entry " + Quoted(cell) + " is neither a cell nor a workbook name of sheet " + sheet->Name());
        allCells = false;
      }
    }
    std::optional<CellRect> range;
    if (!record.RangeText.empty()) {
      range = Reference(*sheet, record.RangeText);
      if (!range) {
        Add(statement.Line, at + (record.Copy ? "COPYRANGE " : "RANGE ") + Quoted(record.RangeText) +
                                " is not a range of sheet " + sheet->Name());
        allCells = false;
      }
    }
    for (int g = 0; g < record.GroupCount; ++g) {
      const std::string& text = record.GroupRange[static_cast<std::size_t>(g)];
      if (!text.empty() && !Reference(*sheet, text)) {
        Add(statement.Line, at + "GROUPRANGE " + Quoted(text) + " is not a range of sheet " + sheet->Name());
        allCells = false;
      }
    }
    if (range && allCells && record.GroupCount == 0) {
      std::vector<CellRect> listedCells;
      for (const CellRect& cell : resolved)
        if (cell.row1 > 0) listedCells.push_back({cell.row1, cell.col1, cell.row1, cell.col1});
      const CellRect block = Enclosing(listedCells);
      if (block.row1 < range->row1 || block.col1 < range->col1 || block.row2 > range->row2 || block.col2 > range->col2)
        Add(statement.Line, at + (record.Copy ? "COPYRANGE " : "RANGE ") + record.RangeText +
                                " does not contain the cells " + platform::FormatAddress(block, false, false) +
                                "; the statement fails");
    }
    if (!allCells || record.Type == 1) return;
    if (record.GroupCount == 0)
      CheckTableTotals(statement, *sheet, resolved, range);
    else
      CheckGroupTotals(statement, *sheet, resolved, range);
  }

  // Field cells as the engines place them: listed cells, or next to the previous field's cell.
  static std::vector<CellRect> FieldCells(const std::vector<CellRect>& listed, std::size_t fields, bool down) {
    std::vector<CellRect> cells;
    for (std::size_t i = 0; i < std::max(fields, listed.size()); ++i) {
      if (i < listed.size() && listed[i].row1 > 0) {
        cells.push_back({listed[i].row1, listed[i].col1, listed[i].row1, listed[i].col1});
      } else if (!cells.empty()) {
        CellRect next = cells.back();
        if (down)
          ++next.col1, ++next.col2;
        else
          ++next.row1, ++next.row2;
        cells.push_back(next);
      }
    }
    return cells;
  }

  static CellRect Enclosing(const std::vector<CellRect>& cells) {
    CellRect block = cells.front();
    for (const CellRect& c : cells) {
      block.row1 = std::min(block.row1, c.row1);
      block.col1 = std::min(block.col1, c.col1);
      block.row2 = std::max(block.row2, c.row2);
      block.col2 = std::max(block.col2, c.col2);
    }
    return block;
  }

  static bool Inside(std::int32_t row, std::int32_t column, const CellRect& rect) {
    return row >= rect.row1 && row <= rect.row2 && column >= rect.col1 && column <= rect.col2;
  }

  // Aggregates outside `block` that cover its rows (its columns when records go right) up to
  // exactly its end: the engine inserts the next rows right after the block, outside them.
  std::vector<FormulaReference> StuckTotals(platform::Worksheet& sheet, const CellRect& block, const CellRect& area,
                                            bool down) {
    std::vector<FormulaReference> stuck;
    auto* xlsxSheet = dynamic_cast<xlsx::XlsxWorksheet*>(&sheet);
    if (!xlsxSheet) return stuck;
    for (const FormulaReference& ref : AggregateReferences(*xlsxSheet)) {
      if (Inside(ref.Row, ref.Column, area)) continue;  // a formula of the record itself
      const CellRect& r = ref.Rect;
      const bool across =
          down ? (r.col2 >= block.col1 && r.col1 <= block.col2) : (r.row2 >= block.row1 && r.row1 <= block.row2);
      const bool ends =
          down ? (r.row1 <= block.row2 && r.row2 == block.row2) : (r.col1 <= block.col2 && r.col2 == block.col2);
      if (across && ends) stuck.push_back(ref);
    }
    return stuck;
  }

  static std::string Span(const CellRect& rect, bool down) {
    if (down)
      return rect.row1 == rect.row2 ? "row " + std::to_string(rect.row1)
                                    : "rows " + std::to_string(rect.row1) + ":" + std::to_string(rect.row2);
    return rect.col1 == rect.col2
               ? "column " + platform::ColumnLetters(rect.col1)
               : "columns " + platform::ColumnLetters(rect.col1) + ":" + platform::ColumnLetters(rect.col2);
  }

  // "B5:B6 once the blank row is row 6": the range reaching one line further.
  static std::string Widened(const FormulaReference& ref, bool down, bool inserted = true) {
    CellRect wider = ref.Rect;
    if (down)
      ++wider.row2;
    else
      ++wider.col2;
    if (!inserted) return platform::FormatAddress(wider, false, false);
    return platform::FormatAddress(wider, false, false) + " once the blank " +
           (down ? "row is row " : "column is column ") +
           (down ? std::to_string(wider.row2) : platform::ColumnLetters(wider.col2));
  }

  void CheckTableTotals(const ParsedStatement& statement, platform::Worksheet& sheet,
                        const std::vector<CellRect>& listed, const std::optional<CellRect>& range) {
    const StatementRecord& record = statement.Record;
    const bool down = record.FillOrder == 0 || record.FillOrder == 2;
    const std::vector<std::string> columns = SelectColumnNames(record.SQLText);
    CellRect block = Enclosing(FieldCells(listed, columns.size(), down));
    if (range) block = *range;
    CellRect reserved = block;
    const int step = down ? block.Rows() : block.Columns();
    if (down)
      reserved.row2 += (record.Reserve - 1) * step;
    else
      reserved.col2 += (record.Reserve - 1) * step;
    for (const FormulaReference& ref : StuckTotals(sheet, block, reserved, down)) {
      std::string fix = record.Reserve == 1
                            ? "reserve one more " + std::string(down ? "row" : "column") +
                                  ": insert a blank one after the template " + (down ? "row" : "column") +
                                  ", write RESERVE=2 and sum over both (" + Widened(ref, down) + ")"
                            : "sum over both reserved " + std::string(down ? "rows" : "columns") + " (" +
                                  Widened(ref, down, false) + ")";
      Add(statement.Line, "@" + record.Name + ": " + sheet.Name() + "!" +
                              platform::FormatAddress({ref.Row, ref.Column, ref.Row, ref.Column}, false, false) + " " +
                              ref.Formula + " sums exactly the template " + Span(block, down) +
                              " of a growing table and will not grow with it; " + fix);
    }
  }

  void CheckGroupTotals(const ParsedStatement& statement, platform::Worksheet& sheet,
                        const std::vector<CellRect>& listed, const std::optional<CellRect>& range) {
    const StatementRecord& record = statement.Record;
    const bool down = record.FillOrder == 0 || record.FillOrder == 2;
    const std::vector<std::string> columns = SelectColumnNames(record.SQLText);
    const std::vector<CellRect> cells = FieldCells(listed, columns.size(), down);
    if (cells.empty()) return;
    // Key fields of every group; names are looked up in the SELECT list.
    std::vector<bool> isKey(cells.size(), false);
    std::vector<std::vector<std::size_t>> keys(static_cast<std::size_t>(record.GroupCount));
    bool numbers = false;
    for (int g = 0; g < record.GroupCount; ++g) {
      std::vector<std::string> entries;
      try {
        entries = fill::SplitList(record.GroupText[static_cast<std::size_t>(g)]);
      } catch (...) {
        return;
      }
      if (!entries.empty() && IsNumeric(entries[0])) numbers = true;
      for (const std::string& entry : entries) {
        std::optional<std::size_t> index;
        if (numbers && IsNumeric(entry)) {
          const int n = ToInt16(Variant(entry));
          if (n >= 1 && static_cast<std::size_t>(n) <= cells.size()) index = static_cast<std::size_t>(n - 1);
        } else {
          for (std::size_t f = 0; f < columns.size() && f < cells.size(); ++f)
            if (CaseFolded(columns[f]) == CaseFolded(entry)) {
              index = f;
              break;
            }
        }
        if (!index) return;  // the query decides; nothing more to say without running it
        keys[static_cast<std::size_t>(g)].push_back(*index);
        isKey[*index] = true;
      }
    }
    std::vector<CellRect> detailCells;
    for (std::size_t f = 0; f < cells.size(); ++f)
      if (!isKey[f]) detailCells.push_back(cells[f]);
    if (detailCells.empty()) return;
    std::vector<CellRect> levels(static_cast<std::size_t>(record.GroupCount) + 1);
    levels.back() = range ? *range : Enclosing(detailCells);
    for (int g = record.GroupCount - 1; g >= 0; --g) {
      std::vector<CellRect> around{levels[static_cast<std::size_t>(g) + 1]};
      for (std::size_t f : keys[static_cast<std::size_t>(g)]) around.push_back(cells[f]);
      CellRect block = Enclosing(around);
      const std::string& text = record.GroupRange[static_cast<std::size_t>(g)];
      if (!text.empty())
        if (auto given = Reference(sheet, text)) block = *given;
      levels[static_cast<std::size_t>(g)] = block;
    }
    std::set<std::pair<std::int32_t, std::int32_t>> reported;
    for (std::size_t level = levels.size(); level-- > 0;) {
      const CellRect& block = levels[level];
      for (const FormulaReference& ref : StuckTotals(sheet, block, block, down)) {
        if (!reported.insert({ref.Row, ref.Column}).second) continue;
        const bool detail = level + 1 == levels.size();
        Add(statement.Line,
            "@" + record.Name + ": " + sheet.Name() + "!" +
                platform::FormatAddress({ref.Row, ref.Column, ref.Row, ref.Column}, false, false) + " " + ref.Formula +
                " sums exactly the template " + Span(block, down) + " of " +
                (detail ? std::string("the detail block") : "group " + std::to_string(level + 1)) +
                " and stays that size in every copy; insert a blank " + (down ? "row" : "column") +
                " right after that block (inside the GROUPRANGE around it, if any) and sum down to it (" +
                Widened(ref, down) +
                "; SUBTOTAL(9, ...) in group footers keeps grand totals from counting them twice)");
      }
    }
  }

  std::string path_;
  std::vector<std::string> given_;
  CheckOptions options_;
  std::vector<CheckFinding> findings_;
  std::vector<std::string> lines_;
  std::string raw_;
  int sqlLine_ = 0;
  std::map<std::string, int> keyLines_;  // "section/folded key" -> line
  RunContext run_;
  std::string templatePath_;
  std::vector<ScannedStatement> scanned_;
  std::vector<ParsedStatement> statements_;
  std::set<std::string> refused_;
  int scriptEndLine_ = 0;  // line of the statement where the parser gave up
  WorkbookPtr workbook_;
};

}  // namespace

std::string CheckFinding::Text() const {
  return File + (Line > 0 ? ":" + std::to_string(Line) : std::string()) + ": " + Message;
}

std::vector<CheckFinding> CheckDefinition(const std::string& definitionFile, const std::vector<std::string>& parameters,
                                          const CheckOptions& options) {
  DefinitionChecker checker(definitionFile, parameters, options);
  try {
    return checker.Run();
  } catch (const std::exception& error) {
    return {{AbsolutePath(definitionFile), 0, std::string("the file could not be checked: ") + error.what()}};
  }
}

}  // namespace tabrix
