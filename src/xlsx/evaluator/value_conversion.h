// Conversions between formula values as the spreadsheet application makes them: numbers as text
// (15 significant digits), text read as a number (the forms a user may type: "1,000", "50%",
// "$12", "(3)", "2009-01-02", "1/2/2009", "12:30"), truth values, and the ordering of values
// in comparisons (numbers < texts < Booleans, texts without regard to case).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "xlsx/evaluator/formula_value.h"

namespace tabrix::xlsx::eval {

// A number or the error that prevented it.
struct NumberResult {
  double value = 0.0;
  ErrorCode error = ErrorCode::None;
  bool Ok() const { return error == ErrorCode::None; }
};

struct TextResult {
  std::string value;
  ErrorCode error = ErrorCode::None;
  bool Ok() const { return error == ErrorCode::None; }
};

struct BoolResult {
  bool value = false;
  ErrorCode error = ErrorCode::None;
  bool Ok() const { return error == ErrorCode::None; }
};

// The text of a number as "&", LEN, CONCATENATE and friends see it: up to 15 significant
// digits, no trailing zeros, scientific form ("1.23456789012346E+17") for large or tiny numbers.
std::string NumberToText(double number);

// A text read as typed input; nullopt when it is not a number, date or time.
std::optional<double> ParseNumberText(std::string_view text);

// Arithmetic operand: blank 0, Boolean 1/0, numeric text converted, other text #VALUE!.
NumberResult ToNumber(const ValueView& value);
// Text operand: blank "", numbers as NumberToText, Booleans "TRUE"/"FALSE".
TextResult ToText(const ValueView& value);
// Condition operand: numbers non-zero, blank FALSE, texts "TRUE"/"FALSE", other text #VALUE!.
BoolResult ToBoolean(const ValueView& value);

// The application's tolerant equality and sums: values equal to about 15 digits compare equal,
// and a sum of two nearly opposite values is exactly 0.
bool ApproxEqual(double a, double b);
double ApproxAdd(double a, double b);
double ApproxSub(double a, double b);

// Comparison of two plain values for the comparison operators: <0, 0, >0. A blank takes the
// type of the other side (0, "" or FALSE). Errors are not compared (the caller propagates them).
int CompareValues(const ValueView& a, const ValueView& b);

// Result of a number operation: infinite or NaN becomes #NUM!.
Value NumberOrError(double number);

}  // namespace tabrix::xlsx::eval
