#include "group/memory_sheet.h"

#include <algorithm>
#include <cctype>

#include "tabrix/error.h"

namespace tabrix::memory {
namespace {

using platform::CellRect;

[[noreturn]] void Reject(std::string_view reference) {
  throw AutomationError(1004, "Microsoft Excel",
                        "Method 'Range' of object '_Worksheet' failed: " + std::string(reference));
}

// One side of a reference: column letters and/or a row number, each optionally with "$".
struct Corner {
  std::int32_t row = 0, column = 0;
};

Corner ParseCorner(std::string_view text, std::string_view whole) {
  Corner corner;
  std::size_t i = 0;
  if (i < text.size() && text[i] == '$') ++i;
  while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i]))) {
    corner.column = corner.column * 26 + (std::toupper(static_cast<unsigned char>(text[i])) - 'A' + 1);
    ++i;
  }
  if (i < text.size() && text[i] == '$') ++i;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
    corner.row = corner.row * 10 + (text[i] - '0');
    ++i;
  }
  if (i != text.size() || (corner.row == 0 && corner.column == 0)) Reject(whole);
  return corner;
}

}  // namespace

CellRect MemorySheet::ResolveReference(std::string_view reference) {
  const std::size_t colon = reference.find(':');
  const Corner a = ParseCorner(reference.substr(0, colon), reference);
  const Corner b =
      colon == std::string_view::npos ? a : ParseCorner(reference.substr(colon + 1), reference);
  if ((a.row == 0) != (b.row == 0) || (a.column == 0) != (b.column == 0)) Reject(reference);
  if (a.column == 0) return {std::min(a.row, b.row), 1, std::max(a.row, b.row), platform::kMaxColumns};
  if (a.row == 0)
    return {1, std::min(a.column, b.column), platform::kMaxRows, std::max(a.column, b.column)};
  return {std::min(a.row, b.row), std::min(a.column, b.column), std::max(a.row, b.row),
          std::max(a.column, b.column)};
}

Variant MemorySheet::GetValue(std::int32_t row, std::int32_t column) {
  auto it = cells_.find({row, column});
  return it == cells_.end() ? Variant() : it->second;
}

void MemorySheet::SetValue(std::int32_t row, std::int32_t column, const Variant& value) {
  if (row < 1 || row > platform::kMaxRows || column < 1 || column > platform::kMaxColumns)
    throw AutomationError(1004, "Microsoft Excel", "Application-defined or object-defined error");
  if (value.IsEmpty())
    cells_.erase({row, column});
  else
    cells_[{row, column}] = value;
}

void MemorySheet::InsertCells(const CellRect& rect, platform::Shift shift) {
  ++counts.Inserts;
  const bool down = shift == platform::kShiftDown;
  const std::int32_t distance = down ? rect.Rows() : rect.Columns();
  std::vector<std::pair<Key, Variant>> moved;
  // Cells are kept in row order: shifting down only visits the rows from the insertion on.
  for (auto it = down ? cells_.lower_bound({rect.row1, 0}) : cells_.begin(); it != cells_.end();) {
    const auto [row, column] = it->first;
    const bool inBand = down ? column >= rect.col1 && column <= rect.col2
                             : row >= rect.row1 && row <= rect.row2;
    const bool after = down ? row >= rect.row1 : column >= rect.col1;
    if (inBand && after) {
      moved.emplace_back(down ? Key{row + distance, column} : Key{row, column + distance},
                         it->second);
      it = cells_.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& [key, value] : moved) cells_[key] = std::move(value);
}

void MemorySheet::DeleteCells(const CellRect& rect, platform::Shift shift) {
  ++counts.Deletes;
  const bool up = shift == platform::kShiftUp;
  const std::int32_t distance = up ? rect.Rows() : rect.Columns();
  std::vector<std::pair<Key, Variant>> moved;
  for (auto it = up ? cells_.lower_bound({rect.row1, 0}) : cells_.begin(); it != cells_.end();) {
    const auto [row, column] = it->first;
    const bool inside = row >= rect.row1 && row <= rect.row2 && column >= rect.col1 &&
                        column <= rect.col2;
    const bool inBand = up ? column >= rect.col1 && column <= rect.col2
                           : row >= rect.row1 && row <= rect.row2;
    const bool after = up ? row > rect.row2 : column > rect.col2;
    if (inside) {
      it = cells_.erase(it);
    } else if (inBand && after) {
      moved.emplace_back(up ? Key{row - distance, column} : Key{row, column - distance},
                         it->second);
      it = cells_.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& [key, value] : moved) cells_[key] = std::move(value);
}

void MemorySheet::CopyCells(const CellRect& source, std::int32_t destRow, std::int32_t destColumn) {
  ++counts.Copies;
  std::vector<std::pair<Key, Variant>> copied;
  for (std::int32_t r = source.row1; r <= source.row2; ++r)
    for (std::int32_t c = source.col1; c <= source.col2; ++c)
      copied.emplace_back(Key{destRow + r - source.row1, destColumn + c - source.col1},
                          GetValue(r, c));
  for (auto& [key, value] : copied) SetValue(key.first, key.second, value);
}

void MemorySheet::AutoFill(const CellRect& source, const CellRect& destination, int) {
  ++counts.AutoFills;
  for (std::int32_t r = destination.row1; r <= destination.row2; ++r)
    for (std::int32_t c = destination.col1; c <= destination.col2; ++c)
      SetValue(r, c,
               GetValue(source.row1 + (r - destination.row1) % source.Rows(),
                        source.col1 + (c - destination.col1) % source.Columns()));
}

std::shared_ptr<platform::Shape> MemorySheet::AddPicture(const std::string& file, bool, bool,
                                                         double, double, double, double) {
  throw AutomationError(1004, "Microsoft Excel", "Cannot insert " + file);
}

std::string MemorySheet::Text(std::int32_t row, std::int32_t column) {
  return GetValue(row, column).ToText();
}

std::string MemorySheet::RowText(std::int32_t row, std::int32_t lastColumn) {
  std::string text;
  for (std::int32_t c = 1; c <= lastColumn; ++c) {
    if (c > 1) text += "|";
    text += Text(row, c);
  }
  return text;
}

std::int32_t MemorySheet::LastRow() const {
  std::int32_t last = 0;
  for (const auto& [key, value] : cells_) last = std::max(last, key.first);
  return last;
}

MemoryRecordset::MemoryRecordset(std::vector<std::string> names,
                                 std::vector<std::vector<Variant>> rows)
    : names_(std::move(names)), rows_(std::move(rows)), fields_(*this) {}

void MemoryRecordset::MoveNext() {
  if (Eof()) throw AutomationError(3021, "Provider", "Either BOF or EOF is True.");
  ++position_;
}

Variant MemoryRecordset::MemoryField::Value() const {
  if (owner_.Eof()) throw AutomationError(3021, "Provider", "Either BOF or EOF is True.");
  return owner_.rows_[owner_.position_][static_cast<std::size_t>(index_)];
}

MemoryRecordset::MemoryFields::MemoryFields(MemoryRecordset& owner) {
  for (std::size_t i = 0; i < owner.names_.size(); ++i)
    fields_.push_back(std::make_unique<MemoryField>(owner, static_cast<std::int32_t>(i)));
}

platform::Field& MemoryRecordset::MemoryFields::Item(std::int32_t index) {
  if (index < 0 || index >= Count())
    throw AutomationError(3265, "Provider", "Item cannot be found in the collection.");
  return *fields_[static_cast<std::size_t>(index)];
}

}  // namespace tabrix::memory
