// Real files for the grouped-report tests: templates made by openpyxl, SQLite databases, the
// saved report opened back by the native engine and by openpyxl (page breaks, pictures).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tabrix/platform/database.h"
#include "tabrix/platform/spreadsheet.h"

namespace tabrix::group_test {

// A fresh folder under the build tree, removed and made again for every call with that name.
std::string ScratchFolder(const std::string& name);

// Writes orders.xlsx and orders_right.xlsx (see make_group_templates.py) into `folder`.
void MakeTemplates(const std::string& folder);

// Creates the SQLite database `path` by running `script` (several statements).
void MakeDatabase(const std::string& path, const std::string& script);

// Opens `sql` on the SQLite database `path`. The connection lives as long as the recordset.
std::shared_ptr<platform::Recordset> OpenRecordset(const std::string& path, const std::string& sql);

// A template opened read-only, with its sheet "Report".
struct OpenedTemplate {
  std::shared_ptr<platform::Application> application;
  std::shared_ptr<platform::Workbook> workbook;
  std::shared_ptr<platform::Worksheet> sheet;
};
OpenedTemplate OpenTemplate(const std::string& path);

// The sheet "Report" of a saved report, read back by the native engine: texts of the cells
// (numbers in their shortest form, blank cells "").
class SavedSheet {
 public:
  explicit SavedSheet(const std::string& path);
  std::string Text(std::int32_t row, std::int32_t column);
  Variant Value(std::int32_t row, std::int32_t column);
  // Texts of a row (or of a column, `columnWise`) from 1 to `last`, joined by "|".
  std::string Line(std::int32_t index, std::int32_t last, bool columnWise = false);
  std::int32_t WorksheetCount();

 private:
  std::shared_ptr<platform::Application> application_;
  std::shared_ptr<platform::Workbook> workbook_;
  std::shared_ptr<platform::Worksheet> sheet_;
};

// Manual page breaks of sheet "Report" as openpyxl reads them from the file: the rows above
// which (or columns left of which) a break is set.
std::vector<std::int32_t> SavedRowBreaks(const std::string& path);
std::vector<std::int32_t> SavedColumnBreaks(const std::string& path);

// Top-left cells (row, column) of the pictures anchored in the saved workbook, in file order.
std::vector<std::pair<std::int32_t, std::int32_t>> SavedPictureCells(const std::string& path);

// A small PNG picture of the given pixel size.
void MakePng(const std::string& path, int width, int height);

}  // namespace tabrix::group_test
