// Criteria of the conditional aggregates.
#include "xlsx/evaluator/criteria.h"

#include "xlsx/evaluator/unicode_text.h"
#include "xlsx/evaluator/value_conversion.h"

namespace tabrix::xlsx::eval {

Criterion::Criterion(const ValueView& criteria) {
  switch (criteria.kind) {
    case Value::Kind::Number:
      operand_ = Operand::Number;
      number_ = criteria.number;
      break;
    case Value::Kind::Boolean:
      operand_ = Operand::Boolean;
      number_ = criteria.number;
      break;
    case Value::Kind::Blank:  // a blank criteria cell stands for 0
      operand_ = Operand::Number;
      break;
    case Value::Kind::Error:
      operand_ = Operand::Error;
      error_ = criteria.error;
      break;
    default: {
      std::string_view text = criteria.text;
      bool explicitEqual = false;
      if (text.substr(0, 2) == "<=") op_ = Op::LessEqual, text.remove_prefix(2);
      else if (text.substr(0, 2) == ">=") op_ = Op::GreaterEqual, text.remove_prefix(2);
      else if (text.substr(0, 2) == "<>") op_ = Op::NotEqual, text.remove_prefix(2);
      else if (text.substr(0, 1) == "<") op_ = Op::Less, text.remove_prefix(1);
      else if (text.substr(0, 1) == ">") op_ = Op::Greater, text.remove_prefix(1);
      else if (text.substr(0, 1) == "=") op_ = Op::Equal, text.remove_prefix(1), explicitEqual = true;
      text_ = std::string(text);
      if (text.empty()) {
        operand_ = Operand::Empty;
        // "=" asks for blank cells only; an empty criterion also for cells showing "".
        wildcards_ = !explicitEqual;
      } else if (std::optional<double> n = ParseNumberText(text)) {
        operand_ = Operand::Number;
        number_ = *n;
      } else if (EqualsNoCase(text, "TRUE") || EqualsNoCase(text, "FALSE")) {
        operand_ = Operand::Boolean;
        number_ = EqualsNoCase(text, "TRUE") ? 1.0 : 0.0;
      } else if (std::optional<ErrorCode> e = ParseErrorText(text)) {
        operand_ = Operand::Error;
        error_ = *e;
      } else {
        operand_ = Operand::Text;
        wildcards_ = (op_ == Op::Equal || op_ == Op::NotEqual) && HasWildcards(text);
      }
    }
  }
  matchesBlank_ = Matches(ValueView());
}

bool Criterion::Compare(int comparison) const {
  switch (op_) {
    case Op::Equal: return comparison == 0;
    case Op::NotEqual: return comparison != 0;
    case Op::Less: return comparison < 0;
    case Op::LessEqual: return comparison <= 0;
    case Op::Greater: return comparison > 0;
    case Op::GreaterEqual: return comparison >= 0;
  }
  return false;
}

bool Criterion::Matches(const ValueView& v) const {
  // Values of another kind than the operand only satisfy "<>".
  const bool otherKind = op_ == Op::NotEqual;
  switch (operand_) {
    case Operand::Empty:
      if (op_ == Op::Equal)
        return v.kind == Value::Kind::Blank ||
               (wildcards_ && v.kind == Value::Kind::Text && v.text.empty());
      if (op_ == Op::NotEqual) return v.kind != Value::Kind::Blank;
      return false;
    case Operand::Number:
      if (v.kind == Value::Kind::Number) {
        int c = ApproxEqual(v.number, number_) ? 0 : (v.number < number_ ? -1 : 1);
        return Compare(c);
      }
      // A number written as text in the criterion also matches that text.
      if (v.kind == Value::Kind::Text && !text_.empty() &&
          (op_ == Op::Equal || op_ == Op::NotEqual))
        return Compare(EqualsNoCase(v.text, text_) ? 0 : 1);
      return otherKind;
    case Operand::Text:
      if (v.kind == Value::Kind::Text) {
        if (wildcards_) return Compare(WildcardMatch(text_, v.text) ? 0 : 1);
        if (op_ == Op::Equal || op_ == Op::NotEqual) return Compare(EqualsNoCase(v.text, text_) ? 0 : 1);
        return Compare(CompareTextNoCase(v.text, text_));
      }
      return otherKind;
    case Operand::Boolean:
      if (v.kind == Value::Kind::Boolean) {
        int c = v.number == number_ ? 0 : (v.number < number_ ? -1 : 1);
        return Compare(c);
      }
      return otherKind;
    case Operand::Error:
      if (v.kind == Value::Kind::Error) return Compare(v.error == error_ ? 0 : 1);
      return otherKind;
  }
  return false;
}

}  // namespace tabrix::xlsx::eval
