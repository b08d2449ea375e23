// The in-memory workbook of the evaluator tests: cells and names in maps, read through the
// evaluator's CellSource interface, with a count of cell reads.
#include "xlsx/evaluator/memory_cell_source.h"

#include <algorithm>
#include <cctype>
#include <tuple>
#include <stdexcept>

#include "xlsx/evaluator/unicode_text.h"

namespace tabrix::xlsx::eval::testing {

int MemoryCellSource::AddSheet(const std::string& name) {
  sheets_.push_back({name, {}});
  return static_cast<int>(sheets_.size() - 1);
}

std::pair<std::int32_t, std::int32_t> MemoryCellSource::ParseAddress(const std::string& address) {
  std::int32_t column = 0, row = 0;
  std::size_t i = 0;
  while (i < address.size() && std::isalpha(static_cast<unsigned char>(address[i])))
    column = column * 26 + (std::toupper(static_cast<unsigned char>(address[i++])) - 'A' + 1);
  while (i < address.size() && std::isdigit(static_cast<unsigned char>(address[i])))
    row = row * 10 + (address[i++] - '0');
  if (row == 0 || column == 0 || i != address.size())
    throw std::invalid_argument("bad address " + address);
  return {row, column};
}

void MemoryCellSource::SetCell(int sheet, std::int32_t row, std::int32_t column,
                               const CellContent& content, const std::string& text) {
  Stored& stored = sheets_.at(static_cast<std::size_t>(sheet)).cells[{row, column}];
  stored.content = content;
  stored.text = text;
}

void MemoryCellSource::Set(int sheet, const std::string& address, const std::string& value) {
  auto [row, column] = ParseAddress(address);
  if (!value.empty() && value.front() == '=') {
    SetCell(sheet, row, column, CellContent::OfFormula({}), value.substr(1));
  } else {
    SetCell(sheet, row, column, CellContent::OfText({}), value);
  }
}

void MemoryCellSource::Set(int sheet, const std::string& address, double number) {
  auto [row, column] = ParseAddress(address);
  SetCell(sheet, row, column, CellContent::OfNumber(number));
}

void MemoryCellSource::SetBoolean(int sheet, const std::string& address, bool value) {
  auto [row, column] = ParseAddress(address);
  SetCell(sheet, row, column, CellContent::OfBoolean(value));
}

void MemoryCellSource::SetError(int sheet, const std::string& address, ErrorCode error) {
  auto [row, column] = ParseAddress(address);
  SetCell(sheet, row, column, CellContent::OfError(error));
}

void MemoryCellSource::DefineName(const std::string& name, const std::string& formula,
                                  int scopeSheet) {
  names_[{scopeSheet, ToUpperText(name)}] = formula;
}

int MemoryCellSource::FindSheet(std::string_view name) {
  for (std::size_t i = 0; i < sheets_.size(); ++i)
    if (EqualsNoCase(sheets_[i].name, name)) return static_cast<int>(i);
  return -1;
}

CellContent MemoryCellSource::GetCell(int sheet, std::int32_t row, std::int32_t column) {
  ++reads_;
  const auto& cells = sheets_.at(static_cast<std::size_t>(sheet)).cells;
  auto found = cells.find({row, column});
  if (found == cells.end()) return {};
  CellContent content = found->second.content;
  if (content.kind == CellContent::Kind::Text || content.kind == CellContent::Kind::Formula)
    content.text = found->second.text;
  return content;
}

void MemoryCellSource::VisitCells(int sheet, const CellRect& rect, CellVisitor visit) {
  const auto& cells = sheets_.at(static_cast<std::size_t>(sheet)).cells;
  auto it = cells.lower_bound({rect.row1, rect.col1});
  while (it != cells.end()) {
    auto [row, column] = it->first;
    if (row > rect.row2) break;
    if (column < rect.col1) {
      it = cells.lower_bound({row, rect.col1});
      continue;
    }
    if (column > rect.col2) {
      it = cells.lower_bound({row + 1, rect.col1});
      continue;
    }
    ++reads_;
    CellContent content = it->second.content;
    if (content.kind == CellContent::Kind::Text || content.kind == CellContent::Kind::Formula)
      content.text = it->second.text;
    if (!visit(row, column, content)) return;
    ++it;
  }
}

std::optional<std::string> MemoryCellSource::FindName(std::string_view name, int sheet) {
  std::string upper = ToUpperText(name);
  auto found = names_.find({sheet, upper});
  if (found == names_.end()) found = names_.find({-1, upper});
  if (found == names_.end()) return std::nullopt;
  return found->second;
}

std::optional<CellRect> MemoryCellSource::UsedArea(int sheet) {
  const auto& cells = sheets_.at(static_cast<std::size_t>(sheet)).cells;
  if (cells.empty()) return std::nullopt;
  CellRect r{cells.begin()->first.first, platform::kMaxColumns, cells.rbegin()->first.first, 1};
  for (const auto& [key, stored] : cells) {
    r.col1 = std::min(r.col1, key.second);
    r.col2 = std::max(r.col2, key.second);
  }
  return r;
}

}  // namespace tabrix::xlsx::eval::testing
