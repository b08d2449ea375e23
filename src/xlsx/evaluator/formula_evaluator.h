// Formula evaluation without a spreadsheet application: computes the value of formula cells of
// a workbook seen through a CellSource, as the spreadsheet application computes them.
//
// Each formula cell is computed once and remembered; the cells it needs are computed first, on
// demand (so any order of requests gives the same results, and long chains of cells that refer
// to each other do not exhaust the stack). A formula the evaluator cannot compute exactly (an
// unknown function, a construct it does not support, a circular reference, or any formula that
// needs such a cell) is reported as not computed; nothing is guessed.
//
// Not thread-safe: one evaluator per thread; the cell source must not change while it is used
// (Clear() forgets what was computed).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "xlsx/evaluator/cell_source.h"
#include "xlsx/evaluator/formula_value.h"

namespace tabrix::xlsx::eval {

struct EvaluatorOptions {
  // Serial date and time TODAY and NOW return; the current local time when unset.
  std::optional<double> now;
  // Largest array (in cells) an array operation may build before the formula is given up.
  std::int64_t maxArrayCells = 8'000'000;
};

struct CellResult {
  enum class Status : std::uint8_t { Computed, NotComputed };
  Status status = Status::NotComputed;
  // Computed: a number, text, Boolean or error value (never blank, a reference or an array).
  Value value;
  // NotComputed: why ("function OFFSET", "circular reference", ...).
  std::string reason;

  bool Computed() const { return status == Status::Computed; }
};

class Interpreter;

class FormulaEvaluator {
 public:
  explicit FormulaEvaluator(CellSource& source, EvaluatorOptions options = {});
  ~FormulaEvaluator();
  FormulaEvaluator(const FormulaEvaluator&) = delete;
  FormulaEvaluator& operator=(const FormulaEvaluator&) = delete;

  // The value of a cell: a formula cell is computed (once); a plain cell gives its value
  // (blank as 0).
  CellResult EvaluateCell(int sheet, std::int32_t row, std::int32_t column);

  // A formula computed as if it stood in the given cell (not remembered).
  CellResult EvaluateFormula(std::string_view formula, int sheet, std::int32_t row,
                             std::int32_t column);

  // Forgets every computed value (after the workbook changed).
  void Clear();

  // Number of formula cells computed or given up so far.
  std::size_t FormulaCellCount() const;
  // Prepares for about that many formula cells.
  void Reserve(std::size_t formulaCells);

 private:
  std::unique_ptr<Interpreter> interpreter_;
};

// True when the formula's syntax and functions are all supported (its value may still depend
// on cells that are not); otherwise false with the reason.
bool IsFormulaSupported(std::string_view formula, std::string* reason = nullptr);

}  // namespace tabrix::xlsx::eval
