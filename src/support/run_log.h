// The run log: one line per event, "[YYYYMMDD hh:mm:ss]    text", CR LF line ends, UTF-8.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace tabrix {

class RunLog {
 public:
  // Creates (or replaces) the log file; raises an AutomationError when it cannot be created.
  static std::unique_ptr<RunLog> Create(const std::string& path);
  ~RunLog();

  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  void WriteLine(const std::string& text);
  // "Error: <message>", then "Error Info: <information>" when information is not empty.
  void WriteErrorEntry(const std::string& message, const std::string& information = "");
  // The lead line unchanged, then the error entry.
  void WriteErrorEntryWithLead(const std::string& lead, const std::string& message,
                               const std::string& information = "");
  void Close();

  // Called with every line written (without prefix), for a program that echoes the log.
  void SetEcho(std::function<void(const std::string&)> echo) { echo_ = std::move(echo); }

  // "[YYYYMMDD hh:mm:ss]    " for the current local time.
  static std::string LinePrefix();

 private:
  explicit RunLog(std::FILE* file) : file_(file) {}
  std::FILE* file_;
  std::function<void(const std::string&)> echo_;
};

}  // namespace tabrix
