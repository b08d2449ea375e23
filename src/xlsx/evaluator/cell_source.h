// What the formula evaluator needs from a workbook: its sheets, the contents of cells (plain
// values, or formula texts that the evaluator computes itself), its defined names, and which
// rows are hidden. A workbook engine implements it over its own storage; tests implement it
// over a few cells.
//
// The evaluator only reads through this interface; the workbook must not change while an
// evaluation runs (text views handed out stay valid until then).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "xlsx/evaluator/formula_value.h"

namespace tabrix::xlsx::eval {

struct CellContent {
  enum class Kind : std::uint8_t { Blank, Number, Text, Boolean, Error, Formula };
  Kind kind = Kind::Blank;
  // Formula cells the evaluator must leave to the reader (cells of an array formula spanning
  // several cells, data tables): their values count as unknown.
  bool evaluable = true;
  // A single-cell array formula ({=...}): computed with array semantics.
  bool arrayFormula = false;
  ErrorCode error = ErrorCode::None;  // Error
  double number = 0.0;                // Number; Boolean 1/0
  std::string_view text;              // Text; Formula: the formula text, without "="
  // Formula: a small number identifying the formula cell, below CellSource::FormulaIdLimit(),
  // when the source has one (it lets the evaluator keep results in an array).
  std::uint32_t formulaId = kNoFormulaId;
  static constexpr std::uint32_t kNoFormulaId = 0xFFFFFFFFu;

  static CellContent OfNumber(double n) {
    CellContent c;
    c.kind = Kind::Number;
    c.number = n;
    return c;
  }
  static CellContent OfText(std::string_view t) {
    CellContent c;
    c.kind = Kind::Text;
    c.text = t;
    return c;
  }
  static CellContent OfBoolean(bool b) {
    CellContent c;
    c.kind = Kind::Boolean;
    c.number = b ? 1.0 : 0.0;
    return c;
  }
  static CellContent OfError(ErrorCode e) {
    CellContent c;
    c.kind = Kind::Error;
    c.error = e;
    return c;
  }
  static CellContent OfFormula(std::string_view formula, bool evaluable = true,
                               std::uint32_t id = kNoFormulaId) {
    CellContent c;
    c.kind = Kind::Formula;
    c.text = formula;
    c.evaluable = evaluable;
    c.formulaId = id;
    return c;
  }
};

// A non-owning callable reference (the visitor of VisitCells), cheaper than std::function.
template <typename Signature>
class FunctionRef;
template <typename R, typename... Args>
class FunctionRef<R(Args...)> {
 public:
  template <typename F, typename = std::enable_if_t<!std::is_same_v<std::decay_t<F>, FunctionRef>>>
  FunctionRef(F&& f)  // NOLINT: implicit on purpose
      : object_(const_cast<void*>(static_cast<const void*>(&f))),
        call_([](void* o, Args... args) -> R {
          return (*static_cast<std::remove_reference_t<F>*>(o))(std::forward<Args>(args)...);
        }) {}
  R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

 private:
  void* object_;
  R (*call_)(void*, Args...);
};

// Receives one non-blank cell; returns false to stop the walk.
using CellVisitor = FunctionRef<bool(std::int32_t row, std::int32_t column, const CellContent&)>;

class CellSource {
 public:
  virtual ~CellSource() = default;

  // Index of the worksheet with that name (compared without regard to case); -1 when none.
  virtual int FindSheet(std::string_view name) = 0;
  // The content of one cell (Blank when it holds nothing).
  virtual CellContent GetCell(int sheet, std::int32_t row, std::int32_t column) = 0;
  // Every non-blank cell inside `rect`, row by row, each row from left to right.
  virtual void VisitCells(int sheet, const CellRect& rect, CellVisitor visit) = 0;
  // The formula text (without "=") of a defined name as seen from `sheet`: a name scoped to
  // that sheet first, then a workbook name. nullopt when there is none.
  virtual std::optional<std::string> FindName(std::string_view name, int sheet) = 0;
  // The smallest rectangle holding every non-blank cell of the sheet; nullopt when empty.
  virtual std::optional<CellRect> UsedArea(int sheet) = 0;
  // True when the row is hidden (SUBTOTAL codes 101-111 leave hidden rows out).
  virtual bool RowHidden(int /*sheet*/, std::int32_t /*row*/) { return false; }
  // Upper bound of the formula ids the source hands out (0: it has none).
  virtual std::uint32_t FormulaIdLimit() { return 0; }
};

}  // namespace tabrix::xlsx::eval
