// Shared pieces of the fill tests: a scratch folder, SQLite databases, templates built with
// openpyxl, the workbook engine, and an independent read-back of saved files.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tabrix/error.h"
#include "tabrix/platform/database.h"
#include "tabrix/platform/spreadsheet.h"
#include "fixtures/office_tools.h"
#include "tabrix/tabrix.h"

namespace tabrix::filltest {

using ScratchFolder = testing::TempFolder;
using testing::RunPython;

// Writes a template: `body` is Python run with `wb` (a new openpyxl workbook), `ws` (its first
// sheet, titled "Data") and the openpyxl names Font, PatternFill, DefinedName in scope; the
// workbook is saved to `path` afterwards.
void MakeTemplate(const std::string& path, const std::string& body);

// Creates a SQLite database file and runs the statements in it.
void MakeDatabase(const std::string& path, const std::string& sql);

// Opens a recordset on a SQLite file.
RecordsetPtr OpenRecordset(const std::string& databasePath, const std::string& sql);

// A workbook opened from a template through the native engine.
struct OpenedTemplate {
  ApplicationPtr Application;
  WorkbookPtr Workbook;
  WorksheetPtr Sheet;  // the first worksheet
};
OpenedTemplate OpenTemplate(const std::string& path);

// What a saved file holds, read back independently (openpyxl and the package parts).
struct CellFacts {
  char Type = 'e';  // n number, s text, b Boolean, d date, f formula, e empty
  std::string Value;
  std::string NumberFormat;
  std::string Fill;
};
struct PictureFacts {
  std::int32_t Column0 = 0, Row0 = 0;  // 0-based anchor cell
  double WidthPoints = 0, HeightPoints = 0;
  std::string Anchor, EditAs;
};
struct SavedWorkbook {
  std::vector<std::string> Sheets;
  std::map<std::string, std::map<std::string, CellFacts>> Cells;  // sheet -> ref -> facts
  std::map<std::string, std::vector<int>> RowBreaks, ColumnBreaks;
  std::map<std::string, std::vector<std::string>> Merges;
  std::map<std::string, std::string> Names;
  std::map<std::string, std::vector<PictureFacts>> Pictures;

  CellFacts Cell(const std::string& sheet, const std::string& ref) const;
  // Value text of a cell ("" when empty); numbers as Python's repr of a float ("12.0").
  std::string Text(const std::string& sheet, const std::string& ref) const {
    return Cell(sheet, ref).Value;
  }
};
SavedWorkbook ReadSaved(const std::string& path);

// Saves through the engine and reads the file back.
SavedWorkbook SaveAndRead(const OpenedTemplate& opened, const std::string& path);

// LibreOffice, when installed: every sheet's values after a full recalculation on load, as CSV
// rows of cells by sheet name. Empty when LibreOffice is not available.
using testing::LibreOfficeAvailable;
using SheetRows = std::vector<std::vector<std::string>>;
std::map<std::string, SheetRows> RecalculatedSheets(const std::string& path);
// Cell text of recalculated rows ("" outside them), by A1 reference.
std::string RecalculatedCell(const SheetRows& rows, const std::string& ref);

// Collects FunctionProgress events.
struct ProgressRecorder : TabrixEvents {
  std::vector<std::pair<std::int32_t, std::int32_t>> Calls;
  void FunctionProgress(std::int32_t progress, std::int32_t recordCount) override {
    Calls.emplace_back(progress, recordCount);
  }
};

// Runs `call` and returns the AutomationError it raises (fails the test when none is raised).
AutomationError CaughtError(const std::function<void()>& call);

// A PNG of the given pixel size (and resolution, 0 for none recorded).
void MakePng(const std::string& path, int width, int height, int dpi = 0);

}  // namespace tabrix::filltest
