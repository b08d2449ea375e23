// Functions of plain values: rounding, information, text and dates.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "xlsx/evaluator/date_serial.h"
#include "xlsx/evaluator/interpreter.h"
#include "xlsx/evaluator/unicode_text.h"
#include "xlsx/number_format/number_format.h"

namespace tabrix::xlsx::eval {
namespace {

enum class Rounding { Nearest, AwayFromZero, TowardZero };

// Rounds to `digits` decimals (negative: to tens, hundreds, ...) the way the application does:
// on the number's 15-significant-digit decimal form, so ROUND(2.675, 2) is 2.68 and
// ROUNDUP(1.1*3, 1) is 3.3.
double RoundDecimal(double x, int digits, Rounding mode) {
  if (!std::isfinite(x) || x == 0) return x;
  if (digits > 300) return x;
  if (digits < -308) return 0;
  // Fast path: away from a tie (or from a whole number for the directed modes) the binary
  // value rounds the same way as its decimal form.
  if (digits >= 0 && digits <= 15) {
    double scale = std::pow(10.0, digits);
    double y = std::fabs(x) * scale;
    if (y < 4.0e15) {
      double whole = std::floor(y);
      double fraction = y - whole;
      bool safe = mode == Rounding::Nearest ? std::fabs(fraction - 0.5) > 1e-6
                                            : fraction > 1e-6 && fraction < 1 - 1e-6;
      if (fraction == 0) return x;
      if (safe) {
        bool up = mode == Rounding::Nearest ? fraction > 0.5 : mode == Rounding::AwayFromZero;
        double r = (whole + (up ? 1 : 0)) / scale;
        return x < 0 ? -r : r;
      }
    }
  }
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(x));
  // d.dddddddddddddde[+-]xx: 15 significant digits, value = 0.d... x 10^(exponent + 1).
  char decimals[15];
  decimals[0] = buffer[0];
  for (int i = 1; i < 15; ++i) decimals[i] = buffer[i + 1];
  int exponent = std::atoi(buffer + 17);
  int keep = exponent + 1 + digits;  // significant digits left of the rounding position
  if (keep >= 15) return x;
  bool up = false;
  long long kept = 0;
  if (keep >= 0) {
    for (int i = 0; i < keep; ++i) kept = kept * 10 + (decimals[i] - '0');
    if (mode == Rounding::Nearest) {
      up = decimals[keep] >= '5';
    } else if (mode == Rounding::AwayFromZero) {
      for (int i = keep; i < 15; ++i)
        if (decimals[i] != '0') up = true;
    }
  } else if (mode == Rounding::AwayFromZero) {
    up = true;  // every digit lies below the rounding position and x is not 0
  }
  if (up) ++kept;
  double r = digits >= 0 ? static_cast<double>(kept) / std::pow(10.0, digits)
                         : static_cast<double>(kept) * std::pow(10.0, -digits);
  return x < 0 ? -r : r;
}

// Floor after taking the number to 15 significant digits (INT(2.9999999999999996) is 3).
double ApproxFloor(double x) {
  double nearest = std::round(x);
  if (ApproxEqual(x, nearest)) return nearest;
  return std::floor(x);
}

Value RoundFunction(const Value* args, Rounding mode) {
  NumberResult x = ToNumber(ValueView(args[0]));
  if (!x.Ok()) return Value::Error(x.error);
  NumberResult d = ToNumber(ValueView(args[1]));
  if (!d.Ok()) return Value::Error(d.error);
  double digits = std::trunc(d.value);
  if (digits > 400) digits = 400;
  if (digits < -400) digits = -400;
  return NumberOrError(RoundDecimal(x.value, static_cast<int>(digits), mode));
}

Value Mod(const Value* args) {
  NumberResult a = ToNumber(ValueView(args[0]));
  if (!a.Ok()) return Value::Error(a.error);
  NumberResult b = ToNumber(ValueView(args[1]));
  if (!b.Ok()) return Value::Error(b.error);
  if (b.value == 0) return Value::Error(ErrorCode::Div0);
  double quotient = a.value / b.value;
  if (!std::isfinite(quotient) || std::fabs(quotient) >= 4503599627370496.0)
    return Value::Error(ErrorCode::Num);
  double r = ApproxSub(a.value, b.value * ApproxFloor(quotient));
  // The result lies between 0 and the divisor; what rounding pushes outside is 0.
  bool inside = b.value > 0 ? (r >= 0 && r < b.value) : (r <= 0 && r > b.value);
  return NumberOrError(inside ? r : 0.0);
}

// Whole number of characters for LEFT, RIGHT and MID; #VALUE! when negative.
bool CharacterCountArg(const Value& arg, double& out, ErrorCode& error) {
  NumberResult n = ToNumber(ValueView(arg));
  if (!n.Ok()) {
    error = n.error;
    return false;
  }
  out = std::trunc(n.value);
  if (out < 0) {
    error = ErrorCode::Value;
    return false;
  }
  return true;
}

Value LeftRight(const Value* args, int count, bool left) {
  TextResult text = ToText(ValueView(args[0]));
  if (!text.Ok()) return Value::Error(text.error);
  double n = 1;
  ErrorCode error = ErrorCode::None;
  if (count > 1 && !CharacterCountArg(args[1], n, error)) return Value::Error(error);
  std::size_t length = CharacterCount(text.value);
  std::size_t take = n >= static_cast<double>(length) ? length : static_cast<std::size_t>(n);
  return Value::Text(std::string(CharacterSlice(text.value, left ? 0 : length - take, take)));
}

Value Mid(const Value* args) {
  TextResult text = ToText(ValueView(args[0]));
  if (!text.Ok()) return Value::Error(text.error);
  NumberResult start = ToNumber(ValueView(args[1]));
  if (!start.Ok()) return Value::Error(start.error);
  double first = std::trunc(start.value);
  if (first < 1) return Value::Error(ErrorCode::Value);
  double n = 0;
  ErrorCode error = ErrorCode::None;
  if (!CharacterCountArg(args[2], n, error)) return Value::Error(error);
  std::size_t length = CharacterCount(text.value);
  if (first > static_cast<double>(length)) return Value::Text("");
  std::size_t from = static_cast<std::size_t>(first) - 1;
  std::size_t take = n >= static_cast<double>(length) ? length : static_cast<std::size_t>(n);
  return Value::Text(std::string(CharacterSlice(text.value, from, take)));
}

Value Trim(const Value* args) {
  TextResult text = ToText(ValueView(args[0]));
  if (!text.Ok()) return Value::Error(text.error);
  std::string out;
  out.reserve(text.value.size());
  bool pendingSpace = false;
  for (char c : text.value) {
    if (c == ' ') {
      pendingSpace = !out.empty();
      continue;
    }
    if (pendingSpace) out += ' ';
    pendingSpace = false;
    out += c;
  }
  return Value::Text(std::move(out));
}

Value TextFunction(const Value* args) {
  TextResult code = ToText(ValueView(args[1]));
  if (!code.Ok()) return Value::Error(code.error);
  const Value& v = args[0];
  switch (v.GetKind()) {
    case Value::Kind::Boolean:
      return Value::Text(v.Bool() ? "TRUE" : "FALSE");
    case Value::Kind::Text: {
      std::optional<double> n = ParseNumberText(v.Text());
      if (!n) return Value::Text(FormatText(v.Text(), code.value));
      return Value::Text(FormatNumber(*n, code.value));
    }
    default:
      return Value::Text(FormatNumber(v.Number(), code.value));
  }
}

Value ValueFunction(const Value* args) {
  const Value& v = args[0];
  switch (v.GetKind()) {
    case Value::Kind::Number: return v;
    case Value::Kind::Blank: return Value::Number(0);
    case Value::Kind::Text: {
      std::optional<double> n = ParseNumberText(v.Text());
      return n ? Value::Number(*n) : Value::Error(ErrorCode::Value);
    }
    default: return Value::Error(ErrorCode::Value);
  }
}

Value DatePart(const Value* args, FunctionId id) {
  NumberResult serial = ToNumber(ValueView(args[0]));
  if (!serial.Ok()) return Value::Error(serial.error);
  std::optional<CivilDate> date = SerialToDate(serial.value);
  if (!date) return Value::Error(ErrorCode::Num);
  switch (id) {
    case FunctionId::Year: return Value::Number(date->year);
    case FunctionId::Month: return Value::Number(date->month);
    default: return Value::Number(date->day);
  }
}

}  // namespace

bool IsScalarFunction(FunctionId id) {
  switch (id) {
    case FunctionId::Round: case FunctionId::RoundUp: case FunctionId::RoundDown:
    case FunctionId::Int: case FunctionId::Abs: case FunctionId::Mod:
    case FunctionId::Not: case FunctionId::True: case FunctionId::False:
    case FunctionId::IsBlank: case FunctionId::IsNumber: case FunctionId::IsError:
    case FunctionId::IsErr: case FunctionId::IsNa: case FunctionId::IsText:
    case FunctionId::IsNonText: case FunctionId::IsLogical: case FunctionId::Na:
    case FunctionId::Text: case FunctionId::Left: case FunctionId::Right: case FunctionId::Mid:
    case FunctionId::Len: case FunctionId::Upper: case FunctionId::Lower: case FunctionId::Trim:
    case FunctionId::Concatenate: case FunctionId::ValueOf:
    case FunctionId::Date: case FunctionId::Year: case FunctionId::Month: case FunctionId::Day:
    case FunctionId::Today: case FunctionId::Now:
      return true;
    default:
      return false;
  }
}

bool ScalarFunctionPassesErrors(FunctionId id) {
  switch (id) {
    case FunctionId::IsBlank: case FunctionId::IsNumber: case FunctionId::IsError:
    case FunctionId::IsErr: case FunctionId::IsNa: case FunctionId::IsText:
    case FunctionId::IsNonText: case FunctionId::IsLogical:
      return true;
    default:
      return false;
  }
}

Value CallScalar(FunctionId id, const Value* args, int count, Interpreter& interpreter) {
  switch (id) {
    case FunctionId::Round: return RoundFunction(args, Rounding::Nearest);
    case FunctionId::RoundUp: return RoundFunction(args, Rounding::AwayFromZero);
    case FunctionId::RoundDown: return RoundFunction(args, Rounding::TowardZero);
    case FunctionId::Int: {
      NumberResult x = ToNumber(ValueView(args[0]));
      return x.Ok() ? Value::Number(ApproxFloor(x.value)) : Value::Error(x.error);
    }
    case FunctionId::Abs: {
      NumberResult x = ToNumber(ValueView(args[0]));
      return x.Ok() ? Value::Number(std::fabs(x.value)) : Value::Error(x.error);
    }
    case FunctionId::Mod: return Mod(args);
    case FunctionId::Not: {
      BoolResult b = ToBoolean(ValueView(args[0]));
      return b.Ok() ? Value::Boolean(!b.value) : Value::Error(b.error);
    }
    case FunctionId::True: return Value::Boolean(true);
    case FunctionId::False: return Value::Boolean(false);
    case FunctionId::IsBlank: return Value::Boolean(args[0].IsBlank());
    case FunctionId::IsNumber: return Value::Boolean(args[0].IsNumber());
    case FunctionId::IsError: return Value::Boolean(args[0].IsError());
    case FunctionId::IsErr:
      return Value::Boolean(args[0].IsError() && args[0].Error() != ErrorCode::NA);
    case FunctionId::IsNa:
      return Value::Boolean(args[0].IsError() && args[0].Error() == ErrorCode::NA);
    case FunctionId::IsText: return Value::Boolean(args[0].IsText());
    case FunctionId::IsNonText: return Value::Boolean(!args[0].IsText());
    case FunctionId::IsLogical: return Value::Boolean(args[0].IsBoolean());
    case FunctionId::Na: return Value::Error(ErrorCode::NA);
    case FunctionId::Text: return TextFunction(args);
    case FunctionId::Left: return LeftRight(args, count, true);
    case FunctionId::Right: return LeftRight(args, count, false);
    case FunctionId::Mid: return Mid(args);
    case FunctionId::Len: {
      TextResult t = ToText(ValueView(args[0]));
      return t.Ok() ? Value::Number(static_cast<double>(CharacterCount(t.value)))
                    : Value::Error(t.error);
    }
    case FunctionId::Upper:
    case FunctionId::Lower: {
      TextResult t = ToText(ValueView(args[0]));
      if (!t.Ok()) return Value::Error(t.error);
      return Value::Text(id == FunctionId::Upper ? ToUpperText(t.value) : ToLowerText(t.value));
    }
    case FunctionId::Trim: return Trim(args);
    case FunctionId::Concatenate: {
      std::string out;
      for (int i = 0; i < count; ++i) {
        TextResult t = ToText(ValueView(args[i]));
        if (!t.Ok()) return Value::Error(t.error);
        out += t.value;
      }
      return Value::Text(std::move(out));
    }
    case FunctionId::ValueOf: return ValueFunction(args);
    case FunctionId::Date: {
      double parts[3];
      for (int i = 0; i < 3; ++i) {
        NumberResult n = ToNumber(ValueView(args[i]));
        if (!n.Ok()) return Value::Error(n.error);
        parts[i] = n.value;
      }
      std::optional<double> serial = DateSerial(parts[0], parts[1], parts[2]);
      return serial ? Value::Number(*serial) : Value::Error(ErrorCode::Num);
    }
    case FunctionId::Year:
    case FunctionId::Month:
    case FunctionId::Day:
      return DatePart(args, id);
    case FunctionId::Today: return Value::Number(std::floor(interpreter.Now()));
    case FunctionId::Now: return Value::Number(interpreter.Now());
    default:
      return Value::Error(ErrorCode::Value);
  }
}

}  // namespace tabrix::xlsx::eval
