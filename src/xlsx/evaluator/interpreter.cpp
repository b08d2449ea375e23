// Expression evaluation, cells computed on demand, references and arrays.
#include "xlsx/evaluator/interpreter.h"

#include <algorithm>
#include <cmath>

#include "xlsx/evaluator/date_serial.h"
#include "xlsx/evaluator/unicode_text.h"

namespace tabrix::xlsx::eval {
namespace {

// Depth of nested evaluation (in Eval calls) after which a formula cell that is still to be
// computed is deferred to the work list, and the depth at which a formula is given up.
constexpr int kDeferDepth = 300;
constexpr int kMaxDepth = 1200;

std::string CellName(std::int32_t row, std::int32_t column) {
  return platform::ColumnLetters(column) + std::to_string(row);
}

}  // namespace

class Interpreter::DepthGuard {
 public:
  explicit DepthGuard(Interpreter& interpreter) : interpreter_(interpreter) {
    if (++interpreter_.depth_ > kMaxDepth) {
      --interpreter_.depth_;
      interpreter_.Fail("formula nested too deeply");
    }
  }
  ~DepthGuard() { --interpreter_.depth_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;

 private:
  Interpreter& interpreter_;
};

Value ValueView::ToValue() const {
  switch (kind) {
    case Value::Kind::Number: return Value::Number(number);
    case Value::Kind::Text: return Value::Text(std::string(text));
    case Value::Kind::Boolean: return Value::Boolean(number != 0);
    case Value::Kind::Error: return Value::Error(error);
    default: return Value();
  }
}

Interpreter::Interpreter(CellSource& source, EvaluatorOptions options)
    : source_(source), options_(std::move(options)) {}

double Interpreter::Now() {
  if (options_.now) return *options_.now;
  if (!now_) now_ = NowSerial();
  return *now_;
}

void Interpreter::Clear() {
  memo_.clear();
  byId_.clear();
  failures_.clear();
  settled_ = 0;
  names_.clear();
  deferred_.clear();
  usedAreas_.clear();
  now_.reset();
}

// ---------------------------------------------------------------------------------------------
// Top-level requests

CellResult Interpreter::EvaluateCell(int sheet, std::int32_t row, std::int32_t column) {
  CellResult result;
  CellContent content = source_.GetCell(sheet, row, column);
  if (content.kind != CellContent::Kind::Formula) {
    Value value = ContentView(sheet, row, column, content, nullptr).ToValue();
    result.status = CellResult::Status::Computed;
    result.value = value.IsBlank() ? Value::Number(0) : value;
    return result;
  }
  // Most cells are computed at the first attempt.
  {
    depth_ = 0;
    try {
      const Slot& slot = FormulaCell(sheet, row, column, content);
      result.status = CellResult::Status::Computed;
      result.value = slot.value;
      return result;
    } catch (const NotComputable&) {
      result.reason = failure_;
      return result;
    } catch (const DeferredCell& needed) {
      // Cells whose computation was interrupted because the chain of cells they need is too
      // long wait below, each for the cell above it.
      SlotOf(sheet, row, column, content.formulaId).state = Slot::State::Waiting;
      deferred_.assign({{sheet, row, column}, needed});
    }
  }
  std::vector<DeferredCell>& work = deferred_;
  while (!work.empty()) {
    DeferredCell cell = work.back();
    CellContent cellContent = source_.GetCell(cell.sheet, cell.row, cell.column);
    Slot& slot = SlotOf(cell.sheet, cell.row, cell.column, cellContent.formulaId);
    if (slot.state == Slot::State::Waiting) slot.state = Slot::State::Unvisited;
    depth_ = 0;
    try {
      FormulaCell(cell.sheet, cell.row, cell.column, cellContent);
      work.pop_back();
    } catch (const DeferredCell& needed) {
      slot.state = Slot::State::Waiting;
      work.push_back(needed);
    } catch (const NotComputable&) {
      work.pop_back();
    }
  }
  const Slot& slot = SlotOf(sheet, row, column, content.formulaId);
  if (slot.state == Slot::State::Done) {
    result.status = CellResult::Status::Computed;
    result.value = slot.value;
  } else {
    result.reason = FailureOf(slot);
  }
  return result;
}

CellResult Interpreter::EvaluateFormula(std::string_view formula, int sheet, std::int32_t row,
                                        std::int32_t column) {
  CellResult result;
  FormulaAst ast = ParseFormula(formula);
  if (!ast.supported) {
    result.reason = ast.problem;
    return result;
  }
  Frame frame{sheet, row, column, false};
  // Cells the formula needs are computed first, so that its own evaluation stays shallow.
  for (;;) {
    depth_ = 0;
    try {
      result.value = Finalize(Eval(ast, ast.root, frame), frame);
      result.status = CellResult::Status::Computed;
      return result;
    } catch (const DeferredCell& needed) {
      CellResult inner = EvaluateCell(needed.sheet, needed.row, needed.column);
      if (!inner.Computed()) {
        result.reason = inner.reason;
        return result;
      }
    } catch (const NotComputable&) {
      result.reason = failure_;
      return result;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Cells

const Interpreter::Slot& Interpreter::FormulaCell(int sheet, std::int32_t row,
                                                  std::int32_t column,
                                                  const CellContent& content) {
  Slot& slot = SlotOf(sheet, row, column, content.formulaId);
  switch (slot.state) {
    case Slot::State::Done:
      return slot;
    case Slot::State::Failed:
      Fail(FailureOf(slot));
    case Slot::State::InProgress:
    case Slot::State::Waiting:
      Fail("circular reference through " + CellName(row, column));
    case Slot::State::Unvisited:
      break;
  }
  if (depth_ > kDeferDepth) {
    unwinding_ = Unwinding::Deferred;
    throw DeferredCell{sheet, row, column};
  }

  // While the formula is computed the cell is in progress; if the computation is abandoned
  // (an exception passes), the cell either failed for good (NotComputable) or is to be computed
  // again later (DeferredCell). Exceptions pass through without being caught and thrown again
  // at every cell of a long chain.
  struct Progress {
    Interpreter& in;
    Slot& slot;
    std::int32_t row, column;
    ~Progress() {
      if (slot.state != Slot::State::InProgress) return;
      if (in.unwinding_ == Unwinding::Deferred) {
        slot.state = Slot::State::Unvisited;
        return;
      }
      slot.state = Slot::State::Failed;
      ++in.settled_;
      if (in.failure_.find(" (in ") == std::string::npos) {
        // Cells that need this one report the first cell that could not be computed.
        in.failure_ += " (in " + CellName(row, column) + ")";
      }
      in.failures_[&slot] = in.failure_;
    }
  } progress{*this, slot, row, column};
  slot.state = Slot::State::InProgress;

  if (!content.evaluable) Fail("formula left to the reader");
  // Trees are reused from a pool with one tree per level of cells being computed.
  struct Level {
    Interpreter& in;
    FormulaAst& ast;
    explicit Level(Interpreter& i) : in(i), ast(i.AcquireTree()) {}
    ~Level() { --in.treesInUse_; }
  } level(*this);
  FormulaAst& ast = level.ast;
  ParseFormulaInto(content.text, ast);
  if (!ast.supported) Fail(ast.problem);
  slot.subtotal = ast.usesSubtotal;
  Frame frame{sheet, row, column, content.arrayFormula};
  slot.value = Finalize(Eval(ast, ast.root, frame), frame);
  slot.state = Slot::State::Done;
  ++settled_;
  return slot;
}

Interpreter::Slot& Interpreter::SlotOf(int sheet, std::int32_t row, std::int32_t column,
                                       std::uint32_t formulaId) {
  if (formulaId != CellContent::kNoFormulaId) {
    // Sized once, before any slot is handed out: slots never move.
    if (byId_.empty() && memo_.empty()) byId_.resize(source_.FormulaIdLimit());
    if (formulaId < byId_.size()) return byId_[formulaId];
  }
  return memo_[Key(sheet, row, column)];
}

const std::string& Interpreter::FailureOf(const Slot& slot) const {
  static const std::string kUnknown = "not computed";
  auto found = failures_.find(&slot);
  return found == failures_.end() ? kUnknown : found->second;
}

FormulaAst& Interpreter::AcquireTree() {
  if (treesInUse_ == trees_.size()) trees_.push_back(std::make_unique<FormulaAst>());
  return *trees_[treesInUse_++];
}

void Interpreter::Reserve(std::size_t formulaCells) { memo_.reserve(formulaCells); }

void Interpreter::Fail(std::string reason) {
  unwinding_ = Unwinding::Failure;
  failure_ = std::move(reason);
  throw NotComputable{};
}

ValueView Interpreter::ContentView(int sheet, std::int32_t row, std::int32_t column,
                                   const CellContent& content, bool* subtotal) {
  ValueView view;
  switch (content.kind) {
    case CellContent::Kind::Blank:
      break;
    case CellContent::Kind::Number:
      view.kind = Value::Kind::Number;
      view.number = content.number;
      break;
    case CellContent::Kind::Text:
      view.kind = Value::Kind::Text;
      view.text = content.text;
      break;
    case CellContent::Kind::Boolean:
      view.kind = Value::Kind::Boolean;
      view.number = content.number != 0 ? 1.0 : 0.0;
      break;
    case CellContent::Kind::Error:
      view.kind = Value::Kind::Error;
      view.error = content.error;
      break;
    case CellContent::Kind::Formula: {
      const Slot& slot = FormulaCell(sheet, row, column, content);
      if (subtotal) *subtotal = slot.subtotal;
      return ValueView(slot.value);
    }
  }
  if (subtotal) *subtotal = false;
  return view;
}

ValueView Interpreter::CellValue(int sheet, std::int32_t row, std::int32_t column) {
  return ContentView(sheet, row, column, source_.GetCell(sheet, row, column), nullptr);
}

void Interpreter::VisitArea(const Area& area, CellValueVisitor visit) {
  source_.VisitCells(area.sheet, area.rect,
                     [&](std::int32_t row, std::int32_t column, const CellContent& content) {
                       VisitedCell cell{row, column, {}, false};
                       cell.value = ContentView(area.sheet, row, column, content, &cell.subtotal);
                       return visit(cell);
                     });
}

// A formula's result as its cell holds it: references and arrays give one value, and a blank
// (an empty cell referred to, an omitted argument) gives 0.
Value Interpreter::Finalize(const Value& value, const Frame& frame) {
  Value scalar = ToScalar(value, frame);
  if (scalar.IsBlank()) return Value::Number(0);
  return scalar;
}

// ---------------------------------------------------------------------------------------------
// References and arrays

Value Interpreter::ToScalar(const Value& value, const Frame& frame) {
  if (value.IsArray()) {
    const Matrix& m = value.GetMatrix();
    if (m.rows == 0 || m.columns == 0) return Value::Error(ErrorCode::Value);
    return m.At(0, 0);
  }
  if (!value.IsReference()) return value;
  const Area& area = value.GetArea();
  const CellRect& r = area.rect;
  if (area.IsCell()) return CellValue(area.sheet, r.row1, r.col1).ToValue();
  // Implicit intersection with the formula's row (a column range) or column (a row range).
  if (r.col1 == r.col2 && frame.row >= r.row1 && frame.row <= r.row2)
    return CellValue(area.sheet, frame.row, r.col1).ToValue();
  if (r.row1 == r.row2 && frame.column >= r.col1 && frame.column <= r.col2)
    return CellValue(area.sheet, r.row1, frame.column).ToValue();
  return Value::Error(ErrorCode::Value);
}

Area Interpreter::Clipped(const Area& area) {
  Area clipped = area;
  bool wholeColumns = area.rect.row1 == 1 && area.rect.row2 == platform::kMaxRows;
  bool wholeRows = area.rect.col1 == 1 && area.rect.col2 == platform::kMaxColumns;
  if (!wholeColumns && !wholeRows) return clipped;
  auto found = usedAreas_.find(area.sheet);
  if (found == usedAreas_.end()) found = usedAreas_.emplace(area.sheet, source_.UsedArea(area.sheet)).first;
  const std::optional<CellRect>& used = found->second;
  if (wholeColumns) clipped.rect.row2 = used ? std::max(used->row2, 1) : 1;
  if (wholeRows) clipped.rect.col2 = used ? std::max(used->col2, 1) : 1;
  return clipped;
}

void Interpreter::ArrayShape(const Value& value, std::int32_t& rows, std::int32_t& columns) {
  if (value.IsArray()) {
    rows = value.GetMatrix().rows;
    columns = value.GetMatrix().columns;
  } else if (value.IsReference()) {
    Area area = Clipped(value.GetArea());
    rows = area.rect.Rows();
    columns = area.rect.Columns();
  } else {
    rows = columns = 1;
  }
}

ValueView Interpreter::ElementAt(const Value& value, std::int32_t r, std::int32_t c) {
  if (value.IsArray()) return ValueView(value.GetMatrix().At(r, c));
  if (value.IsReference()) {
    const Area& area = value.GetArea();
    return CellValue(area.sheet, area.rect.row1 + r, area.rect.col1 + c);
  }
  return ValueView(value);
}

bool Interpreter::VisitValues(const Value& value, FunctionRef<bool(const ValueView&)> visit) {
  if (value.IsArray()) {
    for (const Value& element : value.GetMatrix().cells)
      if (!visit(ValueView(element))) return false;
    return true;
  }
  bool completed = true;
  VisitArea(value.GetArea(), [&](const VisitedCell& cell) {
    completed = visit(cell.value);
    return completed;
  });
  return completed;
}

std::shared_ptr<const Matrix> Interpreter::ToMatrix(const Value& value) {
  if (value.IsArray()) {
    // Arrays are shared, never changed once built.
    struct Holder {
      Value value;
    };
    auto holder = std::make_shared<Holder>(Holder{value});
    return std::shared_ptr<const Matrix>(holder, &holder->value.GetMatrix());
  }
  if (!value.IsReference()) {
    auto m = std::make_shared<Matrix>(1, 1);
    m->At(0, 0) = value;
    return m;
  }
  Area area = Clipped(value.GetArea());
  if (area.CellCount() > options_.maxArrayCells) Fail("array too large");
  auto m = std::make_shared<Matrix>(area.rect.Rows(), area.rect.Columns());
  VisitArea(area, [&](const VisitedCell& cell) {
    m->At(cell.row - area.rect.row1, cell.column - area.rect.col1) = cell.value.ToValue();
    return true;
  });
  return m;
}

// ---------------------------------------------------------------------------------------------
// Expressions

int Interpreter::ResolveSheet(const FormulaAst& ast, const Node& node, const Frame& frame) {
  if (node.sheet < 0) return frame.sheet;
  return source_.FindSheet(ast.strings[static_cast<std::size_t>(node.sheet)]);
}

Value Interpreter::Eval(const FormulaAst& ast, std::uint32_t index, const Frame& frame) {
  DepthGuard guard(*this);
  const Node& node = ast.At(index);
  switch (node.type) {
    case Node::Type::Number:
      return Value::Number(node.number);
    case Node::Type::Text:
      return Value::Text(ast.strings[node.first]);
    case Node::Type::Boolean:
      return Value::Boolean(node.number != 0);
    case Node::Type::Error:
      return Value::Error(node.error);
    case Node::Type::Missing:
      return Value();
    case Node::Type::Reference:
      return EvalReference(ast, node, frame);
    case Node::Type::Name:
      return EvalName(ast, node, frame);
    case Node::Type::Unary:
      return EvalUnary(ast, node, frame);
    case Node::Type::Binary:
      return EvalBinary(ast, node, frame);
    case Node::Type::Function:
      return CallFunction(ast, node, frame);
    case Node::Type::Array:
      return EvalArrayConstant(ast, node);
  }
  return Value::Error(ErrorCode::Value);
}

Value Interpreter::EvalReference(const FormulaAst& ast, const Node& node, const Frame& frame) {
  int sheet = ResolveSheet(ast, node, frame);
  if (sheet < 0) return Value::Error(ErrorCode::Ref);
  return Value::Reference({sheet, node.rect});
}

Value Interpreter::EvalName(const FormulaAst& ast, const Node& node, const Frame& frame) {
  int scope = ResolveSheet(ast, node, frame);
  if (scope < 0) return Value::Error(ErrorCode::Ref);
  const std::string& name = ast.strings[node.first];
  std::string key = std::to_string(scope) + ":" + FoldCase(name);
  auto found = names_.find(key);
  if (found == names_.end()) {
    std::unique_ptr<FormulaAst> parsed;
    if (std::optional<std::string> text = source_.FindName(name, scope))
      parsed = std::make_unique<FormulaAst>(ParseFormula(*text));
    found = names_.emplace(std::move(key), std::move(parsed)).first;
  }
  const FormulaAst* definition = found->second.get();
  if (!definition) return Value::Error(ErrorCode::Name);
  if (!definition->supported) Fail("name " + name + ": " + definition->problem);
  Frame inner = frame;
  inner.sheet = scope;
  return Eval(*definition, definition->root, inner);
}

Value Interpreter::EvalArrayConstant(const FormulaAst& ast, const Node& node) {
  std::int32_t rows = node.rows;
  std::int32_t columns = rows > 0 ? node.count / rows : 0;
  auto m = std::make_shared<Matrix>(rows, columns);
  for (std::int32_t i = 0; i < node.count; ++i) {
    const Node& element = ast.At(ast.Child(node, static_cast<std::uint32_t>(i)));
    Value& out = m->cells[static_cast<std::size_t>(i)];
    switch (element.type) {
      case Node::Type::Number: out = Value::Number(element.number); break;
      case Node::Type::Text: out = Value::Text(ast.strings[element.first]); break;
      case Node::Type::Boolean: out = Value::Boolean(element.number != 0); break;
      case Node::Type::Error: out = Value::Error(element.error); break;
      default: break;
    }
  }
  return Value::Array(std::move(m));
}

namespace {

Value ApplyUnary(UnaryOp op, const ValueView& operand) {
  if (op == UnaryOp::Plus) return operand.ToValue();
  NumberResult n = ToNumber(operand);
  if (!n.Ok()) return Value::Error(n.error);
  return op == UnaryOp::Negate ? Value::Number(-n.value) : Value::Number(n.value / 100.0);
}

Value ApplyBinary(BinaryOp op, const ValueView& a, const ValueView& b) {
  switch (op) {
    case BinaryOp::Concat: {
      TextResult x = ToText(a);
      if (!x.Ok()) return Value::Error(x.error);
      TextResult y = ToText(b);
      if (!y.Ok()) return Value::Error(y.error);
      return Value::Text(x.value + y.value);
    }
    case BinaryOp::Equal:
    case BinaryOp::NotEqual:
    case BinaryOp::Less:
    case BinaryOp::LessEqual:
    case BinaryOp::Greater:
    case BinaryOp::GreaterEqual: {
      if (a.kind == Value::Kind::Error) return Value::Error(a.error);
      if (b.kind == Value::Kind::Error) return Value::Error(b.error);
      int c = CompareValues(a, b);
      switch (op) {
        case BinaryOp::Equal: return Value::Boolean(c == 0);
        case BinaryOp::NotEqual: return Value::Boolean(c != 0);
        case BinaryOp::Less: return Value::Boolean(c < 0);
        case BinaryOp::LessEqual: return Value::Boolean(c <= 0);
        case BinaryOp::Greater: return Value::Boolean(c > 0);
        default: return Value::Boolean(c >= 0);
      }
    }
    default:
      break;
  }
  NumberResult x = ToNumber(a);
  if (!x.Ok()) return Value::Error(x.error);
  NumberResult y = ToNumber(b);
  if (!y.Ok()) return Value::Error(y.error);
  switch (op) {
    case BinaryOp::Add: return NumberOrError(ApproxAdd(x.value, y.value));
    case BinaryOp::Subtract: return NumberOrError(ApproxSub(x.value, y.value));
    case BinaryOp::Multiply: return NumberOrError(x.value * y.value);
    case BinaryOp::Divide:
      if (y.value == 0) return Value::Error(ErrorCode::Div0);
      return NumberOrError(x.value / y.value);
    case BinaryOp::Power:
      if (x.value == 0 && y.value == 0) return Value::Error(ErrorCode::Num);
      if (x.value == 0 && y.value < 0) return Value::Error(ErrorCode::Div0);
      return NumberOrError(std::pow(x.value, y.value));
    default:
      return Value::Error(ErrorCode::Value);
  }
}

}  // namespace

Value Interpreter::EvalUnary(const FormulaAst& ast, const Node& node, const Frame& frame) {
  UnaryOp op = static_cast<UnaryOp>(node.op);
  Value operand = Eval(ast, ast.Child(node, 0), frame);
  if (frame.arrayMode && IsMulti(operand)) {
    std::int32_t rows, columns;
    ArrayShape(operand, rows, columns);
    if (static_cast<std::int64_t>(rows) * columns > options_.maxArrayCells)
      Fail("array too large");
    auto m = std::make_shared<Matrix>(rows, columns);
    for (std::int32_t r = 0; r < rows; ++r)
      for (std::int32_t c = 0; c < columns; ++c) m->At(r, c) = ApplyUnary(op, ElementAt(operand, r, c));
    return Value::Array(std::move(m));
  }
  if (op == UnaryOp::Plus) return operand;
  Value scalar = ToScalar(operand, frame);
  return ApplyUnary(op, ValueView(scalar));
}

Value Interpreter::EvalBinary(const FormulaAst& ast, const Node& node, const Frame& frame) {
  BinaryOp op = static_cast<BinaryOp>(node.op);
  Value left = Eval(ast, ast.Child(node, 0), frame);
  Value right = Eval(ast, ast.Child(node, 1), frame);
  if (op == BinaryOp::Range) {
    if (left.IsError()) return left;
    if (right.IsError()) return right;
    if (!left.IsReference() || !right.IsReference()) return Value::Error(ErrorCode::Value);
    const Area& a = left.GetArea();
    const Area& b = right.GetArea();
    if (a.sheet != b.sheet) return Value::Error(ErrorCode::Value);
    CellRect box{std::min(a.rect.row1, b.rect.row1), std::min(a.rect.col1, b.rect.col1),
                 std::max(a.rect.row2, b.rect.row2), std::max(a.rect.col2, b.rect.col2)};
    return Value::Reference({a.sheet, box});
  }
  if (frame.arrayMode && (IsMulti(left) || IsMulti(right))) {
    std::int32_t lr, lc, rr, rc;
    ArrayShape(left, lr, lc);
    ArrayShape(right, rr, rc);
    std::int32_t rows = std::max(lr, rr), columns = std::max(lc, rc);
    if (static_cast<std::int64_t>(rows) * columns > options_.maxArrayCells)
      Fail("array too large");
    auto m = std::make_shared<Matrix>(rows, columns);
    for (std::int32_t r = 0; r < rows; ++r) {
      for (std::int32_t c = 0; c < columns; ++c) {
        // A single row or column is repeated; other positions outside an operand are #N/A.
        std::int32_t ar = lr == 1 ? 0 : r, ac = lc == 1 ? 0 : c;
        std::int32_t br = rr == 1 ? 0 : r, bc = rc == 1 ? 0 : c;
        if (ar >= lr || ac >= lc || br >= rr || bc >= rc) {
          m->At(r, c) = Value::Error(ErrorCode::NA);
          continue;
        }
        ValueView a = ElementAt(left, ar, ac);
        Value aCopy;
        if (a.kind == Value::Kind::Text) {  // keep the text alive while the other side is read
          aCopy = a.ToValue();
          a = ValueView(aCopy);
        }
        m->At(r, c) = ApplyBinary(op, a, ElementAt(right, br, bc));
      }
    }
    return Value::Array(std::move(m));
  }
  Value a = ToScalar(left, frame);
  Value b = ToScalar(right, frame);
  return ApplyBinary(op, ValueView(a), ValueView(b));
}

// ---------------------------------------------------------------------------------------------
// Functions

Value Args::Raw(int i) const {
  if (i >= Count()) return Value();
  return interpreter_.Eval(ast_, ast_.Child(node_, static_cast<std::uint32_t>(i)), frame_);
}

Value Args::RawArray(int i) const {
  if (i >= Count()) return Value();
  Frame arrayFrame = frame_;
  arrayFrame.arrayMode = true;
  return interpreter_.Eval(ast_, ast_.Child(node_, static_cast<std::uint32_t>(i)), arrayFrame);
}

NumberResult Args::Number(int i) const {
  Value v = Scalar(i);
  return ToNumber(ValueView(v));
}

TextResult Args::Text(int i) const {
  Value v = Scalar(i);
  return ToText(ValueView(v));
}

BoolResult Args::Boolean(int i) const {
  Value v = Scalar(i);
  return ToBoolean(ValueView(v));
}

Value Interpreter::CallFunction(const FormulaAst& ast, const Node& node, const Frame& frame) {
  Args args(*this, ast, node, frame);
  FunctionId id = node.function;
  if (!IsScalarFunction(id)) {
    switch (id) {
      case FunctionId::SumIf:
      case FunctionId::SumIfs:
      case FunctionId::CountIf:
      case FunctionId::CountIfs:
      case FunctionId::AverageIf:
        return CallConditional(id, args);
      case FunctionId::If:
      case FunctionId::IfError:
      case FunctionId::And:
      case FunctionId::Or:
        return CallLogical(id, args);
      case FunctionId::VLookup:
      case FunctionId::HLookup:
      case FunctionId::Index:
      case FunctionId::Match:
      case FunctionId::Row:
      case FunctionId::Column:
        return CallLookup(id, args);
      default:
        return CallAggregate(id, args);
    }
  }

  // Functions of plain values; in array mode applied to each element of array arguments.
  const int count = node.count;
  const bool passErrors = ScalarFunctionPassesErrors(id);
  auto call = [&](Value* scalars) -> Value {
    if (!passErrors) {
      for (int i = 0; i < count; ++i)
        if (scalars[i].IsError()) return scalars[i];
    }
    return CallScalar(id, scalars, count, *this);
  };
  // Plain arguments of a plain formula, without an allocation.
  constexpr int kInline = 4;
  if (!frame.arrayMode && count <= kInline) {
    Value inline_[kInline];
    for (int i = 0; i < count; ++i) inline_[i] = ToScalar(args.Raw(i), frame);
    return call(inline_);
  }
  std::vector<Value> values(static_cast<std::size_t>(count));
  bool lift = false;
  for (int i = 0; i < count; ++i) {
    values[static_cast<std::size_t>(i)] = args.Raw(i);
    if (frame.arrayMode && IsMulti(values[static_cast<std::size_t>(i)])) lift = true;
  }
  if (!lift) {
    for (Value& v : values) v = ToScalar(v, frame);
    return call(values.data());
  }
  std::int32_t rows = 1, columns = 1;
  for (const Value& v : values) {
    if (!IsMulti(v)) continue;
    std::int32_t r, c;
    ArrayShape(v, r, c);
    rows = std::max(rows, r);
    columns = std::max(columns, c);
  }
  if (static_cast<std::int64_t>(rows) * columns > options_.maxArrayCells)
    Fail("array too large");
  std::vector<Value> scalars(values.size());
  auto m = std::make_shared<Matrix>(rows, columns);
  for (std::int32_t r = 0; r < rows; ++r) {
    for (std::int32_t c = 0; c < columns; ++c) {
      bool outside = false;
      for (std::size_t i = 0; i < values.size(); ++i) {
        const Value& v = values[i];
        if (!IsMulti(v)) {
          scalars[i] = ToScalar(v, frame);
          continue;
        }
        std::int32_t vr, vc;
        ArrayShape(v, vr, vc);
        std::int32_t er = vr == 1 ? 0 : r, ec = vc == 1 ? 0 : c;
        if (er >= vr || ec >= vc) {
          outside = true;
          break;
        }
        scalars[i] = ElementAt(v, er, ec).ToValue();
      }
      m->At(r, c) = outside ? Value::Error(ErrorCode::NA) : call(scalars.data());
    }
  }
  return Value::Array(std::move(m));
}

}  // namespace tabrix::xlsx::eval
