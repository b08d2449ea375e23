// foliowright: runs a report from a definition file.
//
//   foliowright [options] DEFINITION_FILE [PARAM1 ... PARAM10]
//   foliowright encode-password --user USER PASSWORD
//   foliowright check DEFINITION_FILE [PARAM1 ... PARAM10] / describe DEFINITION_FILE
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include <filesystem>

#include "tabrix/password.h"
#include "tabrix/report_run.h"
#include "tabrix/tabrix.h"
#include "definition_commands.h"

namespace {

using tabrix::AutomationError;

constexpr int kExitRunFailed = 1;
constexpr int kExitUsage = 2;

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

// Help text with the program's two forms as its usage lines.
class HelpFormatter : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App* app, std::string name) const override {
    if (app->get_parent() != nullptr) return CLI::Formatter::make_usage(app, std::move(name));
    return "Usage: foliowright [OPTIONS] DEFINITION_FILE [PARAM1 ... PARAM10]\n"
           "       foliowright encode-password --user USER PASSWORD\n"
           "       foliowright check DEFINITION_FILE [PARAM1 ... PARAM10]\n"
           "       foliowright describe DEFINITION_FILE\n";
  }
};

void PrintError(const AutomationError& error) {
  std::cerr << "foliowright: error " << error.HexNumber() << " (" << error.Source() << "): "
            << error.Description() << "\n";
}

int RunFromCommandLine(const std::string& definitionFile, const std::vector<std::string>& parameters,
                       const std::string& conversionTable, bool quiet, bool verbose) {
  ProgressDisplay progress(!quiet && ::isatty(STDERR_FILENO));
  tabrix::RunOptions options;
  options.ConversionTable = conversionTable;
  options.Events = &progress;
  if (verbose) {
    options.LogEcho = [&progress](const std::string& line) {
      progress.Clear();
      std::cout << line << std::endl;
    };
  }

  const tabrix::RunResult result = tabrix::RunReport(definitionFile, parameters, options);
  progress.Clear();
  if (!result.Succeeded()) {
    PrintError(AutomationError(result.Error.Number, result.Error.Source, result.Error.Description));
    std::error_code error;
    if (!result.LogPath.empty() && std::filesystem::is_regular_file(result.LogPath, error))
      std::cerr << "foliowright: see the run log " << result.LogPath << "\n";
    return kExitRunFailed;
  }
  if (!quiet) {
    std::cout << "Report: " << result.ReportPath << "\n"
              << "Log: " << result.LogPath << "\n";
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (foliowright::IsDefinitionCommand(argc, argv)) return foliowright::RunDefinitionCommand(argc, argv);
  CLI::App app{"Runs a spreadsheet report from a report definition file.", "foliowright"};
  app.formatter(std::make_shared<HelpFormatter>());
  app.set_version_flag("--version", std::string("foliowright (Tabrix) ") + tabrix::kComponentVersion);
  app.footer(
      "The run log is written where the definition file's LogFileName says (beside the definition\n"
      "file by default). Exit status: 0 success, 1 the run failed (its error on stderr), 2 usage error.");

  std::string definitionFile;
  std::vector<std::string> parameters;
  bool quiet = false;
  bool verbose = false;
  std::string conversionTable;
  app.add_flag("-q,--quiet", quiet, "Show no progress and no summary");
  app.add_flag("-v,--verbose", verbose, "Echo the run log lines on standard output");
  app.add_option("--fmtconv", conversionTable,
                 "Format-conversion table to use instead of the fmtconv.cfg beside the program")
      ->check(CLI::ExistingFile);
  app.add_option("DEFINITION_FILE", definitionFile, "Report definition file");
  app.add_option("PARAM", parameters, "Values of the definition file's parameters 1 to 10, in order")
      ->expected(0, 10);

  CLI::App* encode = app.add_subcommand(
      "encode-password", "Print the encoded form of a data-source password, for definition files with "
                         "EncryptPassword=Y");
  std::string user;
  std::string password;
  encode->add_option("--user", user, "The data source's User value (the key)")->required();
  encode->add_option("PASSWORD", password, "The password")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? 0 : kExitUsage;
  }

  if (encode->parsed()) {
    std::cout << tabrix::EncodePassword(password, user) << "\n";
    return 0;
  }
  if (definitionFile.empty()) {
    std::cerr << "foliowright: a definition file is required\n" << app.help();
    return kExitUsage;
  }
  return RunFromCommandLine(definitionFile, parameters, conversionTable, quiet, verbose);
}
