// Report runs on several threads, each with its own Tabrix object, definition folder, database
// and event sink, every kind of report from one template: each report and log holds exactly its
// own run's data, and the current directory never changes.
#include <gtest/gtest.h>

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
#include "fixtures/run_fixture.h"
#include "tabrix/platform/spreadsheet.h"
#include "tabrix/tabrix.h"

namespace tabrix {
namespace {

constexpr int kThreads = 6;
constexpr int kRunsPerThread = 2;

// The reports fill the run tests' template (tests/component/data/make_templates.py): a fixed
// table on Other from row 3, the growing table of Data, the group A2:B4 of Groups, and the names
// RunYear and Title turned into constants (run id and total).
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
  std::string sql = "CREATE TABLE items (region TEXT, name TEXT, qty INTEGER);";
  for (const Item& item : items)
    sql += "INSERT INTO items VALUES ('" + item.region + "', '" + item.name + "', " + std::to_string(item.qty) + ");";
  testing::ExecuteSql(path, sql);
}

// Every thread runs every kind of report, each on its own data.
const std::string kScript =
    "@fixed=REPORT(CONNECT=Items SHEET=Other TYPE=FIX CELL=A3,B3) SELECT name, qty FROM items ORDER BY name\r\n"
    "@var=REPORT(CONNECT=Items SHEET=Data RESERVE=2 CELL=A4,B4) SELECT name, qty FROM items ORDER BY name\r\n"
    "@group=REPORT(CONNECT=Items SHEET=Groups CELL=A2,A3,B3 GROUP=region GROUPRANGE=A2:B4)\r\n"
    "SELECT region, name, qty FROM items ORDER BY region, name\r\n"
    "@names=NAME(CONNECT=Items NAME=RunYear,Title) SELECT %Id%, SUM(qty) FROM items\r\n";
constexpr int kStatements = 4;

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

class ConcurrentRuns : public testing::ReportRunTest {
 protected:
  void SetUp() override {
    ReportRunTest::SetUp();
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
                             "[SQL]\r\n" + kScript);
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

    auto& fixed = *book->WorksheetByName("Other");
    for (std::size_t i = 0; i < 12; ++i) {
      const bool filled = i < items.size();
      EXPECT_EQ(Text(fixed, 3 + static_cast<int>(i), 1), filled ? items[i].name : "");
      EXPECT_EQ(Text(fixed, 3 + static_cast<int>(i), 2), filled ? std::to_string(items[i].qty) : "");
    }

    auto& var = *book->WorksheetByName("Data");
    const int n = static_cast<int>(items.size());
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(Text(var, 4 + i, 1), items[static_cast<std::size_t>(i)].name);
      EXPECT_EQ(Text(var, 4 + i, 2), std::to_string(items[static_cast<std::size_t>(i)].qty));
    }
    EXPECT_EQ(Text(var, 4 + n, 1), "Total");
    EXPECT_EQ(Text(var, 4 + n, 2), std::to_string(total));  // the sum grew with the table
    EXPECT_EQ(Text(var, 6 + n, 1), "note");

    auto& group = *book->WorksheetByName("Groups");
    std::map<std::string, std::vector<Item>> regions;
    for (const Item& item : items) regions[item.region].push_back(item);
    int row = 2;
    for (const auto& [region, members] : regions) {
      EXPECT_EQ(Text(group, row++, 1), region) << "header row";
      for (const Item& item : members) {
        EXPECT_EQ(Text(group, row, 1), item.name) << "detail row " << row;
        EXPECT_EQ(Text(group, row++, 2), std::to_string(item.qty)) << "detail row";
      }
      EXPECT_EQ(Text(group, row++, 1), "end of group") << "footer row";
    }
    EXPECT_EQ(Text(group, row, 1), "");

    const std::string workbookXml = xlsx::ReadZipFile(Report(thread, run)).data.at("xl/workbook.xml");
    EXPECT_NE(workbookXml.find("<definedName name=\"RunYear\">" + RunId(thread, run) + "</definedName>"), std::string::npos)
        << workbookXml;
    EXPECT_NE(workbookXml.find("<definedName name=\"Title\">" + std::to_string(total) + "</definedName>"),
              std::string::npos) << workbookXml;
  }

  void CheckLog(int thread, int run) {
    SCOPED_TRACE("log of thread " + std::to_string(thread) + " run " + std::to_string(run));
    const std::string text = testing::ReadTextFile(Log(thread, run));
    const std::vector<std::string> lines = testing::LogTexts(Log(thread, run));
    ASSERT_FALSE(lines.empty());
    int successes = 0;
    for (const std::string& line : lines) {
      EXPECT_NE(line.rfind("Error", 0), 0u) << line;
      if (line.find("Success.") != std::string::npos) ++successes;
      // Another thread's files never show up in this log.
      for (int other = 0; other < kThreads; ++other)
        if (other != thread) EXPECT_EQ(line.find("/t" + std::to_string(other) + "/"), std::string::npos) << line;
    }
    EXPECT_EQ(successes, kStatements);
    EXPECT_NE(text.find("Create the blank report file \"" + Report(thread, run) + "\"."), std::string::npos);
    EXPECT_NE(text.find("SELECT " + RunId(thread, run) + ", SUM(qty) FROM items"), std::string::npos);
    EXPECT_EQ(lines.back(), "Close the log file.");
  }
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
      ASSERT_EQ(static_cast<int>(result.finished.size()), kStatements);
      for (const std::string& finished : result.finished) EXPECT_NE(finished.find(" ok"), std::string::npos) << finished;
      CheckReport(t, run);
      CheckLog(t, run);
    }
  }
}

}  // namespace
}  // namespace tabrix
