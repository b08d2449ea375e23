// Saving the report workbook of a run (see report_saving.h).
#include "component/report_saving.h"

#include <algorithm>
#include <array>
#include <cstdio>
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

}  // namespace

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
  std::remove(reportPath.c_str());
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
  try {
    if (!workbook) throw AutomationError(91, kProductName, "Object variable or With block variable not set");
    workbook->SaveAs(reportPath, withFormat ? std::optional<std::int32_t>(conversion->FileFormat) : std::nullopt,
                     platform::kAccessModeNoChange);
  } catch (...) {
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
