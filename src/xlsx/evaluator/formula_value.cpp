// Error values and their texts.
#include "xlsx/evaluator/formula_value.h"

namespace tabrix::xlsx::eval {
namespace {

struct ErrorName {
  ErrorCode code;
  std::string_view text;
};
constexpr ErrorName kErrorNames[] = {
    {ErrorCode::Null, "#NULL!"}, {ErrorCode::Div0, "#DIV/0!"}, {ErrorCode::Value, "#VALUE!"},
    {ErrorCode::Ref, "#REF!"},   {ErrorCode::Name, "#NAME?"},  {ErrorCode::Num, "#NUM!"},
    {ErrorCode::NA, "#N/A"},
};

}  // namespace

std::string_view ErrorText(ErrorCode error) {
  for (const ErrorName& e : kErrorNames)
    if (e.code == error) return e.text;
  return {};
}

std::optional<ErrorCode> ParseErrorText(std::string_view text) {
  for (const ErrorName& e : kErrorNames) {
    if (e.text.size() != text.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < text.size() && same; ++i) {
      char c = text[i];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
      same = c == e.text[i];
    }
    if (same) return e.code;
  }
  return std::nullopt;
}

}  // namespace tabrix::xlsx::eval
