// The long-lived converter: many runs (xls template, xls and pdf reports) from several threads
// through real LibreOffice processes that stay up, a killed or stopped process replaced with the
// conversion retried, and stand-in bridges for hangs, deaths and refusals.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "fixtures/format_test_support.h"
#include "fixtures/report_files.h"
#include "fixtures/required_tools.h"
#include "tabrix/error.h"
#include "tabrix/office_converter.h"
#include "tabrix/platform/spreadsheet.h"
#include "tabrix/report_run.h"

namespace tabrix {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testing::FolderEntries;
using testing::IsCompoundDocument;
using testing::ReadTextFile;
using testing::RunCommand;
using testing::ScopedEnvironment;
using testing::TempFolder;
using testing::WriteScript;
using testing::WriteTextFile;

// The process group of a process that has not ended; 0 when it has (zombies count as ended).
int LiveProcessGroup(const fs::path& process) {
  std::ifstream stat(process / "stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::size_t paren = text.rfind(')');
  if (paren == std::string::npos) return 0;
  std::istringstream fields(text.substr(paren + 2));
  std::string state;
  int parent = 0, group = 0;
  fields >> state >> parent >> group;
  return state == "Z" ? 0 : group;
}

std::vector<int> LiveMembers(int group) {
  std::vector<int> members;
  for (const auto& entry : fs::directory_iterator("/proc"))
    if (std::isdigit(entry.path().filename().string()[0]) && LiveProcessGroup(entry.path()) == group) members.push_back(std::stoi(entry.path().filename()));
  return members;
}

std::string ConversionError(OfficeConverter& converter, const std::string& input, const std::string& output) {
  try {
    converter.Convert(input, "pdf", "calc_pdf_Export", output);
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.Number(), 1004);
    return e.Description();
  }
  return "converted";
}

class OfficeConverterService : public ::testing::Test {
 protected:
  void TearDown() override {
    // Whatever a test left running is stopped with the converter, and its files are gone.
    std::vector<int> groups = converter_ ? converter_->ProcessGroups() : std::vector<int>{};
    converter_.reset();
    for (int group : groups) EXPECT_EQ(LiveMembers(group), std::vector<int>{}) << "group " << group;
    EXPECT_EQ(FolderEntries(temporary_.Path()), std::vector<std::string>{});
    for (const auto& entry : fs::directory_iterator("/tmp"))
      EXPECT_EQ(entry.path().filename().string().find("tabrix-" + std::to_string(::getpid()) + "-"),
                std::string::npos)
          << entry.path();
  }

  TempFolder folder_{"tabrix-converter-test"};
  TempFolder temporary_{"tabrix-converter-tmp"};
  ScopedEnvironment tmpdir_{"TMPDIR", temporary_.Path()};
  std::shared_ptr<OfficeConverter> converter_;
};

TEST_F(OfficeConverterService, ManyRunsFromSeveralThreadsShareTwoProcesses) {
  REQUIRE_LIBREOFFICE();
  REQUIRE_PYTHON_MODULE("uno", "python3-uno");
  converter_ = OfficeConverter::Create({}, std::chrono::seconds(120), 2);
  fs::create_directories(folder_.File("templates"));
  testing::MakeSalesTemplate(folder_.File("templates/sales.xlsx"));
  converter_->Convert(folder_.File("templates/sales.xlsx"), "xls", "MS Excel 97", folder_.File("templates/sales.xls"));
  ASSERT_TRUE(IsCompoundDocument(folder_.File("templates/sales.xls")));
  testing::ExecuteSql(folder_.File("sales.db"),
                      "CREATE TABLE sales (region TEXT, units INTEGER, amount REAL);"
                      "INSERT INTO sales VALUES ('West', 4, 410.5), ('East', 7, 700.25), ('North', 1, 99),"
                      "('South', 12, 1200), ('Centre', 3, 300.75);");
  struct Report {
    std::string templateName, reportName, reportType;
  };
  const std::vector<Report> reports = {
      {"sales.xls", "sales.xls", ""}, {"sales.xls", "sales.pdf", "xlTypePDF"}, {"sales.xlsx", "sales.pdf", "57"}};
  std::vector<std::string> definitions, failures(9);
  for (std::size_t i = 0; i < failures.size(); ++i) {
    const Report& report = reports[i % reports.size()];
    definitions.push_back(folder_.File("r" + std::to_string(i) + ".def"));
    WriteTextFile(definitions.back(),
                  "Foliowright Version 2.0\r\n[Data Source]\r\nName1=Main\r\n"
                  "ConnectionString1=Provider=SQLite;Data Source=sales.db\r\n[File]\r\nReportTemplateFileName=templates\\" +
                      report.templateName + "\r\nReportFileName=out\\r" + std::to_string(i) + "-" + report.reportName +
                      "\r\nReportFileType=" + report.reportType +
                      "\r\n[SQL]\r\n@sales=REPORT(SHEET=Sales RESERVE=2 CELL=A4,B4,C4) "
                      "SELECT region, units, amount FROM sales ORDER BY region\r\n");
  }
  RunOptions options;
  options.ConversionTable = std::string(TABRIX_SOURCE_DIR) + "/data/fmtconv.cfg";
  options.Converter = converter_;
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < 3; ++t)
    threads.emplace_back([&, t] {
      for (std::size_t i = t; i < definitions.size(); i += 3) {
        RunResult result = RunReport(definitions[i], {}, options);
        failures[i] = result.Error.Description;
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<std::string>(9));
  // Nine template reads and nine saves on the two processes started at first use.
  EXPECT_EQ(converter_->Starts(), 2);
  EXPECT_EQ(converter_->ProcessGroups().size(), 2u);

  platform::ApplicationSettings settings;
  settings.Converter = converter_;
  auto application = platform::CreateSpreadsheetApplication(settings);
  for (std::size_t i = 0; i < failures.size(); ++i) {
    std::string report = folder_.File("out/r" + std::to_string(i) + "-" + reports[i % reports.size()].reportName);
    SCOPED_TRACE(report);
    if (report.ends_with(".xls")) {
      ASSERT_TRUE(IsCompoundDocument(report));
      auto book = application->OpenWorkbook(report, true);
      auto sheet = book->WorksheetByName("Sales");
      EXPECT_EQ(sheet->GetValue(4, 1).ToText(), "Centre");
      EXPECT_EQ(sheet->GetValue(9, 3).ToText(), "2710.5");
    } else {
      auto text = RunCommand("pdftotext -layout '" + report + "' -");
      ASSERT_EQ(text.exitCode, 0) << text.output;
      for (const char* expected : {"Centre", "300.75", "West", "Total", "2710.5"})
        EXPECT_NE(text.output.find(expected), std::string::npos) << expected << " not in:\n" << text.output;
    }
  }
  EXPECT_EQ(converter_->Starts(), 2);
}

TEST_F(OfficeConverterService, AKilledOrStoppedProcessIsReplacedAndTheConversionRetried) {
  REQUIRE_LIBREOFFICE();
  REQUIRE_PYTHON_MODULE("uno", "python3-uno");
  const auto timeout = std::chrono::seconds(10);
  converter_ = OfficeConverter::Create({}, timeout, 1);
  const std::string input = folder_.File("sales.xlsx");
  testing::MakeSalesTemplate(input);
  ASSERT_EQ(ConversionError(*converter_, input, folder_.File("first.pdf")), "converted");
  const int first = converter_->ProcessGroups().at(0);
  // LibreOffice runs in the group beside its bridge.
  EXPECT_GE(LiveMembers(first).size(), 2u);

  ASSERT_EQ(::kill(-first, SIGKILL), 0);
  ASSERT_EQ(ConversionError(*converter_, input, folder_.File("second.pdf")), "converted");
  EXPECT_EQ(converter_->Starts(), 2);
  const int second = converter_->ProcessGroups().at(0);
  EXPECT_NE(second, first);

  // A stopped process hangs the conversion until the timeout; its group is killed.
  ASSERT_EQ(::kill(-second, SIGSTOP), 0);
  auto start = Clock::now();
  ASSERT_EQ(ConversionError(*converter_, input, folder_.File("third.pdf")), "converted");
  EXPECT_GE(Clock::now() - start, timeout);
  EXPECT_EQ(converter_->Starts(), 3);
  EXPECT_EQ(LiveMembers(second), std::vector<int>{});
  for (const char* name : {"first.pdf", "second.pdf", "third.pdf"})
    EXPECT_EQ(testing::FileStart(folder_.File(name), 5), "%PDF-") << name;
}

// Stand-in bridges (run in place of the Python interpreter) for what real LibreOffice rarely
// does on demand: hang on every attempt, end during a conversion, fail to start, refuse a file,
// find no uno module.
TEST_F(OfficeConverterService, HangsAndDeathsAreRetriedOnceThenReported) {
  const std::string input = folder_.File("input.xlsx");
  WriteTextFile(input, "workbook bytes");
  const std::string childFile = folder_.File("child.pid");
  struct Case {
    const char* name;
    std::string bridge;
    std::string error;
    int starts;
  };
  const std::vector<Case> cases = {
      {"hangs", "sleep 600 &\necho $! >> '" + childFile + "'\necho READY $$\nread request\nsleep 600\n",
       "LibreOffice did not finish the conversion to pdf within 1.5 seconds and was stopped", 2},
      {"ends", "echo READY $$\nread request\necho 'crashed on the request' >&2\nexit 1\n",
       "LibreOffice ended during the conversion to pdf: crashed on the request", 2},
      {"cannot start", "echo 'no module named uno' >&2\nexit 1\n",
       "LibreOffice could not be started for conversions: no module named uno", 2},
      {"refuses", "echo READY $$\nwhile read request; do printf 'ERROR\\ttype detection failed\\n'; done\n",
       "LibreOffice did not convert the file to pdf with the filter \"calc_pdf_Export\": type detection failed", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedEnvironment python("TABRIX_OFFICE_PYTHON", WriteScript(folder_.File("bridge"), c.bridge));
    converter_ = OfficeConverter::Create(folder_.File("bridge"), std::chrono::milliseconds(1500), 1);
    auto start = Clock::now();
    EXPECT_EQ(ConversionError(*converter_, input, folder_.File("out.pdf")), c.error);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(converter_->Starts(), c.starts);
    EXPECT_FALSE(fs::exists(folder_.File("out.pdf")));
    TearDown();
  }
  // Without python3-uno the converter converts as if there were none: one process each time.
  ScopedEnvironment python("TABRIX_OFFICE_PYTHON",
                           WriteScript(folder_.File("office"),
                                       "if [ \"$1\" = -I ]; then echo 'No module named uno' >&2; exit 3; fi\n"
                                       "while [ $# -gt 1 ]; do [ \"$1\" = --outdir ] && out=\"$2\"; shift; done\n"
                                       "cp \"$1\" \"$out/source.pdf\"\n"));
  converter_ = OfficeConverter::Create(folder_.File("office"), std::chrono::seconds(10), 1);
  for (const char* name : {"a.pdf", "b.pdf"})
    EXPECT_EQ(ConversionError(*converter_, input, folder_.File(name)), "converted");
  EXPECT_EQ(ReadTextFile(folder_.File("b.pdf")), "workbook bytes");
  EXPECT_EQ(converter_->Starts(), 1);

  // The hung bridges' children were stopped with their groups.
  std::istringstream children(ReadTextFile(childFile));
  int count = 0;
  for (std::string pid; children >> pid; ++count) {
    // An orphan is reaped by whoever adopted it; give that a moment.
    for (int i = 0; i < 100 && LiveProcessGroup("/proc/" + pid) != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(LiveProcessGroup("/proc/" + pid), 0) << "process " << pid << " still runs";
  }
  EXPECT_EQ(count, 2);
}

}  // namespace
}  // namespace tabrix
