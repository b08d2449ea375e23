// Running a report (the command without a sub-command): parameters with their defaults, the run,
// and an exit status and stderr that tell what happened (failed statements, hints, warnings).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "tabrix/error.h"
#include "tabrix/report_run.h"
#include "tabrix/run_hints.h"
#include "tabrix/tabrix.h"

namespace foliowright {

const char* const kRunHelp =
    "Usage: foliowright [OPTIONS] DEFINITION_FILE [PARAM1 ... PARAM10]\n"
    "       foliowright COMMAND ...\n"
    "\n"
    "Runs the report described by DEFINITION_FILE: connects its data sources, fills a copy of its\n"
    "template with the statements of its [SQL] section and saves the report. PARAM1.. are the\n"
    "values of the definition's parameters Name1.. in order; parameters not given take their\n"
    "DefaultN values (said on stderr). The run log goes where LogFileName says (beside the\n"
    "definition file by default). An existing report is replaced only when the new one is saved.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE   save the report as FILE instead of the definition's ReportFileName\n"
    "                      (relative to the current directory)\n"
    "  -t, --type NAME     save in the format NAME (or number) of the format-conversion table\n"
    "                      (xlOpenXMLWorkbook, xlTypePDF, xlCSV, 57, ...) instead of the\n"
    "                      definition's ReportFileType\n"
    "  --fmtconv FILE      format-conversion table to use instead of the fmtconv.cfg installed\n"
    "                      with the program\n"
    "  -q, --quiet         show no progress, no parameter defaults and no report summary\n"
    "  -v, --verbose       echo the run log on standard output\n"
    "  --version           show the version\n"
    "  -h, --help          show this help\n"
    "\n"
    "Exit status:\n"
    "  0  the report is saved and every statement succeeded\n"
    "  1  no report: the run ended early (its error on stderr, details in the run log)\n"
    "  2  usage error (unknown option, more values than the definition has parameters, ...)\n"
    "  3  the report is saved, but statements failed or did not run (listed on stderr)\n"
    "Hints on how to fix a failure, and warnings about the definition, go to stderr as well.\n";

namespace {

using tabrix::AutomationError;

// Shows "name: record/count" on the terminal while a statement fills rows.
class ProgressDisplay : public tabrix::TabrixEvents {
 public:
  explicit ProgressDisplay(bool enabled) : enabled_(enabled) {}

  void FunctionBeforeExectue(std::string FunctionNo, std::int16_t, std::int32_t, std::string) override {
    statement_ = std::move(FunctionNo);
  }

  void FunctionProgress(std::int32_t Progress, std::int32_t RecordCount) override {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (shown_ && Progress != RecordCount && now - lastShown_ < std::chrono::milliseconds(100)) return;
    lastShown_ = now;
    const int percent = RecordCount > 0 ? static_cast<int>(100.0 * Progress / RecordCount) : 100;
    std::fprintf(stderr, "\r\033[K@%s: record %d of %d (%d%%)", statement_.c_str(), Progress, RecordCount,
                 percent);
    std::fflush(stderr);
    shown_ = true;
  }

  void FunctionAfterExectue(std::string, std::int16_t, std::int32_t, tabrix::ErrObject) override { Clear(); }

  // Removes the progress line so that other output starts on a clean line.
  void Clear() {
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
  }

 private:
  bool enabled_;
  bool shown_ = false;
  std::string statement_;
  std::chrono::steady_clock::time_point lastShown_{};
};

struct RunArguments {
  std::string definitionFile;
  std::vector<std::string> parameters;
  std::string conversionTable, output, type;
  bool quiet = false, verbose = false;
};

std::string Hex(std::int32_t number) { return AutomationError(number, "", "").HexNumber(); }

// Fills in the defaults of parameters not given; false (a usage error) for too many values.
bool CompleteParameters(RunArguments& arguments) {
  std::vector<tabrix::DefinitionParameter> parameters;
  try {
    parameters = tabrix::ReadDefinitionParameters(arguments.definitionFile);
  } catch (...) {
    return true;  // the run reports a definition file it cannot read
  }
  if (arguments.parameters.size() > parameters.size()) {
    std::string names;
    for (const auto& parameter : parameters) names += (names.empty() ? " (" : ", ") + parameter.Name;
    std::cerr << "foliowright: " << arguments.definitionFile << " has " << parameters.size() << " parameter"
              << (parameters.size() == 1 ? "" : "s") << names << (names.empty() ? "" : ")") << ", but "
              << arguments.parameters.size() << " values were given (see foliowright --help)\n";
    return false;
  }
  for (std::size_t i = arguments.parameters.size(); i < parameters.size(); ++i) {
    const tabrix::DefinitionParameter& parameter = parameters[i];
    arguments.parameters.push_back(parameter.Default);
    if (arguments.quiet) continue;
    std::cerr << "foliowright: parameter " << i + 1 << " " << parameter.Name
              << (parameter.Title.empty() ? "" : " (" + parameter.Title + ")") << " not given: "
              << (parameter.Default.empty() ? "it is empty (no Default" + std::to_string(i + 1) + ")"
                                            : "its default \"" + parameter.Default + "\" is used")
              << "\n";
  }
  return true;
}

// The statements that failed or did not run, one line each; the number of them.
std::size_t ReportStatementFailures(const tabrix::RunResult& result) {
  std::vector<std::string> lines;
  for (const tabrix::StatementOutcome& outcome : result.Statements) {
    if (outcome.Error.Number == 0) continue;
    lines.push_back("@" + outcome.Name + ": error " + Hex(outcome.Error.Number) + ": " + outcome.Error.Description);
  }
  for (const tabrix::SkippedStatement& skipped : result.Skipped)
    lines.push_back("@" + skipped.Name + " (line " + std::to_string(skipped.Line) + "): not run: " + skipped.Reason);
  if (!lines.empty()) {
    const std::size_t total = result.Statements.size() + result.Skipped.size();
    std::cerr << "foliowright: " << lines.size() << " of " << total << " statement" << (total == 1 ? "" : "s")
              << " failed:\n";
    for (const std::string& line : lines) std::cerr << "  " << line << "\n";
  }
  return lines.size();
}

int Run(RunArguments arguments) {
  if (arguments.definitionFile.empty()) {
    std::cerr << "foliowright: a definition file is required (see foliowright --help)\n";
    return kExitUsage;
  }
  if (!CompleteParameters(arguments)) return kExitUsage;

  ProgressDisplay progress(!arguments.quiet && ::isatty(STDERR_FILENO));
  tabrix::RunOptions options;
  options.ConversionTable = arguments.conversionTable;
  options.ReportFile = arguments.output;
  options.ReportFileType = arguments.type;
  options.Events = &progress;
  if (arguments.verbose) {
    options.LogEcho = [&progress](const std::string& line) {
      progress.Clear();
      std::cout << line << std::endl;
    };
  }

  const tabrix::RunResult result = tabrix::RunReport(arguments.definitionFile, arguments.parameters, options);
  progress.Clear();
  const std::vector<tabrix::RunAdvice> advice = tabrix::AdviseOnRun(arguments.definitionFile, result, options);
  auto printAdvice = [&advice] {
    for (const tabrix::RunAdvice& item : advice)
      std::cerr << "foliowright: " << (item.Warning ? "warning: " : "hint: ") << item.Text << "\n";
  };

  if (!result.Succeeded()) {
    std::cerr << "foliowright: error " << Hex(result.Error.Number) << " (" << result.Error.Source
              << "): " << result.Error.Description << "\n";
    printAdvice();
    std::error_code error;
    if (!result.LogPath.empty() && std::filesystem::is_regular_file(result.LogPath, error))
      std::cerr << "foliowright: see the run log " << result.LogPath << "\n";
    return kExitNoReport;
  }

  const std::size_t failures = ReportStatementFailures(result);
  if (failures == 0 && result.UnclosedCommentLine > 0)
    std::cerr << "foliowright: the comment opened with \"/*\" on line " << result.UnclosedCommentLine
              << " is never closed: the rest of the script was ignored\n";
  printAdvice();
  if (!arguments.quiet) {
    std::cout << "Report: " << result.ReportPath << "\n"
              << "Log: " << result.LogPath << "\n";
  }
  return failures > 0 || result.UnclosedCommentLine > 0 ? kExitStatementsFailed : kExitOk;
}

}  // namespace

CommandAction DefineRun(CLI::App& app) {
  auto arguments = std::make_shared<RunArguments>();
  auto* quiet = app.add_flag("-q,--quiet", arguments->quiet);
  auto* verbose = app.add_flag("-v,--verbose", arguments->verbose);
  quiet->excludes(verbose);
  app.add_option("--fmtconv", arguments->conversionTable)->check(CLI::ExistingFile);
  app.add_option("-o,--output", arguments->output);
  app.add_option("-t,--type", arguments->type);
  app.add_option("DEFINITION_FILE", arguments->definitionFile);
  app.add_option("PARAM", arguments->parameters)->expected(0, 10);
  return [arguments] { return Run(*arguments); };
}

}  // namespace foliowright
