// The table of supported worksheet functions.
#include "xlsx/evaluator/function_table.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "xlsx/evaluator/unicode_text.h"

namespace tabrix::xlsx::eval {
namespace {

constexpr std::uint8_t kMany = 255;

using F = FunctionId;
constexpr FunctionInfo kFunctions[] = {
    {"SUM", F::Sum, 1, kMany, false},
    {"SUMIF", F::SumIf, 2, 3, false},
    {"SUMIFS", F::SumIfs, 3, kMany, false},
    {"SUMPRODUCT", F::SumProduct, 1, kMany, false},
    {"COUNT", F::Count, 1, kMany, false},
    {"COUNTA", F::CountA, 1, kMany, false},
    {"COUNTBLANK", F::CountBlank, 1, 1, false},
    {"COUNTIF", F::CountIf, 2, 2, false},
    {"COUNTIFS", F::CountIfs, 2, kMany, false},
    {"AVERAGE", F::Average, 1, kMany, false},
    {"AVERAGEIF", F::AverageIf, 2, 3, false},
    {"MIN", F::Min, 1, kMany, false},
    {"MAX", F::Max, 1, kMany, false},
    {"SUBTOTAL", F::Subtotal, 2, kMany, false},
    {"PRODUCT", F::Product, 1, kMany, false},
    {"ROUND", F::Round, 2, 2, false},
    {"ROUNDUP", F::RoundUp, 2, 2, false},
    {"ROUNDDOWN", F::RoundDown, 2, 2, false},
    {"INT", F::Int, 1, 1, false},
    {"ABS", F::Abs, 1, 1, false},
    {"MOD", F::Mod, 2, 2, false},
    {"IF", F::If, 1, 3, false},
    {"IFERROR", F::IfError, 2, 2, false},
    {"AND", F::And, 1, kMany, false},
    {"OR", F::Or, 1, kMany, false},
    {"NOT", F::Not, 1, 1, false},
    {"TRUE", F::True, 0, 0, false},
    {"FALSE", F::False, 0, 0, false},
    {"ISBLANK", F::IsBlank, 1, 1, false},
    {"ISNUMBER", F::IsNumber, 1, 1, false},
    {"ISERROR", F::IsError, 1, 1, false},
    {"ISERR", F::IsErr, 1, 1, false},
    {"ISNA", F::IsNa, 1, 1, false},
    {"ISTEXT", F::IsText, 1, 1, false},
    {"ISNONTEXT", F::IsNonText, 1, 1, false},
    {"ISLOGICAL", F::IsLogical, 1, 1, false},
    {"NA", F::Na, 0, 0, false},
    {"TEXT", F::Text, 2, 2, false},
    {"LEFT", F::Left, 1, 2, false},
    {"RIGHT", F::Right, 1, 2, false},
    {"MID", F::Mid, 3, 3, false},
    {"LEN", F::Len, 1, 1, false},
    {"UPPER", F::Upper, 1, 1, false},
    {"LOWER", F::Lower, 1, 1, false},
    {"TRIM", F::Trim, 1, 1, false},
    {"CONCATENATE", F::Concatenate, 1, kMany, false},
    {"VALUE", F::ValueOf, 1, 1, false},
    {"DATE", F::Date, 3, 3, false},
    {"YEAR", F::Year, 1, 1, false},
    {"MONTH", F::Month, 1, 1, false},
    {"DAY", F::Day, 1, 1, false},
    {"TODAY", F::Today, 0, 0, true},
    {"NOW", F::Now, 0, 0, true},
    {"VLOOKUP", F::VLookup, 3, 4, false},
    {"HLOOKUP", F::HLookup, 3, 4, false},
    {"INDEX", F::Index, 2, 3, false},
    {"MATCH", F::Match, 2, 3, false},
    {"ROW", F::Row, 0, 1, false},
    {"COLUMN", F::Column, 0, 1, false},
};

}  // namespace

const FunctionInfo* FindFunction(std::string_view name) {
  if (name.size() > 6 && EqualsNoCase(name.substr(0, 6), "_xlfn.")) name.remove_prefix(6);
  if (name.size() > 16) return nullptr;
  char upper[16];
  for (std::size_t i = 0; i < name.size(); ++i)
    upper[i] = (name[i] >= 'a' && name[i] <= 'z') ? static_cast<char>(name[i] - 32) : name[i];
  std::string_view key(upper, name.size());
  // Names sorted once, looked up by binary search.
  static const std::vector<const FunctionInfo*> sorted = [] {
    std::vector<const FunctionInfo*> list;
    for (const FunctionInfo& info : kFunctions) list.push_back(&info);
    std::sort(list.begin(), list.end(),
              [](const FunctionInfo* a, const FunctionInfo* b) { return a->name < b->name; });
    return list;
  }();
  auto it = std::lower_bound(sorted.begin(), sorted.end(), key,
                             [](const FunctionInfo* info, std::string_view k) { return info->name < k; });
  return it != sorted.end() && (*it)->name == key ? *it : nullptr;
}

const FunctionInfo& GetFunctionInfo(FunctionId id) {
  // The table lists the functions in the order of FunctionId.
  return kFunctions[static_cast<std::size_t>(id)];
}

}  // namespace tabrix::xlsx::eval
