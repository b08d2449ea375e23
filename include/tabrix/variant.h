// Cell and field values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tabrix {

enum class VariantType { Empty, Null, Boolean, Number, Currency, Date, Text, Bytes };

// A value as it travels between databases, cells and names: empty, Null, Boolean, number
// (double), currency, date (spreadsheet serial date), text (UTF-8) or a byte string.
class Variant {
 public:
  Variant() = default;
  Variant(bool value) : type_(VariantType::Boolean), number_(value ? 1.0 : 0.0) {}
  Variant(double value) : type_(VariantType::Number), number_(value) {}
  Variant(int value) : type_(VariantType::Number), number_(value) {}
  Variant(std::int64_t value) : type_(VariantType::Number), number_(static_cast<double>(value)) {}
  Variant(std::string value) : type_(VariantType::Text), text_(std::move(value)) {}
  Variant(std::string_view value) : type_(VariantType::Text), text_(value) {}
  Variant(const char* value) : type_(VariantType::Text), text_(value) {}

  static Variant Null() { return Variant(VariantType::Null); }
  static Variant Currency(double value) { return Variant(VariantType::Currency, value); }
  static Variant Date(double serial) { return Variant(VariantType::Date, serial); }
  static Variant Bytes(std::string bytes) {
    Variant v(VariantType::Bytes);
    v.text_ = std::move(bytes);
    return v;
  }

  VariantType Type() const { return type_; }
  bool IsEmpty() const { return type_ == VariantType::Empty; }
  bool IsNull() const { return type_ == VariantType::Null; }
  bool IsText() const { return type_ == VariantType::Text; }
  bool IsNumeric() const {
    return type_ == VariantType::Number || type_ == VariantType::Currency ||
           type_ == VariantType::Date || type_ == VariantType::Boolean;
  }

  // Number, currency, date serial or Boolean (1/0) as a double; 0 for other types.
  double Number() const { return number_; }
  bool Bool() const { return number_ != 0.0; }
  // Text or byte string content; empty for other types.
  const std::string& Text() const { return text_; }

  // The value converted to text the way the platform converts (numbers in their shortest
  // round-trip form, Booleans "True"/"False", dates "YYYY-MM-DD[ hh:mm:ss]", Null and empty "").
  std::string ToText() const;

  friend bool operator==(const Variant& a, const Variant& b) {
    return a.type_ == b.type_ && a.number_ == b.number_ && a.text_ == b.text_;
  }

 private:
  explicit Variant(VariantType type, double number = 0.0) : type_(type), number_(number) {}

  VariantType type_ = VariantType::Empty;
  double number_ = 0.0;
  std::string text_;
};

// The platform's numeric-text test: optional blanks, sign, digits with an optional decimal
// point, optional exponent; thousands separators "," between digit groups are accepted.
bool IsNumeric(std::string_view text);
bool IsNumericValue(const Variant& value);

// Text to number; raises type mismatch (13) when the text is not numeric.
double TextToNumber(std::string_view text);
// Any value to number (text through TextToNumber, empty and Null-free); raises 13 on failure.
double ToNumber(const Variant& value);

// Rounds half to even (banker's rounding), as the platform does for integer conversions.
double RoundHalfEven(double value);

// 16-bit conversion: rounds half to even, raises overflow (6) outside -32768..32767 and type
// mismatch (13) for text that is not numeric.
std::int16_t ToInt16(const Variant& value);
std::int32_t ToInt32(const Variant& value);
// Single-precision conversion; raises overflow (6) beyond its range.
float ToSingle(std::string_view text);

// Variant comparison used for group breaks: numbers (number, currency, date, Boolean) by numeric
// value, texts by exact characters, empty/Null equal to the empty text.
bool VariantsEqual(const Variant& a, const Variant& b);

}  // namespace tabrix
