// The rows of a query held column by column: per column, a one-byte type tag and an eight-byte
// slot per row (the number itself, or where the text lies), in blocks of 4096 rows, and the
// texts and byte strings packed one after another in pages of up to 64 KB. No object is
// allocated per value, and growing never copies what is already stored. Blocks and pages come
// from one arena per result, whose regions grow to 2 MB and are then offered to the kernel as
// huge pages, so that filling a large result does not fault in every 4 KB page by itself.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tabrix/platform/database.h"

namespace tabrix::platform {

// Text longer than this many bytes makes its column a long field (Attributes bit 0x80).
inline constexpr std::size_t kLongTextBytes = 255;

// Memory handed out in pieces from large regions, all released together.
class ResultArena {
 public:
  ResultArena() = default;
  ResultArena(const ResultArena&) = delete;
  ResultArena& operator=(const ResultArena&) = delete;
  ~ResultArena();
  // `bytes` of uninitialised memory aligned to 16 bytes.
  void* Allocate(std::size_t bytes);

 private:
  static constexpr std::size_t kFirstRegion = 64 * 1024;
  static constexpr std::size_t kHugeRegion = 2 * 1024 * 1024;

  std::vector<void*> regions_;
  char* next_ = nullptr;
  std::size_t left_ = 0;
  std::size_t regionSize_ = kFirstRegion;
};

class ResultColumn {
 public:
  enum Tag : std::uint8_t { kNull, kNumber, kBoolean, kDate, kCurrency, kText, kBytes };

  explicit ResultColumn(ResultArena& arena) : arena_(&arena) {}
  ResultColumn(ResultColumn&&) = default;
  ResultColumn& operator=(ResultColumn&&) = default;

  void AppendNull() { Put(kNull, 0); }
  void AppendNumber(double value) { Put(kNumber, Bits(value)); }
  void AppendBoolean(bool value) { Put(kBoolean, value ? 1 : 0); }
  void AppendDate(double serial) { Put(kDate, Bits(serial)); }
  void AppendCurrency(double value) { Put(kCurrency, Bits(value)); }
  void AppendText(std::string_view text) { Put(kText, Store(text)); if (text.size() > longest_) longest_ = text.size(); }
  void AppendBytes(std::string_view bytes) { Put(kBytes, Store(bytes)); hasBytes_ = true; }
  void Append(const Variant& value);

  std::int64_t Size() const { return size_; }
  Variant Get(std::int64_t row) const;
  // True when a value is binary or a text is longer than kLongTextBytes.
  bool HoldsLongValues() const { return hasBytes_ || longest_ > kLongTextBytes; }

 private:
  static constexpr unsigned kBlockBits = 12;
  static constexpr std::int64_t kBlockRows = std::int64_t{1} << kBlockBits;
  static constexpr std::size_t kFirstPageBytes = 4 * 1024;
  static constexpr std::size_t kPageBytes = 64 * 1024;

  struct Block {
    std::uint8_t tags[kBlockRows];
    std::uint64_t slots[kBlockRows];
  };

  static std::uint64_t Bits(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
  }
  static double FromBits(std::uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

  void Put(Tag tag, std::uint64_t slot) {
    std::int64_t index = size_ & (kBlockRows - 1);
    if (index == 0) {
      tail_ = static_cast<Block*>(arena_->Allocate(sizeof(Block)));
      blocks_.push_back(tail_);
    }
    tail_->tags[index] = tag;
    tail_->slots[index] = slot;
    ++size_;
  }
  // Copies the bytes into a page behind their length; returns page << 32 | offset.
  std::uint64_t Store(std::string_view bytes);
  std::string_view Stored(std::uint64_t slot) const;

  ResultArena* arena_;
  std::vector<Block*> blocks_;
  Block* tail_ = nullptr;
  std::int64_t size_ = 0;
  std::vector<char*> pages_;
  std::size_t pageSize_ = 0;  // size of the page short values go to, growing to kPageBytes
  std::size_t pageUsed_ = 0;  // bytes used in it
  std::uint32_t sharedPage_ = 0;  // its index
  std::size_t longest_ = 0;
  bool hasBytes_ = false;
};

class ColumnarResult final : public QueryResult {
 public:
  explicit ColumnarResult(std::vector<std::string> names);

  ResultColumn& Column(std::int32_t field) { return columns_[static_cast<std::size_t>(field)]; }
  // Adds attribute bits of a field (kFieldLong for long types known from the column's type).
  void AddAttributes(std::int32_t field, std::int32_t attributes);
  // Ends a row: every column must have received exactly one value for it.
  void CommitRow() { ++rows_; }

  std::int32_t FieldCount() const override { return static_cast<std::int32_t>(names_.size()); }
  std::string FieldName(std::int32_t field) const override;
  std::int32_t FieldAttributes(std::int32_t field) const override;
  std::int64_t RecordCount() const override { return rows_; }
  Variant Value(std::int64_t record, std::int32_t field) const override;

 private:
  void Check(std::int32_t field) const;

  ResultArena arena_;
  std::vector<std::string> names_;
  std::vector<std::int32_t> attributes_;
  std::vector<ResultColumn> columns_;
  std::int64_t rows_ = 0;
};

}  // namespace tabrix::platform
