// The formula reference shifter: structural edits, copy translation, sheet removal, reach
// measurement and reference lists on arbitrary formula text; checks the properties callers rely
// on (unchanged text round-trips, the parsed form agrees with the one-shot functions, the reach
// pre-check never hides a change, results stay on the sheet).
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/support/fuzz_support.h"
#include "xlsx/formula_references.h"

using namespace tabrix;
using namespace tabrix::xlsx;

namespace {

bool OnSheet(const CellRect& r) {
  return r.row1 >= 1 && r.row1 <= r.row2 && r.row2 <= kMaxRows && r.col1 >= 1 &&
         r.col1 <= r.col2 && r.col2 <= kMaxColumns;
}

SheetEdit ReadEdit(fuzz::InputReader& input) {
  const std::uint8_t kind = input.Byte();
  SheetEdit edit;
  edit.What = static_cast<SheetEdit::Kind>(kind & 3);
  const std::int32_t limit = edit.OnRows() ? kMaxRows : kMaxColumns;
  const std::int32_t other = edit.OnRows() ? kMaxColumns : kMaxRows;
  // Small positions are the interesting ones most of the time; the top of the sheet sometimes.
  edit.First = (kind & 4) ? input.IntInRange(limit - 40, limit) : input.IntInRange(1, 64);
  edit.Count = (kind & 8) ? input.IntInRange(1, limit - edit.First + 1)
                          : std::min(input.IntInRange(1, 16), limit - edit.First + 1);
  if (kind & 16) {
    edit.BandFirst = input.IntInRange(1, 32);
    edit.BandLast = (kind & 32) ? other : input.IntInRange(edit.BandFirst, 40);
  }
  return edit;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::InputReader input(data, size);
  const SheetEdit edit = ReadEdit(input);
  const std::string sheet(input.ShortString(12));
  const bool onEditedSheet = input.Flag();
  const std::int32_t rowOffset = input.IntInRange(-kMaxRows, kMaxRows) / (input.Flag() ? 1 : 65536);
  const std::int32_t columnOffset = input.IntInRange(-kMaxColumns, kMaxColumns) / (input.Flag() ? 1 : 1024);
  const std::string_view formula = input.Rest();
  const FormulaContext context{sheet, onEditedSheet};

  fuzz::ExpectOnlyAutomationErrors("formula references", [&] {
    const ParsedFormula parsed(formula);
    fuzz::Require(parsed.Text() == formula, "an unchanged formula is written back as it was");

    std::string shifted;
    const bool shiftChanged = ShiftFormula(formula, edit, context, shifted);
    ParsedFormula reshifted(formula);
    fuzz::Require(reshifted.Shift(edit, context) == shiftChanged, "Shift agrees with ShiftFormula");
    if (shiftChanged) fuzz::Require(reshifted.Text() == shifted, "Shift text agrees with ShiftFormula");

    const ReferenceReach reach = MeasureReferences(formula);
    if (!EditCanAffect(reach, edit)) fuzz::Require(!shiftChanged, "reach pre-check never hides a change");
    if (!reach.HasReferences) fuzz::Require(!shiftChanged, "a formula without references stays");

    std::string translated;
    const bool translateChanged = TranslateFormula(formula, rowOffset, columnOffset, translated);
    ParsedFormula retranslated(formula);
    fuzz::Require(retranslated.Translate(rowOffset, columnOffset) == translateChanged,
                  "Translate agrees with TranslateFormula");
    if (translateChanged) fuzz::Require(retranslated.Text() == translated, "Translate text agrees");
    if (rowOffset == 0 && columnOffset == 0) fuzz::Require(!translateChanged, "a zero move changes nothing");

    std::string removed;
    (void)RemoveSheetReferences(formula, sheet, removed);

    std::string list;
    (void)ShiftSqref(formula, edit, list);
    (void)TranslateSqref(formula, rowOffset, columnOffset, list);

    if (const auto rect = ParseRect(formula)) {
      fuzz::Require(OnSheet(*rect), "parsed rectangle lies on the sheet");
      const auto again = ParseRect(RectText(*rect));
      fuzz::Require(again && *again == *rect, "RectText and ParseRect round-trip");
      if (const auto moved = ShiftRect(*rect, edit)) fuzz::Require(OnSheet(*moved), "shifted rectangle on the sheet");
      const ShiftedIndex index = ShiftIndex(edit.OnRows() ? rect->row1 : rect->col1, edit);
      fuzz::Require(index.Index >= 1 && index.Index <= (edit.OnRows() ? kMaxRows : kMaxColumns),
                    "shifted index on the sheet");
    }
  });
  return 0;
}
