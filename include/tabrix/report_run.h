// Running a report from a definition file as a function call: options in, a result out (report
// and log paths, each statement's outcome, the error that ended the run). Tabrix::Foliowright is
// the same run with the object's event sink, raising the error instead of returning it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tabrix/tabrix.h"

namespace tabrix {

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
  // Where the run's events go; null: nowhere.
  TabrixEvents* Events = nullptr;
  // The spreadsheet application to open the template with; null: a new engine application with
  // Recalculate, ConverterProgram and ConverterTimeoutSeconds as its settings. A given
  // application keeps its own settings.
  ApplicationPtr Application;
};

// What one executed statement of the function script did.
struct StatementOutcome {
  std::int32_t Number = 0;   // the statement's position among executed statements (SQLNo of its events)
  std::string Name;          // the name after "@"
  std::int16_t Type = 0;     // 0 EXECSQL, 1 NAME, 2 REPORT
  std::int32_t Records = 0;  // records its recordset delivered (0 for EXECSQL)
  ErrObject Error;           // Number 0: it succeeded
};

struct RunResult {
  // Absolute paths as far as the run got to know them (empty when it ended before).
  std::string ReportPath, LogPath;
  std::vector<StatementOutcome> Statements;
  // The error that ended the run; Number 0: the report was saved.
  ErrObject Error;
  bool Succeeded() const { return Error.Number == 0; }
};

// Runs the report described by `definitionFile` (absolute, or relative to the current
// directory) with up to ten parameter values. Never raises for a failed run. Connections are
// closed and passwords wiped from memory before it returns, however the run ends.
RunResult RunReport(const std::string& definitionFile, const std::vector<std::string>& parameters,
                    const RunOptions& options = {});

}  // namespace tabrix
