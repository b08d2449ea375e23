// Rounding, logic, text, dates and lookups: the cases the LibreOffice corpus cannot check
// (the 1900 leap day and other departures, error branches, laziness, Unicode case mapping).
#include "xlsx/evaluator/evaluator_fixture.h"

namespace tabrix::xlsx::eval::testing {
namespace {

TEST_F(EvaluatorTest, ScalarFunctionCasesOutsideTheCorpus) {
  source_.Set(0, "A1", 0.0);
  source_.Set(0, "A2", "text");
  source_.SetError(0, "A4", ErrorCode::NA);
  source_.Set(0, "B1", "Grüße aus Köln");
  for (int r = 1; r <= 5; ++r) source_.Set(0, "C" + std::to_string(r), r * 10.0);
  const std::pair<const char*, const char*> cases[] = {
      // Rounding on the decimal form; digits are truncated to an integer.
      {"ROUND(0.5,0)", "n:1"}, {"ROUND(1.23456,3.9)", "n:1.235"}, {"ROUNDUP(0.0001,0)", "n:1"},
      {"INT(2.9999999999999996)", "n:3"}, {"ROUND(\"x\",1)", "e:#VALUE!"},
      // Logic: texts "TRUE" convert, a missing argument is 0, the other branch is not computed.
      {"IF(\"TRUE\",1,2)", "n:1"}, {"IF(A2,1,2)", "e:#VALUE!"}, {"IF(TRUE,,1)", "n:0"},
      {"IF(TRUE,1,1/0)", "n:1"}, {"SUM(IF(TRUE,A1:A2,B1))", "n:0"}, {"IFERROR(A2,0)", "t:text"},
      {"AND(A2:A2)", "e:#VALUE!"}, {"OR(A1:A4)", "e:#N/A"}, {"OR(\"x\")", "e:#VALUE!"},
      {"NOT(A2)", "e:#VALUE!"}, {"ISERR(A4)", "b:FALSE"},
      // Text.
      {"LEFT(B1,100)", "t:Grüße aus Köln"}, {"LOWER(\"ÄBC\")", "t:äbc"},
      {"CONCATENATE(\"x\",1.5,TRUE,A9)", "t:x1.5TRUE"}, {"VALUE(\"-$3\")", "n:-3"},
      {"VALUE(\"1e3\")", "n:1000"}, {"VALUE(\"\")", "e:#VALUE!"}, {"VALUE(A9)", "n:0"},
      {"TEXT(TRUE,\"0\")", "t:TRUE"}, {"TEXT(1/0,\"0\")", "e:#DIV/0!"},
      // Dates: the application's 1900-02-29, years below 1900 added to it, the bounds.
      {"DATE(1900,1,1)", "n:1"}, {"DATE(1900,2,29)", "n:60"}, {"DATE(1900,3,1)", "n:61"},
      {"DAY(60)", "n:29"}, {"MONTH(59.9)", "n:2"}, {"YEAR(DATE(1899,12,31))", "n:3799"},
      {"DATE(10000,1,1)", "e:#NUM!"}, {"YEAR(-1)", "e:#NUM!"},
      // Lookups past their ranges.
      {"VLOOKUP(10,C1:C5,2,FALSE)", "e:#REF!"}, {"INDEX(C1:C5,6,1)", "e:#REF!"},
      {"MATCH(1,C1:D2,0)", "e:#N/A"}, {"ROW(5)", "e:#VALUE!"},
      {"ROW()", "n:1000"}, {"COLUMN()", "n:26"},
  };
  for (const auto& [formula, expected] : cases) EXPECT_EQ(Eval(formula), expected) << formula;
}

}  // namespace
}  // namespace tabrix::xlsx::eval::testing
