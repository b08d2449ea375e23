// Saving the report workbook of a run (see report_saving.h).
#include "component/report_saving.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "component/run_context.h"
#include "definition/conversion_table.h"
#include "support/paths.h"
#include "support/run_log.h"
#include "support/secret_wipe.h"
#include "tabrix/error.h"
#include "tabrix/error_codes.h"

namespace tabrix {
namespace {

constexpr std::array<std::int32_t, 12> kTemplateTextFormats{6, 22, 24, 23, -4158, 19, 21, 36, 20, 42, 9, 2};
constexpr std::array<std::int32_t, 11> kTargetTextFormats{6, 22, 24, 23, -4158, 19, 21, 20, 42, 9, 2};

template <class F>
void IgnoringFailure(F step) {
  try {
    step();
  } catch (...) {
  }
}

// Replaces the report by the complete temporary file in one step.
void MoveIntoPlace(const std::string& temporary, const std::string& reportPath) {
  if (::rename(temporary.c_str(), reportPath.c_str()) != 0)
    throw AutomationError(75, kProductName, std::string("Path/File access error (") + std::strerror(errno) + ")");
}

}  // namespace

std::string ReportTemporaryName(const std::string& reportPath) {
  static std::atomic<unsigned> counter{0};
  const std::string folder = FolderPart(reportPath);
  const std::string name = reportPath.substr(folder.empty() ? 0 : folder.size() + 1);
  const std::size_t dot = name.rfind('.');
  const std::string extension = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
  return (folder.empty() ? "" : folder + "/") + "." + name + ".tabrix-" + std::to_string(::getpid()) + "-" +
         std::to_string(counter++) + extension;
}

bool IsTemplateTextFormat(std::int32_t fileFormat) {
  return std::find(kTemplateTextFormats.begin(), kTemplateTextFormats.end(), fileFormat) !=
         kTemplateTextFormats.end();
}

bool IsTargetTextFormat(std::int32_t fileFormat) {
  return std::find(kTargetTextFormats.begin(), kTargetTextFormats.end(), fileFormat) != kTargetTextFormats.end();
}

bool SaveReport(RunContext& run, const ApplicationPtr& /*application*/) {
  const WorkbookPtr workbook = run.ReportWorkbook;
  const std::string reportPath = run.ReportPath;

  // Preparations: each goes on whatever the one before did.
  const int entry = FindConvEntry(run.ConversionTable, run.ReportFileType);
  const ConvEntry* conversion = entry >= 0 ? &run.ConversionTable[static_cast<std::size_t>(entry)] : nullptr;
  std::optional<std::int32_t> currentFormat;
  IgnoringFailure([&] { currentFormat = workbook->FileFormat(); });
  if (conversion && currentFormat && IsTemplateTextFormat(*currentFormat) &&
      !IsTargetTextFormat(conversion->FileFormat)) {
    IgnoringFailure([&] { workbook->ActiveSheet()->AutoFitColumns(); });
  }
  if (run.ProtectReport) {
    std::string password = run.NoProtectionPassword ? RandomPassword() : run.ProtectionPassword;
    IgnoringFailure([&] {
      for (std::int32_t i = workbook->WorksheetCount(); i >= 1; --i) {
        IgnoringFailure([&] {
          workbook->WorksheetAt(i)->Protect(password.empty() ? std::nullopt : std::optional<std::string>(password));
        });
      }
    });
    IgnoringFailure([&] {
      if (!run.Log) return;
      if (password.empty())
        run.Log->WriteLine("Protect the report file without a password.");
      else
        run.Log->WriteLine("Protect the report file with a password \"" + password + "\".");
    });
    WipeString(password);
  }

  const bool withFormat = conversion && !run.ReportFileType.empty();
  std::string temporary;
  try {
    if (!workbook) throw AutomationError(91, kProductName, "Object variable or With block variable not set");
    temporary = ReportTemporaryName(reportPath);
    workbook->SaveAs(temporary, withFormat ? std::optional<std::int32_t>(conversion->FileFormat) : std::nullopt,
                     platform::kAccessModeNoChange);
    MoveIntoPlace(temporary, reportPath);
  } catch (...) {
    if (!temporary.empty()) ::unlink(temporary.c_str());
    const AutomationError error = ToAutomationError(std::current_exception());
    const std::string message = "Failed to save the report file.";
    const std::string information =
        withFormat ? "Not support the file format: " + conversion->Name + " (" +
                         std::to_string(conversion->FileFormat) + ") - " + conversion->Description + "."
                   : error.Description();
    IgnoringFailure([&] {
      if (!run.Log) return;
      run.Log->WriteErrorEntry(message, information);
    });
    RaiseTabrixError(withFormat ? kErrUnsupportedFormat : kErrSaveReport, message + " " + information);
  }

  try {
    if (run.Log) run.Log->WriteLine("Save the report file \"" + reportPath + "\".");
    if (run.Events) run.Events->ReportComplete(workbook);
  } catch (...) {
    // The report is saved; a log line or a host handler that fails does not undo that.
  }
  return true;
}

}  // namespace tabrix
