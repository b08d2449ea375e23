// The shared A1 grammar on the edge cases its three users meet: sheet limits, "$" forms, lower
// case, entire rows and columns, quoted sheet names with doubled quotes, and writing back.
#include "support/a1_reference.h"

#include <gtest/gtest.h>

#include <string>

namespace tabrix::a1 {
namespace {

std::string Written(std::string_view text) {
  const std::size_t colon = text.find(':');
  Reference ref;
  if (colon == std::string_view::npos ? !ParseReference(text, {}, ref)
                                      : !ParseReference(text.substr(0, colon),
                                                        text.substr(colon + 1), ref))
    return "(none)";
  std::string out;
  AppendReference(out, ref);
  return out;
}

TEST(A1Reference, PartsStopAtTheSheetLimits) {
  const Part last = ParsePart("XFD1048576");
  EXPECT_EQ(last.kind, PartKind::Cell);
  EXPECT_EQ(last.column, kMaxColumns);
  EXPECT_EQ(last.row, kMaxRows);
  EXPECT_EQ(ParsePart("XFE1").kind, PartKind::None);
  EXPECT_EQ(ParsePart("A1048577").kind, PartKind::None);
  EXPECT_EQ(ParsePart("AAAA1").kind, PartKind::None);
  EXPECT_EQ(ParsePart("A0").kind, PartKind::None);
  // Leading zeros count as digits: seven at most.
  EXPECT_EQ(ParsePart("A00000001").kind, PartKind::None);
  EXPECT_EQ(ParsePart("A0000001").row, 1);
  EXPECT_EQ(ColumnNumber("xfd"), kMaxColumns);
  EXPECT_EQ(ColumnNumber("XFE"), 0);
  EXPECT_EQ(ColumnNumber("$A"), 0);
  EXPECT_EQ(ColumnNumber("A1"), 0);
}

TEST(A1Reference, DollarFormsAndCase) {
  const Part mixed = ParsePart("b$7");
  EXPECT_EQ(mixed.kind, PartKind::Cell);
  EXPECT_EQ(mixed.column, 2);
  EXPECT_FALSE(mixed.columnAbsolute);
  EXPECT_TRUE(mixed.rowAbsolute);
  const Part column = ParsePart("$xfd");
  EXPECT_EQ(column.kind, PartKind::Column);
  EXPECT_TRUE(column.columnAbsolute);
  const Part row = ParsePart("$12");
  EXPECT_EQ(row.kind, PartKind::Row);
  EXPECT_TRUE(row.rowAbsolute);
  for (const char* bad : {"", "$", "$$A1", "A$", "A1$", "A$$1", "1A", "A-1", "A 1", "\xC3\xA4" "1"})
    EXPECT_EQ(ParsePart(bad).kind, PartKind::None) << bad;
}

TEST(A1Reference, ShapesAreNormalisedAndWrittenBack) {
  EXPECT_EQ(Written("$d$5:b2"), "B2:$D$5");  // each side keeps its own "$" markers
  EXPECT_EQ(Written("h:$F"), "$F:H");
  EXPECT_EQ(Written("7:$5"), "$5:7");
  EXPECT_EQ(Written("xfd1048576"), "XFD1048576");
  // A single column or row is not a reference on its own, and the sides must agree.
  for (const char* bad : {"F", "5", "A1:B", "A:1", "1:A1", ":A1", "A1:B2:C3"})
    EXPECT_EQ(Written(bad), "(none)") << bad;

  Reference ref;
  std::string out;
  AppendReference(out, ReferenceOf({1, 3, kMaxRows, 3}));
  out += ' ';
  AppendReference(out, ReferenceOf({4, 1, 4, kMaxColumns}));
  out += ' ';
  AppendReference(out, ReferenceOf({1, 1, kMaxRows, kMaxColumns}));
  EXPECT_EQ(out, "C:C 4:4 A1:XFD1048576");

  ASSERT_TRUE(ParseReference("F", "H", ref));
  EXPECT_EQ(ref.shape, Shape::Columns);
  EXPECT_EQ(ref.rect, (CellRect{1, 6, kMaxRows, 8}));
  ASSERT_TRUE(ParseReference("5", "7", ref));
  EXPECT_EQ(ref.shape, Shape::Rows);
  EXPECT_EQ(ref.rect, (CellRect{5, 1, 7, kMaxColumns}));
}

TEST(A1Reference, QuotedSheetNames) {
  const std::string_view formula = "'It''s ''Q1'''!A1+'x'";
  const std::size_t close = QuotedNameEnd(formula, 0);
  ASSERT_EQ(formula[close + 1], '!');
  EXPECT_EQ(UnquoteName(formula.substr(1, close - 1)), "It's 'Q1'");
  EXPECT_EQ(QuotedNameEnd(formula, formula.rfind("'x")), formula.size() - 1);
  // An apostrophe that is never closed runs to the end, doubled ones included.
  EXPECT_EQ(QuotedNameEnd("'abc''", 0), 6u);
  EXPECT_EQ(QuotedNameEnd("''", 0), 1u);  // empty name
}

TEST(A1Reference, RunsCoverNamesAndMultiByteCharacters) {
  const std::string_view text = "Gr\xC3\xBC\xC3\x9F" "e_1.$A\\?(B";
  EXPECT_EQ(RunEnd(text, 0), text.find('('));
  EXPECT_EQ(RunEnd("A1:B2", 0), 2u);
  EXPECT_EQ(RunEnd("'x'", 0), 0u);
}

TEST(A1Reference, ColumnLettersRoundTrip) {
  for (std::int32_t column : {1, 26, 27, 52, 702, 703, 16383, kMaxColumns}) {
    std::string letters;
    AppendColumn(letters, column);
    EXPECT_EQ(ColumnNumber(letters), column) << letters;
  }
  std::string out;
  AppendCell(out, 1048576, 16384, true, true);
  EXPECT_EQ(out, "$XFD$1048576");
}

}  // namespace
}  // namespace tabrix::a1
