// The growing table on real templates and SQLite recordsets, checked in the saved files and,
// where LibreOffice is installed, after a full recalculation.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "fill/fill_fixture.h"
#include "fixtures/required_tools.h"

namespace tabrix {
namespace {

using namespace filltest;
using Calls = std::vector<std::pair<std::int32_t, std::int32_t>>;

// Header in row 4, one-row block B5:D5 (name, qty, amount), markers in A and E beside it.
constexpr const char* kHeader =
    "ws['B4'] = 'Name'\nws['C4'] = 'Qty'\nws['D4'] = 'Amount'\n"
    "ws['A5'] = 'a5'\nws['E5'] = 'e5'\n";

class VarTableTest : public FillTest {
 protected:
  void SetUp() override {
    ExecuteSql(db_, "CREATE TABLE v(id INTEGER, name TEXT, qty INTEGER, amount REAL, photo TEXT);"
                    "INSERT INTO v VALUES (1, 'r1', 1, 10.5, 'pics/wide.png'), (2, 'r2', 2, 20.25, NULL),"
                    " (3, 'r3', 3, 30, 'pics\\wide.png'), (4, 'r4', 4, 40, 'gone.png'),"
                    " (5, 'r5', 5, 50.125, 'pics/wide.png');");
  }
  // Records 1..n.
  RecordsetPtr Rows(int n, const std::string& columns = "name, qty, amount") {
    return Records("SELECT " + columns + " FROM v WHERE id <= " + std::to_string(n) + " ORDER BY id");
  }
  // VarTableReport with the arguments after the cell list in their order.
  void Report(RecordsetPtr records, WorksheetPtr sheet, const std::string& cells, std::string copy = "",
              std::int16_t copyFlag = 0, std::int16_t reserve = 1, std::int16_t order = 0,
              std::string images = "", std::string pageBreak = "", std::int16_t noData = 0) {
    tabrix_.VarTableReport(records, sheet, cells, copy, copyFlag, reserve, order, images, pageBreak, noData);
  }
  Tabrix tabrix_;
};

TEST_F(VarTableTest, RowsAreInsertedBelowTheBlockAndEverythingBelowMoves) {
  auto opened = Template(std::string(kHeader) +
                         "ws['A6'] = 'TOTAL'\nws['D6'] = '=SUM(D5:D5)'\nws['E6'] = 'e6'\n"
                         "ws['A8'] = 'footer'\nws.merge_cells('A8:D8')\n"
                         "add_name(wb, 'Total', 'Data!$D$6')\n");
  ProgressRecorder events;
  tabrix_.SetEventSink(&events);
  Report(Rows(5), opened.Sheet, "B5");
  EXPECT_EQ(events.Calls, (Calls{{0, 5}, {1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}}));

  auto saved = Save(opened, "out.xlsx");
  for (int r = 1; r <= 5; ++r) EXPECT_EQ(saved.Text("Data", "B" + std::to_string(4 + r)), "r" + std::to_string(r));
  EXPECT_EQ(saved.Cell("Data", "C9").Type, 'n');
  EXPECT_EQ(saved.Text("Data", "E5"), "e5");  // entire rows inserted below row 5
  EXPECT_EQ(saved.Text("Data", "E10"), "e6");
  EXPECT_EQ(saved.Text("Data", "D10"), "=SUM(D5:D5)");  // rows inserted below a range do not widen it
  EXPECT_EQ(saved.Merges["Data"], (std::vector<std::string>{"A12:D12"}));
  EXPECT_EQ(saved.Names["Total"], "Data!$D$10");
}

TEST_F(VarTableTest, RangeOrderInsertsOnlyInsideTheBlockColumns) {
  auto opened = Template(std::string(kHeader) +
                         "ws['A6'] = 'a6'\nws['B6'] = 'TOTAL'\nws['D6'] = '=SUM(D5:D5)'\n"
                         "ws['E6'] = 'e6'\nws['B7'] = 'below'\n");
  std::int16_t order = 2;
  tabrix_.VarTableReport(Rows(5), opened.Sheet, std::string("B5"), std::string(), std::int16_t{0},
                         std::int16_t{1}, order);
  EXPECT_EQ(order, 0);
  auto saved = Save(opened, "out.xlsx");
  EXPECT_EQ(saved.Text("Data", "B10"), "TOTAL");  // inside the band: moved down by four
  EXPECT_EQ(saved.Text("Data", "B11"), "below");
  EXPECT_EQ(saved.Text("Data", "A6"), "a6");  // outside the band: in place
  EXPECT_EQ(saved.Text("Data", "E6"), "e6");
  EXPECT_EQ(saved.Text("Data", "A10"), "");
}

TEST_F(VarTableTest, TotalsGrowAsTheSpreadsheetGrowsThem) {
  // Three scenarios, one sheet each, recalculated together.
  auto opened = Template(
      "ws.title = 'Reserve2'\nwb.create_sheet('Spacer')\nwb.create_sheet('Shrink')\n"
      "r2, sp, sh = (wb[t] for t in ['Reserve2', 'Spacer', 'Shrink'])\n"
      // Reserve 2, SUM over both reserved rows: grows.
      "r2['A7'] = 'TOTAL'; r2['D7'] = '=SUM(D5:D6)'\n"
      // Reserve 1 with a spacer row inside the SUM: grows.
      "sp['A7'] = 'TOTAL'; sp['D7'] = '=SUM(D5:D6)'\n"
      // Reserve 4 with two records: two blocks go, the SUM shrinks to the two left.
      "sh['A9'] = 'TOTAL'; sh['D9'] = '=SUM(D5:D8)'; sh['D7'] = 999\n");
  Report(Rows(5), opened.Workbook->WorksheetByName("Reserve2"), "B5", "", 0, 2);
  Report(Rows(5), opened.Workbook->WorksheetByName("Spacer"), "B5");
  Report(Rows(2), opened.Workbook->WorksheetByName("Shrink"), "B5", "", 1, 4);
  auto saved = Save(opened, "out.xlsx");

  EXPECT_EQ(saved.Text("Reserve2", "D10"), "=SUM(D5:D9)");
  EXPECT_EQ(saved.Text("Reserve2", "B9"), "r5");  // the second reserved row holds record 5
  EXPECT_EQ(saved.Text("Spacer", "A11"), "TOTAL");  // the spacer row stays below the records
  EXPECT_EQ(saved.Text("Spacer", "D11"), "=SUM(D5:D10)");
  EXPECT_EQ(saved.Text("Shrink", "D7"), "=SUM(D5:D6)");
  EXPECT_EQ(saved.Text("Shrink", "B6"), "r2");

  REQUIRE_LIBREOFFICE();
  auto sheets = LibreOfficeSheets(folder_.File("out.xlsx"));
  const double all = 10.5 + 20.25 + 30 + 40 + 50.125;
  EXPECT_DOUBLE_EQ(std::stod(CsvCell(sheets["Reserve2"], "D10")), all);
  EXPECT_DOUBLE_EQ(std::stod(CsvCell(sheets["Spacer"], "D11")), all);
  EXPECT_DOUBLE_EQ(std::stod(CsvCell(sheets["Shrink"], "D7")), 10.5 + 20.25);
}

TEST_F(VarTableTest, CopyRepeatsFormatsAndFormulasIntoTheInsertedBlocks) {
  auto opened = Template(
      "ws['E5'] = '=D5*2'; ws['B5'].fill = PatternFill('solid', fgColor='FFFFFF00')\n"
      "ws['C5'].number_format = '0.000'\n"
      "ws['B6'] = 'second'; ws['E6'] = 'kept'\n"
      "ws['A7'] = 'TOTAL'; ws['E7'] = '=SUM(E5:E6)'\n");
  // Reserve 2: the copy covers the template block and the inserted blocks, not the second
  // reserved block, which keeps what it had until record 5 is written over it.
  Report(Rows(5), opened.Sheet, "B5", "B5:E5", 1, 2);
  auto saved = Save(opened, "out.xlsx");
  for (int row = 5; row <= 8; ++row) {
    const std::string r = std::to_string(row);
    EXPECT_EQ(saved.Text("Data", "E" + r), "=D" + r + "*2");
    EXPECT_EQ(saved.Cell("Data", "B" + r).Fill, "FFFFFF00") << row;
    EXPECT_EQ(saved.Cell("Data", "C" + r).NumberFormat, "0.000") << row;
  }
  EXPECT_EQ(saved.Text("Data", "E9"), "kept");
  EXPECT_EQ(saved.Text("Data", "E10"), "=SUM(E5:E9)");

  REQUIRE_LIBREOFFICE();
  auto sheets = LibreOfficeSheets(folder_.File("out.xlsx"));
  EXPECT_EQ(CsvCell(sheets["Data"], "E10"), "201.5");  // the text is not summed
}

TEST_F(VarTableTest, ReservedBlocksAreKeptOrDeleted) {
  const std::string layout = std::string(kHeader) + "ws['B6'] = 'second'\nws['B7'] = 'third'\n"
                                                    "ws['A8'] = 'TOTAL'\nws['D8'] = '=SUM(D5:D7)'\n";
  auto same = Template(layout);  // Reserve 3, three records: nothing moves
  Report(Rows(3), same.Sheet, "B5", "", 0, 3);
  auto saved = Save(same, "same.xlsx");
  EXPECT_EQ(saved.Text("Data", "B7"), "r3");
  EXPECT_EQ(saved.Text("Data", "D8"), "=SUM(D5:D7)");

  auto one = Template(layout);  // Reserve 3, one record: two blocks deleted
  Report(Rows(1), one.Sheet, "B5", "", 0, 3);
  saved = Save(one, "one.xlsx");
  EXPECT_EQ(saved.Text("Data", "B5"), "r1");  // written over the former last reserved block
  EXPECT_EQ(saved.Text("Data", "A6"), "TOTAL");
  EXPECT_EQ(saved.Text("Data", "D6"), "=SUM(D5:D5)");
  EXPECT_EQ(saved.Text("Data", "A5"), "");  // row 5 was deleted twice over
}

TEST_F(VarTableTest, EmptyRecordsetKeepsDeletesTheBlockOrTheSheet) {
  const std::string layout = std::string(kHeader) +
                             "ws['D5'] = 'W40'\nws['B5'] = 'template text'\n"
                             "ws['A6'] = 'TOTAL'\nwb.create_sheet('Other')['A1'] = 'other'\n";
  auto keep = Template(layout);
  ProgressRecorder events;
  tabrix_.SetEventSink(&events);
  Report(Rows(0, "name, qty, photo"), keep.Sheet, "B5", "", 1, 1, 0, "photo");
  EXPECT_EQ(events.Calls, (Calls{{0, 0}}));
  auto saved = Save(keep, "keep.xlsx");
  EXPECT_EQ(saved.Text("Data", "B5"), "template text");
  EXPECT_EQ(saved.Text("Data", "D5"), "");  // the image option cell is cleared

  auto rows = Template(layout + "ws['B6'] = 'second'\nws['A7'] = 'TOTAL2'\n");
  Report(Rows(0), rows.Sheet, "B5", "", 0, 2, 0, "", "", 1);
  EXPECT_EQ(Save(rows, "delrange.xlsx").Text("Data", "A5"), "TOTAL2");  // both reserved rows are gone

  auto band = Template(layout);
  Report(Rows(0), band.Sheet, "B5", "", 0, 1, 2, "", "", 1);
  saved = Save(band, "delrange-band.xlsx");
  EXPECT_EQ(saved.Text("Data", "A5"), "a5");  // ROWRANGE deletes only the block's cells
  EXPECT_EQ(saved.Text("Data", "B5"), "");

  auto sheet = Template(layout);
  Report(Rows(0), sheet.Sheet, "B5", "", 0, 1, 0, "", "", 2);
  EXPECT_EQ(Save(sheet, "delsheet.xlsx").Sheets, (std::vector<std::string>{"Other"}));
}

TEST_F(VarTableTest, PageBreaksGoAboveEachNewPageButNotAfterTheLast) {
  for (const auto& [records, breaks] : {std::pair{5, std::vector<int>{6, 8}}, std::pair{4, std::vector<int>{6}}}) {
    auto opened = Template(kHeader);
    Report(Rows(records), opened.Sheet, "B5", "", 0, 1, 0, "", "2");
    EXPECT_EQ(Save(opened, "breaks.xlsx").RowBreaks["Data"], breaks) << records;
  }
}

TEST_F(VarTableTest, ColumnOrderInsertsColumns) {
  const std::string layout =
      "ws['A2'] = 'Name'\nws['A3'] = 'Qty'\nws['A4'] = 'Amount'\n"
      "ws['C1'] = 'c1'\nws['C2'] = 'TOTAL'\nws['C4'] = '=SUM(B4:B4)'\n";
  auto whole = Template(layout);
  Report(Rows(4), whole.Sheet, "B2", "", 0, 1, 1);
  auto saved = Save(whole, "col.xlsx");
  EXPECT_EQ(saved.Text("Data", "E2"), "r4");
  EXPECT_EQ(saved.Text("Data", "E4"), "40.0");
  EXPECT_EQ(saved.Text("Data", "F1"), "c1");  // entire columns C..E were inserted
  EXPECT_EQ(saved.Text("Data", "F4"), "=SUM(B4:B4)");

  auto band = Template(layout);
  Report(Rows(4), band.Sheet, "B2", "", 0, 1, 3);
  saved = Save(band, "colrange.xlsx");
  EXPECT_EQ(saved.Text("Data", "C1"), "c1");  // outside the rows of the block: in place
  EXPECT_EQ(saved.Text("Data", "F2"), "TOTAL");
}

TEST_F(VarTableTest, PicturesAreSizedAndAnchoredOnTheirCells) {
  std::filesystem::create_directories(folder_.File("pics"));
  MakePng(folder_.File("pics/wide.png"), 80, 40);        // 60 x 30 points at 96 dpi
  MakePng(folder_.File("pics/sharp.png"), 80, 40, 192);  // 30 x 15 points
  ExecuteSql(db_, "CREATE TABLE p(n TEXT, a TEXT, b TEXT, c TEXT, d TEXT);"
                  "INSERT INTO p VALUES ('x', 'pics/wide.png', 'pics\\sharp.png', 'pics/wide.png', "
                  "'pics/./wide.png'), ('y', NULL, 'pics/sharp.png', '  ', 'pics/../pics/wide.png');");
  auto opened = Template(
      "ws['B2'] = 'W200'\n"         // 200 wide, proportional height
      "ws['C2'] = ''\n"             // own size
      "ws['D2'] = 'stretch nms'\n"  // covers its merged area, free-floating
      "ws['F2'] = 'h45 mas'\n"      // the second listing of F reads a cleared cell: defaults
      "ws.merge_cells('D2:E3')\n"
      "ws.column_dimensions['D'].width = 20\n"
      "ws.row_dimensions[2].height = 30\n");
  Report(Records("SELECT n, a, b, c, d FROM p"), opened.Sheet, "A2,B2,C2,D2,F2", "A2:F3", 0, 1, 0,
         "2,3,4,5,5");
  auto saved = Save(opened, "pictures.xlsx");
  EXPECT_EQ(saved.Text("Data", "A4"), "y");
  EXPECT_EQ(saved.Text("Data", "B2"), "");  // option cells cleared

  std::map<std::pair<int, int>, PictureFacts> byCell;
  for (const auto& p : saved.Pictures["Data"]) byCell[{p.Row0 + 1, p.Column0 + 1}] = p;
  ASSERT_EQ(byCell.size(), 6u);  // the Null and blank names add no picture
  EXPECT_EQ(byCell.count({4, 2}) + byCell.count({4, 4}), 0u);
  auto at = [&](int row, int column) { return byCell[std::make_pair(row, column)]; };
  EXPECT_NEAR(at(2, 2).WidthPoints, 200, 0.1);
  EXPECT_NEAR(at(2, 2).HeightPoints, 100, 0.1);
  EXPECT_NEAR(at(4, 3).WidthPoints, 30, 0.1);
  EXPECT_NEAR(at(4, 3).HeightPoints, 15, 0.1);
  // Column D is 20 characters (140 px), E the default 64 px; rows 2 and 3 are 30 + 15 points.
  EXPECT_NEAR(at(2, 4).WidthPoints, (140 + 64) * 0.75, 0.1);
  EXPECT_NEAR(at(2, 4).HeightPoints, 45, 0.1);
  auto anchored = [&](int row, int column, const char* anchor, const char* editAs) {
    const PictureFacts p = at(row, column);
    return p.Anchor == anchor || p.EditAs == editAs;
  };
  EXPECT_TRUE(anchored(2, 4, "absoluteAnchor", "absolute"));  // NMS: neither moves nor sizes
  EXPECT_TRUE(anchored(2, 3, "oneCellAnchor", "oneCell"));    // default: moves, does not size
  EXPECT_TRUE(anchored(2, 6, "oneCellAnchor", "oneCell"));    // "mas" was read once, then cleared
  EXPECT_NEAR(at(2, 6).HeightPoints, 30, 0.1);
}

TEST_F(VarTableTest, FailuresKeepWhatWasWritten) {
  // (A missing worksheet or a closed recordset: see the fixed table, which shares those checks.)
  auto opened = Template(std::string(kHeader) + "ws['A6'] = 'TOTAL'\n");
  AutomationError error = CaughtError([&] {
    Report(Records("SELECT name, photo FROM v WHERE id >= 3 ORDER BY id"), opened.Sheet, "B5", "", 0, 1,
           0, "photo");
  });
  // Record 1 names pics\wide.png (no such file beside the template); the prefix is as written.
  EXPECT_EQ(error.Description().rfind("Failed to execute function VarTableReprot. Failed to insert the "
                                      "image file \"" + folder_.File("pics/wide.png") + "\". ", 0),
            0u)
      << error.Description();
  auto saved = Save(opened, "failed.xlsx");
  EXPECT_EQ(saved.Text("Data", "B5"), "r3");
  EXPECT_EQ(saved.Text("Data", "A8"), "TOTAL");  // the rows were inserted before the fill

  auto second = Template(std::string(kHeader) + "ws['C5'] = 'W10'\nws['D5'] = 'H10'\n");
  AutomationError image = CaughtError([&] {
    Report(Rows(2, "name, photo, amount"), second.Sheet, "B5", "", 0, 1, 0, "photo, nothing, amount");
  });
  EXPECT_EQ(image.Number(), kErrImageFieldMissing);
  EXPECT_EQ(image.Description(),
            "Syntax error. Failed to parse image. Can not find field \"nothing\" in the image list.");
  auto kept = Save(second, "image-step.xlsx");
  EXPECT_EQ(kept.Text("Data", "C5"), "");     // read and cleared before the failing entry
  EXPECT_EQ(kept.Text("Data", "D5"), "H10");  // after it: untouched
  EXPECT_EQ(kept.Text("Data", "B6"), "");     // nothing was inserted or written

  // A URL is handed to the engine as written, never resolved against the workbook's folder.
  ExecuteSql(db_, "CREATE TABLE u(name TEXT, photo TEXT); INSERT INTO u VALUES ('web', ' http://127.0.0.1:9/a.png ');");
  auto third = Template(kHeader);
  AutomationError url = CaughtError([&] {
    Report(Records("SELECT name, photo FROM u"), third.Sheet, "B5", "", 0, 1, 0, "2");
  });
  EXPECT_EQ(url.Description().rfind("Failed to execute function VarTableReprot. Failed to insert "
                                    "the image file \"http://127.0.0.1:9/a.png\". ", 0),
            0u)
      << url.Description();
}

}  // namespace
}  // namespace tabrix
