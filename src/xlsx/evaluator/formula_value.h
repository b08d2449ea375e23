// Values that formulas compute with: blank, number, text, Boolean, error, a reference to cells
// of a sheet, or an array (a matrix of plain values).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tabrix/platform/spreadsheet.h"

namespace tabrix::xlsx::eval {

using platform::CellRect;

// The error values of the spreadsheet application. None marks "no error" in results of helpers.
enum class ErrorCode : std::uint8_t { None = 0, Null, Div0, Value, Ref, Name, Num, NA };

// "#DIV/0!", "#N/A", ...; "" for None.
std::string_view ErrorText(ErrorCode error);
// The error a literal or a cell's error text stands for ("#REF!" -> Ref); nullopt when none.
std::optional<ErrorCode> ParseErrorText(std::string_view text);

// Cells of one sheet (sheet index of the cell source).
struct Area {
  std::int32_t sheet = 0;
  CellRect rect;

  bool IsCell() const { return rect.row1 == rect.row2 && rect.col1 == rect.col2; }
  std::int64_t CellCount() const {
    return static_cast<std::int64_t>(rect.Rows()) * rect.Columns();
  }
};

struct Matrix;

class Value {
 public:
  enum class Kind : std::uint8_t { Blank, Number, Text, Boolean, Error, Reference, Array };

  Value() = default;
  static Value Number(double number) {
    Value v(Kind::Number);
    v.number_ = number;
    return v;
  }
  static Value Boolean(bool value) {
    Value v(Kind::Boolean);
    v.number_ = value ? 1.0 : 0.0;
    return v;
  }
  static Value Text(std::string text) {
    Value v(Kind::Text);
    v.text_ = std::move(text);
    return v;
  }
  static Value Error(ErrorCode error) {
    Value v(Kind::Error);
    v.error_ = error;
    return v;
  }
  static Value Reference(const Area& area) {
    Value v(Kind::Reference);
    v.area_ = area;
    return v;
  }
  static Value Array(std::shared_ptr<const Matrix> matrix) {
    Value v(Kind::Array);
    v.matrix_ = std::move(matrix);
    return v;
  }

  Kind GetKind() const { return kind_; }
  bool IsBlank() const { return kind_ == Kind::Blank; }
  bool IsNumber() const { return kind_ == Kind::Number; }
  bool IsText() const { return kind_ == Kind::Text; }
  bool IsBoolean() const { return kind_ == Kind::Boolean; }
  bool IsError() const { return kind_ == Kind::Error; }
  bool IsReference() const { return kind_ == Kind::Reference; }
  bool IsArray() const { return kind_ == Kind::Array; }
  bool IsScalar() const { return kind_ != Kind::Reference && kind_ != Kind::Array; }

  double Number() const { return number_; }  // Number; Boolean as 1/0
  bool Bool() const { return number_ != 0.0; }
  ErrorCode Error() const { return error_; }
  const std::string& Text() const { return text_; }
  const Area& GetArea() const { return area_; }
  const Matrix& GetMatrix() const { return *matrix_; }

 private:
  explicit Value(Kind kind) : kind_(kind) {}

  Kind kind_ = Kind::Blank;
  ErrorCode error_ = ErrorCode::None;
  double number_ = 0.0;
  std::string text_;
  Area area_;
  std::shared_ptr<const Matrix> matrix_;
};

// A rectangular array of plain values (never references or arrays), row by row.
struct Matrix {
  std::int32_t rows = 0, columns = 0;
  std::vector<Value> cells;

  Matrix() = default;
  Matrix(std::int32_t r, std::int32_t c) : rows(r), columns(c), cells(static_cast<size_t>(r) * c) {}
  const Value& At(std::int32_t r, std::int32_t c) const {
    return cells[static_cast<size_t>(r) * columns + c];
  }
  Value& At(std::int32_t r, std::int32_t c) { return cells[static_cast<size_t>(r) * columns + c]; }
};

// A plain value seen without copying it: a cell of the source, an element of an array or a
// computed value. Text views live as long as the value or cell they come from.
struct ValueView {
  Value::Kind kind = Value::Kind::Blank;  // never Reference or Array
  ErrorCode error = ErrorCode::None;
  double number = 0.0;
  std::string_view text;

  ValueView() = default;
  explicit ValueView(const Value& value)
      : kind(value.GetKind()), error(value.Error()), number(value.Number()), text(value.Text()) {}
  static ValueView OfNumber(double n) {
    ValueView v;
    v.kind = Value::Kind::Number;
    v.number = n;
    return v;
  }
  Value ToValue() const;
};

}  // namespace tabrix::xlsx::eval
