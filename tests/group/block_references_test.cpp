// Which record-block formulas let the grouped fill plan a run: relative lines inside the block,
// absolute lines anywhere, nothing relative on another sheet; texts, names, functions and
// structured references are no references.
#include <gtest/gtest.h>

#include "group/block_references.h"

namespace tabrix::group {
namespace {

TEST(BlockReferences, RelativeLinesMustStayInsideTheBlockAndOnItsSheet) {
  struct Case {
    const char* formula;
    bool down;
    bool staysInside;  // block: row 5 going down, column E (5) going right
  } const cases[] = {
      {"=E5/$F$9", true, true},
      {"=SUM($E$3:E5)*GrandTotal", true, true},
      {"=E4+E6", true, false},
      {"=SUM(E5:E6)", true, false},
      {"=\"E4\"&LOG10(E5)&Table1[[#This Row],[E4]]", true, true},
      {"=Other!E5", true, false},
      {"='My sheet'!$E$5+Other!C$1", true, true},
      {"=SUM(A:A)", true, true},
      {"=SUM(4:4)", true, false},
      {"=SUM(5:5)/$D1", false, true},
      {"=E1+D1", false, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(RelativeLinesStayWithin(c.formula, c.down, 5, 5), c.staysInside) << c.formula;
}

}  // namespace
}  // namespace tabrix::group
