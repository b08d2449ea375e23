// The worksheet functions the evaluator computes, with the argument counts the spreadsheet
// application accepts. A formula calling any other function is left to the reader.
#pragma once

#include <cstdint>
#include <string_view>

namespace tabrix::xlsx::eval {

enum class FunctionId : std::uint16_t {
  // Aggregates and conditional aggregates
  Sum, SumIf, SumIfs, SumProduct, Count, CountA, CountBlank, CountIf, CountIfs, Average,
  AverageIf, Min, Max, Subtotal, Product,
  // Numbers
  Round, RoundUp, RoundDown, Int, Abs, Mod,
  // Logic and information
  If, IfError, And, Or, Not, True, False, IsBlank, IsNumber, IsError, IsErr, IsNa, IsText,
  IsNonText, IsLogical, Na,
  // Text
  Text, Left, Right, Mid, Len, Upper, Lower, Trim, Concatenate, ValueOf,
  // Dates
  Date, Year, Month, Day, Today, Now,
  // Lookup and reference
  VLookup, HLookup, Index, Match, Row, Column,
};

struct FunctionInfo {
  std::string_view name;
  FunctionId id;
  std::uint8_t minArgs;
  std::uint8_t maxArgs;
  bool isVolatile;
};

// The function of that name (upper case as stored in files, "_xlfn." prefix allowed); nullptr
// when the evaluator does not know it.
const FunctionInfo* FindFunction(std::string_view name);
const FunctionInfo& GetFunctionInfo(FunctionId id);

}  // namespace tabrix::xlsx::eval
