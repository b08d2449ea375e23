// Operators, coercions and comparisons.
#include "xlsx/evaluator/evaluator_fixture.h"

namespace tabrix::xlsx::eval::testing {
namespace {

TEST_F(EvaluatorTest, PrecedenceFollowsTheSpreadsheetApplication) {
  EXPECT_EQ(Eval("-2^2"), "n:4");          // negation binds tighter than ^
  EXPECT_EQ(Eval("2^3^2"), "n:64");        // ^ is left-associative
  EXPECT_EQ(Eval("2+3*4"), "n:14");
  EXPECT_EQ(Eval("10-2-3"), "n:5");
  EXPECT_EQ(Eval("2^50%"), "n:1.4142135623731");  // % before ^
  EXPECT_EQ(Eval("-50%"), "n:-0.5");
  EXPECT_EQ(Eval("2^-1"), "n:0.5");
  EXPECT_EQ(Eval("1+2&3"), "t:33");        // & below +
  EXPECT_EQ(Eval("1+1=2"), "b:TRUE");      // comparison lowest
  EXPECT_EQ(Eval("\"a\"&1=\"a1\""), "b:TRUE");
  EXPECT_EQ(Eval(" ( 1 + 2 ) * 3 "), "n:9");
}

TEST_F(EvaluatorTest, ArithmeticConvertsTextAndBlanks) {
  source_.Set(0, "A1", "12");
  source_.Set(0, "A2", "abc");
  source_.SetBoolean(0, "A3", true);
  EXPECT_EQ(Eval("A1+1"), "n:13");
  EXPECT_EQ(Eval("\"1,000\"+1"), "n:1001");
  EXPECT_EQ(Eval("\"50%\"*2"), "n:1");
  EXPECT_EQ(Eval("\" 7 \"*2"), "n:14");
  EXPECT_EQ(Eval("\"2009-01-02\"+0"), "n:39815");
  EXPECT_EQ(Eval("\"1/2/2009\"+0"), "n:39815");
  EXPECT_EQ(Eval("\"12:30\"*48"), "n:25");
  EXPECT_EQ(Eval("A2+1"), "e:#VALUE!");
  EXPECT_EQ(Eval("\"\"+1"), "e:#VALUE!");
  EXPECT_EQ(Eval("A3*5"), "n:5");
  EXPECT_EQ(Eval("A9+1"), "n:1");           // blank is 0
  EXPECT_EQ(Eval("A9&\"z\""), "t:z");       // and "" in text
  EXPECT_EQ(Eval("-A1"), "n:-12");
  EXPECT_EQ(Eval("+A2"), "t:abc");          // unary plus changes nothing
}

TEST_F(EvaluatorTest, ArithmeticErrors) {
  EXPECT_EQ(Eval("1/0"), "e:#DIV/0!");
  EXPECT_EQ(Eval("0^0"), "e:#NUM!");
  EXPECT_EQ(Eval("0^-1"), "e:#DIV/0!");
  EXPECT_EQ(Eval("(-8)^(1/3)"), "e:#NUM!");
  EXPECT_EQ(Eval("1E+300*1E+300"), "e:#NUM!");
  // The left operand's error wins.
  EXPECT_EQ(Eval("#N/A+1/0"), "e:#N/A");
  EXPECT_EQ(Eval("1/0+#N/A"), "e:#DIV/0!");
  EXPECT_EQ(Eval("#REF!&\"x\""), "e:#REF!");
  EXPECT_EQ(Eval("1/0=1/0"), "e:#DIV/0!");
}

TEST_F(EvaluatorTest, NearlyCancellingSumsAreZero) {
  EXPECT_EQ(Eval("0.1+0.2-0.3"), "n:0");
  EXPECT_EQ(Eval("1*(0.5-0.4-0.1)"), "n:0");
  EXPECT_EQ(Eval("(0.1+0.2)=0.3"), "b:TRUE");
  EXPECT_EQ(Eval("1+1E-13=1"), "b:FALSE");  // distinct within 15 digits
}

TEST_F(EvaluatorTest, ComparisonsOrderNumbersTextsAndBooleans) {
  EXPECT_EQ(Eval("\"abc\"=\"ABC\""), "b:TRUE");
  EXPECT_EQ(Eval("\"a\"<\"B\""), "b:TRUE");
  EXPECT_EQ(Eval("\"b\">\"Abc\""), "b:TRUE");
  EXPECT_EQ(Eval("1<\"a\""), "b:TRUE");     // numbers before texts
  EXPECT_EQ(Eval("\"1\"=1"), "b:FALSE");    // no conversion in comparisons
  EXPECT_EQ(Eval("\"z\"<TRUE"), "b:TRUE");  // texts before Booleans
  EXPECT_EQ(Eval("FALSE<TRUE"), "b:TRUE");
  EXPECT_EQ(Eval("A9=0"), "b:TRUE");        // blank is 0, "" and FALSE as needed
  EXPECT_EQ(Eval("A9=\"\""), "b:TRUE");
  EXPECT_EQ(Eval("A9=FALSE"), "b:TRUE");
  EXPECT_EQ(Eval("A9<>\"x\""), "b:TRUE");
  EXPECT_EQ(Eval("2<>2"), "b:FALSE");
  EXPECT_EQ(Eval("3>=3"), "b:TRUE");
}

TEST_F(EvaluatorTest, NumbersAsTextUseFifteenDigits) {
  EXPECT_EQ(Eval("1/3&\"\""), "t:0.333333333333333");
  EXPECT_EQ(Eval("2/3&\"\""), "t:0.666666666666667");
  EXPECT_EQ(Eval("0.1+0.7&\"\""), "t:0.8");
  EXPECT_EQ(Eval("1234567.891&\"\""), "t:1234567.891");
  EXPECT_EQ(Eval("-0.5&\"\""), "t:-0.5");
  EXPECT_EQ(Eval("100000000000000&\"\""), "t:100000000000000");
  EXPECT_EQ(Eval("123456789012345678&\"\""), "t:1.23456789012346E+17");
  EXPECT_EQ(Eval("0.00001234&\"\""), "t:0.00001234");
  EXPECT_EQ(Eval("TRUE&\"\""), "t:TRUE");
  EXPECT_EQ(Eval("LEN(123.456)"), "n:7");
}

TEST_F(EvaluatorTest, ArrayConstants) {
  EXPECT_EQ(Eval("SUM({1,2;3,4})"), "n:10");
  EXPECT_EQ(Eval("SUMPRODUCT({1,2,3},{4,5,6})"), "n:32");
  EXPECT_EQ(Eval("INDEX({1,2;3,4},2,1)"), "n:3");
  EXPECT_EQ(Eval("COUNTA({\"a\",TRUE,#N/A,-1})"), "n:4");
  EXPECT_EQ(Eval("{5,6}"), "n:5");  // a plain formula shows the first element
}

}  // namespace
}  // namespace tabrix::xlsx::eval::testing
