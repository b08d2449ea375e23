// The values our engine stores for formulas, compared cell by cell with LibreOffice's
// recalculation of the same saved file, over a corpus of generated formulas and a report laid
// out like a filled template.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "fixtures/office_tools.h"
#include "fixtures/required_tools.h"
#include "tabrix/platform/spreadsheet.h"

namespace tabrix::testing {
namespace {

const std::string kData = std::string(TABRIX_SOURCE_DIR) + "/tests/xlsx/evaluator/data/";

struct ComparedCell {
  std::string sheet, cell, ours, theirs, formula;
};

// compare_cached_values.py's lines: sheet, cell, our value, LibreOffice's, formula (tab-separated).
std::vector<ComparedCell> ParseComparison(const std::string& output) {
  std::vector<ComparedCell> cells;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    ComparedCell c;
    if (!(std::getline(fields, c.sheet, '\t') && std::getline(fields, c.cell, '\t') &&
          std::getline(fields, c.ours, '\t') && std::getline(fields, c.theirs, '\t') && std::getline(fields, c.formula)))
      throw std::runtime_error("bad comparison line: " + line);
    cells.push_back(c);
  }
  return cells;
}

// Numbers agree within 1e-9 relative; everything else exactly.
bool SameValue(const std::string& a, const std::string& b) {
  if (a == b) return true;
  if (a.rfind("n:", 0) != 0 || b.rfind("n:", 0) != 0) return false;
  double x = std::strtod(a.c_str() + 2, nullptr), y = std::strtod(b.c_str() + 2, nullptr);
  return std::fabs(x - y) <= 1e-9 * std::max(std::fabs(x), std::fabs(y));
}

// Saves the workbook through our engine (which computes every formula) and has LibreOffice
// recalculate the saved file; returns both values of every formula cell.
std::vector<ComparedCell> OursAgainstLibreOffice(const std::string& workbook, const TempFolder& folder) {
  auto application = platform::CreateSpreadsheetApplication();
  auto book = application->OpenWorkbook(workbook, true);
  std::string ours = folder.File("ours.xlsx");
  book->SaveAs(ours, 51);
  std::filesystem::create_directories(folder.File("libreoffice"));
  std::string theirs = LibreOfficeConvert(ours, "xlsx", folder.File("libreoffice"), true);
  return ParseComparison(RunPython(ReadTextFile(kData + "compare_cached_values.py"), {ours, theirs}));
}

TEST(LibreOfficeComparison, FormulaCorpusMatchesLibreOfficeRecalculation) {
  REQUIRE_LIBREOFFICE();
  TempFolder folder("tabrix-eval-corpus");
  std::string corpus = folder.File("corpus.xlsx");
  RunPython(ReadTextFile(kData + "formula_corpus.py"), {corpus});
  std::vector<ComparedCell> cells = OursAgainstLibreOffice(corpus, folder);

  std::size_t compared = 0, leftToReader = 0;
  std::ostringstream mismatches;
  for (const ComparedCell& c : cells) {
    if (c.sheet == "Unsupported") {
      // Left to the reader: no value of ours.
      EXPECT_EQ(c.ours, "empty") << c.cell << " " << c.formula;
      ++leftToReader;
      continue;
    }
    ++compared;
    if (!SameValue(c.ours, c.theirs))
      mismatches << c.sheet << "!" << c.cell << "  " << c.formula << "  ours " << c.ours
                 << "  LibreOffice " << c.theirs << "\n";
  }
  EXPECT_EQ(mismatches.str(), "");
  EXPECT_EQ(leftToReader, 8u);
  EXPECT_GT(compared, 3000u);
}

}  // namespace
}  // namespace tabrix::testing
