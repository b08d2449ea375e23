// One formula of a workbook as the workbook's formula table holds it; cells refer to formulas
// by their index in that table (several cells: a shared formula). An entry is 16 bytes: a short text is kept inside it, and the
// rare range of an array formula and further <f> attributes live in the workbook's side table.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "xlsx/cell_address.h"

namespace tabrix::xlsx {

// The range and attributes few formulas have, kept apart from the formula table.
struct FormulaExtra {
  CellRect ref{};          // array, data-table and shared formulas: the cells they cover
  std::string attributes;  // further attributes of <f> as written in the file
  // Shared formulas: the cell whose text the others translate, and how many cells hold it.
  std::int32_t masterRow = 0, masterColumn = 0;
  std::uint32_t uses = 0;
};

// The text never starts with "=".
class Formula {
 public:
  // kShared: one entry for the cells of a shared formula read from a file; the text is the
  // master cell's, and each cell's text is it translated by the cell's offset from the master.
  enum Type : std::uint8_t { kNormal, kArray, kDataTable, kShared };

  Formula() = default;
  explicit Formula(std::string_view text) { SetText(text); }
  Formula(const Formula& other) : sheet(other.sheet), type(other.type), prefixed(other.prefixed),
                                  anchored(other.anchored), extra(other.extra) {
    SetText(other.Text());
  }
  Formula(Formula&& other) noexcept { Take(other); }
  Formula& operator=(const Formula& other) {
    if (this != &other) *this = Formula(other);
    return *this;
  }
  Formula& operator=(Formula&& other) noexcept {
    if (this != &other) {
      Free();
      Take(other);
    }
    return *this;
  }
  ~Formula() { Free(); }

  std::string_view Text() const {
    if (size_ != kOnHeap) return {bytes_, size_};
    return {HeapPointer(), HeapLength()};
  }
  // `text` may be the formula's own text.
  void SetText(std::string_view text) {
    char bytes[kInline];
    std::uint8_t size;
    if (text.size() <= kInline) {
      if (!text.empty()) std::memcpy(bytes, text.data(), text.size());
      size = static_cast<std::uint8_t>(text.size());
    } else {
      char* heap = new char[text.size()];
      std::memcpy(heap, text.data(), text.size());
      const auto length = static_cast<std::uint32_t>(text.size());
      std::memcpy(bytes, &heap, sizeof heap);
      std::memcpy(bytes + sizeof heap, &length, sizeof length);
      size = kOnHeap;
    }
    Free();
    std::memcpy(bytes_, bytes, sizeof bytes);
    size_ = size;
  }

  std::uint16_t sheet = 0;  // the sheet's formula number in the workbook; 0 once released
  Type type : 2 = kNormal;
  bool prefixed : 1 = false;  // some reference names a sheet: indexed workbook-wide
  bool anchored : 1 = false;  // held by the sheet's anchored formulas: the text is stale
  bool extra : 1 = false;     // has an entry in the workbook's side table

 private:
  static constexpr std::size_t kInline = 12;
  static constexpr std::uint8_t kOnHeap = 0xFF;

  char* HeapPointer() const {
    char* heap;
    std::memcpy(&heap, bytes_, sizeof heap);
    return heap;
  }
  std::uint32_t HeapLength() const {
    std::uint32_t length;
    std::memcpy(&length, bytes_ + sizeof(char*), sizeof length);
    return length;
  }
  void Free() {
    if (size_ == kOnHeap) delete[] HeapPointer();
    size_ = 0;
  }
  void Take(Formula& other) {
    std::memcpy(bytes_, other.bytes_, sizeof bytes_);
    size_ = other.size_;
    sheet = other.sheet;
    type = other.type;
    prefixed = other.prefixed;
    anchored = other.anchored;
    extra = other.extra;
    other.size_ = 0;
  }

  char bytes_[kInline];   // the text, or a pointer to it and its length
  std::uint8_t size_ = 0;  // length of the text kept inside, or kOnHeap
};

static_assert(sizeof(Formula) == 16);

}  // namespace tabrix::xlsx
