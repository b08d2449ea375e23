// Grouped reports on real templates (make_group_templates.py) and SQLite data, checked in the
// saved file: read back by the engine, by openpyxl and, recalculated, by LibreOffice.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "group/counting_sheet.h"
#include "fixtures/office_tools.h"
#include "fixtures/report_files.h"
#include "fixtures/required_tools.h"
#include "tabrix/tabrix.h"
#include "tabrix/error_codes.h"

namespace tabrix {
namespace {

using namespace testing;
using group_test::CountingSheet;
using Lines = std::vector<std::string>;

// The orders of two customers: C1 with orders 1 (lines a, b) and 2 (line c), C2 with order 3.
constexpr const char* kLinesTable =
    "CREATE TABLE lines(customer TEXT, order_no INTEGER, item TEXT, qty INTEGER, amount REAL);";
constexpr const char* kOrders =
    "INSERT INTO lines VALUES ('C1', 1, 'a', 1, 10.0), ('C1', 1, 'b', 2, 20.0),"
    " ('C1', 2, 'c', 1, 5.0), ('C2', 3, 'd', 3, 7.5);";
constexpr const char* kSelectLines = "SELECT customer, order_no, item, qty, amount FROM lines ORDER BY rowid";
constexpr const char* kSelectNone = "SELECT customer, order_no, item, qty, amount FROM lines WHERE 0";

// The arguments of one call, as variables (the method may write FillOrder back).
struct GroupCall {
  std::string cellList = "A3,B4,C5,D5,E5";
  std::string range;
  std::int16_t fillOrder = 0;
  std::string imageList;
  std::string pageBreak;
  std::int16_t noData = 0;
  std::array<std::string, 20> groups{"customer", "A3:F7", "order_no", "A4:F6"};
};

// The sheet "Report" of a saved report read back by the engine, rows (or columns) as texts
// joined by "|".
class SavedSheet {
 public:
  explicit SavedSheet(const std::string& path)
      : application_(platform::CreateSpreadsheetApplication()),
        book_(application_->OpenWorkbook(path, true)),
        sheet_(book_->WorksheetAt(1)) {}
  std::string Text(std::int32_t row, std::int32_t column) { return sheet_->GetValue(row, column).ToText(); }
  Lines Rows(std::int32_t first, std::int32_t last, bool columnWise = false) {
    Lines lines;
    for (std::int32_t i = first; i <= last; ++i) {
      std::string text;
      for (std::int32_t j = 1; j <= 5; ++j) text += (j > 1 ? "|" : "") + (columnWise ? Text(j, i) : Text(i, j));
      lines.push_back(text);
    }
    return lines;
  }
  ApplicationPtr application_;
  WorkbookPtr book_;
  WorksheetPtr sheet_;
};

class GroupedReport : public ::testing::Test {
 protected:
  void SetUp() override {
    RunPython(ReadTextFile(std::string(TABRIX_SOURCE_DIR) + "/tests/group/make_group_templates.py"), {folder_.Path()});
    Data(kOrders);
    tabrix_.SetEventSink(&progress_);
  }
  // Replaces the lines with those the statements insert.
  void Data(const std::string& inserts) {
    std::filesystem::remove(database_);
    ExecuteSql(database_, kLinesTable + inserts);
  }

  // Runs the report on a fresh copy of `templateName`'s sheet "Report" and saves it. The
  // structural operations the report asks for are counted in `counts_`.
  std::string Fill(GroupCall& call, const std::string& sql = kSelectLines,
                   const std::string& templateName = "orders.xlsx") {
    opened_ = OpenTemplate(folder_.File(templateName), "Report");
    counts_ = std::make_shared<CountingSheet>(opened_.Sheet);
    Call(call, OpenRecordset(database_, sql), counts_);
    const std::string saved = folder_.File("report.xlsx");
    opened_.Workbook->SaveAs(saved, std::nullopt);
    return saved;
  }

  void Call(GroupCall& c, RecordsetPtr recordset, WorksheetPtr sheet) {
    auto& g = c.groups;
    tabrix_.GroupTableReport(recordset, sheet, c.cellList, c.range, c.fillOrder, c.imageList, c.pageBreak,
                             c.noData, g[0], g[1], g[2], g[3], g[4], g[5], g[6], g[7], g[8], g[9], g[10],
                             g[11], g[12], g[13], g[14], g[15], g[16], g[17], g[18], g[19]);
  }

  // The failure of a call on the template, which must leave the template untouched.
  AutomationError Failure(GroupCall& call) {
    opened_ = OpenTemplate(folder_.File("orders.xlsx"), "Report");
    AutomationError error = CaughtError([&] { Call(call, OpenRecordset(database_, kSelectLines), opened_.Sheet); });
    EXPECT_EQ(opened_.Sheet->GetValue(3, 1).ToText(), "[customer]");
    EXPECT_EQ(opened_.Sheet->GetValue(10, 1).ToText(), "end");
    return error;
  }

  TempFolder folder_{"tabrix-group"};
  std::string database_ = folder_.File("orders.db");
  ProgressRecorder progress_;
  Tabrix tabrix_;
  OpenedTemplate opened_;
  std::shared_ptr<CountingSheet> counts_;
};

// Rows 3..20 of the orders with both group ranges: every order and customer gets its header
// and footer; the spare template is gone.
const Lines kOrdersWithRanges = {
    "C1||||",           "|1|||",   "||a|1|10",         "||b|2|20",     "|Order total|||",
    "|2|||",            "||c|1|5", "|Order total|||",  "Customer total||||",
    "C2||||",           "|3|||",   "||d|3|7.5",        "|Order total|||", "Customer total||||",
    "||||",             "Grand total||||",             "end||||",      "||||"};

TEST_F(GroupedReport, CustomerOrderLineWithGroupRangesRepeatsHeadersAndFooters) {
  GroupCall call;
  const std::string saved = Fill(call);
  SavedSheet sheet(saved);
  EXPECT_EQ(sheet.Rows(3, 20), kOrdersWithRanges);
  // Entire rows were inserted: the cells beside the table moved with it.
  EXPECT_EQ(sheet.Text(3, 8), "side3");
  EXPECT_EQ(sheet.Text(19, 8), "side10");

  EXPECT_EQ(progress_.Calls, (std::vector<std::pair<std::int32_t, std::int32_t>>{{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}}));
  // The spare template, order 1's second line (run after its first: an insertion and a fill),
  // order 2 and customer C2 each an insertion and a copy; the spare template goes at the end.
  EXPECT_EQ(std::make_tuple(counts_->inserts, counts_->copies, counts_->autoFills, counts_->deletes),
            std::make_tuple(4, 3, 1, 1));

  REQUIRE_LIBREOFFICE();
  // The footer totals grew with the rows inserted into their ranges: order totals, customer
  // totals and the grand total add up their own lines.
  const CsvRows csv = LibreOfficeSheets(saved)["Report"];
  for (const auto& [cell, total] : {std::pair{"F7", "30"}, {"F10", "5"}, {"F11", "35"}, {"F15", "7.5"},
                                    {"F16", "7.5"}, {"F18", "42.5"}})
    EXPECT_EQ(CsvCell(csv, cell), total) << cell;
}

TEST_F(GroupedReport, WithoutGroupRangesFootersStayOnceBelowTheTable) {
  GroupCall call;
  call.groups = {"customer", "", "order_no", ""};
  EXPECT_EQ(SavedSheet(Fill(call)).Rows(3, 17),
            (Lines{"C1||||", "|1|||", "||a|1|10", "||b|2|20", "|2|||", "||c|1|5", "C2||||", "|3|||", "||d|3|7.5",
                   "|Order total|||", "Customer total||||", "||||", "Grand total||||", "end||||", "||||"}));
  // Keys on the detail row: one insertion for all records, then a copy of the changed level.
  call.cellList = "A5,B5,C5,D5,E5";
  SavedSheet sheet(Fill(call));
  // The spare template, then the changed level of each record.
  EXPECT_EQ(std::make_tuple(counts_->inserts, counts_->copies, counts_->autoFills, counts_->deletes),
            std::make_tuple(1, 4, 0, 1));
  EXPECT_EQ(sheet.Rows(5, 10), (Lines{"C1|1|a|1|10", "||b|2|20", "|2|c|1|5", "C2|3|d|3|7.5", "|Order total|||",
                                      "Customer total||||"}));
}

TEST_F(GroupedReport, TemplateWithoutGroupsIsRepeatedByOneAutoFill) {
  GroupCall call;
  call.cellList = "A5";
  call.range = "A5:F5";
  call.groups = {" ", "", "order_no", ""};  // a blank first group ends the list: no groups
  SavedSheet sheet(Fill(call));
  EXPECT_EQ(std::make_tuple(counts_->inserts, counts_->copies, counts_->autoFills, counts_->deletes),
            std::make_tuple(1, 0, 1, 1));
  EXPECT_EQ(sheet.Rows(3, 10), (Lines{"[customer]||||", "|[order]|||", "C1|1|a|1|10", "C1|1|b|2|20",
                                      "C1|2|c|1|5", "C2|3|d|3|7.5", "|Order total|||", "Customer total||||"}));
}

TEST_F(GroupedReport, SingleRecordFillsTheTemplateItself) {
  Data("INSERT INTO lines VALUES ('C9', 9, 'z', 4, 2.25);");
  GroupCall call;
  call.fillOrder = 7;  // not a fill order: records go down, and the caller sees 0
  SavedSheet sheet(Fill(call));
  EXPECT_EQ(call.fillOrder, 0);
  EXPECT_EQ(sheet.Rows(3, 10), (Lines{"C9||||", "|9|||", "||z|4|2.25", "|Order total|||", "Customer total||||",
                                      "||||", "Grand total||||", "end||||"}));
}

// Keys compare as values: texts by their exact characters, numbers by value, Null as "".
TEST_F(GroupedReport, KeysBreakOnCaseButNotOnNullsOrEqualNumbers) {
  // Untyped columns keep 1 as an integer and 1.0 as a real.
  std::filesystem::remove(database_);
  ExecuteSql(database_, "CREATE TABLE lines(customer, order_no, item, qty, amount);"
                        "INSERT INTO lines VALUES (NULL, 1, 'x1', NULL, NULL), (NULL, 1.0, 'x2', NULL, NULL),"
                        " ('abc', 1, 'x3', NULL, NULL), ('ABC', 1.0, 'x4', NULL, NULL);");
  GroupCall call;
  SavedSheet sheet(Fill(call));
  EXPECT_EQ(sheet.Rows(3, 18), (Lines{"||||", "|1|||", "||x1||", "||x2||", "|Order total|||", "Customer total||||",
                                      "abc||||", "|1|||", "||x3||", "|Order total|||", "Customer total||||",
                                      "ABC||||", "|1|||", "||x4||", "|Order total|||", "Customer total||||"}));
  // The Null key replaced the placeholder with an empty text.
  EXPECT_TRUE(sheet.sheet_->GetValue(3, 1).IsText());
}

// Every field a group key: a record repeating the keys before it adds nothing, in each layout,
// and the sheet around the table is left as it was.
TEST_F(GroupedReport, RecordsWithoutDetailFieldsOpenOnlyTheGroupsWhoseKeysChange) {
  const std::string keysOnly = "SELECT customer, order_no FROM lines ORDER BY rowid";  // C1 1, C1 1, C1 2, C2 3
  const std::string detail = "||[item]|[qty]|[amount]";
  GroupCall call;
  call.cellList = "A3,B4";
  {
    SavedSheet sheet(Fill(call, keysOnly));
    EXPECT_EQ(sheet.Rows(1, 1), (std::vector<std::string>{"Orders||||"}));
    EXPECT_EQ(sheet.Rows(3, 19), (std::vector<std::string>{
                                       "C1||||", "|1|||", detail, "|Order total|||", "|2|||", detail,
                                       "|Order total|||", "Customer total||||", "C2||||", "|3|||", detail,
                                       "|Order total|||", "Customer total||||", "||||", "Grand total||||",
                                       "end||||", "||||"}));
    EXPECT_EQ(sheet.Text(18, 8), "side10");
    EXPECT_EQ(counts_->inserts, 3);  // the spare template, order 2, customer C2
    EXPECT_EQ(counts_->deletes, 1);
  }
  // Flat layout (keys on one row): the room made for the repeated record goes with the spare.
  call.cellList = "A5,B5";
  call.groups = {"customer", "", "order_no", ""};
  {
    SavedSheet sheet(Fill(call, keysOnly));
    EXPECT_EQ(sheet.Rows(5, 11), (std::vector<std::string>{
                                       "C1|1|[item]|[qty]|[amount]", "|2|||", "C2|3|||", "|Order total|||",
                                       "Customer total||||", "||||", "Grand total||||"}));
  }
  // Uniform layout: the copy made for the repeated record goes too.
  call.groups = {"customer", "A5:F5", "order_no", "A5:F5"};
  SavedSheet sheet(Fill(call, keysOnly));
  EXPECT_EQ(counts_->autoFills, 1);
  EXPECT_EQ(sheet.Rows(5, 9), (std::vector<std::string>{
                                    "C1|1|[item]|[qty]|[amount]", "|2|[item]|[qty]|[amount]",
                                    "C2|3|[item]|[qty]|[amount]", "|Order total|||", "Customer total||||"}));
}

TEST_F(GroupedReport, GroupPageBreakRestartsTheRecordCount) {
  std::string inserts;
  for (int i = 1; i <= 40; ++i)
    inserts += "INSERT INTO lines VALUES ('" + std::string(i <= 25 ? "C1', 1" : "C2', 2") + ", 'i" +
               std::to_string(i) + "', 1, 1.0);";
  Data(inserts);
  GroupCall call;
  call.pageBreak = "10,1G1";
  const std::string saved = Fill(call);
  SavedSheet sheet(saved);
  // C1: header 3, order 4, lines 5..29; C2: header 32, order 33, lines 34..48.
  EXPECT_EQ(sheet.Text(15, 3), "i11");
  EXPECT_EQ(sheet.Text(32, 1), "C2");
  EXPECT_EQ(sheet.Text(44, 3), "i36");
  // Every 10 records, and above the new customer, which starts the count of 10 again.
  EXPECT_EQ(ReadSaved(saved).RowBreaks["Report"], (std::vector<int>{14, 24, 31, 43}));
}

TEST_F(GroupedReport, RangeFillOrderKeepsNeighbouringColumnsInPlace) {
  GroupCall call;
  call.fillOrder = 2;
  const std::string saved = Fill(call);
  EXPECT_EQ(call.fillOrder, 0);
  SavedSheet sheet(saved);
  EXPECT_EQ(sheet.Rows(3, 20), kOrdersWithRanges);
  for (int r = 3; r <= 10; ++r) EXPECT_EQ(sheet.Text(r, 8), "side" + std::to_string(r));
  EXPECT_EQ(sheet.Text(11, 8), "");
  REQUIRE_LIBREOFFICE();
  const CsvRows csv = LibreOfficeSheets(saved)["Report"];
  EXPECT_EQ(CsvCell(csv, "F11"), "35");
  EXPECT_EQ(CsvCell(csv, "F18"), "42.5");
}

TEST_F(GroupedReport, RecordsGoingRightMirrorTheRows) {
  GroupCall call;
  call.cellList = "C1,D2,E3,E4,E5";
  call.fillOrder = 1;
  call.groups = {"customer", "C1:G6", "order_no", "D1:F6"};
  call.pageBreak = "1G1";
  const std::string saved = Fill(call, kSelectLines, "orders_right.xlsx");
  SavedSheet sheet(saved);
  EXPECT_EQ(sheet.Rows(3, 20, true), kOrdersWithRanges);
  // Entire columns were inserted: the cells below the table moved with it.
  EXPECT_EQ(sheet.Text(8, 3), "side3");
  EXPECT_EQ(sheet.Text(8, 19), "side10");
  SavedWorkbook facts = ReadSaved(saved);
  EXPECT_EQ(facts.ColumnBreaks["Report"], (std::vector<int>{11}));  // left of the second customer
  EXPECT_TRUE(facts.RowBreaks["Report"].empty());
  REQUIRE_LIBREOFFICE();
  const CsvRows csv = LibreOfficeSheets(saved)["Report"];
  for (const auto& [cell, total] : {std::pair{"G6", "30"}, {"K6", "35"}, {"P6", "7.5"}, {"R6", "42.5"}})
    EXPECT_EQ(CsvCell(csv, cell), total) << cell;
}

TEST_F(GroupedReport, RecordsGoingRightWithRangeFillOrderKeepTheRowsBelowInPlace) {
  GroupCall call;
  call.cellList = "C1,D2,E3,E4,E5";
  call.fillOrder = 3;
  call.groups = {"customer", "C1:G6", "order_no", "D1:F6"};
  SavedSheet sheet(Fill(call, kSelectLines, "orders_right.xlsx"));
  EXPECT_EQ(call.fillOrder, 1);
  EXPECT_EQ(sheet.Rows(3, 20, true), kOrdersWithRanges);
  for (int c = 3; c <= 10; ++c) EXPECT_EQ(sheet.Text(8, c), "side" + std::to_string(c));
  EXPECT_EQ(sheet.Text(8, 11), "");
  // No records, going right: the entire columns of the outermost block go.
  call.fillOrder = 1;
  call.noData = 1;
  SavedSheet empty(Fill(call, kSelectNone, "orders_right.xlsx"));
  EXPECT_EQ(empty.Text(1, 4), "Grand total");
  EXPECT_EQ(empty.Text(8, 3), "side8");
}

// The block and record counters do not stop at 32767.
TEST_F(GroupedReport, MoreRecordsThanA16BitCounterHolds) {
  Data("WITH RECURSIVE seq(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM seq WHERE i < 40000)"
       " INSERT INTO lines SELECT 'C' || (i / 20000), i / 100, 'i' || i, 1, 1.0 FROM seq;");
  GroupCall call;
  SavedSheet sheet(Fill(call));
  // 3 customers and 401 orders, each with a header and a footer row, and 40000 lines.
  EXPECT_EQ(sheet.Text(40806, 1), "C2");
  EXPECT_EQ(sheet.Text(40807, 2), "400");
  EXPECT_EQ(sheet.Text(40808, 3), "i40000");
  EXPECT_EQ(sheet.Text(40812, 1), "Grand total");
  EXPECT_EQ(sheet.Text(40814, 1), "");
  EXPECT_EQ(progress_.Calls.back(), (std::pair<std::int32_t, std::int32_t>{40000, 40000}));
}

TEST_F(GroupedReport, PicturesGoIntoTheirRecordsCellsAndAMissingOneEndsTheReport) {
  MakePng(folder_.File("p1.png"), 40, 20);
  std::filesystem::remove(database_);
  ExecuteSql(database_, "CREATE TABLE lines(customer TEXT, order_no INTEGER, item TEXT, qty INTEGER, amount REAL, photo TEXT);"
                        "INSERT INTO lines VALUES ('C1', 1, 'a', 1, 10.0, 'p1.png'), ('C1', 1, 'b', 2, 20.0, NULL),"
                        " ('C1', 2, 'c', 1, 5.0, 'p1.png'), ('C2', 3, 'd', 3, 7.5, 'missing.png');");
  const std::string select = "SELECT customer, order_no, item, qty, amount, photo FROM lines";
  GroupCall call;
  call.cellList = "A3,B4,C5,D5,E5,F5";
  call.imageList = "photo";
  // Lines a and c, in rows 5 and 9 (column F); line b has no picture.
  std::vector<std::pair<int, int>> cells;
  SavedWorkbook saved = ReadSaved(Fill(call, select + " WHERE item <> 'd' ORDER BY rowid"));
  for (const PictureFacts& p : saved.Pictures["Report"]) cells.emplace_back(p.Row0 + 1, p.Column0 + 1);
  EXPECT_EQ(cells, (std::vector<std::pair<int, int>>{{5, 6}, {9, 6}}));

  opened_ = OpenTemplate(folder_.File("orders.xlsx"), "Report");
  AutomationError error = CaughtError([&] { Call(call, OpenRecordset(database_, select + " ORDER BY rowid"), opened_.Sheet); });
  EXPECT_EQ(error.Description().rfind("Failed to execute function GroupTableReport. Failed to insert the image file \"" +
                                          folder_.File("missing.png") + "\". ", 0),
            0u)
      << error.Description();
  // Everything before the failure stays: line d is written, its customer's header is still the
  // copied placeholder, and the spare template is still below the table.
  EXPECT_EQ(opened_.Sheet->GetValue(14, 3).ToText(), "d");
  EXPECT_EQ(opened_.Sheet->GetValue(12, 1).ToText(), "[customer]");
  EXPECT_EQ(opened_.Sheet->GetValue(17, 1).ToText(), "[customer]");
  EXPECT_EQ(opened_.Sheet->GetValue(23, 1).ToText(), "Grand total");
}

TEST_F(GroupedReport, EmptyRecordsetDeletesTheOutermostRowsOrTheSheetOrNothing) {
  GroupCall call;
  call.noData = 1;
  {
    SavedSheet sheet(Fill(call, kSelectNone));
    EXPECT_EQ(sheet.Rows(3, 5), (Lines{"||||", "Grand total||||", "end||||"}));
    EXPECT_EQ(sheet.Text(3, 8), "side8");  // entire rows 3..7 went
  }
  EXPECT_EQ(progress_.Calls, (std::vector<std::pair<std::int32_t, std::int32_t>>{{0, 0}}));

  call.fillOrder = 2;  // only the block's cells go; the side column stays
  {
    SavedSheet sheet(Fill(call, kSelectNone));
    EXPECT_EQ(sheet.Text(4, 1), "Grand total");
    EXPECT_EQ(sheet.Text(3, 8), "side3");
  }
  call.fillOrder = 0;
  call.noData = 2;
  EXPECT_EQ(SavedSheet(Fill(call, kSelectNone)).book_->WorksheetCount(), 1);
  call.noData = 0;
  EXPECT_EQ(SavedSheet(Fill(call, kSelectNone)).Rows(3, 5),
            (Lines{"[customer]||||", "|[order]|||", "||[item]|[qty]|[amount]"}));
}

TEST_F(GroupedReport, GroupsAndRangesThatDoNotFitFail) {
  GroupCall call;
  call.groups = {"customer", "", "Nosuch"};
  AutomationError e = Failure(call);
  EXPECT_EQ(e.Number(), kErrGroupFieldMissing);
  EXPECT_EQ(e.Source(), "TabrixCom");
  EXPECT_EQ(e.Description(), "Syntax error. Failed to parse group 2. Can not find field \"Nosuch\".");
  call.groups = {"1", "", "99"};
  EXPECT_EQ(Failure(call).Description(), "Syntax error. Failed to parse group 2. Can not find field \"99\".");
  // Once a group is read by number, later groups are too.
  call.groups = {"2", "", "customer"};
  e = Failure(call);
  EXPECT_EQ(e.Number(), kErrBadGroup);
  EXPECT_EQ(e.Description(), "Syntax error. Failed to parse group. Type mismatch");

  call.groups = {"customer", "A3:F7", "order_no", "A5:F6"};
  e = Failure(call);
  EXPECT_EQ(e.Number(), kErrGroupRangeTooSmall);
  EXPECT_EQ(e.Description(), "The grouprange of group2 should be B4:E5.");
  call.groups = {"customer", "A4:F7", "order_no", "A4:F6"};
  EXPECT_EQ(Failure(call).Description(), "The grouprange of group1 should be A3:F6.");

  call.groups = {"customer", "A3:F7", "order_no", "A4:F6"};
  call.range = "D5:F5";
  e = Failure(call);
  EXPECT_EQ(e.Number(), kErrRangeTooSmall);
  EXPECT_EQ(e.Description(), "The range or copyrange should be C5:E5.");
  call.range = " ";
  e = Failure(call);
  EXPECT_EQ(e.Number(), kErrBadRange);
  EXPECT_EQ(e.Description().rfind("Syntax error. Failed to parse range ' '. ", 0), 0u);
}

TEST_F(GroupedReport, MissingObjectsFailBeforeAnythingIsRead) {
  GroupCall call;
  AutomationError sheet = CaughtError([&] { Call(call, OpenRecordset(database_, kSelectLines), nullptr); });
  EXPECT_EQ(sheet.Number(), kErrWorksheetNotSet);
  EXPECT_EQ(sheet.Description(), "The Excel.Worksheet object is not set.");
  auto closed = OpenRecordset(database_, kSelectLines);
  closed->Close();
  opened_ = OpenTemplate(folder_.File("orders.xlsx"), "Report");
  AutomationError state = CaughtError([&] { Call(call, closed, opened_.Sheet); });
  EXPECT_EQ(state.Number(), kErrRecordsetClosed);
  EXPECT_EQ(state.Description(), "The ADODB.Recordset object is closed.");
  EXPECT_TRUE(progress_.Calls.empty());
}

}  // namespace
}  // namespace tabrix
