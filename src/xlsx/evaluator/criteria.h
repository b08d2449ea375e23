// The criteria of SUMIF, COUNTIF, AVERAGEIF, SUMIFS and COUNTIFS: a value to match (5, "x",
// TRUE) or a text with a comparison in front (">5", "<>x", "=", "<=2009-01-31"), texts
// compared without regard to case and with wildcards ("a*", "?b", "~*").
#pragma once

#include <string>

#include "xlsx/evaluator/formula_value.h"

namespace tabrix::xlsx::eval {

class Criterion {
 public:
  // The criterion a criteria argument (a plain value; a blank criteria cell means 0) stands for.
  explicit Criterion(const ValueView& criteria);

  bool Matches(const ValueView& value) const;
  // Whether a blank cell matches (then ranges cannot be walked by their non-blank cells only).
  bool MatchesBlank() const { return matchesBlank_; }

 private:
  enum class Op { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual };
  enum class Operand { Number, Text, Boolean, Error, Empty };

  bool Compare(int comparison) const;

  Op op_ = Op::Equal;
  Operand operand_ = Operand::Empty;
  double number_ = 0;
  ErrorCode error_ = ErrorCode::None;
  std::string text_;       // the operand as written (numbers too: "5" also matches text "5")
  bool wildcards_ = false;
  bool matchesBlank_ = false;
};

}  // namespace tabrix::xlsx::eval
