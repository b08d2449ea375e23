// Creating the report file and opening the template of a run (see report_template.h).
#include "component/report_template.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "component/run_context.h"
#include "support/paths.h"
#include "support/run_log.h"
#include "tabrix/error.h"
#include "tabrix/error_codes.h"

namespace tabrix {
namespace {

// The platform's file errors for a file that cannot be created.
[[noreturn]] void RaiseFileError(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
      throw AutomationError(70, kProductName, "Permission denied");
    case ENOENT:
    case ENOTDIR:
      throw AutomationError(76, kProductName, "Path not found");
    case ENOSPC:
      throw AutomationError(61, kProductName, "Disk full");
    default:
      throw AutomationError(75, kProductName, std::string("Path/File access error (") + std::strerror(error) + ")");
  }
}

void CreateEmptyFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) RaiseFileError(errno);
  std::fclose(file);
}

}  // namespace

bool OpenTemplate(RunContext& run, const ApplicationPtr& application) {
  const std::string reportPath = run.ReportPath;
  try {
    if (FileExists(reportPath) && std::remove(reportPath.c_str()) != 0) RaiseFileError(errno);
    const std::string folder = FolderPart(reportPath);
    if (!folder.empty()) MakeFolderChain(folder);
    CreateEmptyFile(reportPath);
    if (run.Log) run.Log->WriteLine("Create the blank report file \"" + reportPath + "\".");
  } catch (...) {
    const AutomationError error = ToAutomationError(std::current_exception());
    const std::string message = "Failed to create the report file \"" + reportPath + "\".";
    if (run.Log) {
      try {
        run.Log->WriteErrorEntry(message, error.Description());
      } catch (...) {
      }
    }
    RaiseTabrixError(kErrCreateReportFile, message + " " + error.Description());
  }

  const std::string templatePath = run.TemplatePath;
  try {
    if (!application) throw AutomationError(91, kProductName, "Object variable or With block variable not set");
    run.ReportWorkbook = application->OpenWorkbook(templatePath, true);
    if (run.Log) run.Log->WriteLine("Open the template file \"" + templatePath + "\".");
    if (run.Events) run.Events->TemplateOpen(run.ReportWorkbook);
    return true;
  } catch (...) {
    const AutomationError error = ToAutomationError(std::current_exception());
    const std::string message = "Failed to open the template file \"" + templatePath + "\".";
    if (run.Log) {
      try {
        run.Log->WriteErrorEntry(message, error.Description());
      } catch (...) {
      }
    }
    RaiseTabrixError(kErrOpenTemplate, message + error.Description());
  }
}

}  // namespace tabrix
