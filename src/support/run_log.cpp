// The run log file: timestamped lines, error entries, optional echo to the host.
#include "support/run_log.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include "tabrix/error.h"

namespace tabrix {

std::unique_ptr<RunLog> RunLog::Create(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    throw AutomationError(75,  // path/file access error
                          kProductName,
                          "Path/File access error: \"" + path + "\" (" + std::strerror(errno) + ")");
  }
  return std::unique_ptr<RunLog>(new RunLog(file));
}

RunLog::~RunLog() { Close(); }

std::string RunLog::LinePrefix() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "[%Y%m%d %H:%M:%S]    ", &local);
  return buffer;
}

void RunLog::WriteLine(const std::string& text) {
  if (!file_) throw AutomationError(91, kProductName, "The run log is not open.");
  std::string line = LinePrefix() + text + "\r\n";
  if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fflush(file_) != 0)
    throw AutomationError(57, kProductName, "Failed to write the run log.");
  if (echo_) echo_(text);
}

void RunLog::WriteErrorEntry(const std::string& message, const std::string& information) {
  WriteLine("Error: " + message);
  if (!information.empty()) WriteLine("Error Info: " + information);
}

void RunLog::WriteErrorEntryWithLead(const std::string& lead, const std::string& message,
                                     const std::string& information) {
  WriteLine(lead);
  WriteErrorEntry(message, information);
}

void RunLog::Close() {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
}

}  // namespace tabrix
