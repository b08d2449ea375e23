// Running a report from a definition file as a function call: options in, a result out (report
// and log paths, each statement's outcome, the error that ended the run). Tabrix::Foliowright is
// the same run with the object's event sink, raising the error instead of returning it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tabrix/office_converter.h"
#include "tabrix/tabrix.h"

namespace tabrix {

// Connections kept open from one run to the next: a run that connects a data source with the
// same connection string, login and definition folder as an earlier run takes the open
// connection over, and leaves it here instead of closing it. A connection the host hands over in
// BeforeConnect is never kept. For one thread at a time; Close (or the destructor) closes every
// connection and wipes the login data.
class ConnectionCache {
 public:
  ConnectionCache() = default;
  ConnectionCache(const ConnectionCache&) = delete;
  ConnectionCache& operator=(const ConnectionCache&) = delete;
  ~ConnectionCache();

  // The open connection kept under `key` (removed from the cache), or null.
  ConnectionPtr Take(const std::string& key);
  // Keeps `connection` under `key`; `key` is wiped.
  void Keep(std::string& key, ConnectionPtr connection);
  void Close();
  std::size_t Size() const { return entries_.size(); }

 private:
  std::vector<std::pair<std::string, ConnectionPtr>> entries_;
};

struct RunOptions {
  // The format-conversion table (fmtconv.cfg) to read; empty: the one beside the program.
  std::string ConversionTable;
  // Called with every line written to the run log (without its time prefix).
  std::function<void(const std::string&)> LogEcho;
  // Compute formulas before saving (engine's application only, see Application).
  bool Recalculate = true;
  // The LibreOffice program for conversions; empty: TABRIX_OFFICE_PROGRAM, then a PATH search.
  std::string ConverterProgram;
  // Longest time one conversion may take; 0: TABRIX_OFFICE_TIMEOUT, then 300 seconds.
  int ConverterTimeoutSeconds = 0;
  // LibreOffice processes kept up between runs (tabrix/office_converter.h) for the template read
  // and the report save; null: one LibreOffice process per conversion. When set, its own
  // program and timeout apply instead of the two above.
  std::shared_ptr<OfficeConverter> Converter;
  // Where the run's events go; null: nowhere.
  TabrixEvents* Events = nullptr;
  // The spreadsheet application to open the template with; null: a new engine application with
  // Recalculate, ConverterProgram, ConverterTimeoutSeconds and Converter as its settings. A given
  // application keeps its own settings.
  ApplicationPtr Application;
  // The report file and its type instead of the definition file's ReportFileName and
  // ReportFileType; empty: the definition's. A relative ReportFile is taken against the current
  // directory (not the definition's folder); parameters are substituted in it as in the definition.
  std::string ReportFile;
  std::string ReportFileType;
  // Connections kept open between runs on this thread; null: a run closes its connections.
  ConnectionCache* Connections = nullptr;
};

// What one executed statement of the function script did.
struct StatementOutcome {
  std::int32_t Number = 0;   // the statement's position among executed statements (SQLNo of its events)
  std::string Name;          // the name after "@"
  std::int16_t Type = 0;     // 0 EXECSQL, 1 NAME, 2 REPORT
  std::int32_t Records = 0;  // records its recordset delivered (0 for EXECSQL)
  ErrObject Error;           // Number 0: it succeeded
};

// A statement of the function script that did not run: a syntax error dropped it (the run log
// has the same message), a parse failure ended the script before it, or it stood inside a "/*"
// comment that is never closed.
struct SkippedStatement {
  std::int32_t Line = 0;  // line of the definition file where the statement starts
  std::string Name;       // the name after "@"
  std::string Reason;
};

struct RunResult {
  // Absolute paths as far as the run got to know them (empty when it ended before).
  std::string ReportPath, LogPath, TemplatePath;
  std::vector<StatementOutcome> Statements;
  // Statements of the script that did not run, in the order of the file.
  std::vector<SkippedStatement> Skipped;
  // Line of a "/*" that is never closed (everything after it is comment); 0: none.
  std::int32_t UnclosedCommentLine = 0;
  // The error that ended the run; Number 0: the report was saved.
  ErrObject Error;
  bool Succeeded() const { return Error.Number == 0; }
};

// Runs the report described by `definitionFile` (absolute, or relative to the current
// directory) with up to ten parameter values. Never raises for a failed run. Connections are
// closed and passwords wiped from memory before it returns, however the run ends.
RunResult RunReport(const std::string& definitionFile, const std::vector<std::string>& parameters,
                    const RunOptions& options = {});

// A parameter of a definition file's [Parameter] section.
struct DefinitionParameter {
  std::string Name, Title, Default;
};

// The parameters the definition file names (Name1.. up to the first empty one), read as a run
// reads them. Raises the run's loading errors (0x8004000B, 0x8004000C, 0x8004000D) for a file
// that is missing, not a definition file or unreadable. A host that passes fewer values than
// there are parameters can fill in the defaults from here (a run itself leaves them empty).
std::vector<DefinitionParameter> ReadDefinitionParameters(const std::string& definitionFile);

}  // namespace tabrix
