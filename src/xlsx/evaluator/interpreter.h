// The evaluator's machinery shared by its parts: expression evaluation, cell values computed on
// demand and remembered, references, arrays, and the argument access of worksheet functions.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "xlsx/evaluator/cell_source.h"
#include "xlsx/evaluator/formula_ast.h"
#include "xlsx/evaluator/formula_evaluator.h"
#include "xlsx/evaluator/value_conversion.h"

namespace tabrix::xlsx::eval {

// Where and how an expression is evaluated: the formula's cell (for implicit intersection, ROW()
// and COLUMN()) and whether ranges in operators and functions give arrays (array formulas and
// array arguments such as those of SUMPRODUCT).
struct Frame {
  int sheet = 0;
  std::int32_t row = 1, column = 1;
  bool arrayMode = false;
};

// Thrown (by Interpreter::Fail, which records the reason) when a formula cannot be computed
// exactly; the cell is left to the reader.
struct NotComputable {};

// Thrown when the chain of cells being computed gets too deep: the cell is computed first, then
// the interrupted one again.
struct DeferredCell {
  int sheet;
  std::int32_t row, column;
};

// One non-blank cell met while walking a reference.
struct VisitedCell {
  std::int32_t row, column;
  ValueView value;
  bool subtotal;  // a formula cell that calls SUBTOTAL
};
using CellValueVisitor = FunctionRef<bool(const VisitedCell&)>;

class Interpreter {
 public:
  Interpreter(CellSource& source, EvaluatorOptions options);

  CellSource& Source() { return source_; }
  const EvaluatorOptions& Options() const { return options_; }
  double Now();

  // Top-level requests (see FormulaEvaluator).
  CellResult EvaluateCell(int sheet, std::int32_t row, std::int32_t column);
  CellResult EvaluateFormula(std::string_view formula, int sheet, std::int32_t row,
                             std::int32_t column);
  void Clear();
  std::size_t FormulaCellCount() const { return settled_; }
  // Room for that many formula cells (saves rehashing).
  void Reserve(std::size_t formulaCells);

  // Gives up the formula being computed (and every formula that needs it).
  [[noreturn]] void Fail(std::string reason);

  // Evaluates a node; the result may be a reference or an array.
  Value Eval(const FormulaAst& ast, std::uint32_t node, const Frame& frame);

  // The value of one cell; formula cells are computed on demand. The view stays valid while
  // the evaluator lives (until Clear).
  ValueView CellValue(int sheet, std::int32_t row, std::int32_t column);
  // Every non-blank cell of an area, row by row.
  void VisitArea(const Area& area, CellValueVisitor visit);

  // A plain value: a reference by implicit intersection with the frame's row or column (a
  // single cell as it is), an array by its first element. Blank stays blank.
  Value ToScalar(const Value& value, const Frame& frame);
  // An array of the value: a reference's cells (whole columns and rows cut to the sheet's used
  // area), a plain value as 1 x 1.
  std::shared_ptr<const Matrix> ToMatrix(const Value& value);
  // Dimensions ToMatrix would give, without building it.
  void ArrayShape(const Value& value, std::int32_t& rows, std::int32_t& columns);
  // The element (r, c) of a reference or array (no bounds check beyond blank).
  ValueView ElementAt(const Value& value, std::int32_t r, std::int32_t c);
  // Area of a reference cut to the sheet's used area when it spans whole rows or columns.
  Area Clipped(const Area& area);

  // Every value of a reference (its non-blank cells) or an array (each element); false when
  // the visitor stopped the walk.
  bool VisitValues(const Value& value, FunctionRef<bool(const ValueView&)> visit);

  // True when the value is an array or a reference to more than one cell.
  static bool IsMulti(const Value& value) {
    return value.IsArray() || (value.IsReference() && !value.GetArea().IsCell());
  }

 private:
  struct Slot {
    enum class State : std::uint8_t { Unvisited, InProgress, Waiting, Done, Failed };
    State state = State::Unvisited;
    bool subtotal = false;
    Value value;
  };
  static std::uint64_t Key(int sheet, std::int32_t row, std::int32_t column) {
    return (static_cast<std::uint64_t>(sheet) << 40) | (static_cast<std::uint64_t>(row) << 16) |
           static_cast<std::uint64_t>(column);
  }

  const Slot& FormulaCell(int sheet, std::int32_t row, std::int32_t column,
                          const CellContent& content);
  // The slot of a formula cell: by its formula id when the source gives one, else by position.
  Slot& SlotOf(int sheet, std::int32_t row, std::int32_t column, std::uint32_t formulaId);
  const std::string& FailureOf(const Slot& slot) const;
  ValueView ContentView(int sheet, std::int32_t row, std::int32_t column,
                        const CellContent& content, bool* subtotal);
  Value Finalize(const Value& value, const Frame& frame);
  Value EvalReference(const FormulaAst& ast, const Node& node, const Frame& frame);
  Value EvalName(const FormulaAst& ast, const Node& node, const Frame& frame);
  Value EvalUnary(const FormulaAst& ast, const Node& node, const Frame& frame);
  Value EvalBinary(const FormulaAst& ast, const Node& node, const Frame& frame);
  Value EvalArrayConstant(const FormulaAst& ast, const Node& node);
  Value CallFunction(const FormulaAst& ast, const Node& node, const Frame& frame);
  int ResolveSheet(const FormulaAst& ast, const Node& node, const Frame& frame);
  FormulaAst& AcquireTree();

  CellSource& source_;
  EvaluatorOptions options_;
  std::optional<double> now_;
  std::unordered_map<std::uint64_t, Slot> memo_;   // slots of cells without a formula id
  std::vector<Slot> byId_;                          // slots by formula id (sized once)
  std::unordered_map<const Slot*, std::string> failures_;  // why a Failed slot failed
  std::size_t settled_ = 0;                         // slots Done or Failed
  std::unordered_map<std::string, std::unique_ptr<FormulaAst>> names_;
  std::unordered_map<int, std::optional<CellRect>> usedAreas_;
  std::vector<std::unique_ptr<FormulaAst>> trees_;  // parsed formulas, one per level in use
  std::size_t treesInUse_ = 0;
  std::vector<DeferredCell> deferred_;
  int depth_ = 0;  // nesting of Eval calls (bounded to protect the stack)
  enum class Unwinding : std::uint8_t { Failure, Deferred };
  Unwinding unwinding_ = Unwinding::Failure;  // what the exception in flight means
  std::string failure_;                       // the reason of the last NotComputable

  // Counts one level of Eval nesting for its lifetime; fails past the limit.
  class DepthGuard;
};

// The arguments of one function call, evaluated when asked for.
class Args {
 public:
  Args(Interpreter& interpreter, const FormulaAst& ast, const Node& node, const Frame& frame)
      : interpreter_(interpreter), ast_(ast), node_(node), frame_(frame) {}

  int Count() const { return node_.count; }
  bool IsMissing(int i) const {
    return i >= Count() || ast_.At(ast_.Child(node_, i)).type == Node::Type::Missing;
  }
  // Evaluated in the frame's mode (blank when omitted); may be a reference or an array.
  Value Raw(int i) const;
  // Evaluated with array semantics (ranges in operators give arrays).
  Value RawArray(int i) const;
  // A plain value (implicit intersection).
  Value Scalar(int i) const { return interpreter_.ToScalar(Raw(i), frame_); }
  NumberResult Number(int i) const;
  TextResult Text(int i) const;
  BoolResult Boolean(int i) const;

  Interpreter& Interp() const { return interpreter_; }
  const Frame& GetFrame() const { return frame_; }
  const FormulaAst& Ast() const { return ast_; }
  const Node& GetNode() const { return node_; }

 private:
  Interpreter& interpreter_;
  const FormulaAst& ast_;
  const Node& node_;
  const Frame& frame_;
};

// Worksheet functions, by family (functions_*.cpp).
Value CallAggregate(FunctionId id, Args& args);      // SUM, COUNT, ..., SUBTOTAL, SUMPRODUCT
Value CallConditional(FunctionId id, Args& args);    // SUMIF(S), COUNTIF(S), AVERAGEIF
Value CallLogical(FunctionId id, Args& args);        // IF, IFERROR, AND, OR
Value CallLookup(FunctionId id, Args& args);         // VLOOKUP, HLOOKUP, INDEX, MATCH, ROW, COLUMN
// Functions of plain values (numbers, text, dates, information): applied element by element to
// arrays in array mode.
bool IsScalarFunction(FunctionId id);
Value CallScalar(FunctionId id, const Value* args, int count, Interpreter& interpreter);
bool ScalarFunctionPassesErrors(FunctionId id);  // IS... functions look at error arguments

}  // namespace tabrix::xlsx::eval
