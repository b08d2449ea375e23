// The workbook's defined names as the object model's Names collection.
#include <charconv>
#include <cmath>

#include "xlsx/engine_errors.h"
#include "xlsx/xlsx_workbook.h"

namespace tabrix::xlsx {

namespace {

// The constant a name holds after Names(name).Value = value, as the formula it refers to.
std::string ConstantFormula(const Variant& value) {
  switch (value.Type()) {
    case VariantType::Boolean: return value.Bool() ? "TRUE" : "FALSE";
    case VariantType::Number:
    case VariantType::Currency:
    case VariantType::Date: {
      double number = value.Number();
      if (!std::isfinite(number)) return "#NUM!";
      char buffer[32];
      auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
      return std::string(buffer, result.ptr);
    }
    case VariantType::Empty:
    case VariantType::Null:
    case VariantType::Text:
    case VariantType::Bytes: {
      std::string out = "\"";
      for (char c : value.Text()) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
      }
      return out + "\"";
    }
  }
  return "\"\"";
}

}  // namespace

std::int32_t XlsxNames::Count() { return static_cast<std::int32_t>(book_->DefinedNames().size()); }

bool XlsxNames::Exists(std::string_view name) {
  XlsxWorksheet* active = dynamic_cast<XlsxWorksheet*>(book_->ActiveSheet().get());
  return book_->FindName(name, active) != nullptr;
}

void XlsxNames::SetValue(std::string_view name, const Variant& value) {
  XlsxWorksheet* active = dynamic_cast<XlsxWorksheet*>(book_->ActiveSheet().get());
  const DefinedName* found = book_->FindName(name, active);
  if (!found) RaiseApplicationDefined();
  book_->ForgetHeldReferences();  // the held form of the name's references goes with its text
  const_cast<DefinedName*>(found)->formula = ConstantFormula(value);
}

}  // namespace tabrix::xlsx
