// Templates as other programs write them: LibreOffice's own .xlsx export of a comma-separated
// file, and the constructs a spreadsheet application writes that openpyxl does not (shared
// formulas, array formulas, inline strings, rich text).
#include <gtest/gtest.h>

#include <filesystem>

#include "xlsx/xlsx_workbook.h"
#include "fixtures/office_tools.h"
#include "fixtures/report_files.h"
#include "fixtures/required_tools.h"
#include "tabrix/error.h"

namespace tabrix::xlsx {
namespace {

using platform::CellRect;
using platform::kMaxColumns;
using testing::RunPython;
using testing::TempFolder;

TEST(ForeignTemplates, LibreOfficeTemplateGrowsAndItsTotalsRecalculate) {
  REQUIRE_LIBREOFFICE();
  TempFolder folder;
  std::string csv = folder.File("lotemplate.csv");
  testing::WriteTextFile(csv, "Item,Qty,Price,Amount\nfirst,1,2,=B2*C2\nsecond,,,=B3*C3\nTOTAL,=SUM(B2:B3),,=SUM(D2:D3)\n");
  std::string templatePath = testing::LibreOfficeConvert(csv, "xlsx", folder.Path());
  auto book = platform::CreateSpreadsheetApplication()->OpenWorkbook(templatePath, true);
  auto sheet = dynamic_cast<XlsxWorksheet*>(book->WorksheetAt(1).get());
  EXPECT_EQ(sheet->Name(), "lotemplate");
  EXPECT_EQ(sheet->GetFormula(4, 2), "=SUM(B2:B3)");
  const int records = 12;
  sheet->InsertCells(CellRect{3, 1, 3 + records - 3, kMaxColumns}, platform::kShiftDown);
  sheet->AutoFill(CellRect{2, 1, 2, 4}, CellRect{2, 1, records, 4}, platform::kFillCopy);
  double quantity = 0, amount = 0;
  for (int i = 0; i < records; ++i) {
    sheet->SetValue(2 + i, 1, Variant("item " + std::to_string(i)));
    sheet->SetValue(2 + i, 2, Variant(i + 1.0));
    sheet->SetValue(2 + i, 3, Variant(3.0));
    quantity += i + 1;
    amount += (i + 1) * 3.0;
  }
  const std::string output = testing::Saved(book, folder.File("lo-grown.xlsx"));
  auto rows = testing::ParseCsv(testing::LibreOfficeCsv(output, 1, true));
  ASSERT_GT(rows.size(), static_cast<std::size_t>(records + 1));
  EXPECT_EQ(rows[records + 1][0], "TOTAL");
  EXPECT_EQ(std::stod(rows[records + 1][1]), quantity);
  EXPECT_EQ(std::stod(rows[records + 1][3]), amount);
  // The cached values are those of the recalculation the engine saves with, so a reader that
  // does not recalculate sees the same totals.
  auto cached = testing::ParseCsv(testing::LibreOfficeCsv(output, 1, false));
  EXPECT_EQ(std::stod(cached[records + 1][1]), quantity);
}

std::string MakeApplicationStyleTemplate(const TempFolder& folder) {
  std::string path = folder.File("appstyle.xlsx");
  RunPython(R"PY(
import sys, re, zipfile, openpyxl
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "S"
for r in range(1, 5):
    ws.cell(row=r, column=2, value=r)
    ws.cell(row=r, column=3, value=10 * r)
    ws.cell(row=r, column=4, value="=B%d*C%d" % (r, r))
ws["F1"] = 0
ws["F2"] = 0
ws["G1"] = "placeholder-inline"
ws["G2"] = "placeholder-rich"
wb.save(sys.argv[1] + ".plain.xlsx")
zin = zipfile.ZipFile(sys.argv[1] + ".plain.xlsx")
zout = zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED)
rich = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
        '<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="1" uniqueCount="1">'
        '<si><r><rPr><b/><sz val="11"/></rPr><t>Bold</t></r><r><t xml:space="preserve"> normal</t></r></si></sst>')
for item in zin.infolist():
    data = zin.read(item.filename)
    if item.filename == "xl/worksheets/sheet1.xml":
        x = data.decode()
        # Shared formula D1:D4 as the application writes it.
        x = re.sub(r'<c r="D1"([^>]*)><f>B1\*C1</f>(<v\s*/>|<v>\s*</v>)?</c>', r'<c r="D1"\1><f t="shared" ref="D1:D4" si="0">B1*C1</f><v>10</v></c>', x)
        for r in (2, 3, 4):
            x = re.sub(r'<c r="D%d"([^>]*)><f>B%d\*C%d</f>(<v\s*/>|<v>\s*</v>)?</c>' % (r, r, r), r'<c r="D%d"\1><f t="shared" si="0"/><v>%d</v></c>' % (r, 10 * r * r), x)
        x = re.sub(r'<c r="F1"([^>]*)><v>0</v></c>', r'<c r="F1"\1><f t="array" ref="F1:F2">B1:B2*2</f><v>2</v></c>', x)
        x = re.sub(r'<c r="F2"([^>]*)><v>0</v></c>', r'<c r="F2"\1><v>4</v></c>', x)
        x = re.sub(r'<c r="G1"[^>]*>.*?</c>', '<c r="G1" t="inlineStr"><is><t xml:space="preserve"> inline text</t></is></c>', x)
        x = re.sub(r'<c r="G2"([^>]*)>.*?</c>', '<c r="G2" t="s"><v>0</v></c>', x)
        data = x.encode()
    if item.filename == "xl/_rels/workbook.xml.rels":
        data = data.replace(b"</Relationships>", b'<Relationship Id="rId77" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/></Relationships>')
    if item.filename == "[Content_Types].xml":
        data = data.replace(b"</Types>", b'<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/></Types>')
    zout.writestr(item, data)
zout.writestr("xl/sharedStrings.xml", rich)
zout.close()
)PY",
            {path});
  return path;
}

TEST(ForeignTemplates, SharedAndArrayFormulasInlineStringsAndRichText) {
  TempFolder folder;
  std::string path = MakeApplicationStyleTemplate(folder);
  std::string original = testing::ReadZipPart(path, "xl/worksheets/sheet1.xml");
  ASSERT_NE(original.find("t=\"shared\" si=\"0\"/>"), std::string::npos) << original;
  ASSERT_NE(original.find("t=\"array\""), std::string::npos) << original;
  auto book = platform::CreateSpreadsheetApplication()->OpenWorkbook(path, true);
  auto sheet = dynamic_cast<XlsxWorksheet*>(book->WorksheetAt(1).get());
  // The shared formula stays one entry; each cell reads its own text; cached values are read.
  EXPECT_EQ(sheet->Cells().FindCell(1, 4)->formula, sheet->Cells().FindCell(4, 4)->formula);
  EXPECT_EQ(sheet->GetFormula(1, 4), "=B1*C1");
  EXPECT_EQ(sheet->GetFormula(3, 4), "=B3*C3");
  EXPECT_EQ(sheet->GetValue(3, 4), Variant(90.0));
  EXPECT_EQ(sheet->GetFormula(1, 6), "=B1:B2*2");
  EXPECT_EQ(sheet->GetValue(1, 7), Variant(" inline text"));
  EXPECT_EQ(sheet->GetValue(2, 7), Variant("Bold normal"));

  // A value written into one of its cells and a copy of another leave the rest shared, and so
  // it is saved: the master with its range, the other cells by number only.
  sheet->SetValue(2, 4, Variant(7.0));
  sheet->CopyCells(CellRect{3, 4, 3, 4}, 3, 5);
  EXPECT_EQ(sheet->GetFormula(3, 5), "=C3*D3");
  std::string kept = folder.File("appstyle-shared.xlsx");
  book->SaveAs(kept, std::nullopt);
  std::string keptXml = testing::ReadZipPart(kept, "xl/worksheets/sheet1.xml");
  EXPECT_NE(keptXml.find("<f t=\"shared\" ref=\"D1:D4\" si=\"0\">B1*C1</f>"), std::string::npos) << keptXml;
  EXPECT_NE(keptXml.find("<c r=\"D4\"><f t=\"shared\" si=\"0\"/>"), std::string::npos) << keptXml;
  EXPECT_EQ(keptXml.find("<c r=\"D2\"><f"), std::string::npos) << keptXml;
  EXPECT_EQ(testing::OpenpyxlCells(kept, "S", {"D3", "E3"}), (std::vector<std::string>{"=B3*C3", "=C3*D3"}));

  // Rows inserted below everything the shared formula covers and refers to leave it one entry;
  // rows inserted above it move references formula by formula: the shared formula is split.
  sheet->InsertCells(CellRect{10, 1, 11, kMaxColumns}, platform::kShiftDown);
  EXPECT_EQ(sheet->Cells().FindCell(1, 4)->formula, sheet->Cells().FindCell(4, 4)->formula);
  sheet->InsertCells(CellRect{1, 1, 2, kMaxColumns}, platform::kShiftDown);
  EXPECT_EQ(sheet->GetFormula(5, 4), "=B5*C5");
  const std::string output = testing::Saved(book, folder.File("appstyle-out.xlsx"));
  std::string xml = testing::ReadZipPart(output, "xl/worksheets/sheet1.xml");
  EXPECT_NE(xml.find("<c r=\"F3\"><f t=\"array\" ref=\"F3:F4\""), std::string::npos) << xml;
  EXPECT_NE(xml.find(">B3:B4*2</f>"), std::string::npos) << xml;
  EXPECT_EQ(xml.find("t=\"shared\""), std::string::npos);
  std::string strings = testing::ReadZipPart(output, "xl/sharedStrings.xml");
  EXPECT_NE(strings.find("<si><r><rPr><b/><sz val=\"11\"/></rPr><t>Bold</t></r><r><t xml:space=\"preserve\"> normal</t></r></si>"),
            std::string::npos)
      << strings;
  auto values = testing::OpenpyxlCells(output, "S", {"G3", "G4", "D6"});
  EXPECT_EQ(values, (std::vector<std::string>{" inline text", "Bold normal", "=B6*C6"}));
  REQUIRE_LIBREOFFICE();
  auto rows = testing::ParseCsv(testing::LibreOfficeCsv(output, 1, true));
  EXPECT_EQ(rows.at(5).at(3), "160");
  EXPECT_EQ(rows.at(3).at(5), "4");
  // LibreOffice computes the saved shared formula for each of its cells.
  auto keptRows = testing::ParseCsv(testing::LibreOfficeCsv(kept, 1, true));
  std::vector<std::string> columnD;
  for (std::size_t r = 0; r < 4; ++r) columnD.push_back(keptRows.at(r).at(3));
  EXPECT_EQ(columnD, (std::vector<std::string>{"10", "7", "90", "160"}));
  EXPECT_EQ(keptRows.at(2).at(4), "2700");
}

}  // namespace
}  // namespace tabrix::xlsx
