// Tests of list splitting: separators, empty entries, quotes and the entry limit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fill/cell_references.h"
#include "tabrix/error.h"

namespace tabrix::fill {
namespace {

using Entries = std::vector<std::string>;

TEST(SplitList, CommasAndBlanksSeparate) {
  EXPECT_EQ(SplitList("A1,B1,C1"), (Entries{"A1", "B1", "C1"}));
  EXPECT_EQ(SplitList("A1 B1"), (Entries{"A1", "B1"}));
  EXPECT_EQ(SplitList("A1 , B1\tC1"), (Entries{"A1", "B1", "C1"}));
  EXPECT_TRUE(SplitList("").empty());
}

TEST(SplitList, DoubledCommaStoresAnEmptyEntry) {
  EXPECT_EQ(SplitList("A1,,C1"), (Entries{"A1", "", "C1"}));
  EXPECT_EQ(SplitList("A1,,,D1"), (Entries{"A1", "", "", "D1"}));
  EXPECT_EQ(SplitList(",A1"), (Entries{"A1"}));
  EXPECT_EQ(SplitList("A1,"), (Entries{"A1"}));
  EXPECT_EQ(SplitList(",,A1"), (Entries{"", "A1"}));
}

TEST(SplitList, TrailingBlanksGiveOneEmptyEntry) {
  EXPECT_EQ(SplitList("A1,B1  "), (Entries{"A1", "B1", ""}));
}

TEST(SplitList, QuotesAreRemovedOncePerEntry) {
  EXPECT_EQ(SplitList("'Sales 2'!B4,\"x y\""), (Entries{"'Sales 2'!B4", "x y"}));
  EXPECT_EQ(SplitList("A1,\"\",C1"), (Entries{"A1", "", "C1"}));
  // A quoted comma is a separator, not an entry.
  EXPECT_EQ(SplitList("A1 \",\" B1"), (Entries{"A1", "B1"}));
  EXPECT_EQ(SplitList("'a''b'"), (Entries{"a''b"}));
}

TEST(SplitList, OtherTokensAreEntries) {
  EXPECT_EQ(SplitList("A1=B1"), (Entries{"A1", "=", "B1"}));
  EXPECT_EQ(SplitList("f(x)"), (Entries{"f", "(", "x", ")"}));
}

TEST(SplitList, The1025thEntryRaisesSubscriptOutOfRange) {
  std::string text;
  for (int i = 0; i < kMaxListEntries; ++i) text += "A" + std::to_string(i + 1) + ",";
  EXPECT_EQ(SplitList(text).size(), static_cast<std::size_t>(kMaxListEntries));
  text += "Z9";
  try {
    SplitList(text);
    FAIL() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.Number(), kErrSubscriptOutOfRange);
  }
  // Empty entries count as well.
  EXPECT_THROW(SplitList(std::string(kMaxListEntries + 2, ',') + "A1"), AutomationError);
}

}  // namespace
}  // namespace tabrix::fill
