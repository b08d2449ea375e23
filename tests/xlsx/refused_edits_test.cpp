// Pivot tables, multi-cell array formulas and sheet protection on workbooks shaped like the real
// ones that showed the faults: pivot locations move with inserted rows (LibreOffice draws them where
// the saved file says), and edits the application refuses fail with its error, changing nothing.
#include <gtest/gtest.h>

#include <functional>

#include "fixtures/office_tools.h"
#include "fixtures/report_files.h"
#include "fixtures/required_tools.h"
#include "tabrix/error.h"
#include "template_factory.h"

namespace tabrix::xlsx {
namespace {

using platform::CellRect;
using testing::TempFolder;

using test::Columns;
using test::Opened;
using test::Rows;

std::string Attribute(const std::string& xml, const std::string& element, const std::string& attribute) {
  const auto found = testing::Matches(xml, "<" + element + "\\b[^>]*\\b" + attribute + "=\"([^\"]*)\"");
  return found.empty() ? "<missing>" : found[0];
}

struct RefusedEdit {
  const char* label;
  std::function<void()> edit;
};

// Runs `edit` and expects the application's error 1004 with that description.
void ExpectRefused(const std::function<void()>& edit, const std::string& description, const std::string& label) {
  SCOPED_TRACE(label);
  const AutomationError e = testing::CaughtError(edit);
  EXPECT_EQ(e.Number(), 1004);
  EXPECT_EQ(e.Description(), description);
}

const std::string kPivotMessage =
    "We can't make this change for the selected cells because it will affect a PivotTable. Use the field list "
    "to change the report. If you are trying to insert or delete cells, move the PivotTable and try again.";
const std::string kArrayMessage = "You can't change part of an array.";

// Sheet "Data": source A1:B5 (Region, Amount), a pivot table over it at D3:E7 (rows by region,
// sum of amount) with the cells the application leaves there, G1 = SUM(B2:B5). openpyxl writes
// the sheet; the pivot parts are added as the application writes them.
std::string MakePivotWorkbook(const std::string& folder) {
  std::string path = folder + "/pivot.xlsx";
  testing::RunPython(R"PY(
import sys, re, zipfile, openpyxl
path = sys.argv[1]
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Data"
for r, (a, b) in enumerate([("Region", "Amount"), ("East", 10), ("West", 20), ("East", 30), ("North", 40)], 1):
    ws.cell(r, 1, a); ws.cell(r, 2, b)
for r, (a, b) in enumerate([("Row Labels", "Sum of Amount"), ("East", 40), ("North", 40), ("West", 20), ("Grand Total", 100)], 3):
    ws.cell(r, 4, a); ws.cell(r, 5, b)
ws["G1"] = "=SUM(B2:B5)"
wb.save(path)

NS = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
HEAD = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
cache = HEAD + f'<pivotCacheDefinition {NS} r:id="rId1" recordCount="4"><cacheSource type="worksheet"><worksheetSource ref="A1:B5" sheet="Data"/></cacheSource><cacheFields count="2"><cacheField name="Region" numFmtId="0"><sharedItems count="3"><s v="East"/><s v="West"/><s v="North"/></sharedItems></cacheField><cacheField name="Amount" numFmtId="0"><sharedItems containsSemiMixedTypes="0" containsString="0" containsNumber="1" containsInteger="1" minValue="10" maxValue="40"/></cacheField></cacheFields></pivotCacheDefinition>'
records = HEAD + f'<pivotCacheRecords {NS} count="4"><r><x v="0"/><n v="10"/></r><r><x v="1"/><n v="20"/></r><r><x v="0"/><n v="30"/></r><r><x v="2"/><n v="40"/></r></pivotCacheRecords>'
table = HEAD + f'<pivotTableDefinition {NS} name="PivotTable1" cacheId="1" dataCaption="Values" updatedVersion="6" minRefreshableVersion="3" useAutoFormatting="1" itemPrintTitles="1" createdVersion="6" indent="0" outline="1" outlineData="1"><location ref="D3:E7" firstHeaderRow="1" firstDataRow="1" firstDataCol="1"/><pivotFields count="2"><pivotField axis="axisRow" showAll="0"><items count="4"><item x="0"/><item x="2"/><item x="1"/><item t="default"/></items></pivotField><pivotField dataField="1" showAll="0"/></pivotFields><rowFields count="1"><field x="0"/></rowFields><rowItems count="4"><i><x/></i><i><x v="1"/></i><i><x v="2"/></i><i t="grand"><x/></i></rowItems><colItems count="1"><i/></colItems><dataFields count="1"><dataField name="Sum of Amount" fld="1" baseField="0" baseItem="0"/></dataFields></pivotTableDefinition>'
def rels(rid, kind, target):
    return HEAD + f'<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="{rid}" Type="{REL}{kind}" Target="{target}"/></Relationships>'
with zipfile.ZipFile(path) as src:
    parts = {n: src.read(n) for n in src.namelist()}
CT = "application/vnd.openxmlformats-officedocument.spreadsheetml."
parts["[Content_Types].xml"] = parts["[Content_Types].xml"].decode().replace("</Types>",
    f'<Override PartName="/xl/pivotCache/pivotCacheDefinition1.xml" ContentType="{CT}pivotCacheDefinition+xml"/>'
    f'<Override PartName="/xl/pivotCache/pivotCacheRecords1.xml" ContentType="{CT}pivotCacheRecords+xml"/>'
    f'<Override PartName="/xl/pivotTables/pivotTable1.xml" ContentType="{CT}pivotTable+xml"/></Types>').encode()
parts["xl/_rels/workbook.xml.rels"] = parts["xl/_rels/workbook.xml.rels"].decode().replace("</Relationships>",
    f'<Relationship Id="rIdPivot1" Type="{REL}pivotCacheDefinition" Target="pivotCache/pivotCacheDefinition1.xml"/></Relationships>').encode()
caches = '<pivotCaches><pivotCache xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" cacheId="1" r:id="rIdPivot1"/></pivotCaches>'
parts["xl/workbook.xml"] = re.sub(r"(<calcPr[^>]*/>)", lambda m: m.group(1) + caches, parts["xl/workbook.xml"].decode()).encode()
parts["xl/pivotCache/pivotCacheDefinition1.xml"] = cache.encode()
parts["xl/pivotCache/pivotCacheRecords1.xml"] = records.encode()
parts["xl/pivotCache/_rels/pivotCacheDefinition1.xml.rels"] = rels("rId1", "pivotCacheRecords", "pivotCacheRecords1.xml").encode()
parts["xl/pivotTables/pivotTable1.xml"] = table.encode()
parts["xl/pivotTables/_rels/pivotTable1.xml.rels"] = rels("rId1", "pivotCacheDefinition", "../pivotCache/pivotCacheDefinition1.xml").encode()
parts["xl/worksheets/_rels/sheet1.xml.rels"] = rels("rId1", "pivotTable", "../pivotTables/pivotTable1.xml").encode()
with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as out:
    for name, data in parts.items():
        out.writestr(name, data)
)PY",
                     {path});
  return path;
}

TEST(PivotTables, RowsInsertedAboveMoveTheLocationAndTheSourceAndLibreOfficeDrawsItThere) {
  REQUIRE_LIBREOFFICE();
  TempFolder folder;
  Opened opened(MakePivotWorkbook(folder.Path()));
  opened.data->InsertCells(Rows(1, 3), platform::kShiftDown);
  opened.data->InsertCells(Columns(1, 1), platform::kShiftToRight);
  const std::string output = testing::Saved(opened.book, folder.File("moved.xlsx"));

  std::string pivot = testing::ReadZipPart(output, "xl/pivotTables/pivotTable1.xml");
  EXPECT_EQ(Attribute(pivot, "location", "ref"), "E6:F10");
  std::string cache = testing::ReadZipPart(output, "xl/pivotCache/pivotCacheDefinition1.xml");
  EXPECT_EQ(Attribute(cache, "worksheetSource", "ref"), "B4:C8");

  // LibreOffice draws the pivot table from its parts ("Region" / "Total Result" are its own
  // captions): at the moved place, over the moved cells, and nothing at the old place.
  auto rows = testing::ParseCsv(testing::LibreOfficeCsv(output, 1, false));
  ASSERT_GE(rows.size(), 10u);
  EXPECT_EQ(rows[5][4], "Region");
  EXPECT_EQ(rows[9][4], "Total Result");
  EXPECT_EQ(rows[9][5], "100");
  EXPECT_EQ(rows[2].size() > 4 ? rows[2][4] : "", "");
  EXPECT_EQ(rows[3][1], "Region");  // the source moved with its cells
}

TEST(PivotTables, EditsThroughAPivotTableAreRefusedAndChangeNothing) {
  TempFolder folder;
  Opened opened(MakePivotWorkbook(folder.Path()));
  XlsxWorksheet& data = *opened.data;
  const std::vector<RefusedEdit> refused = {
      {"rows inserted through it", [&] { data.InsertCells(Rows(5, 6), platform::kShiftDown); }},
      {"columns inserted through it", [&] { data.InsertCells(Columns(5, 5), platform::kShiftToRight); }},
      {"one of its rows deleted", [&] { data.DeleteCells(Rows(7, 7), platform::kShiftUp); }},
      {"all of its rows deleted", [&] { data.DeleteCells(Rows(3, 7), platform::kShiftUp); }},
      {"a band edge through it", [&] { data.InsertCells(CellRect{1, 1, 1, 4}, platform::kShiftDown); }},
  };
  for (const RefusedEdit& r : refused) ExpectRefused(r.edit, kPivotMessage, r.label);
  EXPECT_EQ(data.GetValue(7, 4), Variant("Grand Total"));
  EXPECT_EQ(data.GetValue(5, 1), Variant("North"));
  EXPECT_EQ(data.GetFormula(1, 7), "=SUM(B2:B5)");

  // Directly below it, or a band that holds all of its columns, is allowed.
  data.InsertCells(Rows(8, 8), platform::kShiftDown);
  data.InsertCells(CellRect{1, 4, 2, 5}, platform::kShiftDown);
  const std::string output = testing::Saved(opened.book, folder.File("allowed.xlsx"));
  EXPECT_EQ(Attribute(testing::ReadZipPart(output, "xl/pivotTables/pivotTable1.xml"), "location", "ref"), "D5:E9");
  EXPECT_EQ(testing::OpenpyxlCell(output, "Data", "D9"), "Grand Total");
}

// Sheet "Data": A2:A4 and B2:B4 numbers, a multi-cell array formula {=A2:A4*B2:B4} over C2:C4,
// a single-cell array formula {=SUM(A2:A4)} in E2, D2 = C3+1.
std::string MakeArrayWorkbook(const std::string& folder, bool protect, bool allowRows) {
  std::string path = folder + "/arrays.xlsx";
  testing::RunPython(R"PY(
import sys, openpyxl
path, protect, allow_rows = sys.argv[1], sys.argv[2] == "1", sys.argv[3] == "1"
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Data"
for r, (a, b) in enumerate([(1, 10), (2, 20), (3, 30)], 2):
    ws.cell(r, 1, a); ws.cell(r, 2, b)
ws["C2"] = "=A2:A4*B2:B4"
ws.formula_attributes["C2"] = {"t": "array", "ref": "C2:C4"}
ws["E2"] = "=SUM(A2:A4)"
ws.formula_attributes["E2"] = {"t": "array", "ref": "E2"}
ws["D2"] = "=C3+1"
if protect:
    ws.protection.sheet = True
    ws.protection.insertRows = not allow_rows
wb.save(path)
)PY",
                     {path, protect ? "1" : "0", allowRows ? "1" : "0"});
  return path;
}

TEST(ArrayFormulas, EditsCuttingAMultiCellArrayAreRefusedAndItKeepsComputing) {
  REQUIRE_LIBREOFFICE();
  TempFolder folder;
  Opened opened(MakeArrayWorkbook(folder.Path(), false, false));
  XlsxWorksheet& data = *opened.data;
  const std::vector<RefusedEdit> refused = {
      {"rows inserted through it", [&] { data.InsertCells(Rows(3, 3), platform::kShiftDown); }},
      {"a row of it deleted", [&] { data.DeleteCells(Rows(4, 4), platform::kShiftUp); }},
      {"cells shifted down beside it", [&] { data.InsertCells(CellRect{3, 3, 3, 4}, platform::kShiftDown); }},
      {"a value into its first cell", [&] { data.SetValue(2, 3, Variant(5.0)); }},
      {"a value into its middle", [&] { data.SetValue(3, 3, Variant("x")); }},
      {"a formula into its last cell", [&] { data.SetFormula(4, 3, "A4"); }},
      {"its last cell cleared", [&] { data.SetValue(4, 3, Variant()); }},
  };
  for (const RefusedEdit& r : refused) ExpectRefused(r.edit, kArrayMessage, r.label);

  // Around it, above it, and over a single-cell array, edits go on.
  data.SetValue(5, 3, Variant(7.0));
  data.SetValue(2, 5, Variant(99.0));
  data.InsertCells(Rows(2, 2), platform::kShiftDown);
  data.InsertCells(Rows(6, 6), platform::kShiftDown);
  data.InsertCells(CellRect{1, 3, 1, 3}, platform::kShiftDown);  // the whole array moves in its band
  const std::string output = testing::Saved(opened.book, folder.File("arrays_out.xlsx"));

  // LibreOffice recalculates: the array now over C4:C6 still multiplies its rows, D3 reads its middle.
  auto rows = testing::ParseCsv(testing::LibreOfficeCsv(output, 1, true));
  ASSERT_GE(rows.size(), 6u);
  EXPECT_EQ(rows[3][2], "10");
  EXPECT_EQ(rows[4][2], "40");
  EXPECT_EQ(rows[5][2], "90");
  EXPECT_EQ(rows[2][3], "41");
  EXPECT_EQ(rows[2][4], "99");
}

TEST(SheetProtection, InsertionsTheProtectionLocksAreRefused) {
  struct Case {
    const char* label;
    bool protect, allowRows, protectWithEngine;
    bool rowsAllowed, columnsAllowed, bandAllowed;
  };
  const std::vector<Case> cases = {
      {"not protected", false, false, false, true, true, true},
      {"insertRows=\"1\"", true, false, false, false, false, false},
      {"insertRows=\"0\"", true, true, false, true, false, false},
      {"protected by Protect (no insertRows attribute)", false, false, true, false, false, false},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    Opened opened(MakeArrayWorkbook(folder.Path(), c.protect, c.allowRows));
    XlsxWorksheet& data = *opened.data;
    if (c.protectWithEngine) data.Protect(std::nullopt);
    auto attempt = [&](bool allowed, const std::function<void()>& edit, const std::string& what) {
      if (allowed) edit();
      else ExpectRefused(edit, "Method 'Insert' of object 'Range' failed", c.label + (": " + what));
    };
    attempt(c.rowsAllowed, [&] { data.InsertCells(Rows(1, 2), platform::kShiftDown); }, "rows");
    attempt(c.columnsAllowed, [&] { data.InsertCells(Columns(1, 1), platform::kShiftToRight); }, "columns");
    attempt(c.bandAllowed, [&] { data.InsertCells(CellRect{12, 1, 12, 2}, platform::kShiftDown); }, "cells");
    // A refused edit moves nothing; an allowed one moved the formula with its cells.
    std::int32_t row = 2 + (c.rowsAllowed ? 2 : 0), column = 4 + (c.columnsAllowed ? 1 : 0);
    EXPECT_EQ(data.GetFormula(row, column), c.columnsAllowed ? "=D" + std::to_string(row + 1) + "+1"
                                                              : "=C" + std::to_string(row + 1) + "+1")
        << c.label;
  }
}

}  // namespace
}  // namespace tabrix::xlsx
