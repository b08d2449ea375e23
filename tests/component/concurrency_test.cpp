// Report runs on several threads at once: each thread has its own Tabrix object, definition
// folder, database, parameters and event sink, and runs different reports (fixed table, growing
// table, grouped table, workbook names) from one shared template. Every report and every run
// log must hold exactly its own run's data, and the process's current directory never changes.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <latch>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "xlsx/zip_archive.h"
#include "fixtures/office_tools.h"
#include "tabrix/platform/spreadsheet.h"
#include "tabrix/tabrix.h"

namespace tabrix {
namespace {

using testing::TempFolder;

constexpr int kThreads = 6;
constexpr int kRunsPerThread = 2;

// Sheets of the shared template:
//   Fixed  row 3 the fixed table's block (A name, B qty: record k goes k rows lower); A2 "fixed"
//   Var    row 3 headers, rows 4-5 the growing table's two reserved rows, row 6 "Total"
//          =SUM(B4:B5), A8 "note"
//   Group  A3 region (header row), B4:C4 detail (name, qty), A5 "end" (footer); group A3:C5
//   Names  B1 name RunId, B2 name RunTotal (the names report turns them into constants)
const char* kMakeTemplate = R"py(
import sys
from openpyxl import Workbook
from openpyxl.workbook.defined_name import DefinedName
wb = Workbook()
fixed = wb.active
fixed.title = "Fixed"
fixed["A2"] = "fixed"
var = wb.create_sheet("Var")
var["A3"], var["B3"] = "Name", "Qty"
var["A6"], var["B6"] = "Total", "=SUM(B4:B5)"
var["A8"] = "note"
group = wb.create_sheet("Group")
group["A1"] = "grouped"
group["A5"] = "end"
names = wb.create_sheet("Names")
names["A1"], names["A2"] = "Run", "Total"
for name, ref in (("RunId", "Names!$B$1"), ("RunTotal", "Names!$B$2")):
    dn = DefinedName(name, attr_text=ref)
    try:
        wb.defined_names.append(dn)
    except AttributeError:
        wb.defined_names[name] = dn
wb.save(sys.argv[1])
)py";

struct Item {
  std::string region, name;
  int qty = 0;
};

// Thread t's data: 3 + 2t items in two or three regions, quantities in t's own hundred.
std::vector<Item> ItemsOf(int thread) {
  std::vector<Item> items;
  const int count = 3 + 2 * thread;
  for (int i = 0; i < count; ++i)
    items.push_back({"r" + std::to_string(i % (2 + thread % 2)), "t" + std::to_string(thread) + "item" + std::to_string(i),
                     100 * thread + i + 1});
  return items;
}

void CreateDatabase(const std::string& path, const std::vector<Item>& items) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  std::string sql = "CREATE TABLE items (region TEXT, name TEXT, qty INTEGER);";
  for (const Item& item : items)
    sql += "INSERT INTO items VALUES ('" + item.region + "', '" + item.name + "', " + std::to_string(item.qty) + ");";
  ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

// Which reports a thread runs: every kind appears on several threads, no two neighbours alike.
struct Kinds {
  bool fixed, var, group;
};
Kinds KindsOf(int thread) {
  switch (thread % 4) {
    case 0: return {true, false, false};
    case 1: return {false, true, false};
    case 2: return {false, false, true};
    default: return {true, true, true};
  }
}

std::string ScriptOf(int thread) {
  const Kinds kinds = KindsOf(thread);
  std::string script;
  if (kinds.fixed)
    script += "@fixed=REPORT(CONNECT=Items SHEET=Fixed TYPE=FIX CELL=A3,B3)\r\n"
              "SELECT name, qty FROM items ORDER BY name\r\n";
  if (kinds.var)
    script += "@var=REPORT(CONNECT=Items SHEET=Var RESERVE=2 CELL=A4,B4)\r\n"
              "SELECT name, qty FROM items ORDER BY name\r\n";
  if (kinds.group)
    script += "@group=REPORT(CONNECT=Items SHEET=Group CELL=A3,B4,C4 GROUP=region GROUPRANGE=A3:C5)\r\n"
              "SELECT region, name, qty FROM items ORDER BY region, name\r\n";
  script += "@names=NAME(CONNECT=Items NAME=RunId,RunTotal) SELECT %Id%, SUM(qty) FROM items\r\n";
  return script;
}

int StatementCount(int thread) {
  const Kinds kinds = KindsOf(thread);
  return 1 + kinds.fixed + kinds.var + kinds.group;
}

class Events : public TabrixEvents {
 public:
  void FunctionAfterExectue(std::string name, std::int16_t, std::int32_t, ErrObject error) override {
    finished.push_back(name + (error.Number == 0 ? " ok" : " failed: " + error.Description));
  }
  std::vector<std::string> finished;
};

struct RunResult {
  std::optional<std::string> error;
  std::vector<std::string> finished;
};

std::string Text(platform::Worksheet& sheet, int row, int column) { return sheet.GetValue(row, column).ToText(); }

class ConcurrentRuns : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(folder_.File("templates"));
    testing::RunPython(kMakeTemplate, {folder_.File("templates/report.xlsx")});
    for (int t = 0; t < kThreads; ++t) {
      const std::string own = folder_.File("t" + std::to_string(t));
      std::filesystem::create_directories(own + "/data");
      CreateDatabase(own + "/data/items.db", ItemsOf(t));
      // Every file name is relative to the definition's own folder.
      testing::WriteTextFile(own + "/run.def",
                             "Foliowright Version 2.0\r\n"
                             "[Data Source]\r\nName1=Items\r\nConnectionString1=Provider=SQLite;Data Source=data\\items.db\r\n"
                             "[File]\r\nReportTemplateFileName=..\\templates\\report.xlsx\r\n"
                             "ReportFileName=out\\report_%Id%.xlsx\r\nReportFileType=xlOpenXMLWorkbook\r\n"
                             "LogFileName=logs\\run_%Id%.log\r\n"
                             "[Parameter]\r\nName1=%Id%\r\nTitle1=Run\r\n"
                             "[SQL]\r\n" + ScriptOf(t));
    }
  }

  static std::string RunId(int thread, int run) { return std::to_string(thread * 10 + run); }
  std::string Report(int thread, int run) const {
    return folder_.File("t" + std::to_string(thread) + "/out/report_" + RunId(thread, run) + ".xlsx");
  }
  std::string Log(int thread, int run) const {
    return folder_.File("t" + std::to_string(thread) + "/logs/run_" + RunId(thread, run) + ".log");
  }

  void CheckReport(int thread, int run) {
    SCOPED_TRACE("thread " + std::to_string(thread) + " run " + std::to_string(run));
    std::vector<Item> items = ItemsOf(thread);
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.name < b.name; });
    int total = 0;
    for (const Item& item : items) total += item.qty;
    auto book = platform::CreateSpreadsheetApplication()->OpenWorkbook(Report(thread, run), true);
    const Kinds kinds = KindsOf(thread);

    auto& fixed = *book->WorksheetByName("Fixed");
    for (std::size_t i = 0; i < 12; ++i) {
      const bool filled = kinds.fixed && i < items.size();
      EXPECT_EQ(Text(fixed, 3 + static_cast<int>(i), 1), filled ? items[i].name : "");
      EXPECT_EQ(Text(fixed, 3 + static_cast<int>(i), 2), filled ? std::to_string(items[i].qty) : "");
    }

    auto& var = *book->WorksheetByName("Var");
    if (kinds.var) {
      const int n = static_cast<int>(items.size());
      for (int i = 0; i < n; ++i) {
        EXPECT_EQ(Text(var, 4 + i, 1), items[static_cast<std::size_t>(i)].name);
        EXPECT_EQ(Text(var, 4 + i, 2), std::to_string(items[static_cast<std::size_t>(i)].qty));
      }
      EXPECT_EQ(Text(var, 4 + n, 1), "Total");
      EXPECT_EQ(Text(var, 4 + n, 2), std::to_string(total));  // the sum grew with the table
      EXPECT_EQ(Text(var, 6 + n, 1), "note");
    } else {
      EXPECT_EQ(Text(var, 4, 1), "");
      EXPECT_EQ(Text(var, 6, 1), "Total");
    }

    auto& group = *book->WorksheetByName("Group");
    if (kinds.group) {
      std::map<std::string, std::vector<Item>> regions;
      for (const Item& item : items) regions[item.region].push_back(item);
      int row = 3;
      for (const auto& [region, members] : regions) {
        EXPECT_EQ(Text(group, row, 1), region) << "header row " << row;
        ++row;
        for (const Item& item : members) {
          EXPECT_EQ(Text(group, row, 2), item.name) << "detail row " << row;
          EXPECT_EQ(Text(group, row, 3), std::to_string(item.qty)) << "detail row " << row;
          ++row;
        }
        EXPECT_EQ(Text(group, row, 1), "end") << "footer row " << row;
        ++row;
      }
      EXPECT_EQ(Text(group, row, 1), "");
    } else {
      EXPECT_EQ(Text(group, 3, 1), "");
      EXPECT_EQ(Text(group, 5, 1), "end");
    }

    const std::string workbookXml = xlsx::ReadZipFile(Report(thread, run)).data.at("xl/workbook.xml");
    EXPECT_NE(workbookXml.find("<definedName name=\"RunId\">" + RunId(thread, run) + "</definedName>"), std::string::npos)
        << workbookXml;
    EXPECT_NE(workbookXml.find("<definedName name=\"RunTotal\">" + std::to_string(total) + "</definedName>"),
              std::string::npos) << workbookXml;
  }

  void CheckLog(int thread, int run) {
    SCOPED_TRACE("log of thread " + std::to_string(thread) + " run " + std::to_string(run));
    const std::string text = testing::ReadTextFile(Log(thread, run));
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
      std::size_t end = text.find("\r\n", start);
      if (end == std::string::npos) end = text.size();
      const std::string line = text.substr(start, end - start);
      lines.push_back(line.size() > 23 ? line.substr(23) : line);  // "[YYYYMMDD hh:mm:ss]    "
      start = end + 2;
    }
    ASSERT_FALSE(lines.empty());
    int successes = 0;
    for (const std::string& line : lines) {
      EXPECT_NE(line.rfind("Error", 0), 0u) << line;
      if (line.find("Success.") != std::string::npos) ++successes;
      // Another thread's files never show up in this log.
      for (int other = 0; other < kThreads; ++other)
        if (other != thread) EXPECT_EQ(line.find("/t" + std::to_string(other) + "/"), std::string::npos) << line;
    }
    EXPECT_EQ(successes, StatementCount(thread));
    EXPECT_NE(text.find("Create the blank report file \"" + Report(thread, run) + "\"."), std::string::npos);
    EXPECT_NE(text.find("SELECT " + RunId(thread, run) + ", SUM(qty) FROM items"), std::string::npos);
    EXPECT_EQ(lines.back(), "Close the log file.");
  }

  TempFolder folder_{"tabrix-concurrency"};
};

TEST_F(ConcurrentRuns, EveryThreadGetsExactlyItsOwnReportsAndLogs) {
  const std::filesystem::path workingFolder = std::filesystem::current_path();
  std::latch start(kThreads + 1);
  std::atomic<bool> done{false};
  std::atomic<int> directoryChanges{0};
  // Watches the current directory the whole time the runs go on.
  std::thread watcher([&] {
    start.arrive_and_wait();
    while (!done.load()) {
      if (std::filesystem::current_path() != workingFolder) ++directoryChanges;
      std::this_thread::yield();
    }
  });

  std::vector<std::vector<RunResult>> results(kThreads, std::vector<RunResult>(kRunsPerThread));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      Tabrix component;
      Events events;
      component.SetEventSink(&events);
      ApplicationPtr application = platform::CreateSpreadsheetApplication();
      start.arrive_and_wait();
      for (int run = 0; run < kRunsPerThread; ++run) {
        events.finished.clear();
        std::string file = folder_.File("t" + std::to_string(t) + "/run.def");
        std::string id = RunId(t, run);
        try {
          component.Foliowright(application, file, id);
        } catch (const AutomationError& error) {
          results[static_cast<std::size_t>(t)][static_cast<std::size_t>(run)].error = error.Description();
        }
        results[static_cast<std::size_t>(t)][static_cast<std::size_t>(run)].finished = events.finished;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  done = true;
  watcher.join();

  EXPECT_EQ(directoryChanges.load(), 0);
  EXPECT_EQ(std::filesystem::current_path(), workingFolder);
  for (int t = 0; t < kThreads; ++t) {
    for (int run = 0; run < kRunsPerThread; ++run) {
      const RunResult& result = results[static_cast<std::size_t>(t)][static_cast<std::size_t>(run)];
      ASSERT_FALSE(result.error) << "thread " << t << " run " << run << ": " << *result.error;
      ASSERT_EQ(static_cast<int>(result.finished.size()), StatementCount(t));
      for (const std::string& finished : result.finished) EXPECT_NE(finished.find(" ok"), std::string::npos) << finished;
      CheckReport(t, run);
      CheckLog(t, run);
    }
  }
}

}  // namespace
}  // namespace tabrix
