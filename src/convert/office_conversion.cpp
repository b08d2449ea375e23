// LibreOffice conversions: the format tables, one bounded headless run per conversion in a
// private folder (or a long-lived OfficeConverter when one is set), and the engine's open and
// save hooks.
#include "convert/office_conversion.h"

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "convert/office_support.h"
#include "tabrix/office_converter.h"
#include "xlsx/engine_errors.h"
#include "xlsx/formula_recalculation.h"
#include "xlsx/xlsx_workbook.h"

namespace tabrix::xlsx {

namespace fs = std::filesystem;

namespace {

constexpr OfficeFormat kXls{56, "xls", "MS Excel 97", "Excel 97-2003 Workbook"};
constexpr OfficeFormat kXlsNormal{-4143, "xls", "MS Excel 97", "Excel Workbook (normal)"};
constexpr OfficeFormat kXlt{17, "xlt", "MS Excel 97 Vorlage/Template", "Excel 97-2003 Template"};
constexpr OfficeFormat kOds{60, "ods", "calc8", "OpenDocument Spreadsheet"};
constexpr OfficeFormat kPdf{57, "pdf", "calc_pdf_Export", "PDF"};
constexpr OfficeFormat kHtml{44, "html", "HTML (StarCalc)", "Web Page"};
constexpr OfficeFormat kSylk{2, "slk", "SYLK", "SYLK (Symbolic Link)"};
constexpr OfficeFormat kDif{9, "dif", "DIF", "DIF (Data Interchange Format)"};
// LibreOffice reads the binary Open XML format but has no filter that writes it.
constexpr OfficeFormat kXlsb{50, "xlsb", "", "Excel Binary Workbook"};

// The filter that writes the engine's own format, for templates.
constexpr const char* kOpenXmlExtension = "xlsx";
constexpr const char* kOpenXmlFilter = "Calc MS Excel 2007 XML";

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

struct ProcessOutcome {
  bool timedOut = false;
  bool exited = false;   // ended by itself (exitCode or signal below is valid)
  int exitCode = 0;
  int signal = 0;
};

// Waits for the process without reaping it (its process group stays reserved meanwhile).
// True when it has ended.
bool HasEnded(pid_t pid, bool& lost) {
  while (true) {
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0) return info.si_pid == pid;
    if (errno == EINTR) continue;
    lost = true;  // reaped elsewhere (SIGCHLD ignored by the host): nothing left to wait for
    return true;
  }
}

bool WaitUntilEnded(pid_t pid, std::chrono::steady_clock::time_point deadline, bool& lost) {
  auto pause = std::chrono::milliseconds(5);
  while (!HasEnded(pid, lost)) {
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
    pause = std::min(pause * 2, std::chrono::milliseconds(100));
  }
  return true;
}

// Runs `arguments` in a new process group, stdin from /dev/null, stdout and stderr into
// `outputFile`. A run that outlasts `timeout` is stopped with its whole group; whatever the
// program left running in its group is stopped when it ends.
ProcessOutcome RunBounded(const std::vector<std::string>& arguments, const std::string& outputFile,
                          std::chrono::milliseconds timeout) {
  const pid_t pid = SpawnGroupLeader(arguments, -1, outputFile);
  ProcessOutcome outcome;
  bool lost = false;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  if (!WaitUntilEnded(pid, deadline, lost)) {
    outcome.timedOut = true;
    ::kill(-pid, SIGTERM);
    WaitUntilEnded(pid, std::chrono::steady_clock::now() + std::chrono::seconds(2), lost);
  }
  if (lost) return outcome;
  const int status = KillGroupAndReap(pid);
  if (!outcome.timedOut) {
    outcome.exited = true;
    if (WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
  }
  return outcome;
}

// The first bytes of a file.
std::string FileStart(const std::string& path, std::size_t count) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(count, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return bytes;
}

// Whether the file's first bytes fit the format, so that a damaged or mistaken file is
// reported instead of being read as plain text.
bool LooksLike(const std::string& path, const OfficeFormat& format) {
  std::string start = FileStart(path, 8);
  const bool zip = start.rfind("PK\x03\x04", 0) == 0;
  const bool compound = start == std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
  // Excel 2.x to 4.x files are a bare record stream opening with a BOF record.
  const bool bareBiff = start.size() >= 2 && start[0] == '\x09' &&
                        (start[1] == '\x00' || start[1] == '\x02' || start[1] == '\x04');
  switch (format.fileFormat) {
    case 56: case 17: return compound || bareBiff || zip;
    case 60: case 50: return zip;
    case 2: return start.rfind("ID;", 0) == 0;
    case 9: return Lower(start).rfind("table", 0) == 0;
    default: return true;
  }
}

}  // namespace

const OfficeFormat* OfficeTemplateFormat(std::string_view extension) {
  std::string lower = Lower(extension);
  if (lower == ".xls") return &kXls;
  if (lower == ".xlt") return &kXlt;
  if (lower == ".ods") return &kOds;
  if (lower == ".xlsb") return &kXlsb;
  if (lower == ".slk") return &kSylk;
  if (lower == ".dif") return &kDif;
  return nullptr;
}

const OfficeFormat* OfficeSaveFormat(std::int32_t fileFormat) {
  for (const OfficeFormat* format : {&kXls, &kXlsNormal, &kXlt, &kOds, &kPdf, &kHtml, &kSylk, &kDif, &kXlsb})
    if (format->fileFormat == fileFormat) return format;
  return nullptr;
}

void ConvertWithOffice(const std::string& input, const std::string& targetExtension,
                       const std::string& filter, const std::string& output,
                       const OfficeConverterSettings& settings) {
  if (settings.converter) {
    settings.converter->Convert(input, targetExtension, filter, output);
    return;
  }
  const std::string program = RequireOfficeProgram(settings);
  const std::chrono::milliseconds timeout = EffectiveTimeout(settings);
  ConversionFolder folder(input);
  const fs::path profile = folder.work.Path() / "profile";
  PrepareProfile(profile);

  const fs::path log = folder.work.Path() / "converter-output.txt";
  ProcessOutcome outcome = RunBounded(
      {program, "-env:UserInstallation=" + FileUrl(profile), "--headless", "--invisible", "--nocrashreport",
       "--nodefault", "--nolockcheck", "--nologo", "--norestore", "--convert-to", targetExtension + ":" + filter,
       "--outdir", folder.outFolder.string(), folder.source.string()},
      log.string(), timeout);

  if (outcome.timedOut)
    RaiseEngineError("LibreOffice did not finish the conversion to " + targetExtension + " within " +
                     SecondsText(timeout) + " seconds and was stopped");
  const fs::path produced = folder.Produced(targetExtension);
  std::error_code error;
  if (!fs::is_regular_file(produced, error) || (outcome.exited && outcome.exitCode != 0) || outcome.signal != 0) {
    std::string how;
    if (outcome.signal != 0)
      how = " (it ended on signal " + std::to_string(outcome.signal) + ")";
    else if (outcome.exitCode != 0)
      how = " (exit code " + std::to_string(outcome.exitCode) + ")";
    std::string said = OutputSummary(log);
    RaiseEngineError("LibreOffice did not convert the file to " + targetExtension + " with the filter \"" + filter +
                     "\"" + how + (said.empty() ? ": it gave no message" : ": " + said));
  }
  PlaceResult(produced, output);
}

OfficeConverterSettings ConverterSettingsOf(const XlsxWorkbook& book) {
  const platform::ApplicationSettings& application = book.Settings();
  OfficeConverterSettings settings;
  settings.program = application.ConverterProgram;
  settings.converter = application.Converter;
  if (application.ConverterTimeoutSeconds > 0) settings.timeout = std::chrono::seconds(application.ConverterTimeoutSeconds);
  return settings;
}

PackageParts ReadOfficeTemplate(const std::string& path, const OfficeFormat& format,
                                const OfficeConverterSettings& settings) {
  if (!LooksLike(path, format)) RaiseOpenFailed(path, std::string("it is not an ") + format.description + " file");
  PrivateFolder folder("tabrix-template");
  const std::string converted = (folder.Path() / "template.xlsx").string();
  try {
    ConvertWithOffice(path, kOpenXmlExtension, kOpenXmlFilter, converted, settings);
  } catch (const AutomationError& e) {
    RaiseOpenFailed(path, std::string("the ") + format.description + " file could not be converted to Open XML: " +
                              e.Description());
  }
  return ReadZipFile(converted);
}

void SaveThroughOffice(XlsxWorkbook& book, const std::string& target, const OfficeFormat& format) {
  const std::string failed = "Method 'SaveAs' of object '_Workbook' failed: the workbook cannot be saved as " +
                             std::string(format.description) + " (" + std::to_string(format.fileFormat) + "): ";
  if (!*format.filter) RaiseEngineError(failed + "LibreOffice has no filter that writes this format.");
  PrivateFolder folder("tabrix-report");
  // A workbook with macros keeps them on the way through.
  const std::int32_t packageFormat =
      book.FileFormat() == kFormatXlsm || book.FileFormat() == kFormatXltm ? kFormatXlsm : kFormatXlsx;
  const std::string openXml = (folder.Path() / (packageFormat == kFormatXlsm ? "report.xlsm" : "report.xlsx")).string();
  try {
    RecalculateFormulas(book);
    book.WritePackage(openXml, packageFormat);
  } catch (const AutomationError&) {
    throw;
  } catch (const std::exception& e) {
    RaiseEngineError(failed + e.what() + ".");
  }
  try {
    ConvertWithOffice(openXml, format.extension, format.filter, target, ConverterSettingsOf(book));
  } catch (const AutomationError& e) {
    RaiseEngineError(failed + e.Description() + ".");
  }
}

}  // namespace tabrix::xlsx
