// Writing a text into a table's header cell renames the table column, and every structured
// reference to it follows (formulas on every sheet, defined names, the table's column formula),
// on a workbook shaped like the member list that showed it; LibreOffice recalculates the result.
#include <gtest/gtest.h>

#include "fixtures/office_tools.h"
#include "fixtures/report_files.h"
#include "fixtures/required_tools.h"
#include "xlsx/table_columns.h"
#include "xlsx/xlsx_workbook.h"

namespace tabrix::xlsx {
namespace {

using testing::TempFolder;

// Sheet "Members": table Member_Data over A1:D4 (ID, "Gender " with its trailing space, Age,
// Label = Gender & "-" & Age as a calculated column). Sheet "Summary": A1 counts the "F" rows,
// A2 sums the ages, A3 a text that only looks like a reference, A4 counts the name Genders
// (= Member_Data[Gender ]).
std::string MakeMemberList(const std::string& folder) {
  std::string path = folder + "/members.xlsx";
  testing::RunPython(R"PY(
import sys, openpyxl
from openpyxl.worksheet.table import Table, TableColumn, TableFormula
from openpyxl.workbook.defined_name import DefinedName
path = sys.argv[1]
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Members"
label = 'Member_Data[[#This Row],[Gender ]]&"-"&Member_Data[[#This Row],[Age]]'
for c, h in enumerate(["ID", "Gender ", "Age", "Label"], 1):
    ws.cell(1, c, h)
for r, (i, g, a) in enumerate([(1, "F", 30), (2, "M", 40), (3, "F", 50)], 2):
    ws.cell(r, 1, i); ws.cell(r, 2, g); ws.cell(r, 3, a); ws.cell(r, 4, "=" + label)
table = Table(displayName="Member_Data", ref="A1:D4")
table.tableColumns = [TableColumn(id=1, name="ID"), TableColumn(id=2, name="Gender "), TableColumn(id=3, name="Age"),
                      TableColumn(id=4, name="Label", calculatedColumnFormula=TableFormula(attr_text=label))]
ws.add_table(table)
summary = wb.create_sheet("Summary")
summary["A1"] = '=COUNTIF(Member_Data[Gender ],"F")'
summary["A2"] = "=SUM(Member_Data[Age])"
summary["A3"] = '="Member_Data[Gender ]"'
summary["A4"] = "=COUNTA(Genders)"
wb.defined_names.append(DefinedName("Genders", attr_text="Member_Data[Gender ]"))
wb.save(path)
)PY",
                     {path});
  return path;
}

TEST(TableHeader, StructuredReferencesFollowARenamedColumn) {
  struct Case {
    const char *formula, *oldName, *newName, *expected;
  };
  const std::vector<Case> cases = {
      {"Items[[#This Row],[Gender ]]&1", "gender ", "RW-1", "Items[[#This Row],[RW-1]]&1"},
      {"SUM(items[Qty])+Items[Qty]", "Qty", "Count", "SUM(items[Count])+Items[Count]"},
      {"SUM(Items[Qty])", "Qty", "Q.1", "SUM(Items[[Q.1]])"},
      {"SUM(Items[[Qty]:[Price]])", "Price", "Unit [EUR]", "SUM(Items[[Qty]:[Unit '[EUR']]])"},
      {"SUM(Items[[#Data],[Unit '[EUR']]])", "Unit [EUR]", "Price", "SUM(Items[[#Data],[Price]])"},
      {"Items[@Qty]*2", "Qty", "N", "Items[@N]*2"},
  };
  for (const Case& c : cases) {
    std::string out;
    ASSERT_TRUE(RenameStructuredColumn(c.formula, "Items", c.oldName, c.newName, out)) << c.formula;
    EXPECT_EQ(out, c.expected) << c.formula;
  }
  const char* untouched[] = {"Other[Qty]", "\"Items[Qty]\"", "'Items[Qty]'!A1", "Items[#All]", "ItemsX[Qty]",
                             "Items[[#Headers],[Price]]"};
  for (const char* formula : untouched) {
    std::string out = "kept";
    EXPECT_FALSE(RenameStructuredColumn(formula, "Items", "Qty", "N", out)) << formula;
    EXPECT_EQ(out, "kept");
  }
}

TEST(TableHeader, WritingAHeaderRenamesTheColumnEverywhereAndLibreOfficeComputesWithIt) {
  REQUIRE_LIBREOFFICE();
  TempFolder folder;
  auto book = platform::CreateSpreadsheetApplication()->OpenWorkbook(MakeMemberList(folder.Path()), true);
  auto* members = dynamic_cast<XlsxWorksheet*>(book->WorksheetByName("Members").get());
  auto* summary = dynamic_cast<XlsxWorksheet*>(book->WorksheetByName("Summary").get());
  members->SetValue(1, 2, Variant("RW-1"));
  // A name another column has (case aside) is numbered, as the application does.
  members->SetValue(1, 3, Variant("rw-1"));
  // The same name again changes nothing; a cell below the header is only a value.
  members->SetValue(1, 1, Variant("ID"));
  members->SetValue(2, 1, Variant("Age"));

  EXPECT_EQ(members->GetValue(1, 2), Variant("RW-1"));
  EXPECT_EQ(members->GetValue(1, 3), Variant("rw-12"));
  EXPECT_EQ(members->GetFormula(2, 4), "=Member_Data[[#This Row],[RW-1]]&\"-\"&Member_Data[[#This Row],[rw-12]]");
  EXPECT_EQ(summary->GetFormula(1, 1), "=COUNTIF(Member_Data[[RW-1]],\"F\")");
  EXPECT_EQ(summary->GetFormula(2, 1), "=SUM(Member_Data[[rw-12]])");
  EXPECT_EQ(summary->GetFormula(3, 1), "=\"Member_Data[Gender ]\"");

  const std::string output = testing::Saved(book, folder.File("renamed.xlsx"));
  std::string table = testing::ReadZipPart(output, "xl/tables/table1.xml");
  EXPECT_NE(table.find("name=\"RW-1\""), std::string::npos) << table;
  EXPECT_NE(table.find("name=\"rw-12\""), std::string::npos) << table;
  EXPECT_EQ(table.find("Gender"), std::string::npos) << table;
  std::string workbook = testing::ReadZipPart(output, "xl/workbook.xml");
  EXPECT_NE(workbook.find(">Member_Data[[RW-1]]<"), std::string::npos) << workbook;

  // LibreOffice reads the table's columns from the saved file and recalculates every formula.
  auto memberRows = testing::ParseCsv(testing::LibreOfficeCsv(output, 1, true));
  ASSERT_GE(memberRows.size(), 4u);
  EXPECT_EQ(memberRows[0][1], "RW-1");
  EXPECT_EQ(memberRows[1][3], "F-30");
  EXPECT_EQ(memberRows[3][3], "F-50");
  auto summaryRows = testing::ParseCsv(testing::LibreOfficeCsv(output, 2, true));
  ASSERT_GE(summaryRows.size(), 4u);
  EXPECT_EQ(summaryRows[0][0], "2");
  EXPECT_EQ(summaryRows[1][0], "120");
  EXPECT_EQ(summaryRows[2][0], "Member_Data[Gender ]");
  EXPECT_EQ(summaryRows[3][0], "3");
}

}  // namespace
}  // namespace tabrix::xlsx
