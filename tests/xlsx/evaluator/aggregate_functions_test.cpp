// SUM and friends, SUBTOTAL, SUMPRODUCT and the conditional aggregates: the cases the
// LibreOffice corpus cannot check (hidden rows, the application's own rules, exact sums).
#include "xlsx/evaluator/evaluator_fixture.h"

namespace tabrix::xlsx::eval::testing {
namespace {

class AggregateTest : public EvaluatorTest {
 protected:
  AggregateTest() {
    // A1:A7 = 5, "5", "x", (blank), TRUE, 2.5, ""; B1:B7 = 1..7
    source_.Set(0, "A1", 5.0);
    source_.Set(0, "A2", "5");
    source_.Set(0, "A3", "x");
    source_.SetBoolean(0, "A5", true);
    source_.Set(0, "A6", 2.5);
    source_.Set(0, "A7", "=\"\"");
    for (int r = 1; r <= 7; ++r) source_.Set(0, "B" + std::to_string(r), static_cast<double>(r));
  }
};

TEST_F(AggregateTest, ArgumentsCriteriaAndArraysOutsideTheCorpus) {
  source_.Set(0, "D1", 1e16);
  source_.Set(0, "D2", 1.0);
  source_.Set(0, "D3", -1e16);
  const std::pair<const char*, const char*> cases[] = {
      {"SUM(D1:D3)", "n:1"},                    // compensated
      {"SUM(A1:A7,\"x\")", "e:#VALUE!"},        // a direct text argument must be a number
      {"SUMPRODUCT(A1:A7*1)", "e:#VALUE!"},     // "x"*1
      {"SUMPRODUCT({1;2;3}*{10,20})", "n:180"},  // 3x1 times 1x2
      {"COUNTIF(A1:A7,\"=\")", "n:1"},          // blank only
      {"COUNTIF(A1:A7,TRUE)", "n:1"},
      {"COUNTIF(A1:A7,A4)", "n:0"},             // a blank criteria cell means 0
      {"COUNTIF(A1:A7,\"<>x*\")", "n:6"},
      {"SUBTOTAL(12,B1:B7)", "e:#VALUE!"},
      {"SUBTOTAL(9,{1,2})", "e:#VALUE!"},
  };
  for (const auto& [formula, expected] : cases) EXPECT_EQ(Eval(formula), expected) << formula;
  // In a sum range only the matching cells count, errors included.
  source_.SetError(0, "B2", ErrorCode::Div0);
  source_.Set(0, "D1", "east");
  source_.Set(0, "D2", "west");
  EXPECT_EQ(Eval("SUMIF(D1:D7,\"west\",B1:B7)"), "e:#DIV/0!");
  EXPECT_EQ(Eval("SUMIF(D1:D7,\"east\",B1:B7)"), "n:1");
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
  source_.Set(0, "C9", "=ROUND(SUBTOTAL(9,C1:C2),0)");
  source_.Set(0, "C10", "=SUBTOTAL(9,C9)");
  EXPECT_EQ(EvalCell("C6"), "n:35");
  EXPECT_EQ(EvalCell("C7"), "n:70");
  EXPECT_EQ(EvalCell("C10"), "n:0");  // any SUBTOTAL call in the formula counts
  source_.HideRow(0, 2);
  EXPECT_EQ(Eval("SUBTOTAL(109,C1:C5)"), "n:15");
  EXPECT_EQ(Eval("SUBTOTAL(9,C1:C5)"), "n:35");
  EXPECT_EQ(Eval("SUBTOTAL(101,C1:C4)"), "n:7.5");
}

}  // namespace
}  // namespace tabrix::xlsx::eval::testing
