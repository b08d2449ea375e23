// The evaluator's public face over the interpreter.
#include "xlsx/evaluator/formula_evaluator.h"

#include "xlsx/evaluator/interpreter.h"

namespace tabrix::xlsx::eval {

FormulaEvaluator::FormulaEvaluator(CellSource& source, EvaluatorOptions options)
    : interpreter_(std::make_unique<Interpreter>(source, std::move(options))) {}

FormulaEvaluator::~FormulaEvaluator() = default;

CellResult FormulaEvaluator::EvaluateCell(int sheet, std::int32_t row, std::int32_t column) {
  return interpreter_->EvaluateCell(sheet, row, column);
}

CellResult FormulaEvaluator::EvaluateFormula(std::string_view formula, int sheet,
                                             std::int32_t row, std::int32_t column) {
  return interpreter_->EvaluateFormula(formula, sheet, row, column);
}

void FormulaEvaluator::Clear() { interpreter_->Clear(); }

std::size_t FormulaEvaluator::FormulaCellCount() const {
  return interpreter_->FormulaCellCount();
}

void FormulaEvaluator::Reserve(std::size_t formulaCells) { interpreter_->Reserve(formulaCells); }

bool IsFormulaSupported(std::string_view formula, std::string* reason) {
  FormulaAst ast = ParseFormula(formula);
  if (!ast.supported && reason) *reason = ast.problem;
  return ast.supported;
}

}  // namespace tabrix::xlsx::eval
