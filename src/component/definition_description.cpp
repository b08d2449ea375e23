// foliowright describe as a library call (see tabrix/definition_check.h): what a definition file
// asks for (parameters, data sources with their passwords hidden, statements), read with the
// run's own definition reader and statement parser.
#include <algorithm>
#include <map>
#include <regex>
#include <sstream>

#include "component/run_context.h"
#include "definition/definition_file.h"
#include "script/statement_parser.h"
#include "script/tokenizer.h"
#include "support/text_lines.h"
#include "tabrix/definition_check.h"

namespace tabrix {
namespace {

std::string Trim(std::string_view text) {
  while (!text.empty() && IsBlankChar(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankChar(text.back())) text.remove_suffix(1);
  return std::string(text);
}

// Password values of a connection string replaced by "***".
std::string HidePasswords(const std::string& connectionString, bool& hasPassword) {
  static const std::regex password(R"((^|;)(\s*(?:password|pwd)\s*=)([^;]*))", std::regex::icase);
  hasPassword = std::regex_search(connectionString, password);
  return std::regex_replace(connectionString, password, "$1$2***");
}

}  // namespace

DefinitionDescription DescribeDefinition(const std::string& definitionFile) {
  RunContext run;
  LoadDefinitionFile(run, definitionFile);
  DefinitionDescription description;
  description.Path = run.DefinitionFilePath;
  description.TemplateFile = run.ReportTemplateFileName;
  description.ReportFile = run.ReportFileName;
  description.ReportFileType = run.ReportFileType;
  description.LogFile = run.LogFileName;
  description.ProtectReport = run.ProtectReport;
  description.EncryptPassword = run.EncryptPassword;
  for (int i = 0; i < run.ParameterCount; ++i) {
    const ParameterEntry& entry = run.Parameters[static_cast<std::size_t>(i)];
    description.Parameters.push_back({entry.Name, entry.Title, entry.Value});
  }
  for (int i = 0; i < run.DataSourceCount; ++i) {
    const DataSourceEntry& entry = run.DataSources[static_cast<std::size_t>(i)];
    DefinitionDescription::DataSource source;
    source.Name = entry.Name;
    source.User = entry.User;
    source.ConnectionString = HidePasswords(entry.ConnectionString, source.HasPassword);
    source.HasPassword = source.HasPassword || !entry.Password.empty();
    description.DataSources.push_back(std::move(source));
    run.Connected[static_cast<std::size_t>(i)] = true;
  }

  // Lines of the statement heads, for the listing.
  std::vector<std::string> lines;
  TextLineReader reader;
  if (reader.Open(run.DefinitionFilePath))
    for (std::string line; reader.ReadLine(line);) lines.push_back(line);
  std::map<std::string, int> headLines;
  int heads = 0;
  bool script = false;
  bool inComment = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string text = Trim(lines[i]);
    if (!script) {
      script = text == "[SQL]";
      continue;
    }
    if (!inComment && !text.empty() && text[0] == '@') {
      int position = 1;
      headLines.emplace(GetToken(text, position, false).substr(1), static_cast<int>(i) + 1);
      ++heads;
    }
    // Comments outside quotes, which may hide statement lines below.
    char quote = 0;
    for (std::size_t p = 0; p < text.size(); ++p) {
      const char c = text[p];
      if (inComment) {
        if (c == '*' && p + 1 < text.size() && text[p + 1] == '/') inComment = false, ++p;
      } else if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '/' && p + 1 < text.size() && text[p + 1] == '*') {
        inComment = true;
        ++p;
      }
    }
  }

  ParseFunctionScript(
      run, run.DefinitionFilePath,
      [&](const StatementRecord& record, ConnectionPtr, const std::string&, const std::string&, const std::string&) {
        DefinitionDescription::Statement statement;
        statement.Line = headLines.count(record.Name) ? headLines[record.Name] : 0;
        statement.Name = record.Name;
        statement.DataSource = record.DataSourceIndex < run.DataSourceCount
                                   ? run.DataSources[static_cast<std::size_t>(record.DataSourceIndex)].Name
                                   : "";
        if (record.FunctionType == kFunctionExecSql) {
          statement.Function = "EXECSQL";
          statement.Kind = "SQL command";
        } else if (record.FunctionType == kFunctionName) {
          statement.Function = "NAME";
          statement.Kind = "workbook names";
          statement.Target = record.ListText;
        } else {
          statement.Function = "REPORT";
          statement.Kind = record.Type == 1         ? "fixed table"
                           : record.GroupCount == 0 ? "growing table"
                                                    : "grouped table (" + std::to_string(record.GroupCount) +
                                                          (record.GroupCount == 1 ? " group)" : " groups)");
          statement.Target = record.Sheet + "!" + record.ListText;
        }
        description.Statements.push_back(std::move(statement));
      });
  description.RejectedStatements = std::max(0, heads - static_cast<int>(description.Statements.size()));
  return description;
}

std::string FormatDescription(const DefinitionDescription& d) {
  std::ostringstream out;
  out << "Definition: " << d.Path << "\n";
  out << "Template: " << d.TemplateFile << "\n";
  out << "Report: " << d.ReportFile;
  if (!d.ReportFileType.empty()) out << " (type " << d.ReportFileType << ")";
  out << "\n";
  out << "Log: " << (d.LogFile.empty() ? "(beside the definition file)" : d.LogFile) << "\n";
  out << "Protection: " << (d.ProtectReport ? "worksheets protected" : "none") << "\n";
  out << "Parameters:" << (d.Parameters.empty() ? " none" : "") << "\n";
  for (std::size_t i = 0; i < d.Parameters.size(); ++i) {
    const auto& p = d.Parameters[i];
    out << "  " << i + 1 << ". " << p.Name;
    if (!p.Title.empty()) out << "  \"" << p.Title << "\"";
    out << "  default " << (p.Default.empty() ? "(none)" : p.Default) << "\n";
  }
  out << "Data sources:" << (d.DataSources.empty() ? " none" : "") << "\n";
  for (std::size_t i = 0; i < d.DataSources.size(); ++i) {
    const auto& s = d.DataSources[i];
    out << "  " << i + 1 << ". " << s.Name;
    if (!s.ConnectionString.empty()) out << "  connection string " << s.ConnectionString;
    if (!s.User.empty()) out << "  user " << s.User;
    if (s.HasPassword)
      out << "  password hidden" << (d.EncryptPassword && s.ConnectionString.empty() ? " (encoded)" : "");
    out << "\n";
  }
  out << "Statements:" << (d.Statements.empty() ? " none" : "") << "\n";
  for (const auto& s : d.Statements) {
    out << "  line " << s.Line << "  @" << s.Name << "  " << s.Function << "  " << s.Kind;
    if (!s.Target.empty()) out << "  " << s.Target;
    if (!s.DataSource.empty()) out << "  on " << s.DataSource;
    out << "\n";
  }
  if (d.RejectedStatements > 0)
    out << "  (" << d.RejectedStatements << " more statement head" << (d.RejectedStatements == 1 ? "" : "s")
        << " the parser refuses: run foliowright check)\n";
  return out.str();
}

}  // namespace tabrix
