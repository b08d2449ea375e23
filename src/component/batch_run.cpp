// Running the reports of a manifest on worker threads (see batch_run.h): the shard's lines less
// the ones resumed, one shared engine application that keeps templates parsed, a connection cache
// per worker, and the status file written line by line under a lock.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "component/batch_status.h"
#include "tabrix/batch_run.h"
#include "tabrix/error.h"
#include "tabrix/office_converter.h"

namespace tabrix {
namespace {

// The engine application every worker opens its templates with: each template is read once.
// Unless the host gives a converter, the batch keeps one LibreOffice process per worker (at most
// one per core) up for its conversions; they start only when a report needs one.
ApplicationPtr SharedApplication(const RunOptions& base, std::size_t workers) {
  if (base.Application) return base.Application;
  platform::ApplicationSettings settings;
  settings.Recalculate = base.Recalculate;
  settings.ConverterProgram = base.ConverterProgram;
  settings.ConverterTimeoutSeconds = base.ConverterTimeoutSeconds;
  settings.Converter = base.Converter;
  if (!settings.Converter) {
    const std::size_t processes = std::min<std::size_t>(workers, std::max(1u, std::thread::hardware_concurrency()));
    settings.Converter = OfficeConverter::Create(base.ConverterProgram,
                                                 std::chrono::seconds(base.ConverterTimeoutSeconds),
                                                 static_cast<int>(processes));
  }
  settings.ShareOpenedPackages = true;
  return platform::CreateSpreadsheetApplication(settings);
}

// The options one report of the batch runs with: every report's options are made here.
RunOptions ReportOptions(const RunOptions& base, const BatchEntry& entry, const ApplicationPtr& application,
                         ConnectionCache& connections) {
  RunOptions options = base;
  options.Events = nullptr;
  options.Application = application;
  options.Connections = &connections;
  options.ReportFile = entry.Output;
  options.ReportFileType = entry.Type;
  return options;
}

// The entry's parameters with the definition's defaults for those not given; a message when
// there are more values than parameters.
std::string CompleteParameters(const BatchEntry& entry, std::vector<std::string>& parameters) {
  parameters = entry.Parameters;
  std::vector<DefinitionParameter> declared;
  try {
    declared = ReadDefinitionParameters(entry.Definition);
  } catch (...) {
    return "";  // the run reports a definition file it cannot read
  }
  if (parameters.size() > declared.size())
    return entry.Definition + " has " + std::to_string(declared.size()) + " parameters, but " +
           std::to_string(parameters.size()) + " values were given";
  for (std::size_t i = parameters.size(); i < declared.size(); ++i) parameters.push_back(declared[i].Default);
  return "";
}

BatchReport RunEntry(const BatchEntry& entry, const RunOptions& options) {
  const auto start = std::chrono::steady_clock::now();
  BatchReport report;
  report.Entry = &entry;
  const std::string usage = CompleteParameters(entry, report.Parameters);
  if (!usage.empty())
    report.Result.Error = ErrObject{5, kProductName, usage};  // invalid procedure call or argument
  else
    report.Result = RunReport(entry.Definition, report.Parameters, options);
  for (const StatementOutcome& outcome : report.Result.Statements)
    if (outcome.Error.Number != 0)
      report.FailedStatements.push_back(outcome.Name + ": error " + AutomationError(outcome.Error.Number, "", "").HexNumber() +
                                        ": " + outcome.Error.Description);
  for (const SkippedStatement& skipped : report.Result.Skipped)
    report.FailedStatements.push_back(skipped.Name + " (line " + std::to_string(skipped.Line) + "): not run: " + skipped.Reason);
  if (!report.Result.Succeeded())
    report.Outcome = BatchOutcome::NotSaved;
  else if (!report.FailedStatements.empty() || report.Result.UnclosedCommentLine > 0)
    report.Outcome = BatchOutcome::SavedWithFailures;
  else
    report.Outcome = BatchOutcome::Saved;
  report.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return report;
}

bool RecordedAsSaved(const BatchEntry& entry, const std::vector<StatusRecord>& records) {
  for (const StatusRecord& record : records) {
    if (record.Line != entry.Line || record.Definition != entry.Definition) continue;
    if (record.Outcome != static_cast<int>(BatchOutcome::Saved) &&
        record.Outcome != static_cast<int>(BatchOutcome::SavedWithFailures))
      continue;
    // The status holds the values as run: the line's own, then the defaults.
    if (record.Parameters.size() >= entry.Parameters.size() &&
        std::equal(entry.Parameters.begin(), entry.Parameters.end(), record.Parameters.begin()))
      return true;
  }
  return false;
}

// The status file, appended one whole line per write so that readers (and other shards writing
// the same file) never see half a line.
class StatusFile {
 public:
  explicit StatusFile(const std::string& path) {
    if (path.empty()) return;
    descriptor_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (descriptor_ < 0)
      throw BatchManifestError(path + ": cannot write the status file (" + std::strerror(errno) + ")");
  }
  ~StatusFile() {
    if (descriptor_ >= 0) ::close(descriptor_);
  }
  StatusFile(const StatusFile&) = delete;
  StatusFile& operator=(const StatusFile&) = delete;

  void Append(std::string line) {
    if (descriptor_ < 0) return;
    line += '\n';
    std::size_t written = 0;
    while (written < line.size()) {
      const ssize_t n = ::write(descriptor_, line.data() + written, line.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;  // a full disk loses status lines, not reports
      written += static_cast<std::size_t>(n);
    }
  }

 private:
  int descriptor_ = -1;
};

}  // namespace

BatchSummary RunBatch(const std::vector<BatchEntry>& entries, const BatchOptions& options) {
  const auto start = std::chrono::steady_clock::now();
  BatchSummary summary;
  const BatchShard shard = options.Shard.Count > 0 ? options.Shard : BatchShard{};
  const std::vector<StatusRecord> records =
      options.Resume && !options.StatusFile.empty() ? ReadStatusFile(options.StatusFile) : std::vector<StatusRecord>();
  std::vector<const BatchEntry*> todo;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (static_cast<int>(i % static_cast<std::size_t>(shard.Count)) != shard.Index) continue;
    ++summary.Lines;
    if (options.Resume && RecordedAsSaved(entries[i], records))
      ++summary.Resumed;
    else
      todo.push_back(&entries[i]);
  }

  StatusFile status(options.StatusFile);
  std::size_t workers = options.Workers > 0 ? static_cast<std::size_t>(options.Workers)
                                            : std::max(1u, std::thread::hardware_concurrency());
  workers = std::max<std::size_t>(1, std::min(workers, todo.size()));
  const ApplicationPtr application = SharedApplication(options.Run, workers);
  std::mutex finished;
  int finishedCount = 0;
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    ConnectionCache connections;
    for (std::size_t i = next++; i < todo.size(); i = next++) {
      const BatchEntry& entry = *todo[i];
      BatchReport report;
      try {
        report = RunEntry(entry, ReportOptions(options.Run, entry, application, connections));
      } catch (...) {
        const AutomationError error = ToAutomationError(std::current_exception());
        report.Entry = &entry;
        report.Result.Error = ErrObject{error.Number(), error.Source(), error.Description()};
      }
      std::lock_guard lock(finished);
      report.Finished = ++finishedCount;
      report.ToRun = static_cast<int>(todo.size());
      (report.Outcome == BatchOutcome::Saved               ? summary.Saved
       : report.Outcome == BatchOutcome::SavedWithFailures ? summary.SavedWithFailures
                                                           : summary.NotSaved)++;
      status.Append(BatchStatusLine(report));
      if (options.OnReport) {
        try {
          options.OnReport(report);
        } catch (...) {
        }
      }
    }
  };

  std::vector<std::thread> threads;
  for (std::size_t i = 1; i < workers; ++i) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();
  summary.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return summary;
}

}  // namespace tabrix
