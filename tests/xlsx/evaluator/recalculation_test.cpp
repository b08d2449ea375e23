// The engine computes every formula before saving: totals of grown tables, names set to
// constants and results of every type are right in the saved .xlsx (read by openpyxl) and in the
// text formats; formulas it cannot compute are left to the reader (LibreOffice computes them).
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "xlsx/formula_recalculation.h"
#include "xlsx/xlsx_workbook.h"
#include "fixtures/office_tools.h"
#include "fixtures/required_tools.h"

namespace tabrix::testing {
namespace {

using xlsx::XlsxWorkbook;
using xlsx::XlsxWorksheet;

class RecalculationTest : public ::testing::Test {
 protected:
  RecalculationTest() {
    application_ = platform::CreateSpreadsheetApplication();
    book_ = XlsxWorkbook::CreateBlank(application_, "Sales");
    sheet_ = std::static_pointer_cast<XlsxWorksheet>(book_->WorksheetAt(1));
  }

  std::string Save(const std::string& name, std::int32_t format = 51) {
    std::string path = folder_.File(name);
    book_->SaveAs(path, format, platform::kAccessModeNoChange);
    return path;
  }

  // The stored (cached) values of cells as openpyxl reads them.
  std::vector<std::string> CachedValues(const std::string& path, const std::vector<std::string>& cells) {
    std::string script = R"PY(
import sys, openpyxl
ws = openpyxl.load_workbook(sys.argv[1], data_only=True).active
for ref in sys.argv[2:]:
    c = ws[ref]
    v = c.value
    if isinstance(v, bool): v = "TRUE" if v else "FALSE"
    elif isinstance(v, float) and v.is_integer(): v = int(v)
    print("%s:%s" % (c.data_type, "" if v is None else v))
)PY";
    std::vector<std::string> arguments{path};
    arguments.insert(arguments.end(), cells.begin(), cells.end());
    std::string output = RunPython(script, arguments);
    std::vector<std::string> values;
    std::size_t start = 0;
    while (start < output.size()) {
      std::size_t end = output.find('\n', start);
      values.push_back(output.substr(start, end - start));
      start = end == std::string::npos ? output.size() : end + 1;
    }
    return values;
  }

  // The <c> element of a cell in the saved sheet XML.
  std::string CellXml(const std::string& path, const std::string& cell) {
    std::string script = R"PY(
import re, sys, zipfile
xml = zipfile.ZipFile(sys.argv[1]).read("xl/worksheets/sheet1.xml").decode()
m = re.search(r'<c r="%s"[^>]*?(/>|>.*?</c>)' % sys.argv[2], xml)
print(m.group(0) if m else "")
)PY";
    std::string out = RunPython(script, {path, cell});
    return out.substr(0, out.find('\n'));
  }

  TempFolder folder_{"tabrix-recalc"};
  std::shared_ptr<platform::Application> application_;
  std::shared_ptr<XlsxWorkbook> book_;
  std::shared_ptr<XlsxWorksheet> sheet_;
};

TEST_F(RecalculationTest, TotalsOfAGrownTableAreStoredInEveryOutput) {
  // Template: rows 5 and 6 reserved for the table, totals in row 7 over both.
  sheet_->SetValue(4, 1, Variant("Item"));
  sheet_->SetValue(4, 2, Variant("Qty"));
  sheet_->SetValue(4, 3, Variant("Price"));
  sheet_->SetValue(7, 1, Variant("TOTAL"));
  sheet_->SetFormula(7, 2, "=SUM(B5:B6)");
  sheet_->SetFormula(7, 4, "=SUM(D5:D6)");
  sheet_->SetFormula(8, 4, "=ROUND(AVERAGE(D5:D6),2)");
  // The fill: 500 records, the table grows by inserting rows inside the reserved ones.
  const int records = 500;
  sheet_->InsertCells({6, 1, 6 + records - 3, platform::kMaxColumns}, platform::kShiftDown);
  std::vector<double> amounts;
  for (int i = 0; i < records; ++i) {
    std::int32_t row = 5 + i;
    double qty = (i * 7) % 13 + 1, price = 0.25 * ((i * 11) % 17) + 0.1;
    sheet_->SetValue(row, 1, Variant("item " + std::to_string(i)));
    sheet_->SetValue(row, 2, Variant(qty));
    sheet_->SetValue(row, 3, Variant(price));
    sheet_->SetFormula(row, 4, "=B" + std::to_string(row) + "*C" + std::to_string(row));
    amounts.push_back(qty * price);
  }
  const std::int32_t total = 5 + records;
  ASSERT_EQ(sheet_->GetFormula(total, 4), "=SUM(D5:D" + std::to_string(total - 1) + ")");
  double qtySum = 0;
  for (int i = 0; i < records; ++i) qtySum += (i * 7) % 13 + 1;
  double amountSum = std::accumulate(amounts.begin(), amounts.end(), 0.0);

  std::string xlsx = Save("grown.xlsx");
  std::string t = std::to_string(total), a = std::to_string(total + 1);
  std::vector<std::string> cached = CachedValues(xlsx, {"B" + t, "D" + t, "D5", "D" + a});
  EXPECT_EQ(cached[0], "n:" + std::to_string(static_cast<long>(qtySum)));
  EXPECT_NEAR(std::stod(cached[1].substr(2)), amountSum, 1e-9 * amountSum);
  EXPECT_EQ(cached[2], "n:0.1");
  EXPECT_NEAR(std::stod(cached[3].substr(2)), std::round(amountSum / records * 100) / 100, 1e-12);

  // (The text formats and a reader that shows cached values without recalculating are checked
  // in ResultsKeepTheirTypeAndNamesShowTheirConstants and in foreign_templates_test.cpp.)
}

TEST_F(RecalculationTest, ResultsKeepTheirTypeAndNamesShowTheirConstants) {
  sheet_->SetValue(1, 1, Variant("Title in the template"));
  book_->DefinedNames().push_back({"ReportTitle", nullptr, "Sales!$A$1", {}, false, -1});
  sheet_->SetFormula(2, 1, "=ReportTitle");
  sheet_->SetFormula(2, 2, "=UPPER(\"abc\")&1/4");
  sheet_->SetFormula(2, 3, "=1>2");
  sheet_->SetFormula(2, 4, "=1/0");
  sheet_->SetFormula(2, 5, "=VLOOKUP(\"x\",A1:A1,1,FALSE)");
  sheet_->SetFormula(2, 6, "=DATE(2024,2,29)");
  sheet_->SetFormula(2, 7, "=\"\"");
  book_->GetNames().SetValue("ReportTitle", Variant("Sales \"2024\""));
  std::string xlsx = Save("types.xlsx");
  EXPECT_EQ(CachedValues(xlsx, {"A2", "B2", "C2", "D2", "E2", "F2", "G2"}),
            (std::vector<std::string>{"s:Sales \"2024\"", "s:ABC0.25", "b:FALSE", "e:#DIV/0!",
                                      "e:#N/A", "n:45351", "str:"}));  // openpyxl: an empty text result
  EXPECT_NE(CellXml(xlsx, "B2").find("t=\"str\""), std::string::npos);
  // The text formats write what the cells show.
  std::vector<std::vector<std::string>> csv = ParseCsv(ReadTextFile(Save("types.csv", 6)));
  ASSERT_GE(csv.size(), 2u);
  EXPECT_EQ(std::vector<std::string>(csv[1].begin(), csv[1].begin() + 5),
            (std::vector<std::string>{"Sales \"2024\"", "ABC0.25", "FALSE", "#DIV/0!", "#N/A"}));
}

TEST_F(RecalculationTest, FormulasItCannotComputeAreLeftToTheReader) {
  sheet_->SetValue(1, 1, Variant(5.0));
  sheet_->SetValue(2, 1, Variant(7.0));
  sheet_->SetFormula(1, 2, "=OFFSET(A1,1,0)", Variant(123.0));  // a stale cached value
  sheet_->SetFormula(2, 2, "=B1*2", Variant(246.0));
  sheet_->SetFormula(3, 2, "=SUM(A1:A2)");
  std::string xlsx = Save("reader.xlsx");
  for (const char* cell : {"B1", "B2"}) {
    std::string xml = CellXml(xlsx, cell);
    EXPECT_NE(xml.find("ca=\"1\""), std::string::npos) << xml;
    EXPECT_EQ(xml.find("<v>"), std::string::npos) << xml;  // no stale value
  }
  std::string computed = CellXml(xlsx, "B3");
  EXPECT_NE(computed.find("<v>12</v>"), std::string::npos) << computed;
  EXPECT_EQ(computed.find("ca="), std::string::npos) << computed;
  std::string workbookXml = RunPython(
      "import sys, zipfile\nprint(zipfile.ZipFile(sys.argv[1]).read('xl/workbook.xml').decode())", {xlsx});
  EXPECT_NE(workbookXml.find("fullCalcOnLoad=\"1\""), std::string::npos);
  xlsx::RecalculationSummary summary = xlsx::RecalculateFormulas(*book_);
  EXPECT_EQ(summary.formulas, 3u);
  EXPECT_EQ(summary.computed, 1u);
  EXPECT_EQ(summary.leftToReader, 2u);
  EXPECT_EQ(summary.firstProblem, "function OFFSET (in B1)");
  REQUIRE_LIBREOFFICE();
  // A recalculating reader computes them.
  std::vector<std::vector<std::string>> values = ParseCsv(LibreOfficeCsv(xlsx, 1, true));
  ASSERT_GE(values.size(), 2u);
  EXPECT_EQ(values[0][1], "7");
  EXPECT_EQ(values[1][1], "14");
}

}  // namespace
}  // namespace tabrix::testing
