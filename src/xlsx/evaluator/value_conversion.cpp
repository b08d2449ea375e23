// Conversions between formula values.
#include "xlsx/evaluator/value_conversion.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "xlsx/evaluator/date_serial.h"
#include "xlsx/evaluator/unicode_text.h"

namespace tabrix::xlsx::eval {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// A plain decimal number: digits with optional "," thousands separators, optional fraction and
// exponent. Consumes the whole text or fails.
std::optional<double> ParsePlainNumber(std::string_view s) {
  std::string digits;
  digits.reserve(s.size());
  std::size_t i = 0, n = s.size();
  std::size_t intDigits = 0, groupDigits = 0;
  bool sawComma = false;
  while (i < n && (IsDigit(s[i]) || s[i] == ',')) {
    if (s[i] == ',') {
      // Separators sit between digits, every group after the first has three digits.
      if (intDigits == 0 || (sawComma && groupDigits != 3)) return std::nullopt;
      sawComma = true;
      groupDigits = 0;
    } else {
      digits += s[i];
      ++intDigits;
      ++groupDigits;
    }
    ++i;
  }
  if (sawComma && groupDigits != 3) return std::nullopt;
  std::size_t fracDigits = 0;
  if (i < n && s[i] == '.') {
    digits += '.';
    ++i;
    while (i < n && IsDigit(s[i])) {
      digits += s[i++];
      ++fracDigits;
    }
  }
  if (intDigits + fracDigits == 0) return std::nullopt;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    std::size_t j = i + 1;
    std::string exponent = "e";
    if (j < n && (s[j] == '+' || s[j] == '-')) exponent += s[j++];
    std::size_t expDigits = 0;
    while (j < n && IsDigit(s[j])) {
      exponent += s[j++];
      ++expDigits;
    }
    if (expDigits == 0) return std::nullopt;
    digits += exponent;
    i = j;
  }
  if (i != n) return std::nullopt;
  return std::strtod(digits.c_str(), nullptr);
}

// Reads an unsigned integer of 1..maxDigits digits at s[i].
bool ReadInt(std::string_view s, std::size_t& i, int maxDigits, int& out) {
  int count = 0;
  out = 0;
  while (i < s.size() && IsDigit(s[i]) && count < maxDigits) {
    out = out * 10 + (s[i] - '0');
    ++i;
    ++count;
  }
  return count > 0 && !(i < s.size() && IsDigit(s[i]));
}

// "h:mm", "h:mm:ss", "h:mm:ss.fff", each optionally followed by " AM"/" PM". The fraction of a
// day; nullopt when the text is not a time.
std::optional<double> ParseTime(std::string_view s) {
  std::size_t i = 0;
  int h = 0, m = 0;
  if (!ReadInt(s, i, 5, h) || i >= s.size() || s[i] != ':') return std::nullopt;
  ++i;
  if (!ReadInt(s, i, 2, m) || m > 59) return std::nullopt;
  double seconds = 0;
  if (i < s.size() && s[i] == ':') {
    ++i;
    int sec = 0;
    if (!ReadInt(s, i, 2, sec) || sec > 59) return std::nullopt;
    seconds = sec;
    if (i < s.size() && s[i] == '.') {
      std::size_t start = i;
      ++i;
      while (i < s.size() && IsDigit(s[i])) ++i;
      seconds += std::strtod(std::string(s.substr(start, i - start)).c_str(), nullptr);
    }
  }
  std::string_view rest = Trim(s.substr(i));
  if (!rest.empty()) {
    bool pm;
    if (EqualsNoCase(rest, "AM") || EqualsNoCase(rest, "A")) pm = false;
    else if (EqualsNoCase(rest, "PM") || EqualsNoCase(rest, "P")) pm = true;
    else return std::nullopt;
    if (h < 1 || h > 12) return std::nullopt;
    h = h % 12 + (pm ? 12 : 0);
  }
  return (h * 3600.0 + m * 60.0 + seconds) / 86400.0;
}

bool ValidDate(int y, int m, int d) {
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12 || d < 1 || d > kDays[m - 1]) return false;
  if (m == 2 && d == 29) {
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return leap;
  }
  return y >= 1900 && y <= 9999;
}

// "yyyy-mm-dd" or "m/d/yyyy" ("m/d/yy"), optionally followed by a blank and a time.
std::optional<double> ParseDate(std::string_view s) {
  std::size_t i = 0;
  int a = 0, b = 0, c = 0;
  int y, m, d;
  if (!ReadInt(s, i, 4, a) || i >= s.size()) return std::nullopt;
  char sep = s[i];
  if (sep != '-' && sep != '/') return std::nullopt;
  std::size_t firstLength = i;
  ++i;
  if (!ReadInt(s, i, 2, b) || i >= s.size() || s[i] != sep) return std::nullopt;
  ++i;
  std::size_t third = i;
  if (!ReadInt(s, i, 4, c)) return std::nullopt;
  if (firstLength == 4) {  // ISO order
    y = a, m = b, d = c;
    if (i - third > 2) return std::nullopt;
  } else {
    m = a, d = b, y = c;
    if (i - third == 2) y += y < 30 ? 2000 : 1900;
    else if (i - third != 4) return std::nullopt;
  }
  if (!ValidDate(y, m, d)) return std::nullopt;
  double serial = CivilToSerial(y, m, d);
  std::string_view rest = s.substr(i);
  if (rest.empty()) return serial;
  if (!IsSpace(rest.front()) && rest.front() != 'T') return std::nullopt;
  std::optional<double> time = ParseTime(Trim(rest.substr(1)));
  if (!time) return std::nullopt;
  return serial + *time;
}

}  // namespace

std::string NumberToText(double number) {
  if (number == 0 || !std::isfinite(number)) return "0";
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.14e", number);
  // buffer: [-]d.dddddddddddddde[+-]xx
  std::string_view text(buffer);
  bool negative = text.front() == '-';
  if (negative) text.remove_prefix(1);
  std::size_t e = text.find('e');
  std::string digits;
  digits += text[0];
  digits.append(text.substr(2, e - 2));
  int exponent = std::atoi(std::string(text.substr(e + 1)).c_str());
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = negative ? "-" : "";
  if (exponent >= 15 || exponent < -9) {
    out += digits[0];
    if (digits.size() > 1) {
      out += '.';
      out.append(digits, 1);
    }
    char exp[16];
    std::snprintf(exp, sizeof exp, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    out += exp;
    return out;
  }
  if (exponent < 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-exponent - 1), '0');
    out += digits;
    return out;
  }
  std::size_t intDigits = static_cast<std::size_t>(exponent) + 1;
  if (digits.size() <= intDigits) {
    out += digits;
    out.append(intDigits - digits.size(), '0');
  } else {
    out.append(digits, 0, intDigits);
    out += '.';
    out.append(digits, intDigits);
  }
  return out;
}

std::optional<double> ParseNumberText(std::string_view text) {
  std::string_view s = Trim(text);
  if (s.empty()) return std::nullopt;
  bool negative = false;
  bool parenthesised = false;
  if (s.front() == '(' && s.back() == ')') {
    parenthesised = true;
    s = Trim(s.substr(1, s.size() - 2));
  }
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s = Trim(s.substr(1));
  }
  if (!s.empty() && s.front() == '$') s = Trim(s.substr(1));
  if (!s.empty() && (s.front() == '+' || s.front() == '-') && !negative) {
    negative = s.front() == '-';
    s = Trim(s.substr(1));
  }
  if (s.empty()) return std::nullopt;
  bool percent = false;
  if (s.back() == '%') {
    percent = true;
    s = Trim(s.substr(0, s.size() - 1));
  }
  std::optional<double> value = ParsePlainNumber(s);
  if (!value) {
    // Signs, brackets and percent apply to numbers only; dates and times stand alone.
    if (percent || negative || parenthesised) return std::nullopt;
    if ((value = ParseDate(s))) return value;
    return ParseTime(s);
  }
  if (parenthesised && negative) return std::nullopt;  // "(-3)" is not a number
  double v = *value;
  if (percent) v /= 100.0;
  return negative || parenthesised ? -v : v;
}

NumberResult ToNumber(const ValueView& value) {
  switch (value.kind) {
    case Value::Kind::Number:
    case Value::Kind::Boolean:
      return {value.number};
    case Value::Kind::Blank:
      return {0.0};
    case Value::Kind::Text: {
      std::optional<double> n = ParseNumberText(value.text);
      if (!n) return {0.0, ErrorCode::Value};
      return {*n};
    }
    case Value::Kind::Error:
      return {0.0, value.error};
    default:
      return {0.0, ErrorCode::Value};
  }
}

TextResult ToText(const ValueView& value) {
  switch (value.kind) {
    case Value::Kind::Number:
      return {NumberToText(value.number)};
    case Value::Kind::Boolean:
      return {value.number != 0 ? "TRUE" : "FALSE"};
    case Value::Kind::Blank:
      return {};
    case Value::Kind::Text:
      return {std::string(value.text)};
    case Value::Kind::Error:
      return {{}, value.error};
    default:
      return {{}, ErrorCode::Value};
  }
}

BoolResult ToBoolean(const ValueView& value) {
  switch (value.kind) {
    case Value::Kind::Number:
    case Value::Kind::Boolean:
      return {value.number != 0};
    case Value::Kind::Blank:
      return {false};
    case Value::Kind::Text:
      if (EqualsNoCase(value.text, "TRUE")) return {true};
      if (EqualsNoCase(value.text, "FALSE")) return {false};
      return {false, ErrorCode::Value};
    case Value::Kind::Error:
      return {false, value.error};
    default:
      return {false, ErrorCode::Value};
  }
}

bool ApproxEqual(double a, double b) {
  static const double e48 = 1.0 / (16777216.0 * 16777216.0);
  static const double e44 = e48 * 16.0;
  if (a == b) return true;
  if (a == 0.0 || b == 0.0) return false;
  const double d = std::fabs(a - b);
  if (!std::isfinite(d)) return false;
  a = std::fabs(a);
  b = std::fabs(b);
  if (d > a * e44 || d > b * e44) return false;
  auto integral = [](double x) { return x < 9007199254740992.0 && x == std::floor(x); };
  if (integral(d) && integral(a) && integral(b)) return false;
  return d < a * e48 && d < b * e48;
}

double ApproxAdd(double a, double b) {
  if (((a < 0.0 && b > 0.0) || (b < 0.0 && a > 0.0)) && ApproxEqual(a, -b)) return 0.0;
  return a + b;
}

double ApproxSub(double a, double b) {
  if (((a < 0.0 && b < 0.0) || (a > 0.0 && b > 0.0)) && ApproxEqual(a, b)) return 0.0;
  return a - b;
}

int CompareValues(const ValueView& a, const ValueView& b) {
  using K = Value::Kind;
  auto rank = [](K k) { return k == K::Number ? 0 : k == K::Text ? 1 : 2; };
  K ka = a.kind, kb = b.kind;
  if (ka == K::Blank && kb == K::Blank) return 0;
  // A blank takes the other side's type.
  if (ka == K::Blank) {
    if (kb == K::Text) return b.text.empty() ? 0 : -1;
    return kb == K::Number ? (0.0 < b.number ? -1 : (ApproxEqual(0.0, b.number) ? 0 : 1))
                           : (b.number != 0 ? -1 : 0);
  }
  if (kb == K::Blank) return -CompareValues(b, a);
  if (rank(ka) != rank(kb)) return rank(ka) < rank(kb) ? -1 : 1;
  if (ka == K::Text) return CompareTextNoCase(a.text, b.text);
  if (ApproxEqual(a.number, b.number)) return 0;
  return a.number < b.number ? -1 : 1;
}

Value NumberOrError(double number) {
  if (!std::isfinite(number)) return Value::Error(ErrorCode::Num);
  return Value::Number(number);
}

}  // namespace tabrix::xlsx::eval
