// Workbook names from the current record.
#include <gtest/gtest.h>

#include "fill/fill_fixture.h"
#include "fixtures/required_tools.h"
#include "tabrix/error_codes.h"

namespace tabrix {
namespace {

using filltest::CaughtError;

class NamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = folder_.File("data.db");
    filltest::MakeDatabase(db_, "CREATE TABLE t(title TEXT, total REAL, note TEXT);"
                                "INSERT INTO t VALUES ('Q1 \"final\"', 1234.5, NULL);"
                                "INSERT INTO t VALUES ('second', 2, 'x');"
                                "CREATE TABLE empty(a TEXT);");
    filltest::MakeTemplate(folder_.File("template.xlsx"),
                           "ws['A1'] = '=Title'\n"
                           "for n, ref in [('Title', 'Data!$A$2'), ('Total', 'Data!$B$2'),"
                           " ('Note', 'Data!$C$2'), ('Spare', 'Data!$D$2')]:\n"
                           "    add_name(wb, n, ref)\n");
    opened_ = filltest::OpenTemplate(folder_.File("template.xlsx"));
  }
  RecordsetPtr Records(const std::string& sql) { return filltest::OpenRecordset(db_, sql); }

  filltest::ScratchFolder folder_;
  std::string db_;
  filltest::OpenedTemplate opened_;
};

TEST_F(NamesTest, FieldsGoIntoTheListedNamesInOrder) {
  RecordsetPtr records = Records("SELECT title, total, note FROM t");
  Tabrix().SetExcelName(records, opened_.Workbook, std::string("Title Total"));
  EXPECT_FALSE(records->Eof());  // the position does not move
  Tabrix().SetExcelName(Records("SELECT note, total, title FROM t"), opened_.Workbook,
                        std::string("Note,'Spare'"));
  auto saved = filltest::SaveAndRead(opened_, folder_.File("out.xlsx"));
  EXPECT_EQ(saved.Names["Title"], "\"Q1 \"\"final\"\"\"");
  EXPECT_EQ(saved.Names["Total"], "1234.5");
  EXPECT_EQ(saved.Names["Note"], "\"\"");  // Null gives the empty text
  EXPECT_EQ(saved.Names["Spare"], "1234.5");

  // More names than fields: the extra names are left alone.
  Tabrix().SetExcelName(Records("SELECT total FROM t WHERE total = 2"), opened_.Workbook,
                        std::string("Total Title Note"));
  auto again = filltest::SaveAndRead(opened_, folder_.File("again.xlsx"));
  EXPECT_EQ(again.Names["Total"], "2");
  EXPECT_EQ(again.Names["Title"], "\"Q1 \"\"final\"\"\"");

  REQUIRE_LIBREOFFICE();
  auto sheets = filltest::RecalculatedSheets(folder_.File("out.xlsx"));
  EXPECT_EQ(filltest::RecalculatedCell(sheets["Data"], "A1"), "Q1 \"final\"");
}

TEST_F(NamesTest, EmptyRecordsetAndListMessages) {
  Tabrix tabrix;
  tabrix.SetExcelName(Records("SELECT a FROM empty"), opened_.Workbook, std::string("Title"));
  auto saved = filltest::SaveAndRead(opened_, folder_.File("out.xlsx"));
  EXPECT_EQ(saved.Names["Title"], "Data!$A$2");

  AutomationError none = CaughtError([&] {
    tabrix.SetExcelName(Records("SELECT title FROM t"), opened_.Workbook, std::string(","));
  });
  EXPECT_EQ(none.Number(), kErrNameListMissing);
  EXPECT_EQ(none.Description(), "Syntax error. There is a lack of the parameter \"NAME\".");

  RecordsetPtr closed = Records("SELECT title FROM t");
  closed->Close();
  AutomationError workbook = CaughtError([&] {
    tabrix.SetExcelName(closed, WorkbookPtr(), std::string("Title"));
  });
  EXPECT_EQ(workbook.Number(), kErrWorkbookNotSet);
  EXPECT_EQ(workbook.Description(), "The Excel.Workbook object is not set.");
  AutomationError state = CaughtError([&] {
    tabrix.SetExcelName(closed, opened_.Workbook, std::string("Title"));
  });
  EXPECT_EQ(state.Number(), kErrRecordsetClosed);
  EXPECT_EQ(state.Description(), "The ADODB.Recordset object is closed.");
}

TEST_F(NamesTest, UnknownNameFailsAfterTheNamesBeforeIt) {
  for (const std::string list : {"Title,Missing,Note", "Title,,Note"}) {
    AutomationError error = CaughtError([&] {
      Tabrix().SetExcelName(Records("SELECT title, total, note FROM t"), opened_.Workbook, list);
    });
    EXPECT_EQ(error.Description().rfind("Failed to execute function NAME. ", 0), 0u)
        << error.Description();
    EXPECT_GT(error.Description().size(), std::string("Failed to execute function NAME. ").size());
  }
  auto saved = filltest::SaveAndRead(opened_, folder_.File("out.xlsx"));
  EXPECT_EQ(saved.Names["Title"], "\"Q1 \"\"final\"\"\"");
  EXPECT_EQ(saved.Names["Note"], "Data!$C$2");
}

}  // namespace
}  // namespace tabrix
