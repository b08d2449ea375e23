// Shared fixture of the evaluator tests: a small workbook held in maps, seen by the formula
// evaluator through its CellSource interface (counting cell reads), and helpers that compute a
// formula in it and describe the result as one comparable text.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "xlsx/evaluator/cell_source.h"
#include "xlsx/evaluator/formula_evaluator.h"
#include "xlsx/evaluator/unicode_text.h"
#include "xlsx/evaluator/value_conversion.h"

namespace tabrix::xlsx::eval::testing {

class MemoryCellSource : public CellSource {
 public:
  int AddSheet(const std::string& name) {
    sheets_.push_back({name, {}});
    return static_cast<int>(sheets_.size() - 1);
  }
  // "B5" style addresses. A text starting with "=" is a formula.
  void Set(int sheet, const std::string& address, const std::string& text) {
    const bool formula = !text.empty() && text.front() == '=';
    SetAt(sheet, address, formula ? CellContent::OfFormula({}) : CellContent::OfText({}), formula ? text.substr(1) : text);
  }
  void Set(int sheet, const std::string& address, double number) { SetAt(sheet, address, CellContent::OfNumber(number)); }
  void SetBoolean(int sheet, const std::string& address, bool value) { SetAt(sheet, address, CellContent::OfBoolean(value)); }
  void SetError(int sheet, const std::string& address, ErrorCode error) { SetAt(sheet, address, CellContent::OfError(error)); }
  void SetCell(int sheet, std::int32_t row, std::int32_t column, const CellContent& content, const std::string& text = {}) {
    sheets_.at(static_cast<std::size_t>(sheet)).cells[{row, column}] = Stored{content, text};
  }
  void DefineName(const std::string& name, const std::string& formula, int scopeSheet = -1) {
    names_[{scopeSheet, ToUpperText(name)}] = formula;
  }
  void HideRow(int sheet, std::int32_t row) { hidden_.insert({sheet, row}); }
  // Number of cell reads through GetCell and VisitCells callbacks.
  std::int64_t Reads() const { return reads_; }

  int FindSheet(std::string_view name) override {
    for (std::size_t i = 0; i < sheets_.size(); ++i)
      if (EqualsNoCase(sheets_[i].name, name)) return static_cast<int>(i);
    return -1;
  }
  CellContent GetCell(int sheet, std::int32_t row, std::int32_t column) override {
    ++reads_;
    const auto& cells = Cells(sheet);
    auto found = cells.find({row, column});
    return found == cells.end() ? CellContent{} : found->second.Content();
  }
  void VisitCells(int sheet, const CellRect& rect, CellVisitor visit) override {
    const auto& cells = Cells(sheet);
    for (auto it = cells.lower_bound({rect.row1, rect.col1}); it != cells.end() && it->first.first <= rect.row2;) {
      const auto [row, column] = it->first;
      if (column < rect.col1 || column > rect.col2) {  // on to the rectangle's part of this or the next row
        it = cells.lower_bound({column < rect.col1 ? row : row + 1, rect.col1});
        continue;
      }
      ++reads_;
      if (!visit(row, column, it->second.Content())) return;
      ++it;
    }
  }
  std::optional<std::string> FindName(std::string_view name, int sheet) override {
    for (int scope : {sheet, -1}) {
      auto found = names_.find({scope, ToUpperText(name)});
      if (found != names_.end()) return found->second;
    }
    return std::nullopt;
  }
  std::optional<CellRect> UsedArea(int sheet) override {
    const auto& cells = Cells(sheet);
    if (cells.empty()) return std::nullopt;
    CellRect r{cells.begin()->first.first, platform::kMaxColumns, cells.rbegin()->first.first, 1};
    for (const auto& [key, stored] : cells) r.col1 = std::min(r.col1, key.second), r.col2 = std::max(r.col2, key.second);
    return r;
  }
  bool RowHidden(int sheet, std::int32_t row) override { return hidden_.count({sheet, row}) > 0; }

  static std::pair<std::int32_t, std::int32_t> ParseAddress(const std::string& address) {
    std::int32_t column = 0, row = 0;
    std::size_t i = 0;
    while (i < address.size() && std::isalpha(static_cast<unsigned char>(address[i])))
      column = column * 26 + (std::toupper(static_cast<unsigned char>(address[i++])) - 'A' + 1);
    while (i < address.size() && std::isdigit(static_cast<unsigned char>(address[i]))) row = row * 10 + (address[i++] - '0');
    if (row == 0 || column == 0 || i != address.size()) throw std::invalid_argument("bad address " + address);
    return {row, column};
  }

 private:
  struct Stored {
    CellContent content;
    std::string text;  // owns Text and Formula texts
    CellContent Content() const {
      CellContent c = content;
      if (c.kind == CellContent::Kind::Text || c.kind == CellContent::Kind::Formula) c.text = text;
      return c;
    }
  };
  using CellMap = std::map<std::pair<std::int32_t, std::int32_t>, Stored>;  // (row, column)
  struct Sheet {
    std::string name;
    CellMap cells;
  };
  void SetAt(int sheet, const std::string& address, const CellContent& content, const std::string& text = {}) {
    const auto [row, column] = ParseAddress(address);
    SetCell(sheet, row, column, content, text);
  }
  const CellMap& Cells(int sheet) const { return sheets_.at(static_cast<std::size_t>(sheet)).cells; }

  std::vector<Sheet> sheets_;
  std::map<std::pair<int, std::string>, std::string> names_;  // (scope, upper-case name)
  std::set<std::pair<int, std::int32_t>> hidden_;
  std::int64_t reads_ = 0;
};

// A result as one comparable text: "n:<number>", "t:<text>", "b:TRUE", "e:#N/A",
// "not computed: <reason>".
inline std::string Describe(const CellResult& result) {
  if (!result.Computed()) return "not computed: " + result.reason;
  const Value& v = result.value;
  switch (v.GetKind()) {
    case Value::Kind::Number: {
      char buffer[40];
      std::snprintf(buffer, sizeof buffer, "n:%.15g", v.Number());
      return buffer;
    }
    case Value::Kind::Text: return "t:" + v.Text();
    case Value::Kind::Boolean: return v.Bool() ? "b:TRUE" : "b:FALSE";
    case Value::Kind::Error: return "e:" + std::string(ErrorText(v.Error()));
    default: return "?";
  }
}

class EvaluatorTest : public ::testing::Test {
 protected:
  // The formula computed as if it stood in `at` of the first sheet.
  std::string Eval(const std::string& formula, const std::string& at = "Z1000") {
    auto [row, column] = MemoryCellSource::ParseAddress(at);
    return Describe(FormulaEvaluator(source_, options_).EvaluateFormula(formula, sheet_, row, column));
  }
  std::string EvalCell(const std::string& address, int sheet = 0) {
    auto [row, column] = MemoryCellSource::ParseAddress(address);
    return Describe(FormulaEvaluator(source_, options_).EvaluateCell(sheet, row, column));
  }

  MemoryCellSource source_;
  EvaluatorOptions options_;
  int sheet_ = source_.AddSheet("Data");
};

}  // namespace tabrix::xlsx::eval::testing
