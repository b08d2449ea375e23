// Parsed reference lists against the text they stand for: random edits applied to a RangeList
// give the text ShiftSqref gives, random copies add exactly the copied cells, and an edit at the
// end of a long list visits only the entries there.
#include "xlsx/range_list.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "xlsx/cell_address.h"

namespace tabrix::xlsx {
namespace {

// The cells a reference list covers inside rows 1..100 and columns 1..40 (where the copies go).
std::set<std::pair<std::int32_t, std::int32_t>> Cells(const std::string& text) {
  std::set<std::pair<std::int32_t, std::int32_t>> cells;
  for (const CellRect& rect : ParseSqref(text))
    for (std::int32_t row = rect.row1; row <= std::min(rect.row2, 100); ++row)
      for (std::int32_t column = rect.col1; column <= std::min(rect.col2, 40); ++column) cells.insert({row, column});
  return cells;
}

TEST(RangeList, RandomEditsAndCopiesGiveTheTextAndCellsTheyShould) {
  std::mt19937 random(20261206);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  const std::vector<std::string> starts = {"A3:I3", "B4:I4 A3:I3", "$B$6:$D$6 F6", "C:C 4:5 B2:C3 junk E7",
                                           "A1  B2:B9   D4", "", "XFD1048576 A1048570:C1048576"};
  for (int round = 0; round < 400; ++round) {
    RangeList list(starts[static_cast<std::size_t>(round) % starts.size()]);
    for (int step = 0; step < 40; ++step) {
      const std::string before = list.Text();
      if (pick(0, 9) < 6) {
        const bool rows = pick(0, 3) != 0;
        const std::int32_t at = pick(1, 30), count = pick(1, 4);
        SheetEdit edit;
        const bool band = pick(0, 3) == 0;
        const std::int32_t b1 = band ? pick(1, 5) : 0, b2 = band ? b1 + pick(0, 6) : 0;
        if (rows) edit = pick(0, 2) ? SheetEdit::InsertRows(at, count, b1, b2) : SheetEdit::DeleteRows(at, count, b1, b2);
        else edit = pick(0, 2) ? SheetEdit::InsertColumns(at, count, b1, b2) : SheetEdit::DeleteColumns(at, count, b1, b2);
        std::string expected;
        if (!ShiftSqref(before, edit, expected)) expected = before;
        list.Shift(edit);
        ASSERT_EQ(list.Text(), expected) << "round " << round << " step " << step << ": " << before;
      } else {
        // A copy adds the covered cells of the source at their new place, and nothing else.
        const std::int32_t r = pick(1, 30), c = pick(1, 8);
        const CellRect source{r, c, r + pick(0, 3), c + pick(0, 3)};
        const bool down = pick(0, 1);
        const std::int32_t dRow = down ? pick(1, 6) : 0, dCol = down ? 0 : pick(1, 6);
        auto expected = Cells(before);
        for (const auto& [row, column] : Cells(before))
          if (row >= source.row1 && row <= source.row2 && column >= source.col1 && column <= source.col2)
            expected.insert({row + dRow, column + dCol});
        list.Extend(source, dRow, dCol);
        ASSERT_EQ(Cells(list.Text()), expected) << "round " << round << " step " << step << ": " << before;
      }
      ASSERT_EQ(list.Empty(), list.Text().empty());
    }
  }
}

TEST(RangeList, AnEditOrCopyAtTheEndVisitsOnlyTheEntriesThere) {
  // One header row per group, as a grouped report leaves a conditional format: a long list of
  // one-row entries, the spare template's row far below.
  RangeList list("A3:I3");
  list.Extend(CellRect{3, 1, 3, 9}, 5000, 0);  // the spare template
  for (std::int32_t group = 1; group <= 2000; ++group) {
    const std::int32_t at = 3 + group * 2;
    list.Shift(SheetEdit::InsertRows(at, 2));
    EXPECT_LE(list.LastVisited(), 1u);
    list.Extend(CellRect{5003 + group * 2, 1, 5003 + group * 2, 9}, at - 5003 - group * 2, 0);
    EXPECT_LE(list.LastVisited(), 4u) << group;
  }
}

}  // namespace
}  // namespace tabrix::xlsx
