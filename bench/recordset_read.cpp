// Reading a large query into a recordset: 1,000,000 rows of 8 mixed columns (integers, reals,
// short and medium texts, dates, Booleans, some NULLs) from a SQLite file, through
// Connection/Recordset, against a baseline that only steps the same query with sqlite3_step
// and touches every value. Prints the times, their ratio and the process's peak memory.
//
// Usage: recordset_read [rows] [database file to create or reuse]
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tabrix/platform/database.h"

namespace {

using Clock = std::chrono::steady_clock;
using tabrix::Variant;
namespace platform = tabrix::platform;

const char* kQuery = "SELECT id, name, amount, qty, day, category, flag, note FROM sales";

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU time of the process: on a shared, busy machine closer to what a phase costs than the
// wall-clock time.
double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

long CurrentRssKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return 0;
}

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

bool Run(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::fprintf(stderr, "%s\n", error ? error : "error");
    sqlite3_free(error);
    return false;
  }
  return true;
}

bool MakeDatabase(const std::string& path, long rows) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return false;
  bool ok = Run(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
                    "CREATE TABLE sales (id INTEGER, name TEXT, amount REAL, qty INTEGER, "
                    "day DATE, category TEXT, flag BOOLEAN, note TEXT);") &&
            Run(db, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                        std::to_string(rows) +
                        ") INSERT INTO sales SELECT i, 'Customer ' || (i * 7919 % 100000), "
                        "(i % 10000) * 1.25, i % 97, date('2020-01-01', '+' || (i % 1500) || "
                        "' days'), 'cat' || (i % 12), i % 2, CASE WHEN i % 5 = 0 THEN NULL "
                        "ELSE 'note for row number ' || i END FROM n;");
  sqlite3_close(db);
  return ok;
}

// Steps the query and touches every value as a reader must; returns a checksum.
double Baseline(const std::string& path, long& rows) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, kQuery, -1, &statement, nullptr);
  double checksum = 0;
  rows = 0;
  int columns = sqlite3_column_count(statement);
  while (sqlite3_step(statement) == SQLITE_ROW) {
    for (int i = 0; i < columns; ++i) {
      switch (sqlite3_column_type(statement, i)) {
        case SQLITE_INTEGER: checksum += static_cast<double>(sqlite3_column_int64(statement, i)); break;
        case SQLITE_FLOAT: checksum += sqlite3_column_double(statement, i); break;
        case SQLITE_TEXT:
          checksum += sqlite3_column_text(statement, i)[0];
          checksum += sqlite3_column_bytes(statement, i);
          break;
        default: break;
      }
    }
    ++rows;
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return checksum;
}

}  // namespace

int main(int argc, char** argv) {
  long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  std::string path;
  std::filesystem::path folder;
  if (argc > 2) {
    path = argv[2];
  } else {
    std::string pattern = (std::filesystem::temp_directory_path() / "tabrix-bench-XXXXXX").string();
    folder = mkdtemp(pattern.data());
    path = (folder / "sales.db").string();
  }
  if (!std::filesystem::exists(path)) {
    auto start = Clock::now();
    if (!MakeDatabase(path, rows)) return 1;
    std::printf("created %s with %ld rows in %.2f s\n", path.c_str(), rows, Seconds(start));
  }

  long startRss = CurrentRssKb();
  double bestBaseline = 1e9, bestOpen = 1e9, bestWalk = 1e9;
  double cpuBaseline = 1e9, cpuOpen = 1e9, cpuWalk = 1e9;
  long baselineRows = 0, recordRows = 0, heldRss = 0;
  double checksum = 0;
  for (int round = 0; round < 3; ++round) {
    auto start = Clock::now();
    double cpu = CpuSeconds();
    checksum = Baseline(path, baselineRows);
    bestBaseline = std::min(bestBaseline, Seconds(start));
    cpuBaseline = std::min(cpuBaseline, CpuSeconds() - cpu);

    auto connection = platform::CreateConnection();
    connection->SetConnectionString("Provider=SQLite;Data Source=" + path + ";Mode=Read");
    connection->Open("", "", "", -1);
    auto records = platform::CreateRecordset();
    start = Clock::now();
    cpu = CpuSeconds();
    records->Open(kQuery, connection);
    bestOpen = std::min(bestOpen, Seconds(start));
    cpuOpen = std::min(cpuOpen, CpuSeconds() - cpu);
    heldRss = std::max(heldRss, CurrentRssKb());

    // Walk every record and read every value, as a fill engine does.
    start = Clock::now();
    cpu = CpuSeconds();
    platform::Fields& fields = records->GetFields();
    int count = fields.Count();
    recordRows = 0;
    double sum = 0;
    while (!records->Eof()) {
      for (int i = 0; i < count; ++i) {
        Variant value = fields.Item(i).Value();
        sum += value.IsText() ? static_cast<double>(value.Text().size()) : value.Number();
      }
      ++recordRows;
      records->MoveNext();
    }
    bestWalk = std::min(bestWalk, Seconds(start));
    cpuWalk = std::min(cpuWalk, CpuSeconds() - cpu);
    if (sum == 0 && checksum == 0) std::printf("(empty)\n");
    records->Close();
    connection->Close();
  }

  std::printf("rows: %ld (baseline %ld), columns: 8, best of 3 rounds\n", recordRows, baselineRows);
  std::printf("                                          wall       cpu\n");
  std::printf("baseline: sqlite3_step over the query    %6.3f s  %6.3f s\n", bestBaseline,
              cpuBaseline);
  std::printf("Recordset.Open: rows into the recordset  %6.3f s  %6.3f s\n", bestOpen, cpuOpen);
  std::printf("walk: every Value of every record        %6.3f s  %6.3f s\n", bestWalk, cpuWalk);
  std::printf("Open / baseline: %.2fx wall, %.2fx cpu\n", bestOpen / bestBaseline,
              cpuOpen / cpuBaseline);
  std::printf("memory: %.1f MB before, %.1f MB with the recordset held, peak RSS %.1f MB\n",
              startRss / 1024.0, heldRss / 1024.0, PeakRssKb() / 1024.0);
  if (!folder.empty()) std::filesystem::remove_all(folder);
  return 0;
}
