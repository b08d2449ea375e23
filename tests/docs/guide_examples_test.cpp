// The runnable examples of the user guide (docs/guide/*.md), run with the real foliowright on
// real SQLite data: so the guide cannot drift from the program. A fenced block whose info string
// reads "<kind> example=<name> [file=<path>]" belongs to example <name>:
//   sql         SQL run on the SQLite database file=<path> (created)
//   template    a template description (tests/docs/make_guide_template.py), written as file=<path>
//   definition  a definition file, written as file=<path> with CR LF line ends
//   data        any other text file, written as file=<path>
//   run         one command line "foliowright ..." run in the example's folder (exit 0 expected,
//               for "check" 0 without and 4 with findings)
//   output      the standard output of the run above, the folder's path left out
//   expect      "report <path>" then lines "Sheet!A1: value" (or ": =formula", ": (empty)") that
//               the report must hold, and "pagebreaks Sheet: 8 13" (rows that start a new page)
// Blocks of one example are set up first (sql, template, definition, data) and then run and
// compared in the order they stand in the guide. Failures name the example and "page.md:line".
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "fixtures/required_tools.h"
#include "fixtures/run_fixture.h"
#include "xlsx/xlsx_worksheet.h"

namespace tabrix {
namespace {

namespace fs = std::filesystem;
using testing::ExecuteSql;
using testing::ReadText;
using testing::TempFolder;
using testing::WriteText;

struct Block {
  std::string kind, example, file, text, where;  // where: "page.md:line"
};

std::vector<Block> GuideBlocks() {
  std::vector<Block> blocks;
  std::vector<fs::path> pages;
  for (const auto& entry : fs::directory_iterator(fs::path(TABRIX_SOURCE_DIR) / "docs" / "guide"))
    if (entry.path().extension() == ".md") pages.push_back(entry.path());
  std::sort(pages.begin(), pages.end());
  static const std::regex opening(R"(^```(\w+) +example=([\w-]+)(?: +file=(\S+))?\s*$)");
  for (const fs::path& page : pages) {
    std::istringstream text(ReadText(page.string()));
    std::string line;
    int number = 0;
    Block* open = nullptr;
    while (std::getline(text, line)) {
      ++number;
      std::smatch match;
      if (open) {
        if (line.rfind("```", 0) == 0)
          open = nullptr;
        else
          open->text += line + "\n";
      } else if (std::regex_match(line, match, opening)) {
        blocks.push_back({match[1], match[2], match[3], "", page.filename().string() + ":" + std::to_string(number)});
        open = &blocks.back();
      }
    }
  }
  return blocks;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

// One example's folder, files and runs.
class GuideExample {
 public:
  void Prepare(const Block& block) {
    ASSERT_FALSE(block.file.empty()) << block.where << ": file= is missing";
    const std::string path = folder_.File(block.file);
    fs::create_directories(fs::path(path).parent_path());
    if (block.kind == "sql") {
      ExecuteSql(path, block.text);
    } else if (block.kind == "template") {
      const std::string description = folder_.File(block.file + ".txt");
      WriteText(description, block.text);
      const std::string command = "/usr/bin/python3 " + std::string(TABRIX_SOURCE_DIR) +
                                  "/tests/docs/make_guide_template.py '" + description + "' '" + path + "'";
      ASSERT_EQ(std::system(command.c_str()), 0) << block.where;
    } else if (block.kind == "definition") {
      WriteText(path, std::regex_replace(block.text, std::regex("\n"), "\r\n"));
    } else {
      WriteText(path, block.text);
    }
  }

  void Run(const Block& block) {
    const std::string line = Lines(block.text).at(0);
    ASSERT_EQ(line.rfind("foliowright ", 0), 0u) << block.where;
    const std::string out = folder_.File(".stdout");
    const std::string command = "cd '" + folder_.Path() + "' && " + TABRIX_BINARY_DIR + "/" + line + " >" + out +
                                " 2>" + folder_.File(".stderr") + " </dev/null";
    const int raw = std::system(command.c_str());
    const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    output_ = std::regex_replace(ReadText(out), std::regex(folder_.Path() + "/"), "");
    const bool check = line.rfind("foliowright check ", 0) == 0;
    EXPECT_EQ(status, check && !output_.empty() ? 4 : 0) << block.where << ": " << line << "\n"
                                                         << output_ << ReadText(folder_.File(".stderr"));
  }

  void CompareOutput(const Block& block) { EXPECT_EQ(output_, block.text) << block.where; }

  void Expect(const Block& block) {
    const std::vector<std::string> lines = Lines(block.text);
    ASSERT_EQ(lines.at(0).rfind("report ", 0), 0u) << block.where;
    const std::string report = folder_.File(lines[0].substr(7));
    ASSERT_TRUE(fs::exists(report)) << block.where << ": no report " << report;
    auto workbook = platform::CreateSpreadsheetApplication()->OpenWorkbook(report, true);
    for (std::size_t i = 1; i < lines.size(); ++i) {
      const std::string& line = lines[i];
      if (line.rfind("pagebreaks ", 0) == 0) {
        // "pagebreaks Sheet: 8 13": the rows that start a new page after a manual break.
        const std::size_t colon = line.find(": ");
        auto* sheet = dynamic_cast<xlsx::XlsxWorksheet*>(workbook->WorksheetByName(line.substr(11, colon - 11)).get());
        ASSERT_NE(sheet, nullptr) << block.where << ": " << line;
        std::string rows;
        for (const auto& pageBreak : sheet->RowBreaks())
          if (pageBreak.manual) rows += (rows.empty() ? "" : " ") + std::to_string(pageBreak.id + 1);
        EXPECT_EQ(rows, line.substr(colon + 2)) << block.where << ": " << line;
        continue;
      }
      const std::size_t bang = line.rfind('!', line.find(": "));
      const std::size_t colon = line.find(": ");
      ASSERT_TRUE(bang != std::string::npos && colon != std::string::npos) << block.where << ": " << line;
      auto sheet = workbook->WorksheetByName(line.substr(0, bang));
      const auto rect = sheet->ResolveReference(line.substr(bang + 1, colon - bang - 1));
      const std::string expected = line.substr(colon + 2);
      if (expected.rfind("=", 0) == 0) {
        auto* xlsxSheet = dynamic_cast<xlsx::XlsxWorksheet*>(sheet.get());
        ASSERT_NE(xlsxSheet, nullptr);
        EXPECT_EQ(xlsxSheet->GetFormula(rect.row1, rect.col1), expected) << block.where << ": " << line;
        continue;
      }
      const Variant value = sheet->GetValue(rect.row1, rect.col1);
      if (expected == "(empty)") {
        EXPECT_EQ(value.ToText(), "") << block.where << ": " << line;
      } else if (IsNumeric(expected) && IsNumericValue(value)) {
        EXPECT_NEAR(ToNumber(value), std::stod(expected), 1e-9) << block.where << ": " << line;
      } else {
        EXPECT_EQ(value.ToText(), expected) << block.where << ": " << line;
      }
    }
  }

  void RunAll(const std::string& name) {
    std::vector<Block> blocks;
    for (const Block& block : GuideBlocks())
      if (block.example == name) blocks.push_back(block);
    for (const Block& block : blocks)
      if (block.kind == "sql" || block.kind == "template" || block.kind == "definition" || block.kind == "data")
        Prepare(block);
    bool ran = false;
    for (const Block& block : blocks) {
      if (block.kind == "run") {
        Run(block);
        ran = true;
      } else if (block.kind == "output") {
        CompareOutput(block);
      } else if (block.kind == "expect") {
        Expect(block);
      }
    }
    EXPECT_TRUE(ran) << name << " has no run block";
  }

 private:
  TempFolder folder_{"guide"};
  std::string output_;
};

std::vector<std::string> ExampleNames() {
  std::vector<std::string> names;
  for (const Block& block : GuideBlocks())
    if (std::find(names.begin(), names.end(), block.example) == names.end()) names.push_back(block.example);
  return names;
}

// One test for all examples, so that an example added to the guide runs without rebuilding.
TEST(GuideExamples, EveryExampleRunsAsTheGuideSays) {
  REQUIRE_PYTHON_MODULE("openpyxl", "python3-openpyxl");
  const bool odbcSqlite = std::system("odbcinst -q -d -n SQLite3 >/dev/null 2>&1") == 0;
  for (const std::string& name : ExampleNames()) {
    SCOPED_TRACE("example " + name);
    bool needsOdbcSqlite = false;
    for (const Block& block : GuideBlocks())
      if (block.example == name && block.text.find("Driver=SQLite3") != std::string::npos) needsOdbcSqlite = true;
    if (needsOdbcSqlite && !odbcSqlite) {
      const std::string reason = testing::MissingToolReason("the SQLite ODBC driver (SQLite3)", "libsqliteodbc");
      if (testing::RunningUnderCi())
        ADD_FAILURE() << reason;
      else
        std::cout << "example " << name << " left out: " << reason << "\n";
      continue;
    }
    GuideExample example;
    example.RunAll(name);
  }
}

TEST(GuideExamples, EveryPageIsLinkedFromTheIndexAndHasExamples) {
  const std::string index = ReadText(std::string(TABRIX_SOURCE_DIR) + "/docs/guide/README.md");
  for (const auto& entry : fs::directory_iterator(fs::path(TABRIX_SOURCE_DIR) / "docs" / "guide")) {
    const std::string name = entry.path().filename().string();
    if (name != "README.md" && entry.path().extension() == ".md")
      EXPECT_NE(index.find("(" + name + ")"), std::string::npos) << name << " is not linked from the index";
  }
  EXPECT_GE(ExampleNames().size(), 4u);
}

// Every key of the definition file and every statement option and keyword has its place in the
// guide.
TEST(GuideExamples, EveryKeyAndStatementOptionIsDescribed) {
  std::string guide;
  for (const auto& entry : fs::directory_iterator(fs::path(TABRIX_SOURCE_DIR) / "docs" / "guide"))
    if (entry.path().extension() == ".md") guide += ReadText(entry.path().string());
  for (const char* option : {"CONNECT", "SHEET", "TYPE", "FILLORDER", "CELL", "RANGE", "COPYRANGE", "RESERVE", "GROUP",
                             "GROUPRANGE", "IMAGE", "PAGEBREAK", "NODATA"})
    EXPECT_NE(guide.find("| `" + std::string(option) + "` |"), std::string::npos) << option;
  for (const char* word : {"EXECSQL", "NAME", "REPORT", "FIX", "VAR", "ROW", "COL", "ROWRANGE", "COLRANGE", "DELRANGE",
                           "DELSHEET", "MAS", "MNS", "NMS", "STRETCH"})
    EXPECT_NE(guide.find("`" + std::string(word) + "`"), std::string::npos) << word;
  for (const char* key : {"EncryptPassword`", "Name`N", "ConnectionString`N", "User`N", "Password`N",
                          "ReportTemplateFileName`", "ReportFileName`", "ReportFileType`", "ProtectReport`",
                          "ProtectionPassword`", "LogFileName`", "Title`N", "Default`N"})
    EXPECT_NE(guide.find("| `" + std::string(key) + " |"), std::string::npos) << key;
}

}  // namespace
}  // namespace tabrix
