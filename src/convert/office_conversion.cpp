// LibreOffice conversions: the format tables, the converter lookup, one bounded headless run per
// conversion in a private folder, and the engine's open and save hooks.
#include "convert/office_conversion.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "xlsx/engine_errors.h"
#include "xlsx/formula_recalculation.h"
#include "xlsx/xlsx_workbook.h"

extern char** environ;

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

constexpr const char* kStandardPrograms[] = {"/usr/bin/soffice", "/usr/lib/libreoffice/program/soffice"};

// Longest part of LibreOffice's output kept in a message.
constexpr std::size_t kMaxReportedOutput = 1500;

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool IsRunnableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The first runnable `name` in the folders of PATH.
std::string SearchPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (!path) return {};
  std::string_view folders(path);
  while (true) {
    std::size_t colon = folders.find(':');
    std::string folder(folders.substr(0, colon));
    std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
    if (IsRunnableFile(candidate)) return candidate;
    if (colon == std::string_view::npos) return {};
    folders.remove_prefix(colon + 1);
  }
}

std::string ResolveProgram(const std::string& program) {
  if (program.find('/') != std::string::npos) return IsRunnableFile(program) ? program : std::string();
  return SearchPath(program);
}

std::string RequestedProgram(const OfficeConverterSettings& settings) {
  if (!settings.program.empty()) return settings.program;
  const char* variable = std::getenv("TABRIX_OFFICE_PROGRAM");
  return variable && *variable ? std::string(variable) : std::string();
}

std::chrono::milliseconds EffectiveTimeout(const OfficeConverterSettings& settings) {
  if (settings.timeout.count() > 0) return settings.timeout;
  if (const char* variable = std::getenv("TABRIX_OFFICE_TIMEOUT")) {
    char* end = nullptr;
    double seconds = std::strtod(variable, &end);
    if (end != variable && seconds > 0 && seconds < 1e6)
      return std::chrono::milliseconds(static_cast<std::int64_t>(seconds * 1000));
  }
  return kDefaultOfficeTimeout;
}

std::string SecondsText(std::chrono::milliseconds duration) {
  auto ms = duration.count();
  if (ms % 1000 == 0) return std::to_string(ms / 1000);
  std::string text = std::to_string(ms / 1000) + "." + std::to_string(1000 + ms % 1000).substr(1);
  while (text.back() == '0') text.pop_back();
  return text;
}

// A folder of its own under the system's temporary folder, removed with its contents.
class PrivateFolder {
 public:
  explicit PrivateFolder(const char* tag) {
    std::error_code error;
    fs::path base = fs::temp_directory_path(error);
    if (error) base = "/tmp";
    std::string pattern = (base / (std::string(tag) + "-XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data()))
      RaiseEngineError("a private temporary folder cannot be created in \"" + base.string() +
                       "\": " + std::strerror(errno));
    path_ = buffer.data();
  }
  ~PrivateFolder() {
    std::error_code error;
    fs::remove_all(path_, error);
  }
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;

  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

// file:// URL of an absolute path, reserved characters percent-encoded.
std::string FileUrl(const fs::path& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : path.string()) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      url.push_back(static_cast<char>(c));
    } else {
      url.push_back('%');
      url.push_back(hex[c >> 4]);
      url.push_back(hex[c & 15]);
    }
  }
  return url;
}

// The throwaway profile: formulas are recalculated when a file is loaded, so the converted file
// shows current results whatever the cached values say.
void PrepareProfile(const fs::path& profile) {
  fs::create_directories(profile / "user");
  std::ofstream out(profile / "user" / "registrymodifications.xcu", std::ios::binary);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
         "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
         "<item oor:path=\"/org.openoffice.Office.Calc/Formula/Load\"><prop oor:name=\"OOXMLRecalcMode\" "
         "oor:op=\"fuse\"><value>0</value></prop></item>\n"
         "<item oor:path=\"/org.openoffice.Office.Calc/Formula/Load\"><prop oor:name=\"ODFRecalcMode\" "
         "oor:op=\"fuse\"><value>0</value></prop></item>\n"
         "</oor:items>\n";
  if (!out) RaiseEngineError("the converter's profile cannot be written in \"" + profile.string() + "\"");
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
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
  sigset_t noSignals, defaultSignals;
  sigemptyset(&noSignals);
  sigemptyset(&defaultSignals);
  for (int s : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD}) sigaddset(&defaultSignals, s);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setsigmask(&attributes, &noSignals);
  posix_spawnattr_setsigdefault(&attributes, &defaultSignals);

  pid_t pid = 0;
  int spawnError = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (spawnError != 0)
    RaiseEngineError("LibreOffice could not be started (\"" + arguments[0] + "\": " + std::strerror(spawnError) + ")");

  ProcessOutcome outcome;
  bool lost = false;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  if (!WaitUntilEnded(pid, deadline, lost)) {
    outcome.timedOut = true;
    ::kill(-pid, SIGTERM);
    WaitUntilEnded(pid, std::chrono::steady_clock::now() + std::chrono::seconds(2), lost);
  }
  if (lost) return outcome;
  // The leader is not reaped yet, so the group id still belongs to this run.
  ::kill(-pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!outcome.timedOut) {
    outcome.exited = true;
    if (WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
  }
  return outcome;
}

// LibreOffice's output as one line: noise about the Java runtime dropped, blanks folded.
std::string OutputSummary(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string summary, line;
  while (std::getline(in, line) && summary.size() < kMaxReportedOutput) {
    if (line.find("javaldx") != std::string::npos) continue;
    std::string folded;
    for (char c : line) {
      bool blank = c == ' ' || c == '\t' || c == '\r';
      if (blank && (folded.empty() || folded.back() == ' ')) continue;
      folded.push_back(blank ? ' ' : c);
    }
    while (!folded.empty() && folded.back() == ' ') folded.pop_back();
    if (folded.empty()) continue;
    if (!summary.empty()) summary += " ";
    summary += folded;
  }
  if (summary.size() > kMaxReportedOutput) summary = summary.substr(0, kMaxReportedOutput) + "...";
  return summary;
}

// Places `produced` at `output` in one rename: directly when both lie on one file system,
// otherwise through a copy beside `output`.
void PlaceResult(const fs::path& produced, const fs::path& output) {
  std::error_code error;
  fs::rename(produced, output, error);
  if (!error) return;
  static std::atomic<unsigned> counter{0};
  fs::path beside = output.parent_path() / ("." + output.filename().string() + ".~tbx" + std::to_string(::getpid()) +
                                            "-" + std::to_string(counter++));
  fs::copy_file(produced, beside, fs::copy_options::overwrite_existing, error);
  if (!error) fs::rename(beside, output, error);
  if (error) {
    std::error_code ignored;
    fs::remove(beside, ignored);
    RaiseEngineError("the converted file cannot be stored as \"" + output.string() + "\": " + error.message());
  }
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

std::string FindOfficeProgram(const OfficeConverterSettings& settings) {
  std::string requested = RequestedProgram(settings);
  if (!requested.empty()) return ResolveProgram(requested);
  if (std::string found = SearchPath("soffice"); !found.empty()) return found;
  for (const char* candidate : kStandardPrograms)
    if (IsRunnableFile(candidate)) return candidate;
  return {};
}

void ConvertWithOffice(const std::string& input, const std::string& targetExtension,
                       const std::string& filter, const std::string& output,
                       const OfficeConverterSettings& settings) {
  std::string program = FindOfficeProgram(settings);
  if (program.empty()) {
    std::string requested = RequestedProgram(settings);
    if (!requested.empty())
      RaiseEngineError("LibreOffice is not available: the converter program \"" + requested +
                       "\" does not exist or cannot be run");
    RaiseEngineError("LibreOffice is not installed (no soffice on the PATH, at " + std::string(kStandardPrograms[0]) +
                     " or at " + kStandardPrograms[1] + ")");
  }
  const std::chrono::milliseconds timeout = EffectiveTimeout(settings);

  PrivateFolder work("tabrix-office");
  const fs::path profile = work.Path() / "profile";
  const fs::path inFolder = work.Path() / "in";
  const fs::path outFolder = work.Path() / "out";
  std::error_code error;
  fs::create_directory(inFolder, error);
  if (!error) fs::create_directory(outFolder, error);
  if (error) RaiseEngineError("the conversion folder cannot be prepared: " + error.message());
  PrepareProfile(profile);

  // The converter reads a private link or copy, so that nothing (its lock file included) is
  // ever written beside the original.
  const fs::path source = inFolder / ("source" + Lower(fs::path(input).extension().string()));
  fs::create_hard_link(input, source, error);
  if (error) {
    error.clear();
    fs::copy_file(input, source, error);
    if (error) RaiseEngineError("\"" + input + "\" cannot be read for the conversion: " + error.message());
  }

  const fs::path log = work.Path() / "converter-output.txt";
  ProcessOutcome outcome = RunBounded(
      {program, "-env:UserInstallation=" + FileUrl(profile), "--headless", "--invisible", "--nocrashreport",
       "--nodefault", "--nolockcheck", "--nologo", "--norestore", "--convert-to", targetExtension + ":" + filter,
       "--outdir", outFolder.string(), source.string()},
      log.string(), timeout);

  if (outcome.timedOut)
    RaiseEngineError("LibreOffice did not finish the conversion to " + targetExtension + " within " +
                     SecondsText(timeout) + " seconds and was stopped");
  const fs::path produced = outFolder / ("source." + targetExtension);
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
