// A formula parsed into a compact tree: one vector of nodes, children listed by index. Formulas
// are A1 style as stored in .xlsx parts, without the leading "=".
//
// Anything the evaluator cannot compute exactly (an unknown function, a 3-D or external
// reference, a structured reference, the intersection or union operator, a syntax it does not
// know) makes the formula unsupported: its cell is left to the reader to recalculate.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "xlsx/evaluator/formula_value.h"
#include "xlsx/evaluator/function_table.h"

namespace tabrix::xlsx::eval {

enum class UnaryOp : std::uint8_t { Negate, Plus, Percent };
enum class BinaryOp : std::uint8_t {
  Add, Subtract, Multiply, Divide, Power, Concat,
  Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual,
  Range,
};

struct Node {
  enum class Type : std::uint8_t {
    Number,     // number
    Text,       // strings[first]
    Boolean,    // number 1/0
    Error,      // error
    Missing,    // an omitted argument: F(a,,b)
    Reference,  // rect on sheet `sheet` (-1: the formula's own sheet)
    Name,       // defined name strings[first], optionally scoped to sheet `sheet`
    Unary,      // op, children[first]
    Binary,     // op, children[first], children[first + 1]
    Function,   // function, `count` arguments from children[first]
    Array,      // `rows` x (count / rows) constants from children[first], row by row
  };
  Type type = Type::Missing;
  std::uint8_t op = 0;
  std::uint16_t count = 0;
  FunctionId function = FunctionId::Sum;
  ErrorCode error = ErrorCode::None;
  std::int32_t sheet = -1;  // index into strings: the sheet named by a prefix
  std::uint32_t first = 0;
  std::int32_t rows = 0;
  double number = 0.0;
  CellRect rect;
};

struct FormulaAst {
  std::vector<Node> nodes;
  std::vector<std::uint32_t> children;
  std::vector<std::string> strings;
  std::uint32_t root = 0;
  bool supported = true;
  std::string problem;         // why the formula is not supported
  bool usesSubtotal = false;   // calls SUBTOTAL (such cells are left out of other subtotals)
  bool isVolatile = false;     // calls TODAY or NOW

  const Node& At(std::uint32_t index) const { return nodes[index]; }
  std::uint32_t Child(const Node& node, std::uint32_t i) const { return children[node.first + i]; }
};

// Parses a formula; never throws. An unsupported formula has `supported` false and a reason.
FormulaAst ParseFormula(std::string_view formula);
// The same into an existing tree, reusing its storage (for parsing many formulas).
void ParseFormulaInto(std::string_view formula, FormulaAst& ast);

}  // namespace tabrix::xlsx::eval
