// foliowright batch on real SQLite reports: the manifest (header, comments, relative paths,
// parameters and defaults, output column), worker threads, status file, exit statuses, resuming
// and shards; and, through the library, templates changed between batches and kept connections.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "fixtures/office_tools.h"
#include "fixtures/run_fixture.h"
#include "support/paths.h"
#include "tabrix/batch_run.h"

namespace tabrix {
namespace {

using testing::ReadText;
using testing::ReportRunTest;
using testing::WriteText;

class BatchCommandTest : public ReportRunTest {
 protected:
  // The report of the fixture's items with qty >= %Min%, named after both parameters.
  std::string ItemsDefinition(const std::string& name = "sub/items.def") {
    std::filesystem::create_directories(FolderPart(folder_.File(name)));
    return Definition(
        "ReportTemplateFileName=..\\templates\\report.xlsx\r\nReportFileName=out\\items_%Year%_%Min%.xlsx\r\n"
        "LogFileName=out\\items_%Year%_%Min%.log\r\n",
        "@items=REPORT(SHEET=Data RESERVE=2 CELL=A4,B4) SELECT name, qty FROM items WHERE qty >= %Min% ORDER BY name\r\n",
        "Name1=Main\r\nConnectionString1=Provider=SQLite;Data Source=..\\data\\items.db\r\n", name);
  }

  testing::CommandResult Batch(const std::string& arguments, const std::string& environment = "") {
    return testing::RunCommand("cd / && " + environment + " " + TABRIX_BINARY_DIR + "/foliowright batch " + arguments +
                               " 2>&1");
  }

  // The names in column A of a report's Data sheet, from row 4 down to the total or a blank.
  std::vector<std::string> Names(const std::string& report) {
    const auto workbook = platform::CreateSpreadsheetApplication()->OpenWorkbook(report, true);
    const auto sheet = workbook->WorksheetByName("Data");
    std::vector<std::string> names;
    for (int row = 4; row < 20; ++row) {
      const std::string name = sheet->GetValue(row, 1).ToText();
      if (name == "Total" || name.empty()) break;
      names.push_back(name);
    }
    return names;
  }

  // The status file's lines in order: manifest line, then "outcome parameters".
  std::vector<std::pair<int, std::string>> Status(const std::string& file) {
    std::vector<std::pair<int, std::string>> lines;
    std::istringstream text(ReadText(file));
    std::string line;
    const std::regex pattern(R"(^\{"line":(\d+),"definition":"/[^"]*","parameters":\[([^\]]*)\],"report":"[^"]*",)"
                             R"("log":"[^"]*","outcome":(\d),"failed_statements":\[.*\],"error":".*","seconds":[0-9.]+\}$)");
    while (std::getline(text, line)) {
      std::smatch match;
      EXPECT_TRUE(std::regex_match(line, match, pattern)) << line;
      if (!match.empty()) lines.emplace_back(std::stoi(match[1]), match[3].str() + " " + match[2].str());
    }
    return lines;
  }

  std::string Manifest(const std::string& text) {
    const std::string path = folder_.File("lists/manifest.tsv");
    std::filesystem::create_directories(FolderPart(path));
    WriteText(path, text);
    return path;
  }
};

TEST_F(BatchCommandTest, ManifestLinesBecomeReportsOnSeveralThreads) {
  ItemsDefinition();
  // Years 2001..2008 ask for qty >= 0, 3, 7 or 1 in turn (cherry 7, apple 3, banana 1).
  const int minima[] = {0, 3, 7, 1};
  const std::map<int, std::vector<std::string>> byMinimum = {
      {0, {"apple", "banana", "cherry"}}, {1, {"apple", "banana", "cherry"}}, {3, {"apple", "cherry"}}, {7, {"cherry"}}};
  std::string text = "# items by year\r\n\r\ndefinition\tyear\tminimum\toutput\r\n";
  for (int year = 2001; year <= 2008; ++year)
    text += "../sub/items.def\t" + std::to_string(year) + "\t" + std::to_string(minima[year % 4]) + "\t\r\n";
  text += "# the output column, relative to the manifest, with a parameter\r\n";
  text += "../sub/items.def\t2010\t3\t../mine/%Year%.xlsx\r\n";
  const std::string manifest = Manifest(text);

  const testing::CommandResult result = Batch("-j 4 --status " + folder_.File("status.jsonl") + " " + manifest);
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_NE(result.output.find("9 of 9 reports saved (0 with failed statements), 0 not saved, 0 resumed"),
            std::string::npos)
      << result.output;
  for (int year = 2001; year <= 2008; ++year) {
    const std::string minimum = std::to_string(minima[year % 4]);
    const std::string name = "sub/out/items_" + std::to_string(year) + "_" + minimum;
    EXPECT_EQ(Names(folder_.File(name + ".xlsx")), byMinimum.at(minima[year % 4])) << year;
    EXPECT_NE(ReadText(folder_.File(name + ".log")).find("qty >= " + minimum + " ORDER"), std::string::npos);
  }
  EXPECT_EQ(Names(folder_.File("mine/2010.xlsx")), byMinimum.at(3));
  EXPECT_FALSE(FileExists(folder_.File("sub/out/items_2010_3.xlsx")));

  std::vector<std::pair<int, std::string>> status = Status(folder_.File("status.jsonl"));
  ASSERT_EQ(status.size(), 9u);
  std::sort(status.begin(), status.end());
  EXPECT_EQ(status.front(), std::make_pair(4, std::string("0 \"2001\",\"3\"")));
  EXPECT_EQ(status.back(), std::make_pair(13, std::string("0 \"2010\",\"3\"")));
}

TEST_F(BatchCommandTest, ExitStatusesAndResume) {
  const std::string items = ItemsDefinition();
  const std::string manifest = Manifest(
      "../sub/items.def\t2001\t3\n"
      "../sub/items.def\n"                    // defaults 1999 and "": "qty >= ORDER" fails, saved
      "../sub/missing.def\t2002\t1\n"         // no definition file
      "../sub/items.def\t2003\t1\tx\n"        // more values than parameters
      "../sub/items.def\t2004\t0\n");
  const std::string statusFile = folder_.File("status.jsonl");
  testing::CommandResult result = Batch("-j 2 --status " + statusFile + " " + manifest);
  EXPECT_EQ(result.exitCode, 1) << result.output;
  EXPECT_NE(result.output.find("line 3 (" + folder_.File("sub/missing.def") + "): not saved: The file"),
            std::string::npos)
      << result.output;
  EXPECT_NE(result.output.find("line 4 (" + items + "): not saved: " + items + " has 2 parameters, but 3 values"),
            std::string::npos)
      << result.output;
  std::vector<std::pair<int, std::string>> status = Status(statusFile);
  std::sort(status.begin(), status.end());
  const std::vector<std::pair<int, std::string>> first = {{1, "0 \"2001\",\"3\""},
                                                          {2, "3 \"1999\",\"\""},
                                                          {3, "1 \"2002\",\"1\""},
                                                          {4, "1 \"2003\",\"1\",\"x\""},
                                                          {5, "0 \"2004\",\"0\""}};
  EXPECT_EQ(status, first);
  EXPECT_NE(ReadText(statusFile).find("\"failed_statements\":[\"items: error 0x"), std::string::npos);

  // Only the lines not saved run again; the one whose definition now exists is saved.
  std::filesystem::copy_file(items, folder_.File("sub/missing.def"));
  result = Batch("--resume --status " + statusFile + " " + manifest);
  EXPECT_EQ(result.exitCode, 1) << result.output;
  EXPECT_NE(result.output.find("1 of 2 reports saved (0 with failed statements), 1 not saved, 3 resumed"),
            std::string::npos)
      << result.output;
  status = Status(statusFile);
  ASSERT_EQ(status.size(), 7u);
  std::sort(status.begin() + 5, status.end());
  EXPECT_EQ(status[5], std::make_pair(3, std::string("0 \"2002\",\"1\"")));
  EXPECT_EQ(status[6].first, 4);

  // Without the failing line, only a statement failure is left: 3. On a terminal a progress line
  // counts the reports and is cleared before the summary.
  WriteText(manifest, "../sub/items.def\t2001\t3\n../sub/items.def\t2005\n");
  const testing::CommandResult terminal = testing::RunCommand("script -qec \"" + std::string(TABRIX_BINARY_DIR) +
                                                              "/foliowright batch " + manifest + "\" /dev/null </dev/null");
  EXPECT_EQ(terminal.exitCode, 3) << terminal.output;
  EXPECT_NE(terminal.output.find("2 of 2 reports done\r\033[Kfoliowright batch: 2 of 2 reports saved (1 with"),
            std::string::npos)
      << terminal.output;
}

TEST_F(BatchCommandTest, ShardsFromTheCommandLineAndTheScheduler) {
  ItemsDefinition();
  std::string text = "definition\tyear\tminimum\n";
  for (int year = 2001; year <= 2007; ++year) text += "../sub/items.def\t" + std::to_string(year) + "\t0\n";
  const std::string manifest = Manifest(text);
  const std::string shards[][2] = {
      {"--shard 0/3", ""},
      {"", "SLURM_ARRAY_TASK_ID=5 SLURM_ARRAY_TASK_MIN=4 SLURM_ARRAY_TASK_COUNT=3"},  // --array=4-6
      {"--shards 3", "JOB_COMPLETION_INDEX=2"}};
  std::vector<std::set<int>> lines;
  for (const auto& [option, environment] : shards) {
    const std::string statusFile = folder_.File("status" + std::to_string(lines.size()) + ".jsonl");
    const testing::CommandResult result = Batch(option + " --status " + statusFile + " " + manifest, environment);
    EXPECT_EQ(result.exitCode, 0) << option << environment << result.output;
    lines.emplace_back();
    for (const auto& [line, outcome] : Status(statusFile)) lines.back().insert(line);
  }
  EXPECT_EQ(lines, (std::vector<std::set<int>>{{2, 5, 8}, {3, 6}, {4, 7}}));
  for (int year = 2001; year <= 2007; ++year)
    EXPECT_TRUE(FileExists(folder_.File("sub/out/items_" + std::to_string(year) + "_0.xlsx"))) << year;

  // Usage errors: exit 2 before any report runs.
  WriteText(folder_.File("eleven.tsv"), "x.def\t1\t2\t3\t4\t5\t6\t7\t8\t9\t10\t11\n");
  const std::pair<std::string, std::string> usage[] = {
      {"--shard 3/3 " + manifest, ""},
      {"--shard 1 " + manifest, ""},
      {"--resume " + manifest, ""},
      {"--shards 2 " + manifest, ""},
      {manifest, "SLURM_ARRAY_TASK_ID=3 SLURM_ARRAY_TASK_COUNT=3"},
      {folder_.File("eleven.tsv"), ""},
      {folder_.File("none.tsv"), ""}};
  for (const auto& [arguments, environment] : usage) {
    const testing::CommandResult result = Batch(arguments, environment);
    EXPECT_EQ(result.exitCode, 2) << arguments << " " << environment << "\n" << result.output;
    EXPECT_EQ(result.output.find("reports saved"), std::string::npos) << result.output;
  }
}

// Through the library: a worker keeps its connection from report to report (a temporary table
// lives on), and a template rewritten between two batches of one application is read again.
TEST_F(BatchCommandTest, KeptConnectionsAndChangedTemplates) {
  const std::string definition = Definition(
      "ReportTemplateFileName=templates\\report.xlsx\r\nReportFileName=out\\seen_%Year%.xlsx\r\n"
      "LogFileName=out\\seen_%Year%.log\r\n",
      "@t=EXECSQL() CREATE TEMP TABLE IF NOT EXISTS seen (n)\r\n"
      "@i=EXECSQL() INSERT INTO seen VALUES (%Year%)\r\n"
      "@c=REPORT(SHEET=Data RESERVE=2 CELL=A4,B4) SELECT 'seen ' || COUNT(*), MAX(n) FROM seen\r\n");
  std::vector<BatchEntry> entries;
  for (int year = 1; year <= 3; ++year) entries.push_back({year, definition, {std::to_string(year)}, "", ""});
  BatchOptions options;
  options.Workers = 1;
  platform::ApplicationSettings settings;
  settings.ShareOpenedPackages = true;
  options.Run.Application = platform::CreateSpreadsheetApplication(settings);
  BatchSummary summary = RunBatch(entries, options);
  EXPECT_EQ(summary.Saved, 3);
  EXPECT_EQ(summary.ExitStatus(), 0);
  for (int year = 1; year <= 3; ++year)
    EXPECT_EQ(Names(folder_.File("out/seen_" + std::to_string(year) + ".xlsx")),
              std::vector<std::string>{"seen " + std::to_string(year)});

  auto changed = platform::CreateSpreadsheetApplication()->OpenWorkbook(Template(), false);
  changed->WorksheetByName("Data")->SetValue(1, 1, Variant(std::string("changed")));
  changed->SaveAs(folder_.File("changed.xlsx"), std::nullopt);
  std::filesystem::rename(folder_.File("changed.xlsx"), Template());
  summary = RunBatch({entries[0]}, options);
  EXPECT_EQ(summary.Saved, 1);
  const auto report = platform::CreateSpreadsheetApplication()->OpenWorkbook(folder_.File("out/seen_1.xlsx"), true);
  EXPECT_EQ(report->WorksheetByName("Data")->GetValue(1, 1).ToText(), "changed");
}

}  // namespace
}  // namespace tabrix
