// Grouped reports on real templates and SQLite data, checked in the saved file.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "group/counting_sheet.h"
#include "group/report_files.h"
#include "fixtures/office_tools.h"
#include "fixtures/required_tools.h"
#include "tabrix/tabrix.h"
#include "tabrix/error_codes.h"

namespace tabrix {
namespace {

using namespace group_test;

// The orders of two customers: C1 with orders 1 (lines a, b) and 2 (line c), C2 with order 3.
constexpr const char* kOrders =
    "CREATE TABLE lines(customer TEXT, order_no INTEGER, item TEXT, qty INTEGER, amount REAL);"
    "INSERT INTO lines VALUES ('C1', 1, 'a', 1, 10.0), ('C1', 1, 'b', 2, 20.0),"
    " ('C1', 2, 'c', 1, 5.0), ('C2', 3, 'd', 3, 7.5);";
constexpr const char* kSelectLines =
    "SELECT customer, order_no, item, qty, amount FROM lines ORDER BY rowid";

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

class Progress : public TabrixEvents {
 public:
  void FunctionProgress(std::int32_t progress, std::int32_t count) override {
    calls.emplace_back(progress, count);
  }
  std::vector<std::pair<std::int32_t, std::int32_t>> calls;
};

class GroupedReport : public ::testing::Test {
 protected:
  // Every test has its own folder (tests run in parallel processes), templates included.
  void SetUp() override {
    folder_ = ScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    templates_ = folder_;
    MakeTemplates(templates_);
    database_ = folder_ + "/orders.db";
    MakeDatabase(database_, kOrders);
    tabrix_.SetEventSink(&progress_);
  }

  // Runs the report on a fresh copy of `templateName`'s sheet "Report" and saves it. The
  // structural operations the report asks for are counted in `counts_`.
  std::string Fill(GroupCall& call, const std::string& sql = kSelectLines,
                   const std::string& templateName = "orders.xlsx") {
    opened_ = OpenTemplate(templates_ + "/" + templateName);
    counts_ = std::make_shared<CountingSheet>(opened_.sheet);
    Call(call, OpenRecordset(database_, sql), counts_);
    const std::string saved = folder_ + "/report.xlsx";
    opened_.workbook->SaveAs(saved, std::nullopt);
    return saved;
  }

  void Call(GroupCall& c, RecordsetPtr recordset, WorksheetPtr sheet) {
    auto& g = c.groups;
    tabrix_.GroupTableReport(recordset, sheet, c.cellList, c.range, c.fillOrder, c.imageList,
                             c.pageBreak, c.noData, g[0], g[1], g[2], g[3], g[4], g[5], g[6],
                             g[7], g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15], g[16],
                             g[17], g[18], g[19]);
  }

  // The failure of a call on the template, which must leave the template untouched.
  AutomationError Failure(GroupCall& call) {
    opened_ = OpenTemplate(templates_ + "/orders.xlsx");
    try {
      Call(call, OpenRecordset(database_, kSelectLines), opened_.sheet);
    } catch (const AutomationError& e) {
      EXPECT_EQ(opened_.sheet->GetValue(3, 1).ToText(), "[customer]");
      EXPECT_EQ(opened_.sheet->GetValue(10, 1).ToText(), "end");
      return e;
    }
    ADD_FAILURE() << "the call did not fail";
    return AutomationError(0, "", "");
  }

  static std::vector<std::string> Lines(SavedSheet& sheet, std::int32_t first, std::int32_t last,
                                        std::int32_t width = 5, bool columnWise = false) {
    std::vector<std::string> lines;
    for (std::int32_t i = first; i <= last; ++i) lines.push_back(sheet.Line(i, width, columnWise));
    return lines;
  }

  std::string folder_, templates_, database_;
  Progress progress_;
  Tabrix tabrix_;
  OpenedTemplate opened_;
  std::shared_ptr<CountingSheet> counts_;
};

// Rows 3..20 of the orders with both group ranges: every order and customer gets its header
// and footer; the spare template is gone.
const std::vector<std::string> kOrdersWithRanges = {
    "C1||||",           "|1|||",   "||a|1|10",         "||b|2|20",     "|Order total|||",
    "|2|||",            "||c|1|5", "|Order total|||",  "Customer total||||",
    "C2||||",           "|3|||",   "||d|3|7.5",        "|Order total|||", "Customer total||||",
    "||||",             "Grand total||||",             "end||||",      "||||"};

TEST_F(GroupedReport, CustomerOrderLineWithGroupRangesRepeatsHeadersAndFooters) {
  GroupCall call;
  const std::string saved = Fill(call);
  SavedSheet sheet(saved);
  EXPECT_EQ(Lines(sheet, 3, 20), kOrdersWithRanges);
  EXPECT_EQ(sheet.Text(1, 1), "Orders");
  // Entire rows were inserted: the cells beside the table moved with it.
  EXPECT_EQ(sheet.Text(3, 8), "side3");
  EXPECT_EQ(sheet.Text(19, 8), "side10");

  EXPECT_EQ(progress_.calls, (std::vector<std::pair<std::int32_t, std::int32_t>>{
                                 {0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}}));
  // Headers and footers cost one insertion and one copy per record; the spare template goes
  // at the end.
  EXPECT_EQ(counts_->inserts, 4);
  EXPECT_EQ(counts_->copies, 4);
  EXPECT_EQ(counts_->deletes, 1);

  REQUIRE_LIBREOFFICE();
  // The footer totals grew with the rows inserted into their ranges: order totals, customer
  // totals and the grand total add up their own lines.
  const auto csv = testing::ParseCsv(testing::LibreOfficeCsv(saved, 1, true));
  ASSERT_GE(csv.size(), 18u);
  auto total = [&](int row) { return csv[static_cast<std::size_t>(row - 1)].at(5); };
  EXPECT_EQ(total(7), "30");
  EXPECT_EQ(total(10), "5");
  EXPECT_EQ(total(11), "35");
  EXPECT_EQ(total(15), "7.5");
  EXPECT_EQ(total(16), "7.5");
  EXPECT_EQ(total(18), "42.5");
}

TEST_F(GroupedReport, WithoutGroupRangesFootersStayOnceBelowTheTable) {
  GroupCall call;
  call.groups = {"customer", "", "order_no", ""};
  {
    SavedSheet sheet(Fill(call));
    EXPECT_EQ(Lines(sheet, 3, 17), (std::vector<std::string>{
                                       "C1||||", "|1|||", "||a|1|10", "||b|2|20", "|2|||",
                                       "||c|1|5", "C2||||", "|3|||", "||d|3|7.5",
                                       "|Order total|||", "Customer total||||", "||||",
                                       "Grand total||||", "end||||", "||||"}));
  }
  // Keys on the detail row: one insertion for all records, then a copy of the changed level.
  call.cellList = "A5,B5,C5,D5,E5";
  SavedSheet sheet(Fill(call));
  EXPECT_EQ(counts_->inserts, 1);
  EXPECT_EQ(counts_->copies, 4);  // the spare template, then the changed level of each record
  EXPECT_EQ(counts_->autoFills, 0);
  EXPECT_EQ(counts_->deletes, 1);
  EXPECT_EQ(Lines(sheet, 5, 10), (std::vector<std::string>{
                                     "C1|1|a|1|10", "||b|2|20", "|2|c|1|5", "C2|3|d|3|7.5",
                                     "|Order total|||", "Customer total||||"}));
}

TEST_F(GroupedReport, TemplateWithoutGroupsIsRepeatedByOneAutoFill) {
  GroupCall call;
  call.cellList = "A5";
  call.range = "A5:F5";
  call.groups = {" ", "", "order_no", ""};  // a blank first group ends the list: no groups
  SavedSheet sheet(Fill(call));
  EXPECT_EQ(counts_->inserts, 1);
  EXPECT_EQ(counts_->autoFills, 1);
  EXPECT_EQ(counts_->copies, 0);
  EXPECT_EQ(counts_->deletes, 1);
  EXPECT_EQ(Lines(sheet, 3, 10), (std::vector<std::string>{
                                     "[customer]||||", "|[order]|||", "C1|1|a|1|10",
                                     "C1|1|b|2|20", "C1|2|c|1|5", "C2|3|d|3|7.5",
                                     "|Order total|||", "Customer total||||"}));
}

TEST_F(GroupedReport, SingleRecordFillsTheTemplateItself) {
  MakeDatabase(database_,
               "CREATE TABLE lines(customer TEXT, order_no INTEGER, item TEXT, qty INTEGER, "
               "amount REAL); INSERT INTO lines VALUES ('C9', 9, 'z', 4, 2.25);");
  GroupCall call;
  call.fillOrder = 7;  // not a fill order: records go down, and the caller sees 0
  SavedSheet sheet(Fill(call));
  EXPECT_EQ(call.fillOrder, 0);
  EXPECT_EQ(Lines(sheet, 3, 11), (std::vector<std::string>{
                                     "C9||||", "|9|||", "||z|4|2.25", "|Order total|||",
                                     "Customer total||||", "||||", "Grand total||||", "end||||",
                                     "||||"}));
}

// Keys compare as values: texts by their exact characters, numbers by value, Null as "".
TEST_F(GroupedReport, KeysBreakOnCaseButNotOnNullsOrEqualNumbers) {
  // Untyped columns keep 1 as an integer and 1.0 as a real.
  MakeDatabase(database_,
               "CREATE TABLE lines(customer, order_no, item, qty, amount);"
               "INSERT INTO lines VALUES (NULL, 1, 'x1', NULL, NULL), (NULL, 1.0, 'x2', NULL, NULL),"
               " ('abc', 1, 'x3', NULL, NULL), ('ABC', 1.0, 'x4', NULL, NULL);");
  GroupCall call;
  SavedSheet sheet(Fill(call));
  EXPECT_EQ(Lines(sheet, 3, 18), (std::vector<std::string>{
                                     "||||", "|1|||", "||x1||", "||x2||", "|Order total|||",
                                     "Customer total||||", "abc||||", "|1|||", "||x3||",
                                     "|Order total|||", "Customer total||||", "ABC||||",
                                     "|1|||", "||x4||", "|Order total|||",
                                     "Customer total||||"}));
  // The Null key replaced the placeholder with an empty text.
  EXPECT_TRUE(sheet.Value(3, 1).IsText());
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
    EXPECT_EQ(Lines(sheet, 1, 1), (std::vector<std::string>{"Orders||||"}));
    EXPECT_EQ(Lines(sheet, 3, 19), (std::vector<std::string>{
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
    EXPECT_EQ(Lines(sheet, 5, 11), (std::vector<std::string>{
                                       "C1|1|[item]|[qty]|[amount]", "|2|||", "C2|3|||", "|Order total|||",
                                       "Customer total||||", "||||", "Grand total||||"}));
  }
  // Uniform layout: the copy made for the repeated record goes too.
  call.groups = {"customer", "A5:F5", "order_no", "A5:F5"};
  SavedSheet sheet(Fill(call, keysOnly));
  EXPECT_EQ(counts_->autoFills, 1);
  EXPECT_EQ(Lines(sheet, 5, 9), (std::vector<std::string>{
                                    "C1|1|[item]|[qty]|[amount]", "|2|[item]|[qty]|[amount]",
                                    "C2|3|[item]|[qty]|[amount]", "|Order total|||", "Customer total||||"}));
}

TEST_F(GroupedReport, PageBreakAboveEveryFurtherCustomer) {
  MakeDatabase(database_, std::string(kOrders) +
                              "INSERT INTO lines VALUES ('C3', 4, 'e', 1, 1.0);");
  GroupCall call;
  call.pageBreak = "1G1";
  const std::string saved = Fill(call);
  SavedSheet sheet(saved);
  EXPECT_EQ(sheet.Text(12, 1), "C2");
  EXPECT_EQ(sheet.Text(17, 1), "C3");
  EXPECT_EQ(SavedRowBreaks(saved), (std::vector<std::int32_t>{12, 17}));
}

TEST_F(GroupedReport, GroupPageBreakRestartsTheRecordCount) {
  std::string script =
      "CREATE TABLE lines(customer TEXT, order_no INTEGER, item TEXT, qty INTEGER, amount REAL);";
  for (int i = 1; i <= 40; ++i) {
    script += "INSERT INTO lines VALUES ('" + std::string(i <= 25 ? "C1" : "C2") + "', " +
              (i <= 25 ? "1" : "2") + ", 'i" + std::to_string(i) + "', 1, 1.0);";
  }
  MakeDatabase(database_, script);
  GroupCall call;
  call.pageBreak = "10,1G1";
  const std::string saved = Fill(call);
  SavedSheet sheet(saved);
  // C1: header 3, order 4, lines 5..29; C2: header 32, order 33, lines 34..48.
  EXPECT_EQ(sheet.Text(15, 3), "i11");
  EXPECT_EQ(sheet.Text(25, 3), "i21");
  EXPECT_EQ(sheet.Text(32, 1), "C2");
  EXPECT_EQ(sheet.Text(44, 3), "i36");
  // Every 10 records, and at the new customer, which starts the count of 10 again.
  EXPECT_EQ(SavedRowBreaks(saved), (std::vector<std::int32_t>{15, 25, 32, 44}));
}

TEST_F(GroupedReport, RangeFillOrderKeepsNeighbouringColumnsInPlace) {
  GroupCall call;
  call.fillOrder = 2;
  const std::string saved = Fill(call);
  EXPECT_EQ(call.fillOrder, 0);
  SavedSheet sheet(saved);
  EXPECT_EQ(Lines(sheet, 3, 20), kOrdersWithRanges);
  for (int r = 3; r <= 10; ++r) EXPECT_EQ(sheet.Text(r, 8), "side" + std::to_string(r));
  EXPECT_EQ(sheet.Text(11, 8), "");
  REQUIRE_LIBREOFFICE();
  const auto csv = testing::ParseCsv(testing::LibreOfficeCsv(saved, 1, true));
  ASSERT_GE(csv.size(), 18u);
  EXPECT_EQ(csv[10].at(5), "35");
  EXPECT_EQ(csv[17].at(5), "42.5");
}

TEST_F(GroupedReport, RecordsGoingRightMirrorTheRows) {
  GroupCall call;
  call.cellList = "C1,D2,E3,E4,E5";
  call.fillOrder = 1;
  call.groups = {"customer", "C1:G6", "order_no", "D1:F6"};
  call.pageBreak = "1G1";
  const std::string saved = Fill(call, kSelectLines, "orders_right.xlsx");
  SavedSheet sheet(saved);
  EXPECT_EQ(Lines(sheet, 3, 20, 5, true), kOrdersWithRanges);
  // Entire columns were inserted: the cells below the table moved with it.
  EXPECT_EQ(sheet.Text(8, 3), "side3");
  EXPECT_EQ(sheet.Text(8, 19), "side10");
  EXPECT_EQ(SavedColumnBreaks(saved), (std::vector<std::int32_t>{12}));
  EXPECT_TRUE(SavedRowBreaks(saved).empty());
  REQUIRE_LIBREOFFICE();
  const auto csv = testing::ParseCsv(testing::LibreOfficeCsv(saved, 1, true));
  ASSERT_GE(csv.size(), 6u);
  const std::vector<std::string>& totals = csv[5];
  ASSERT_GE(totals.size(), 18u);
  EXPECT_EQ(totals[6], "30");
  EXPECT_EQ(totals[10], "35");
  EXPECT_EQ(totals[15], "7.5");
  EXPECT_EQ(totals[17], "42.5");
}

TEST_F(GroupedReport, RecordsGoingRightWithRangeFillOrderKeepTheRowsBelowInPlace) {
  GroupCall call;
  call.cellList = "C1,D2,E3,E4,E5";
  call.fillOrder = 3;
  call.groups = {"customer", "C1:G6", "order_no", "D1:F6"};
  {
    SavedSheet sheet(Fill(call, kSelectLines, "orders_right.xlsx"));
    EXPECT_EQ(call.fillOrder, 1);
    EXPECT_EQ(Lines(sheet, 3, 20, 5, true), kOrdersWithRanges);
    for (int c = 3; c <= 10; ++c) EXPECT_EQ(sheet.Text(8, c), "side" + std::to_string(c));
    EXPECT_EQ(sheet.Text(8, 11), "");
  }
  // No records, going right: the entire columns of the outermost block go.
  call.fillOrder = 1;
  call.noData = 1;
  SavedSheet sheet(Fill(call, "SELECT customer, order_no, item, qty, amount FROM lines WHERE 0",
                        "orders_right.xlsx"));
  EXPECT_EQ(sheet.Text(1, 4), "Grand total");
  EXPECT_EQ(sheet.Text(8, 3), "side8");
}

// The block and record counters do not stop at 32767.
TEST_F(GroupedReport, MoreRecordsThanA16BitCounterHolds) {
  MakeDatabase(database_,
               "CREATE TABLE lines(customer TEXT, order_no INTEGER, item TEXT, qty INTEGER, amount REAL);"
               "WITH RECURSIVE seq(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM seq WHERE i < 40000)"
               " INSERT INTO lines SELECT 'C' || (i / 20000), i / 100, 'i' || i, 1, 1.0 FROM seq;");
  GroupCall call;
  SavedSheet sheet(Fill(call));
  // 3 customers and 401 orders, each with a header and a footer row, and 40000 lines.
  EXPECT_EQ(sheet.Text(40806, 1), "C2");
  EXPECT_EQ(sheet.Text(40807, 2), "400");
  EXPECT_EQ(sheet.Text(40808, 3), "i40000");
  EXPECT_EQ(sheet.Text(40810, 1), "Customer total");
  EXPECT_EQ(sheet.Text(40812, 1), "Grand total");
  EXPECT_EQ(sheet.Text(40813, 1), "end");
  EXPECT_EQ(sheet.Text(40814, 1), "");
  EXPECT_EQ(progress_.calls.back(), (std::pair<std::int32_t, std::int32_t>{40000, 40000}));
}

TEST_F(GroupedReport, PicturesGoIntoTheirRecordsCellsAndAMissingOneEndsTheReport) {
  MakePng(folder_ + "/p1.png", 40, 20);
  MakeDatabase(database_,
               "CREATE TABLE lines(customer TEXT, order_no INTEGER, item TEXT, qty INTEGER, "
               "amount REAL, photo TEXT);"
               "INSERT INTO lines VALUES ('C1', 1, 'a', 1, 10.0, 'p1.png'), ('C1', 1, 'b', 2, 20.0, NULL),"
               " ('C1', 2, 'c', 1, 5.0, 'p1.png'), ('C2', 3, 'd', 3, 7.5, 'missing.png');");
  const std::string select = "SELECT customer, order_no, item, qty, amount, photo FROM lines";
  GroupCall call;
  call.cellList = "A3,B4,C5,D5,E5,F5";
  call.imageList = "photo";
  const std::string saved = Fill(call, select + " WHERE item <> 'd' ORDER BY rowid");
  // Lines a and c, in rows 5 and 9; line b has no picture.
  EXPECT_EQ(SavedPictureCells(saved),
            (std::vector<std::pair<std::int32_t, std::int32_t>>{{5, 6}, {9, 6}}));

  opened_ = OpenTemplate(templates_ + "/orders.xlsx");
  try {
    Call(call, OpenRecordset(database_, select + " ORDER BY rowid"), opened_.sheet);
    FAIL() << "the missing picture did not fail";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.Description().rfind("Failed to execute function GroupTableReport. "
                                    "Failed to insert the image file \"" +
                                        folder_ + "/missing.png\". ",
                                    0),
              0u)
        << e.Description();
  }
  // Everything before the failure stays: line d is written, its customer's header is still the
  // copied placeholder, and the spare template is still below the table.
  EXPECT_EQ(opened_.sheet->GetValue(11, 1).ToText(), "Customer total");
  EXPECT_EQ(opened_.sheet->GetValue(14, 3).ToText(), "d");
  EXPECT_EQ(opened_.sheet->GetValue(12, 1).ToText(), "[customer]");
  EXPECT_EQ(opened_.sheet->GetValue(17, 1).ToText(), "[customer]");
  EXPECT_EQ(opened_.sheet->GetValue(23, 1).ToText(), "Grand total");
}

TEST_F(GroupedReport, EmptyRecordsetDeletesTheOutermostRowsOrTheSheetOrNothing) {
  const std::string empty = "SELECT customer, order_no, item, qty, amount FROM lines WHERE 0";
  GroupCall call;
  call.noData = 1;
  {
    SavedSheet sheet(Fill(call, empty));
    EXPECT_EQ(Lines(sheet, 3, 5), (std::vector<std::string>{"||||", "Grand total||||", "end||||"}));
    EXPECT_EQ(sheet.Text(3, 8), "side8");  // entire rows 3..7 went
  }
  EXPECT_EQ(progress_.calls, (std::vector<std::pair<std::int32_t, std::int32_t>>{{0, 0}}));

  call.fillOrder = 2;  // only the block's cells go; the side column stays
  {
    SavedSheet sheet(Fill(call, empty));
    EXPECT_EQ(sheet.Text(4, 1), "Grand total");
    EXPECT_EQ(sheet.Text(3, 8), "side3");
  }

  call.fillOrder = 0;
  call.noData = 2;
  EXPECT_EQ(SavedSheet(Fill(call, empty)).WorksheetCount(), 1);

  call.noData = 0;
  {
    SavedSheet sheet(Fill(call, empty));
    EXPECT_EQ(Lines(sheet, 3, 5), (std::vector<std::string>{"[customer]||||", "|[order]|||",
                                                             "||[item]|[qty]|[amount]"}));
  }
}

TEST_F(GroupedReport, GroupFieldsThatNameNoFieldFail) {
  GroupCall call;
  call.groups = {"customer", "", "Nosuch"};
  AutomationError e = Failure(call);
  EXPECT_EQ(e.Number(), kErrGroupFieldMissing);
  EXPECT_EQ(e.Source(), "TabrixCom");
  EXPECT_EQ(e.Description(), "Syntax error. Failed to parse group 2. Can not find field \"Nosuch\".");

  call.groups = {"1", "", "99"};
  EXPECT_EQ(Failure(call).Description(),
            "Syntax error. Failed to parse group 2. Can not find field \"99\".");

  // Once a group is read by number, later groups are too.
  call.groups = {"2", "", "customer"};
  e = Failure(call);
  EXPECT_EQ(e.Number(), kErrBadGroup);
  EXPECT_EQ(e.Description(), "Syntax error. Failed to parse group. Type mismatch");
}

TEST_F(GroupedReport, RangesThatDoNotContainTheirLevelFail) {
  GroupCall call;
  call.groups = {"customer", "A3:F7", "order_no", "A5:F6"};
  AutomationError e = Failure(call);
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
  opened_ = OpenTemplate(templates_ + "/orders.xlsx");
  try {
    Call(call, OpenRecordset(database_, kSelectLines), nullptr);
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.Number(), kErrWorksheetNotSet);
    EXPECT_EQ(e.Description(), "The Excel.Worksheet object is not set.");
  }
  auto closed = OpenRecordset(database_, kSelectLines);
  closed->Close();
  try {
    Call(call, closed, opened_.sheet);
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.Number(), kErrRecordsetClosed);
    EXPECT_EQ(e.Description(), "The ADODB.Recordset object is closed.");
  }
  EXPECT_TRUE(progress_.calls.empty());
}

}  // namespace
}  // namespace tabrix
