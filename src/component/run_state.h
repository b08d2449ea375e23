// The state of a report run. One instance per thread, shared by every Tabrix object of that
// thread: runs on one thread follow one another, runs on different threads never meet.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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

struct ParameterEntry {
  std::string Name;
  std::string Title;
  std::string Value;
};

// One row of the format-conversion table (fmtconv.cfg).
struct ConvEntry {
  std::string Name;
  std::int32_t FileFormat = 0;
  bool HasFileFormat = false;
  std::string Description;
  std::string Extra;
};

inline constexpr int kMaxConvEntries = 257;

struct RunState {
  // Data sources: 11 rows, 0..10; rows 0..DataSourceCount-1 in use.
  std::array<DataSourceEntry, kMaxDataSources + 1> DataSources{};
  std::int16_t DataSourceCount = 0;
  bool EncryptPassword = false;
  std::array<ConnectionPtr, kMaxDataSources + 1> Connections{};
  std::array<RecordsetPtr, kMaxDataSources + 1> Recordsets{};
  std::array<bool, kMaxDataSources + 1> Connected{};

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

  // The event sink of the object whose Foliowright call is running (events of a run go there).
  TabrixEvents* Events = nullptr;

  // Settings of a host program, kept across runs of the thread.
  // The format-conversion table to read instead of fmtconv.cfg beside the program (empty: that one).
  std::string ConversionTableFile;
  // Called with every line written to a run log (the text without its time prefix).
  std::function<void(const std::string&)> LogEcho;
};

// This thread's run state, created empty on first use.
RunState& CurrentRunState();

}  // namespace tabrix
