// The fixed table on real templates and SQLite recordsets, checked in the saved files.
#include <gtest/gtest.h>

#include "fill/fill_fixture.h"
#include "fill/recordset_wrappers.h"
#include "tabrix/error_codes.h"

namespace tabrix {
namespace {

using filltest::CaughtError;

class FixedTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = folder_.File("data.db");
    filltest::MakeDatabase(db_,
                           "CREATE TABLE t(name TEXT, qty REAL, code TEXT, photo TEXT, day DATE,"
                           " ok BOOLEAN);"
                           "INSERT INTO t VALUES ('alpha', 1.5, '00123', 'p1.png', '2024-03-01', 1);"
                           "INSERT INTO t VALUES ('beta', 2, NULL, 'missing.png', NULL, 0);"
                           "INSERT INTO t VALUES (NULL, 3, 'c', 'p1.png', '2024-03-03', 1);"
                           "CREATE TABLE empty(a TEXT, b TEXT);");
  }
  filltest::OpenedTemplate Template(const std::string& body) {
    filltest::MakeTemplate(folder_.File("template.xlsx"), body);
    return filltest::OpenTemplate(folder_.File("template.xlsx"));
  }
  RecordsetPtr Records(const std::string& sql) { return filltest::OpenRecordset(db_, sql); }

  filltest::ScratchFolder folder_;
  std::string db_;
};

TEST_F(FixedTableTest, RecordsGoDownTypedWithProgressEvents) {
  auto opened = Template("ws['A1'] = 'Name'");
  filltest::ProgressRecorder events;
  Tabrix tabrix;
  tabrix.SetEventSink(&events);
  std::int16_t order = 2;  // ROWRANGE: the same as ROW here, and written back as 0
  tabrix.FixTableReport(Records("SELECT name, qty, code, day, ok FROM t"), opened.Sheet,
                        std::string("B2,C2"), std::string(), std::int16_t{0}, order);
  EXPECT_EQ(order, 0);
  EXPECT_EQ(events.Calls, (std::vector<std::pair<std::int32_t, std::int32_t>>{
                              {0, 3}, {1, 3}, {2, 3}, {3, 3}}));

  auto saved = filltest::SaveAndRead(opened, folder_.File("out.xlsx"));
  EXPECT_EQ(saved.Text("Data", "B2"), "alpha");
  EXPECT_EQ(saved.Cell("Data", "C2").Type, 'n');
  EXPECT_EQ(saved.Text("Data", "C2"), "1.5");
  EXPECT_EQ(saved.Text("Data", "B3"), "beta");
  EXPECT_EQ(saved.Text("Data", "C4"), "3.0");
  // The third field has no listed cell: it continues to the right of the last one.
  EXPECT_EQ(saved.Cell("Data", "D2").Type, 's');
  EXPECT_EQ(saved.Text("Data", "D2"), "00123");  // text stays text, leading zeros kept
  EXPECT_EQ(saved.Text("Data", "D3"), "");        // Null writes an empty text
  EXPECT_EQ(saved.Text("Data", "B4"), "");
  EXPECT_EQ(saved.Cell("Data", "E2").Type, 'd');  // dates stay dates
  EXPECT_EQ(saved.Text("Data", "E2"), "2024-03-01T00:00:00");
  EXPECT_EQ(saved.Cell("Data", "F2").Type, 'b');
  EXPECT_EQ(saved.Cell("Data", "F3").Type, 'b');
  EXPECT_EQ(saved.Text("Data", "A1"), "Name");
  EXPECT_EQ(saved.Text("Data", "B5"), "");
}

TEST_F(FixedTableTest, RangeSetsTheDistanceAndCopyRepeatsTheBlock) {
  const std::string layout =
      "ws['D2'] = '=C2*2'\n"
      "ws['B3'] = 'note'\n"
      "ws['B2'].fill = PatternFill('solid', fgColor='FFFFFF00')\n"
      "ws['C2'].number_format = '0.00'\n"
      "ws['B8'] = 'below'\n";
  {
    auto opened = Template(layout);
    Tabrix().FixTableReport(Records("SELECT name, qty FROM t"), opened.Sheet,
                            std::string("B2,C2"), std::string("B2:D3"));
    auto saved = filltest::SaveAndRead(opened, folder_.File("plain.xlsx"));
    EXPECT_EQ(saved.Text("Data", "B2"), "alpha");
    EXPECT_EQ(saved.Text("Data", "B4"), "beta");
    EXPECT_EQ(saved.Text("Data", "C6"), "3.0");
    EXPECT_EQ(saved.Text("Data", "B3"), "note");
    EXPECT_EQ(saved.Text("Data", "B5"), "");   // without Copy nothing is repeated
    EXPECT_EQ(saved.Text("Data", "D4"), "");
  }
  {
    auto opened = Template(layout);
    Tabrix().FixTableReport(Records("SELECT name, qty FROM t"), opened.Sheet,
                            std::string("B2,C2"), std::string("B2:D3"), std::int16_t{1});
    auto saved = filltest::SaveAndRead(opened, folder_.File("copied.xlsx"));
    for (int row : {2, 4, 6}) {
      const std::string r = std::to_string(row);
      EXPECT_EQ(saved.Cell("Data", "D" + r).Type, 'f') << row;
      EXPECT_EQ(saved.Text("Data", "D" + r), "=C" + r + "*2");
      EXPECT_EQ(saved.Cell("Data", "B" + r).Fill, "FFFFFF00") << row;
      EXPECT_EQ(saved.Cell("Data", "C" + r).NumberFormat, "0.00") << row;
      EXPECT_EQ(saved.Text("Data", "B" + std::to_string(row + 1)), "note");
    }
    EXPECT_EQ(saved.Text("Data", "C6"), "3.0");
    EXPECT_EQ(saved.Text("Data", "B8"), "below");  // past the last block: untouched
  }
}

TEST_F(FixedTableTest, ColumnOrderAndCallerSeesNormalisedFillOrder) {
  auto opened = Template("");
  std::int16_t order = 3;  // COLRANGE acts as COL in a fixed table
  Tabrix().FixTableReport(Records("SELECT name, qty, code FROM t"), opened.Sheet,
                          std::string("B2"), std::string(), std::int16_t{0}, order);
  EXPECT_EQ(order, 1);
  auto saved = filltest::SaveAndRead(opened, folder_.File("out.xlsx"));
  EXPECT_EQ(saved.Text("Data", "B2"), "alpha");
  EXPECT_EQ(saved.Text("Data", "B3"), "1.5");
  EXPECT_EQ(saved.Text("Data", "B4"), "00123");
  EXPECT_EQ(saved.Text("Data", "C2"), "beta");
  EXPECT_EQ(saved.Text("Data", "D3"), "3.0");
  EXPECT_EQ(saved.Text("Data", "D4"), "c");
}

TEST_F(FixedTableTest, PageBreaksFollowEveryFullPageIncludingTheLast) {
  filltest::MakeDatabase(db_, "CREATE TABLE n(v INTEGER);"
                              "INSERT INTO n VALUES (1),(2),(3),(4),(5);");
  {
    auto opened = Template("");
    Tabrix().FixTableReport(Records("SELECT v FROM n"), opened.Sheet, std::string("A2"),
                            std::string(), std::int16_t{0}, std::int16_t{0}, std::string(),
                            std::string("2"));
    auto saved = filltest::SaveAndRead(opened, folder_.File("five.xlsx"));
    // Records in rows 2..6: breaks below records 2 and 4 (after rows 3 and 5).
    EXPECT_EQ(saved.RowBreaks["Data"], (std::vector<int>{3, 5}));
  }
  {
    auto opened = Template("");
    Tabrix().FixTableReport(Records("SELECT v FROM n WHERE v <= 4"), opened.Sheet,
                            std::string("A2"), std::string("A2:A3"), std::int16_t{0},
                            std::int16_t{0}, std::string(), std::string("2R"));
    auto saved = filltest::SaveAndRead(opened, folder_.File("four.xlsx"));
    // Two-row blocks from row 2: record 2 ends in row 5, record 4 in row 9.
    EXPECT_EQ(saved.RowBreaks["Data"], (std::vector<int>{5, 9}));
  }
  {
    auto opened = Template("");
    Tabrix().FixTableReport(Records("SELECT v FROM n"), opened.Sheet, std::string("B1"),
                            std::string(), std::int16_t{0}, std::int16_t{1}, std::string(),
                            std::string("3"));
    auto saved = filltest::SaveAndRead(opened, folder_.File("cols.xlsx"));
    EXPECT_EQ(saved.ColumnBreaks["Data"], (std::vector<int>{4}));  // after column D
    EXPECT_TRUE(saved.RowBreaks["Data"].empty());
  }
}

TEST_F(FixedTableTest, EmptyRecordsetLeavesTheSheetButStillChecksTheLists) {
  auto opened = Template("ws['B2'] = 'keep'\nws['C2'] = 'W20'");
  filltest::ProgressRecorder events;
  Tabrix tabrix;
  tabrix.SetEventSink(&events);
  tabrix.FixTableReport(Records("SELECT a, b FROM empty"), opened.Sheet, std::string("B2"),
                        std::string(), std::int16_t{1}, std::int16_t{0}, std::string("b"));
  EXPECT_EQ(events.Calls, (std::vector<std::pair<std::int32_t, std::int32_t>>{{0, 0}}));
  auto saved = filltest::SaveAndRead(opened, folder_.File("out.xlsx"));
  EXPECT_EQ(saved.Text("Data", "B2"), "keep");
  EXPECT_EQ(saved.Text("Data", "C2"), "W20");

  AutomationError image = CaughtError([&] {
    tabrix.FixTableReport(Records("SELECT a, b FROM empty"), opened.Sheet, std::string("B2"),
                          std::string(), std::int16_t{0}, std::int16_t{0}, std::string("zz"));
  });
  EXPECT_EQ(image.Number(), kErrImageFieldMissing);
  AutomationError range = CaughtError([&] {
    tabrix.FixTableReport(Records("SELECT a, b FROM empty"), opened.Sheet, std::string("B2"),
                          std::string("C2:D2"));
  });
  EXPECT_EQ(range.Description(), "The range or copyrange should be B2:C2.");
}

TEST_F(FixedTableTest, DirectAndFramedFailures) {
  auto opened = Template("");
  Tabrix tabrix;
  AutomationError sheet = CaughtError([&] {
    tabrix.FixTableReport(Records("SELECT name FROM t"), WorksheetPtr(), std::string("A1"));
  });
  EXPECT_EQ(sheet.Number(), kErrWorksheetNotSet);
  EXPECT_EQ(sheet.Source(), "TabrixCom");
  EXPECT_EQ(sheet.Description(), "The Excel.Worksheet object is not set.");

  RecordsetPtr closed = Records("SELECT name FROM t");
  closed->Close();
  AutomationError state = CaughtError([&] {
    tabrix.FixTableReport(closed, opened.Sheet, std::string("A1"));
  });
  EXPECT_EQ(state.Number(), kErrRecordsetClosed);
  EXPECT_EQ(state.Description(), "The ADODB.Recordset object is closed.");

  // 1025 list entries overflow the list, whatever the field count.
  std::string cells;
  for (int i = 1; i <= 1025; ++i) cells += "A" + std::to_string(i) + ",";
  AutomationError list = CaughtError([&] {
    tabrix.FixTableReport(Records("SELECT name FROM t"), opened.Sheet, cells);
  });
  EXPECT_EQ(list.Number(), kErrSubscriptOutOfRange);
  EXPECT_EQ(list.Description(), "Failed to execute function FixTableReport. Subscript out of range");

  // A row past the sheet's end fails in the fill, framed.
  AutomationError end = CaughtError([&] {
    tabrix.FixTableReport(Records("SELECT name FROM t"), opened.Sheet, std::string("A1048575"));
  });
  EXPECT_EQ(end.Description().rfind("Failed to execute function FixTableReport. ", 0), 0u);
}

TEST_F(FixedTableTest, UnreadableFieldWritesErrorAndLongFieldsArriveWhole) {
  const std::string longText(20000, 'x');
  filltest::MakeDatabase(db_, "CREATE TABLE memo(a TEXT, body TEXT, c INTEGER);"
                              "INSERT INTO memo VALUES ('one', '" + longText + "y', 1);"
                              "INSERT INTO memo VALUES ('two', 'short', 2);");
  auto opened = Template("");
  auto failing = std::make_shared<filltest::FailingFieldRecordset>(
      Records("SELECT a, body, c FROM memo"), /*failingField=*/0, /*failingRecord=*/1);
  Tabrix().FixTableReport(RecordsetPtr(failing), opened.Sheet, std::string("A1"));
  auto saved = filltest::SaveAndRead(opened, folder_.File("out.xlsx"));
  EXPECT_EQ(saved.Text("Data", "A1"), "one");
  EXPECT_EQ(saved.Text("Data", "B1"), longText + "y");
  EXPECT_EQ(saved.Text("Data", "A2"), "#Error");
  EXPECT_EQ(saved.Text("Data", "B2"), "short");  // the fill went on
  EXPECT_EQ(saved.Text("Data", "C2"), "2.0");
}

TEST_F(FixedTableTest, PicturesPerBlockAndMissingPictureFailure) {
  filltest::MakePng(folder_.File("p1.png"), 40, 20);
  // The template lives beside the pictures: relative names resolve against its folder.
  auto opened = Template("ws['C2'] = 'W60 MAS'");
  AutomationError error = CaughtError([&] {
    Tabrix().FixTableReport(Records("SELECT name, photo, qty FROM t"), opened.Sheet,
                            std::string("B2,C2,D2"), std::string(), std::int16_t{1},
                            std::int16_t{0}, std::string("photo"));
  });
  // The copied option text sizes every record's picture; record 2 names a missing file.
  EXPECT_EQ(error.Description().rfind("Failed to execute function FixTableReport. "
                                      "Failed to insert the image file \"" +
                                          folder_.File("missing.png") + "\". ",
                                      0),
            0u)
      << error.Description();
  EXPECT_NE(error.Source(), "");

  auto saved = filltest::SaveAndRead(opened, folder_.File("out.xlsx"));
  EXPECT_EQ(saved.Text("Data", "B2"), "alpha");
  EXPECT_EQ(saved.Text("Data", "D2"), "1.5");
  EXPECT_EQ(saved.Text("Data", "C2"), "");      // option cell cleared
  EXPECT_EQ(saved.Text("Data", "B3"), "beta");  // written before the picture failed
  EXPECT_EQ(saved.Text("Data", "D3"), "");      // after it: not written
  EXPECT_EQ(saved.Text("Data", "B4"), "");      // the copy happened, the third record did not
  ASSERT_EQ(saved.Pictures["Data"].size(), 1u);
  const filltest::PictureFacts& picture = saved.Pictures["Data"][0];
  EXPECT_EQ(picture.Column0, 2);
  EXPECT_EQ(picture.Row0, 1);
  EXPECT_NEAR(picture.WidthPoints, 60, 0.1);
  EXPECT_NEAR(picture.HeightPoints, 30, 0.1);
  EXPECT_EQ(picture.Anchor, "twoCellAnchor");  // MAS: moves and sizes with its cells
  EXPECT_TRUE(picture.EditAs.empty() || picture.EditAs == "twoCell") << picture.EditAs;
}

}  // namespace
}  // namespace tabrix
