// Shared fixture of the evaluator tests: a small workbook in memory and helpers that compute a
// formula in it and describe the result.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "xlsx/evaluator/memory_cell_source.h"
#include "xlsx/evaluator/formula_evaluator.h"
#include "xlsx/evaluator/value_conversion.h"

namespace tabrix::xlsx::eval::testing {

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
  EvaluatorTest() { sheet_ = source_.AddSheet("Data"); }

  // The formula computed as if it stood in `at` of the first sheet.
  std::string Eval(const std::string& formula, const std::string& at = "Z1000") {
    FormulaEvaluator evaluator(source_, options_);
    auto [row, column] = MemoryCellSource::ParseAddress(at);
    return Describe(evaluator.EvaluateFormula(formula, sheet_, row, column));
  }
  std::string EvalCell(const std::string& address, int sheet = 0) {
    FormulaEvaluator evaluator(source_, options_);
    auto [row, column] = MemoryCellSource::ParseAddress(address);
    return Describe(evaluator.EvaluateCell(sheet, row, column));
  }

  MemoryCellSource source_;
  EvaluatorOptions options_;
  int sheet_ = 0;
};

}  // namespace tabrix::xlsx::eval::testing
