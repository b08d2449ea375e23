// The Variant value type: conversions, comparisons and the text forms the run log and cells use.
#include "tabrix/variant.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "tabrix/error.h"

namespace tabrix {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Parses the platform's numeric text form; returns false when it is not numeric.
bool ParseNumeric(std::string_view text, double& out) {
  size_t i = 0, n = text.size();
  while (i < n && IsBlank(text[i])) ++i;
  while (n > i && IsBlank(text[n - 1])) --n;
  if (i >= n) return false;
  std::string digits;
  if (text[i] == '+' || text[i] == '-') digits += text[i++];
  bool anyDigit = false, point = false;
  for (; i < n; ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      digits += c;
      anyDigit = true;
    } else if (c == '.' && !point) {
      digits += c;
      point = true;
    } else if (c == ',' && anyDigit && !point) {
      continue;  // thousands separator
    } else {
      break;
    }
  }
  if (!anyDigit) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    std::string exponent = "e";
    size_t j = i + 1;
    if (j < n && (text[j] == '+' || text[j] == '-')) exponent += text[j++];
    size_t start = j;
    while (j < n && text[j] >= '0' && text[j] <= '9') exponent += text[j++];
    if (j == start) return false;
    digits += exponent;
    i = j;
  }
  if (i != n) return false;
  char* end = nullptr;
  out = std::strtod(digits.c_str(), &end);
  return end && *end == '\0' && std::isfinite(out);
}

std::string FormatNumber(double value) {
  if (value == 0) return "0";
  char buffer[64];
  // Shortest form that reads back as the same double, without an exponent for everyday values.
  int precision = 1;
  for (; precision <= 17; ++precision) {
    std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
    if (std::strtod(buffer, nullptr) == value) break;
  }
  // "%g" turns to an exponent as soon as the exponent reaches the precision (40000 -> "4e+04");
  // everyday magnitudes are written out in full instead.
  const double magnitude = std::fabs(value);
  if (std::strchr(buffer, 'e') && magnitude >= 1e-5 && magnitude < 1e15) {
    const int exponent = static_cast<int>(std::floor(std::log10(magnitude)));
    const int decimals = std::max(0, std::min(precision, 17) - 1 - exponent);
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  }
  return buffer;
}

}  // namespace

std::string Variant::ToText() const {
  switch (type_) {
    case VariantType::Empty:
    case VariantType::Null:
      return std::string();
    case VariantType::Boolean:
      return number_ != 0 ? "True" : "False";
    case VariantType::Number:
    case VariantType::Currency:
      return FormatNumber(number_);
    case VariantType::Date: {
      // Serial date (1900 system) to civil date and time.
      double serial = number_;
      long days = static_cast<long>(std::floor(serial));
      double fraction = serial - static_cast<double>(days);
      long seconds = std::lround(fraction * 86400.0);
      if (seconds >= 86400) {
        ++days;
        seconds -= 86400;
      }
      // Serial 25569 is 1970-01-01; serials before 61 are off by the 1900-02-29 quirk.
      long unixDays = days - 25569;
      if (days < 61) unixDays += 1;
      // Civil from days (Howard Hinnant's algorithm).
      long z = unixDays + 719468;
      long era = (z >= 0 ? z : z - 146096) / 146097;
      long doe = z - era * 146097;
      long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
      long y = yoe + era * 400;
      long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
      long mp = (5 * doy + 2) / 153;
      long d = doy - (153 * mp + 2) / 5 + 1;
      long m = mp < 10 ? mp + 3 : mp - 9;
      if (m <= 2) ++y;
      char buffer[96];
      if (seconds == 0)
        std::snprintf(buffer, sizeof buffer, "%04ld-%02ld-%02ld", y, m, d);
      else
        std::snprintf(buffer, sizeof buffer, "%04ld-%02ld-%02ld %02ld:%02ld:%02ld", y, m, d,
                      seconds / 3600, (seconds / 60) % 60, seconds % 60);
      return buffer;
    }
    case VariantType::Text:
    case VariantType::Bytes:
      return text_;
  }
  return std::string();
}

bool IsNumeric(std::string_view text) {
  double ignored;
  return ParseNumeric(text, ignored);
}

bool IsNumericValue(const Variant& value) {
  if (value.IsNumeric()) return true;
  if (value.IsEmpty()) return true;  // Empty converts to 0
  if (value.IsText()) return IsNumeric(std::string_view(value.Text()));
  return false;
}

double TextToNumber(std::string_view text) {
  double value;
  if (!ParseNumeric(text, value)) RaiseRuntimeError(kErrTypeMismatch);
  return value;
}

double ToNumber(const Variant& value) {
  switch (value.Type()) {
    case VariantType::Empty:
      return 0;
    case VariantType::Text:
      return TextToNumber(value.Text());
    case VariantType::Boolean:
      return value.Bool() ? -1.0 : 0.0;  // the platform's True is -1
    case VariantType::Null:
    case VariantType::Bytes:
      RaiseRuntimeError(kErrTypeMismatch);
    default:
      return value.Number();
  }
}

double RoundHalfEven(double value) {
  double floor = std::floor(value);
  double diff = value - floor;
  if (diff > 0.5) return floor + 1;
  if (diff < 0.5) return floor;
  return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

std::int16_t ToInt16(const Variant& value) {
  double rounded = RoundHalfEven(ToNumber(value));
  if (rounded < -32768.0 || rounded > 32767.0) RaiseRuntimeError(kErrOverflow);
  return static_cast<std::int16_t>(rounded);
}


std::int32_t ToInt32(const Variant& value) {
  double rounded = RoundHalfEven(ToNumber(value));
  if (rounded < -2147483648.0 || rounded > 2147483647.0) RaiseRuntimeError(kErrOverflow);
  return static_cast<std::int32_t>(rounded);
}

float ToSingle(std::string_view text) {
  double value = TextToNumber(text);
  if (std::fabs(value) > 3.402823466e38) RaiseRuntimeError(kErrOverflow);
  return static_cast<float>(value);
}

bool VariantsEqual(const Variant& a, const Variant& b) {
  auto textual = [](const Variant& v) {
    return v.IsText() || v.IsEmpty() || v.IsNull() || v.Type() == VariantType::Bytes;
  };
  if (a.IsNumeric() && b.IsNumeric()) return a.Number() == b.Number();
  if (textual(a) && textual(b)) return a.Text() == b.Text();
  // Mixed: a number against a text compares the text's number when it has one.
  const Variant& number = a.IsNumeric() ? a : b;
  const Variant& text = a.IsNumeric() ? b : a;
  double parsed;
  if (ParseNumeric(text.Text(), parsed)) return parsed == number.Number();
  return false;
}

}  // namespace tabrix
