// Shared pieces of the fill tests: scratch folder, SQLite databases, openpyxl templates, the
// engine, and an independent read-back of saved files.
#include "fill/fill_fixture.h"

#include <sqlite3.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tabrix::filltest {
namespace fs = std::filesystem;

namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '\t') {
      parts.push_back(part);
      part.clear();
    } else if (c == '\\' && i + 1 < line.size()) {
      char e = line[++i];
      part += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e;
    } else {
      part += c;
    }
  }
  parts.push_back(part);
  return parts;
}

std::string TestSourceDir() { return TABRIX_SOURCE_DIR; }

}  // namespace

void MakeTemplate(const std::string& path, const std::string& body) {
  RunPython(
      "import sys\n"
      "from openpyxl import Workbook\n"
      "from openpyxl.styles import Font, PatternFill\n"
      "from openpyxl.workbook.defined_name import DefinedName\n"
      "def add_name(wb, name, ref):\n"
      "    dn = DefinedName(name, attr_text=ref)\n"
      "    try:\n"
      "        wb.defined_names.append(dn)\n"
      "    except AttributeError:\n"
      "        wb.defined_names[name] = dn\n"
      "wb = Workbook()\n"
      "ws = wb.active\n"
      "ws.title = 'Data'\n" +
          body + "\nwb.save(sys.argv[1])\n",
      {path});
}

void MakeDatabase(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* message = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  const std::string text = message ? message : "";
  sqlite3_free(message);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << text;
}

RecordsetPtr OpenRecordset(const std::string& databasePath, const std::string& sql) {
  ConnectionPtr connection = platform::CreateConnection();
  connection->SetConnectionString("Provider=SQLite;Data Source=" + databasePath);
  connection->Open("", "", "");
  RecordsetPtr recordset = platform::CreateRecordset();
  recordset->Open(sql, connection);
  return recordset;
}

OpenedTemplate OpenTemplate(const std::string& path) {
  OpenedTemplate opened;
  opened.Application = platform::CreateSpreadsheetApplication();
  opened.Workbook = opened.Application->OpenWorkbook(path, true);
  opened.Sheet = opened.Workbook->WorksheetAt(1);
  return opened;
}

CellFacts SavedWorkbook::Cell(const std::string& sheet, const std::string& ref) const {
  auto s = Cells.find(sheet);
  if (s == Cells.end()) return CellFacts{};
  auto c = s->second.find(ref);
  return c == s->second.end() ? CellFacts{} : c->second;
}

SavedWorkbook ReadSaved(const std::string& path) {
  std::ifstream script(TestSourceDir() + "/tests/fill/inspect_xlsx.py");
  std::stringstream text;
  text << script.rdbuf();
  const std::string output = RunPython(text.str(), {path});
  SavedWorkbook saved;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    const std::vector<std::string> p = SplitTabs(line);
    if (p[0] == "sheet") {
      saved.Sheets.push_back(p.at(1));
    } else if (p[0] == "cell") {
      CellFacts facts;
      facts.Type = p.at(3).empty() ? 'e' : p[3][0];
      facts.Value = p.at(4);
      facts.NumberFormat = p.at(5);
      facts.Fill = p.at(6);
      saved.Cells[p[1]][p[2]] = facts;
    } else if (p[0] == "rowbreak") {
      saved.RowBreaks[p.at(1)].push_back(std::stoi(p.at(2)));
    } else if (p[0] == "colbreak") {
      saved.ColumnBreaks[p.at(1)].push_back(std::stoi(p.at(2)));
    } else if (p[0] == "merge") {
      saved.Merges[p.at(1)].push_back(p.at(2));
    } else if (p[0] == "name") {
      saved.Names[p.at(1)] = p.at(2);
    } else if (p[0] == "picture") {
      PictureFacts picture;
      picture.Column0 = std::stoi(p.at(2));
      picture.Row0 = std::stoi(p.at(3));
      picture.WidthPoints = p.at(4).empty() ? -1 : std::stod(p[4]) / 12700.0;
      picture.HeightPoints = p.at(5).empty() ? -1 : std::stod(p[5]) / 12700.0;
      picture.Anchor = p.at(6);
      picture.EditAs = p.at(7);
      saved.Pictures[p[1]].push_back(picture);
    }
  }
  return saved;
}

SavedWorkbook SaveAndRead(const OpenedTemplate& opened, const std::string& path) {
  opened.Workbook->SaveAs(path, std::nullopt);
  return ReadSaved(path);
}

std::map<std::string, SheetRows> RecalculatedSheets(const std::string& path) {
  std::map<std::string, SheetRows> sheets;
  if (!LibreOfficeAvailable()) return sheets;
  ScratchFolder work("tabrix-fill-lo");
  // Every sheet into its own file, named book-<sheet>.csv.
  fs::create_directories(work.File("out"));
  fs::copy_file(path, work.File("book.xlsx"));
  testing::LibreOfficeConvert(
      work.File("book.xlsx"),
      "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1",
      work.File("out"), /*recalculate=*/true);
  for (const auto& entry : fs::directory_iterator(work.File("out"))) {
    const std::string stem = entry.path().stem().string();
    if (entry.path().extension() != ".csv" || stem.rfind("book-", 0) != 0) continue;
    sheets[stem.substr(5)] = testing::ParseCsv(testing::ReadTextFile(entry.path().string()));
  }
  return sheets;
}

std::string RecalculatedCell(const SheetRows& rows, const std::string& ref) {
  size_t i = 0;
  int column = 0;
  while (i < ref.size() && std::isalpha(static_cast<unsigned char>(ref[i])))
    column = column * 26 + (std::toupper(static_cast<unsigned char>(ref[i++])) - 'A' + 1);
  const int row = std::stoi(ref.substr(i));
  if (row < 1 || static_cast<size_t>(row) > rows.size()) return "";
  const auto& cells = rows[static_cast<size_t>(row - 1)];
  if (column < 1 || static_cast<size_t>(column) > cells.size()) return "";
  return cells[static_cast<size_t>(column - 1)];
}

AutomationError CaughtError(const std::function<void()>& call) {
  try {
    call();
  } catch (const AutomationError& error) {
    return error;
  }
  ADD_FAILURE() << "no error was raised";
  return AutomationError(0, "", "");
}

void MakePng(const std::string& path, int width, int height, int dpi) {
  RunPython(
      "import struct, sys, zlib\n"
      "path, w, h, dpi = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])\n"
      "def chunk(t, d):\n"
      "    return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)\n"
      "raw = b''.join(b'\\x00' + bytes([200, 40, 40]) * w for _ in range(h))\n"
      "png = b'\\x89PNG\\r\\n\\x1a\\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0))\n"
      "if dpi:\n"
      "    ppm = int(round(dpi / 0.0254))\n"
      "    png += chunk(b'pHYs', struct.pack('>IIB', ppm, ppm, 1))\n"
      "png += chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b'')\n"
      "open(path, 'wb').write(png)\n",
      {path, std::to_string(width), std::to_string(height), std::to_string(dpi)});
}

}  // namespace tabrix::filltest
