// Program lookup, private folders, throwaway profiles, process groups and result placement for
// the LibreOffice conversions (office_conversion.cpp, office_converter.cpp).
#include "convert/office_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "xlsx/engine_errors.h"

extern char** environ;

namespace tabrix::xlsx {

namespace fs = std::filesystem;

namespace {

constexpr const char* kStandardPrograms[] = {"/usr/bin/soffice", "/usr/lib/libreoffice/program/soffice"};

// Longest part of LibreOffice's output kept in a message.
constexpr std::size_t kMaxReportedOutput = 1500;

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

std::string RequestedProgram(const OfficeConverterSettings& settings) {
  if (!settings.program.empty()) return settings.program;
  const char* variable = std::getenv("TABRIX_OFFICE_PROGRAM");
  return variable && *variable ? std::string(variable) : std::string();
}

}  // namespace

std::string ResolveProgram(const std::string& program) {
  if (program.find('/') != std::string::npos) return IsRunnableFile(program) ? program : std::string();
  return SearchPath(program);
}

std::string FindOfficeProgram(const OfficeConverterSettings& settings) {
  std::string requested = RequestedProgram(settings);
  if (!requested.empty()) return ResolveProgram(requested);
  if (std::string found = SearchPath("soffice"); !found.empty()) return found;
  for (const char* candidate : kStandardPrograms)
    if (IsRunnableFile(candidate)) return candidate;
  return {};
}

std::string RequireOfficeProgram(const OfficeConverterSettings& settings) {
  std::string program = FindOfficeProgram(settings);
  if (!program.empty()) return program;
  std::string requested = RequestedProgram(settings);
  if (!requested.empty())
    RaiseEngineError("LibreOffice is not available: the converter program \"" + requested +
                     "\" does not exist or cannot be run");
  RaiseEngineError("LibreOffice is not installed (no soffice on the PATH, at " + std::string(kStandardPrograms[0]) +
                   " or at " + kStandardPrograms[1] + ")");
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

PrivateFolder::PrivateFolder(const char* tag) {
  std::error_code error;
  fs::path base = fs::temp_directory_path(error);
  if (error) base = "/tmp";
  std::string pattern = (base / (std::string(tag) + "-XXXXXX")).string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!::mkdtemp(buffer.data()))
    RaiseEngineError("a private temporary folder cannot be created in \"" + base.string() + "\": " +
                     std::strerror(errno));
  path_ = buffer.data();
}

PrivateFolder::~PrivateFolder() {
  std::error_code error;
  fs::remove_all(path_, error);
}

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

// Formulas are recalculated when a file is loaded, so the converted file shows current results
// whatever the cached values say.
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

ConversionFolder::ConversionFolder(const std::string& input) {
  const fs::path inFolder = work.Path() / "in";
  outFolder = work.Path() / "out";
  std::error_code error;
  fs::create_directory(inFolder, error);
  if (!error) fs::create_directory(outFolder, error);
  if (error) RaiseEngineError("the conversion folder cannot be prepared: " + error.message());
  std::string extension = fs::path(input).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  source = inFolder / ("source" + extension);
  fs::create_hard_link(input, source, error);
  if (error) {
    error.clear();
    fs::copy_file(input, source, error);
    if (error) RaiseEngineError("\"" + input + "\" cannot be read for the conversion: " + error.message());
  }
}

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

pid_t SpawnGroupLeader(const std::vector<std::string>& arguments, int ioFd, const std::string& outputFile) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  if (ioFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, ioFd, 0);
    posix_spawn_file_actions_adddup2(&actions, ioFd, 1);
    posix_spawn_file_actions_addopen(&actions, 2, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  }
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
  return pid;
}

int KillGroupAndReap(pid_t pid) {
  // The leader is not reaped yet, so the group id still belongs to it.
  ::kill(-pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

}  // namespace tabrix::xlsx
