// foliowright batch: runs every report of a manifest in one process on worker threads, with a
// status file, resuming and shards (the work itself is tabrix::RunBatch, see batch_run.h).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "commands.h"
#include "tabrix/batch_run.h"

namespace foliowright {
namespace {

const char* const kHelp =
    "Usage: foliowright batch [OPTIONS] MANIFEST\n"
    "\n"
    "Runs every report MANIFEST lists, on several threads of one process. The manifest is a\n"
    "tab-separated text file, one report per line: the definition file (relative to the\n"
    "manifest's folder), then up to ten parameter values. Blank lines and lines starting with\n"
    "\"#\" are skipped. A first line starting with the column name \"definition\" is a header: its\n"
    "columns named \"output\" and \"type\" give each line's report file (relative to the manifest's\n"
    "folder) and format, as --output and --type do for one report; its other columns are\n"
    "parameters. Parameters a line leaves out take the definition's defaults.\n"
    "\n"
    "Reports that use the same template read it once; reports of one thread that connect with\n"
    "the same connection string share the connection. Each report writes its own run log; give\n"
    "every line its own report and log file (name them after a parameter, or use the output\n"
    "column).\n"
    "\n"
    "Options:\n"
    "  -j, --jobs N        worker threads (default: the number of cores)\n"
    "  --status FILE       append one JSON line per finished report to FILE: line, definition,\n"
    "                      parameters, report, log, outcome (0, 3 or 1 as the exit status of a\n"
    "                      single report), failed_statements, error, seconds\n"
    "  --resume            skip the lines the status file records as saved (outcome 0 or 3)\n"
    "  --shard K/N         run only the report lines whose index (0-based, counting report lines)\n"
    "                      modulo N is K. Without it, a Slurm array task takes K and N from\n"
    "                      SLURM_ARRAY_TASK_ID and SLURM_ARRAY_TASK_COUNT\n"
    "  --shards N          with JOB_COMPLETION_INDEX as K (Kubernetes Indexed Jobs)\n"
    "  --fmtconv FILE      format-conversion table instead of the fmtconv.cfg of the program\n"
    "  -q, --quiet         no progress line, no line per report that was not saved\n"
    "  -h, --help          show this help\n"
    "\n"
    "Exit status:\n"
    "  0  every report was saved and all their statements succeeded\n"
    "  1  some reports were not saved (each one named on stderr, details in the status file)\n"
    "  2  usage error, or a manifest or status file that cannot be read or written\n"
    "  3  every report was saved, but some with failed statements\n"
    "A one-line summary goes to stderr at the end; on a terminal a progress line shows before.\n";

struct BatchArguments {
  std::string manifest, status, shard, conversionTable;
  int jobs = 0, shards = 0;
  bool resume = false, quiet = false;
};

int RunBatchCommand(const BatchArguments& arguments) {
  auto usage = [](const std::string& message) {
    std::cerr << "foliowright batch: " << message << " (see foliowright batch --help)\n";
    return kExitUsage;
  };
  if (arguments.resume && arguments.status.empty()) return usage("--resume needs --status FILE");
  tabrix::BatchOptions options;
  options.Workers = arguments.jobs;
  options.StatusFile = arguments.status;
  options.Resume = arguments.resume;
  options.Run.ConversionTable = arguments.conversionTable;
  std::vector<tabrix::BatchEntry> entries;
  try {
    if (!arguments.shard.empty()) {
      const std::optional<tabrix::BatchShard> shard = tabrix::ParseBatchShard(arguments.shard);
      if (!shard) return usage("--shard wants K/N with 0 <= K < N, not \"" + arguments.shard + "\"");
      options.Shard = *shard;
    } else if (const std::optional<tabrix::BatchShard> shard = tabrix::BatchShardFromEnvironment(arguments.shards)) {
      options.Shard = *shard;
    }
    entries = tabrix::ReadBatchManifest(arguments.manifest);
  } catch (const tabrix::BatchManifestError& error) {
    std::cerr << "foliowright batch: " << error.what() << "\n";
    return kExitUsage;
  }

  const bool terminal = !arguments.quiet && ::isatty(STDERR_FILENO);
  auto lastShown = std::chrono::steady_clock::time_point{};
  options.OnReport = [&](const tabrix::BatchReport& report) {
    if (report.Outcome == tabrix::BatchOutcome::NotSaved && !arguments.quiet) {
      if (terminal) std::fputs("\r\033[K", stderr);
      std::fprintf(stderr, "foliowright batch: line %d (%s): not saved: %s\n", report.Entry->Line,
                   report.Entry->Definition.c_str(), report.Result.Error.Description.c_str());
    }
    const auto now = std::chrono::steady_clock::now();
    if (!terminal || (now - lastShown < std::chrono::milliseconds(200) && report.Finished < report.ToRun)) return;
    lastShown = now;
    std::fprintf(stderr, "\r\033[K%d of %d reports done", report.Finished, report.ToRun);
    std::fflush(stderr);
  };

  tabrix::BatchSummary summary;
  try {
    summary = tabrix::RunBatch(entries, options);
  } catch (const tabrix::BatchManifestError& error) {
    std::cerr << "foliowright batch: " << error.what() << "\n";
    return kExitUsage;
  }
  if (terminal) std::fputs("\r\033[K", stderr);
  const int ran = summary.Saved + summary.SavedWithFailures + summary.NotSaved;
  std::fprintf(stderr,
               "foliowright batch: %d of %d reports saved (%d with failed statements), %d not saved, %d "
               "resumed; %.1f s, %.1f reports/s\n",
               summary.Saved + summary.SavedWithFailures, ran, summary.SavedWithFailures, summary.NotSaved,
               summary.Resumed, summary.Seconds, summary.Seconds > 0 ? ran / summary.Seconds : 0.0);
  return summary.ExitStatus();
}

}  // namespace

SubCommand BatchCommand() {
  SubCommand command;
  command.name = "batch";
  command.summary = "run every report of a manifest on several threads";
  command.help = kHelp;
  command.define = [](CLI::App& app) -> CommandAction {
    auto arguments = std::make_shared<BatchArguments>();
    app.add_option("-j,--jobs", arguments->jobs)->check(CLI::PositiveNumber);
    app.add_option("--status", arguments->status);
    app.add_flag("--resume", arguments->resume);
    auto* shard = app.add_option("--shard", arguments->shard);
    app.add_option("--shards", arguments->shards)->check(CLI::PositiveNumber)->excludes(shard);
    app.add_option("--fmtconv", arguments->conversionTable)->check(CLI::ExistingFile);
    app.add_flag("-q,--quiet", arguments->quiet);
    app.add_option("MANIFEST", arguments->manifest)->required();
    return [arguments] { return RunBatchCommand(*arguments); };
  };
  return command;
}

}  // namespace foliowright
