// The worksheet operations the grouped report asks for: one insertion for all records when the
// groups add no lines, one AutoFill when they add no cells, one insertion and one copy per
// record otherwise; and record counts beyond the 16-bit range.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "group/memory_sheet.h"
#include "tabrix/tabrix.h"

namespace tabrix {
namespace {

using memory::MemoryRecordset;
using memory::MemorySheet;

struct MemoryRun {
  std::shared_ptr<MemorySheet> sheet = std::make_shared<MemorySheet>();
  std::shared_ptr<MemoryRecordset> records;
};

std::vector<std::vector<Variant>> Orders(int customers, int ordersPerCustomer, int linesPerOrder) {
  std::vector<std::vector<Variant>> rows;
  int line = 0;
  for (int c = 1; c <= customers; ++c)
    for (int o = 1; o <= ordersPerCustomer; ++o)
      for (int l = 1; l <= linesPerOrder; ++l)
        rows.push_back({Variant("C" + std::to_string(c)), Variant(c * 100 + o), Variant(++line)});
  return rows;
}

MemoryRun MakeRun(std::vector<std::vector<Variant>> rows) {
  MemoryRun run;
  run.records = std::make_shared<MemoryRecordset>(
      std::vector<std::string>{"Customer", "OrderNo", "Line"}, std::move(rows));
  // Something below the template that has to follow the table.
  run.sheet->SetValue(20, 1, Variant("below"));
  return run;
}

TEST(GroupFillOperations, KeysOnTheDetailRowNeedOneInsertionForAllRecords) {
  MemoryRun run = MakeRun(Orders(2, 2, 3));  // 12 records
  run.sheet->SetValue(5, 1, Variant("{c}"));
  Tabrix tabrix;
  tabrix.GroupTableReport(RecordsetPtr(run.records), WorksheetPtr(run.sheet), std::string("A5,B5,C5"),
                          std::string(), std::int16_t{0}, std::string(), std::string(),
                          std::int16_t{0}, std::string("Customer"), std::string(),
                          std::string("OrderNo"));
  EXPECT_EQ(run.sheet->counts.Inserts, 1);
  EXPECT_EQ(run.sheet->counts.Copies, 12);  // the spare template, then one per further record
  EXPECT_EQ(run.sheet->counts.AutoFills, 0);
  EXPECT_EQ(run.sheet->counts.Deletes, 1);
  // The first record fills every column, later records only their detail column and the
  // columns of the level that changed.
  EXPECT_EQ(run.sheet->RowText(5, 3), "C1|101|1");
  EXPECT_EQ(run.sheet->RowText(6, 3), "||2");
  EXPECT_EQ(run.sheet->RowText(8, 3), "|102|4");
  EXPECT_EQ(run.sheet->RowText(11, 3), "C2|201|7");
  EXPECT_EQ(run.sheet->RowText(16, 3), "||12");
  EXPECT_EQ(run.sheet->Text(17, 1), "");
  EXPECT_EQ(run.sheet->Text(31, 1), "below");  // 20 + 12 - 1
}

TEST(GroupFillOperations, TemplateWithoutGroupCellsIsRepeatedByOneAutoFill) {
  MemoryRun run = MakeRun(Orders(1, 1, 5));
  run.sheet->SetValue(5, 4, Variant("fixed"));
  Tabrix tabrix;
  tabrix.GroupTableReport(RecordsetPtr(run.records), WorksheetPtr(run.sheet), std::string("A5"),
                          std::string("A5:D5"));
  EXPECT_EQ(run.sheet->counts.Inserts, 1);
  EXPECT_EQ(run.sheet->counts.AutoFills, 1);
  EXPECT_EQ(run.sheet->counts.Copies, 0);
  EXPECT_EQ(run.sheet->counts.Deletes, 1);
  for (int r = 5; r <= 9; ++r)
    EXPECT_EQ(run.sheet->RowText(r, 4), "C1|101|" + std::to_string(r - 4) + "|fixed");
  EXPECT_EQ(run.sheet->RowText(10, 4), "|||");
  EXPECT_EQ(run.sheet->Text(24, 1), "below");
}

TEST(GroupFillOperations, HeadersAndFootersCostOneInsertionAndOneCopyPerRecord) {
  MemoryRun run = MakeRun(Orders(1, 2, 2));  // worked example shape: 4 records, 2 orders
  run.sheet->SetValue(6, 1, Variant("order footer"));
  run.sheet->SetValue(7, 1, Variant("customer footer"));
  Tabrix tabrix;
  tabrix.GroupTableReport(RecordsetPtr(run.records), WorksheetPtr(run.sheet),
                          std::string("A3,A4,B5"), std::string("A5:C5"), std::int16_t{0},
                          std::string(), std::string(), std::int16_t{0}, std::string("1"),
                          std::string("A3:C7"), std::string("2"), std::string("A4:C6"));
  EXPECT_EQ(run.sheet->counts.Inserts, 4);
  EXPECT_EQ(run.sheet->counts.Copies, 4);
  EXPECT_EQ(run.sheet->counts.Deletes, 1);
  const std::vector<std::string> expected = {
      "C1|", "101|", "|1", "|2", "order footer|", "102|", "|3", "|4", "order footer|",
      "customer footer|"};
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(run.sheet->RowText(static_cast<std::int32_t>(3 + i), 2), expected[i]) << "row " << 3 + i;
  EXPECT_EQ(run.sheet->LastRow(), 25);  // "below" moved by the 5 added rows, spare gone
  EXPECT_EQ(run.sheet->Text(25, 1), "below");
}

// Block and record counters are 32-bit: far more than 32767 records go through, and page
// breaks keep their rhythm past that point.
TEST(GroupFillOperations, HundredThousandRecordsInOneGroup) {
  std::vector<std::vector<Variant>> rows;
  for (int i = 1; i <= 100000; ++i) rows.push_back({Variant("C" + std::to_string(i / 40000)), Variant(1), Variant(i)});
  MemoryRun run = MakeRun(std::move(rows));
  run.sheet->SetValue(3, 1, Variant("{customer}"));
  int lastProgress = 0, progressCalls = 0;
  struct Progress : TabrixEvents {
    int* last;
    int* calls;
    void FunctionProgress(std::int32_t p, std::int32_t n) override {
      *last = p;
      ++*calls;
      EXPECT_EQ(n, 100000);
    }
  } events;
  events.last = &lastProgress;
  events.calls = &progressCalls;
  Tabrix tabrix;
  tabrix.SetEventSink(&events);
  tabrix.GroupTableReport(RecordsetPtr(run.records), WorksheetPtr(run.sheet), std::string("A3,C4,B4"),
                          std::string(), std::int16_t{0}, std::string(), std::string("30000"),
                          std::int16_t{0}, std::string("Customer"));
  EXPECT_EQ(progressCalls, 100001);
  EXPECT_EQ(lastProgress, 100000);
  // Three customers: C0 (records 1..39999), C1 (40000..79999), C2 (80000..100000).
  EXPECT_EQ(run.sheet->Text(3, 1), "C0");
  EXPECT_EQ(run.sheet->Text(4, 2), "1");
  EXPECT_EQ(run.sheet->Text(40002, 2), "39999");
  EXPECT_EQ(run.sheet->Text(40003, 1), "C1");
  EXPECT_EQ(run.sheet->Text(40004, 2), "40000");
  EXPECT_EQ(run.sheet->Text(80004, 1), "C2");
  EXPECT_EQ(run.sheet->Text(100005, 2), "100000");
  EXPECT_EQ(run.sheet->Text(100006, 1), "");
  EXPECT_EQ(run.sheet->Text(100021, 1), "below");
  // Every 30000 records: above records 30001, 60001 and 90001 (their detail rows).
  EXPECT_EQ(run.sheet->rowBreaks, (std::set<std::int32_t>{30004, 60005, 90006}));
  EXPECT_TRUE(run.records->Eof());
}

}  // namespace
}  // namespace tabrix
