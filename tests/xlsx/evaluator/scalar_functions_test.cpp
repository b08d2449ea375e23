// Rounding, logic, information, text, dates and lookups.
#include "xlsx/evaluator/evaluator_fixture.h"
#include "xlsx/number_format/number_format.h"

namespace tabrix::xlsx::eval::testing {
namespace {

TEST_F(EvaluatorTest, RoundingWorksOnTheDecimalForm) {
  EXPECT_EQ(Eval("ROUND(2.675,2)"), "n:2.68");
  EXPECT_EQ(Eval("ROUND(1.005,2)"), "n:1.01");
  EXPECT_EQ(Eval("ROUND(-2.5,0)"), "n:-3");
  EXPECT_EQ(Eval("ROUND(1234.5678,-2)"), "n:1200");
  EXPECT_EQ(Eval("ROUND(0.5,0)"), "n:1");
  EXPECT_EQ(Eval("ROUND(1.23456,3.9)"), "n:1.235");
  EXPECT_EQ(Eval("ROUNDUP(1.1*3,1)"), "n:3.3");
  EXPECT_EQ(Eval("ROUNDUP(-1.21,1)"), "n:-1.3");
  EXPECT_EQ(Eval("ROUNDUP(1234,-2)"), "n:1300");
  EXPECT_EQ(Eval("ROUNDUP(0.0001,0)"), "n:1");
  EXPECT_EQ(Eval("ROUNDDOWN(-1.29,1)"), "n:-1.2");
  EXPECT_EQ(Eval("ROUNDDOWN(0.3*3,1)"), "n:0.9");
  EXPECT_EQ(Eval("ROUNDDOWN(999,-3)"), "n:0");
  EXPECT_EQ(Eval("ROUND(\"x\",1)"), "e:#VALUE!");
  EXPECT_EQ(Eval("INT(-0.5)"), "n:-1");
  EXPECT_EQ(Eval("INT(2.9999999999999996)"), "n:3");
  EXPECT_EQ(Eval("ABS(-3)"), "n:3");
  EXPECT_EQ(Eval("MOD(-1,3)"), "n:2");
  EXPECT_EQ(Eval("MOD(1,-3)"), "n:-2");
  EXPECT_EQ(Eval("MOD(5.5,2)"), "n:1.5");
  EXPECT_EQ(Eval("MOD(0.3,0.1)"), "n:0");
  EXPECT_EQ(Eval("MOD(1,0)"), "e:#DIV/0!");
}

TEST_F(EvaluatorTest, LogicAndInformation) {
  source_.Set(0, "A1", 0.0);
  source_.Set(0, "A2", "text");
  source_.Set(0, "A3", "=\"\"");
  source_.SetError(0, "A4", ErrorCode::NA);
  EXPECT_EQ(Eval("IF(A1,\"yes\",\"no\")"), "t:no");
  EXPECT_EQ(Eval("IF(A9,1,2)"), "n:2");
  EXPECT_EQ(Eval("IF(\"TRUE\",1,2)"), "n:1");
  EXPECT_EQ(Eval("IF(A2,1,2)"), "e:#VALUE!");
  EXPECT_EQ(Eval("IF(A4,1,2)"), "e:#N/A");
  EXPECT_EQ(Eval("IF(FALSE,1)"), "b:FALSE");
  EXPECT_EQ(Eval("IF(TRUE,,1)"), "n:0");
  EXPECT_EQ(Eval("IF(TRUE,1,1/0)"), "n:1");        // the other branch is not computed
  EXPECT_EQ(Eval("SUM(IF(TRUE,A1:A2,B1))"), "n:0");  // IF passes references on
  EXPECT_EQ(Eval("IFERROR(1/0,\"div\")"), "t:div");
  EXPECT_EQ(Eval("IFERROR(A4,\"none\")"), "t:none");
  EXPECT_EQ(Eval("IFERROR(A2,0)"), "t:text");
  EXPECT_EQ(Eval("AND(TRUE,1,A1)"), "b:FALSE");
  EXPECT_EQ(Eval("AND(A1:A3,TRUE)"), "b:FALSE");
  EXPECT_EQ(Eval("AND(A2:A3)"), "e:#VALUE!");       // nothing logical in the range
  EXPECT_EQ(Eval("OR(A1,A2:A3,1)"), "b:TRUE");
  EXPECT_EQ(Eval("OR(A1:A4)"), "e:#N/A");
  EXPECT_EQ(Eval("OR(\"x\")"), "e:#VALUE!");
  EXPECT_EQ(Eval("NOT(A1)"), "b:TRUE");
  EXPECT_EQ(Eval("NOT(A2)"), "e:#VALUE!");
  EXPECT_EQ(Eval("ISBLANK(A9)"), "b:TRUE");
  EXPECT_EQ(Eval("ISBLANK(A3)"), "b:FALSE");         // "" is not blank
  EXPECT_EQ(Eval("ISNUMBER(A1)"), "b:TRUE");
  EXPECT_EQ(Eval("ISNUMBER(\"1\")"), "b:FALSE");
  EXPECT_EQ(Eval("ISERROR(A4)"), "b:TRUE");
  EXPECT_EQ(Eval("ISERROR(A2)"), "b:FALSE");
  EXPECT_EQ(Eval("ISNA(A4)"), "b:TRUE");
  EXPECT_EQ(Eval("ISERR(A4)"), "b:FALSE");
  EXPECT_EQ(Eval("ISTEXT(A3)"), "b:TRUE");
}

TEST_F(EvaluatorTest, TextFunctions) {
  source_.Set(0, "A1", "Grüße aus Köln");
  EXPECT_EQ(Eval("LEFT(A1,5)"), "t:Grüße");
  EXPECT_EQ(Eval("LEFT(A1)"), "t:G");
  EXPECT_EQ(Eval("RIGHT(A1,4)"), "t:Köln");
  EXPECT_EQ(Eval("MID(A1,3,3)"), "t:üße");
  EXPECT_EQ(Eval("MID(A1,30,3)"), "t:");
  EXPECT_EQ(Eval("MID(A1,0,3)"), "e:#VALUE!");
  EXPECT_EQ(Eval("LEFT(A1,-1)"), "e:#VALUE!");
  EXPECT_EQ(Eval("LEFT(A1,100)"), "t:Grüße aus Köln");
  EXPECT_EQ(Eval("LEN(A1)"), "n:14");
  EXPECT_EQ(Eval("UPPER(\"köln\")"), "t:KÖLN");
  EXPECT_EQ(Eval("LOWER(\"ÄBC\")"), "t:äbc");
  EXPECT_EQ(Eval("TRIM(\"  a   b  \")"), "t:a b");
  EXPECT_EQ(Eval("CONCATENATE(\"x\",1.5,TRUE,A9)"), "t:x1.5TRUE");
  EXPECT_EQ(Eval("CONCATENATE(\"x\",1/0)"), "e:#DIV/0!");
  EXPECT_EQ(Eval("VALUE(\"1,234.5\")"), "n:1234.5");
  EXPECT_EQ(Eval("VALUE(\"(12)\")"), "n:-12");
  EXPECT_EQ(Eval("VALUE(\"-$3\")"), "n:-3");
  EXPECT_EQ(Eval("VALUE(\"1e3\")"), "n:1000");
  EXPECT_EQ(Eval("VALUE(\"abc\")"), "e:#VALUE!");
  EXPECT_EQ(Eval("VALUE(\"\")"), "e:#VALUE!");
  EXPECT_EQ(Eval("VALUE(A9)"), "n:0");
}

TEST_F(EvaluatorTest, TextFormatsNumbersThroughTheFormatRenderer) {
  // Whatever the renderer shows for the format is what TEXT gives.
  EXPECT_EQ(Eval("TEXT(1234.5,\"0.00\")"), "t:" + FormatNumber(1234.5, "0.00"));
  EXPECT_EQ(Eval("TEXT(\"12\",\"0.00\")"), "t:" + FormatNumber(12, "0.00"));
  EXPECT_EQ(Eval("TEXT(TRUE,\"0\")"), "t:TRUE");
  EXPECT_EQ(Eval("TEXT(1/0,\"0\")"), "e:#DIV/0!");
}

TEST_F(EvaluatorTest, Dates) {
  EXPECT_EQ(Eval("DATE(2024,2,29)"), "n:45351");
  EXPECT_EQ(Eval("DATE(2024,13,1)"), "n:45658");   // 2025-01-01
  EXPECT_EQ(Eval("DATE(2024,1,0)"), "n:45291");    // 2023-12-31
  EXPECT_EQ(Eval("DATE(2024,-1,15)"), "n:45245");  // 2023-11-15
  EXPECT_EQ(Eval("DATE(99,1,1)"), "n:36161");      // 1999
  EXPECT_EQ(Eval("DATE(1900,1,1)"), "n:1");
  EXPECT_EQ(Eval("DATE(1900,2,29)"), "n:60");      // the application's leap day
  EXPECT_EQ(Eval("DATE(1900,3,1)"), "n:61");
  EXPECT_EQ(Eval("DATE(10000,1,1)"), "e:#NUM!");
  EXPECT_EQ(Eval("YEAR(DATE(1899,12,31))"), "n:3799");  // years below 1900 are added to it
  EXPECT_EQ(Eval("YEAR(45351)&\"-\"&MONTH(45351)&\"-\"&DAY(45351)"), "t:2024-2-29");
  EXPECT_EQ(Eval("DAY(60)"), "n:29");
  EXPECT_EQ(Eval("MONTH(59.9)"), "n:2");
  EXPECT_EQ(Eval("YEAR(\"2009-07-04\")"), "n:2009");
  EXPECT_EQ(Eval("YEAR(-1)"), "e:#NUM!");
}

TEST_F(EvaluatorTest, Lookups) {
  // A1:C5: code, name, price (codes sorted).
  const char* names[] = {"apple", "banana", "cherry", "date", "elder"};
  for (int r = 1; r <= 5; ++r) {
    std::string row = std::to_string(r);
    source_.Set(0, "A" + row, r * 10.0);
    source_.Set(0, "B" + row, names[r - 1]);
    source_.Set(0, "C" + row, r * 1.5);
  }
  EXPECT_EQ(Eval("VLOOKUP(30,A1:C5,2,FALSE)"), "t:cherry");
  EXPECT_EQ(Eval("VLOOKUP(35,A1:C5,3)"), "n:4.5");
  EXPECT_EQ(Eval("VLOOKUP(35,A1:C5,3,TRUE)"), "n:4.5");
  EXPECT_EQ(Eval("VLOOKUP(5,A1:C5,3)"), "e:#N/A");
  EXPECT_EQ(Eval("VLOOKUP(99,A1:C5,2)"), "t:elder");
  EXPECT_EQ(Eval("VLOOKUP(35,A1:C5,2,FALSE)"), "e:#N/A");
  EXPECT_EQ(Eval("VLOOKUP(10,A1:C5,4,FALSE)"), "e:#REF!");
  EXPECT_EQ(Eval("VLOOKUP(10,A1:C5,0,FALSE)"), "e:#VALUE!");
  EXPECT_EQ(Eval("VLOOKUP(20,A:C,2,FALSE)"), "t:banana");
  EXPECT_EQ(Eval("VLOOKUP(45,A:C,3)"), "n:6");
  EXPECT_EQ(Eval("HLOOKUP(\"b*\",{\"a\",\"bb\";1,2},2,FALSE)"), "n:2");
  EXPECT_EQ(Eval("MATCH(\"CHERRY\",B1:B5,0)"), "n:3");
  EXPECT_EQ(Eval("MATCH(\"c?e*\",B1:B5,0)"), "n:3");
  EXPECT_EQ(Eval("MATCH(42,A1:A5)"), "n:4");
  EXPECT_EQ(Eval("MATCH(42,A1:A5,1)"), "n:4");
  EXPECT_EQ(Eval("MATCH(42,{50,40,30},-1)"), "n:1");
  EXPECT_EQ(Eval("MATCH(\"x\",B1:B5,0)"), "e:#N/A");
  EXPECT_EQ(Eval("MATCH(1,A1:C2,0)"), "e:#N/A");
  EXPECT_EQ(Eval("INDEX(A1:C5,2,3)"), "n:3");
  EXPECT_EQ(Eval("INDEX(B1:B5,4)"), "t:date");
  EXPECT_EQ(Eval("INDEX(A1:C1,3)"), "n:1.5");
  EXPECT_EQ(Eval("SUM(INDEX(A1:C5,0,3))"), "n:22.5");
  EXPECT_EQ(Eval("SUM(INDEX(A1:C5,2,0))"), "n:23");
  EXPECT_EQ(Eval("INDEX(A1:C5,6,1)"), "e:#REF!");
  EXPECT_EQ(Eval("INDEX(B1:B5,MATCH(40,A1:A5,0))"), "t:date");
  EXPECT_EQ(Eval("SUM(A1:INDEX(A1:A5,3))"), "n:60");
  EXPECT_EQ(Eval("ROW()", "D7"), "n:7");
  EXPECT_EQ(Eval("COLUMN()", "D7"), "n:4");
  EXPECT_EQ(Eval("ROW(C3:C9)"), "n:3");
  EXPECT_EQ(Eval("COLUMN(Data!AB1)"), "n:28");
  EXPECT_EQ(Eval("ROW(5)"), "e:#VALUE!");
}

}  // namespace
}  // namespace tabrix::xlsx::eval::testing
