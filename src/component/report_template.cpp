// Checking that the report can be saved and opening the template of a run (see report_template.h).
#include "component/report_template.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "component/report_saving.h"
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

// Makes sure the report can be saved later without touching an existing report: the folder
// exists and takes a new file (a probe file is created and removed), and an existing report is
// a file whose read-only attribute is not set and that this process may write.
void CheckReportWritable(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) RaiseFileError(EISDIR);
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
      throw AutomationError(70, kProductName, "Permission denied (the existing report file is read-only)");
    // Another user's report that this one may not write is not replaced either.
    if (::access(path.c_str(), W_OK) != 0) RaiseFileError(errno);
  }
  const std::string probe = ReportTemporaryName(path);
  const int descriptor = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (descriptor < 0) RaiseFileError(errno);
  ::close(descriptor);
  ::unlink(probe.c_str());
}

}  // namespace

bool OpenTemplate(RunContext& run, const ApplicationPtr& application) {
  const std::string reportPath = run.ReportPath;
  try {
    const std::string folder = FolderPart(reportPath);
    if (!folder.empty()) MakeFolderChain(folder);
    // The report itself is written at the end (see SaveReport); an existing one stays as it is
    // until then. The log keeps its usual line for this step.
    CheckReportWritable(reportPath);
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
