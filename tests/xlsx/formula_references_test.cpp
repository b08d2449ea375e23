// Reference moving of formulas and reference lists on structural edits and copies.
#include "xlsx/formula_references.h"

#include <gtest/gtest.h>

namespace tabrix::xlsx {
namespace {

const FormulaContext kHere{"Data", true};       // formula on the edited sheet "Data"
const FormulaContext kElsewhere{"Data", false};  // formula on another sheet

std::string Shift(std::string_view f, const SheetEdit& e, const FormulaContext& c = kHere) {
  std::string out;
  return ShiftFormula(f, e, c, out) ? out : std::string(f);
}

// Each case: an edit of sheet "Data", where the formula stands, its text before and after. The
// result reports a change exactly when the text changed, and leaves `out` alone otherwise.
TEST(ShiftFormula, ReferencesMoveGrowShrinkAndBreakAsInTheApplication) {
  using E = SheetEdit;
  const FormulaContext quoted{"Bob's Sheet 2", false}, accented{"Übersicht", false};
  const struct {
    SheetEdit edit;
    FormulaContext context;
    const char *before, *after;
  } cases[] = {
      // Rows at or below the insertion move; a range starting above it and reaching it grows;
      // inserting right below a range does not widen it.
      {E::InsertRows(6, 2), kHere, "A5+A6+$B$7+C100+SUM(E6:E9)+SUM(E5:E6)+SUM(E1:E5)",
       "A5+A8+$B$9+C102+SUM(E8:E11)+SUM(E5:E8)+SUM(E1:E5)"},
      // Whole columns stay whole; whole rows follow the row rule.
      {E::InsertRows(5, 3), kHere, "SUM(C:C)+SUM($D:$F)+SUM(A1:A1048576)+SUM(4:7)+SUM($5:$6)+SUM(1:2)",
       "SUM(C:C)+SUM($D:$F)+SUM(A1:A1048576)+SUM(4:10)+SUM($8:$9)+SUM(1:2)"},
      {E::DeleteRows(5, 3), kHere, "SUM(C:C)+SUM(5:7)+SUM(3:9)+SUM(10:12)",
       "SUM(C:C)+SUM(#REF!)+SUM(3:6)+SUM(7:9)"},
      // Pushed past the last row a cell is #REF!; a range's end stays at the limit.
      {E::InsertRows(10, 5), kHere, "A1048572+A1048571+SUM(A20:A1048576)+SUM(A5:A1048575)+SUM(A1048573:A1048576)",
       "#REF!+A1048576+SUM(A25:A1048576)+SUM(A5:A1048576)+SUM(#REF!)"},
      // Deleting rows 5 and 6: ranges spanning, starting or ending inside shrink; wholly inside is #REF!.
      {E::DeleteRows(5, 2), kHere, "A4+A5+A6+A7+$A$10+SUM(A1:A4)+SUM(A3:A10)+SUM(A5:A9)+SUM(A2:A6)+SUM(A5:B6)+SUM(A7:A8)",
       "A4+#REF!+#REF!+A5+$A$8+SUM(A1:A4)+SUM(A3:A8)+SUM(A5:A7)+SUM(A2:A4)+SUM(#REF!)+SUM(A5:A6)"},
      // A band (cells of B:D shifted) moves only references inside its columns.
      {E::InsertRows(5, 1, 2, 4), kHere, "B5+D9+A5+E5+SUM(B5:D8)+SUM(A5:B8)+SUM(C3:C7)+SUM(5:6)+SUM(C:C)",
       "B6+D10+A5+E5+SUM(B6:D9)+SUM(A5:B8)+SUM(C3:C8)+SUM(5:6)+SUM(C:C)"},
      {E::DeleteRows(5, 1, 2, 4), kHere, "B5+B6+A6+SUM(C4:C6)", "#REF!+B5+A6+SUM(C4:C5)"},
      // Columns mirror the row rules.
      {E::InsertColumns(3, 2), kHere, "B1+C1+$Z$9+SUM(A1:C1)+SUM(B:D)+SUM(4:4)+XFC1+SUM(A1:XFD1)",
       "B1+E1+$AB$9+SUM(A1:E1)+SUM(B:F)+SUM(4:4)+#REF!+SUM(A1:XFD1)"},
      {E::DeleteColumns(2, 2), kHere, "A1+B1+D1+SUM(A1:E1)+SUM(B:C)+SUM(C:F)",
       "A1+#REF!+B1+SUM(A1:C1)+SUM(#REF!)+SUM(B:D)"},
      {E::InsertColumns(2, 1, 3, 5), kHere, "B3+B2+SUM(B3:C5)+SUM(B4:B6)", "C3+B2+SUM(C3:D5)+SUM(B4:B6)"},
      // Only references into the edited sheet move; unqualified ones belong to the formula's sheet.
      {E::InsertRows(2, 1), kHere, "A2+Data!A2+Other!A2", "A3+Data!A3+Other!A2"},
      {E::InsertRows(2, 1), kElsewhere, "A2+Data!A2+Other!A2", "A2+Data!A3+Other!A2"},
      // Sheet names compare without case, quoted names with doubled quotes.
      {E::InsertRows(2, 1), quoted, "'Bob''s Sheet 2'!A2:B3+'bob''s sheet 2'!$C$9+'Bob''s Sheet 3'!A2",
       "'Bob''s Sheet 2'!A3:B4+'bob''s sheet 2'!$C$10+'Bob''s Sheet 3'!A2"},
      {E::InsertRows(2, 1), accented, "übersicht!A2+'ÜBERSICHT'!B5", "übersicht!A3+'ÜBERSICHT'!B6"},
      // Deleted references keep their sheet prefix; 3-D and external references stay as they are.
      {E::DeleteRows(2, 1), kElsewhere, "Data!A2+1", "Data!#REF!+1"},
      {E::InsertRows(2, 1), kHere, "SUM(Data:Other!A2)+SUM('Data:Other'!A5)+[1]Data!A2+'[1]Data'!A2",
       "SUM(Data:Other!A2)+SUM('Data:Other'!A5)+[1]Data!A2+'[1]Data'!A2"},
      // Text that only looks like references: strings, quoted sheet names, functions named like
      // cells, defined names, R1C1-looking names, exponents, Booleans, error literals, structured
      // references, names past the sheet's columns or rows.
      {E::InsertRows(1, 1), kElsewhere, R"(IF(A1="A1 ""B2"" C3",'x''y'!Q1,"'Data'!A1"))",
       R"(IF(A1="A1 ""B2"" C3",'x''y'!Q1,"'Data'!A1"))"},
      {E::InsertRows(1, 1), kHere, R"(IF(A1="A1 ""B2"" C3",1,2))", R"(IF(A2="A1 ""B2"" C3",1,2))"},
      {E::InsertRows(1, 1), kHere, "LOG10(A1)+ATAN2(B1,C1)+MyName+R1C1+1E+5+2.5E-3*A1+TRUE+#N/A+#DIV/0!",
       "LOG10(A2)+ATAN2(B2,C2)+MyName+R1C1+1E+5+2.5E-3*A2+TRUE+#N/A+#DIV/0!"},
      {E::InsertRows(1, 1), kHere, "SUM(Table1[Col])+Table1[[#This Row],[A1]]+SUM(Table1[[#Headers],[B2]:[C3]])",
       "SUM(Table1[Col])+Table1[[#This Row],[A1]]+SUM(Table1[[#Headers],[B2]:[C3]])"},
      {E::InsertRows(1, 1), kHere, "_xlfn.STDEV.S(A1:A9)+Data!MyName+Sheet1!#REF!+A1#",
       "_xlfn.STDEV.S(A2:A10)+Data!MyName+Sheet1!#REF!+A2#"},
      {E::InsertRows(1, 1), kHere, "{1,2;3,4}+SUM(A1 B1:B5,C1)+XFE1+A1048577+ABCD1+a1+$b$2",
       "{1,2;3,4}+SUM(A2 B2:B6,C2)+XFE1+A1048577+ABCD1+A2+$B$3"},
      {E::InsertRows(5, 1), kHere, "SUM(A1:A4)+Other!A9", "SUM(A1:A4)+Other!A9"},
      {E::InsertRows(6, 1), kHere, "\"A5\"&B5", "\"A5\"&B5"},
      // References into a deleted sheet are no longer moved.
      {E::InsertRows(1, 1), kHere, "#REF!A1+A1", "#REF!A1+A2"},
  };
  for (const auto& c : cases) {
    std::string out = "untouched";
    const bool changed = ShiftFormula(c.before, c.edit, c.context, out);
    EXPECT_EQ(changed ? out : std::string(c.before), c.after) << c.before;
    EXPECT_EQ(changed, std::string(c.before) != c.after) << c.before;
    if (!changed) EXPECT_EQ(out, "untouched") << c.before;
  }
}

// Inserting rows or columns and deleting the same ones again gives the formula back, for any
// formula whose references stay on the sheet. (Arbitrary text: fuzz/fuzz_formula_references.cpp.)
TEST(ShiftFormula, InsertThenDeleteRestoresTheText) {
  const char* formulas[] = {
      "SUM(F5:F6)*$B$2+'Sheet 2'!A1:B3+Sheet3!C:C+4:7+MyName+Table1[Col]",
      "Data!A1:XF300+SUM(Data!$C$3:$D$9)+IF(A1=\"B2\",C3,D4)", "VLOOKUP(A9,$A$2:$Q$99,3,0)",
      "SUM($2:$9)+SUM(B:B)+B2:C3 D4:E5", "A1+Data:Other!B2+[1]Data!C3+#REF!+LOG10(Q7)",
  };
  for (const char* f : formulas) {
    for (int k = 1; k <= 12; ++k) {
      for (bool rows : {true, false}) {
        const SheetEdit ins = rows ? SheetEdit::InsertRows(k, 3) : SheetEdit::InsertColumns(k, 3);
        const SheetEdit del = rows ? SheetEdit::DeleteRows(k, 3) : SheetEdit::DeleteColumns(k, 3);
        for (bool here : {true, false}) {
          const FormulaContext context{"Data", here};
          EXPECT_EQ(Shift(Shift(f, ins, context), del, context), f) << f << " at " << k;
        }
      }
    }
  }
}

TEST(ShiftFormula, ParsedFormulasMoveRepeatedlyAndKeepUntouchedPartsVerbatim) {
  ParsedFormula parsed("sum(a5:a6)+'X y'!b7+Data!C3+\"A5\"");
  EXPECT_FALSE(parsed.Shift(SheetEdit::InsertRows(8, 1), kHere));
  EXPECT_EQ(parsed.Text(), "sum(a5:a6)+'X y'!b7+Data!C3+\"A5\"");
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(parsed.Shift(SheetEdit::InsertRows(6, 1), kHere));
  EXPECT_EQ(parsed.Text(), "sum(A5:A9)+'X y'!b7+Data!C3+\"A5\"");
  EXPECT_TRUE(parsed.Shift(SheetEdit::DeleteRows(3, 1), kHere));
  EXPECT_EQ(parsed.Text(), "sum(A4:A8)+'X y'!b7+Data!#REF!+\"A5\"");
  // A reach tells which edits can matter (that it never hides a change: the fuzz target).
  ReferenceReach reach = MeasureReferences("SUM(B2:D40)+Other!Z3+SUM(A:A)+SUM(2:3)+\"A900\"");
  EXPECT_TRUE(EditCanAffect(reach, SheetEdit::InsertRows(40, 1)));
  EXPECT_FALSE(EditCanAffect(reach, SheetEdit::InsertRows(41, 1)));
  EXPECT_FALSE(EditCanAffect(reach, SheetEdit::DeleteColumns(27, 2)));
  EXPECT_FALSE(MeasureReferences("1+2+MyName+\"A1\"+#REF!B9:C12").HasReferences);
}

TEST(ShiftFormula, DeletedSheetsAndCopiedFormulas) {
  std::string out;
  ASSERT_TRUE(RemoveSheetReferences("Gone!A1+'gone'!B2:C3+Kept!A1+A1", "Gone", out));
  EXPECT_EQ(out, "#REF!A1+#REF!B2:C3+Kept!A1+A1");
  EXPECT_FALSE(RemoveSheetReferences("Kept!A1", "Gone", out));
  // Copies: relative parts follow, absolute parts stay, sheet-qualified references move, text
  // does not; off the sheet is #REF!. A range whose relative end passes its absolute start is
  // written top row first, each "$" staying with its row.
  const struct {
    const char* formula;
    std::int32_t rows, columns;
    const char* expected;
  } copies[] = {
      {"A1+$A1+A$1+$A$1", 2, 3, "D3+$A3+D$1+$A$1"},
      {"SUM(B2:$C$5)+SUM(C:$D)+SUM(3:$4)", 1, 1, "SUM(C3:$C$5)+SUM(D:$D)+SUM(4:$4)"},
      {"'Other sheet'!B2&\"B2\"", 1, 0, "'Other sheet'!B3&\"B2\""},
      {"A1+B2+$A$1", -1, 0, "#REF!+B1+$A$1"},
      {"SUM(A1:B2)", 0, -1, "SUM(#REF!)"},
      {"XFD1", 0, 1, "#REF!"},
      {"SUM($A$5:A6)", -3, 0, "SUM($A3:A$5)"},
  };
  for (const auto& c : copies) EXPECT_EQ(TranslatedFormula(c.formula, c.rows, c.columns), c.expected) << c.formula;
  EXPECT_FALSE(TranslateFormula("$A$1+1", 5, 5, out));
}

TEST(Sqref, ListsMoveDropDeletedEntriesAndKeepTheirForm) {
  std::string out;
  ASSERT_TRUE(ShiftSqref("A1:B2 D5 F7:G9", SheetEdit::InsertRows(5, 2), out));
  EXPECT_EQ(out, "A1:B2 D7 F9:G11");
  ASSERT_TRUE(ShiftSqref("A1:B2 D5 F5:G9", SheetEdit::DeleteRows(5, 1), out));
  EXPECT_EQ(out, "A1:B2 F5:G8");
  ASSERT_TRUE(ShiftSqref("D5", SheetEdit::DeleteRows(5, 1), out));
  EXPECT_EQ(out, "");
  EXPECT_FALSE(ShiftSqref("A1:A1048576 C2", SheetEdit::InsertRows(5, 1), out));
  ASSERT_TRUE(ShiftSqref("B2:C3", SheetEdit::InsertColumns(3, 1), out));
  EXPECT_EQ(out, "B2:D3");
  ASSERT_TRUE(TranslateSqref("A1:B2 C3", 10, 1, out));
  EXPECT_EQ(out, "B11:C12 D13");
  ASSERT_TRUE(TranslateSqref("A1:B2 C3", -1, 0, out));
  EXPECT_EQ(out, "C2");
  // Rectangles (merges) and single indexes (breaks, anchors) follow the same rules.
  EXPECT_EQ(ShiftRect({3, 1, 6, 4}, SheetEdit::DeleteRows(2, 5)), std::nullopt);
  EXPECT_EQ(ShiftRect({3, 1, 6, 4}, SheetEdit::DeleteColumns(2, 2)), (CellRect{3, 1, 6, 2}));
  EXPECT_EQ(ShiftIndex(16384, SheetEdit::InsertColumns(1, 1)).Index, 16384);
}

}  // namespace
}  // namespace tabrix::xlsx
