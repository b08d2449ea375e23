// The growing table on real templates and SQLite recordsets, checked in the saved files and,
// where LibreOffice is installed, after a full recalculation.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>

#include "fill/fill_fixture.h"
#include "fixtures/required_tools.h"
#include "tabrix/error_codes.h"

namespace tabrix {
namespace {

using filltest::CaughtError;
using Calls = std::vector<std::pair<std::int32_t, std::int32_t>>;

// Header in row 4, one-row block B5:D5 (name, qty, amount), markers in A and E beside it.
constexpr const char* kHeader =
    "ws['B4'] = 'Name'\nws['C4'] = 'Qty'\nws['D4'] = 'Amount'\n"
    "ws['A5'] = 'a5'\nws['E5'] = 'e5'\n";

class VarTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = folder_.File("data.db");
    filltest::MakeDatabase(db_,
                           "CREATE TABLE v(id INTEGER, name TEXT, qty INTEGER, amount REAL, photo TEXT);"
                           "INSERT INTO v VALUES (1, 'r1', 1, 10.5, 'pics/wide.png');"
                           "INSERT INTO v VALUES (2, 'r2', 2, 20.25, NULL);"
                           "INSERT INTO v VALUES (3, 'r3', 3, 30, 'pics\\wide.png');"
                           "INSERT INTO v VALUES (4, 'r4', 4, 40, 'gone.png');"
                           "INSERT INTO v VALUES (5, 'r5', 5, 50.125, 'pics/wide.png');");
  }
  // Records 1..n (name, qty, amount).
  RecordsetPtr Records(int n, const std::string& columns = "name, qty, amount") {
    return filltest::OpenRecordset(
        db_, "SELECT " + columns + " FROM v WHERE id <= " + std::to_string(n) + " ORDER BY id");
  }
  filltest::OpenedTemplate Template(const std::string& body) {
    filltest::MakeTemplate(folder_.File("template.xlsx"), body);
    return filltest::OpenTemplate(folder_.File("template.xlsx"));
  }
  filltest::SavedWorkbook Save(const filltest::OpenedTemplate& opened, const std::string& name) {
    return filltest::SaveAndRead(opened, folder_.File(name));
  }

  filltest::ScratchFolder folder_;
  std::string db_;
};

TEST_F(VarTableTest, RowsAreInsertedBelowTheBlockAndEverythingBelowMoves) {
  auto opened = Template(std::string(kHeader) +
                         "ws['A6'] = 'TOTAL'\nws['D6'] = '=SUM(D5:D5)'\nws['E6'] = 'e6'\n"
                         "ws['A8'] = 'footer'\nws.merge_cells('A8:D8')\n"
                         "add_name(wb, 'Total', 'Data!$D$6')\n");
  filltest::ProgressRecorder events;
  Tabrix tabrix;
  tabrix.SetEventSink(&events);
  tabrix.VarTableReport(Records(5), opened.Sheet, std::string("B5"));
  EXPECT_EQ(events.Calls, (Calls{{0, 5}, {1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}}));

  auto saved = Save(opened, "out.xlsx");
  for (int r = 1; r <= 5; ++r) {
    const std::string row = std::to_string(4 + r);
    EXPECT_EQ(saved.Text("Data", "B" + row), "r" + std::to_string(r));
    EXPECT_EQ(saved.Cell("Data", "C" + row).Type, 'n');
  }
  EXPECT_EQ(saved.Text("Data", "E5"), "e5");  // entire rows inserted below row 5
  EXPECT_EQ(saved.Text("Data", "A10"), "TOTAL");
  EXPECT_EQ(saved.Text("Data", "E10"), "e6");
  EXPECT_EQ(saved.Text("Data", "D10"), "=SUM(D5:D5)");  // rows inserted below a range do not widen it
  EXPECT_EQ(saved.Text("Data", "A12"), "footer");
  EXPECT_EQ(saved.Merges["Data"], (std::vector<std::string>{"A12:D12"}));
  EXPECT_EQ(saved.Names["Total"], "Data!$D$10");
}

TEST_F(VarTableTest, RangeOrderInsertsOnlyInsideTheBlockColumns) {
  auto opened = Template(std::string(kHeader) +
                         "ws['A6'] = 'a6'\nws['B6'] = 'TOTAL'\nws['D6'] = '=SUM(D5:D5)'\n"
                         "ws['E6'] = 'e6'\nws['B7'] = 'below'\n");
  std::int16_t order = 2;
  Tabrix().VarTableReport(Records(5), opened.Sheet, std::string("B5"), std::string(),
                          std::int16_t{0}, std::int16_t{1}, order);
  EXPECT_EQ(order, 0);
  auto saved = Save(opened, "out.xlsx");
  EXPECT_EQ(saved.Text("Data", "B9"), "r5");
  EXPECT_EQ(saved.Text("Data", "B10"), "TOTAL");  // inside the band: moved down by four
  EXPECT_EQ(saved.Text("Data", "D10"), "=SUM(D5:D5)");
  EXPECT_EQ(saved.Text("Data", "B11"), "below");
  EXPECT_EQ(saved.Text("Data", "A6"), "a6");  // outside the band: in place
  EXPECT_EQ(saved.Text("Data", "E6"), "e6");
  EXPECT_EQ(saved.Text("Data", "A10"), "");
  EXPECT_EQ(saved.Text("Data", "E10"), "");
}

TEST_F(VarTableTest, TotalsGrowAsTheSpreadsheetGrowsThem) {
  // Four scenarios, one sheet each, recalculated together.
  auto opened = Template(
      "ws.title = 'Reserve1'\n"
      "for title in ['Reserve2', 'Spacer', 'Shrink']:\n"
      "    wb.create_sheet(title)\n"
      "r1, r2, sp, sh = (wb[t] for t in ['Reserve1', 'Reserve2', 'Spacer', 'Shrink'])\n"
      // Reserve 1, SUM over the single block row: does not grow.
      "r1['A6'] = 'TOTAL'; r1['D6'] = '=SUM(D5:D5)'\n"
      // Reserve 2, SUM over both reserved rows: grows.
      "r2['A7'] = 'TOTAL'; r2['D7'] = '=SUM(D5:D6)'\n"
      // Reserve 1 with a spacer row inside the SUM: grows.
      "sp['A7'] = 'TOTAL'; sp['D7'] = '=SUM(D5:D6)'\n"
      // Reserve 4 with two records: two blocks go, the SUM shrinks to the two left.
      "sh['A9'] = 'TOTAL'; sh['D9'] = '=SUM(D5:D8)'; sh['D7'] = 999\n");
  Tabrix tabrix;
  tabrix.VarTableReport(Records(5), opened.Workbook->WorksheetByName("Reserve1"), std::string("B5"));
  tabrix.VarTableReport(Records(5), opened.Workbook->WorksheetByName("Reserve2"), std::string("B5"),
                        std::string(), std::int16_t{0}, std::int16_t{2});
  tabrix.VarTableReport(Records(5), opened.Workbook->WorksheetByName("Spacer"), std::string("B5"));
  tabrix.VarTableReport(Records(2), opened.Workbook->WorksheetByName("Shrink"), std::string("B5"),
                        std::string(), std::int16_t{1}, std::int16_t{4});
  auto saved = Save(opened, "out.xlsx");

  EXPECT_EQ(saved.Text("Reserve1", "D10"), "=SUM(D5:D5)");
  EXPECT_EQ(saved.Text("Reserve2", "A10"), "TOTAL");
  EXPECT_EQ(saved.Text("Reserve2", "D10"), "=SUM(D5:D9)");
  EXPECT_EQ(saved.Text("Reserve2", "B9"), "r5");  // the second reserved row holds record 5
  EXPECT_EQ(saved.Text("Spacer", "A11"), "TOTAL");  // the spacer row stays below the records
  EXPECT_EQ(saved.Text("Spacer", "D11"), "=SUM(D5:D10)");
  EXPECT_EQ(saved.Text("Shrink", "A7"), "TOTAL");
  EXPECT_EQ(saved.Text("Shrink", "D7"), "=SUM(D5:D6)");
  EXPECT_EQ(saved.Text("Shrink", "B6"), "r2");

  REQUIRE_LIBREOFFICE();
  auto sheets = filltest::RecalculatedSheets(folder_.File("out.xlsx"));
  auto number = [&](const std::string& sheet, const std::string& ref) {
    const std::string text = filltest::RecalculatedCell(sheets[sheet], ref);
    return text.empty() ? NAN : std::stod(text);
  };
  const double all = 10.5 + 20.25 + 30 + 40 + 50.125;
  EXPECT_DOUBLE_EQ(number("Reserve1", "D10"), 10.5);
  EXPECT_DOUBLE_EQ(number("Reserve2", "D10"), all);
  EXPECT_DOUBLE_EQ(number("Spacer", "D11"), all);
  EXPECT_DOUBLE_EQ(number("Shrink", "D7"), 10.5 + 20.25);
}

TEST_F(VarTableTest, CopyRepeatsFormatsAndFormulasIntoTheInsertedBlocks) {
  auto opened = Template(
      "ws['E5'] = '=D5*2'; ws['B5'].fill = PatternFill('solid', fgColor='FFFFFF00')\n"
      "ws['C5'].number_format = '0.000'\n"
      "ws['B6'] = 'second'; ws['E6'] = 'kept'\n"
      "ws['A7'] = 'TOTAL'; ws['E7'] = '=SUM(E5:E6)'\n");
  // Reserve 2: the copy covers the template block and the inserted blocks, not the second
  // reserved block, which keeps what it had until record 5 is written over it.
  Tabrix().VarTableReport(Records(5), opened.Sheet, std::string("B5"), std::string("B5:E5"),
                          std::int16_t{1}, std::int16_t{2});
  auto saved = Save(opened, "out.xlsx");
  for (int row = 5; row <= 8; ++row) {
    const std::string r = std::to_string(row);
    EXPECT_EQ(saved.Text("Data", "E" + r), "=D" + r + "*2");
    EXPECT_EQ(saved.Cell("Data", "B" + r).Fill, "FFFFFF00") << row;
    EXPECT_EQ(saved.Cell("Data", "C" + r).NumberFormat, "0.000") << row;
  }
  EXPECT_EQ(saved.Text("Data", "B9"), "r5");
  EXPECT_EQ(saved.Text("Data", "E9"), "kept");
  EXPECT_EQ(saved.Text("Data", "E10"), "=SUM(E5:E9)");

  REQUIRE_LIBREOFFICE();
  auto sheets = filltest::RecalculatedSheets(folder_.File("out.xlsx"));
  EXPECT_EQ(filltest::RecalculatedCell(sheets["Data"], "E8"), "80");
  EXPECT_EQ(filltest::RecalculatedCell(sheets["Data"], "E10"), "201.5");  // the text is not summed
}

TEST_F(VarTableTest, ReservedBlocksAreKeptOrDeleted) {
  const std::string layout = std::string(kHeader) + "ws['B6'] = 'second'\nws['B7'] = 'third'\n"
                                                    "ws['A8'] = 'TOTAL'\nws['D8'] = '=SUM(D5:D7)'\n";
  {
    auto opened = Template(layout);  // Reserve 3, three records: nothing moves
    Tabrix().VarTableReport(Records(3), opened.Sheet, std::string("B5"), std::string(),
                            std::int16_t{0}, std::int16_t{3});
    auto saved = Save(opened, "same.xlsx");
    EXPECT_EQ(saved.Text("Data", "B7"), "r3");
    EXPECT_EQ(saved.Text("Data", "A8"), "TOTAL");
    EXPECT_EQ(saved.Text("Data", "D8"), "=SUM(D5:D7)");
  }
  {
    auto opened = Template(layout);  // Reserve 3, one record: two blocks deleted
    Tabrix().VarTableReport(Records(1), opened.Sheet, std::string("B5"), std::string(),
                            std::int16_t{0}, std::int16_t{3});
    auto saved = Save(opened, "one.xlsx");
    EXPECT_EQ(saved.Text("Data", "B5"), "r1");  // written over the former last reserved block
    EXPECT_EQ(saved.Text("Data", "A6"), "TOTAL");
    EXPECT_EQ(saved.Text("Data", "D6"), "=SUM(D5:D5)");
    EXPECT_EQ(saved.Text("Data", "A5"), "");  // row 5 was deleted twice over
  }
  {
    auto opened = Template(layout);  // Reserve 3, two records: exactly two blocks are left
    Tabrix().VarTableReport(Records(2), opened.Sheet, std::string("B5"), std::string(),
                            std::int16_t{1}, std::int16_t{3});
    auto saved = Save(opened, "two.xlsx");
    EXPECT_EQ(saved.Text("Data", "B5"), "r1");
    EXPECT_EQ(saved.Text("Data", "B6"), "r2");
    EXPECT_EQ(saved.Text("Data", "A7"), "TOTAL");
    EXPECT_EQ(saved.Text("Data", "D7"), "=SUM(D5:D6)");
  }
  {
    auto opened = Template(std::string(kHeader) + "ws['F6'] = 'second'\nws['A7'] = 'TOTAL'\n");
    // Reserve 2, four records: two rows go in between the two reserved rows.
    Tabrix().VarTableReport(Records(4), opened.Sheet, std::string("B5"), std::string(),
                            std::int16_t{0}, std::int16_t{2});
    auto saved = Save(opened, "between.xlsx");
    EXPECT_EQ(saved.Text("Data", "F8"), "second");
    EXPECT_EQ(saved.Text("Data", "B8"), "r4");
    EXPECT_EQ(saved.Text("Data", "A9"), "TOTAL");
  }
}

TEST_F(VarTableTest, EmptyRecordsetKeepsDeletesTheBlockOrTheSheet) {
  const std::string layout = std::string(kHeader) +
                             "ws['D5'] = 'W40'\nws['B5'] = 'template text'\n"
                             "ws['A6'] = 'TOTAL'\nwb.create_sheet('Other')['A1'] = 'other'\n";
  {
    auto opened = Template(layout);
    filltest::ProgressRecorder events;
    Tabrix tabrix;
    tabrix.SetEventSink(&events);
    tabrix.VarTableReport(Records(0, "name, qty, photo"), opened.Sheet, std::string("B5"),
                          std::string(), std::int16_t{1}, std::int16_t{1}, std::int16_t{0},
                          std::string("photo"));
    EXPECT_EQ(events.Calls, (Calls{{0, 0}}));
    auto saved = Save(opened, "keep.xlsx");
    EXPECT_EQ(saved.Text("Data", "B5"), "template text");
    EXPECT_EQ(saved.Text("Data", "D5"), "");  // the image option cell is cleared
    EXPECT_EQ(saved.Text("Data", "A6"), "TOTAL");
  }
  {
    auto opened = Template(layout + "ws['B6'] = 'second'\nws['A7'] = 'TOTAL2'\n");
    Tabrix().VarTableReport(Records(0), opened.Sheet, std::string("B5"), std::string(),
                            std::int16_t{0}, std::int16_t{2}, std::int16_t{0}, std::string(),
                            std::string(), std::int16_t{1});
    auto saved = Save(opened, "delrange.xlsx");
    EXPECT_EQ(saved.Text("Data", "B4"), "Name");
    EXPECT_EQ(saved.Text("Data", "A5"), "TOTAL2");  // both reserved rows are gone
  }
  {
    auto opened = Template(layout);
    Tabrix().VarTableReport(Records(0), opened.Sheet, std::string("B5"), std::string(),
                            std::int16_t{0}, std::int16_t{1}, std::int16_t{2}, std::string(),
                            std::string(), std::int16_t{1});
    auto saved = Save(opened, "delrange-band.xlsx");
    EXPECT_EQ(saved.Text("Data", "A5"), "a5");  // ROWRANGE deletes only the block's cells
    EXPECT_EQ(saved.Text("Data", "B5"), "");
  }
  {
    auto opened = Template(layout);
    Tabrix().VarTableReport(Records(0), opened.Sheet, std::string("B5"), std::string(),
                            std::int16_t{0}, std::int16_t{1}, std::int16_t{0}, std::string(),
                            std::string(), std::int16_t{2});
    auto saved = Save(opened, "delsheet.xlsx");
    EXPECT_EQ(saved.Sheets, (std::vector<std::string>{"Other"}));
  }
}

TEST_F(VarTableTest, PageBreaksGoAboveEachNewPageButNotAfterTheLast) {
  {
    auto opened = Template(kHeader);
    Tabrix().VarTableReport(Records(5), opened.Sheet, std::string("B5"), std::string(),
                            std::int16_t{0}, std::int16_t{1}, std::int16_t{0}, std::string(),
                            std::string("2"));
    auto saved = Save(opened, "five.xlsx");
    EXPECT_EQ(saved.RowBreaks["Data"], (std::vector<int>{6, 8}));  // above rows 7 and 9
  }
  {
    auto opened = Template(kHeader);
    Tabrix().VarTableReport(Records(4), opened.Sheet, std::string("B5"), std::string(),
                            std::int16_t{0}, std::int16_t{1}, std::int16_t{0}, std::string(),
                            std::string("2"));
    auto saved = Save(opened, "four.xlsx");
    EXPECT_EQ(saved.RowBreaks["Data"], (std::vector<int>{6}));
  }
}

TEST_F(VarTableTest, ColumnOrderInsertsColumns) {
  const std::string layout =
      "ws['A2'] = 'Name'\nws['A3'] = 'Qty'\nws['A4'] = 'Amount'\n"
      "ws['C1'] = 'c1'\nws['C2'] = 'TOTAL'\nws['C4'] = '=SUM(B4:B4)'\n";
  {
    auto opened = Template(layout);
    Tabrix().VarTableReport(Records(4), opened.Sheet, std::string("B2"), std::string(),
                            std::int16_t{0}, std::int16_t{1}, std::int16_t{1});
    auto saved = Save(opened, "col.xlsx");
    EXPECT_EQ(saved.Text("Data", "B2"), "r1");
    EXPECT_EQ(saved.Text("Data", "E2"), "r4");
    EXPECT_EQ(saved.Text("Data", "E4"), "40.0");
    EXPECT_EQ(saved.Text("Data", "F1"), "c1");  // entire columns C..E were inserted
    EXPECT_EQ(saved.Text("Data", "F2"), "TOTAL");
    EXPECT_EQ(saved.Text("Data", "F4"), "=SUM(B4:B4)");
  }
  {
    auto opened = Template(layout);
    Tabrix().VarTableReport(Records(4), opened.Sheet, std::string("B2"), std::string(),
                            std::int16_t{0}, std::int16_t{1}, std::int16_t{3});
    auto saved = Save(opened, "colrange.xlsx");
    EXPECT_EQ(saved.Text("Data", "E2"), "r4");
    EXPECT_EQ(saved.Text("Data", "C1"), "c1");  // outside the rows of the block: in place
    EXPECT_EQ(saved.Text("Data", "F2"), "TOTAL");
  }
}

TEST_F(VarTableTest, PicturesAreSizedAndAnchoredOnTheirCells) {
  std::filesystem::create_directories(folder_.File("pics"));
  filltest::MakePng(folder_.File("pics/wide.png"), 80, 40);        // 60 x 30 points at 96 dpi
  filltest::MakePng(folder_.File("pics/sharp.png"), 80, 40, 192);  // 30 x 15 points
  filltest::MakeDatabase(db_, "CREATE TABLE p(n TEXT, a TEXT, b TEXT, c TEXT, d TEXT);"
                              "INSERT INTO p VALUES ('x', 'pics/wide.png', 'pics\\sharp.png', "
                              "'pics/wide.png', 'pics/./wide.png');"
                              "INSERT INTO p VALUES ('y', NULL, 'pics/sharp.png', '  ', "
                              "'pics/../pics/wide.png');");
  auto opened = Template(
      "ws['B2'] = 'W200'\n"         // 200 wide, proportional height
      "ws['C2'] = ''\n"             // own size
      "ws['D2'] = 'stretch nms'\n"  // covers its merged area, free-floating
      "ws['F2'] = 'h45 mas'\n"      // the second listing of F reads a cleared cell: defaults
      "ws.merge_cells('D2:E3')\n"
      "ws.column_dimensions['D'].width = 20\n"
      "ws.row_dimensions[2].height = 30\n"
      "ws['A4'] = 'total'\n");
  Tabrix().VarTableReport(
      filltest::OpenRecordset(db_, "SELECT n, a, b, c, d FROM p"), opened.Sheet,
      std::string("A2,B2,C2,D2,F2"), std::string("A2:F3"), std::int16_t{0}, std::int16_t{1},
      std::int16_t{0}, std::string("2,3,4,5,5"));
  auto saved = Save(opened, "pictures.xlsx");
  EXPECT_EQ(saved.Text("Data", "A2"), "x");
  EXPECT_EQ(saved.Text("Data", "A4"), "y");
  EXPECT_EQ(saved.Text("Data", "B2"), "");  // option cells cleared
  EXPECT_EQ(saved.Text("Data", "F2"), "");
  EXPECT_EQ(saved.Text("Data", "A6"), "total");

  std::map<std::pair<int, int>, filltest::PictureFacts> byCell;
  for (const auto& p : saved.Pictures["Data"]) byCell[{p.Row0 + 1, p.Column0 + 1}] = p;
  ASSERT_EQ(byCell.size(), 6u);  // the Null and blank names add no picture
  auto at = [&](int row, int column) { return byCell[std::make_pair(row, column)]; };
  EXPECT_NEAR(at(2, 2).WidthPoints, 200, 0.1);
  EXPECT_NEAR(at(2, 2).HeightPoints, 100, 0.1);
  EXPECT_NEAR(at(2, 3).WidthPoints, 30, 0.1);
  EXPECT_NEAR(at(2, 3).HeightPoints, 15, 0.1);
  EXPECT_NEAR(at(4, 3).WidthPoints, 30, 0.1);
  // Column D is 20 characters (140 px), E the default 64 px; rows 2 and 3 are 30 + 15 points.
  EXPECT_NEAR(at(2, 4).WidthPoints, (140 + 64) * 0.75, 0.1);
  EXPECT_NEAR(at(2, 4).HeightPoints, 45, 0.1);
  auto anchored = [&](int row, int column, const char* anchor, const char* editAs) {
    const filltest::PictureFacts p = at(row, column);
    return p.Anchor == anchor || p.EditAs == editAs;
  };
  EXPECT_TRUE(anchored(2, 4, "absoluteAnchor", "absolute"));  // NMS: neither moves nor sizes
  EXPECT_TRUE(anchored(2, 3, "oneCellAnchor", "oneCell"));    // default: moves, does not size
  EXPECT_TRUE(anchored(2, 6, "oneCellAnchor", "oneCell"));    // "mas" was read once, then cleared
  EXPECT_NEAR(at(2, 6).WidthPoints, 60, 0.1);
  EXPECT_NEAR(at(2, 6).HeightPoints, 30, 0.1);
  EXPECT_NEAR(at(4, 6).WidthPoints, 60, 0.1);
  EXPECT_TRUE(byCell.count({4, 2}) == 0);
  EXPECT_TRUE(byCell.count({4, 4}) == 0);
}

TEST_F(VarTableTest, FailuresKeepWhatWasWritten) {
  auto opened = Template(std::string(kHeader) + "ws['A6'] = 'TOTAL'\n");
  AutomationError error = CaughtError([&] {
    Tabrix().VarTableReport(
        filltest::OpenRecordset(db_, "SELECT name, photo FROM v WHERE id >= 3 ORDER BY id"),
        opened.Sheet, std::string("B5"), std::string(), std::int16_t{0}, std::int16_t{1},
        std::int16_t{0}, std::string("photo"));
  });
  // Record 1 names pics\wide.png (no such file beside the template); the prefix is as written.
  EXPECT_EQ(error.Description().rfind("Failed to execute function VarTableReprot. "
                                      "Failed to insert the image file \"" +
                                          folder_.File("pics/wide.png") + "\". ",
                                      0),
            0u)
      << error.Description();
  auto saved = Save(opened, "failed.xlsx");
  EXPECT_EQ(saved.Text("Data", "B5"), "r3");
  EXPECT_EQ(saved.Text("Data", "A8"), "TOTAL");  // the rows were inserted before the fill

  auto second = Template(std::string(kHeader) + "ws['C5'] = 'W10'\nws['D5'] = 'H10'\n");
  AutomationError image = CaughtError([&] {
    Tabrix().VarTableReport(Records(2, "name, photo, amount"), second.Sheet, std::string("B5"),
                            std::string(), std::int16_t{0}, std::int16_t{1}, std::int16_t{0},
                            std::string("photo, nothing, amount"));
  });
  EXPECT_EQ(image.Number(), kErrImageFieldMissing);
  EXPECT_EQ(image.Description(),
            "Syntax error. Failed to parse image. Can not find field \"nothing\" in the image list.");
  auto kept = Save(second, "image-step.xlsx");
  EXPECT_EQ(kept.Text("Data", "C5"), "");     // read and cleared before the failing entry
  EXPECT_EQ(kept.Text("Data", "D5"), "H10");  // after it: untouched
  EXPECT_EQ(kept.Text("Data", "B6"), "");     // nothing was inserted or written

  // A URL is handed to the engine as written, never resolved against the workbook's folder.
  filltest::MakeDatabase(db_, "CREATE TABLE u(name TEXT, photo TEXT);"
                              "INSERT INTO u VALUES ('web', ' http://127.0.0.1:9/a.png ');");
  auto third = Template(kHeader);
  AutomationError url = CaughtError([&] {
    Tabrix().VarTableReport(filltest::OpenRecordset(db_, "SELECT name, photo FROM u"), third.Sheet,
                            std::string("B5"), std::string(), std::int16_t{0}, std::int16_t{1},
                            std::int16_t{0}, std::string("2"));
  });
  EXPECT_EQ(url.Description().rfind("Failed to execute function VarTableReprot. Failed to insert "
                                    "the image file \"http://127.0.0.1:9/a.png\". ",
                                    0),
            0u)
      << url.Description();

  AutomationError sheet = CaughtError([&] {
    Tabrix().VarTableReport(Records(1), WorksheetPtr(), std::string("B5"));
  });
  EXPECT_EQ(sheet.Number(), kErrWorksheetNotSet);
  RecordsetPtr closed = Records(1);
  closed->Close();
  AutomationError state = CaughtError([&] {
    Tabrix().VarTableReport(closed, second.Sheet, std::string("B5"));
  });
  EXPECT_EQ(state.Number(), kErrRecordsetClosed);
}

}  // namespace
}  // namespace tabrix
