// Texts of every source in a run: bytes that are not UTF-8 from SQLite, parameters and legacy
// 8-bit CSV templates and characters XML cannot hold, checked in the saved package with a strict
// XML parser and LibreOffice; sheet and field names matched without case for every letter.
#include <gtest/gtest.h>

#include "fixtures/office_tools.h"
#include "fixtures/required_tools.h"
#include "fixtures/run_fixture.h"

namespace tabrix {
namespace {

using testing::ExecuteSql;
using testing::LibreOfficeConvert;
using testing::LibreOfficeCsv;
using testing::ParseCsv;
using testing::ReadZipPart;
using testing::ReportRunTest;
using testing::RunPython;
using testing::TempFolder;
using testing::WriteText;

// Parses every XML part of a package with expat, which refuses bytes that are not UTF-8 and
// characters XML 1.0 cannot hold; returns the names of the parts that fail, with the reason.
std::string BrokenXmlParts(const std::string& package) {
  return RunPython(
      "import sys, zipfile, xml.parsers.expat\n"
      "bad = []\n"
      "with zipfile.ZipFile(sys.argv[1]) as z:\n"
      "    for name in z.namelist():\n"
      "        if not (name.endswith('.xml') or name.endswith('.rels')): continue\n"
      "        p = xml.parsers.expat.ParserCreate()\n"
      "        try: p.Parse(z.read(name), True)\n"
      "        except xml.parsers.expat.ExpatError as e: bad.append(name + ': ' + str(e))\n"
      "print('\\n'.join(bad), end='')\n",
      {package});
}

TEST_F(ReportRunTest, TextsThatAreNotUtf8OrNotXmlCharactersLeaveTheWorkbookWellFormed) {
  // Latin-1 bytes, U+FFFE and U+FFFF, a lone surrogate (as SQLite hands it over from UTF-16
  // text), a C0 control; the last row comes from a run parameter holding Latin-1 bytes.
  ExecuteSql(Database(),
             "CREATE TABLE texts (n INTEGER, t TEXT);"
             "INSERT INTO texts VALUES (1, CAST(X'5AFC72696368' AS TEXT)), (2, 'a' || char(65534) || 'b'),"
             " (3, 'c' || char(65535) || 'd'), (4, CAST(X'65EDA08066' AS TEXT)), (5, 'g' || char(1) || 'h');");
  ASSERT_EQ(Run(Definition("ReportTemplateFileName=templates\\report.xlsx\r\nReportFileName=out\\texts.xlsx\r\n",
                           "@t=REPORT(SHEET=Data RESERVE=2 CELL=A4) SELECT t FROM (SELECT n, t FROM texts "
                           "UNION ALL SELECT 6, 'M%Min%r') ORDER BY n\r\n"),
                "", "\xFC"),
            std::nullopt);
  const std::string report = folder_.File("out/texts.xlsx");
  EXPECT_EQ(BrokenXmlParts(report), "");
  // Characters XML cannot hold are escaped in the shared strings, bad bytes are U+FFFD.
  const std::string strings = ReadZipPart(report, "xl/sharedStrings.xml");
  for (const char* text : {"Z\uFFFDrich", "a_xFFFE_b", "c_xFFFF_d", "e_xD800_f", "g_x0001_h", "M\uFFFDr"})
    EXPECT_NE(strings.find(text), std::string::npos) << text << " in " << strings;

  REQUIRE_LIBREOFFICE();
  const auto rows = ParseCsv(LibreOfficeCsv(report, 1, false));
  ASSERT_GE(rows.size(), 9u);
  EXPECT_EQ(rows[3].at(0), "Z\uFFFDrich");
  // The text around the character XML cannot hold is intact. (LibreOffice's own UTF-8 writers
  // cannot write the lone surrogate, nor the character after it: that row is checked below.)
  for (int i : {4, 5, 7}) {
    const std::string& cell = rows[i].at(0);
    ASSERT_GE(cell.size(), 2u) << i;
    EXPECT_EQ(cell.front(), "acegM"[i - 4]) << cell;
    EXPECT_EQ(cell.back(), "bdfhr"[i - 4]) << cell;
  }
  EXPECT_EQ(rows[8].at(0), "M\uFFFDr");
  // Its OpenDocument writer drops the characters XML cannot hold and keeps the rest.
  TempFolder converted;
  const std::string content = ReadZipPart(LibreOfficeConvert(report, "ods", converted.Path()), "content.xml");
  for (const char* text : {">ab<", ">cd<", ">ef<"}) EXPECT_NE(content.find(text), std::string::npos) << text;
}

// Parts written from XML documents (here the workbook part with a defined name's value) have no
// escape: bad bytes become U+FFFD and characters XML cannot hold (a C0 control, U+FFFE, a lone
// surrogate) are dropped, each alone: the character after it stays.
TEST_F(ReportRunTest, ADefinedNameHoldingAnyBytesLeavesTheWorkbookPartWellFormed) {
  auto book = platform::CreateSpreadsheetApplication()->OpenWorkbook(Template(), false);
  book->GetNames().SetValue("Title", Variant(std::string("Z\xFCrich\x01 end \uFFFE" "a\xED\xA0\x80" "b")));
  const std::string report = folder_.File("named.xlsx");
  book->SaveAs(report, std::nullopt);
  EXPECT_EQ(BrokenXmlParts(report), "");
  EXPECT_NE(ReadZipPart(report, "xl/workbook.xml").find(">\"Z\uFFFDrich end ab\"<"), std::string::npos)
      << ReadZipPart(report, "xl/workbook.xml");
}

TEST_F(ReportRunTest, ALegacy8BitCsvTemplateKeepsItsLetters) {
  WriteText(folder_.File("templates/places.csv"), "Name,Ort\r\nM\xFCller,Z\xFCrich \x80\r\n");
  ASSERT_EQ(Run(Definition("ReportTemplateFileName=templates\\places.csv\r\nReportFileName=out\\places.xlsx\r\n"
                           "ReportFileType=xlOpenXMLWorkbook\r\n",
                           "@p=REPORT(SHEET=1 TYPE=FIX CELL=A3,B3) SELECT 'Gen\xE8ve', 'Stra\xDF" "e'\r\n")),
            std::nullopt);
  const std::string report = folder_.File("out/places.xlsx");
  EXPECT_EQ(BrokenXmlParts(report), "");
  REQUIRE_LIBREOFFICE();
  const auto rows = ParseCsv(LibreOfficeCsv(report, 1, false));
  ASSERT_GE(rows.size(), 3u);
  EXPECT_EQ(rows[1], (std::vector<std::string>{"M\u00FCller", "Z\u00FCrich \u20AC"}));
  // The template's text is the file's code page; the values the query returns are not UTF-8.
  EXPECT_EQ(rows[2], (std::vector<std::string>{"Gen\uFFFDve", "Stra\uFFFDe"}));
}

TEST_F(ReportRunTest, SheetAndFieldNamesMatchWithoutCaseForEveryLetter) {
  // The test template with a sheet "Ümsatz", and a picture whose path the query returns.
  RunPython(
      "import sys\n"
      "from openpyxl import load_workbook\n"
      "from PIL import Image\n"
      "wb = load_workbook(sys.argv[1])\n"
      "wb.create_sheet('\u00DCmsatz')['A1'] = 'Umsatz'\n"
      "wb.save(sys.argv[1])\n"
      "Image.new('RGB', (8, 8), (200, 0, 0)).save(sys.argv[2])\n",
      {Template(), folder_.File("data/red.png")});
  const std::string script =
      "@sheet=REPORT(SHEET=\u00FCmsatz TYPE=FIX CELL=A2) SELECT 'found'\r\n"
      "@group=REPORT(SHEET=Groups CELL=A2,A3,B3 GROUP=gr\u00F6\u00DFe GROUPRANGE=A2:B4)\r\n"
      "SELECT grp AS \"GR\u00D6\u00DFE\", name, qty FROM items ORDER BY grp, name\r\n"
      "@image=REPORT(SHEET=Other TYPE=FIX CELL=A5,B5 IMAGE=gr\u00F6\u00DFe) SELECT 'red', '" +
      folder_.File("data/red.png") + "' AS \"GR\u00D6\u00DFE\"\r\n";
  ASSERT_EQ(Run(Definition("ReportTemplateFileName=templates\\report.xlsx\r\nReportFileName=out\\case.xlsx\r\n",
                           script)),
            std::nullopt);
  for (const ErrObject& error : events_.errors) EXPECT_EQ(error.Number, 0) << error.Description;
  const std::string report = folder_.File("out/case.xlsx");
  const auto cells = testing::OpenpyxlCells(report, "\u00DCmsatz", {"A2"});
  EXPECT_EQ(cells.at(0), "found");
  // Two groups, g1 and g2, each with its key and details.
  const auto groups = testing::OpenpyxlCells(report, "Groups", {"A2", "A3", "A4", "A6", "A7"});
  EXPECT_EQ(groups, (std::vector<std::string>{"g1", "apple", "banana", "g2", "cherry"}));
  // The picture is embedded on the sheet.
  bool picture = false;
  for (const std::string& part : testing::ZipPartNames(report)) picture |= part.rfind("xl/media/", 0) == 0;
  EXPECT_TRUE(picture);
}

TEST_F(ReportRunTest, AFormattedTextTemplateOpensAsFixedWidthColumns) {
  // Columns of characters blank on every line separate the fields; blanks inside a field stay.
  WriteText(folder_.File("templates/list.prn"),
            "Item name     Qty  Note\r\n"
            "Grand total    12  a b\r\n");
  const std::string script = "@l=REPORT(SHEET=1 TYPE=FIX CELL=A3,B3,C3) SELECT 'x', 5, 'new'\r\n";
  ASSERT_EQ(Run(Definition("ReportTemplateFileName=templates\\list.prn\r\nReportFileName=out\\list.xlsx\r\n"
                           "ReportFileType=xlOpenXMLWorkbook\r\n",
                           script)),
            std::nullopt);
  const std::string report = folder_.File("out/list.xlsx");
  EXPECT_EQ(testing::OpenpyxlCells(report, "", {"A1", "B1", "C1", "A2", "B2", "C2", "A3", "B3", "C3"}),
            (std::vector<std::string>{"Item name", "Qty", "Note", "Grand total", "12", "a b", "x", "5", "new"}));
  // Saved in the template's own format: formatted text again.
  ASSERT_EQ(Run(Definition("ReportTemplateFileName=templates\\list.prn\r\nReportFileName=out\\list.prn\r\n",
                           script)),
            std::nullopt);
  // Every column at the default width of 9 characters: longer texts are cut, numbers stand
  // to the right.
  EXPECT_EQ(testing::ReadText(folder_.File("out/list.prn")),
            "Item nameQty      Note\r\n"
            "Grand tot       12a b\r\n"
            "x                5new\r\n");
}

}  // namespace
}  // namespace tabrix
