// Column fitting against real font rendering, sheet deletion, activation and protection,
// names holding constants, manual page breaks, and the save formats of the package family.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>

#include "xlsx/xlsx_workbook.h"
#include "fixtures/office_tools.h"
#include "fixtures/report_files.h"
#include "fixtures/required_tools.h"
#include "tabrix/error.h"
#include "template_factory.h"

namespace tabrix::xlsx {
namespace {

using platform::CellRect;
using testing::RunPython;
using testing::TempFolder;

TEST(AutoFitSheets, FittedColumnsHoldTheirTextAsRenderedByARealFont) {
  TempFolder folder;
  const std::vector<std::string> texts = {"Quarterly revenue by region", "1234567.89", "WWWWWWWW",
                                          "iiiiiiiiiiiiiiii", "Mixed Case Text, with punctuation!", "x"};
  auto withTexts = [&](const std::string& first) {
    std::vector<std::string> arguments{first};
    arguments.insert(arguments.end(), texts.begin(), texts.end());
    return arguments;
  };
  std::string path = folder.File("fit.xlsx");
  RunPython(R"PY(
import sys, openpyxl
from openpyxl.styles import Font
wb = openpyxl.Workbook()
ws = wb.active
for i, t in enumerate(sys.argv[2:]):
    c = ws.cell(row=2, column=i + 1, value=t)
    c.font = Font(name="DejaVu Sans", size=11)
ws["A5"] = "merged cells do not count in the fit"
ws.merge_cells("A5:C5")
wb.save(sys.argv[1])
)PY",
            withTexts(path));
  // Widths of the texts as FreeType draws them in DejaVu Sans 11 pt at 96 dpi; fontconfig says
  // where the font file is (fc-match answers with a substitute when the font is missing).
  const testing::CommandResult match = testing::RunCommand("fc-match -f '%{family[0]}\\n%{file}' 'DejaVu Sans'");
  const std::size_t newline = match.output.find('\n');
  REQUIRE_TOOL(match.exitCode == 0 && newline != std::string::npos && match.output.substr(0, newline) == "DejaVu Sans",
               "The font DejaVu Sans (found through fc-match)", "fonts-dejavu-core and fontconfig");
  const std::string fontFile = match.output.substr(newline + 1);
  REQUIRE_PYTHON_MODULE("PIL", "python3-pil");
  std::string measured = RunPython(R"PY(
import sys
from PIL import ImageFont
font = ImageFont.truetype(sys.argv[1], 110)
for t in sys.argv[2:]:
    print(font.getlength(t) * (11 * 96 / 72) / 110)
)PY",
                                   withTexts(fontFile));
  std::vector<double> rendered;
  std::istringstream lines(measured);
  for (std::string line; std::getline(lines, line);) rendered.push_back(std::stod(line));
  ASSERT_EQ(rendered.size(), texts.size());

  auto book = platform::CreateSpreadsheetApplication()->OpenWorkbook(path, true);
  auto sheet = book->ActiveSheet();
  double untouched = sheet->ColumnWidthPoints(8);
  sheet->AutoFitColumns();
  for (std::size_t i = 0; i < texts.size(); ++i) {
    double pixels = sheet->ColumnWidthPoints(static_cast<std::int32_t>(i + 1)) / 0.75;
    // The column is within the estimate's reach of the rendered text: at least 92% of it
    // (a run of narrow letters is the worst case; the padding covers most of it) and at most
    // 15% more.
    EXPECT_GE(pixels, rendered[i] * 0.92 + 5) << texts[i];
    EXPECT_LE(pixels, rendered[i] * 1.15 + 8) << texts[i];
  }
  EXPECT_EQ(sheet->ColumnWidthPoints(8), untouched);
}

TEST(AutoFitSheets, DeletingAndActivatingSheets) {
  TempFolder folder;
  auto book = platform::CreateSpreadsheetApplication()->OpenWorkbook(test::MakeReportTemplate(folder.Path()), true);
  auto data = book->WorksheetByName("Data");
  auto summary = book->WorksheetByName("Summary");
  summary->Activate();
  EXPECT_EQ(book->ActiveSheet()->Name(), "Summary");
  data->Delete();
  EXPECT_EQ(book->WorksheetCount(), 2);
  EXPECT_EQ(book->WorksheetAt(1)->Name(), "Summary");
  EXPECT_THROW(data->GetValue(1, 1), AutomationError);
  EXPECT_EQ(dynamic_cast<XlsxWorksheet&>(*summary).GetFormula(1, 1), "=#REF!B7");
  EXPECT_TRUE(book->GetNames().Exists("GrandTotal"));  // kept, referring to #REF!$D$7
  EXPECT_THROW(summary->ResolveReference("GrandTotal"), AutomationError);
  book->WorksheetByName("Table")->Delete();
  EXPECT_THROW(summary->Delete(), AutomationError);  // the last sheet stays
  const std::string output = testing::Saved(book, folder.File("deleted.xlsx"));
  std::string names = RunPython("import sys, openpyxl\nwb = openpyxl.load_workbook(sys.argv[1])\nprint(wb.sheetnames, wb.active.title)\n", {output});
  EXPECT_EQ(names, "['Summary'] Summary\n");
  REQUIRE_LIBREOFFICE();
  EXPECT_EQ(testing::ParseCsv(testing::LibreOfficeCsv(output, 1, true)).at(0).at(0).substr(0, 1), "#");
}

TEST(AutoFitSheets, ProtectionUsesTheSaltedSha512Hash) {
  TempFolder folder;
  auto book = platform::CreateSpreadsheetApplication()->OpenWorkbook(test::MakeReportTemplate(folder.Path()), true);
  book->WorksheetByName("Data")->Protect(std::string("s3cret \u00e9"));
  book->WorksheetByName("Summary")->Protect(std::nullopt);
  book->WorksheetByName("Table")->Protect(std::string());
  const std::string output = testing::Saved(book, folder.File("protected.xlsx"));
  // Recompute the hash independently from the salt and compare.
  std::string check = RunPython(R"PY(
import sys, zipfile, re, base64, hashlib
z = zipfile.ZipFile(sys.argv[1])
out = []
for n in ("xl/worksheets/sheet1.xml", "xl/worksheets/sheet2.xml", "xl/worksheets/sheet3.xml"):
    x = z.read(n).decode()
    m = re.search(r"<sheetProtection([^>]*)/>", x)
    attrs = dict(re.findall(r'(\w+)="([^"]*)"', m.group(1)))
    if "hashValue" in attrs:
        salt = base64.b64decode(attrs["saltValue"])
        h = hashlib.sha512(salt + "s3cret \u00e9".encode("utf-16-le")).digest()
        for i in range(int(attrs["spinCount"])):
            h = hashlib.sha512(h + i.to_bytes(4, "little")).digest()
        out.append("%s %s %s" % (attrs["algorithmName"], base64.b64encode(h).decode() == attrs["hashValue"], attrs["sheet"]))
    else:
        out.append("nohash " + attrs["sheet"])
    # sheetProtection sits right after sheetData (schema order)
    out[-1] += " " + str(x.index("</sheetData>") < x.index("<sheetProtection"))
print("|".join(out))
)PY",
                                {output});
  EXPECT_EQ(check, "SHA-512 True 1 True|nohash 1 True|nohash 1 True\n");
}

// (Names set to constants: the names report and recalculation tests.)
TEST(AutoFitSheets, PageBreaksAreManualAndSetOnce) {
  TempFolder folder;
  test::Opened opened(test::MakeReportTemplate(folder.Path()));
  opened.data->GetRange("12:12").SetPageBreak(platform::kPageBreakManual);
  opened.data->Columns(5).SetPageBreak(platform::kPageBreakManual);
  opened.data->SetRowPageBreak(12, platform::kPageBreakManual);  // set twice: one break
  const std::string output = testing::Saved(opened.book, folder.File("breaks.xlsx"));
  std::string sheet = testing::ReadZipPart(output, "xl/worksheets/sheet1.xml");
  EXPECT_NE(sheet.find("<rowBreaks count=\"2\" manualBreakCount=\"2\"><brk id=\"7\" max=\"16383\" man=\"1\"/><brk id=\"11\" max=\"16383\" man=\"1\"/></rowBreaks>"),
            std::string::npos)
      << sheet;
  EXPECT_NE(sheet.find("<colBreaks count=\"1\" manualBreakCount=\"1\"><brk id=\"4\" max=\"1048575\" man=\"1\"/></colBreaks>"),
            std::string::npos);
}

TEST(AutoFitSheets, PackageFormatsKeepPartsTheEngineDoesNotEdit) {
  TempFolder folder;
  std::string path = test::MakeReportTemplate(folder.Path());
  // Give the template parts nobody edits: a VBA project, custom XML and printer settings.
  std::string macro = folder.File("macro.xlsm");
  RunPython(R"PY(
import sys, zipfile
src, dst = sys.argv[1], sys.argv[2]
zin = zipfile.ZipFile(src)
zout = zipfile.ZipFile(dst, "w", zipfile.ZIP_DEFLATED)
for item in zin.infolist():
    data = zin.read(item.filename)
    if item.filename == "[Content_Types].xml":
        data = data.replace(b"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml",
                            b"application/vnd.ms-excel.sheet.macroEnabled.main+xml")
        data = data.replace(b"</Types>", b'<Default Extension="bin" ContentType="application/vnd.ms-office.vbaProject"/></Types>')
    if item.filename == "xl/_rels/workbook.xml.rels":
        data = data.replace(b"</Relationships>", b'<Relationship Id="rId99" Type="http://schemas.microsoft.com/office/2006/relationships/vbaProject" Target="vbaProject.bin"/></Relationships>')
    zout.writestr(item, data)
zout.writestr("xl/vbaProject.bin", bytes(range(256)) * 4)
zout.writestr("customXml/item1.xml", b"<data  spacing='kept'>\r\n  <x/></data>")
zout.writestr("xl/printerSettings/printerSettings1.bin", b"\x00\x01printer")
zout.close()
)PY",
            {path, macro});
  auto book = platform::CreateSpreadsheetApplication()->OpenWorkbook(macro, true);
  EXPECT_EQ(book->FileFormat(), 52);
  book->WorksheetByName("Data")->InsertCells(CellRect{6, 1, 6, platform::kMaxColumns}, platform::kShiftDown);
  book->SaveAs(folder.File("kept.xlsm"), std::nullopt);
  book->SaveAs(folder.File("plain.xlsx"), 51);
  book->SaveAs(folder.File("template.xltx"), 54);
  EXPECT_EQ(book->FileFormat(), 54);
  std::string compare = RunPython(R"PY(
import sys, zipfile
orig = zipfile.ZipFile(sys.argv[1])
out = []
for name in sys.argv[2:]:
    z = zipfile.ZipFile(name)
    names = set(z.namelist())
    same = all(z.read(p) == orig.read(p) for p in ("customXml/item1.xml", "xl/printerSettings/printerSettings1.bin", "xl/theme/theme1.xml", "xl/styles.xml") if p in names)
    types = z.read("[Content_Types].xml").decode()
    main = [t for t in ("sheet.macroEnabled.main", "spreadsheetml.sheet.main", "spreadsheetml.template.main") if t in types]
    out.append("%s vba=%s same=%s calcChain=%s" % (main[0], "xl/vbaProject.bin" in names and z.read("xl/vbaProject.bin") == orig.read("xl/vbaProject.bin"), same, "xl/calcChain.xml" in names))
print("|".join(out))
)PY",
                                  {macro, folder.File("kept.xlsm"), folder.File("plain.xlsx"), folder.File("template.xltx")});
  EXPECT_EQ(compare,
            "sheet.macroEnabled.main vba=True same=True calcChain=False|spreadsheetml.sheet.main vba=False same=True "
            "calcChain=False|spreadsheetml.template.main vba=False same=True calcChain=False\n");
}

}  // namespace
}  // namespace tabrix::xlsx
