// SUM and friends, SUBTOTAL, SUMPRODUCT and the conditional aggregates.
#include "xlsx/evaluator/evaluator_fixture.h"

namespace tabrix::xlsx::eval::testing {
namespace {

class AggregateTest : public EvaluatorTest {
 protected:
  AggregateTest() {
    // A1:A7 = 5, "5", "x", (blank), TRUE, 2.5, #N/A-free; B1:B7 = 1..7
    source_.Set(0, "A1", 5.0);
    source_.Set(0, "A2", "5");
    source_.Set(0, "A3", "x");
    source_.SetBoolean(0, "A5", true);
    source_.Set(0, "A6", 2.5);
    source_.Set(0, "A7", "=\"\"");
    for (int r = 1; r <= 7; ++r) source_.Set(0, "B" + std::to_string(r), static_cast<double>(r));
  }
};

TEST_F(AggregateTest, ValuesInRangesCountOnlyAsNumbers) {
  EXPECT_EQ(Eval("SUM(A1:A7)"), "n:7.5");
  EXPECT_EQ(Eval("SUM(A1:A7,\"3\",TRUE)"), "n:11.5");  // direct arguments are converted
  EXPECT_EQ(Eval("SUM(A1:A7,\"x\")"), "e:#VALUE!");
  EXPECT_EQ(Eval("COUNT(A1:A7)"), "n:2");
  EXPECT_EQ(Eval("COUNT(A1:A7,\"3\",\"x\",TRUE,1/0)"), "n:4");
  EXPECT_EQ(Eval("COUNTA(A1:A7)"), "n:6");              // "" from a formula counts
  EXPECT_EQ(Eval("COUNTBLANK(A1:A7)"), "n:2");          // ... and is blank here too
  EXPECT_EQ(Eval("AVERAGE(A1:A7)"), "n:3.75");
  EXPECT_EQ(Eval("AVERAGE(A3:A4)"), "e:#DIV/0!");
  EXPECT_EQ(Eval("MAX(A1:A7)"), "n:5");
  EXPECT_EQ(Eval("MIN(A1:A7)"), "n:2.5");
  EXPECT_EQ(Eval("MAX(A3:A4)"), "n:0");
  EXPECT_EQ(Eval("MIN(A1:A7,-1)"), "n:-1");
  EXPECT_EQ(Eval("PRODUCT(B1:B4)"), "n:24");
  source_.SetError(0, "A4", ErrorCode::NA);
  EXPECT_EQ(Eval("SUM(A1:A7)"), "e:#N/A");
  EXPECT_EQ(Eval("COUNT(A1:A7)"), "n:2");
  EXPECT_EQ(Eval("COUNTA(A1:A7)"), "n:7");
}

TEST_F(AggregateTest, SumsAreCompensated) {
  source_.Set(0, "D1", 1e16);
  source_.Set(0, "D2", 1.0);
  source_.Set(0, "D3", -1e16);
  EXPECT_EQ(Eval("SUM(D1:D3)"), "n:1");
}

TEST_F(AggregateTest, SubtotalLeavesOutOtherSubtotalsAndHiddenRows) {
  // Two groups with their subtotals, and a grand total over everything.
  source_.Set(0, "C1", 10.0);
  source_.Set(0, "C2", 20.0);
  source_.Set(0, "C3", "=SUBTOTAL(9,C1:C2)");
  source_.Set(0, "C4", 5.0);
  source_.Set(0, "C5", "=SUBTOTAL(9,C4:C4)");
  source_.Set(0, "C6", "=SUBTOTAL(9,C1:C5)");
  source_.Set(0, "C7", "=SUM(C1:C5)");
  source_.Set(0, "C8", "=SUBTOTAL(3,C1:C5)");
  source_.Set(0, "C9", "=ROUND(SUBTOTAL(9,C1:C2),0)");
  source_.Set(0, "C10", "=SUBTOTAL(9,C9)");
  EXPECT_EQ(EvalCell("C6"), "n:35");
  EXPECT_EQ(EvalCell("C7"), "n:70");
  EXPECT_EQ(EvalCell("C8"), "n:3");
  EXPECT_EQ(EvalCell("C10"), "n:0");  // any SUBTOTAL call in the formula counts
  source_.HideRow(0, 2);
  EXPECT_EQ(Eval("SUBTOTAL(109,C1:C5)"), "n:15");
  EXPECT_EQ(Eval("SUBTOTAL(9,C1:C5)"), "n:35");
  EXPECT_EQ(Eval("SUBTOTAL(101,C1:C4)"), "n:7.5");
  EXPECT_EQ(Eval("SUBTOTAL(2,B1:B7,C1:C2)"), "n:9");
  EXPECT_EQ(Eval("SUBTOTAL(4,B1:B7)"), "n:7");
  EXPECT_EQ(Eval("SUBTOTAL(5,B1:B7)"), "n:1");
  EXPECT_EQ(Eval("SUBTOTAL(6,B1:B4)"), "n:24");
  EXPECT_EQ(Eval("ROUND(SUBTOTAL(7,B1:B7),12)"), "n:2.160246899469");
  EXPECT_EQ(Eval("SUBTOTAL(8,B1:B7)"), "n:2");
  EXPECT_EQ(Eval("ROUND(SUBTOTAL(10,B1:B7),12)"), "n:4.666666666667");
  EXPECT_EQ(Eval("SUBTOTAL(11,B1:B7)"), "n:4");
  EXPECT_EQ(Eval("SUBTOTAL(12,B1:B7)"), "e:#VALUE!");
  EXPECT_EQ(Eval("SUBTOTAL(9,{1,2})"), "e:#VALUE!");
}

TEST_F(AggregateTest, SumProductWorksOnArrays) {
  EXPECT_EQ(Eval("SUMPRODUCT(B1:B3,B2:B4)"), "n:20");
  EXPECT_EQ(Eval("SUMPRODUCT((B1:B7>3)*B1:B7)"), "n:22");
  EXPECT_EQ(Eval("SUMPRODUCT(--(A1:A7=\"x\"))"), "n:1");
  EXPECT_EQ(Eval("SUMPRODUCT((LEFT(A1:A7,1)=\"5\")*B1:B7)"), "n:3");
  EXPECT_EQ(Eval("SUMPRODUCT(A1:A7)"), "n:7.5");   // non-numbers count as 0
  EXPECT_EQ(Eval("SUMPRODUCT(B1:B3,B1:B4)"), "e:#VALUE!");
  EXPECT_EQ(Eval("SUMPRODUCT(A1:A7*1)"), "e:#VALUE!");  // "x"*1
  EXPECT_EQ(Eval("SUMPRODUCT(IF(B1:B7>5,B1:B7,0))"), "n:13");
  EXPECT_EQ(Eval("SUMPRODUCT(ROW(B1:B3)*B1:B3)"), "n:14");
  EXPECT_EQ(Eval("SUMPRODUCT(ISNUMBER(A1:A7)*1)"), "n:2");
  EXPECT_EQ(Eval("SUMPRODUCT({1;2;3}*{10,20})"), "n:180");  // 3x1 times 1x2
}

TEST_F(AggregateTest, CriteriaMatchLikeTheSpreadsheetApplication) {
  EXPECT_EQ(Eval("COUNTIF(A1:A7,5)"), "n:1");
  EXPECT_EQ(Eval("COUNTIF(A1:A7,\"5\")"), "n:2");     // number and the text "5"
  EXPECT_EQ(Eval("COUNTIF(A1:A7,\">2\")"), "n:2");
  EXPECT_EQ(Eval("COUNTIF(A1:A7,\"<>x\")"), "n:6");   // blanks and "" too
  EXPECT_EQ(Eval("COUNTIF(A1:A7,\"X\")"), "n:1");     // case does not matter
  EXPECT_EQ(Eval("COUNTIF(A1:A7,\"\")"), "n:2");      // blank and ""
  EXPECT_EQ(Eval("COUNTIF(A1:A7,\"=\")"), "n:1");     // blank only
  EXPECT_EQ(Eval("COUNTIF(A1:A7,\"<>\")"), "n:6");
  EXPECT_EQ(Eval("COUNTIF(A1:A7,TRUE)"), "n:1");
  EXPECT_EQ(Eval("COUNTIF(A1:A7,A4)"), "n:0");        // a blank criteria cell means 0
  EXPECT_EQ(Eval("COUNTIF(B1:B7,\">=\"&3)"), "n:5");
  EXPECT_EQ(Eval("COUNTIF(B1:B7,\"<=2\")"), "n:2");
  source_.Set(0, "D1", "apple");
  source_.Set(0, "D2", "Apricot");
  source_.Set(0, "D3", "banana");
  source_.Set(0, "D4", "a*c");
  source_.Set(0, "D5", "ab");
  EXPECT_EQ(Eval("COUNTIF(D1:D5,\"a*\")"), "n:4");
  EXPECT_EQ(Eval("COUNTIF(D1:D5,\"?p*\")"), "n:2");
  EXPECT_EQ(Eval("COUNTIF(D1:D5,\"a~*c\")"), "n:1");
  EXPECT_EQ(Eval("COUNTIF(D1:D5,\"<>a*\")"), "n:1");
  EXPECT_EQ(Eval("COUNTIF(D1:D5,\"<b\")"), "n:4");
  EXPECT_EQ(Eval("COUNTIF(D1:D5,\"??\")"), "n:1");
}

TEST_F(AggregateTest, ConditionalSums) {
  source_.Set(0, "D1", "east");
  source_.Set(0, "D2", "west");
  source_.Set(0, "D3", "East");
  source_.Set(0, "D5", "west");
  EXPECT_EQ(Eval("SUMIF(D1:D7,\"east\",B1:B7)"), "n:4");
  EXPECT_EQ(Eval("SUMIF(D1:D7,\"<>east\",B1:B7)"), "n:24");  // blanks included
  EXPECT_EQ(Eval("SUMIF(D1:D7,\"west\",B1)"), "n:7");       // sum range resized from B1
  EXPECT_EQ(Eval("SUMIF(B1:B7,\">4\")"), "n:18");
  EXPECT_EQ(Eval("SUMIF(D:D,\"west\",B:B)"), "n:7");
  EXPECT_EQ(Eval("AVERAGEIF(D1:D7,\"west\",B1:B7)"), "n:3.5");
  EXPECT_EQ(Eval("AVERAGEIF(D1:D7,\"north\",B1:B7)"), "e:#DIV/0!");
  EXPECT_EQ(Eval("AVERAGEIF(B1:B7,\"<3\")"), "n:1.5");
  EXPECT_EQ(Eval("SUMIFS(B1:B7,D1:D7,\"e*\",B1:B7,\">1\")"), "n:3");
  EXPECT_EQ(Eval("SUMIFS(B1:B7,D1:D7,\"\")"), "n:17");
  EXPECT_EQ(Eval("SUMIFS(B1:B7,D1:D6,\"west\")"), "e:#VALUE!");
  EXPECT_EQ(Eval("COUNTIFS(D1:D7,\"west\",B1:B7,\">2\")"), "n:1");
  EXPECT_EQ(Eval("COUNTIFS(D1:D7,\"\",B1:B7,\"<7\")"), "n:2");
  EXPECT_EQ(Eval("COUNTIFS(D1:D7,\"<>west\",A1:A7,\"<>x\")"), "n:4");
  source_.SetError(0, "B2", ErrorCode::Div0);
  EXPECT_EQ(Eval("SUMIF(D1:D7,\"west\",B1:B7)"), "e:#DIV/0!");
  EXPECT_EQ(Eval("SUMIF(D1:D7,\"east\",B1:B7)"), "n:4");  // only matching cells count
}

}  // namespace
}  // namespace tabrix::xlsx::eval::testing
