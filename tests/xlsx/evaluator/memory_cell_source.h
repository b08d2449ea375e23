// A workbook held in maps, seen by the formula evaluator through its CellSource interface.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "xlsx/evaluator/cell_source.h"

namespace tabrix::xlsx::eval::testing {

class MemoryCellSource : public CellSource {
 public:
  int AddSheet(const std::string& name);

  // "B5" style addresses. A text starting with "=" is a formula.
  void Set(int sheet, const std::string& address, const std::string& textOrFormula);
  void Set(int sheet, const std::string& address, const char* textOrFormula) {
    Set(sheet, address, std::string(textOrFormula));
  }
  void Set(int sheet, const std::string& address, double number);
  void SetBoolean(int sheet, const std::string& address, bool value);
  void SetError(int sheet, const std::string& address, ErrorCode error);
  void SetCell(int sheet, std::int32_t row, std::int32_t column, const CellContent& content,
               const std::string& text = {});
  void DefineName(const std::string& name, const std::string& formula, int scopeSheet = -1);
  void HideRow(int sheet, std::int32_t row) { hidden_.insert({sheet, row}); }

  // Number of cell reads through GetCell and VisitCells callbacks.
  std::int64_t Reads() const { return reads_; }

  // CellSource
  int FindSheet(std::string_view name) override;
  CellContent GetCell(int sheet, std::int32_t row, std::int32_t column) override;
  void VisitCells(int sheet, const CellRect& rect, CellVisitor visit) override;
  std::optional<std::string> FindName(std::string_view name, int sheet) override;
  std::optional<CellRect> UsedArea(int sheet) override;
  bool RowHidden(int sheet, std::int32_t row) override { return hidden_.count({sheet, row}) > 0; }

  static std::pair<std::int32_t, std::int32_t> ParseAddress(const std::string& address);

 private:
  struct Stored {
    CellContent content;
    std::string text;  // owns Text and Formula texts
  };
  struct Sheet {
    std::string name;
    std::map<std::pair<std::int32_t, std::int32_t>, Stored> cells;  // (row, column)
  };
  std::vector<Sheet> sheets_;
  std::map<std::pair<int, std::string>, std::string> names_;  // (scope, upper-case name)
  std::set<std::pair<int, std::int32_t>> hidden_;
  std::int64_t reads_ = 0;
};

}  // namespace tabrix::xlsx::eval::testing
