// Parsed reference lists against the text they stand for: random edits and copies applied to a
// RangeList give the text that rewriting the sqref on every step gives (ShiftSqref for edits,
// rewriting the list from its rectangles for copies), and an edit at the end of a long list
// visits only the entries there.
#include "xlsx/range_list.h"

#include <gtest/gtest.h>

#include <random>

#include "xlsx/cell_address.h"

namespace tabrix::xlsx {
namespace {

bool Intersects(const CellRect& a, const CellRect& b) {
  return a.row1 <= b.row2 && b.row1 <= a.row2 && a.col1 <= b.col2 && b.col1 <= a.col2;
}

bool Contains(const CellRect& outer, const CellRect& inner) {
  return outer.row1 <= inner.row1 && inner.row2 <= outer.row2 && outer.col1 <= inner.col1 &&
         inner.col2 <= outer.col2;
}

// How a copy extends an sqref held as text: the whole list read into rectangles, the copied
// parts joined in, the list written again.
std::string ExtendText(const std::string& text, const CellRect& source, std::int32_t dRow, std::int32_t dCol) {
  std::vector<CellRect> list = ParseSqref(text);
  std::vector<CellRect> added;
  for (const CellRect& rect : list)
    if (Intersects(rect, source))
      added.push_back(CellRect{std::max(rect.row1, source.row1) + dRow, std::max(rect.col1, source.col1) + dCol,
                               std::min(rect.row2, source.row2) + dRow, std::min(rect.col2, source.col2) + dCol});
  if (added.empty()) return text;
  for (CellRect rect : added) {
    bool held = false;
    for (const CellRect& existing : list) held = held || Contains(existing, rect);
    if (held) continue;
    for (bool joined = true; joined;) {
      joined = false;
      for (auto it = list.begin(); it != list.end(); ++it) {
        const CellRect e = *it;
        bool sameColumns = e.col1 == rect.col1 && e.col2 == rect.col2 && rect.row1 <= e.row2 + 1 && e.row1 <= rect.row2 + 1;
        bool sameRows = e.row1 == rect.row1 && e.row2 == rect.row2 && rect.col1 <= e.col2 + 1 && e.col1 <= rect.col2 + 1;
        if (sameColumns || sameRows || Contains(rect, e)) {
          rect = CellRect{std::min(e.row1, rect.row1), std::min(e.col1, rect.col1), std::max(e.row2, rect.row2),
                          std::max(e.col2, rect.col2)};
          list.erase(it);
          joined = true;
          break;
        }
      }
    }
    list.push_back(rect);
  }
  return FormatSqref(list);
}

TEST(RangeList, RandomEditsAndCopiesGiveTheTextRewritingGives) {
  std::mt19937 random(20261206);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  const std::vector<std::string> starts = {"A3:I3", "B4:I4 A3:I3", "$B$6:$D$6 F6", "C:C 4:5 B2:C3 junk E7",
                                           "A1  B2:B9   D4", "", "XFD1048576 A1048570:C1048576"};
  for (int round = 0; round < 400; ++round) {
    std::string text = starts[static_cast<std::size_t>(round) % starts.size()];
    RangeList list(text);
    for (int step = 0; step < 40; ++step) {
      const int what = pick(0, 9);
      if (what < 6) {
        const bool rows = pick(0, 3) != 0;
        const std::int32_t at = pick(1, 30), count = pick(1, 4);
        SheetEdit edit;
        const bool band = pick(0, 3) == 0;
        const std::int32_t b1 = band ? pick(1, 5) : 0, b2 = band ? b1 + pick(0, 6) : 0;
        if (rows) edit = pick(0, 2) ? SheetEdit::InsertRows(at, count, b1, b2) : SheetEdit::DeleteRows(at, count, b1, b2);
        else edit = pick(0, 2) ? SheetEdit::InsertColumns(at, count, b1, b2) : SheetEdit::DeleteColumns(at, count, b1, b2);
        std::string out;
        if (ShiftSqref(text, edit, out)) text = out;
        list.Shift(edit);
      } else {
        const std::int32_t r = pick(1, 30), c = pick(1, 8);
        const CellRect source{r, c, r + pick(0, 3), c + pick(0, 3)};
        const bool down = pick(0, 1);
        const std::int32_t dRow = down ? pick(1, 6) : 0, dCol = down ? 0 : pick(1, 6);
        text = ExtendText(text, source, dRow, dCol);
        list.Extend(source, dRow, dCol);
      }
      ASSERT_EQ(list.Text(), text) << "round " << round << " step " << step;
      ASSERT_EQ(list.Empty(), text.empty());
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
