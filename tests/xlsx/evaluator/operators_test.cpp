// Operators, coercions and comparisons. The operator matrix over operands of every kind is
// checked against LibreOffice by the formula corpus; these are the cases the corpus cannot
// check: where LibreOffice departs from the spreadsheet application, Booleans, precedence.
#include "xlsx/evaluator/evaluator_fixture.h"

namespace tabrix::xlsx::eval::testing {
namespace {

TEST_F(EvaluatorTest, OperatorCasesOutsideTheLibreOfficeCorpus) {
  source_.Set(0, "A1", "12");
  source_.SetBoolean(0, "A3", true);
  const std::pair<const char*, const char*> cases[] = {
      // Precedence: negation before ^, % before ^, & below +, comparison lowest.
      {"-2^2", "n:4"}, {"2^50%", "n:1.4142135623731"}, {"1+2&3", "t:33"},
      {"\"a\"&1=\"a1\"", "b:TRUE"}, {" ( 1 + 2 ) * 3 ", "n:9"},
      // Booleans and blanks in arithmetic; unary plus changes nothing.
      {"A3*5", "n:5"}, {"A9&\"z\"", "t:z"}, {"+A1", "t:12"},
      // The application's errors where LibreOffice gives others.
      {"0^0", "e:#NUM!"}, {"0^-1", "e:#DIV/0!"}, {"1E+300*1E+300", "e:#NUM!"},
      {"#N/A&1/0", "e:#N/A"}, {"\"abc\"+1/0", "e:#VALUE!"},
      // Fifteen digits decide equality.
      {"1+1E-13=1", "b:FALSE"},
      // Texts before Booleans; a blank is FALSE next to a Boolean.
      {"\"z\"<TRUE", "b:TRUE"}, {"FALSE<TRUE", "b:TRUE"}, {"A9=FALSE", "b:TRUE"},
      // Numbers as text: fifteen digits, no exponent below 1E+15.
      {"100000000000000&\"\"", "t:100000000000000"},
      {"123456789012345678&\"\"", "t:1.23456789012346E+17"}, {"TRUE&\"\"", "t:TRUE"},
      {"LEN(123.456)", "n:7"},
      // Array constants: errors count as values; a plain formula shows the first element.
      {"COUNTA({\"a\",TRUE,#N/A,-1})", "n:4"}, {"{5,6}", "n:5"},
  };
  for (const auto& [formula, expected] : cases) EXPECT_EQ(Eval(formula), expected) << formula;
}

}  // namespace
}  // namespace tabrix::xlsx::eval::testing
