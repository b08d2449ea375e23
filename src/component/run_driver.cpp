// The steps of one report run and the public RunReport entry (see run_driver.h).
#include "component/run_driver.h"

#include <optional>

#include "component/connections.h"
#include "component/report_saving.h"
#include "component/report_template.h"
#include "component/run_context.h"
#include "definition/definition_file.h"
#include "definition/conversion_table.h"
#include "script/statement_parser.h"
#include "script/tokenizer.h"
#include "support/paths.h"
#include "support/run_log.h"
#include "tabrix/error_codes.h"
#include "tabrix/error.h"
#include "tabrix/variant.h"

namespace tabrix {
namespace {

// Where fmtconv.cfg is read from: the host's choice, or beside the program.
std::string ConversionTablePath(const RunContext& run) {
  if (!run.ConversionTableFile.empty()) return AbsolutePath(run.ConversionTableFile);
  return DefaultConversionTablePath();
}

// The integer before the last "." of the application's version text; 0 when not a number.
std::int16_t MajorVersion(const std::string& version) {
  const std::size_t dot = version.rfind('.');
  const std::string major = dot == std::string::npos ? version : version.substr(0, dot);
  try {
    if (IsNumeric(major)) return ToInt16(Variant(major));
  } catch (...) {
  }
  return 0;
}

class RunDriver {
 public:
  RunDriver(RunContext& run, Tabrix& component, const ApplicationPtr& application)
      : component_(component), application_(application), run_(run) {}

  // Steps of one run; returns the error that ends it, if any.
  std::optional<AutomationError> Run() {
    try {
      return RunSteps();
    } catch (...) {
      // Anything unexpected (a log that can no longer be written, memory) ends the run as an
      // early failure.
      return ExitA(ToAutomationError(std::current_exception()));
    }
  }

 private:
  std::optional<AutomationError> RunSteps() {
    run_.StatementCounter = 0;
    run_.DefinitionFolder = FolderPart(run_.DefinitionFilePath);
    const std::string& folder = run_.DefinitionFolder;
    network_ = IsNetworkPath(folder);

    const std::string defaultLog = folder + "/" + BaseName(run_.DefinitionFilePath) + ".log";
    run_.LogPath = run_.LogFileName.empty() ? std::string() : Resolve(run_.LogFileName);
    if (run_.LogPath.empty()) run_.LogFileName = run_.LogPath = defaultLog;
    run_.ReportPath = Resolve(run_.ReportFileName);

    const std::string logFolder = FolderPart(run_.LogPath);
    if (!logFolder.empty() && !MakeFolderChain(logFolder)) run_.LogFileName = run_.LogPath = defaultLog;

    try {
      run_.Log = RunLog::Create(run_.LogPath);
    } catch (...) {
      return ExitB(ToAutomationError(std::current_exception()));
    }
    if (run_.LogEcho) run_.Log->SetEcho(run_.LogEcho);
    Log(std::string(kProductName) + " " + kComponentVersion);
    Log(kLegalNotice);
    Log("Open log file successfully.");

    if (run_.ReportTemplateFileName.empty())
      return ExitA(ObjectError(kErrTemplateMissing, "Report template file \"\" does not exist."));
    run_.TemplatePath = Resolve(run_.ReportTemplateFileName);
    if (!FileExists(run_.TemplatePath)) {
      const std::string message = "Report template file \"" + run_.TemplatePath + "\" does not exist.";
      run_.Log->WriteErrorEntry(message);
      return ExitA(ObjectError(kErrTemplateMissing, message));
    }
    if (run_.ReportFileName.empty()) {
      const std::string message = "The report file is not named correctly.";
      run_.Log->WriteErrorEntry(message);
      return ExitA(ObjectError(kErrReportNotNamed, message));
    }
    if (run_.ConversionTable.empty()) {
      Log("Warning: The file \"" + ConversionTablePath(run_) +
          "\" does not exist. You can not convert file format.");
    }
    if (run_.DataSourceCount < 1) Log("Warning: None of data sources is defined.");

    for (std::int16_t i = 0; i < run_.DataSourceCount; ++i) {
      try {
        ConnectDataSource(run_, i);
        run_.Connected[static_cast<std::size_t>(i)] = true;
      } catch (...) {
        run_.Connected[static_cast<std::size_t>(i)] = false;
        return ExitA(ToAutomationError(std::current_exception()));
      }
    }

    run_.SpreadsheetMajorVersion = 0;
    try {
      if (application_) run_.SpreadsheetMajorVersion = MajorVersion(application_->Version());
    } catch (...) {
    }

    try {
      OpenTemplate(run_, application_);
    } catch (...) {
      return ExitA(ToAutomationError(std::current_exception()));
    }

    ParseFunctionScript(run_, component_, run_.DefinitionFilePath);

    std::optional<AutomationError> recorded;
    try {
      SaveReport(run_, application_);
    } catch (...) {
      recorded = ToAutomationError(std::current_exception());
    }
    run_.ReportWorkbook.reset();

    for (std::int16_t i = 0; i < run_.DataSourceCount; ++i) {
      if (!run_.Connected[static_cast<std::size_t>(i)]) continue;
      try {
        DisconnectDataSource(run_, i);
      } catch (...) {
        recorded = ToAutomationError(std::current_exception());
      }
      run_.Connected[static_cast<std::size_t>(i)] = false;
    }

    try {
      Log("Close the log file.");
    } catch (...) {
    }
    CloseLog();
    return recorded;
  }

  // File names of the definition file: parameters substituted, then made absolute against the
  // definition folder.
  std::string Resolve(const std::string& name) const {
    const std::string substituted = SubstituteParameters(name, run_.ParameterTable());
    if (network_) return ResolveRelativePath(run_.DefinitionFolder, substituted);
    return AbsolutePath(substituted, run_.DefinitionFolder);
  }

  void Log(const std::string& text) { run_.Log->WriteLine(text); }

  void CloseLog() {
    if (run_.Log) run_.Log->Close();
    run_.Log.reset();
  }

  static AutomationError ObjectError(std::int32_t number, const std::string& description) {
    return AutomationError(number, kProductName, description);
  }

  // A failure after the log is open: the log is closed without its closing line.
  std::optional<AutomationError> ExitA(const AutomationError& error) {
    CloseLog();
    return ExitB(error);
  }

  std::optional<AutomationError> ExitB(const AutomationError& error) {
    run_.ReportWorkbook.reset();
    return AutomationError(error.Number(), kProductName, error.Description());
  }

  Tabrix& component_;
  const ApplicationPtr& application_;
  RunContext& run_;
  bool network_ = false;
};

}  // namespace

RunResult RunDefinition(Tabrix& component, const ApplicationPtr& application, const std::string& definitionFile,
                        const std::array<std::string, 10>& parameters, const RunOptions& options) {
  RunResult result;
  std::optional<AutomationError> error;
  {
    RunContext run;
    run.Events = component.EventSink();
    run.ConversionTableFile = options.ConversionTable;
    run.LogEcho = options.LogEcho;
    run.ConnectionReuse = options.Connections;
    try {
      LoadConversionTable(run.ConversionTable, ConversionTablePath(run));
      LoadDefinitionFile(run, definitionFile);
      StoreRunParameters(run, parameters);
      // A host's choice of report file and type replaces the definition's.
      if (!options.ReportFile.empty()) run.ReportFileName = AbsolutePath(options.ReportFile);
      if (!options.ReportFileType.empty()) run.ReportFileType = options.ReportFileType;
      error = RunDriver(run, component, application).Run();
    } catch (...) {
      error = ToAutomationError(std::current_exception());
    }
    // Connections an early failure left open are closed and the passwords wiped here.
    run.Release();
    result.ReportPath = run.ReportPath;
    result.LogPath = run.LogPath;
    result.TemplatePath = run.TemplatePath;
    result.Statements = std::move(run.Statements);
    result.Skipped = std::move(run.Skipped);
    result.UnclosedCommentLine = run.UnclosedCommentLine;
  }
  if (error) result.Error = ErrObject{error->Number(), error->Source(), error->Description()};
  return result;
}

RunResult RunReport(const std::string& definitionFile, const std::vector<std::string>& parameters,
                    const RunOptions& options) {
  try {
    Tabrix component;
    component.SetEventSink(options.Events);
    ApplicationPtr application = options.Application;
    if (!application) {
      platform::ApplicationSettings settings;
      settings.Recalculate = options.Recalculate;
      settings.ConverterProgram = options.ConverterProgram;
      settings.ConverterTimeoutSeconds = options.ConverterTimeoutSeconds;
      settings.Converter = options.Converter;
      application = platform::CreateSpreadsheetApplication(settings);
    }
    std::array<std::string, 10> values;
    for (std::size_t i = 0; i < values.size() && i < parameters.size(); ++i) values[i] = parameters[i];
    return RunDefinition(component, application, definitionFile, values, options);
  } catch (...) {
    // Only memory can run out before the run starts.
    const AutomationError error = ToAutomationError(std::current_exception());
    RunResult result;
    result.Error = ErrObject{error.Number(), error.Source(), error.Description()};
    return result;
  }
}

std::vector<DefinitionParameter> ReadDefinitionParameters(const std::string& definitionFile) {
  RunContext run;
  LoadDefinitionFile(run, definitionFile);
  std::vector<DefinitionParameter> parameters;
  for (const ParameterEntry& entry : run.ParameterTable()) parameters.push_back({entry.Name, entry.Title, entry.Value});
  return parameters;
}

}  // namespace tabrix
