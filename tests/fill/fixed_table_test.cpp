// The fixed table on real templates and SQLite recordsets, checked in the saved files.
#include <gtest/gtest.h>

#include "fill/fill_fixture.h"
#include "fill/recordset_wrappers.h"

namespace tabrix {
namespace {

using namespace filltest;

class FixedTableTest : public FillTest {
 protected:
  void SetUp() override {
    ExecuteSql(db_, "CREATE TABLE t(name TEXT, qty REAL, code TEXT, photo TEXT, day DATE, ok BOOLEAN);"
                    "INSERT INTO t VALUES ('alpha', 1.5, '00123', 'p1.png', '2024-03-01', 1),"
                    " ('beta', 2, NULL, 'missing.png', NULL, 0), (NULL, 3, 'c', 'p1.png', '2024-03-03', 1);"
                    "CREATE TABLE empty(a TEXT, b TEXT);"
                    "CREATE TABLE n(v INTEGER); INSERT INTO n VALUES (1),(2),(3),(4),(5);");
  }
  Tabrix tabrix_;
};

TEST_F(FixedTableTest, RecordsGoDownTypedWithProgressEvents) {
  auto opened = Template("ws['A1'] = 'Name'");
  ProgressRecorder events;
  tabrix_.SetEventSink(&events);
  std::int16_t order = 2;  // ROWRANGE: the same as ROW here, and written back as 0
  tabrix_.FixTableReport(Records("SELECT name, qty, code, day, ok FROM t"), opened.Sheet,
                         std::string("B2,C2"), std::string(), std::int16_t{0}, order);
  EXPECT_EQ(order, 0);
  EXPECT_EQ(events.Calls, (std::vector<std::pair<std::int32_t, std::int32_t>>{{0, 3}, {1, 3}, {2, 3}, {3, 3}}));

  auto saved = Save(opened, "out.xlsx");
  EXPECT_EQ(saved.Text("Data", "B3"), "beta");
  EXPECT_EQ(saved.Cell("Data", "C2").Type, 'n');
  EXPECT_EQ(saved.Text("Data", "C4"), "3.0");
  // The third field has no listed cell: it continues to the right of the last one.
  EXPECT_EQ(saved.Cell("Data", "D2").Type, 's');
  EXPECT_EQ(saved.Text("Data", "D2"), "00123");  // text stays text, leading zeros kept
  EXPECT_EQ(saved.Text("Data", "D3"), "");        // Null writes an empty text
  EXPECT_EQ(saved.Cell("Data", "E2").Type, 'd');  // dates stay dates
  EXPECT_EQ(saved.Text("Data", "E2"), "2024-03-01T00:00:00");
  EXPECT_EQ(saved.Cell("Data", "F3").Type, 'b');
  EXPECT_EQ(saved.Text("Data", "B5"), "");
}

TEST_F(FixedTableTest, RangeSetsTheDistanceAndCopyRepeatsTheBlock) {
  const std::string layout =
      "ws['D2'] = '=C2*2'\nws['B3'] = 'note'\nws['B8'] = 'below'\n"
      "ws['B2'].fill = PatternFill('solid', fgColor='FFFFFF00')\nws['C2'].number_format = '0.00'\n";
  auto plain = Template(layout);
  tabrix_.FixTableReport(Records("SELECT name, qty FROM t"), plain.Sheet, std::string("B2,C2"),
                         std::string("B2:D3"));
  auto saved = Save(plain, "plain.xlsx");
  EXPECT_EQ(saved.Text("Data", "B4"), "beta");
  EXPECT_EQ(saved.Text("Data", "C6"), "3.0");
  EXPECT_EQ(saved.Text("Data", "B5"), "");  // without Copy nothing is repeated
  EXPECT_EQ(saved.Text("Data", "D4"), "");

  auto copied = Template(layout);
  tabrix_.FixTableReport(Records("SELECT name, qty FROM t"), copied.Sheet, std::string("B2,C2"),
                         std::string("B2:D3"), std::int16_t{1});
  saved = Save(copied, "copied.xlsx");
  for (int row : {4, 6}) {
    const std::string r = std::to_string(row);
    EXPECT_EQ(saved.Text("Data", "D" + r), "=C" + r + "*2");
    EXPECT_EQ(saved.Cell("Data", "B" + r).Fill, "FFFFFF00") << row;
    EXPECT_EQ(saved.Cell("Data", "C" + r).NumberFormat, "0.00") << row;
    EXPECT_EQ(saved.Text("Data", "B" + std::to_string(row + 1)), "note");
  }
  EXPECT_EQ(saved.Text("Data", "C6"), "3.0");
  EXPECT_EQ(saved.Text("Data", "B8"), "below");  // past the last block: untouched
}

TEST_F(FixedTableTest, ColumnOrderAndCallerSeesNormalisedFillOrder) {
  auto opened = Template("");
  std::int16_t order = 3;  // COLRANGE acts as COL in a fixed table
  tabrix_.FixTableReport(Records("SELECT name, qty, code FROM t"), opened.Sheet, std::string("B2"),
                         std::string(), std::int16_t{0}, order);
  EXPECT_EQ(order, 1);
  auto saved = Save(opened, "out.xlsx");
  EXPECT_EQ(saved.Text("Data", "B4"), "00123");
  EXPECT_EQ(saved.Text("Data", "C2"), "beta");
  EXPECT_EQ(saved.Text("Data", "D3"), "3.0");
}

TEST_F(FixedTableTest, PageBreaksFollowEveryFullPageIncludingTheLast) {
  struct Case {
    const char* sql;
    const char* cell;
    const char* range;
    std::int16_t order;
    const char* pageBreak;
    std::vector<int> rowBreaks, columnBreaks;
  };
  const Case cases[] = {
      // Records in rows 2..6: breaks below records 2 and 4 (after rows 3 and 5).
      {"SELECT v FROM n", "A2", "", 0, "2", {3, 5}, {}},
      // Two-row blocks from row 2: record 2 ends in row 5, record 4 (the last) in row 9.
      {"SELECT v FROM n WHERE v <= 4", "A2", "A2:A3", 0, "2R", {5, 9}, {}},
      {"SELECT v FROM n", "B1", "", 1, "3", {}, {4}},  // after column D
  };
  for (const Case& c : cases) {
    auto opened = Template("");
    tabrix_.FixTableReport(Records(c.sql), opened.Sheet, std::string(c.cell), std::string(c.range),
                           std::int16_t{0}, c.order, std::string(), std::string(c.pageBreak));
    auto saved = Save(opened, "breaks.xlsx");
    EXPECT_EQ(saved.RowBreaks["Data"], c.rowBreaks) << c.pageBreak;
    EXPECT_EQ(saved.ColumnBreaks["Data"], c.columnBreaks) << c.pageBreak;
  }
}

TEST_F(FixedTableTest, EmptyRecordsetLeavesTheSheetButStillChecksTheLists) {
  auto opened = Template("ws['B2'] = 'keep'\nws['C2'] = 'W20'");
  ProgressRecorder events;
  tabrix_.SetEventSink(&events);
  tabrix_.FixTableReport(Records("SELECT a, b FROM empty"), opened.Sheet, std::string("B2"),
                         std::string(), std::int16_t{1}, std::int16_t{0}, std::string("b"));
  EXPECT_EQ(events.Calls, (std::vector<std::pair<std::int32_t, std::int32_t>>{{0, 0}}));
  EXPECT_EQ(Save(opened, "out.xlsx").Text("Data", "C2"), "W20");

  AutomationError image = CaughtError([&] {
    tabrix_.FixTableReport(Records("SELECT a, b FROM empty"), opened.Sheet, std::string("B2"),
                           std::string(), std::int16_t{0}, std::int16_t{0}, std::string("zz"));
  });
  EXPECT_EQ(image.Number(), kErrImageFieldMissing);
  AutomationError range = CaughtError([&] {
    tabrix_.FixTableReport(Records("SELECT a, b FROM empty"), opened.Sheet, std::string("B2"),
                           std::string("C2:D2"));
  });
  EXPECT_EQ(range.Description(), "The range or copyrange should be B2:C2.");
}

// The fixed and the growing table share these checks.
TEST_F(FixedTableTest, DirectAndFramedFailures) {
  auto opened = Template("");
  AutomationError sheet = CaughtError([&] {
    tabrix_.FixTableReport(Records("SELECT name FROM t"), WorksheetPtr(), std::string("A1"));
  });
  EXPECT_EQ(sheet.Number(), kErrWorksheetNotSet);
  EXPECT_EQ(sheet.Source(), "TabrixCom");
  EXPECT_EQ(sheet.Description(), "The Excel.Worksheet object is not set.");

  RecordsetPtr closed = Records("SELECT name FROM t");
  closed->Close();
  AutomationError state = CaughtError([&] { tabrix_.FixTableReport(closed, opened.Sheet, std::string("A1")); });
  EXPECT_EQ(state.Number(), kErrRecordsetClosed);
  EXPECT_EQ(state.Description(), "The ADODB.Recordset object is closed.");

  // 1025 list entries overflow the list, whatever the field count.
  std::string cells;
  for (int i = 1; i <= 1025; ++i) cells += "A" + std::to_string(i) + ",";
  AutomationError list = CaughtError([&] { tabrix_.FixTableReport(Records("SELECT name FROM t"), opened.Sheet, cells); });
  EXPECT_EQ(list.Number(), kErrSubscriptOutOfRange);
  EXPECT_EQ(list.Description(), "Failed to execute function FixTableReport. Subscript out of range");

  // A row past the sheet's end fails in the fill, framed.
  AutomationError end = CaughtError([&] {
    tabrix_.FixTableReport(Records("SELECT name FROM t"), opened.Sheet, std::string("A1048575"));
  });
  EXPECT_EQ(end.Description().rfind("Failed to execute function FixTableReport. ", 0), 0u);
}

TEST_F(FixedTableTest, UnreadableFieldWritesErrorAndLongFieldsArriveWhole) {
  const std::string longText(20000, 'x');
  ExecuteSql(db_, "CREATE TABLE memo(a TEXT, body TEXT, c INTEGER);"
                  "INSERT INTO memo VALUES ('one', '" + longText + "y', 1), ('two', 'short', 2);");
  auto opened = Template("");
  auto failing = std::make_shared<FailingFieldRecordset>(Records("SELECT a, body, c FROM memo"),
                                                         /*failingField=*/0, /*failingRecord=*/1);
  tabrix_.FixTableReport(RecordsetPtr(failing), opened.Sheet, std::string("A1"));
  auto saved = Save(opened, "out.xlsx");
  EXPECT_EQ(saved.Text("Data", "B1"), longText + "y");
  EXPECT_EQ(saved.Text("Data", "A2"), "#Error");
  EXPECT_EQ(saved.Text("Data", "B2"), "short");  // the fill went on
}

TEST_F(FixedTableTest, PicturesPerBlockAndMissingPictureFailure) {
  MakePng(folder_.File("p1.png"), 40, 20);
  // The template lives beside the pictures: relative names resolve against its folder.
  auto opened = Template("ws['C2'] = 'W60 MAS'");
  AutomationError error = CaughtError([&] {
    tabrix_.FixTableReport(Records("SELECT name, photo, qty FROM t"), opened.Sheet,
                           std::string("B2,C2,D2"), std::string(), std::int16_t{1}, std::int16_t{0},
                           std::string("photo"));
  });
  // The copied option text sizes every record's picture; record 2 names a missing file.
  EXPECT_EQ(error.Description().rfind("Failed to execute function FixTableReport. Failed to insert the "
                                      "image file \"" + folder_.File("missing.png") + "\". ", 0),
            0u)
      << error.Description();

  auto saved = Save(opened, "out.xlsx");
  EXPECT_EQ(saved.Text("Data", "C2"), "");      // option cell cleared
  EXPECT_EQ(saved.Text("Data", "B3"), "beta");  // written before the picture failed
  EXPECT_EQ(saved.Text("Data", "D3"), "");      // after it: not written
  EXPECT_EQ(saved.Text("Data", "B4"), "");      // the copy happened, the third record did not
  ASSERT_EQ(saved.Pictures["Data"].size(), 1u);
  const PictureFacts& picture = saved.Pictures["Data"][0];
  EXPECT_EQ(std::make_pair(picture.Column0, picture.Row0), std::make_pair(2, 1));
  EXPECT_NEAR(picture.WidthPoints, 60, 0.1);
  EXPECT_NEAR(picture.HeightPoints, 30, 0.1);
  EXPECT_EQ(picture.Anchor, "twoCellAnchor");  // MAS: moves and sizes with its cells
}

}  // namespace
}  // namespace tabrix
