// Workbook names from the current record.
#include <gtest/gtest.h>

#include "fill/fill_fixture.h"
#include "fixtures/required_tools.h"

namespace tabrix {
namespace {

using namespace filltest;

class NamesTest : public FillTest {
 protected:
  void SetUp() override {
    ExecuteSql(db_, "CREATE TABLE t(title TEXT, total REAL, note TEXT);"
                    "INSERT INTO t VALUES ('Q1 \"final\"', 1234.5, NULL), ('second', 2, 'x');"
                    "CREATE TABLE empty(a TEXT);");
    opened_ = Template("ws['A1'] = '=Title'\n"
                       "for n, ref in [('Title', 'Data!$A$2'), ('Total', 'Data!$B$2'),"
                       " ('Note', 'Data!$C$2'), ('Spare', 'Data!$D$2')]:\n"
                       "    add_name(wb, n, ref)\n");
  }

  OpenedTemplate opened_;
  Tabrix tabrix_;
};

TEST_F(NamesTest, FieldsGoIntoTheListedNamesInOrder) {
  RecordsetPtr records = Records("SELECT title, total, note FROM t");
  tabrix_.SetExcelName(records, opened_.Workbook, std::string("Title Total"));
  EXPECT_FALSE(records->Eof());  // the position does not move
  tabrix_.SetExcelName(Records("SELECT note, total, title FROM t"), opened_.Workbook,
                       std::string("Note,'Spare'"));
  // More names than fields: the extra names are left alone.
  tabrix_.SetExcelName(Records("SELECT total FROM t WHERE total = 2"), opened_.Workbook,
                       std::string("Total Title"));
  auto saved = Save(opened_, "out.xlsx");
  EXPECT_EQ(saved.Names["Title"], "\"Q1 \"\"final\"\"\"");
  EXPECT_EQ(saved.Names["Total"], "2");
  EXPECT_EQ(saved.Names["Note"], "\"\"");  // Null gives the empty text
  EXPECT_EQ(saved.Names["Spare"], "1234.5");

  REQUIRE_LIBREOFFICE();
  EXPECT_EQ(CsvCell(LibreOfficeSheets(folder_.File("out.xlsx"))["Data"], "A1"), "Q1 \"final\"");
}

TEST_F(NamesTest, EmptyRecordsetAndListMessages) {
  tabrix_.SetExcelName(Records("SELECT a FROM empty"), opened_.Workbook, std::string("Title"));
  EXPECT_EQ(Save(opened_, "out.xlsx").Names["Title"], "Data!$A$2");

  AutomationError none = CaughtError([&] {
    tabrix_.SetExcelName(Records("SELECT title FROM t"), opened_.Workbook, std::string(","));
  });
  EXPECT_EQ(none.Number(), kErrNameListMissing);
  EXPECT_EQ(none.Description(), "Syntax error. There is a lack of the parameter \"NAME\".");

  RecordsetPtr closed = Records("SELECT title FROM t");
  closed->Close();
  AutomationError workbook = CaughtError([&] { tabrix_.SetExcelName(closed, WorkbookPtr(), std::string("Title")); });
  EXPECT_EQ(workbook.Number(), kErrWorkbookNotSet);
  EXPECT_EQ(workbook.Description(), "The Excel.Workbook object is not set.");
  AutomationError state = CaughtError([&] { tabrix_.SetExcelName(closed, opened_.Workbook, std::string("Title")); });
  EXPECT_EQ(state.Number(), kErrRecordsetClosed);
  EXPECT_EQ(state.Description(), "The ADODB.Recordset object is closed.");
}

TEST_F(NamesTest, UnknownNameFailsAfterTheNamesBeforeIt) {
  for (const std::string list : {"Title,Missing,Note", "Title,,Note"}) {
    AutomationError error = CaughtError([&] {
      tabrix_.SetExcelName(Records("SELECT title, total, note FROM t"), opened_.Workbook, list);
    });
    EXPECT_EQ(error.Description().rfind("Failed to execute function NAME. ", 0), 0u) << error.Description();
    EXPECT_GT(error.Description().size(), std::string("Failed to execute function NAME. ").size());
  }
  auto saved = Save(opened_, "out.xlsx");
  EXPECT_EQ(saved.Names["Title"], "\"Q1 \"\"final\"\"\"");
  EXPECT_EQ(saved.Names["Note"], "Data!$C$2");
}

}  // namespace
}  // namespace tabrix
