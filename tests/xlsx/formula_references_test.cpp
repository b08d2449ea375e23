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

TEST(ShiftFormulaRows, InsertionMovesCellsAtOrBelowAndGrowsSpanningRanges) {
  const auto ins = SheetEdit::InsertRows(6, 2);
  EXPECT_EQ(Shift("A5+A6+$B$7+C100", ins), "A5+A8+$B$9+C102");
  // r1 >= k moves; r1 < k <= r2 grows; r2 < k stays: inserting right below does not widen.
  EXPECT_EQ(Shift("SUM(E6:E9)", ins), "SUM(E8:E11)");
  EXPECT_EQ(Shift("SUM(E5:E6)", ins), "SUM(E5:E8)");
  EXPECT_EQ(Shift("SUM(E1:E5)", ins), "SUM(E1:E5)");
}

TEST(ShiftFormulaRows, WholeColumnsStayWholeRowsFollowTheRowRule) {
  const auto ins = SheetEdit::InsertRows(5, 3);
  EXPECT_EQ(Shift("SUM(C:C)+SUM($D:$F)", ins), "SUM(C:C)+SUM($D:$F)");
  EXPECT_EQ(Shift("SUM(A1:A1048576)", ins), "SUM(A1:A1048576)");
  EXPECT_EQ(Shift("SUM(4:7)+SUM($5:$6)+SUM(1:2)", ins), "SUM(4:10)+SUM($8:$9)+SUM(1:2)");
  const auto del = SheetEdit::DeleteRows(5, 3);
  EXPECT_EQ(Shift("SUM(C:C)", del), "SUM(C:C)");
  EXPECT_EQ(Shift("SUM(5:7)+SUM(3:9)+SUM(10:12)", del), "SUM(#REF!)+SUM(3:6)+SUM(7:9)");
}

TEST(ShiftFormulaRows, PushingPastTheLastRowGivesRefButRangeEndsStayAtTheLimit) {
  const auto ins = SheetEdit::InsertRows(10, 5);
  EXPECT_EQ(Shift("A1048572+A1048571", ins), "#REF!+A1048576");
  EXPECT_EQ(Shift("SUM(A20:A1048576)", ins), "SUM(A25:A1048576)");
  EXPECT_EQ(Shift("SUM(A5:A1048575)", ins), "SUM(A5:A1048576)");
  EXPECT_EQ(Shift("SUM(A1048573:A1048576)", ins), "SUM(#REF!)");
}

TEST(ShiftFormulaRows, DeletionCutsRowsOutAndRefsWhatIsGone) {
  const auto del = SheetEdit::DeleteRows(5, 2);  // rows 5 and 6
  EXPECT_EQ(Shift("A4+A5+A6+A7+$A$10", del), "A4+#REF!+#REF!+A5+$A$8");
  EXPECT_EQ(Shift("SUM(A1:A4)", del), "SUM(A1:A4)");
  EXPECT_EQ(Shift("SUM(A3:A10)", del), "SUM(A3:A8)");  // spanning: shrinks
  EXPECT_EQ(Shift("SUM(A5:A9)", del), "SUM(A5:A7)");   // starts inside
  EXPECT_EQ(Shift("SUM(A2:A6)", del), "SUM(A2:A4)");   // ends inside
  EXPECT_EQ(Shift("SUM(A5:B6)", del), "SUM(#REF!)");   // wholly inside
  EXPECT_EQ(Shift("SUM(A7:A8)", del), "SUM(A5:A6)");
}

TEST(ShiftFormulaRows, BandMovesOnlyReferencesInsideTheColumns) {
  const auto ins = SheetEdit::InsertRows(5, 1, 2, 4);  // shift down cells in B..D
  EXPECT_EQ(Shift("B5+D9+A5+E5", ins), "B6+D10+A5+E5");
  EXPECT_EQ(Shift("SUM(B5:D8)+SUM(A5:B8)+SUM(C3:C7)", ins), "SUM(B6:D9)+SUM(A5:B8)+SUM(C3:C8)");
  EXPECT_EQ(Shift("SUM(5:6)+SUM(C:C)", ins), "SUM(5:6)+SUM(C:C)");
  const auto del = SheetEdit::DeleteRows(5, 1, 2, 4);
  EXPECT_EQ(Shift("B5+B6+A6+SUM(C4:C6)", del), "#REF!+B5+A6+SUM(C4:C5)");
}

TEST(ShiftFormulaColumns, InsertAndDeleteMirrorTheRowRules) {
  const auto ins = SheetEdit::InsertColumns(3, 2);  // before column C
  EXPECT_EQ(Shift("B1+C1+$Z$9+SUM(A1:C1)+SUM(B:D)+SUM(4:4)", ins),
            "B1+E1+$AB$9+SUM(A1:E1)+SUM(B:F)+SUM(4:4)");
  EXPECT_EQ(Shift("XFC1+SUM(A1:XFD1)", ins), "#REF!+SUM(A1:XFD1)");
  const auto del = SheetEdit::DeleteColumns(2, 2);  // B..C
  EXPECT_EQ(Shift("A1+B1+D1+SUM(A1:E1)+SUM(B:C)+SUM(C:F)", del),
            "A1+#REF!+B1+SUM(A1:C1)+SUM(#REF!)+SUM(B:D)");
  const auto band = SheetEdit::InsertColumns(2, 1, 3, 5);  // shift right in rows 3..5
  EXPECT_EQ(Shift("B3+B2+SUM(B3:C5)+SUM(B4:B6)", band), "C3+B2+SUM(C3:D5)+SUM(B4:B6)");
}

TEST(ShiftFormulaSheets, OnlyReferencesIntoTheEditedSheetMove) {
  const auto ins = SheetEdit::InsertRows(2, 1);
  // Unqualified references belong to the formula's own sheet.
  EXPECT_EQ(Shift("A2+Data!A2+Other!A2", ins, kHere), "A3+Data!A3+Other!A2");
  EXPECT_EQ(Shift("A2+Data!A2+Other!A2", ins, kElsewhere), "A2+Data!A3+Other!A2");
  // Sheet names compare case-insensitively, quoted names with doubled quotes.
  const FormulaContext quoted{"Bob's Sheet 2", false};
  EXPECT_EQ(Shift("'Bob''s Sheet 2'!A2:B3+'bob''s sheet 2'!$C$9+'Bob''s Sheet 3'!A2", ins,
                  quoted),
            "'Bob''s Sheet 2'!A3:B4+'bob''s sheet 2'!$C$10+'Bob''s Sheet 3'!A2");
  const FormulaContext accented{"Übersicht", false};
  EXPECT_EQ(Shift("übersicht!A2+'ÜBERSICHT'!B5", ins, accented),
            "übersicht!A3+'ÜBERSICHT'!B6");
  // Deleted references keep their sheet prefix.
  EXPECT_EQ(Shift("Data!A2+1", SheetEdit::DeleteRows(2, 1), kElsewhere), "Data!#REF!+1");
  // 3-D and external references are left as they are.
  EXPECT_EQ(Shift("SUM(Data:Other!A2)+SUM('Data:Other'!A5)+[1]Data!A2+'[1]Data'!A2", ins, kHere),
            "SUM(Data:Other!A2)+SUM('Data:Other'!A5)+[1]Data!A2+'[1]Data'!A2");
}

TEST(ShiftFormulaTokens, TextThatOnlyLooksLikeReferencesIsLeftAlone) {
  const auto ins = SheetEdit::InsertRows(1, 1);
  EXPECT_EQ(Shift(R"(IF(A1="A1 ""B2"" C3",'x''y'!Q1,"'Data'!A1"))", ins, kElsewhere),
            R"(IF(A1="A1 ""B2"" C3",'x''y'!Q1,"'Data'!A1"))");
  EXPECT_EQ(Shift(R"(IF(A1="A1 ""B2"" C3",1,2))", ins), R"(IF(A2="A1 ""B2"" C3",1,2))");
  // Functions named like cells, defined names, R1C1-looking names, numbers with exponents,
  // booleans, error literals and structured references.
  EXPECT_EQ(Shift("LOG10(A1)+ATAN2(B1,C1)+MyName+R1C1+1E+5+2.5E-3*A1+TRUE+#N/A+#DIV/0!", ins),
            "LOG10(A2)+ATAN2(B2,C2)+MyName+R1C1+1E+5+2.5E-3*A2+TRUE+#N/A+#DIV/0!");
  EXPECT_EQ(Shift("SUM(Table1[Col])+Table1[[#This Row],[A1]]+SUM(Table1[[#Headers],[B2]:[C3]])",
                  ins),
            "SUM(Table1[Col])+Table1[[#This Row],[A1]]+SUM(Table1[[#Headers],[B2]:[C3]])");
  EXPECT_EQ(Shift("_xlfn.STDEV.S(A1:A9)+Data!MyName+Sheet1!#REF!+A1#", ins),
            "_xlfn.STDEV.S(A2:A10)+Data!MyName+Sheet1!#REF!+A2#");
  EXPECT_EQ(Shift("{1,2;3,4}+SUM(A1 B1:B5,C1)", ins), "{1,2;3,4}+SUM(A2 B2:B6,C2)");
  // Past the sheet's columns or rows these are names, not cells.
  EXPECT_EQ(Shift("XFE1+A1048577+ABCD1", ins), "XFE1+A1048577+ABCD1");
  EXPECT_EQ(Shift("a1+$b$2", ins), "A2+$B$3");
}

TEST(ShiftFormula, ReportsWhetherTheTextChangedAndLeavesOutAlone) {
  std::string out = "untouched";
  EXPECT_FALSE(ShiftFormula("SUM(A1:A4)+Other!A9", SheetEdit::InsertRows(5, 1), kHere, out));
  EXPECT_EQ(out, "untouched");
  EXPECT_TRUE(ShiftFormula("SUM(A1:A5)", SheetEdit::InsertRows(5, 1), kHere, out));
  EXPECT_EQ(out, "SUM(A1:A6)");
  EXPECT_FALSE(ShiftFormula("\"A5\"&B5", SheetEdit::InsertRows(6, 1), kHere, out));
}

TEST(RemoveSheetReferences, ReferencesIntoTheDeletedSheetBecomeRef) {
  std::string out;
  ASSERT_TRUE(RemoveSheetReferences("Gone!A1+'gone'!B2:C3+Kept!A1+A1", "Gone", out));
  EXPECT_EQ(out, "#REF!A1+#REF!B2:C3+Kept!A1+A1");
  EXPECT_FALSE(RemoveSheetReferences("Kept!A1", "Gone", out));
  // Once gone, such references are no longer moved or counted.
  EXPECT_EQ(Shift("#REF!A1+A1", SheetEdit::InsertRows(1, 1)), "#REF!A1+A2");
  EXPECT_EQ(MeasureReferences("#REF!B9:C12").HasReferences, false);
}

TEST(TranslateFormula, RelativePartsFollowTheCopyAbsolutePartsStay) {
  EXPECT_EQ(TranslatedFormula("A1+$A1+A$1+$A$1", 2, 3), "D3+$A3+D$1+$A$1");
  EXPECT_EQ(TranslatedFormula("SUM(B2:$C$5)+SUM(C:$D)+SUM(3:$4)", 1, 1),
            "SUM(C3:$C$5)+SUM(D:$D)+SUM(4:$4)");
  // Sheet-qualified references move too; text does not.
  EXPECT_EQ(TranslatedFormula("'Other sheet'!B2&\"B2\"", 1, 0), "'Other sheet'!B3&\"B2\"");
  // Off the sheet.
  EXPECT_EQ(TranslatedFormula("A1+B2+$A$1", -1, 0), "#REF!+B1+$A$1");
  EXPECT_EQ(TranslatedFormula("SUM(A1:B2)", 0, -1), "SUM(#REF!)");
  EXPECT_EQ(TranslatedFormula("XFD1", 0, 1), "#REF!");
  // A range whose relative end passes its absolute start is written top row first; the "$"
  // markers stay with the row they belong to.
  EXPECT_EQ(TranslatedFormula("SUM($A$5:A6)", -3, 0), "SUM($A3:A$5)");
  std::string out;
  EXPECT_FALSE(TranslateFormula("$A$1+1", 5, 5, out));
}

TEST(ParsedFormula, MovesRepeatedlyAndWritesUntouchedPartsVerbatim) {
  ParsedFormula parsed("sum(a5:a6)+'X y'!b7+Data!C3+\"A5\"");
  EXPECT_FALSE(parsed.Shift(SheetEdit::InsertRows(8, 1), kHere));
  EXPECT_EQ(parsed.Text(), "sum(a5:a6)+'X y'!b7+Data!C3+\"A5\"");
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(parsed.Shift(SheetEdit::InsertRows(6, 1), kHere));
  EXPECT_EQ(parsed.Text(), "sum(A5:A9)+'X y'!b7+Data!C3+\"A5\"");
  EXPECT_TRUE(parsed.Shift(SheetEdit::DeleteRows(3, 1), kHere));
  EXPECT_EQ(parsed.Text(), "sum(A4:A8)+'X y'!b7+Data!#REF!+\"A5\"");
  // (That the parsed form and the text form agree on any text: fuzz/fuzz_formula_references.cpp.)
}

TEST(MeasureReferences, ReachTellsWhichEditsCanMatter) {
  ReferenceReach reach = MeasureReferences("SUM(B2:D40)+Other!Z3+SUM(A:A)+SUM(2:3)+\"A900\"");
  EXPECT_TRUE(EditCanAffect(reach, SheetEdit::InsertRows(40, 1)));
  EXPECT_FALSE(EditCanAffect(reach, SheetEdit::InsertRows(41, 1)));
  EXPECT_FALSE(EditCanAffect(reach, SheetEdit::DeleteColumns(27, 2)));
  EXPECT_FALSE(MeasureReferences("1+2+MyName+\"A1\"").HasReferences);
  // (That the pre-check never hides a change: the fuzz target.)
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
}

TEST(Rects, ShiftRectAndShiftIndexForMergesAnchorsAndBreaks) {
  // (Merges and breaks moving with whole templates: structure_edit_test.cpp.)
  EXPECT_EQ(ShiftRect({3, 1, 6, 4}, SheetEdit::DeleteRows(2, 5)), std::nullopt);
  EXPECT_EQ(ShiftRect({3, 1, 6, 4}, SheetEdit::DeleteColumns(2, 2)), (CellRect{3, 1, 6, 2}));
  const ShiftedIndex inside = ShiftIndex(6, SheetEdit::DeleteRows(5, 3));
  EXPECT_EQ(inside.Index, 5);
  EXPECT_TRUE(inside.Deleted);
  EXPECT_EQ(ShiftIndex(9, SheetEdit::DeleteRows(5, 3)).Index, 6);
  EXPECT_EQ(ShiftIndex(16384, SheetEdit::InsertColumns(1, 1)).Index, 16384);
}

// Inserting rows or columns and deleting the same ones again gives the formula back, for any
// formula whose references stay on the sheet. (Arbitrary text: fuzz/fuzz_formula_references.cpp.)
TEST(ShiftFormulaProperties, InsertThenDeleteRestoresTheText) {
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
          const std::string moved = Shift(f, ins, context);
          EXPECT_EQ(Shift(moved, del, context), f) << f << " at " << k;
        }
      }
    }
  }
}

}  // namespace
}  // namespace tabrix::xlsx
