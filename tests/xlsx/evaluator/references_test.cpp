// References, sheets, names, cells computed on demand, and what is left to the reader.
#include "xlsx/evaluator/evaluator_fixture.h"

namespace tabrix::xlsx::eval::testing {
namespace {

TEST_F(EvaluatorTest, SheetReferencesAndRangesInPlainFormulas) {
  int other = source_.AddSheet("Other Sheet");
  source_.Set(other, "B2", 5.0);
  source_.Set(other, "B3", 7.0);
  source_.Set(source_.AddSheet("It's"), "A1", 100.0);
  for (int r = 1; r <= 3; ++r) source_.Set(0, "A" + std::to_string(r), r * 1.0);
  source_.Set(0, "C1", 10.0);
  source_.Set(0, "D1", 20.0);
  // Sheet names are quoted and matched without case.
  EXPECT_EQ(Eval("SUM('other sheet'!$B$2:B3)"), "n:12");
  EXPECT_EQ(Eval("'It''s'!A1+A1"), "n:101");
  EXPECT_EQ(Eval("Missing!A1"), "e:#REF!");
  // A range in a plain formula intersects the formula's row (or column).
  EXPECT_EQ(Eval("A1:A3*10", "B2"), "n:20");
  EXPECT_EQ(Eval("A1:A3", "B7"), "e:#VALUE!");
  EXPECT_EQ(Eval("C1:D1+1", "D5"), "n:21");
  EXPECT_EQ(Eval("SUM(A1:A3*10)", "B7"), "e:#VALUE!");
}

TEST_F(EvaluatorTest, DefinedNames) {
  int other = source_.AddSheet("Summary");
  source_.Set(0, "A1", 3.0);
  source_.Set(0, "A2", 4.0);
  source_.DefineName("Items", "Data!$A$1:$A$2");
  source_.DefineName("ReportTitle", "\"Sales \"\"2024\"\"\"");
  source_.DefineName("Rate", "0.25");
  source_.DefineName("Local", "Data!$A$1", other);  // visible from Summary only
  source_.DefineName("Broken", "OFFSET(Data!$A$1,1,0)");
  EXPECT_EQ(Eval("SUM(Items)"), "n:7");
  EXPECT_EQ(Eval("ReportTitle"), "t:Sales \"2024\"");
  EXPECT_EQ(Eval("rate*100"), "n:25");
  EXPECT_EQ(Eval("Local"), "e:#NAME?");
  EXPECT_EQ(Eval("Summary!Local+1"), "n:4");
  EXPECT_EQ(Eval("Unknown+1"), "e:#NAME?");
  EXPECT_EQ(Eval("Broken"), "not computed: name Broken: function OFFSET");
  // A name's cells are read, not copied: a formula in them is computed.
  source_.Set(0, "A2", "=A1*10");
  EXPECT_EQ(Eval("SUM(Items)"), "n:33");
  source_.Set(other, "A1", "=Local*2");
  EXPECT_EQ(EvalCell("A1", other), "n:6");
}

TEST_F(EvaluatorTest, FormulaCellsAreComputedInDependencyOrder) {
  source_.Set(0, "A1", 2.0);
  source_.Set(0, "A2", "=A1*3");
  source_.Set(0, "A3", "=A2+A4");
  source_.Set(0, "A4", "=A1+1");
  source_.Set(0, "A5", "=SUM(A1:A4)");
  source_.Set(0, "A6", "=A9");  // an empty cell shows 0
  EXPECT_EQ(EvalCell("A5"), "n:20");
  EXPECT_EQ(EvalCell("A6"), "n:0");
  FormulaEvaluator evaluator(source_);
  evaluator.EvaluateCell(0, 5, 1);
  EXPECT_EQ(evaluator.FormulaCellCount(), 4u);  // each formula once
}

TEST_F(EvaluatorTest, UnsupportedFormulasAreNotGuessed) {
  source_.Set(0, "A1", "=OFFSET(B1,1,0)");
  source_.Set(0, "A2", "=A1+1");
  source_.Set(0, "A3", "=IF(FALSE,INDIRECT(\"B1\"),1)");
  source_.Set(0, "A4", "=IFERROR(A1,0)");
  source_.Set(0, "A5", "=SUM(A1:A2)");
  source_.Set(0, "A6", "=1+2");
  EXPECT_EQ(EvalCell("A1"), "not computed: function OFFSET (in A1)");
  EXPECT_EQ(EvalCell("A2"), "not computed: function OFFSET (in A1)");
  EXPECT_EQ(EvalCell("A3"), "not computed: function INDIRECT (in A3)");
  EXPECT_EQ(EvalCell("A4"), "not computed: function OFFSET (in A1)");
  EXPECT_EQ(EvalCell("A5"), "not computed: function OFFSET (in A1)");
  EXPECT_EQ(EvalCell("A6"), "n:3");
  // Constructs outside the supported syntax.
  for (const char* formula :
       {"SUM(Sheet1:Sheet3!A1)", "[1]Sheet1!A1", "SUM(Table1[Amount])", "SUM(A1:A3 A2:B2)",
        "SUM((A1,A2))", "_xlfn.CONCAT(\"a\",\"b\")", "SUM(", "1+", "\"open", "A1:", "#FOO!",
        "{1,2;3}", "ROUND(1)", "IF(1,2,3,4)"}) {
    std::string reason;
    EXPECT_FALSE(IsFormulaSupported(formula, &reason)) << formula;
    EXPECT_FALSE(reason.empty()) << formula;
    EXPECT_EQ(Eval(formula).rfind("not computed: ", 0), 0u) << formula;
  }
  source_.Set(0, "B1", "=SUM(A1:A3)");
  source_.SetCell(0, 7, 1, CellContent::OfFormula({}, false), "1+1");
  EXPECT_EQ(EvalCell("A7"), "not computed: formula left to the reader (in A7)");
}

TEST_F(EvaluatorTest, CircularReferencesAreReported) {
  source_.Set(0, "A1", "=A2+1");
  source_.Set(0, "A2", "=A1+1");
  source_.Set(0, "B1", "=A2*2");
  source_.Set(0, "C1", "=SUM(C1:C2)");
  for (const char* cell : {"A1", "B1", "C1"})
    EXPECT_EQ(EvalCell(cell).rfind("not computed: circular reference", 0), 0u) << cell;
}

TEST_F(EvaluatorTest, LongChainsOfCellsInAnyOrder) {
  // A running balance over 50,000 rows, asked for from the far end first, and a circle of
  // 3,000 cells: neither may exhaust the stack.
  const int rows = 50000;
  source_.Set(0, "A1", 1.0);
  for (int r = 2; r <= rows; ++r)
    source_.SetCell(0, r, 1, CellContent::OfFormula({}), "A" + std::to_string(r - 1) + "+1");
  for (int r = 1; r <= 3000; ++r)
    source_.SetCell(0, r, 3, CellContent::OfFormula({}),
                    "C" + std::to_string(r == 3000 ? 1 : r + 1) + "+1");
  FormulaEvaluator evaluator(source_);
  CellResult last = evaluator.EvaluateCell(0, rows, 1);
  EXPECT_EQ(Describe(last), "n:" + std::to_string(rows));
  EXPECT_EQ(Describe(evaluator.EvaluateCell(0, rows / 2, 1)), "n:" + std::to_string(rows / 2));
  CellResult circle = evaluator.EvaluateCell(0, 1500, 3);
  EXPECT_FALSE(circle.Computed());
  EXPECT_NE(circle.reason.find("circular"), std::string::npos);
  EXPECT_FALSE(evaluator.EvaluateCell(0, 1, 3).Computed());
}

TEST_F(EvaluatorTest, RangesAreWalkedByTheirCellsOnly) {
  source_.Set(0, "F5", 1.5);
  source_.Set(0, "F100005", 2.5);
  source_.Set(0, "G7", "x");
  FormulaEvaluator evaluator(source_);
  std::int64_t before = source_.Reads();
  EXPECT_EQ(Describe(evaluator.EvaluateFormula("SUM(F5:F100005)+SUM(F:F)+COUNTA(A:XFD)", 0, 1, 1)),
            "n:11");
  EXPECT_LT(source_.Reads() - before, 20);
  EXPECT_EQ(Eval("COUNTIF(F:F,\"\")"), "n:1048574");
  EXPECT_EQ(Eval("COUNTBLANK(F1:G10)"), "n:18");
}

TEST_F(EvaluatorTest, VolatileFunctionsUseTheGivenClock) {
  options_.now = 45000.75;  // 2023-03-15 18:00
  EXPECT_EQ(Eval("TODAY()+NOW()"), "n:90000.75");
  options_.now.reset();
  EXPECT_EQ(Eval("TODAY()>44927"), "b:TRUE");  // after 2023-01-01
}

}  // namespace
}  // namespace tabrix::xlsx::eval::testing
