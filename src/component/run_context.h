// The state of one report run, owned by the run (RunReport / Foliowright) and handed by reference
// to each step: definition reader, parameter substitution, script parser and executor,
// connections, template and saving. Runs never share one, whatever thread they are on.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "definition/conversion_table.h"
#include "script/tokenizer.h"
#include "tabrix/report_run.h"
#include "tabrix/tabrix.h"

namespace tabrix {

class RunLog;

inline constexpr int kMaxDataSources = 10;  // Name1..Name10
inline constexpr int kMaxParameters = 10;

struct DataSourceEntry {
  std::string Name;
  std::string User;
  std::string Password;
  std::string ConnectionString;
};

struct RunContext {
  RunContext();
  // Closes connections still open and wipes the passwords (see Release).
  ~RunContext();
  RunContext(const RunContext&) = delete;
  RunContext& operator=(const RunContext&) = delete;

  // The parameter rows in use (ParameterCount of them), for parameter substitution.
  std::span<const ParameterEntry> ParameterTable() const {
    return {Parameters.data(), static_cast<std::size_t>(ParameterCount > 0 ? ParameterCount : 0)};
  }

  // Closes every connection still open (failures ignored), releases connections, recordsets,
  // workbook and log, and overwrites data-source passwords, connection strings and the
  // protection password. Called when a run ends, however it ends.
  void Release();

  // Data sources: 11 rows, 0..10; rows 0..DataSourceCount-1 in use.
  std::array<DataSourceEntry, kMaxDataSources + 1> DataSources{};
  std::int16_t DataSourceCount = 0;
  bool EncryptPassword = false;
  std::array<ConnectionPtr, kMaxDataSources + 1> Connections{};
  std::array<RecordsetPtr, kMaxDataSources + 1> Recordsets{};
  std::array<bool, kMaxDataSources + 1> Connected{};
  // Kept open between runs (null: none), and the key each row's connection is kept under when
  // it is disconnected (empty: closed as usual).
  ConnectionCache* ConnectionReuse = nullptr;
  std::array<std::string, kMaxDataSources + 1> ReuseKeys{};

  // Parameters: 11 rows, 0..9 used.
  std::array<ParameterEntry, kMaxParameters + 1> Parameters{};
  std::int16_t ParameterCount = 0;

  std::string DefinitionFilePath;
  // Folder of the definition file: relative file names and connection strings refer to it.
  std::string DefinitionFolder;
  std::string ReportTemplateFileName, TemplatePath;
  std::string ReportFileName, ReportPath;
  std::string ReportFileType;
  bool ProtectReport = false;
  bool NoProtectionPassword = true;
  std::string ProtectionPassword;
  std::string LogFileName, LogPath;

  std::vector<ConvEntry> ConversionTable;  // at most kMaxConvEntries rows

  WorkbookPtr ReportWorkbook;
  std::unique_ptr<RunLog> Log;  // open run log, null outside a run
  std::int16_t SpreadsheetMajorVersion = 0;
  std::int16_t StatementCounter = 0;
  std::string CurrentFunctionName;
  std::int16_t CurrentFunctionType = 0;

  // Where the run's events go (null: nowhere).
  TabrixEvents* Events = nullptr;
  // The format-conversion table to read instead of fmtconv.cfg beside the program (empty: that one).
  std::string ConversionTableFile;
  // Called with every line written to the run log (the text without its time prefix).
  std::function<void(const std::string&)> LogEcho;

  // One entry per executed statement, in order.
  std::vector<StatementOutcome> Statements;
  // Statements the script parser dropped or never reached, and an unclosed comment's line.
  std::vector<SkippedStatement> Skipped;
  std::int32_t UnclosedCommentLine = 0;
};

}  // namespace tabrix
