// Query rows held column by column in typed blocks: appending rows as a driver delivers them
// and reading them back as Variants.
#include "db/columnar_result.h"

#include <algorithm>

#include <sys/mman.h>

#include <cstdlib>
#include <new>

#include "db/database_errors.h"

namespace tabrix::platform {

ResultArena::~ResultArena() {
  for (void* region : regions_) std::free(region);
}

void* ResultArena::Allocate(std::size_t bytes) {
  bytes = (bytes + 15) & ~std::size_t{15};
  if (bytes > left_) {
    std::size_t size = regionSize_;
    while (size < bytes) size *= 2;
    void* region;
    if (size >= kHugeRegion) {
      size = (size + kHugeRegion - 1) / kHugeRegion * kHugeRegion;
      region = std::aligned_alloc(kHugeRegion, size);
      if (region) madvise(region, size, MADV_HUGEPAGE);
    } else {
      region = std::malloc(size);
    }
    if (!region) throw std::bad_alloc();
    regions_.push_back(region);
    next_ = static_cast<char*>(region);
    left_ = size;
    if (regionSize_ < kHugeRegion) regionSize_ *= 2;
  }
  void* piece = next_;
  next_ += bytes;
  left_ -= bytes;
  return piece;
}

std::uint64_t ResultColumn::Store(std::string_view bytes) {
  // Length as a base-128 varint, then the bytes.
  unsigned char prefix[10];
  std::size_t prefixLength = 0;
  std::uint64_t length = bytes.size();
  do {
    unsigned char byte = length & 0x7F;
    length >>= 7;
    if (length) byte |= 0x80;
    prefix[prefixLength++] = byte;
  } while (length);
  std::size_t needed = prefixLength + bytes.size();
  std::uint32_t page;
  std::size_t offset;
  if (needed > kPageBytes / 4) {
    // A large value gets a page of its own, exactly as big as it needs.
    pages_.push_back(static_cast<char*>(arena_->Allocate(needed)));
    page = static_cast<std::uint32_t>(pages_.size() - 1);
    offset = 0;
  } else {
    if (pageUsed_ + needed > pageSize_) {
      pageSize_ = pageSize_ == 0 ? kFirstPageBytes : std::min(pageSize_ * 2, kPageBytes);
      while (pageSize_ < needed) pageSize_ *= 2;  // needed <= kPageBytes / 4
      pages_.push_back(static_cast<char*>(arena_->Allocate(pageSize_)));
      sharedPage_ = static_cast<std::uint32_t>(pages_.size() - 1);
      pageUsed_ = 0;
    }
    page = sharedPage_;
    offset = pageUsed_;
    pageUsed_ += needed;
  }
  char* target = pages_[page] + offset;
  std::memcpy(target, prefix, prefixLength);
  if (!bytes.empty()) std::memcpy(target + prefixLength, bytes.data(), bytes.size());
  return (static_cast<std::uint64_t>(page) << 32) | offset;
}

std::string_view ResultColumn::Stored(std::uint64_t slot) const {
  const char* p = pages_[slot >> 32] + (slot & 0xFFFFFFFFu);
  std::uint64_t length = 0;
  unsigned shift = 0;
  unsigned char byte;
  do {
    byte = static_cast<unsigned char>(*p++);
    length |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
    shift += 7;
  } while (byte & 0x80);
  return std::string_view(p, length);
}

void ResultColumn::Append(const Variant& value) {
  switch (value.Type()) {
    case VariantType::Empty:
    case VariantType::Null: AppendNull(); break;
    case VariantType::Boolean: AppendBoolean(value.Bool()); break;
    case VariantType::Number: AppendNumber(value.Number()); break;
    case VariantType::Currency: AppendCurrency(value.Number()); break;
    case VariantType::Date: AppendDate(value.Number()); break;
    case VariantType::Text: AppendText(value.Text()); break;
    case VariantType::Bytes: AppendBytes(value.Text()); break;
  }
}

Variant ResultColumn::Get(std::int64_t row) const {
  const Block& block = *blocks_[static_cast<std::size_t>(row >> kBlockBits)];
  std::int64_t index = row & (kBlockRows - 1);
  std::uint64_t slot = block.slots[index];
  switch (block.tags[index]) {
    case kNumber: return Variant(FromBits(slot));
    case kBoolean: return Variant(slot != 0);
    case kDate: return Variant::Date(FromBits(slot));
    case kCurrency: return Variant::Currency(FromBits(slot));
    case kText: return Variant(Stored(slot));
    case kBytes: return Variant::Bytes(std::string(Stored(slot)));
    default: return Variant::Null();
  }
}

ColumnarResult::ColumnarResult(std::vector<std::string> names)
    : names_(std::move(names)), attributes_(names_.size(), 0) {
  columns_.reserve(names_.size());
  for (std::size_t i = 0; i < names_.size(); ++i) columns_.emplace_back(arena_);
}

void ColumnarResult::Check(std::int32_t field) const {
  if (field < 0 || static_cast<std::size_t>(field) >= names_.size()) RaiseItemNotFound("Fields");
}

void ColumnarResult::AddAttributes(std::int32_t field, std::int32_t attributes) {
  Check(field);
  attributes_[static_cast<std::size_t>(field)] |= attributes;
}

std::string ColumnarResult::FieldName(std::int32_t field) const {
  Check(field);
  return names_[static_cast<std::size_t>(field)];
}

std::int32_t ColumnarResult::FieldAttributes(std::int32_t field) const {
  Check(field);
  std::size_t i = static_cast<std::size_t>(field);
  return attributes_[i] | (columns_[i].HoldsLongValues() ? kFieldLong : 0);
}

Variant ColumnarResult::Value(std::int64_t record, std::int32_t field) const {
  Check(field);
  if (record < 0 || record >= rows_) RaiseNoCurrentRecord("Field");
  return columns_[static_cast<std::size_t>(field)].Get(record);
}

}  // namespace tabrix::platform
