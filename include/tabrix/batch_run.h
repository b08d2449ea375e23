// Running many reports in one process: a manifest of report lines, worker threads that share the
// parsed templates and keep connections open between their reports, a status file of one JSON
// line per finished report, resuming, and shards for spreading a manifest over several machines.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tabrix/report_run.h"

namespace tabrix {

// A report line of a manifest.
struct BatchEntry {
  int Line = 0;                         // 1-based line of the manifest file
  std::string Definition;               // absolute path
  std::vector<std::string> Parameters;  // at most ten
  std::string Output, Type;             // the "output" and "type" columns; empty: the definition's
};

// A manifest that cannot be read; what() names the file and line.
class BatchManifestError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads a manifest: tab-separated, one report per line, the definition file first, then up to
// ten parameter values. Blank lines and lines starting with "#" are skipped. A first line whose
// first column is "definition" is a header: its columns named "output" and "type" hold the
// report file and type of each line (as RunOptions::ReportFile / ReportFileType), the other
// columns after the first are parameters. Relative definition paths are taken against the
// manifest's folder. Raises BatchManifestError.
std::vector<BatchEntry> ReadBatchManifest(const std::string& manifestFile);

// Which part of a manifest a process runs: the report lines whose index (0-based, counting
// report lines only) modulo Count is Index.
struct BatchShard {
  int Index = 0, Count = 1;
};

// "K/N" with 0 <= K < N; nullopt for any other text.
std::optional<BatchShard> ParseBatchShard(const std::string& text);

// The shard a cluster scheduler gives this process: SLURM_ARRAY_TASK_ID (less
// SLURM_ARRAY_TASK_MIN) of SLURM_ARRAY_TASK_COUNT for a Slurm job array; with `shards` > 0,
// JOB_COMPLETION_INDEX (a Kubernetes Indexed Job) of `shards`. nullopt when the environment
// names none; raises BatchManifestError for values that do not fit.
std::optional<BatchShard> BatchShardFromEnvironment(int shards);

// How a finished report ended; the numbers are foliowright's exit statuses.
enum class BatchOutcome : int {
  Saved = 0,                  // saved, every statement succeeded
  NotSaved = 1,               // the run ended early
  SavedWithFailures = 3,      // saved, some statements failed or did not run
};

struct BatchReport {
  const BatchEntry* Entry = nullptr;
  std::vector<std::string> Parameters;  // as run: missing values filled from the definition's defaults
  RunResult Result;
  BatchOutcome Outcome = BatchOutcome::NotSaved;
  std::vector<std::string> FailedStatements;  // "name: error 0x...: text" / "name (line N): not run: ..."
  double Seconds = 0;
  int Finished = 0, ToRun = 0;  // reports of this batch finished so far (this one included), and in all
};

struct BatchOptions {
  // Worker threads; 0: the number of cores.
  int Workers = 0;
  // The settings every report runs with (conversion table, converter, log echo ...). Report file
  // and type come from the manifest line; Events are not delivered. Application null: one
  // engine application for the batch that keeps templates parsed; a given one must open
  // workbooks on several threads at once.
  RunOptions Run;
  // Appends one JSON line per finished report (see BatchStatusLine); empty: none.
  std::string StatusFile;
  // Skips the lines the status file records as saved (outcome 0 or 3).
  bool Resume = false;
  BatchShard Shard;
  // Called after each finished report, on the worker's thread, one call at a time.
  std::function<void(const BatchReport&)> OnReport;
};

struct BatchSummary {
  int Lines = 0;      // report lines of this shard
  int Resumed = 0;    // skipped: saved by an earlier batch
  int Saved = 0, SavedWithFailures = 0, NotSaved = 0;
  double Seconds = 0;
  // 0 every report saved cleanly, 3 some saved with failed statements, 1 some not saved.
  int ExitStatus() const { return NotSaved > 0 ? 1 : SavedWithFailures > 0 ? 3 : 0; }
};

// Runs the entries of `options.Shard` on worker threads. Reports that use the same template
// file (same path, modification time and size) read and parse it once; a worker keeps its
// connections open for its next report with the same connection string and closes them at the
// end (passwords wiped). Raises BatchManifestError for a status file that cannot be written.
BatchSummary RunBatch(const std::vector<BatchEntry>& entries, const BatchOptions& options);

// The status line of a finished report: {"line":N,"definition":...,"parameters":[...],
// "report":...,"log":...,"outcome":0|1|3,"failed_statements":[...],"error":...,"seconds":S}.
std::string BatchStatusLine(const BatchReport& report);

}  // namespace tabrix
