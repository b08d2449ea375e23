// The engine computes every formula before saving: results of every type and names set to
// constants are right in the saved .xlsx (read by openpyxl) and in the text formats; formulas
// it cannot compute are left to the reader (LibreOffice computes them). Totals of grown tables
// read without recalculation: see foreign_templates_test.cpp.
#include <gtest/gtest.h>

#include <regex>
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

  // The <c> element of a cell in the saved sheet XML.
  static std::string CellXml(const std::string& path, const std::string& cell) {
    const std::string xml = ReadZipPart(path, "xl/worksheets/sheet1.xml");
    std::smatch match;
    return std::regex_search(xml, match, std::regex("<c r=\"" + cell + "\"[^>]*?(/>|>.*?</c>)")) ? match.str() : "";
  }

  TempFolder folder_{"tabrix-recalc"};
  std::shared_ptr<platform::Application> application_;
  std::shared_ptr<XlsxWorkbook> book_;
  std::shared_ptr<XlsxWorksheet> sheet_;
};

TEST_F(RecalculationTest, ResultsKeepTheirTypeAndNamesShowTheirConstants) {
  sheet_->SetValue(1, 1, Variant("Title in the template"));
  book_->DefinedNames().push_back({"ReportTitle", nullptr, "Sales!$A$1", {}, false, -1});
  const char* formulas[] = {"=ReportTitle", "=UPPER(\"abc\")&1/4", "=1>2", "=1/0",
                            "=VLOOKUP(\"x\",A1:A1,1,FALSE)", "=DATE(2024,2,29)", "=\"\""};
  for (int column = 1; column <= 7; ++column) sheet_->SetFormula(2, column, formulas[column - 1]);
  book_->GetNames().SetValue("ReportTitle", Variant("Sales \"2024\""));
  std::string xlsx = Save("types.xlsx");
  const std::string cached = RunPython(R"PY(
import sys, openpyxl
for c in openpyxl.load_workbook(sys.argv[1], data_only=True).active[2]:
    v = c.value
    v = ("TRUE" if v else "FALSE") if isinstance(v, bool) else int(v) if isinstance(v, float) and v.is_integer() else v
    print("%s:%s" % (c.data_type, "" if v is None else v))
)PY",
                                       {xlsx});
  // openpyxl calls an empty text result "str".
  EXPECT_EQ(cached, "s:Sales \"2024\"\ns:ABC0.25\nb:FALSE\ne:#DIV/0!\ne:#N/A\nn:45351\nstr:\n");
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
  EXPECT_NE(ReadZipPart(xlsx, "xl/workbook.xml").find("fullCalcOnLoad=\"1\""), std::string::npos);
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
