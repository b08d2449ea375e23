// Recalculation before saving: every formula of the workbook is computed by the formula
// evaluator and its result stored as the cell's cached value, so that programs reading cached
// values (and the engine's own text formats) see right totals. A formula the evaluator cannot
// compute exactly keeps no cached value and is marked for recalculation by the reader (ca="1");
// the workbook always asks readers to recalculate on load as well.
#pragma once

#include <cstddef>
#include <string>

#include "xlsx/evaluator/formula_evaluator.h"

namespace tabrix::xlsx {

class XlsxWorkbook;

struct RecalculationSummary {
  std::size_t formulas = 0;      // formula cells of the workbook
  std::size_t computed = 0;      // computed and stored
  std::size_t leftToReader = 0;  // not computable here
  std::string firstProblem;      // reason of the first formula left to the reader
};

RecalculationSummary RecalculateFormulas(XlsxWorkbook& book,
                                         const eval::EvaluatorOptions& options = {});

}  // namespace tabrix::xlsx
