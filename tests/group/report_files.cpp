// Real files for the grouped-report tests: openpyxl templates, SQLite databases and read-back of
// saved reports.
#include "group/report_files.h"

#include <sqlite3.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "fixtures/office_tools.h"

namespace tabrix::group_test {
namespace {

namespace fs = std::filesystem;

std::vector<std::int32_t> Numbers(const std::string& text) {
  std::vector<std::int32_t> numbers;
  std::istringstream in(text);
  std::int32_t n;
  while (in >> n) numbers.push_back(n);
  return numbers;
}

// Ids of a break list of sheet "Report" plus one: the row or column after the break.
std::vector<std::int32_t> Breaks(const std::string& path, const std::string& list) {
  return Numbers(testing::RunPython(
      "import sys, openpyxl\n"
      "ws = openpyxl.load_workbook(sys.argv[1])['Report']\n"
      "print(' '.join(str(b.id + 1) for b in ws." + list + ".brk))\n",
      {path}));
}

}  // namespace

std::string ScratchFolder(const std::string& name) {
  const fs::path folder = fs::path(TABRIX_BINARY_DIR) / "test-scratch" / "group" / name;
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder.string();
}

void MakeTemplates(const std::string& folder) {
  const std::string script =
      testing::ReadTextFile(std::string(TABRIX_SOURCE_DIR) + "/tests/group/make_group_templates.py");
  testing::RunPython(script, {folder});
}

void MakeDatabase(const std::string& path, const std::string& script) {
  fs::remove(path);
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot create " + path);
  char* error = nullptr;
  const int rc = sqlite3_exec(db, script.c_str(), nullptr, nullptr, &error);
  const std::string message = error ? error : "";
  sqlite3_free(error);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw std::runtime_error("database script failed: " + message);
}

std::shared_ptr<platform::Recordset> OpenRecordset(const std::string& path, const std::string& sql) {
  auto connection = platform::CreateConnection();
  connection->Open("Provider=SQLite;Data Source=" + path, "", "");
  auto recordset = platform::CreateRecordset();
  recordset->Open(sql, connection);
  return recordset;
}

OpenedTemplate OpenTemplate(const std::string& path) {
  OpenedTemplate opened;
  opened.application = platform::CreateSpreadsheetApplication();
  opened.workbook = opened.application->OpenWorkbook(path, true);
  opened.sheet = opened.workbook->WorksheetByName("Report");
  return opened;
}

SavedSheet::SavedSheet(const std::string& path)
    : application_(platform::CreateSpreadsheetApplication()),
      workbook_(application_->OpenWorkbook(path, true)),
      sheet_(workbook_->WorksheetAt(1)) {}

Variant SavedSheet::Value(std::int32_t row, std::int32_t column) {
  return sheet_->GetValue(row, column);
}

std::string SavedSheet::Text(std::int32_t row, std::int32_t column) {
  return sheet_->GetValue(row, column).ToText();
}

std::string SavedSheet::Line(std::int32_t index, std::int32_t last, bool columnWise) {
  std::string text;
  for (std::int32_t i = 1; i <= last; ++i) {
    if (i > 1) text += "|";
    text += columnWise ? Text(i, index) : Text(index, i);
  }
  return text;
}

std::int32_t SavedSheet::WorksheetCount() { return workbook_->WorksheetCount(); }

std::vector<std::int32_t> SavedRowBreaks(const std::string& path) {
  return Breaks(path, "row_breaks");
}

std::vector<std::int32_t> SavedColumnBreaks(const std::string& path) {
  return Breaks(path, "col_breaks");
}

std::vector<std::pair<std::int32_t, std::int32_t>> SavedPictureCells(const std::string& path) {
  const std::vector<std::int32_t> numbers = Numbers(testing::RunPython(
      "import re, sys, zipfile\n"
      "z = zipfile.ZipFile(sys.argv[1])\n"
      "for name in sorted(n for n in z.namelist() if n.startswith('xl/drawings/drawing')):\n"
      "    xml = z.read(name).decode()\n"
      "    for m in re.finditer(r'<xdr:from><xdr:col>(\\d+)</xdr:col>.*?<xdr:row>(\\d+)</xdr:row>', xml, re.S):\n"
      "        print(int(m.group(2)) + 1, int(m.group(1)) + 1)\n",
      {path}));
  std::vector<std::pair<std::int32_t, std::int32_t>> cells;
  for (std::size_t i = 0; i + 1 < numbers.size(); i += 2) cells.emplace_back(numbers[i], numbers[i + 1]);
  return cells;
}

void MakePng(const std::string& path, int width, int height) {
  testing::RunPython("import sys\nfrom PIL import Image\n"
                     "Image.new('RGB', (int(sys.argv[2]), int(sys.argv[3])), 'orange').save(sys.argv[1])\n",
                     {path, std::to_string(width), std::to_string(height)});
}

}  // namespace tabrix::group_test
