// Cell lists, ranges, image lists, picture options and page-break texts: the edge cases and
// messages the whole-table tests do not reach.
#include <gtest/gtest.h>

#include "fill/cell_references.h"
#include "fill/fill_fixture.h"

namespace tabrix::fill {
namespace {

using namespace filltest;
using Entries = std::vector<std::string>;

TEST(SplitList, SeparatorsEmptyEntriesQuotesAndTheEntryLimit) {
  const std::pair<const char*, Entries> cases[] = {
      {"A1 , B1\tC1", {"A1", "B1", "C1"}},
      {"", {}},
      {"A1,,,D1", {"A1", "", "", "D1"}},  // a doubled comma stores an empty entry
      {",A1,", {"A1"}},
      {",,A1", {"", "A1"}},
      {"A1,B1  ", {"A1", "B1", ""}},  // trailing blanks give one empty entry
      {"'Sales 2'!B4,\"x y\"", {"'Sales 2'!B4", "x y"}},
      {"A1,\"\",C1", {"A1", "", "C1"}},
      {"A1 \",\" B1", {"A1", "B1"}},  // a quoted comma is a separator, not an entry
      {"'a''b'", {"a''b"}},
      {"f(x)=B1", {"f", "(", "x", ")", "=", "B1"}},  // other tokens are entries
  };
  for (const auto& [text, entries] : cases) EXPECT_EQ(SplitList(text), entries) << text;
  // 1024 entries fit; empty entries count as well. (The 1025th: see the fixed table.)
  EXPECT_EQ(SplitList(std::string(kMaxListEntries, ',') + "A1").size(), std::size_t(kMaxListEntries));
  EXPECT_EQ(CaughtError([] { SplitList(std::string(kMaxListEntries + 1, ',') + "A1"); }).Number(),
            kErrSubscriptOutOfRange);
}

TEST(PictureOptions, KeywordsSizesAndLastOneWins) {
  ImageOptions defaults = ParseImageOptions("");
  EXPECT_EQ(defaults.Placement, 2);
  EXPECT_FALSE(defaults.Stretch);
  EXPECT_LT(defaults.Width, 0);

  ImageOptions mixed = ParseImageOptions("MAS W120 STRETCH Wide H1e40 W99.5 MNS");
  EXPECT_EQ(mixed.Placement, 2);
  EXPECT_TRUE(mixed.Stretch);
  EXPECT_FLOAT_EQ(mixed.Width, 99.5f);  // "Wide" is not a size; a later size wins
  EXPECT_LT(mixed.Height, 0);           // too large for single precision: ignored
}

TEST(PageBreakText, RecordAndGroupItems) {
  for (const char* ignored : {"0", "-3", "abc"}) EXPECT_EQ(ParsePageBreak(ignored, 0).RecordsPerPage, 0);

  // Fixed and variable tables accept no group item.
  PageBreakSpec fixed = ParsePageBreak("5R,2G1", 0);
  EXPECT_EQ(fixed.RecordsPerPage, 5);
  EXPECT_EQ(fixed.GroupBreakCount, 0);

  PageBreakSpec grouped = ParsePageBreak("2g 3G1 7 8", 2);  // "2G": level 1 when nothing follows
  EXPECT_EQ(grouped.GroupBreakCount, 2);
  EXPECT_EQ(grouped.GroupBreakLevel, 1);
  EXPECT_EQ(grouped.RecordsPerPage, 7);  // "3G1" after an accepted group item is no record item

  EXPECT_EQ(ParsePageBreak("2G3", 2).GroupBreakCount, 0);  // deeper than the groups
  EXPECT_EQ(CaughtError([] { ParsePageBreak("40000", 0); }).Number(), kErrOverflow);
}

class FieldCellsTest : public FillTest {
 protected:
  void SetUp() override { opened_ = Template("ws['A1'] = 'x'"); }
  Block Resolve(std::int32_t fields, const std::string& list, std::int16_t order, const std::string& range) {
    return ResolveFieldCells(*opened_.Sheet, fields, SplitList(list), order, range, cells_);
  }
  std::vector<std::pair<int, int>> Positions() const {
    std::vector<std::pair<int, int>> result;
    for (const FieldCell& c : cells_) result.emplace_back(c.Row, c.Column);
    return result;
  }

  OpenedTemplate opened_;
  std::vector<FieldCell> cells_;
};

TEST_F(FieldCellsTest, UnlistedFieldsFollowTheFillOrderAndRangesWidenTheBlock) {
  Block block = Resolve(4, "A1,,C3", 0, "");
  EXPECT_EQ(Positions(), (std::vector<std::pair<int, int>>{{1, 1}, {1, 2}, {3, 3}, {3, 4}}));
  EXPECT_EQ(std::make_tuple(block.MinRow, block.MaxRow, block.MinCol, block.MaxCol), std::make_tuple(1, 3, 1, 4));

  Resolve(2, ",B2 $D$9 E1", 0, "");  // leading comma adds nothing; extra entries ignored
  EXPECT_EQ(Positions(), (std::vector<std::pair<int, int>>{{2, 2}, {9, 4}}));

  // A multi-cell reference counts only through its top-left cell.
  block = Resolve(1, "C3:F9", 0, "");
  EXPECT_EQ(std::make_pair(block.MaxRow, block.MaxCol), std::make_pair(3, 3));

  block = Resolve(3, "A1", 0, "A1:F3");
  EXPECT_EQ(std::make_pair(block.MaxRow, block.MaxCol), std::make_pair(3, 6));
}

TEST_F(FieldCellsTest, CellListAndRangeMessages) {
  AutomationError small = CaughtError([&] { Resolve(3, "A1", 0, "B1:F3"); });
  EXPECT_EQ(small.Number(), kErrRangeTooSmall);
  EXPECT_EQ(small.Description(), "The range or copyrange should be A1:C1.");

  AutomationError bad = CaughtError([&] { Resolve(3, "A1", 0, "no such range"); });
  EXPECT_EQ(bad.Number(), kErrBadRange);
  EXPECT_EQ(bad.Description().rfind("Syntax error. Failed to parse range 'no such range'. ", 0), 0u)
      << bad.Description();

  // Blanks alone give one empty entry, so the empty-first-entry message applies.
  EXPECT_EQ(CaughtError([&] { Resolve(2, " ", 0, ""); }).Number(), kErrEmptyFirstCell);

  AutomationError missing = CaughtError([&] { Resolve(2, "", 0, ""); });
  EXPECT_EQ(missing.Number(), kErrCellListMissing);
  EXPECT_EQ(missing.Description(), "Syntax error. There is a lack of the parameter \"CELL\".");

  AutomationError empty = CaughtError([&] { Resolve(2, "\"\",B1", 0, ""); });
  EXPECT_EQ(empty.Number(), kErrEmptyFirstCell);
  EXPECT_EQ(empty.Description(), "Syntax error. It is not a valid cell \"\" for the parameter \"CELL\".");

  AutomationError list = CaughtError([&] { Resolve(2, "A1,B0", 0, ""); });
  EXPECT_EQ(list.Number(), kErrBadCellList);
  const std::string prefix = "Syntax error. Failed to parse cell list. ";
  EXPECT_EQ(list.Description().rfind(prefix, 0), 0u) << list.Description();
  EXPECT_GT(list.Description().size(), prefix.size());
}

TEST_F(FieldCellsTest, ImageFieldsByNumberOrNameAndTheirMessages) {
  ExecuteSql(db_, "CREATE TABLE t(Id INTEGER, Name TEXT, PHOTO TEXT, Logo TEXT);"
                  "INSERT INTO t VALUES (1, 'a', 'p', 'l');");
  RecordsetPtr records = Records("SELECT * FROM t");
  EXPECT_EQ(ResolveImageFieldIndexes(*records, SplitList("2,3")), (std::vector<std::int32_t>{1, 2}));
  EXPECT_EQ(ResolveImageFieldIndexes(*records, SplitList("Photo,photo")), (std::vector<std::int32_t>{2, 2}));
  EXPECT_EQ(FindFieldIndex(*records, "logo"), 3);

  AutomationError missing = CaughtError([&] { ResolveImageFieldIndexes(*records, SplitList("9")); });
  EXPECT_EQ(missing.Number(), kErrImageFieldMissing);
  EXPECT_EQ(missing.Description(), "Syntax error. Failed to parse image. Can not find field \"9\" in the image list.");

  // A name in a numeric list fails in the conversion; the engine frames it.
  AutomationError mixed = CaughtError([&] {
    try {
      ResolveImageFieldIndexes(*records, SplitList("2,Photo"));
    } catch (...) {
      RaiseImageListError(std::current_exception());
    }
  });
  EXPECT_EQ(mixed.Number(), kErrBadImageList);
  EXPECT_EQ(mixed.Description(), "Syntax error. Failed to parse image. Type mismatch");
}

}  // namespace
}  // namespace tabrix::fill
