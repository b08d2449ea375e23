// The string table gives back texts no cell uses any more: a long run of writes replacing texts
// keeps the table near what the cells hold, and what is kept (rich text included) is saved and
// read back unchanged.
#include <gtest/gtest.h>

#include <string>

#include "fixtures/office_tools.h"
#include "tabrix/platform/spreadsheet.h"
#include "xlsx/blank_package.h"
#include "xlsx/xlsx_workbook.h"
#include "xlsx/zip_archive.h"

namespace tabrix {
namespace {

TEST(StringReclaim, ReplacedTextsDoNotPileUpAndKeptOnesSurvive) {
  testing::TempFolder folder;
  // A rich text and an error value the writes never touch.
  xlsx::PackageParts parts = xlsx::BlankPackage("Sheet1");
  parts.Put("xl/worksheets/sheet1.xml",
            "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>"
            "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><r><rPr><b/></rPr><t>bold</t></r><r><t>plain</t></r></is></c>"
            "<c r=\"B1\" t=\"e\"><v>#N/A</v></c></row></sheetData></worksheet>");
  const std::string templatePath = folder.File("rich.xlsx");
  xlsx::WriteZipFile(templatePath, parts, {});

  auto application = platform::CreateSpreadsheetApplication();
  auto book = std::dynamic_pointer_cast<xlsx::XlsxWorkbook>(application->OpenWorkbook(templatePath, true));
  auto sheet = book->WorksheetAt(1);
  constexpr int kCells = 500, kRounds = 600;  // 300,000 distinct texts, 500 in use at the end
  std::size_t largest = 0;
  for (int round = 0; round < kRounds; ++round) {
    for (int i = 0; i < kCells; ++i)
      sheet->SetValue(2 + i, 1, Variant("round " + std::to_string(round) + " cell " + std::to_string(i)));
    largest = std::max(largest, book->Strings().Size());
  }
  EXPECT_LT(largest, std::size_t{3} << 16) << "the table grows with the texts written, not the texts held";

  const std::string saved = folder.File("saved.xlsx");
  book->SaveAs(saved, std::nullopt);
  EXPECT_LE(book->Strings().Size(), std::size_t{kCells + 3});
  for (auto reopened : {book, std::dynamic_pointer_cast<xlsx::XlsxWorkbook>(application->OpenWorkbook(saved, true))}) {
    auto readBack = reopened->WorksheetAt(1);
    EXPECT_EQ(readBack->GetValue(1, 1).Text(), "boldplain");
    EXPECT_EQ(readBack->GetValue(1, 2).Text(), "#N/A");
    EXPECT_EQ(readBack->GetValue(2, 1).Text(), "round " + std::to_string(kRounds - 1) + " cell 0");
    EXPECT_EQ(readBack->GetValue(1 + kCells, 1).Text(),
              "round " + std::to_string(kRounds - 1) + " cell " + std::to_string(kCells - 1));
  }
  // The rich text keeps its runs in the saved part.
  const std::string sst = xlsx::ReadZipFile(saved).data["xl/sharedStrings.xml"];
  EXPECT_NE(sst.find("<r><rPr><b/></rPr><t>bold</t></r><r><t>plain</t></r>"), std::string::npos) << sst.substr(0, 300);
}

}  // namespace
}  // namespace tabrix
