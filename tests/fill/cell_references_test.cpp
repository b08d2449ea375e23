// Cell lists, ranges, image lists, picture options and page-break texts.
#include <gtest/gtest.h>

#include "fill/cell_references.h"
#include "fill/fill_fixture.h"
#include "tabrix/error_codes.h"

namespace tabrix::fill {
namespace {

using filltest::CaughtError;

TEST(PictureOptions, KeywordsSizesAndLastOneWins) {
  ImageOptions defaults = ParseImageOptions("");
  EXPECT_EQ(defaults.Placement, 2);
  EXPECT_FALSE(defaults.Stretch);
  EXPECT_LT(defaults.Width, 0);
  EXPECT_LT(defaults.Height, 0);

  ImageOptions sized = ParseImageOptions("w80 h60 nms");
  EXPECT_EQ(sized.Placement, 3);
  EXPECT_FLOAT_EQ(sized.Width, 80);
  EXPECT_FLOAT_EQ(sized.Height, 60);

  ImageOptions mixed = ParseImageOptions("MAS W120 STRETCH Wide H1e40 W99.5 MNS");
  EXPECT_EQ(mixed.Placement, 2);
  EXPECT_TRUE(mixed.Stretch);
  EXPECT_FLOAT_EQ(mixed.Width, 99.5f);  // "Wide" is not a size; a later size wins
  EXPECT_LT(mixed.Height, 0);           // too large for single precision: ignored
}

TEST(PageBreakText, RecordAndGroupItems) {
  EXPECT_EQ(ParsePageBreak("10", 0).RecordsPerPage, 10);
  EXPECT_EQ(ParsePageBreak("10r", 0).RecordsPerPage, 10);
  EXPECT_EQ(ParsePageBreak("0", 0).RecordsPerPage, 0);
  EXPECT_EQ(ParsePageBreak("-3", 0).RecordsPerPage, 0);
  EXPECT_EQ(ParsePageBreak("abc", 0).RecordsPerPage, 0);

  // Fixed and variable tables accept no group item.
  PageBreakSpec fixed = ParsePageBreak("5R,2G1", 0);
  EXPECT_EQ(fixed.RecordsPerPage, 5);
  EXPECT_EQ(fixed.GroupBreakCount, 0);
  EXPECT_EQ(fixed.GroupBreakLevel, 0);

  PageBreakSpec grouped = ParsePageBreak("2g 3G1 7 8", 2);  // "2G": level 1 when nothing follows
  EXPECT_EQ(grouped.GroupBreakCount, 2);
  EXPECT_EQ(grouped.GroupBreakLevel, 1);
  EXPECT_EQ(grouped.RecordsPerPage, 7);  // "3G1" after an accepted group item is no record item

  PageBreakSpec tooDeep = ParsePageBreak("2G3", 2);
  EXPECT_EQ(tooDeep.GroupBreakCount, 0);
  EXPECT_EQ(tooDeep.GroupBreakLevel, 0);

  AutomationError overflow = CaughtError([] { ParsePageBreak("40000", 0); });
  EXPECT_EQ(overflow.Number(), kErrOverflow);
}

TEST(FillOrder, RangeOrdersAreMappedAndRemembered) {
  std::int16_t order = 3;
  EXPECT_TRUE(NormalizeFillOrder(order));
  EXPECT_EQ(order, 1);
  order = 2;
  EXPECT_TRUE(NormalizeFillOrder(order));
  EXPECT_EQ(order, 0);
  order = 7;
  EXPECT_FALSE(NormalizeFillOrder(order));
  EXPECT_EQ(order, 0);
  order = 1;
  EXPECT_FALSE(NormalizeFillOrder(order));
  EXPECT_EQ(order, 1);
}

class FieldCellsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    filltest::MakeTemplate(folder_.File("t.xlsx"), "ws['A1'] = 'x'");
    opened_ = filltest::OpenTemplate(folder_.File("t.xlsx"));
  }
  Block Resolve(std::int32_t fields, const std::string& list, std::int16_t order,
                const std::string& range, std::vector<FieldCell>& cells) {
    return ResolveFieldCells(*opened_.Sheet, fields, SplitList(list), order, range, cells);
  }
  static std::vector<std::pair<int, int>> Positions(const std::vector<FieldCell>& cells) {
    std::vector<std::pair<int, int>> result;
    for (const FieldCell& c : cells) result.emplace_back(c.Row, c.Column);
    return result;
  }

  filltest::ScratchFolder folder_;
  filltest::OpenedTemplate opened_;
};

TEST_F(FieldCellsTest, UnlistedFieldsFollowTheFillOrder) {
  std::vector<FieldCell> cells;
  Block block = Resolve(3, "A1", 0, "", cells);
  EXPECT_EQ(Positions(cells), (std::vector<std::pair<int, int>>{{1, 1}, {1, 2}, {1, 3}}));
  EXPECT_EQ(block.MaxCol, 3);

  Resolve(3, "A1", 1, "", cells);
  EXPECT_EQ(Positions(cells), (std::vector<std::pair<int, int>>{{1, 1}, {2, 1}, {3, 1}}));

  block = Resolve(4, "A1,,C3", 0, "", cells);
  EXPECT_EQ(Positions(cells), (std::vector<std::pair<int, int>>{{1, 1}, {1, 2}, {3, 3}, {3, 4}}));
  EXPECT_EQ(block.MinRow, 1);
  EXPECT_EQ(block.MaxRow, 3);
  EXPECT_EQ(block.MinCol, 1);
  EXPECT_EQ(block.MaxCol, 4);

  Resolve(2, ",B2 $D$9 E1", 0, "", cells);  // leading comma adds nothing; extra entries ignored
  EXPECT_EQ(Positions(cells), (std::vector<std::pair<int, int>>{{2, 2}, {9, 4}}));

  // A multi-cell reference counts only through its top-left cell.
  block = Resolve(1, "C3:F9", 0, "", cells);
  EXPECT_EQ(block.MaxRow, 3);
  EXPECT_EQ(block.MaxCol, 3);
}

TEST_F(FieldCellsTest, RangeWidensTheBlockOrIsRejected) {
  std::vector<FieldCell> cells;
  Block block = Resolve(3, "A1", 0, "A1:F3", cells);
  EXPECT_EQ(block.MaxRow - block.MinRow + 1, 3);
  EXPECT_EQ(block.MaxCol - block.MinCol + 1, 6);

  AutomationError small = CaughtError([&] { Resolve(3, "A1", 0, "B1:F3", cells); });
  EXPECT_EQ(small.Number(), kErrRangeTooSmall);
  EXPECT_EQ(small.Source(), "TabrixCom");
  EXPECT_EQ(small.Description(), "The range or copyrange should be A1:C1.");

  AutomationError bad = CaughtError([&] { Resolve(3, "A1", 0, "no such range", cells); });
  EXPECT_EQ(bad.Number(), kErrBadRange);
  EXPECT_EQ(bad.Description().rfind("Syntax error. Failed to parse range 'no such range'. ", 0), 0u)
      << bad.Description();
}

TEST_F(FieldCellsTest, CellListMessages) {
  std::vector<FieldCell> cells;
  AutomationError none = CaughtError([&] { Resolve(2, " ", 0, "", cells); });
  // Blanks alone give one empty entry, so the empty-first-entry message applies.
  EXPECT_EQ(none.Number(), kErrEmptyFirstCell);

  AutomationError missing = CaughtError([&] { Resolve(2, "", 0, "", cells); });
  EXPECT_EQ(missing.Number(), kErrCellListMissing);
  EXPECT_EQ(missing.Description(), "Syntax error. There is a lack of the parameter \"CELL\".");

  AutomationError empty = CaughtError([&] { Resolve(2, "\"\",B1", 0, "", cells); });
  EXPECT_EQ(empty.Number(), kErrEmptyFirstCell);
  EXPECT_EQ(empty.Description(),
            "Syntax error. It is not a valid cell \"\" for the parameter \"CELL\".");

  AutomationError bad = CaughtError([&] { Resolve(2, "A1,B0", 0, "", cells); });
  EXPECT_EQ(bad.Number(), kErrBadCellList);
  EXPECT_EQ(bad.Description().rfind("Syntax error. Failed to parse cell list. ", 0), 0u)
      << bad.Description();
  EXPECT_GT(bad.Description().size(), std::string("Syntax error. Failed to parse cell list. ").size());
}

TEST(ImageFields, NumbersOrNamesAndTheirMessages) {
  filltest::ScratchFolder folder;
  const std::string db = folder.File("d.db");
  filltest::MakeDatabase(db, "CREATE TABLE t(Id INTEGER, Name TEXT, PHOTO TEXT, Logo TEXT, X TEXT);"
                             "INSERT INTO t VALUES (1, 'a', 'p', 'l', 'x');");
  RecordsetPtr records = filltest::OpenRecordset(db, "SELECT * FROM t");

  EXPECT_EQ(ResolveImageFieldIndexes(*records, SplitList("2,3")), (std::vector<std::int32_t>{1, 2}));
  EXPECT_EQ(ResolveImageFieldIndexes(*records, SplitList("Photo,photo")),
            (std::vector<std::int32_t>{2, 2}));
  EXPECT_TRUE(ResolveImageFieldIndexes(*records, {}).empty());
  EXPECT_EQ(FindFieldIndex(*records, "logo"), 3);
  EXPECT_EQ(FindFieldIndex(*records, "nothing"), -1);

  AutomationError missing = CaughtError([&] { ResolveImageFieldIndexes(*records, SplitList("9")); });
  EXPECT_EQ(missing.Number(), kErrImageFieldMissing);
  EXPECT_EQ(missing.Description(),
            "Syntax error. Failed to parse image. Can not find field \"9\" in the image list.");

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

  EXPECT_EQ(CountRecords(*records), 1);
  EXPECT_FALSE(records->Eof());  // back on the first record
}

}  // namespace
}  // namespace tabrix::fill
