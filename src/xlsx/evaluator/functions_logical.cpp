// IF, IFERROR, AND, OR.
#include "xlsx/evaluator/interpreter.h"

namespace tabrix::xlsx::eval {
namespace {

// Element (r, c) of a possibly multi-cell value, broadcasting single rows and columns; false
// when the position lies outside it.
bool Broadcast(Interpreter& in, const Value& v, const Frame& frame, std::int32_t r, std::int32_t c,
               Value& out) {
  if (!Interpreter::IsMulti(v)) {
    out = in.ToScalar(v, frame);
    return true;
  }
  std::int32_t rows, columns;
  in.ArrayShape(v, rows, columns);
  std::int32_t er = rows == 1 ? 0 : r, ec = columns == 1 ? 0 : c;
  if (er >= rows || ec >= columns) return false;
  out = in.ElementAt(v, er, ec).ToValue();
  return true;
}

void Shape(Interpreter& in, const Value& v, std::int32_t& rows, std::int32_t& columns) {
  if (!Interpreter::IsMulti(v)) return;
  std::int32_t r, c;
  in.ArrayShape(v, r, c);
  rows = std::max(rows, r);
  columns = std::max(columns, c);
}

Value If(Args& args) {
  Interpreter& in = args.Interp();
  const Frame& frame = args.GetFrame();
  Value condition = args.Raw(0);
  if (frame.arrayMode && Interpreter::IsMulti(condition)) {
    // Each element chooses between the matching elements of both branches.
    Value whenTrue = args.Count() >= 2 ? args.Raw(1) : Value::Boolean(true);
    Value whenFalse = args.Count() >= 3 ? args.Raw(2) : Value::Boolean(false);
    std::int32_t rows = 1, columns = 1;
    Shape(in, condition, rows, columns);
    Shape(in, whenTrue, rows, columns);
    Shape(in, whenFalse, rows, columns);
    if (static_cast<std::int64_t>(rows) * columns > in.Options().maxArrayCells)
      in.Fail("array too large");
    auto m = std::make_shared<Matrix>(rows, columns);
    for (std::int32_t r = 0; r < rows; ++r) {
      for (std::int32_t c = 0; c < columns; ++c) {
        Value cond, chosen;
        if (!Broadcast(in, condition, frame, r, c, cond)) {
          m->At(r, c) = Value::Error(ErrorCode::NA);
          continue;
        }
        BoolResult b = ToBoolean(ValueView(cond));
        if (!b.Ok()) {
          m->At(r, c) = Value::Error(b.error);
          continue;
        }
        if (!Broadcast(in, b.value ? whenTrue : whenFalse, frame, r, c, chosen)) {
          m->At(r, c) = Value::Error(ErrorCode::NA);
          continue;
        }
        m->At(r, c) = chosen.IsBlank() ? Value::Number(0) : chosen;
      }
    }
    return Value::Array(std::move(m));
  }
  Value scalar = in.ToScalar(condition, frame);
  BoolResult b = ToBoolean(ValueView(scalar));
  if (!b.Ok()) return Value::Error(b.error);
  if (b.value) {
    if (args.Count() < 2) return Value::Boolean(true);
    return args.IsMissing(1) ? Value::Number(0) : args.Raw(1);
  }
  if (args.Count() < 3) return Value::Boolean(false);
  return args.IsMissing(2) ? Value::Number(0) : args.Raw(2);
}

Value IfError(Args& args) {
  Interpreter& in = args.Interp();
  const Frame& frame = args.GetFrame();
  Value value = args.Raw(0);
  if (frame.arrayMode && Interpreter::IsMulti(value)) {
    Value fallback = args.Raw(1);
    std::int32_t rows = 1, columns = 1;
    Shape(in, value, rows, columns);
    auto m = std::make_shared<Matrix>(rows, columns);
    for (std::int32_t r = 0; r < rows; ++r) {
      for (std::int32_t c = 0; c < columns; ++c) {
        Value v;
        Broadcast(in, value, frame, r, c, v);
        if (v.IsError() && !Broadcast(in, fallback, frame, r, c, v)) v = Value::Error(ErrorCode::NA);
        m->At(r, c) = v.IsBlank() ? Value::Number(0) : v;
      }
    }
    return Value::Array(std::move(m));
  }
  Value scalar = in.ToScalar(value, frame);
  if (!scalar.IsError()) return scalar;
  return args.IsMissing(1) ? Value::Number(0) : args.Raw(1);
}

// AND / OR: Booleans and numbers count; texts and blanks in references are skipped.
Value AndOr(Args& args, bool isAnd) {
  bool any = false;
  bool result = isAnd;
  ErrorCode error = ErrorCode::None;
  auto take = [&](const ValueView& v) {
    if (v.kind == Value::Kind::Error) {
      error = v.error;
      return false;
    }
    if (v.kind == Value::Kind::Number || v.kind == Value::Kind::Boolean) {
      any = true;
      bool b = v.number != 0;
      result = isAnd ? (result && b) : (result || b);
    }
    return true;
  };
  for (int i = 0; i < args.Count() && error == ErrorCode::None; ++i) {
    if (args.IsMissing(i)) continue;
    Value v = args.Raw(i);
    if (v.IsReference() || v.IsArray()) {
      args.Interp().VisitValues(v, take);
      continue;
    }
    if (v.IsText()) {
      BoolResult b = ToBoolean(ValueView(v));
      if (!b.Ok()) return Value::Error(b.error);
      v = Value::Boolean(b.value);
    }
    take(ValueView(v));
  }
  if (error != ErrorCode::None) return Value::Error(error);
  if (!any) return Value::Error(ErrorCode::Value);
  return Value::Boolean(result);
}

}  // namespace

Value CallLogical(FunctionId id, Args& args) {
  switch (id) {
    case FunctionId::If: return If(args);
    case FunctionId::IfError: return IfError(args);
    case FunctionId::And: return AndOr(args, true);
    default: return AndOr(args, false);
  }
}

}  // namespace tabrix::xlsx::eval
