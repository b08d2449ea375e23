// Scans formulas for relative references that leave a block (see block_references.h); texts,
// structured references and external workbook indexes are skipped, names and functions ignored.
#include "group/block_references.h"

#include <optional>
#include <string>

#include "support/a1_reference.h"

namespace tabrix::group {
namespace {

// Index after the bracketed part starting at s[i] == '[' (brackets nest in structured references).
std::size_t BracketEnd(std::string_view s, std::size_t i) {
  int depth = 0;
  for (; i < s.size(); ++i) {
    if (s[i] == '[') ++depth;
    if (s[i] == ']' && --depth == 0) return i + 1;
  }
  return s.size();
}

bool LineInside(std::int32_t line, bool absolute, bool qualified, std::int32_t first, std::int32_t last) {
  if (absolute) return true;
  return !qualified && first <= line && line <= last;
}

bool ReferenceStaysWithin(const a1::Reference& ref, bool down, bool qualified, std::int32_t first,
                          std::int32_t last) {
  // Entire columns have no rows of their own, entire rows no columns.
  if (down && ref.shape == a1::Shape::Columns) return true;
  if (!down && ref.shape == a1::Shape::Rows) return true;
  if (down)
    return LineInside(ref.rect.row1, ref.row1Absolute, qualified, first, last) &&
           LineInside(ref.rect.row2, ref.row2Absolute, qualified, first, last);
  return LineInside(ref.rect.col1, ref.col1Absolute, qualified, first, last) &&
         LineInside(ref.rect.col2, ref.col2Absolute, qualified, first, last);
}

}  // namespace

bool RelativeLinesStayWithin(std::string_view formula, bool down, std::int32_t first,
                             std::int32_t last) {
  bool qualified = false;  // the next reference follows "Sheet!"
  std::size_t i = 0;
  while (i < formula.size()) {
    const char c = formula[i];
    if (c == '"') {
      i = a1::QuotedNameEnd(formula, i) + 1;  // a text
    } else if (c == '[') {
      i = BracketEnd(formula, i);
    } else if (c == '\'') {
      i = a1::QuotedNameEnd(formula, i) + 1;
      if (i < formula.size() && formula[i] == '!') {
        qualified = true;
        ++i;
      }
    } else if (a1::IsRunChar(c)) {
      const std::size_t end = a1::RunEnd(formula, i);
      const std::string_view run = formula.substr(i, end - i);
      i = end;
      if (i < formula.size() && formula[i] == '!') {  // a sheet name
        qualified = true;
        ++i;
        continue;
      }
      if (i < formula.size() && formula[i] == '(') continue;  // a function
      std::string_view second;
      if (i + 1 < formula.size() && formula[i] == ':' && a1::IsRunChar(formula[i + 1])) {
        const std::size_t secondEnd = a1::RunEnd(formula, i + 1);
        second = formula.substr(i + 1, secondEnd - i - 1);
      }
      a1::Reference ref;
      if (!second.empty() && a1::ParseReference(run, second, ref)) {
        i += 1 + second.size();
      } else if (!a1::ParseReference(run, {}, ref)) {
        qualified = false;  // a name, a number or a keyword
        continue;
      }
      if (!ReferenceStaysWithin(ref, down, qualified, first, last)) return false;
      qualified = false;
    } else {
      ++i;
    }
  }
  return true;
}

bool BlockStaysInside(platform::Worksheet& sheet, const platform::CellRect& block, bool down) {
  const std::int32_t first = down ? block.row1 : block.col1;
  const std::int32_t last = down ? block.row2 : block.col2;
  for (std::int32_t row = block.row1; row <= block.row2; ++row) {
    for (std::int32_t column = block.col1; column <= block.col2; ++column) {
      const std::optional<std::string> formula = sheet.CellFormula(row, column);
      if (!formula) return false;
      if (!formula->empty() && !RelativeLinesStayWithin(*formula, down, first, last)) return false;
    }
  }
  return true;
}

}  // namespace tabrix::group
