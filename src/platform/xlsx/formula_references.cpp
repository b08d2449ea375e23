// Reference scanning and moving of formula texts and reference lists.
#include "platform/xlsx/formula_references.h"

namespace tabrix::xlsx {

// Skeleton: the scanner lands next; until then nothing moves.
bool ShiftFormula(std::string_view, const SheetEdit&, const FormulaContext&, std::string&) {
  return false;
}
bool TranslateFormula(std::string_view, std::int32_t, std::int32_t, std::string&) { return false; }
bool RemoveSheetReferences(std::string_view, std::string_view, std::string&) { return false; }
std::string ShiftedFormula(std::string_view formula, const SheetEdit&, const FormulaContext&) {
  return std::string(formula);
}
std::string TranslatedFormula(std::string_view formula, std::int32_t, std::int32_t) {
  return std::string(formula);
}
ReferenceReach MeasureReferences(std::string_view) {
  return {kMaxRows, kMaxColumns, true, true};
}
bool EditCanAffect(const ReferenceReach&, const SheetEdit&) { return true; }
ParsedFormula::ParsedFormula(std::string_view formula) : source_(formula) {}
bool ParsedFormula::Shift(const SheetEdit&, const FormulaContext&) { return false; }
bool ParsedFormula::Translate(std::int32_t, std::int32_t) { return false; }
std::string ParsedFormula::Text() const { return source_; }
bool ParsedFormula::Changed() const { return false; }
ReferenceReach ParsedFormula::Reach() const { return MeasureReferences(source_); }
std::string ParsedFormula::SheetOf(const Reference&) const { return {}; }
bool ShiftSqref(std::string_view, const SheetEdit&, std::string&) { return false; }
bool TranslateSqref(std::string_view, std::int32_t, std::int32_t, std::string&) { return false; }
std::optional<CellRect> ShiftRect(const CellRect& rect, const SheetEdit&) { return rect; }
ShiftedIndex ShiftIndex(std::int32_t index, const SheetEdit&) { return {index, false}; }
std::optional<CellRect> ParseRect(std::string_view) { return std::nullopt; }
std::string RectText(const CellRect& rect) { return platform::FormatAddress(rect, false, false); }

}  // namespace tabrix::xlsx
